// Real coordinates through the lab: point files of doubles read exactly or refused by line and
// word, every entry that takes doubles given them unchanged and judged exactly, the exact array
// forms right where plain doubles are not, and hull-lab on a real file end to end.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstring>
#include <iostream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "../lab/lab.h"
#include "../lab/inputs/inputs.h"
#include "../lab/hunt/hunt.h"
#include "../lab/own/own.h"
#include "../lab/run/cell.h"
#include "lab_run.h"
#include "test_files.h"

namespace {

using lab::RealPoint;
namespace fs = std::filesystem;

// n points in a disc of radius 1000 about (813580.3, 4521234.7), as projected metres are: no
// three of them nearly collinear, so that every entry on doubles has a right hull to give.
std::vector<RealPoint> projectedDisc(int n, unsigned seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> unit(-1, 1);
    std::vector<RealPoint> points;
    while (int(points.size()) < n) {
        const double x = unit(random), y = unit(random);
        if (x * x + y * y <= 1) points.push_back({813580.3 + 1000 * x, 4521234.7 + 1000 * y});
    }
    return points;
}

// The "classroom" set: two far points of the diagonal and a grid of doubles a few units in the
// last place about (0.5, 0.5), where plain doubles decide turns wrongly.
std::vector<RealPoint> ulpGrid() {
    std::vector<RealPoint> points = {{24, 24}, {12, 12}};
    auto at = [](int steps) {
        double x = 0.5;
        for (; steps > 0; --steps) x = std::nextafter(x, 2.0);
        for (; steps < 0; ++steps) x = std::nextafter(x, 0.0);
        return x;
    };
    for (int i = -8; i < 8; ++i) {
        for (int j = -8; j < 8; ++j) points.push_back({at(i), at(j)});
    }
    return lab::inputOrder(points, 3);
}

TEST(RealEntries, EveryEntryOnDoublesReturnsInputPointsAndTheRightHull) {
    const std::vector<RealPoint> points = projectedDisc(2000, 5);
    int taken = 0;
    for (const lab::Algorithm& entry : lab::algorithms()) {
        if (!entry.prepareReal || entry.origin == lab::Origin::Floor) continue;
        ++taken;
        // Every value a hull returns must be one of the input's doubles, bit for bit: a conversion
        // on the way in or out (to whole numbers, to floats) shows as a point not of the input.
        std::vector<RealPoint> input = points;
        if (entry.floatsOnly) {
            for (RealPoint& p : input) p = {lab::nearestFloat(p.x), lab::nearestFloat(p.y)};
        }
        std::size_t h = 0;
        std::string wrong;
        try {
            wrong = lab::checkRealResult(entry, input, entry.prepareReal(input)->realHull(), h).words;
        } catch (const std::exception& e) {
            wrong = std::string("threw: ") + e.what();
        }
        EXPECT_EQ(wrong, "") << entry.name;
        EXPECT_EQ(h, reference::corners(input).size()) << entry.name;
    }
    EXPECT_GE(taken, 6) << "the array forms and their plain forms at least";
}

// Each exact entry beside the same code on plain doubles: the exact one right on every order of
// the ulp grid and on huge and tiny magnitudes, the plain one wrong on some of them.
TEST(RealEntries, ExactFormsAreRightWherePlainDoublesAreNot) {
    struct Form {
        const char* exact;
        const char* plain;
    };
    std::vector<Form> forms = {{"incremental-array", "incremental-array-plain"},
                               {"gift_wrapping-array", "gift_wrapping-array-plain"},
                               {"qhull-array", "qhull-array-plain"},
                               {"chan", nullptr}};
#ifdef HULL_LAB_CGAL
    forms.push_back({"cgal-monotone-chain", "cgal-monotone-chain-plain"});
    forms.push_back({"cgal-akl-toussaint", "cgal-akl-toussaint-plain"});
#endif
    for (const Form& form : forms) {
        int plainWrong = 0;
        for (unsigned seed = 0; seed < 22; ++seed) {
            const std::vector<RealPoint> points = seed == 20 ? lab::makeRealShape("huge", 300, 1)
                                                  : seed == 21 ? lab::makeRealShape("tiny", 300, 1)
                                                               : lab::inputOrder(ulpGrid(), seed);
            std::size_t h = 0;
            const lab::Algorithm& exact = *lab::findAlgorithm(form.exact);
            EXPECT_EQ(lab::checkRealResult(exact, points, exact.prepareReal(points)->realHull(), h).words, "")
                << form.exact << ", set " << seed;
            if (form.plain == nullptr) continue;  // exact only
            const lab::Algorithm& plain = *lab::findAlgorithm(form.plain);
            plainWrong += lab::checkRealResult(plain, points, plain.prepareReal(points)->realHull(), h).words != "";
        }
        if (form.plain != nullptr) {
            EXPECT_GT(plainWrong, 0) << form.plain << " should fail on some of these sets";
        }
    }
}

// ---- The fastest hull on doubles -----------------------------------------------------------------

// The sort's keys order doubles as they compare: across signs, zeros, subnormals, the largest
// values and neighbours one unit in the last place apart; -0 and 0 one key; back bit for bit.
TEST(FastHullOnDoubles, KeysOrderEveryDoubleAsItComparesAndComeBackExactly) {
    const double big = std::numeric_limits<double>::max(), least = std::numeric_limits<double>::denorm_min(),
                 normal = std::numeric_limits<double>::min();
    const std::vector<double> values = {-big, std::nextafter(-big, 0.0), -1e300, -1.0, std::nextafter(-1.0, 0.0), -normal,
                                        -least, -0.0, 0.0, least, 2 * least, normal, std::nextafter(normal, 0.0),
                                        std::nextafter(1.0, 0.0), 1.0, std::nextafter(1.0, 2.0), 1e300, big};
    for (double a : values) {
        const double back = lab::realOfOrderKey(lab::realOrderKey(a));
        EXPECT_TRUE(back == a && (std::signbit(back) == std::signbit(a) || a == 0)) << a << " came back as " << back;
        EXPECT_FALSE(std::signbit(lab::realOfOrderKey(lab::realOrderKey(-0.0)))) << "-0 is 0's key";
        for (double b : values) {
            EXPECT_EQ(lab::realOrderKey(a) < lab::realOrderKey(b), a < b) << a << " against " << b;
            EXPECT_EQ(lab::realOrderKey(a) == lab::realOrderKey(b), a == b) << a << " against " << b;
        }
    }
}

// The sort of the fastest hull (and of the sort-keys floor) puts points in the point order, x then
// y, whatever their signs, zeros, subnormals and neighbours, from another array or in place.
TEST(FastHullOnDoubles, TheSortPutsPointsInThePointOrder) {
    const double least = std::numeric_limits<double>::denorm_min(), big = std::numeric_limits<double>::max();
    std::vector<RealPoint> points = {{0.0, -0.0}, {-0.0, 1}, {least, -least}, {-least, 0}, {1, std::nextafter(1.0, 2.0)}, {1, 1},
                                     {-big, big}, {big, -big}, {std::nextafter(1.0, 0.0), 5}, {0.0, -1}, {-1e-300, 3}, {1, -0.0}};
    for (int copy = 0; copy < 200; ++copy) points.push_back(points[std::size_t(copy * 7) % 12]);  // copies, in another order
    std::vector<RealPoint> want = points;
    std::sort(want.begin(), want.end());  // -0 and 0 compare equal: any of them may come first
    for (bool inPlace : {false, true}) {
        std::vector<RealPoint> got = inPlace ? points : std::vector<RealPoint>(points.size());
        lab::sortRealPoints(got.data(), got.size(), inPlace ? nullptr : points.data());
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_TRUE(got[i] == want[i]) << (inPlace ? "in place" : "from another array") << ", point " << i << ": "
                                           << lab::show(got[i]) << " where " << lab::show(want[i]);
        }
    }
}

