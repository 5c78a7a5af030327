// The shrinking of a failing input to a smallest one that fails the same way:
// delta debugging over its points (Zeller and Hildebrandt's ddmin), then its coordinates moved
// step by step towards each other and towards 0. The candidates of a step go to the caller a batch
// at a time, which tries them in one process until the first that fails.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <utility>

#include "hunt/hunt.h"

namespace lab {

namespace {

__extension__ typedef __int128 Wide;

constexpr std::int64_t kEdge = kLargestCoordinate;  // no move leaves the exact range
constexpr std::size_t kPointMovesUpTo = 64;                    // inputs whose points move one at a time

// How far an input is from the smallest: its points, the spread of its coordinates about the least
// x and y, then the sum of their sizes. Every step the shrinker accepts lowers it, so it ends.
struct Size {
    std::size_t points;
    Wide spread, magnitude;
    bool operator<(const Size& o) const {
        return points != o.points ? points < o.points : spread != o.spread ? spread < o.spread : magnitude < o.magnitude;
    }
};

Size sizeOf(const std::vector<Point>& points) {
    Size size{points.size(), 0, 0};
    if (points.empty()) return size;
    std::int64_t x0 = points[0].x, y0 = points[0].y;
    for (const Point& p : points) x0 = std::min(x0, p.x), y0 = std::min(y0, p.y);
    for (const Point& p : points) {
        size.spread += Wide(p.x - x0) + Wide(p.y - y0);
        size.magnitude += Wide(std::abs(p.x)) + Wide(std::abs(p.y));
    }
    return size;
}

// Halfway from a to b, rounded towards a; b itself when they are one apart.
std::int64_t towards(std::int64_t a, std::int64_t b) { return a + (b - a) / 2 + (std::abs(b - a) == 1 ? b - a : 0); }

// The moves of the coordinates' step, largest first: the whole set halfway to its least corner
// (scaled), moved halfway and all the way to the origin, x or y alone; then, for inputs of at most
// kPointMovesUpTo points, each point halfway to the least x and y or to 0, by each power of two
// towards 0, and one unit towards either. Only candidates smaller than `points`, and
// inside the exact range, |coordinate| < 2^30.
std::vector<std::vector<Point>> moves(const std::vector<Point>& points) {
    std::int64_t x0 = points[0].x, y0 = points[0].y;
    for (const Point& p : points) x0 = std::min(x0, p.x), y0 = std::min(y0, p.y);
    std::vector<std::vector<Point>> list;
    auto each = [&](auto move) {
        std::vector<Point> moved = points;
        for (Point& p : moved) p = move(p);
        list.push_back(std::move(moved));
    };
    each([&](Point p) { return Point{towards(p.x, x0), towards(p.y, y0)}; });
    each([&](Point p) { return Point{p.x - x0, p.y - y0}; });
    each([&](Point p) { return Point{p.x - x0 / 2, p.y - y0 / 2}; });
    each([&](Point p) { return Point{p.x - x0, p.y}; });
    each([&](Point p) { return Point{p.x, p.y - y0}; });
    // Point by point only for a few points: a thousand would make a batch of a hundred thousand.
    for (std::size_t i = 0; i < points.size() && points.size() <= kPointMovesUpTo; ++i) {
        const Point p = points[i];
        std::vector<Point> to = {{towards(p.x, x0), p.y}, {p.x, towards(p.y, y0)}, {towards(p.x, 0), p.y}, {p.x, towards(p.y, 0)}};
        for (std::int64_t step = std::int64_t(1) << 29; step >= 1; step /= 2) {  // towards 0 by a power of two
            if (std::abs(p.x) > step) to.push_back({p.x - (p.x > 0 ? step : -step), p.y});
            if (std::abs(p.y) > step) to.push_back({p.x, p.y - (p.y > 0 ? step : -step)});
        }
        to.insert(to.end(), {{p.x - (p.x > x0), p.y}, {p.x, p.y - (p.y > y0)}, {p.x - (p.x > 0) + (p.x < 0), p.y},
                             {p.x, p.y - (p.y > 0) + (p.y < 0)}});
        for (const Point& q : to) {
            list.push_back(points);
            list.back()[i] = q;
        }
    }
    const Size now = sizeOf(points);
    auto inRange = [](const Point& p) { return std::abs(p.x) <= kEdge && std::abs(p.y) <= kEdge; };
    list.erase(std::remove_if(list.begin(), list.end(), [&](const std::vector<Point>& c) {
                   return !(sizeOf(c) < now) || !std::all_of(c.begin(), c.end(), inRange);
               }),
               list.end());
    return list;
}

// ---- Doubles: coordinates made simpler ----

// The significant digits of a coordinate's shortest decimal in the type ("0.25": 2, "1e-17": 1,
// "0": 0), and that decimal's characters.
std::pair<int, std::size_t> digitsOf(double value, Coordinates type) {
    const std::string text = type == Coordinates::F32 ? realText(float(value)) : realText(value);
    int digits = 0;
    bool leading = true;
    for (char c : text) {
        if (c == 'e') break;
        if (c < '0' || c > '9') continue;
        leading = leading && c == '0';
        digits += !leading;
    }
    return {digits, text.size()};
}

// How far an input of doubles is from the simplest: its points, then the significant digits of its
// coordinates' shortest decimals, then their characters. Every step the shrinker accepts lowers it.
struct RealSize {
    std::size_t points, digits, characters;
    bool operator<(const RealSize& o) const {
        return points != o.points ? points < o.points : digits != o.digits ? digits < o.digits : characters < o.characters;
    }
};

RealSize sizeOf(const std::vector<RealPoint>& points, Coordinates type) {
    RealSize size{points.size(), 0, 0};
    for (const RealPoint& p : points) {
        for (double c : {p.x, p.y}) {
            const auto [digits, characters] = digitsOf(c, type);
            size.digits += std::size_t(digits), size.characters += characters;
        }
    }
    return size;
}

// `value` to `digits` significant digits, as the type holds it (infinite where that overflows).
double rounded(double value, int digits, Coordinates type) {
    char text[40];
    std::snprintf(text, sizeof text, "%.*e", std::max(digits - 1, 0), value);
    const double back = std::strtod(text, nullptr);
    return type == Coordinates::F32 ? nearestFloat(back) : back;
}

// The simplifications of the coordinates' step, largest first: every coordinate to 1, 2, ...
// significant digits at once; then, for inputs of at most kPointMovesUpTo points, each coordinate
// to 0, to its nearest whole number, to fewer significant digits, and to the same coordinate of
// another point. Only finite candidates simpler than `points` (RealSize).
std::vector<std::vector<RealPoint>> simplifications(const std::vector<RealPoint>& points, Coordinates type) {
    std::vector<std::vector<RealPoint>> list;
    for (int digits = 1; digits <= 16; ++digits) {
        std::vector<RealPoint> moved = points;
        for (RealPoint& p : moved) p = {rounded(p.x, digits, type), rounded(p.y, digits, type)};
        list.push_back(std::move(moved));
    }
    for (std::size_t i = 0; i < points.size() && points.size() <= kPointMovesUpTo; ++i) {
        for (int axis = 0; axis < 2; ++axis) {
            const double c = axis == 0 ? points[i].x : points[i].y;
            std::vector<double> to = {0.0, std::nearbyint(c)};
            for (int digits = 1; digits < digitsOf(c, type).first; ++digits) to.push_back(rounded(c, digits, type));
            for (const RealPoint& q : points) to.push_back(axis == 0 ? q.x : q.y);
            for (double v : to) {
                list.push_back(points);
                (axis == 0 ? list.back()[i].x : list.back()[i].y) = v;
            }
        }
    }
    const RealSize now = sizeOf(points, type);
    auto finite = [](const RealPoint& p) { return std::isfinite(p.x) && std::isfinite(p.y); };
    list.erase(std::remove_if(list.begin(), list.end(), [&](const std::vector<RealPoint>& c) {
                   return !std::all_of(c.begin(), c.end(), finite) || !(sizeOf(c, type) < now);
               }),
               list.end());
    return list;
}

}  // namespace

template <class P>
ShrunkOf<P> shrink(std::vector<P> failing, const FirstFailingOf<P>& firstFailing, double seconds, Coordinates type) {
    const double end = wallSeconds() + seconds;
    ShrunkOf<P> result;
    auto tryBatch = [&](const std::vector<std::vector<P>>& candidates) {
        if (candidates.empty()) return false;
        if (wallSeconds() > end) return result.timedOut = true, false;
        const long first = firstFailing(candidates);
        result.tests += first < 0 ? candidates.size() : std::size_t(first) + 1;
        if (first < 0) return result.timedOut = wallSeconds() > end, false;
        failing = candidates[std::size_t(first)];
        return true;
    };
    // Points: the input cut into `parts` pieces; without one piece, while it fails; finer when no
    // piece can go, until single points. Then coordinates: the largest move (whole numbers) or
    // simplification (doubles) that still fails, again and again; points that made copies of others
    // may then go, so both again until neither takes a step.
    for (bool moved = true; moved && !result.timedOut;) {
        for (std::size_t parts = 2; failing.size() >= 1 && !result.timedOut;) {
            parts = std::min(parts, failing.size());
            std::vector<std::vector<P>> without;
            for (std::size_t k = 0; k < parts; ++k) {
                const std::size_t from = failing.size() * k / parts, to = failing.size() * (k + 1) / parts;
                without.push_back(failing);
                without.back().erase(without.back().begin() + long(from), without.back().begin() + long(to));
            }
            if (tryBatch(without)) {
                parts = std::max<std::size_t>(parts - 1, 2);
            } else if (parts < failing.size()) {
                parts = std::min(failing.size(), 2 * parts);
            } else {
                break;
            }
        }
        moved = false;
        if constexpr (std::is_same_v<P, Point>) {
            while (!failing.empty() && !result.timedOut && tryBatch(moves(failing))) moved = true;
        } else {
            while (!failing.empty() && !result.timedOut && tryBatch(simplifications(failing, type))) moved = true;
        }
    }
    result.points = std::move(failing);
    return result;
}

template ShrunkOf<Point> shrink(std::vector<Point>, const FirstFailingOf<Point>&, double, Coordinates);
template ShrunkOf<RealPoint> shrink(std::vector<RealPoint>, const FirstFailingOf<RealPoint>&, double, Coordinates);

}  // namespace lab
