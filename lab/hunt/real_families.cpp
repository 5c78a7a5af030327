// The hunt's families of real input: each aimed at a known way for a hull on doubles to fail (the
// classroom examples of geometric robustness and the bug reports against hull libraries): points
// units in the last place off a line, decimals collinear as decimals but not as doubles,
// near-copies, a small cloud far from the origin, magnitudes where a plain cross product overflows
// or underflows, the integer families and the shapes as doubles. With f32, each at the floats'
// scale and every coordinate a float.

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "hunt/hunt.h"
#include "inputs/inputs.h"

namespace lab {

namespace {

// The type's neighbour of `value` towards `to`: a double's, or a float's (widened).
double neighbour(double value, double to, Coordinates type) {
    if (type == Coordinates::F32) return double(std::nextafter(float(value), float(to)));
    return std::nextafter(value, to);
}

// `value` stepped `steps` units in the last place of the type (up for steps > 0).
double ulps(double value, int steps, Coordinates type) {
    const double to = steps > 0 ? std::numeric_limits<double>::infinity() : -std::numeric_limits<double>::infinity();
    for (int k = 0; k < std::abs(steps); ++k) value = neighbour(value, to, type);
    return value;
}

// The type's nearest value to the decimal `text` ("0.3", "1e-17"), rounded once from the decimal.
double decimal(const std::string& text, Coordinates type) {
    double value = 0;
    readReal(text, type == Coordinates::F32 ? Coordinates::F32 : Coordinates::F64, value);
    return value;
}

// A point of the type: each coordinate its nearest float with F32 (a double as it is otherwise).
RealPoint ofType(double x, double y, Coordinates type) {
    return type == Coordinates::F32 ? RealPoint{nearestFloat(x), nearestFloat(y)} : RealPoint{x, y};
}

// The classroom grid: a point p on the line y = s x (s a power of two, so s x is exact), the m x m
// grid of its neighbours i and j units in the last place away in x and y, and two far points of
// the line: each grid point lies on the line or units in the last place off it.
std::vector<RealPoint> ulpGrid(SplitMix64& r, Coordinates type) {
    const double slopes[] = {1, 2, 0.5, -1, -2};
    const double s = slopes[r.below(5)];
    const double bases[] = {0.5, 0.1, 1.0 / 3, 17.300000000000001, 1e-3, 12345.678};
    const double b = double(type == Coordinates::F32 ? float(bases[r.below(6)]) : bases[r.below(6)]);
    const int m = 2 + int(r.below(15));
    std::vector<RealPoint> points = {ofType(24 * b, s * 24 * b, type), ofType(12 * b, s * 12 * b, type)};
    const RealPoint p = ofType(b, s * b, type);
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < m; ++j) points.push_back({ulps(p.x, i - m / 2, type), ulps(p.y, j - m / 2, type)});
    }
    return inputOrder(points, r.next());
}

// Decimals collinear as decimals, which their doubles need not be: points of x + y = 1 (scaled by
// a power of ten), of y = x / 10 (x whole, y its tenth), or a grid of step 0.1 or 0.01.
std::vector<RealPoint> decimals(SplitMix64& r, Coordinates type) {
    std::vector<RealPoint> points;
    const int kind = int(r.below(3));
    const int count = 3 + int(r.below(20));
    const std::string scale = r.below(2) == 0 ? "" : r.below(2) == 0 ? "e-2" : "e3";
    for (int k = 0; k < count; ++k) {
        const int a = int(r.below(kind == 2 ? 30 : 100));
        if (kind == 0) {  // x + y = 1: 0.ab and 1 - 0.ab, both written with two decimals
            const int b = 100 - a;
            const std::string x = "0." + std::string(a < 10 ? "0" : "") + std::to_string(a);
            const std::string y = b == 100 ? "1" : "0." + std::string(b < 10 ? "0" : "") + std::to_string(b);
            points.push_back({decimal(x + scale, type), decimal(y + scale, type)});
        } else if (kind == 1) {  // y = x / 10 for x a whole number: y = a / 10 as a decimal
            points.push_back({decimal(std::to_string(a) + scale, type), decimal(std::to_string(a / 10) + "." + std::to_string(a % 10) + scale, type)});
        } else {  // a grid of step 0.1 or 0.01
            const int b = int(r.below(30));
            const std::string step = r.below(2) == 0 ? "e-1" : "e-2";
            points.push_back({decimal(std::to_string(a) + step, type), decimal(std::to_string(b) + step, type)});
        }
    }
    return inputOrder(points, r.next());
}

// Near-copies: points one unit in the last place apart, and points 1e-17 apart about the origin,
// beside a few others.
std::vector<RealPoint> nearCopies(SplitMix64& r, Coordinates type) {
    std::vector<RealPoint> points;
    const double tiny = type == Coordinates::F32 ? 1e-8 : 1e-17;
    for (int k = 1 + int(r.below(5)); k > 0; --k) {
        if (r.below(2) == 0) {
            const RealPoint p = ofType(r.signedUnit() * (r.below(2) == 0 ? 1 : 1e6), r.signedUnit(), type);
            points.push_back(p);
            points.push_back({ulps(p.x, r.below(2) == 0 ? 1 : -1, type), p.y});
            points.push_back({p.x, ulps(p.y, r.below(2) == 0 ? 1 : -1, type)});
        } else {
            points.push_back({0.0, 0.0});
            points.push_back(ofType(tiny * double(r.below(3) - 1), tiny * double(r.below(3) - 1), type));
            points.push_back(ofType(-tiny, tiny, type));
        }
    }
    for (int k = int(r.below(4)); k > 0; --k) points.push_back(ofType(r.signedUnit(), r.signedUnit(), type));
    return inputOrder(points, r.next());
}