// Two hulls joined, where one or both are empty, one point, two points, or the same.
TEST(FastHullOnDoubles, JoinedHullsOfFewCornersAreTheHullOfBoth) {
    const std::vector<RealPoint> none, one = {{1, 1}}, two = {{0, 0}, {2, 2}}, triangle = {{0, 0}, {4, 0}, {0, 4}};
    const std::vector<std::pair<std::vector<RealPoint>, std::vector<RealPoint>>> cases = {
        {none, none}, {none, one}, {one, one}, {one, two}, {two, two}, {two, triangle}, {triangle, one}, {triangle, {{5, 5}}}};
    for (const auto& [a, b] : cases) {
        std::vector<RealPoint> both = a;
        both.insert(both.end(), b.begin(), b.end());
        std::vector<RealPoint> want = reference::corners(both);
        if (want.size() > 1) std::reverse(want.begin() + 1, want.end());
        EXPECT_TRUE(lab::joinedHulls(lab::fastHullOnDoubles(a, lab::RealTurns::Exact), lab::fastHullOnDoubles(b, lab::RealTurns::Exact)) == want)
            << a.size() << " and " << b.size() << " points";
    }
}

// On two threads, halves that share the hull's edges: a filled unit square, a quarter of its points
// exactly on its edges, in both halves, and the corners only in the second half.
TEST(FastHullOnDoubles, TwoThreadsJoinHalvesThatShareTheHullsEdges) {
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<RealPoint> points;
    for (int i = 0; i < 70000; ++i) {
        const double t = unit(random);
        const RealPoint onEdge[4] = {{t, 0}, {1, t}, {t, 1}, {0, t}};
        points.push_back(i % 4 == 0 ? onEdge[(i / 4) % 4] : RealPoint{unit(random), unit(random)});
    }
    points.insert(points.end(), {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    ASSERT_TRUE(lab::fastHullPassPays(points.data(), points.size())) << "the halves' hulls are joined only after a pass";
    const std::vector<RealPoint> want = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const lab::Algorithm& twoThreads = *lab::findAlgorithm(std::string(lab::kFastestName) + "-2t");
    EXPECT_TRUE(twoThreads.prepareReal(points)->realHull() == want) << "two threads";
    EXPECT_TRUE(lab::fastHullOnDoubles(points, lab::RealTurns::Exact) == want) << "one thread";
}

// The hard sets made large enough for the throw-away pass (from 4,096 points): a unit square's
// corners filled with random points, and on each edge points exactly on it, one unit in the last
// place inside and outside it (the outside ones are corners, subnormal ones too), so that the
// pass's polygon and boxes meet points its filter cannot decide.
std::vector<RealPoint> edgeTrap(unsigned seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<RealPoint> points = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < 6000; ++i) points.push_back({unit(random), unit(random)});
    for (int i = 0; i < 40; ++i) {
        const double t = unit(random), in = std::nextafter(0.0, 1.0), out = -in;
        points.insert(points.end(), {{t, 0}, {t, in}, {1, t}, {std::nextafter(1.0, 0.0), t}, {t, 1}, {0, t}});
        if (i % 8 == 0) points.insert(points.end(), {{t, out}, {std::nextafter(1.0, 2.0), t}, {t, std::nextafter(1.0, 2.0)}, {out, t}});
    }
    return lab::inputOrder(points, seed);
}

// Right, and in the corners' own order, on every shape of doubles and floats below and above the
// pass's size and on the edge traps; the same steps in plain doubles are wrong on some.
TEST(FastHullOnDoubles, RightOnEveryRealShapeAndOnEdgeTrapsWherePlainDoublesAreNot) {
    std::vector<std::pair<std::string, std::vector<RealPoint>>> sets;
    for (unsigned seed = 1; seed <= 3; ++seed) sets.push_back({"edge trap " + std::to_string(seed), edgeTrap(seed)});
    std::vector<std::string> shapes = {"square", "disc", "normal", "circle", "convex", "lattice", "line", "sliver"};
    for (const lab::Shape& shape : lab::realShapes()) shapes.push_back(shape.name);
    for (const std::string& shape : shapes) {
        for (std::int64_t n : {100, 5000, 70000}) {
            for (lab::Coordinates type : {lab::Coordinates::F64, lab::Coordinates::F32}) {
                std::vector<RealPoint> points = lab::makeRealShape(shape, n, 7, type);
                if (type == lab::Coordinates::F32) {
                    for (RealPoint& p : points) p = {lab::nearestFloat(p.x), lab::nearestFloat(p.y)};
                }
                sets.push_back({shape + " " + std::to_string(n) + " " + lab::coordinatesWord(type), points});
            }
        }
    }
    int plainWrong = 0;
    for (const auto& [name, points] : sets) {
        const std::vector<RealPoint> want = reference::corners(points);
        std::vector<RealPoint> got = lab::fastHullOnDoubles(points, lab::RealTurns::Exact);
        ASSERT_EQ(got.size(), want.size()) << name;
        // Counter-clockwise from the lowest of the leftmost, as the reference gives them clockwise.
        if (want.size() > 1) std::reverse(got.begin() + 1, got.end());
        EXPECT_TRUE(got == want) << name;
        plainWrong += lab::fastHullOnDoubles(points, lab::RealTurns::Plain) != lab::fastHullOnDoubles(points, lab::RealTurns::Exact);
    }
    EXPECT_GT(plainWrong, 0) << "plain doubles should fail on some of these sets";
}

// The hunt's families of doubles and floats (the classroom grid, decimals collinear as decimals,
// near-copies, far clouds, magnitudes past a plain product's range, subnormals and signed zeros,
// the integer families and the shapes as doubles), every one of the first 350 inputs of two
// seeds, and the shapes at the sizes where the hull changes its path (64, 4,096 and 65,536 points
// and one less): the fastest hull on doubles, one thread and two, gives the reference's corners.
TEST(FastHullOnDoubles, RightOnTheHuntsFamiliesAndAtEverySizeWhereItsPathChanges) {
    std::vector<std::pair<std::string, std::vector<RealPoint>>> sets;
    for (lab::Coordinates type : {lab::Coordinates::F64, lab::Coordinates::F32}) {
        for (std::uint64_t seed : {1, 2}) {
            for (std::uint64_t k = 0; k < 350; ++k) {
                lab::RealHuntInput input = lab::realHuntInput(seed, k, type);
                if (input.points.size() > 20000) continue;  // the shapes at their largest: below
                sets.push_back({lab::realFamilies()[input.family].name + std::string(" input ") + std::to_string(k) + " seed " +
                                    std::to_string(seed) + " " + lab::coordinatesWord(type),
                                std::move(input.points)});
            }
        }
    }
    for (const char* shape : {"disc", "ulp", "sliver", "line", "tiny"}) {
        for (std::int64_t n : {63, 64, 4095, 4096, 65535, 65536}) sets.push_back({shape + (" " + std::to_string(n)), lab::makeRealShape(shape, n, 5)});
    }
    const lab::Algorithm& twoThreads = *lab::findAlgorithm(std::string(lab::kFastestName) + "-2t");
    for (const auto& [name, points] : sets) {
        std::vector<RealPoint> want = reference::corners(points);
        if (want.size() > 1) std::reverse(want.begin() + 1, want.end());  // counter-clockwise
        ASSERT_TRUE(lab::fastHullOnDoubles(points, lab::RealTurns::Exact) == want) << name << ", " << points.size() << " points";
        if (points.size() >= 65535) {
            EXPECT_TRUE(twoThreads.prepareReal(points)->realHull() == want) << name << " on two threads";
        }
    }
    EXPECT_GT(sets.size(), 1000u);
}

// On two threads, each half's hull joined: the same corners as the reference on shapes large
// enough to split, one thread's answer on the rest; and two hulls joined are the hull of both.
TEST(FastHullOnDoubles, TwoThreadsAndJoinedHullsGiveTheSameCorners) {
    const lab::Algorithm& twoThreads = *lab::findAlgorithm(std::string(lab::kFastestName) + "-2t");
    ASSERT_TRUE(twoThreads.prepareReal) << "the two-thread entry takes doubles";
    for (const char* shape : {"disc", "circle", "convex", "kuzmin", "ulp", "huge", "line"}) {
        for (std::int64_t n : {3000, 70000}) {
            const std::vector<RealPoint> points = lab::makeRealShape(shape, n, 3);
            std::vector<RealPoint> want = reference::corners(points);
            if (want.size() > 1) std::reverse(want.begin() + 1, want.end());  // counter-clockwise
            EXPECT_TRUE(twoThreads.prepareReal(points)->realHull() == want) << shape << " " << n;
            const std::vector<RealPoint> left(points.begin(), points.begin() + n / 3), right(points.begin() + n / 3, points.end());
            EXPECT_TRUE(lab::joinedHulls(lab::fastHullOnDoubles(left, lab::RealTurns::Exact),
                                         lab::fastHullOnDoubles(right, lab::RealTurns::Exact)) == want)
                << shape << " " << n << " joined";
        }
    }
}

// ---- Files of geometry: WKT and GeoJSON -----------------------------------------------------------

#ifdef HULL_LAB_GEOS
// Each geometry file gives the points its coordinates are, in order, each read bit for bit as the
// same words in a point line are; each fault is refused with its line.
TEST(GeometryFiles, WktAndGeoJsonGiveTheirCoordinatesAsALineFileOfTheSameWordsWould) {
    struct Case {
        const char* name;
        std::string text;
        std::string lines;    // the same points as an "x;y" file; empty: refused
        const char* message;  // part of the refusal
        long line;
    };
    const std::vector<Case> cases = {
        {"a multipoint", "MULTIPOINT ((-0.2 -0.1), (1.38777878e-17 -0.1), (0.3 0.2))\n", "-0.2;-0.1\n1.38777878e-17;-0.1\n0.3;0.2\n", "", 0},
        {"a multipoint without inner parentheses, lower case", "multipoint (1 2, 3e-300 4)", "1;2\n3e-300;4\n", "", 0},
        {"geometries of every kind, z left out, empties skipped",
         "# pasted from a report\nPOINT (1 2)\nPOINT Z (3 4 5)\nLINESTRING (0 0, 10 0.1)\n"
         "POLYGON ((0 0, 5 -3, 8 8, 0 0), (1 1, 2 1, 1 1))\nGEOMETRYCOLLECTION (POINT (7 7), LINESTRING EMPTY, MULTIPOINT (1 9))\n"
         "POINT EMPTY\n",
         "1;2\n3;4\n0;0\n10;0.1\n0;0\n5;-3\n8;8\n0;0\n1;1\n2;1\n1;1\n7;7\n1;9\n", "", 0},
        {"a feature collection, properties and bbox left out",
         "{\"type\": \"FeatureCollection\", \"features\": [\n"
         " {\"type\": \"Feature\", \"bbox\": [1, 2, 3, 4], \"properties\": {\"name\": \"Washington, D.C.\", \"pop\": 7e5},\n"
         "  \"geometry\": {\"type\": \"Point\", \"coordinates\": [-77.0366456, 38.8949549]}},\n"
         " {\"type\": \"Feature\", \"properties\": null, \"geometry\": {\"type\": \"Polygon\",\n"
         "  \"coordinates\": [[[0.5, 0.5], [1.5, 0.5], [1, 2], [0.5, 0.5]]]}}]}",
         "-77.0366456;38.8949549\n0.5;0.5\n1.5;0.5\n1;2\n0.5;0.5\n", "", 0},
        {"a geometry alone", "{\"type\": \"MultiPoint\", \"coordinates\": [[1e-310, 2], [3, -0.0]]}", "1e-310;2\n3;0\n", "", 0},
        {"NaN in WKT", "MULTIPOINT (1 2, 3 4)\nPOINT (1 NaN)\n", "", "\"NaN\" is not a number", 2},
        {"beyond the largest double", "POINT (1 2)\nPOINT (1e400 2)\n", "", "\"1e400\" lies beyond the largest", 2},
        {"rounds to zero in GeoJSON", "{\"type\": \"Point\",\n \"coordinates\": [1e-400, 1]}", "", "rounds to zero", 2},
        {"a geometry left open", "POINT (1 2", "", "not closed", 1},
        {"five numbers to a position", "POINT (1 2 3 4 5)", "", "holds 5 numbers", 1},
        {"text between geometries", "MULTIPOINT (1 2), (3 4))", "", "',' starts none", 1},
        {"a word that is no geometry", "POINT (1 2)\nPOINTS (3 4)", "", "POINTS is not one", 2},
        {"GEOS refuses a type it does not know", "{\"type\": \"Pointy\", \"coordinates\": [1, 1]}", "", "GEOS cannot read", 1},
        {"a NUL byte in GeoJSON (once a hang)", std::string("{,\t\0 `\0\0\ra2.340.5\3770.", 21), "", "GEOS cannot read", 1},
    };
    for (const lab::Coordinates type : {lab::Coordinates::F64, lab::Coordinates::F32}) {
        for (const Case& c : cases) {
            const std::string name = std::string(c.name) + (type == lab::Coordinates::F32 ? " (f32)" : "");
            // The same words in a line file: its points, or its refusal (as a float, 1e-310 is zero).
            std::vector<RealPoint> expected;
            std::string lineRefusal;
            try {
                if (!c.lines.empty()) expected = lab::parseRealPoints(c.lines, type);
            } catch (const lab::InputError& e) {
                lineRefusal = e.what();
            }
            try {
                std::string format;
                const std::vector<RealPoint> got = lab::parseRealPoints(c.text, type, &format);
                EXPECT_FALSE(c.lines.empty() || !lineRefusal.empty()) << name << ": taken, but should be refused";
                EXPECT_TRUE(got == expected) << name << ": " << got.size() << " points, not the " << expected.size() << " expected";
                EXPECT_EQ(format, c.text[0] == '{' ? "GeoJSON" : "WKT") << name;
            } catch (const lab::InputError& e) {
                EXPECT_EQ(e.what(), c.lines.empty() ? e.what() : lineRefusal) << name;
                EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << name << ": " << e.what();
                if (c.lines.empty()) {
                    EXPECT_EQ(e.line, c.line) << name << ": " << e.what();
                }
            }
        }
    }
    // Whole numbers in WKT are whole-number points, as in any file; --columns has no fields to name.
    EXPECT_EQ(lab::parsePoints("MULTIPOINT (1 2, -3 4)", 0), (std::vector<Point>{{1, 2}, {-3, 4}}));
    EXPECT_THROW(lab::parsePoints("MULTIPOINT (1 2)", 0, nullptr, lab::Columns{"1", "2"}), lab::InputError);
}
#endif

// ---- Shapes of doubles ---------------------------------------------------------------------------

TEST(RealShapes, EachKeepsItsPromiseAndIsTheSameOnEveryRun) {
    auto ulpsOff = [](double x, double from) {  // how many doubles lie between x and `from`
        int steps = 0;
        for (double at = std::min(x, from); at < std::max(x, from) && steps < 100; ++steps) at = std::nextafter(at, 2.0);
        return steps;
    };
    struct Case {
        const char* shape;
        std::function<std::string(const std::vector<RealPoint>&)> broken;  // "" where the promise holds
    } cases[] = {
        {"convex", [](const std::vector<RealPoint>& p) {
             return reference::corners(p).size() == p.size() ? "" : "not every point a corner";
         }},
        {"ulp", [&](const std::vector<RealPoint>& p) {
             for (const RealPoint& q : p) {
                 const bool far = (q.x == 24 && q.y == 24) || (q.x == 12 && q.y == 12);
                 if (!far && (ulpsOff(q.x, 0.5) > 8 || ulpsOff(q.y, 0.5) > 8)) return "more than 8 ulps off 0.5: " + lab::show(q);
             }
             return std::string();
         }},
        {"huge", [](const std::vector<RealPoint>& p) {
             for (const RealPoint& q : p) {
                 if (std::fabs(q.x) > 1e300 || std::fabs(q.y) > 1e300) return "beyond 1e300: " + lab::show(q);
             }
             const RealPoint a = p[0], b = p[1];
             return std::isinf((a.x - b.x) * (a.x - b.x) * (a.y - b.y)) ? std::string() : std::string("a product does not overflow");
         }},
        {"tiny", [](const std::vector<RealPoint>& p) {
             const bool subnormal = std::any_of(p.begin(), p.end(), [](const RealPoint& q) {
                 return q.x != 0 && std::fabs(q.x) < 2.2250738585072014e-308;
             });
             return subnormal ? "" : "no subnormal";
         }},
        {"lattice", [](const std::vector<RealPoint>& p) {
             for (const RealPoint& q : p) {
                 if (std::fabs(q.x * 10 - std::round(q.x * 10)) > 1e-9) return "not a step of 0.1: " + lab::show(q);
             }
             return std::string();
         }},
        {"offset", [](const std::vector<RealPoint>& p) {
             for (const RealPoint& q : p) {
                 if (std::hypot(q.x - 813580.3, q.y - 4521234.7) > 2.5 + 1e-6) return "outside its disc: " + lab::show(q);
             }
             return std::string();
         }},
        // Kuzmin's: P(r < R) = 1 - 1 / sqrt(1 + R^2), so half of the points within sqrt(3) of the
        // centre and a tenth beyond sqrt(99); none past 2^53.
        {"kuzmin", [](const std::vector<RealPoint>& p) {
             int within = 0, beyond = 0;
             for (const RealPoint& q : p) {
                 const double r = std::hypot(q.x, q.y);
                 if (!(r < 0x1p53)) return "too far: " + lab::show(q);
                 within += r < std::sqrt(3.0), beyond += r > std::sqrt(99.0);
             }
             const bool fits = within > 450 && within < 550 && beyond > 70 && beyond < 130;
             return fits ? std::string() : std::to_string(within) + " within sqrt 3, " + std::to_string(beyond) + " beyond sqrt 99";
         }},
    };
    for (const Case& c : cases) {
        const std::vector<RealPoint> points = lab::makeRealShape(c.shape, 1000, 1);
        ASSERT_EQ(points.size(), 1000u) << c.shape;
        EXPECT_EQ(c.broken(points), "") << c.shape;
        const std::vector<RealPoint> again = lab::makeRealShape(c.shape, 1000, 1);
        EXPECT_EQ(std::memcmp(points.data(), again.data(), points.size() * sizeof(RealPoint)), 0) << c.shape;
    }
}

// An f32 table's points are floats, each finite: huge, tiny and ulp are made at the floats' own
// scale, where the doubles' would round to infinity, to zero or to one point.
TEST(RealShapes, EveryShapeInFloatsIsFiniteFloatsThatKeepItsPoint) {
    std::vector<std::string> names;
    for (const lab::Shape& s : lab::shapes()) names.push_back(s.name);
    for (const lab::Shape& s : lab::realShapes()) names.push_back(s.name);
    for (const std::string& shape : names) {
        lab::CellPlan plan;
        plan.shape = shape, plan.n = 1000, plan.seed = 1, plan.coordinates = lab::Coordinates::F32;
        const std::vector<RealPoint> points = lab::cellRealPoints(plan, 0, {});
        ASSERT_EQ(points.size(), 1000u) << shape;
        std::vector<RealPoint> distinct = points;
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        EXPECT_GT(distinct.size(), shape == "line" ? 2u : 30u) << shape << ": collapsed in floats";
        for (const RealPoint& p : points) {
            ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y)) << shape << ": " << lab::show(p);
            ASSERT_TRUE(double(float(p.x)) == p.x && double(float(p.y)) == p.y) << shape << ": not a float: " << lab::show(p);
        }
        if (shape == "tiny") {
            EXPECT_TRUE(std::any_of(points.begin(), points.end(), [](const RealPoint& p) {
                return p.x != 0 && std::fabs(p.x) < double(std::numeric_limits<float>::min());
            })) << "tiny (f32): no float subnormal";
        }
    }
}

