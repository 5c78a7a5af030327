// The lab's eight shapes of input. Every point set is a function of (shape, n, seed): the generator
// is SplitMix64 seeded from the three, and the arithmetic is integer or IEEE (+, *, /, sqrt, all
// correctly rounded), except `normal`, which also takes a logarithm from the C library.

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <tuple>
#include <utility>

#include "lab.h"
#include "inputs/inputs.h"

namespace lab {

namespace {

constexpr std::int64_t kExact = kExactBound;

SplitMix64 generator(const std::string& shape, std::int64_t n, std::uint64_t seed) {
    std::uint64_t mix = seed;
    for (char c : shape) mix = mix * 131 + std::uint64_t(static_cast<unsigned char>(c));
    SplitMix64 g{mix ^ (std::uint64_t(n) * 0xD1B54A32D192ED03ull)};
    g.next();
    return g;
}

// n points of type P (Point, or RealPoint for the shapes of doubles), each call of `one` adding
// one or none.
template <typename P = Point, typename Draw>
std::vector<P> draw(std::int64_t n, Draw&& one) {
    std::vector<P> points;
    points.reserve(std::size_t(n));
    while (std::int64_t(points.size()) < n) one(points);
    return points;
}

// A primitive vector (gcd 1) of the upper half-plane: a > 0, or a == 0 and b > 0.
struct Edge {
    std::int64_t a, b;
};

// Half of the plane an edge points into, then the cross product: the angle order.
bool byAngle(const Edge& u, const Edge& v) {
    auto half = [](const Edge& e) { return e.b > 0 || (e.b == 0 && e.a > 0) ? 0 : 1; };
    if (half(u) != half(v)) return half(u) < half(v);
    return u.a * v.b - u.b * v.a > 0;
}

// The m shortest primitive vectors of the upper half-plane, ties broken by angle. O(m log m).
std::vector<Edge> shortestEdges(std::int64_t m) {
    std::vector<Edge> edges;
    for (std::int64_t r = std::int64_t(std::sqrt(double(m) * 1.1)) + 2;; r = r * 3 / 2) {
        edges.clear();
        for (std::int64_t a = 0; a <= r; ++a) {
            for (std::int64_t b = a == 0 ? 1 : -r; b <= r; ++b) {
                if (a * a + b * b <= r * r && std::gcd(a, b) == 1) edges.push_back({a, b});
            }
        }
        if (std::int64_t(edges.size()) >= m) break;
    }
    std::sort(edges.begin(), edges.end(), [](const Edge& u, const Edge& v) {
        std::int64_t nu = u.a * u.a + u.b * u.b, nv = v.a * v.a + v.b * v.b;
        return nu != nv ? nu < nv : byAngle(u, v);
    });
    edges.resize(std::size_t(m));
    return edges;
}

// The polygon's width and height for m edge pairs: each pair adds |a| to the one, |b| to the other.
bool fits(std::int64_t width, std::int64_t height) { return width < 2 * kExact - 2 && height < 2 * kExact - 2; }

// n points in convex position: the m = ceil(n / 2) shortest primitive vectors and their opposites,
// in angle order, are the edges of a polygon with 2m corners and no three on a line; for odd n
// one corner goes. Centred on the origin, shuffled.
std::vector<Point> convex(std::int64_t n, SplitMix64& g) {
    if (n <= 0) return {};
    std::int64_t m = (n + 1) / 2;
    std::vector<Edge> half = shortestEdges(m);
    std::int64_t width = 0, height = 0;
    for (const Edge& e : half) width += e.a, height += std::abs(e.b);
    if (!fits(width, height)) {
        throw ShapeError("convex: " + std::to_string(n) + " points do not fit inside |coordinate| < 2^30; the largest is " +
                         std::to_string(convexLargest()));
    }
    std::vector<Edge> edges(half);
    for (const Edge& e : half) edges.push_back({-e.a, -e.b});
    std::sort(edges.begin(), edges.end(), byAngle);
    std::vector<Point> points;
    Point at{0, 0};
    std::int64_t minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (const Edge& e : edges) {
        points.push_back(at);
        at = Point{at.x + e.a, at.y + e.b};
        minX = std::min(minX, at.x), maxX = std::max(maxX, at.x);
        minY = std::min(minY, at.y), maxY = std::max(maxY, at.y);
    }
    if (n % 2 == 1) points.pop_back();  // m pairs make 2m = n + 1 corners: one goes
    const std::int64_t dx = -((minX + maxX) >> 1), dy = -((minY + maxY) >> 1);
    for (Point& p : points) p = Point{p.x + dx, p.y + dy};
    for (std::size_t i = points.size(); i > 1; --i) std::swap(points[i - 1], points[std::size_t(g.below(std::int64_t(i)))]);
    return points;
}

// n points on one line through the origin's neighbourhood, in a direction (a, b) of the seed's with
// |a|, |b| up to 1000, as multiples t (a, b) for t drawn from fewer values than points (so copies
// are common), in random order. The hull is the line's two ends.
std::vector<Point> line(std::int64_t n, SplitMix64& g) {
    std::int64_t a = 0, b = 0;
    while (std::gcd(a, b) != 1) a = g.below(2001) - 1000, b = g.below(1001);
    const std::int64_t reach = (kExact - 1) / std::max(std::abs(a), b);  // |t| * max(|a|, |b|) < 2^30
    const std::int64_t span = std::max<std::int64_t>(2, std::min(n / 2 + 1, reach));
    const std::int64_t first = -span / 2;
    return draw(n, [&](std::vector<Point>& p) {
        std::int64_t t = first + g.below(span);
        p.push_back({t * a, t * b});
    });
}

// Lattice points on the parallel lines a y - b x = c, |c| <= 1000, for a direction (a, b) of the
// seed's with a and b about 2^28 and gcd 1: a line holds only the few points of it inside the
// exact range (x = x_c + k a), and neighbouring lines lie 1 / |(a, b)|, about 2^-28.5, apart. The
// hull is a thin polygon of some 10 to 20 corners, and telling a corner from a point just inside
// takes the full 62 bits of the turn test's products. Random order.
std::vector<Point> sliver(std::int64_t n, SplitMix64& g) {
    const std::int64_t base = std::int64_t(1) << 28;
    std::int64_t a = 0, b = 0;
    while (std::gcd(a, b) != 1) a = base + g.below(base / 4), b = base / 2 + g.below(base / 2);
    // u a - v b = 1 (extended Euclid on a and b), so x = c v, y = c u solves a y - b x = c; the
    // other solutions are x + k a, y + k b.
    std::int64_t r0 = a, r1 = b, s0 = 1, s1 = 0, t0 = 0, t1 = 1;  // s a + t b = r
    while (r1 != 0) {
        const std::int64_t q = r0 / r1;
        std::tie(r0, r1) = std::make_pair(r1, r0 - q * r1);
        std::tie(s0, s1) = std::make_pair(s1, s0 - q * s1);
        std::tie(t0, t1) = std::make_pair(t1, t0 - q * t1);
    }
    const std::int64_t v = -t0;  // s0 a - v b = 1
    return draw(n, [&](std::vector<Point>& p) {
        const std::int64_t c = g.below(2001) - 1000;
        __extension__ typedef __int128 Wide;
        std::int64_t x = std::int64_t((Wide(c) * v) % a);  // a solution's x, reduced into (-a, a)
        // Every x = x + k a on the line inside the range; one of them at random.
        std::int64_t candidates[16];
        int count = 0;
        for (std::int64_t k = -5; k <= 5; ++k) {
            const std::int64_t cx = x + k * a;
            const Wide cy = (Wide(c) + Wide(b) * cx) / a;
            if (std::abs(cx) < kExact && cy > -Wide(kExact) && cy < Wide(kExact)) candidates[count++] = cx;
        }
        x = candidates[g.below(count)];
        const std::int64_t y = std::int64_t((Wide(c) + Wide(b) * x) / a);
        p.push_back({x, y});
    });
}

}  // namespace

const std::vector<Shape>& shapes() {
    static const std::vector<Shape> list = {
        {"square", "uniform in a square of side 10^7, as the benchmark draws; h grows like log n"},
        {"disc", "uniform in a disc of radius 2^29; h grows like n^(1/3)"},
        {"normal", "two-dimensional normal, sigma 2^26; h grows like sqrt(log n)"},
        {"circle", "on a circle of radius 2^29, rounded to the grid; nearly every point a corner until "
                   "the grid runs out (some 10^5 points)"},
        {"convex", "every point a corner, exactly (a polygon of the shortest primitive edge vectors); "
                   "h = n"},
        {"lattice", "uniform on a 64 x 64 grid: copies and points on hull edges everywhere; h at most "
                    "a few dozen, 4 once the grid fills"},
        // The two that test exactness rather than speed: run when named (make lab-exactness).
        {"line", "all on one line, with copies, in random order: h = 2 (its two ends), whatever n", false},
        {"sliver", "lattice points on parallel lines 2^-28 apart at coordinates near 2^30: a thin "
                   "polygon, h about 10 to 20 whatever n, whose corners only an exact turn test finds", false},
    };
    return list;
}

bool convexFits(std::int64_t n) {
    std::int64_t width = 0, height = 0;
    for (const Edge& e : shortestEdges((n + 1) / 2)) width += e.a, height += std::abs(e.b);
    return fits(width, height);
}

std::int64_t convexLargest() {
    static const std::int64_t largest = [] {
        // The widths grow with every pair, so walk the shortest vectors until one no longer fits.
        std::vector<Edge> edges = shortestEdges(4000000);
        std::int64_t width = 0, height = 0, m = 0;
        for (const Edge& e : edges) {
            if (!fits(width + e.a, height + std::abs(e.b))) break;
            width += e.a, height += std::abs(e.b), ++m;
        }
        return 2 * m;
    }();
    return largest;
}

std::vector<Point> makeShape(const std::string& shape, std::int64_t n, std::uint64_t seed) {
    SplitMix64 g = generator(shape, n, seed);
    const std::int64_t r = std::int64_t(1) << 29;
    if (shape == "square") {
        return draw(n, [&](std::vector<Point>& p) {
            std::int64_t x = g.below(10000000);
            p.push_back({x, g.below(10000000)});
        });
    }
    if (shape == "disc") {
        return draw(n, [&](std::vector<Point>& p) {
            std::int64_t x = g.below(2 * r + 1) - r;
            std::int64_t y = g.below(2 * r + 1) - r;
            if (x * x + y * y <= r * r) p.push_back({x, y});
        });
    }
    if (shape == "normal") {  // Marsaglia's polar method
        const double sigma = double(std::int64_t(1) << 26);
        return draw(n, [&](std::vector<Point>& p) {
            double u = g.signedUnit(), v = g.signedUnit(), s = u * u + v * v;
            if (s >= 1 || s == 0) return;
            double f = sigma * std::sqrt(-2.0 * std::log(s) / s);
            std::int64_t x = std::llround(u * f), y = std::llround(v * f);
            if (std::abs(x) < kExact && std::abs(y) < kExact) p.push_back({x, y});
        });
    }
    if (shape == "circle") {  // a uniform direction from a point of the unit disc, scaled to r
        return draw(n, [&](std::vector<Point>& p) {
            double u = g.signedUnit(), v = g.signedUnit(), s = u * u + v * v;
            if (s >= 1 || s < 1e-6) return;
            double length = std::sqrt(s);
            p.push_back({std::llround(double(r) * u / length), std::llround(double(r) * v / length)});
        });
    }
    if (shape == "convex") return convex(n, g);
    if (shape == "line") return line(n, g);
    if (shape == "sliver") return sliver(n, g);
    if (shape == "lattice") {
        return draw(n, [&](std::vector<Point>& p) {
            std::int64_t x = g.below(64);
            p.push_back({x, g.below(64)});
        });
    }
    throw std::invalid_argument("unknown shape " + shape);
}

namespace {

// A whole-number shape as doubles scaled by 2^-30 (exact: its coordinates are below 2^30), so its
// promises hold on the doubles: `convex` exactly convex, `sliver`'s corners as thin.
std::vector<RealPoint> scaledDown(const std::vector<Point>& points) {
    std::vector<RealPoint> real;
    real.reserve(points.size());
    for (const Point& p : points) real.push_back({std::ldexp(double(p.x), -30), std::ldexp(double(p.y), -30)});
    return real;
}

// The double `steps` units in the last place from x; with `floats`, the float as many of its own
// units from x (a float itself), widened.
double ulpsFrom(double x, int steps, bool floats = false) {
    float f = float(x);
    for (; steps > 0; --steps) floats ? void(f = std::nextafter(f, HUGE_VALF)) : void(x = std::nextafter(x, HUGE_VAL));
    for (; steps < 0; ++steps) floats ? void(f = std::nextafter(f, -HUGE_VALF)) : void(x = std::nextafter(x, -HUGE_VAL));
    return floats ? double(f) : x;
}

}  // namespace

std::string realGrowth(const std::string& shape, Coordinates type) {
    static const std::pair<const char*, const char*> eight[] = {
        {"square", "uniform in [-1, 1)^2, continuous; h grows like log n"},
        {"disc", "uniform in a disc of radius 1, continuous; h grows like n^(1/3)"},
        {"normal", "two-dimensional normal, sigma 1, continuous; h grows like sqrt(log n)"},
        {"circle", "on a circle of radius 1, each point rounded to doubles: only some are corners"},
        {"convex", "every point a corner, exactly: the whole-number polygon times 2^-30; h = n"},
        {"lattice", "a 64 x 64 grid of steps 0.1, which as doubles are not evenly spaced: h a few dozen"},
        {"line", "points of y = 0.1 + 0.3 x, each rounded to doubles: off the line by their rounding"},
        {"sliver", "the whole-number sliver times 2^-30, exactly: corners only an exact turn test finds"},
    };
    for (const auto& [name, growth] : eight) {
        if (shape == name) return growth;
    }
    static const std::pair<const char*, const char*> inFloats[] = {
        {"huge", "uniform in a disc of radius 1e38: a cross product in floats overflows"},
        {"tiny", "uniform in a disc of radius 1e-38, a few float subnormals on one line: products in floats underflow"},
        {"ulp", "the classroom grid in floats: floats a few units in their last place about (0.5, 0.5) and two far "
                "points of the diagonal through it, repeated to n points"},
    };
    for (const auto& [name, growth] : inFloats) {
        if (type == Coordinates::F32 && shape == name) return growth;
    }
    for (const Shape& s : realShapes()) {
        if (s.name == shape) return s.growth;
    }
    throw std::invalid_argument("unknown shape \"" + shape + "\"");
}

const std::vector<Shape>& realShapes() {
    static const std::vector<Shape> list = {
        {"offset", "uniform in a disc 5 wide about (813580.3, 4521234.7), as projected metres are: "
                   "differences cancel in plain doubles", false},
        {"huge", "uniform in a disc of radius 1e300: a plain cross product overflows", false},
        {"tiny", "uniform in a disc of radius 1e-300, a few subnormals on one line: products underflow", false},
        {"ulp", "the classroom grid: doubles a few units in the last place about (0.5, 0.5) and two far "
                "points of the diagonal through it, repeated to n points", false},
        {"kuzmin", "Kuzmin's distribution, as the PBBS benchmarks draw it: a uniform direction, radius "
                   "sqrt(1 / (1 - s)^2 - 1) for s uniform in [0, 1): most points near the centre, a long tail", false},
    };
    return list;
}

std::vector<RealPoint> makeRealShape(const std::string& shape, std::int64_t n, std::uint64_t seed, Coordinates type) {
    const bool floats = type == Coordinates::F32;  // huge, tiny and ulp at the floats' own scale
    SplitMix64 g = generator(shape + "/f64", n, seed);
    auto inDisc = [&](double cx, double cy, double radius) {
        return draw<RealPoint>(n, [&](std::vector<RealPoint>& p) {
            const double u = g.signedUnit(), v = g.signedUnit();
            if (u * u + v * v <= 1) p.push_back({cx + radius * u, cy + radius * v});
        });
    };
    if (shape == "square") return draw<RealPoint>(n, [&](std::vector<RealPoint>& p) { p.push_back({g.signedUnit(), g.signedUnit()}); });
    if (shape == "disc") return inDisc(0, 0, 1);
    if (shape == "offset") return inDisc(813580.3, 4521234.7, 2.5);
    if (shape == "huge") return inDisc(0, 0, floats ? 1e38 : 1e300);
    if (shape == "normal") {  // Marsaglia's polar method, continuous
        return draw<RealPoint>(n, [&](std::vector<RealPoint>& p) {
            const double u = g.signedUnit(), v = g.signedUnit(), s = u * u + v * v;
            if (s >= 1 || s == 0) return;
            const double f = std::sqrt(-2.0 * std::log(s) / s);
            p.push_back({u * f, v * f});
        });
    }
    if (shape == "circle") {  // a direction rounded onto the unit circle: only some points are corners
        return draw<RealPoint>(n, [&](std::vector<RealPoint>& p) {
            const double u = g.signedUnit(), v = g.signedUnit(), s = u * u + v * v;
            if (s >= 1 || s < 1e-6) return;
            const double length = std::sqrt(s);
            p.push_back({u / length, v / length});
        });
    }
    if (shape == "lattice") {  // steps of 0.1, which as doubles are not evenly spaced
        return draw<RealPoint>(n, [&](std::vector<RealPoint>& p) { p.push_back({0.1 * double(g.below(64)), 0.1 * double(g.below(64))}); });
    }
    if (shape == "line") {  // points of y = 0.1 + 0.3 x, each rounded to doubles
        return draw<RealPoint>(n, [&](std::vector<RealPoint>& p) {
            const double x = g.signedUnit();
            p.push_back({x, 0.1 + 0.3 * x});
        });
    }
    if (shape == "tiny") {
        std::vector<RealPoint> points = inDisc(0, 0, floats ? 1e-38 : 1e-300);
        const double least = floats ? double(std::numeric_limits<float>::denorm_min()) : 5e-324;
        for (std::int64_t k = 1; k <= std::min<std::int64_t>(10, n); ++k) {
            points[std::size_t(k - 1)] = {double(k) * least, -double(k) * least};  // subnormals
        }
        return points;
    }
    if (shape == "ulp") {
        return draw<RealPoint>(n, [&](std::vector<RealPoint>& p) {
            const std::int64_t k = std::int64_t(p.size()) % 258;
            if (k < 2) p.push_back(k == 0 ? RealPoint{24, 24} : RealPoint{12, 12});
            else p.push_back({ulpsFrom(0.5, int(g.below(16)) - 8, floats), ulpsFrom(0.5, int(g.below(16)) - 8, floats)});
        });
    }
    if (shape == "kuzmin") {  // s < 1 by at least 2^-53: the radius stays below 2^53
        return draw<RealPoint>(n, [&](std::vector<RealPoint>& p) {
            const double u = g.signedUnit(), v = g.signedUnit(), d = u * u + v * v;
            if (d >= 1 || d < 1e-6) return;
            const double s = double(g.below(std::int64_t(1) << 53)) * 0x1p-53, r = std::sqrt(1 / ((1 - s) * (1 - s)) - 1);
            const double length = std::sqrt(d);
            p.push_back({r * u / length, r * v / length});
        });
    }
    if (shape == "convex" || shape == "sliver") return scaledDown(makeShape(shape, n, seed));
    throw std::invalid_argument("unknown shape \"" + shape + "\"");
}

}  // namespace lab