// A small cloud far from the origin (10^5 to 10^15 there; 10^3 to 10^7 for floats), where the
// differences of coordinates cancel most of their digits.
std::vector<RealPoint> farCloud(SplitMix64& r, Coordinates type) {
    const int exponent = type == Coordinates::F32 ? 3 + int(r.below(5)) : 5 + int(r.below(11));
    const double far = std::pow(10.0, exponent) * (1 + r.signedUnit() / 2);
    const double radius = std::pow(10.0, double(r.below(5)) - 2);
    std::vector<RealPoint> points;
    for (int k = 3 + int(r.below(40)); k > 0; --k) {
        points.push_back(ofType(far + radius * r.signedUnit(), -far / 3 + radius * r.signedUnit(), type));
    }
    return points;
}

// Magnitudes where a plain cross product overflows (near 1e154 and up; for floats 1e19 and up),
// underflows (near 1e-160 and down, subnormals), signed zeros, and mixed in one set.
std::vector<RealPoint> magnitudes(SplitMix64& r, Coordinates type) {
    const bool f32 = type == Coordinates::F32;
    const double huge[] = {f32 ? 1e19 : 1e154, f32 ? 1e30 : 1e200, f32 ? 3e38 : 1e307};
    const double small[] = {f32 ? 1e-20 : 1e-160, f32 ? 1e-38 : 1e-300, f32 ? 1e-44 : 5e-324};
    const int mix = int(r.below(3));  // all huge, all small, or mixed with zeros
    auto coordinate = [&]() -> double {
        const int pick = mix == 2 ? int(r.below(3)) : mix;
        if (pick == 0) return huge[r.below(3)] * r.signedUnit();
        if (pick == 1) return small[r.below(3)] * double(r.below(9) - 4);
        return r.below(2) == 0 ? 0.0 : -0.0;
    };
    std::vector<RealPoint> points;
    for (int k = 1 + int(r.below(30)); k > 0; --k) points.push_back(ofType(coordinate(), coordinate(), type));
    return points;
}

// The integer families as doubles (exact below 2^30; for floats, each value's nearest float).
std::vector<RealPoint> wholeNumbers(std::uint64_t seed, std::uint64_t i, Coordinates type) {
    std::vector<RealPoint> points;
    for (const Point& p : huntInput(seed, i).points) points.push_back(ofType(double(p.x), double(p.y), type));
    return points;
}

// The real shapes and the lab's shapes as doubles at the swept sizes up to 10^5, the shape turning
// with each input.
std::vector<RealPoint> realShapeAtSize(SplitMix64& r, std::uint64_t i, Coordinates type) {
    std::vector<std::int64_t> sizes = sweptSizes();
    sizes.erase(std::remove_if(sizes.begin(), sizes.end(), [](std::int64_t n) { return n > 100000; }), sizes.end());
    std::vector<std::string> names;
    for (const Shape& s : shapes()) names.push_back(s.name);
    for (const Shape& s : realShapes()) names.push_back(s.name);
    const std::int64_t n = sizes[i % sizes.size()];
    const std::string& shape = names[(i + i / sizes.size()) % names.size()];
    std::vector<RealPoint> points;
    try {
        points = makeRealShape(shape, n, r.next(), type);
    } catch (const std::invalid_argument&) {  // a size the shape cannot make
        points = makeRealShape("disc", n, r.next(), type);
    }
    for (RealPoint& p : points) p = ofType(p.x, p.y, type);
    return points;
}

}  // namespace

const std::vector<Family>& realFamilies() {
    static const std::vector<Family> list = {
        {"ulp-grid", "a grid of neighbours units in the last place about a point of a line, and two far points of it"},
        {"decimals", "decimals collinear as decimals (x + y = 1, y = x / 10, grids of step 0.1 and 0.01), not as doubles"},
        {"near-copies", "points one unit in the last place apart, and points 1e-17 apart about the origin"},
        {"far-cloud", "a small cloud 10^5 to 10^15 from the origin, where differences cancel"},
        {"magnitudes", "coordinates where a plain cross product overflows or underflows, subnormals, signed zeros, mixed"},
        {"whole-numbers", "the integer families as doubles"},
        {"real-shapes", "the shapes and the real shapes as doubles at 2^k +- 1 and 10^k +- 1 points, to 10^5"},
    };
    return list;
}

RealHuntInput realHuntInput(std::uint64_t seed, std::uint64_t k, Coordinates type) {
    const std::size_t count = realFamilies().size();
    RealHuntInput input;
    input.family = std::size_t(k % count);
    const std::uint64_t i = k / count;
    SplitMix64 r{seed * 0xA24BAED4963EE407ull ^ (k + 1) * 0x9FB21C651E98DF25ull};
    r.next();
    const std::string name = realFamilies()[input.family].name;
    if (name == "ulp-grid") input.points = ulpGrid(r, type);
    else if (name == "decimals") input.points = decimals(r, type);
    else if (name == "near-copies") input.points = nearCopies(r, type);
    else if (name == "far-cloud") input.points = farCloud(r, type);
    else if (name == "magnitudes") input.points = magnitudes(r, type);
    else if (name == "whole-numbers") input.points = wholeNumbers(seed, i, type);
    else input.points = realShapeAtSize(r, i, type);
    return input;
}

}  // namespace lab