TEST(RealShapes, HullLabMakesEachTableInEachTypeAndRefusesARealShapeAsWholeNumbers) {
    testfiles::TempDir dir("lab-real-shapes");
    const LabRun refused = runLab(dir.path, "--shapes ulp --sizes 100 --algorithms incremental-array");
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("--shapes ulp is a shape of doubles: give --coordinates f64"), std::string::npos) << refused.err;
    const LabRun run = runLab(dir.path, "--shapes convex --coordinates int,f64,f32 --sizes 100 --algorithms incremental-array "
                                        "--runs 1 --min-seconds 0.01 --tsv cells.tsv");
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> shapes;
    for (const std::string& line : testfiles::tsvLines(testfiles::read(dir.path / "cells.tsv"))) {
        shapes.push_back(line.substr(0, line.find('\t')) + " " + (line.find("\t100\t100\tincremental-array\t") != std::string::npos ? "h=n" : ""));
    }
    EXPECT_EQ(shapes, (std::vector<std::string>{"shape ", "convex h=n", "convex (f64) h=n", "convex (f32) h=n"}));
}

// --write-hulls: each table's exact hull, counter-clockwise from the lowest of the leftmost points,
// in the input's own numbers; beside it the answer of each entry that was WRONG, and no other.
TEST(RealShapes, WriteHullsWritesEachTablesExactHullAndEachWrongAnswer) {
    testfiles::TempDir dir("lab-write-hulls");
    const LabRun run = runLab(dir.path, "--shapes huge,square --coordinates int,f64 --sizes 300 --same-points --runs 1 "
                                        "--min-seconds 0.01 --algorithms incremental-array,incremental-array-plain "
                                        "--write-points points --write-hulls hulls");
    ASSERT_EQ(run.status, 1) << "the plain form's WRONG hull: " << run.err;
    for (const char* table : {"huge (f64)", "square (f64)", "square"}) {
        const std::string name = lab::fileNamePart(table) + "-300";
        const lab::PointFile points = lab::readPointFile((dir.path / "points" / (name + ".txt")).string(), 0);
        const lab::PointFile hull = lab::readPointFile((dir.path / "hulls" / (name + "-hull.txt")).string(), 0);
        ASSERT_EQ(hull.coordinates, points.coordinates) << table << ": the input's own numbers";
        std::vector<RealPoint> input = points.reals, corners = hull.reals;
        for (const Point& p : points.points) input.push_back({double(p.x), double(p.y)});  // exact below 2^30
        for (const Point& p : hull.points) corners.push_back({double(p.x), double(p.y)});
        ASSERT_GE(corners.size(), 3u) << table;
        const auto least = std::min_element(input.begin(), input.end(), [](RealPoint a, RealPoint b) {
            return a.x < b.x || (a.x == b.x && a.y < b.y);
        });
        EXPECT_TRUE(corners[0] == *least) << table << ": not from the lowest of the leftmost points";
        for (std::size_t i = 0; i < corners.size(); ++i) {
            EXPECT_GT(lab::turn(corners[i], corners[(i + 1) % corners.size()], corners[(i + 2) % corners.size()]), 0)
                << table << ": no left turn after corner " << i;
        }
        for (const RealPoint& p : input) {
            for (std::size_t i = 0; i < corners.size(); ++i) {
                ASSERT_GE(lab::turn(corners[i], corners[(i + 1) % corners.size()], p), 0) << table << ": " << lab::show(p) << " outside";
            }
        }
        // The plain form overflows on huge and is right on square; the exact one is right on both.
        const bool plainWrong = std::string(table) == "huge (f64)";
        const fs::path answer = dir.path / "hulls" / ("incremental-array-plain-" + name + "-answer.txt");
        EXPECT_EQ(fs::exists(answer), plainWrong) << table;
        EXPECT_FALSE(fs::exists(dir.path / "hulls" / ("incremental-array-" + name + "-answer.txt"))) << table;
        if (plainWrong && fs::exists(answer)) {
            const lab::Algorithm& plain = *lab::findAlgorithm("incremental-array-plain");
            EXPECT_TRUE(lab::readPointFile(answer.string(), 0).reals == plain.prepareReal(points.reals)->realHull()) << table;
            EXPECT_NE(run.err.find("its hull: hulls/incremental-array-plain-" + name + "-answer.txt"), std::string::npos) << run.err;
        }
    }
}

