// The coordinates' room: the exact predicates on doubles against GMP's rationals on the inputs that
// break plain doubles, the reader's rounding and refusals, and the reference hull on doubles
// against a brute force in rationals.

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <set>

#include "coords/coords.h"
#include "reference_hull.h"

namespace {

using lab::RealPoint;

// The double `steps` units in the last place from `x` (negative: downwards).
double ulps(double x, int steps) {
    for (; steps > 0; --steps) x = std::nextafter(x, INFINITY);
    for (; steps < 0; ++steps) x = std::nextafter(x, -INFINITY);
    return x;
}

// A family of small point sets, each made from a random engine: the kinds of input on which
// plain doubles decide turns wrongly, overflow or underflow.
struct Family {
    const char* name;
    std::function<std::vector<RealPoint>(std::mt19937_64&)> make;
};

double uniform(std::mt19937_64& random, double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(random); }
int nudge(std::mt19937_64& random) { return int(random() % 7) - 3; }

const std::vector<Family>& families() {
    static const std::vector<Family> list = {
        // The "classroom" construction: near the diagonal through two far points, moved by ulps.
        {"a few ulps off a line through far points",
         [](std::mt19937_64& r) {
             std::vector<RealPoint> points = {{24.0, 24.0}, {12.0, 12.0}};
             for (int i = 0; i < 6; ++i) points.push_back({ulps(0.5, nudge(r)), ulps(0.5, nudge(r))});
             return points;
         }},
        // Decimals that are collinear as decimals (x + y = 1, steps of 0.1) but not as doubles.
        {"decimals on x + y = 1",
         [](std::mt19937_64& r) {
             std::vector<RealPoint> points;
             for (int i = 0; i < 8; ++i) {
                 const double x = double(int(r() % 21) - 10) / 10;
                 points.push_back({x, 1 - x});
             }
             return points;
         }},
        {"exactly collinear dyadic points",
         [](std::mt19937_64& r) {
             const double x = uniform(r, -1e6, 1e6), y = uniform(r, -1e6, 1e6), dx = std::ldexp(1.0, -int(r() % 20)),
                          dy = std::ldexp(3.0, -int(r() % 20));
             std::vector<RealPoint> points;
             for (int i = 0; i < 8; ++i) {
                 const double t = double(int(r() % 64) - 32);
                 points.push_back({x + t * dx, y + t * dy});
             }
             return points;
         }},
        {"a cloud a few units wide far from the origin",
         [](std::mt19937_64& r) {
             const double far = std::ldexp(1.0, 20 + int(r() % 30));
             std::vector<RealPoint> points;
             for (int i = 0; i < 8; ++i) points.push_back({far + uniform(r, 0, 4), far + uniform(r, 0, 4)});
             return points;
         }},
        {"near-copies one ulp apart and 1e-17 about zero",
         [](std::mt19937_64& r) {
             std::vector<RealPoint> points = {{-0.2, -0.1}, {1.38777878e-17, -0.1}, {-0.1, 0.3}, {0.3, 0.2}};
             for (int i = 0; i < 4; ++i) {
                 const RealPoint p = points[r() % 4];
                 points.push_back({ulps(p.x, nudge(r)), ulps(p.y, nudge(r))});
             }
             return points;
         }},
        {"huge: products overflow (|c| near 1e300)",
         [](std::mt19937_64& r) {
             std::vector<RealPoint> points;
             for (int i = 0; i < 8; ++i) points.push_back({uniform(r, -1, 1) * 1e300, uniform(r, -1, 1) * 1e300});
             points.push_back({ulps(-points[0].x, nudge(r)), ulps(-points[0].y, nudge(r))});
             return points;
         }},
        {"tiny: products underflow, subnormals among them",
         [](std::mt19937_64& r) {
             std::vector<RealPoint> points;
             for (int i = 0; i < 8; ++i) {
                 const double scale = i % 2 == 0 ? 1e-160 : std::ldexp(1.0, -1070);
                 points.push_back({double(int(r() % 9) - 4) * scale, double(int(r() % 9) - 4) * scale});
             }
             return points;
         }},
        {"mixed magnitudes from 1e-300 to 1e300, signed zeros",
         [](std::mt19937_64& r) {
             std::vector<RealPoint> points;
             for (int i = 0; i < 8; ++i) {
                 auto any = [&] {
                     const int kind = int(r() % 5);
                     if (kind == 0) return r() % 2 ? 0.0 : -0.0;
                     return (r() % 2 ? 1 : -1) * std::pow(10.0, double(int(r() % 601) - 300));
                 };
                 points.push_back({any(), any()});
             }
             return points;
         }},
    };
    return list;
}

TEST(ExactPredicates, TurnAndDotAgreeWithRationalsOnEveryFamily) {
    for (const Family& family : families()) {
        std::mt19937_64 random(7);
        int checked = 0, zeros = 0, plainWrong = 0;
        for (int set = 0; set < 300; ++set) {
            const std::vector<RealPoint> p = family.make(random);
            for (std::size_t i = 0; i + 2 < p.size(); ++i) {
                const RealPoint o = p[i], a = p[i + 1], b = p[i + 2];
                const int exact = lab::rationalTurn(o, a, b);
                ASSERT_EQ(lab::turn(o, a, b), exact) << family.name << ": turn(" << lab::show(o) << ", " << lab::show(a)
                                                     << ", " << lab::show(b) << ")";
                ASSERT_EQ(lab::dotSign(o, a, b), lab::rationalDotSign(o, a, b))
                    << family.name << ": dotSign(" << lab::show(o) << ", " << lab::show(a) << ", " << lab::show(b) << ")";
                const double plain = (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
                plainWrong += (plain > 0) - (plain < 0) != exact;
                zeros += exact == 0;
                ++checked;
            }
        }
        EXPECT_GT(checked, 1000) << family.name;
        if (std::strstr(family.name, "collinear")) {
            EXPECT_GT(zeros, checked / 2) << family.name << ": collinear triples";
        }
        if (std::strstr(family.name, "ulps off") || std::strstr(family.name, "huge") || std::strstr(family.name, "tiny")) {
            EXPECT_GT(plainWrong, 0) << family.name << ": plain doubles should get some turns wrong here";
        }
    }
}

// ---- Reading and writing ------------------------------------------------------------------------

double bitsToDouble(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

TEST(RealText, EveryFiniteDoubleAndFloatRoundTripsBitForBit) {
    std::mt19937_64 random(11);
    for (int i = 0; i < 200000; ++i) {
        const double value = bitsToDouble(random());
        if (!std::isfinite(value)) continue;
        double back = 0;
        ASSERT_EQ(lab::readReal(lab::realText(value), lab::Coordinates::F64, back), "") << lab::realText(value);
        ASSERT_EQ(std::memcmp(&back, &value, sizeof value), 0) << lab::realText(value) << " read back differently";
        float narrow;
        const std::uint32_t bits = std::uint32_t(random());
        std::memcpy(&narrow, &bits, sizeof narrow);
        if (!std::isfinite(narrow)) continue;
        ASSERT_EQ(lab::readReal(lab::realText(narrow), lab::Coordinates::F32, back), "") << lab::realText(narrow);
        const float backNarrow = float(back);
        ASSERT_EQ(std::memcmp(&backNarrow, &narrow, sizeof narrow), 0) << lab::realText(narrow);
    }
}

TEST(RealText, DecimalsRoundToTheNearestValueTiesToEven) {
    struct Case {
        const char* word;
        lab::Coordinates type;
        double expected;
    };
    const double two53 = 9007199254740992.0;
    const Case cases[] = {
        {"9007199254740993", lab::Coordinates::F64, two53},       // halfway: to the even one below
        {"9007199254740995", lab::Coordinates::F64, two53 + 4},   // halfway: to the even one above
        {"1.7976931348623157e308", lab::Coordinates::F64, DBL_MAX},
        {"2.2250738585072014e-308", lab::Coordinates::F64, DBL_MIN},
        {"4.9406564584124654e-324", lab::Coordinates::F64, std::ldexp(1.0, -1074)},
        {"2.4703282292062328e-324", lab::Coordinates::F64, std::ldexp(1.0, -1074)},  // just past half the least
        {"-0", lab::Coordinates::F64, -0.0},
        {"0e-999", lab::Coordinates::F64, 0.0},
        {"+5", lab::Coordinates::F64, 5.0},
        {".5", lab::Coordinates::F64, 0.5},
        {"1E3", lab::Coordinates::F64, 1000.0},
        {"0.000000000000000000e+00", lab::Coordinates::F64, 0.0},
        {"813580.3", lab::Coordinates::F64, 813580.3},
        {"0.1", lab::Coordinates::F32, double(0.1f)},
        {"3.4028235e38", lab::Coordinates::F32, double(FLT_MAX)},
        // Just above halfway between the floats 1 and 1 + 2^-23: read through a double it would
        // round to the halfway point, then to even (1); read once, it is the float above.
        {"1.0000000596046447753906250001", lab::Coordinates::F32, 1.0 + std::ldexp(1.0, -23)},
    };
    for (const Case& c : cases) {
        double value = 7;
        ASSERT_EQ(lab::readReal(c.word, c.type, value), "") << c.word;
        EXPECT_EQ(value, c.expected) << c.word << " as " << lab::coordinatesWord(c.type);
        EXPECT_EQ(std::signbit(value), std::signbit(c.expected)) << c.word;
    }
}

TEST(RealText, EachBadCoordinateIsRefusedByName) {
    struct Case {
        const char* word;
        lab::Coordinates type;
        const char* why;
    };
    const Case cases[] = {
        {"nan", lab::Coordinates::F64, "is not a number (NaN)"},
        {"NaN", lab::Coordinates::F32, "is not a number (NaN)"},
        {"inf", lab::Coordinates::F64, "is infinite"},
        {"-Infinity", lab::Coordinates::F64, "is infinite"},
        {"1e400", lab::Coordinates::F64, "lies beyond the largest double"},
        {"-1.7976931348623159e308", lab::Coordinates::F64, "lies beyond the largest double"},
        {"1e-400", lab::Coordinates::F64, "is not zero but rounds to zero as a double"},
        {"2.4703282292062327e-324", lab::Coordinates::F64, "is not zero but rounds to zero as a double"},
        {"1e39", lab::Coordinates::F32, "lies beyond the largest float"},
        {"1e-50", lab::Coordinates::F32, "is not zero but rounds to zero as a float"},
        {"abc", lab::Coordinates::F64, "is not a number"},
        {"0x10", lab::Coordinates::F64, "is not a number"},
        {"1e", lab::Coordinates::F64, "is not a number"},
        {"1.2.3", lab::Coordinates::F64, "is not a number"},
        {"+-1", lab::Coordinates::F64, "is not a number"},
        {"", lab::Coordinates::F64, "a coordinate is missing"},
    };
    for (const Case& c : cases) {
        double value = 7;
        const std::string why = lab::readReal(c.word, c.type, value);
        EXPECT_NE(why.find(c.why), std::string::npos) << "\"" << c.word << "\" gave: " << why;
        if (*c.word != 0) {
            EXPECT_NE(why.find(std::string("\"") + c.word + "\""), std::string::npos) << why;
        }
    }
}

// ---- The reference hull on doubles --------------------------------------------------------------

// Whether p lies in the convex hull of `others` (closed), in rationals alone: in some triangle of
// them, or on a segment of two (Caratheodory). O(m^3).
bool inHullOfOthers(RealPoint p, const std::vector<RealPoint>& others) {
    const std::size_t m = others.size();
    auto onSegment = [&](RealPoint a, RealPoint b) {
        return lab::rationalTurn(a, b, p) == 0 && lab::rationalDotSign(p, a, b) <= 0;
    };
    for (std::size_t i = 0; i < m; ++i) {
        if (others[i] == p) return true;
        for (std::size_t j = i + 1; j < m; ++j) {
            if (onSegment(others[i], others[j])) return true;
            for (std::size_t k = j + 1; k < m; ++k) {
                const int s1 = lab::rationalTurn(others[i], others[j], p), s2 = lab::rationalTurn(others[j], others[k], p),
                          s3 = lab::rationalTurn(others[k], others[i], p);
                const bool hasLeft = s1 > 0 || s2 > 0 || s3 > 0, hasRight = s1 < 0 || s2 < 0 || s3 < 0;
                if (!(hasLeft && hasRight) && (s1 != 0 || s2 != 0 || s3 != 0)) return true;
            }
        }
    }
    return false;
}

TEST(RealReference, CornersAreExactlyThePointsOutsideTheOthersHullOnEveryFamily) {
    for (const Family& family : families()) {
        std::mt19937_64 random(13);
        for (int set = 0; set < 60; ++set) {
            std::vector<RealPoint> points = family.make(random);
            std::sort(points.begin(), points.end());
            points.erase(std::unique(points.begin(), points.end()), points.end());
            std::set<std::pair<double, double>> expected;
            for (std::size_t i = 0; i < points.size(); ++i) {
                std::vector<RealPoint> others = points;
                others.erase(others.begin() + std::ptrdiff_t(i));
                if (!inHullOfOthers(points[i], others)) expected.insert({points[i].x, points[i].y});
            }
            const std::vector<RealPoint> corners = reference::corners(points);
            std::set<std::pair<double, double>> found;
            for (const RealPoint& c : corners) found.insert({c.x, c.y});
            if (points.size() > 2) {
                EXPECT_EQ(found, expected) << family.name << ", set " << set;
            }
            // The reference check accepts the reference hull, and refuses it with a corner left out.
            const reference::InputOf<RealPoint> input{
                "the input", corners, [&](RealPoint p) { return std::binary_search(points.begin(), points.end(), p); },
                [](RealPoint p) { return lab::show(p); }};
            std::vector<RealPoint> foundCorners;
            EXPECT_EQ(reference::checkHull({true, true, false}, "result", corners, input, foundCorners), "")
                << family.name << ", set " << set;
            if (corners.size() >= 4) {
                std::vector<RealPoint> missing(corners.begin(), corners.end() - 1);
                EXPECT_NE(reference::checkHull({true, true, false}, "result", missing, input, foundCorners), "")
                    << family.name << ", set " << set << ": a corner left out";
            }
        }
    }
}

}  // namespace
