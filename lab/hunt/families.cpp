// The hunt's families of input: each aimed at a known way for a hull to fail (the "classroom
// examples" of geometric robustness): tiny sets, copies, nearly collinear points far from the
// origin, points on a polygon's edges, the range's extremes, runs on one row or column, the lab's
// shapes at sizes where code changes path, and the judge's hard inputs.

#include <algorithm>
#include <numeric>

#include "hunt/hunt.h"
#include "inputs/inputs.h"
#include "run/judge.h"

namespace lab {

namespace {

constexpr std::int64_t kEdge = kLargestCoordinate;

// Every sequence of 0 to 3 points of a 3 x 3 grid, copies and orders included: the first inputs of
// the tiny family.
constexpr std::uint64_t kExhaustiveTiny = 1 + 9 + 81 + 729;

// Where a small figure of `span` is placed: at the origin, or far from it (where a turn test in
// doubles rounds), half the time each.
Point offset(SplitMix64& r, std::int64_t span) {
    if (r.below(2) == 0) return {0, 0};
    const std::int64_t room = kEdge - span;
    return {r.below(2 * room + 1) - room, r.below(2 * room + 1) - room};
}

std::vector<Point> tiny(SplitMix64& r, std::uint64_t i) {
    std::vector<Point> points;
    if (i < kExhaustiveTiny) {
        std::uint64_t count = 1;  // sequences of the current length
        while (i >= count) i -= count, count *= 9;
        for (; count > 1; count /= 9, i /= 9) points.push_back({std::int64_t(i % 3), std::int64_t(i / 3 % 3)});
        return points;
    }
    const std::int64_t side = 2 + r.below(5);
    const Point at = offset(r, side);
    const std::int64_t n = r.below(13);
    for (std::int64_t k = 0; k < n; ++k) points.push_back({at.x + r.below(side), at.y + r.below(side)});
    return points;
}

std::vector<Point> copies(SplitMix64& r) {
    const std::int64_t distinct = 1 + r.below(5), span = r.below(2) == 0 ? 5 : kEdge;
    const Point at = offset(r, span == kEdge ? 0 : span);
    std::vector<Point> points;
    for (std::int64_t k = 0; k < distinct; ++k) {
        const Point p = span == kEdge ? Point{r.below(2 * kEdge + 1) - kEdge, r.below(2 * kEdge + 1) - kEdge}
                                      : Point{at.x + r.below(span), at.y + r.below(span)};
        points.insert(points.end(), std::size_t(1 + r.below(6)), p);
    }
    return inputOrder(points, r.next());
}

// Points on a line through two far points, exactly (a lattice line) or rounded to the nearest point
// of the grid, some moved one unit off it.
std::vector<Point> nearCollinear(SplitMix64& r) {
    std::vector<Point> points;
    const std::int64_t m = 2 + r.below(60);
    if (r.below(2) == 0) {
        const std::int64_t sx = r.below(1 << 25) - (1 << 24), sy = r.below(1 << 25) - (1 << 24);
        const std::int64_t ax = r.below(2 * kEdge + 1 - std::abs(sx) * m) - kEdge + std::max<std::int64_t>(0, -sx * m);
        const std::int64_t ay = r.below(2 * kEdge + 1 - std::abs(sy) * m) - kEdge + std::max<std::int64_t>(0, -sy * m);
        for (std::int64_t t = 0; t <= m; ++t) points.push_back({ax + t * sx, ay + t * sy});
    } else {
        const Point a{r.below(2 * kEdge + 1) - kEdge, r.below(2 * kEdge + 1) - kEdge};
        const Point b{r.below(2 * kEdge + 1) - kEdge, r.below(2 * kEdge + 1) - kEdge};
        points = {a, b};
        __extension__ typedef __int128 Wide;
        for (std::int64_t t = 0; t < m; ++t) {
            const std::int64_t u = r.below(1 << 20);
            points.push_back({a.x + std::int64_t(Wide(b.x - a.x) * u >> 20), a.y + std::int64_t(Wide(b.y - a.y) * u >> 20)});
        }
    }
    for (Point& p : points) {
        if (r.below(2) != 0) continue;
        p.x = std::clamp(p.x + r.below(3) - 1, -kEdge, kEdge);
        p.y = std::clamp(p.y + r.below(3) - 1, -kEdge, kEdge);
    }
    return inputOrder(points, r.next());
}

// A convex polygon's corners (some twice), points exactly on its edges and a few inside.
std::vector<Point> edgePoints(SplitMix64& r) {
    const std::int64_t spans[] = {4, 100, std::int64_t(1) << 20, kEdge};
    const std::int64_t span = spans[r.below(4)];
    const Point at = offset(r, span == kEdge ? 0 : span);
    std::vector<reference::Pt> some;
    for (std::int64_t k = 3 + r.below(6); k > 0; --k) {
        some.push_back(span == kEdge ? reference::Pt{r.below(2 * kEdge + 1) - kEdge, r.below(2 * kEdge + 1) - kEdge}
                                     : reference::Pt{at.x + r.below(span + 1), at.y + r.below(span + 1)});
    }
    const std::vector<reference::Pt> corners = reference::corners(some);
    std::vector<Point> points;
    for (std::size_t i = 0; i < corners.size(); ++i) {
        const reference::Pt a = corners[i], b = corners[(i + 1) % corners.size()];
        points.insert(points.end(), std::size_t(1 + r.below(2)), Point{a.x, a.y});
        const std::int64_t g = std::gcd(b.x - a.x, b.y - a.y);  // lattice points on the edge: g - 1 inside it
        for (std::int64_t k = g > 1 ? r.below(6) : 0; k > 0; --k) {
            const std::int64_t t = 1 + r.below(g - 1);
            points.push_back({a.x + (b.x - a.x) / g * t, a.y + (b.y - a.y) / g * t});
        }
    }
    for (std::int64_t k = r.below(4); k > 0 && corners.size() >= 3; --k) {  // the middle of two corners' chord
        const reference::Pt a = corners[std::size_t(r.below(std::int64_t(corners.size())))];
        const reference::Pt b = corners[std::size_t(r.below(std::int64_t(corners.size())))];
        points.push_back({a.x + (b.x - a.x) / 2, a.y + (b.y - a.y) / 2});
    }
    return inputOrder(points, r.next());
}

// Coordinates at and next to the range's ends and the origin, and anywhere in the range.
std::vector<Point> extremes(SplitMix64& r) {
    const std::int64_t values[] = {-kEdge, -kEdge + 1, -1, 0, 1, kEdge - 1, kEdge};
    auto coordinate = [&] { return r.below(3) == 0 ? r.below(2 * kEdge + 1) - kEdge : values[r.below(7)]; };
    std::vector<Point> points;
    for (std::int64_t k = 1 + r.below(40); k > 0; --k) points.push_back({coordinate(), coordinate()});
    return points;
}

// Runs of points on one column or one row (ties in x or y for every sort), near or far.
std::vector<Point> runs(SplitMix64& r) {
    const std::int64_t span = r.below(2) == 0 ? 16 : std::int64_t(1) << 29;
    const Point at = offset(r, span);
    std::vector<Point> points;
    for (std::int64_t run = 1 + r.below(4); run > 0; --run) {
        const bool vertical = r.below(2) == 0;
        const std::int64_t fixed = r.below(span), length = 2 + r.below(12), step = 1 + r.below(std::max<std::int64_t>(1, span / 16));
        const std::int64_t from = r.below(std::max<std::int64_t>(1, span - length * step));
        for (std::int64_t k = 0; k < length; ++k) {
            const std::int64_t along = std::min(span, from + k * step);
            points.push_back(vertical ? Point{at.x + fixed, at.y + along} : Point{at.x + along, at.y + fixed});
        }
    }
    return inputOrder(points, r.next());
}

// The lab's shapes, one size after the other of the sweep, the shape turning with each input.
std::vector<Point> shapeAtSize(SplitMix64& r, std::uint64_t i) {
    const std::vector<std::int64_t>& sizes = sweptSizes();
    const std::int64_t n = sizes[i % sizes.size()];
    const std::string& shape = shapes()[(i + i / sizes.size()) % shapes().size()].name;
    try {
        return makeShape(shape, n, r.next());
    } catch (const std::invalid_argument&) {  // a size the shape cannot make
        return makeShape("disc", n, r.next());
    }
}

std::vector<Point> hard(SplitMix64& r, std::uint64_t i) {
    const std::vector<Point>& points = hardInputs()[i % hardInputs().size()].points;
    return i < hardInputs().size() ? points : inputOrder(points, r.next());
}

}  // namespace

const std::vector<Family>& families() {
    static const std::vector<Family> list = {
        {"hard", "the judge's hard inputs, then in shuffled orders"},
        {"tiny", "every sequence of 0 to 3 points on a 3 x 3 grid, then up to 12 points on small grids, near or far"},
        {"copies", "one to five points, each up to six times"},
        {"near-collinear", "points on a line through two far points, exactly or rounded, some one unit off it"},
        {"edge-points", "a convex polygon's corners, points on its edges and chords"},
        {"extremes", "coordinates at and beside +-(2^30 - 1), 0 and +-1"},
        {"runs", "points on a few columns and rows (ties in x and y)"},
        {"shapes", "the lab's shapes at 2^k - 1, 2^k, 2^k + 1 and 10^k - 1, 10^k, 10^k + 1 points, to 10^6"},
    };
    return list;
}

const std::vector<std::int64_t>& sweptSizes() {
    static const std::vector<std::int64_t> list = [] {
        std::vector<std::int64_t> sizes = {1, 2};
        for (std::int64_t p = 2; p <= 1000000; p *= 2) sizes.insert(sizes.end(), {p - 1, p, p + 1});
        for (std::int64_t p = 10; p <= 1000000; p *= 10) sizes.insert(sizes.end(), {p - 1, p, p + 1});
        sizes.erase(std::remove_if(sizes.begin(), sizes.end(), [](std::int64_t n) { return n > 1000000; }), sizes.end());
        std::sort(sizes.begin(), sizes.end());
        sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
        return sizes;
    }();
    return list;
}

HuntInput huntInput(std::uint64_t seed, std::uint64_t k) {
    const std::size_t count = families().size();
    HuntInput input;
    input.family = std::size_t(k % count);
    const std::uint64_t i = k / count;
    SplitMix64 r{seed * 0x9E3779B97F4A7C15ull ^ (k + 1) * 0xD1B54A32D192ED03ull};
    r.next();
    const std::string name = families()[input.family].name;
    if (name == "hard") input.points = hard(r, i);
    else if (name == "tiny") input.points = tiny(r, i);
    else if (name == "copies") input.points = copies(r);
    else if (name == "near-collinear") input.points = nearCollinear(r);
    else if (name == "edge-points") input.points = edgePoints(r);
    else if (name == "extremes") input.points = extremes(r);
    else if (name == "runs") input.points = runs(r);
    else input.points = shapeAtSize(r, i);
    return input;
}

}  // namespace lab