// ---- Point files of doubles ---------------------------------------------------------------------

TEST(RealFiles, AFileWithARealWordIsReadAsDoublesAndRoundTripsBitForBit) {
    testfiles::TempDir dir("lab-real-file");
    testfiles::writeLines(dir.path / "gis.csv", {"lon,lat,name", "-0.2,-0.1,a", "1.38777878e-17,-0.1,b", "813580.3,1E3,c",
                                                 "5e-324,-0,d"});
    const lab::PointFile file = lab::readPointFile((dir.path / "gis.csv").string(), 0, {"lon", "lat"});
    ASSERT_EQ(file.coordinates, lab::Coordinates::F64);
    const std::vector<RealPoint> expected = {{-0.2, -0.1}, {1.38777878e-17, -0.1}, {813580.3, 1000}, {5e-324, -0.0}};
    ASSERT_EQ(file.reals.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(std::memcmp(&file.reals[i], &expected[i], sizeof(RealPoint)), 0) << "point " << i + 1;
    }
    ASSERT_TRUE(lab::writePointFile((dir.path / "again.txt").string(), file.reals));
    const lab::PointFile again = lab::readPointFile((dir.path / "again.txt").string(), 0);
    ASSERT_EQ(again.reals.size(), file.reals.size());
    EXPECT_EQ(std::memcmp(again.reals.data(), file.reals.data(), file.reals.size() * sizeof(RealPoint)), 0);
    // A file of whole numbers stays whole numbers; asked for, it is read as floats.
    testfiles::writeLines(dir.path / "whole.txt", {"1;2", "3;4"});
    EXPECT_EQ(lab::readPointFile((dir.path / "whole.txt").string(), 0).coordinates, lab::Coordinates::Int);
    const lab::Coordinates f32 = lab::Coordinates::F32;
    EXPECT_EQ(lab::readPointFile((dir.path / "whole.txt").string(), 0, {}, &f32).reals.size(), 2u);
}

TEST(RealFiles, HullLabRefusesEachBadCoordinateWithFileLineAndWord) {
    testfiles::TempDir dir("lab-real-refused");
    struct Case {
        const char* line;
        const char* why;
    } cases[] = {{"nan;1", "\"nan\" is not a number (NaN)"},
                 {"0.5;inf", "\"inf\" is infinite"},
                 {"1e400;0.5", "\"1e400\" lies beyond the largest double"},
                 {"0.5;1e-400", "\"1e-400\" is not zero but rounds to zero as a double"},
                 {"0.5;x1", "\"x1\" is not a number"}};
    for (const Case& c : cases) {
        testfiles::writeLines(dir.path / "bad.txt", {"0.25;0.75", c.line});
        const LabRun run = runLab(dir.path, "--input bad.txt --algorithms incremental-array --runs 1");
        EXPECT_EQ(run.status, 2) << c.line;
        EXPECT_NE(run.err.find("bad.txt:2: " + std::string(c.why)), std::string::npos) << c.line << ": " << run.err;
        EXPECT_EQ(run.out.find("incremental-array"), std::string::npos) << c.line << ": nothing runs";
    }
}

TEST(RealFiles, HullLabJudgesARealFileExactlyAndNamesItsTypeInTheTsv) {
    testfiles::TempDir dir("lab-real-run");
    std::vector<std::string> lines;
    for (const RealPoint& p : ulpGrid()) lines.push_back(lab::show(p));
    testfiles::writeLines(dir.path / "ulp.txt", lines);
    const LabRun run = runLab(dir.path,
                              "--input ulp.txt --algorithms incremental-array,qhull-array-plain,boost-monotone-chain,copy "
                              "--runs 1 --min-seconds 0.01 --tsv cells.tsv");
    EXPECT_EQ(run.status, 1) << "qhull-array-plain's hull is WRONG: " << run.err;
    std::vector<std::string> cells = testfiles::tsvLines(testfiles::read(dir.path / "cells.tsv"));
    ASSERT_EQ(cells.size(), 5u) << "a header and four cells";
    auto field = [](const std::string& line, int k) {
        std::size_t at = 0;
        for (int i = 0; i < k; ++i) at = line.find('\t', at) + 1;
        return line.substr(at, line.find('\t', at) - at);
    };
    const std::string h = std::to_string(reference::corners(ulpGrid()).size());
    for (std::size_t i = 1; i < cells.size(); ++i) {
        EXPECT_EQ(field(cells[i], 0), "ulp.txt (f64)") << cells[i];
        EXPECT_EQ(field(cells[i], 2), h) << cells[i];
        const std::string entry = field(cells[i], 3), status = field(cells[i], 7);
        if (entry == "incremental-array" || entry == "qhull-array-plain") {
            EXPECT_EQ(status, entry == "incremental-array" ? "ok" : "WRONG") << cells[i];
        }
        if (entry == "boost-monotone-chain") {
            EXPECT_EQ(status, "skipped") << cells[i];
            EXPECT_EQ(field(cells[i], 8), "int only") << cells[i];
        }
        if (entry == "copy") {
            EXPECT_EQ(status, "ok") << cells[i] << ": the copy floor copies doubles too";
        }
    }
}

// The 8 points of a bug report against a GIS library, written as the report wrote them: two pairs
// of points 2.8e-17 apart, and decimals one unit in the last place off their lines.
const std::vector<std::string> kReportPoints = {"-0.2;-0.1", "1.38777878e-17;-0.1", "-0.1;0.3", "0.3;0.2", "-0.2;-0.1",
                                                "2.77555756e-17;-0.1", "0.3;0.19999999999999998",
                                                "-0.1;0.30000000000000004"};

TEST(RealFiles, PythonsHullsAreJudgedOnTheReportsDoublesAsPeopleCallThem) {
    struct Case {
        const char* program;
        const char* module;
        const char* status;  // on the report's points
    } cases[] = {{"scipy_hull", "scipy.spatial", "WRONG"}, {"shapely_hull", "shapely.geometry", "ok"}};
    for (const Case& c : cases) {
        if (std::system(("/usr/bin/python3 -c 'import " + std::string(c.module) + "' 2>/dev/null").c_str()) != 0) {
            std::cout << "skipped " << c.program << ": Debian's python3 module " << c.module << " is not installed\n";
            continue;
        }
        testfiles::TempDir dir("lab-real-python");
        testfiles::writeLines(dir.path / "report.txt", kReportPoints);
        const LabRun run = runLab(dir.path, "--input report.txt --program '/usr/bin/python3 " EXAMPLES_SOURCE "/" +
                                                std::string(c.program) + ".py' --no-judge --algorithms " + c.program +
                                                " --runs 1 --min-seconds 0.01 --tsv cells.tsv");
        const std::vector<std::string> cells = testfiles::tsvLines(testfiles::read(dir.path / "cells.tsv"));
        ASSERT_EQ(cells.size(), 2u) << c.program << ": " << run.err;
        EXPECT_EQ(cells[1].rfind("report.txt (f64)\t8\t5\t" + std::string(c.program) + "\t", 0), 0u) << cells[1];
        EXPECT_NE(cells[1].find("\t" + std::string(c.status) + "\t"), std::string::npos) << c.program << ": " << cells[1];
    }
}

}  // namespace
