// The hunt: the shrinker on hand-made failing predicates, the kinds of failure from the reference
// check's own messages, each family making what it says, and whole hunts of plugins that fail only
// above a size, crash only on three points, or hang on copies.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include "hunt/hunt.h"
#include "history/series.h"
#include "inputs/inputs.h"
#include "coords/coords.h"
#include "lab_run.h"
#include "run/judge.h"
#include "run/protocol.h"
#include "user/user.h"
#include "run/runner.h"

namespace {

using namespace lab;

constexpr std::int64_t kEdge = (std::int64_t(1) << 30) - 1;

bool contains(const std::vector<Point>& points, Point p) {
    return std::any_of(points.begin(), points.end(), [&](const Point& q) { return q.x == p.x && q.y == p.y; });
}

// An in-process tester of candidates: the first for which `fails` holds.
FirstFailing firstWhere(std::function<bool(const std::vector<Point>&)> fails) {
    return [fails](const std::vector<std::vector<Point>>& candidates) -> long {
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            if (fails(candidates[i])) return long(i);
        }
        return -1;
    };
}

std::vector<Point> randomPoints(std::uint64_t seed, int n, std::int64_t range) {
    SplitMix64 r{seed};
    std::vector<Point> points;
    for (int i = 0; i < n; ++i) points.push_back({r.below(2 * range + 1) - range, r.below(2 * range + 1) - range});
    return points;
}

// ---- The shrinker ------------------------------------------------------------------------------

TEST(HuntShrink, ReachesTheTwoPointsAFaultNeedsAmongManyOthers) {
    for (std::uint64_t seed = 1; seed <= 5; ++seed) {
        std::vector<Point> input = randomPoints(seed, 300, 1000);
        const Point a{5000, 7}, b{-5000, 9};
        input.insert(input.begin() + 100, a);
        input.insert(input.begin() + 250, b);
        const Shrunk s = shrink(input, firstWhere([&](const std::vector<Point>& p) { return contains(p, a) && contains(p, b); }), 60);
        EXPECT_EQ(s.points.size(), 2u) << "seed " << seed;
        EXPECT_TRUE(contains(s.points, a) && contains(s.points, b)) << "seed " << seed << ": coordinates moved though any move passes";
        EXPECT_FALSE(s.timedOut) << "seed " << seed;
    }
}

TEST(HuntShrink, MovesCoordinatesToTheSmallestThatStillFails) {
    // Fails while some point has x >= 1000 and y >= 7: the smallest such input is that one point.
    std::vector<Point> input = randomPoints(3, 20, 1 << 20);
    input.push_back({123456789, 98765});
    auto fails = [](const std::vector<Point>& p) {
        return std::any_of(p.begin(), p.end(), [](const Point& q) { return q.x >= 1000 && q.y >= 7; });
    };
    const Shrunk s = shrink(input, firstWhere(fails), 60);
    ASSERT_EQ(s.points.size(), 1u);
    EXPECT_EQ(s.points[0].x, 1000);
    EXPECT_EQ(s.points[0].y, 7);
}

TEST(HuntShrink, KeepsTheKindOfFailureItWasGiven) {
    // Two faults: three collinear points (the kind being shrunk) and more than ten points (another
    // kind). A candidate failing only the other way is not taken.
    auto collinear = [](const std::vector<Point>& p) {
        for (std::size_t i = 0; i < p.size(); ++i)
            for (std::size_t j = i + 1; j < p.size(); ++j)
                for (std::size_t k = j + 1; k < p.size(); ++k) {
                    const reference::Pt a{p[i].x, p[i].y}, b{p[j].x, p[j].y}, c{p[k].x, p[k].y};
                    if (a != b && b != c && a != c && reference::turn(a, b, c) == 0) return true;
                }
        return false;
    };
    std::vector<Point> input = randomPoints(9, 40, 1 << 25);
    input.insert(input.end(), {{10, 10}, {20, 20}, {40, 40}});
    ASSERT_TRUE(collinear(input));
    const Shrunk s = shrink(input, firstWhere(collinear), 60);
    EXPECT_EQ(s.points.size(), 3u);
    EXPECT_TRUE(collinear(s.points)) << "the shrunk input no longer fails the way it did";
    for (const Point& p : s.points) EXPECT_LE(std::max(std::abs(p.x), std::abs(p.y)), 2) << "coordinates not shrunk";
}

TEST(HuntShrink, NeverLeavesTheExactRange) {
    // Fails while the points span more than 2^29 in x: moving to the origin would push a point past 2^30.
    std::vector<Point> input = {{-kEdge, 0}, {kEdge, 0}, {0, 5}};
    auto fails = [](const std::vector<Point>& p) {
        std::int64_t lo = kEdge, hi = -kEdge;
        for (const Point& q : p) lo = std::min(lo, q.x), hi = std::max(hi, q.x);
        return hi - lo > (std::int64_t(1) << 29);
    };
    const Shrunk s = shrink(input, firstWhere(fails), 60);
    ASSERT_EQ(s.points.size(), 2u);
    for (const Point& p : s.points) EXPECT_LE(std::max(std::abs(p.x), std::abs(p.y)), kEdge);
}

TEST(HuntShrink, StopsAtItsTimeBoundWithAnInputThatStillFails) {
    std::vector<Point> input = randomPoints(4, 5000, 1 << 28);
    auto slowFails = [](const std::vector<Point>& p) {  // fails while it holds 100 points or more, slowly
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return p.size() >= 100;
    };
    const Shrunk s = shrink(input, firstWhere(slowFails), 0.2);
    EXPECT_TRUE(s.timedOut);
    EXPECT_GE(s.points.size(), 100u) << "the input it returns must still fail";
    EXPECT_GT(s.tests, 0u);
}

// The shrinker on doubles, on hand-made predicates: what it reaches in shortest decimals, the kind it
// keeps, the finite range it never leaves (nor, on floats, the floats), and its time bound.
TEST(HuntShrink, MakesDoublesSimplerDecimalsWhileTheyFailTheSameWay) {
    auto firstReal = [](std::function<bool(const std::vector<RealPoint>&)> fails) -> FirstFailingOf<RealPoint> {
        return [fails](const std::vector<std::vector<RealPoint>>& candidates) -> long {
            for (std::size_t i = 0; i < candidates.size(); ++i) {
                if (fails(candidates[i])) return long(i);
            }
            return -1;
        };
    };
    auto any = [](const std::vector<RealPoint>& p, std::function<bool(RealPoint)> f) { return std::any_of(p.begin(), p.end(), f); };
    struct Case {
        const char* name;
        std::vector<RealPoint> input;
        std::function<bool(const std::vector<RealPoint>&)> fails;
        Coordinates type;
        std::vector<std::string> expect;  // the shortest decimals of the smallest's points, in order
    };
    const std::vector<Case> cases = {
        {"fewer digits: 1.38777878e-17 to 1e-17",
         {{1.38777878e-17, 3.14159}, {2.5, 7}},
         [&](const std::vector<RealPoint>& p) { return any(p, [](RealPoint q) { return q.x > 0 && q.x < 1e-16; }); },
         Coordinates::F64, {"1e-17;0"}},
        {"to whole numbers and zero while a point is above the diagonal",
         {{0.30000000000000004, 12.345678}, {-5.5, -6.25}},
         [&](const std::vector<RealPoint>& p) { return any(p, [](RealPoint q) { return q.y > q.x + 10; }); },
         Coordinates::F64, {"0;12"}},
        {"a huge value kept past the overflow it needs, never infinite",
         {{1.7976931348623157e308, 1}, {3, 4}},
         [&](const std::vector<RealPoint>& p) { return any(p, [](RealPoint q) { return q.x > 1e308; }); },
         Coordinates::F64, {"1.79769e+308;0"}},  // 2e+308 and 1.8e+308 would be infinite
        {"a subnormal kept subnormal", {{3.5e-323, -0.0}, {1, 1}},
         [&](const std::vector<RealPoint>& p) { return any(p, [](RealPoint q) { return q.x > 0 && q.x < 1e-310; }); },
         Coordinates::F64, {"3e-323;0"}},
        {"floats stay floats", {{0.1f, 0.3f}, {1.7e-38f, 2}},
         [&](const std::vector<RealPoint>& p) { return any(p, [](RealPoint q) { return q.x > 0 && q.x < 1e-30; }); },
         Coordinates::F32, {"2e-38;0"}},
    };
    for (const Case& c : cases) {
        const ShrunkOf<RealPoint> s = shrink(c.input, firstReal(c.fails), 30, c.type);
        EXPECT_TRUE(c.fails(s.points)) << c.name << ": the smallest no longer fails";
        EXPECT_FALSE(s.timedOut) << c.name;
        for (const RealPoint& q : s.points) {
            EXPECT_TRUE(std::isfinite(q.x) && std::isfinite(q.y)) << c.name;
            if (c.type == Coordinates::F32) {
                EXPECT_TRUE(nearestFloat(q.x) == q.x && nearestFloat(q.y) == q.y) << c.name;
            }
        }
        std::vector<std::string> got;
        for (const RealPoint& q : s.points) got.push_back(c.type == Coordinates::F32 ? realText(float(q.x)) + ";" + realText(float(q.y)) : show(q));
        EXPECT_EQ(got, c.expect) << c.name;
    }
    // The bound: a slow predicate stops it with an input that still fails.
    std::vector<RealPoint> many;
    for (int i = 0; i < 2000; ++i) many.push_back({0.1 * i + 1e-9, 0.7 / (i + 1)});
    const ShrunkOf<RealPoint> slow = shrink(many, firstReal([](const std::vector<RealPoint>& p) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return p.size() >= 50;
    }), 0.2);
    EXPECT_TRUE(slow.timedOut);
    EXPECT_GE(slow.points.size(), 50u);
}

// ---- Kinds of failure ----------------------------------------------------------------------------

TEST(HuntKinds, EachWayTheReferenceCheckFailsIsAKindOfItsOwn) {
    const std::vector<reference::Pt> points = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {2, 0}, {1, 1}};
    const reference::Input input{"the input", reference::corners(points),
                                  [&](reference::Pt p) { return std::find(points.begin(), points.end(), p) != points.end(); },
                                  [](reference::Pt) { return std::string("the input's point"); }};
    const reference::Promise clockwise{true, true, false};
    struct Case {
        const char* name;
        std::vector<reference::Pt> hull;
        const char* kind;
    };
    const Case cases[] = {
        {"a corner left out", {{0, 0}, {0, 4}, {4, 4}}, "WRONG, a point outside"},
        {"a point on an edge", {{0, 0}, {0, 4}, {4, 4}, {4, 0}, {2, 0}}, "WRONG, a point in the middle of an edge"},
        {"a corner twice", {{0, 0}, {0, 4}, {4, 4}, {4, 0}, {0, 4}}, "WRONG, a point twice"},
        {"a point not in the input", {{0, 0}, {0, 4}, {4, 5}, {4, 0}}, "WRONG, a point not in the input"},
        {"counter-clockwise", {{0, 0}, {4, 0}, {4, 4}, {0, 4}}, "WRONG, the order is wrong"},
        {"two corners swapped", {{0, 0}, {4, 4}, {0, 4}, {4, 0}}, "WRONG, not convex"},
        {"another start", {{0, 4}, {4, 4}, {4, 0}, {0, 0}}, "WRONG, the wrong start"},
        {"no corners", {}, "WRONG, an empty hull"},
    };
    for (const Case& c : cases) {
        std::vector<reference::Pt> found;
        const reference::Finding finding = reference::checkFinding(clockwise, "result", c.hull, input, found);
        ASSERT_NE(finding.fault, reference::Fault::None) << c.name << ": the check passed it";
        EXPECT_EQ(failureKind(Status::Wrong, Failure{finding.fault, 0, 0, Overrun::None, ""}), c.kind) << c.name << ": " << finding.words;
        // The point it names, where it names one, is the one its words name: the hunt's picture circles it.
        const bool names = finding.fault != reference::Fault::WrongDirection && finding.fault != reference::Fault::Empty;
        EXPECT_EQ(finding.point.empty(), !names) << c.name << ": " << finding.words;
        if (names) {
            EXPECT_NE(finding.words.find(" " + finding.point), std::string::npos) << c.name << ": " << finding.point;
        }
        // A stored run keeps only the words: the history reads the same fault back from them.
        EXPECT_EQ(failureOfNote(Status::Wrong, "set 2: " + finding.words).fault, finding.fault) << c.name << ": " << finding.words;
    }
}

// Each kind from what the runner makes of a process's end (endStatus's status and failure), as the
// hunt reads it: a signal, a plugin's overrun, a program's crash told by its process (endReport, as
// the process writes it), an exit status; and the history's reading of the note it leaves agrees.
TEST(HuntKinds, CrashesAreToldApartBySignalAndStatusAsTheRunnerEndsThem) {
    struct Case {
        const char* what;
        ProcessEnd end;
        std::string kind;
    } cases[] = {
        {"SIGSEGV", {"h 10\n", SIGSEGV}, "crashed, SIGSEGV"},
        {"SIGKILL", {"", SIGKILL}, "crashed, SIGKILL"},
        {"a plugin's copy written past",
         {endReport(EntryCrashed("wrote past the xy copy of 2 * n values it was given", {reference::Fault::None, 0, 0, Overrun::Wrote, ""})),
          kEntryCrashed << 8},
         "crashed, wrote past a buffer"},
        {"a program killed",
         {endReport(EntryCrashed("the program killed by ABRT: assertion failed", {reference::Fault::None, SIGABRT, 0, Overrun::None, ""})),
          kEntryCrashed << 8},
         "crashed, SIGABRT"},
        {"a program's exit",
         {endReport(EntryCrashed("the program exited with status 3: no", {reference::Fault::None, 0, 3, Overrun::None, ""})),
          kEntryCrashed << 8},
         "crashed, exited with status 3"},
        {"an exit of its own", {"", 7 << 8}, "crashed, exited with status 7"},
        {"stopped", {"", SIGKILL, true, 10}, "stopped (no answer before the deadline)"},
    };
    for (const Case& c : cases) {
        std::string note;
        Failure failure;
        const Status status = endStatus(c.end, note, &failure);
        EXPECT_EQ(failureKind(status, failure), c.kind) << c.what << ": " << statusWord(status) << ", " << note;
        EXPECT_EQ(failureKind(status, failureOfNote(status, note)), c.kind) << c.what << ": the history's reading of " << note;
    }
    EXPECT_NE(failureKind(Status::Stopped, {}), failureKind(Status::Refused, {}));
}

// ---- The families --------------------------------------------------------------------------------

// The first `count` inputs of a hunt from `seed`, by family name; the shapes' (up to 10^6 points)
// only `withShapes`.
std::map<std::string, std::vector<std::vector<Point>>> inputsByFamily(std::uint64_t seed, std::uint64_t count,
                                                                       bool withShapes) {
    std::map<std::string, std::vector<std::vector<Point>>> by;
    for (std::uint64_t k = 0; k < count; ++k) {
        if (!withShapes && std::string(families()[k % families().size()].name) == "shapes") continue;
        HuntInput input = huntInput(seed, k);
        by[families()[input.family].name].push_back(std::move(input.points));
    }
    return by;
}

bool hasCopies(std::vector<Point> p) {
    std::sort(p.begin(), p.end(), [](const Point& a, const Point& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    return std::adjacent_find(p.begin(), p.end(), [](const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }) != p.end();
}

TEST(HuntFamilies, EveryInputLiesInTheExactRangeAndRepeatsFromItsSeed) {
    for (std::uint64_t k = 0; k < 3000; ++k) {
        if (std::string(families()[k % families().size()].name) == "shapes") continue;  // made by the shapes' tested code
        const HuntInput input = huntInput(7, k);
        for (const Point& p : input.points) {
            ASSERT_LE(std::max(std::abs(p.x), std::abs(p.y)), kEdge) << "input " << k << " of " << families()[input.family].name;
        }
        const HuntInput again = huntInput(7, k);
        ASSERT_TRUE(std::equal(input.points.begin(), input.points.end(), again.points.begin(), again.points.end(),
                               [](const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }))
            << "input " << k << " differs from itself";
    }
}

TEST(HuntFamilies, EachMakesWhatItSays) {
    const auto by = inputsByFamily(1, 8 * 900, false);
    // tiny: every sequence of up to three points of the 3 x 3 grid first, then at most 12 points.
    std::set<std::vector<std::pair<std::int64_t, std::int64_t>>> sequences;
    for (std::size_t i = 0; i < 820; ++i) {
        std::vector<std::pair<std::int64_t, std::int64_t>> s;
        for (const Point& p : by.at("tiny")[i]) {
            s.emplace_back(p.x, p.y);
            EXPECT_TRUE(p.x >= 0 && p.x < 3 && p.y >= 0 && p.y < 3) << "tiny input " << i;
        }
        EXPECT_LE(s.size(), 3u);
        sequences.insert(s);
    }
    EXPECT_EQ(sequences.size(), 820u) << "the first tiny inputs are not every sequence once";
    for (const auto& p : by.at("tiny")) EXPECT_LE(p.size(), 12u);
    // copies: at most five points, and copies in most.
    int withCopies = 0;
    for (const auto& p : by.at("copies")) {
        withCopies += hasCopies(p);
        EXPECT_GE(p.size(), 1u);
    }
    EXPECT_GT(withCopies, int(by.at("copies").size()) * 3 / 4);
    // near-collinear: every point within a few units of the line through the two farthest apart.
    for (const auto& p : by.at("near-collinear")) {
        std::size_t a = 0, b = 0;
        long double far = -1;
        for (std::size_t i = 0; i < p.size(); ++i)
            for (std::size_t j = i + 1; j < p.size(); ++j) {
                const long double d = hypotl((long double)(p[i].x - p[j].x), (long double)(p[i].y - p[j].y));
                if (d > far) far = d, a = i, b = j;
            }
        for (const Point& q : p) {
            const long double cross = (long double)(p[b].x - p[a].x) * (q.y - p[a].y) - (long double)(p[b].y - p[a].y) * (q.x - p[a].x);
            EXPECT_LE(std::abs(cross) / std::max(far, 1.0L), 4.0L) << "a point far off the line";
        }
    }
    // edge-points: a point strictly inside an edge of the hull in most inputs.
    int onEdges = 0;
    for (const auto& p : by.at("edge-points")) {
        std::vector<reference::Pt> r;
        for (const Point& q : p) r.push_back({q.x, q.y});
        const std::vector<reference::Pt> c = reference::corners(r);
        bool found = false;
        for (std::size_t i = 0; i < c.size() && c.size() >= 2 && !found; ++i) {
            for (const reference::Pt& q : r) {
                const reference::Pt a = c[i], b = c[(i + 1) % c.size()];
                found = found || (reference::turn(a, b, q) == 0 && reference::dotSign(q, a, b) < 0);
            }
        }
        onEdges += found;
    }
    EXPECT_GT(onEdges, int(by.at("edge-points").size()) / 2);
    // extremes: a coordinate at +-(2^30 - 1) in most; runs: ties in x or y in every one.
    int atEdge = 0;
    for (const auto& p : by.at("extremes")) {
        atEdge += std::any_of(p.begin(), p.end(), [](const Point& q) { return std::abs(q.x) == kEdge || std::abs(q.y) == kEdge; });
    }
    EXPECT_GT(atEdge, int(by.at("extremes").size()) / 2);
    for (const auto& p : by.at("runs")) {
        bool tie = false;
        for (std::size_t i = 0; i < p.size() && !tie; ++i)
            for (std::size_t j = i + 1; j < p.size() && !tie; ++j) tie = p[i].x == p[j].x || p[i].y == p[j].y;
        EXPECT_TRUE(tie);
    }
    // hard: the judge's inputs first, as they are.
    for (std::size_t i = 0; i < hardInputs().size(); ++i) EXPECT_EQ(by.at("hard")[i].size(), hardInputs()[i].points.size());
}

// ---- The real families ----------------------------------------------------------------------------

// A decimal's value as an integer times a power of ten ("0.35" is 35, -2; "1e3" is 1, 3), from the
// shortest decimal of a double, which gives back the decimal the double was read from.
__extension__ typedef __int128 Wide;
struct Decimal {
    Wide digits = 0;
    int exponent = 0;
};
Decimal decimalOf(double value) {
    const std::string text = realText(value);
    Decimal d;
    bool negative = false, point = false;
    std::size_t at = 0;
    if (text[at] == '-') negative = true, ++at;
    for (; at < text.size() && text[at] != 'e'; ++at) {
        if (text[at] == '.') {
            point = true;
            continue;
        }
        d.digits = d.digits * 10 + (text[at] - '0');
        d.exponent -= point;
    }
    if (at < text.size()) d.exponent += std::atoi(text.c_str() + at + 1);
    if (negative) d.digits = -d.digits;
    return d;
}
Wide at(const Decimal& d, int exponent) {  // d as a multiple of 10^exponent (exponent <= d's)
    Wide v = d.digits;
    for (int e = d.exponent; e > exponent; --e) v *= 10;
    return v;
}

// The steps of the type's units in the last place from a to b (at most `most`, -1 beyond).
int ulpsApart(double a, double b, Coordinates type, int most) {
    for (int k = 0; k <= most; ++k) {
        if (a == b) return k;
        a = type == Coordinates::F32 ? double(std::nextafter(float(a), float(b))) : std::nextafter(a, b);
    }
    return -1;
}

// Each real family makes what it says, on doubles and on floats: inputs that repeat from their seed,
// finite coordinates (each a float on f32); the ulp grid a few units in the last place about a point
// exactly on the line of its two far points, some of it off the line; the decimals collinear as
// decimals (or on a grid of their step), some not collinear as doubles; near-copies one unit apart;
// magnitudes past a plain product's range; the whole numbers the integer families' points.
TEST(HuntRealFamilies, EachMakesWhatItSaysOnDoublesAndFloats) {
    for (Coordinates type : {Coordinates::F64, Coordinates::F32}) {
        const std::string word = coordinatesWord(type);
        std::map<std::string, int> seen, kept;
        for (std::uint64_t k = 0; k < 7 * 60; ++k) {
            const RealHuntInput input = realHuntInput(3, k, type);
            const std::string family = realFamilies()[input.family].name;
            const std::vector<RealPoint>& p = input.points;
            ++seen[family];
            const RealHuntInput again = realHuntInput(3, k, type);
            ASSERT_TRUE(p == again.points) << word << " input " << k << " differs from itself";
            for (const RealPoint& q : p) {
                ASSERT_TRUE(std::isfinite(q.x) && std::isfinite(q.y)) << word << " " << family << " input " << k;
                if (type == Coordinates::F32) {
                    ASSERT_TRUE(nearestFloat(q.x) == q.x && nearestFloat(q.y) == q.y) << family << " " << k;
                }
            }
            if (family == "ulp-grid") {
                // The two far points: the largest |x|; the point exactly on their line; the rest near it.
                std::vector<RealPoint> byFar = p;
                std::sort(byFar.begin(), byFar.end(), [](RealPoint a, RealPoint b) { return std::fabs(a.x) > std::fabs(b.x); });
                const RealPoint q = byFar[0], r = byFar[1];
                bool centre = false, off = false, near = true;
                for (std::size_t i = 2; i < byFar.size(); ++i) centre = centre || turn(q, r, byFar[i]) == 0;
                for (std::size_t i = 2; i < byFar.size(); ++i) off = off || turn(q, r, byFar[i]) != 0;
                for (std::size_t i = 3; i < byFar.size(); ++i) {
                    near = near && ulpsApart(byFar[i].x, byFar[2].x, type, 32) >= 0 && ulpsApart(byFar[i].y, byFar[2].y, type, 32) >= 0;
                }
                EXPECT_TRUE(centre && near) << word << " ulp-grid input " << k;
                kept[family] += off;
            } else if (family == "decimals" && type == Coordinates::F64) {  // a float's decimal is another
                // All on x + y = c, or all on y = x / 10, or all multiples of 0.1 or 0.01: as decimals.
                bool sum = true, tenth = true, grid = true;
                const Decimal x0 = decimalOf(p[0].x), y0 = decimalOf(p[0].y);
                const int e = std::min(x0.exponent, y0.exponent) - 3;
                for (const RealPoint& q : p) {
                    const Decimal x = decimalOf(q.x), y = decimalOf(q.y);
                    const int f = std::min({e, x.exponent, y.exponent});
                    sum = sum && at(x, f) + at(y, f) == at(x0, f) + at(y0, f);
                    tenth = tenth && at(x, f) == 10 * at(y, f);
                    grid = grid && x.exponent >= -2 && y.exponent >= -2;
                }
                EXPECT_TRUE(sum || tenth || grid) << "decimals input " << k;
                bool notCollinear = false;
                for (std::size_t i = 2; i < p.size() && (sum || tenth); ++i) notCollinear = notCollinear || turn(p[0], p[1], p[i]) != 0;
                kept[family] += notCollinear;
            } else if (family == "near-copies") {
                bool apart = false;
                for (std::size_t i = 0; i < p.size(); ++i)
                    for (std::size_t j = 0; j < p.size(); ++j) {
                        apart = apart || (p[i].y == p[j].y && ulpsApart(p[i].x, p[j].x, type, 1) == 1) ||
                                (p[i].x == p[j].x && ulpsApart(p[i].y, p[j].y, type, 1) == 1) ||
                                (p[i] != RealPoint{0, 0} && std::fabs(p[i].x) <= 2e-8 && std::fabs(p[i].y) <= 2e-8);
                    }
                EXPECT_TRUE(apart) << word << " near-copies input " << k;
            } else if (family == "magnitudes") {
                const double big = type == Coordinates::F32 ? 1e18 : 1e153, small = type == Coordinates::F32 ? 1e-19 : 1e-159;
                bool past = false;
                for (const RealPoint& q : p) {
                    for (double c : {q.x, q.y}) past = past || std::fabs(c) >= big || (c != 0 && std::fabs(c) <= small) || c == 0;
                }
                EXPECT_TRUE(past) << word << " magnitudes input " << k;
            } else if (family == "whole-numbers") {
                const HuntInput whole = huntInput(3, k / realFamilies().size());
                ASSERT_EQ(whole.points.size(), p.size()) << word << " whole-numbers input " << k;
                for (std::size_t i = 0; i < p.size() && type == Coordinates::F64; ++i) {
                    EXPECT_TRUE(p[i].x == double(whole.points[i].x) && p[i].y == double(whole.points[i].y)) << k;
                }
            }
        }
        for (const Family& f : realFamilies()) EXPECT_GT(seen[f.name], 0) << word << ": no input of " << f.name;
        EXPECT_GT(kept["ulp-grid"], seen["ulp-grid"] / 2) << word << ": the ulp grids are mostly on their line";
        if (type == Coordinates::F64) {
            EXPECT_GT(kept["decimals"], 0) << "no decimals that their doubles leave off their line";
        }
    }
}

TEST(HuntFamilies, TheShapesSweepSizesAcrossPowersOfTwoAndTenUpToAMillion) {
    const std::vector<std::int64_t>& sizes = sweptSizes();
    for (std::int64_t n : {1, 2, 3, 4, 5, 127, 128, 129, 1023, 1024, 1025, 999, 1000, 1001, 65535, 65536, 65537, 524289, 999999, 1000000}) {
        EXPECT_TRUE(std::count(sizes.begin(), sizes.end(), n)) << n << " is not swept";
    }
    EXPECT_EQ(sizes.back(), 1000000);
    const auto by = inputsByFamily(2, 8 * sizes.size(), true);
    for (std::size_t i = 0; i < sizes.size(); ++i) EXPECT_EQ(std::int64_t(by.at("shapes")[i].size()), sizes[i]);
}

// ---- Whole hunts -----------------------------------------------------------------------------------

std::string plugin(const char* name) { return std::string(TEST_PLUGINS_DIR) + "/lib" + name + ".so"; }

// The "again:" command of the hunt's output for its first kind, run in `dir`: its exit status. Its
// program is one the shell finds: this build's path, since no hull-lab is installed on PATH here.
int runAgain(const std::filesystem::path& dir, const std::string& out, const std::string& pluginPath = "") {
    std::smatch again;
    if (!std::regex_search(out, again, std::regex("again: +([^ ]+) (.*)"))) return -100;
    if (std::system(("command -v hull-lab >/dev/null 2>&1 || test -x " + std::string(again[1])).c_str()) != 0) return -101;
    std::string command = again[2];
    if (!pluginPath.empty()) command = std::regex_replace(command, std::regex("--plugin [^ ]+"), "--plugin " + pluginPath);
    return runLab(dir, command).status;
}

TEST(HuntRuns, AHuntThatCannotRunSaysWhyAndRunsNothing) {
    const struct {
        const char* arguments;
        const char* says;
    } cases[] = {
        {"--hunt 0 --algorithms chan", "--hunt must be a number of seconds above 0"},
        {"--hunt soon --algorithms chan", "--hunt must be a number of seconds above 0"},
        {"--hunt 5", "--hunt needs an entry that makes a hull"},
        {"--hunt 5 --algorithms copy,sort-keys", "--hunt needs an entry that makes a hull"},
        {"--hunt 5 --algorithms chan --tsv out.tsv", "--hunt runs no cells: it cannot be given with --tsv"},
        {"--hunt 5 --algorithms chan --shapes disc", "--hunt runs no cells: it cannot be given with --shapes"},
        {"--hunt 5 --algorithms chan --input a.txt,b.txt", "--hunt takes one --input file"},
    };
    for (const auto& c : cases) {
        const testfiles::TempDir dir("hunt");
        const LabRun run = runLab(dir.path, c.arguments);
        EXPECT_EQ(run.status, 2) << c.arguments;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.arguments << ": " << run.err;
        EXPECT_TRUE(std::filesystem::is_empty(dir.path / "stdout")) << c.arguments << ": " << run.out;
    }
}

TEST(HuntRuns, FindsShrinksAndIsolatesEachWayAPluginFails) {
    if (kSanitized) GTEST_SKIP() << "whole hunts: the plain build checks them";
    struct Case {
        const char* plugin;
        const char* kind;
        std::size_t fewest, most;  // the smallest input's points
    };
    const Case cases[] = {
        {"wrong-above-1000", "WRONG, a point outside", 1001, 100000},
        {"crashes-on-three", "crashed, SIGSEGV", 3, 3},
        {"hangs-on-copies", "stopped (no answer before the deadline)", 2, 2},
    };
    for (const Case& c : cases) {
        const testfiles::TempDir dir("hunt");
        const LabRun run = runLab(dir.path, "--plugin " + plugin(c.plugin) + " --hunt 4 --budget 1 --seed 3");
        EXPECT_EQ(run.status, 1) << c.plugin << ": " << run.out << run.err;
        EXPECT_NE(run.out.find("  " + std::string(c.kind) + " ("), std::string::npos) << c.plugin << ": " << run.out;
        std::smatch size;
        ASSERT_TRUE(std::regex_search(run.out, size, std::regex("smallest failing input: ([0-9,]+) point"))) << c.plugin << run.out;
        const std::size_t n = std::stoul(std::regex_replace(std::string(size[1]), std::regex(","), ""));
        EXPECT_GE(n, c.fewest) << c.plugin;
        EXPECT_LE(n, c.most) << c.plugin;
        const auto files = [&dir] {
            return std::distance(std::filesystem::directory_iterator(dir.path / "hull-lab-failures"), std::filesystem::directory_iterator{});
        };
        const auto before = files();
        EXPECT_EQ(runAgain(dir.path, run.out), 1) << c.plugin << ": the command given does not fail again (-101: not a program)";
        EXPECT_EQ(files(), before) << c.plugin << ": a rerun on the failure's own file wrote a copy of it";
        EXPECT_EQ(runAgain(dir.path, run.out, plugin("right")), 0) << c.plugin << ": a right plugin fails the command too";
    }
}

TEST(HuntRuns, ARightPluginHuntedReportsNoFailureAndExitsZero) {
    if (kSanitized) GTEST_SKIP() << "whole hunts: the plain build checks them";
    const testfiles::TempDir dir("hunt");
    const LabRun run = runLab(dir.path, "--plugin " + std::string(EXAMPLES_DIR) + "/libgraham.so --hunt 3");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("graham: hunted [0-9]+ s, [0-9,]+ inputs .*, no failure; families: hard tiny")))
        << run.out;
    EXPECT_FALSE(std::filesystem::exists(dir.path / "hull-lab-failures"));
}

TEST(HuntRuns, ALibraryKnownWrongIsAFindingAndAKnownRefusalIsNoFailure) {
#if !defined(HULL_LAB_BOOST) || !defined(HULL_LAB_OPENCV)
    GTEST_SKIP() << "this build has no Boost.Geometry or no OpenCV";
#endif
    if (kSanitized) GTEST_SKIP() << "whole hunts: the plain build checks them";
    // Boost.Geometry's side test rounds products to doubles: wrong on slivers far from the origin.
    // OpenCV refuses an empty set, as the lab knows: a refusal it is known for is not a failure.
    const testfiles::TempDir dir("hunt");
    const LabRun run = runLab(dir.path, "--algorithms boost-monotone-chain,opencv-monotone-chain --hunt 2");
    EXPECT_EQ(run.status, 0) << "the libraries' failures are findings: " << run.out << run.err;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("boost-monotone-chain: hunted .*\n  WRONG, a point outside"))) << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("opencv-monotone-chain: hunted .*, no failure"))) << run.out;
    EXPECT_NE(run.err.find("1 kind of failure of entries not yours"), std::string::npos) << run.err;
    EXPECT_EQ(runAgain(dir.path, run.out), 1) << "--strict in the command: a library's failure fails it";
}

TEST(HuntRuns, ARunOnAFileWithoutTheJudgeExitsByThatFileAlone) {
    if (kSanitized) GTEST_SKIP() << "whole runs: the plain build checks them";
    // The doubles example fails the judge's sliver but is right on a small square.
    const testfiles::TempDir dir("hunt");
    {
        std::ofstream file(dir.path / "square.txt");
        file << "0;0\n10;0\n10;10\n0;10\n5;5\n";
    }
    const std::string entry = "--plugin " + std::string(EXAMPLES_DIR) + "/libfloat-chain.so --algorithms yours --runs 1 --input square.txt";
    EXPECT_EQ(runLab(dir.path, entry).status, 1) << "the judge's sliver";
    EXPECT_EQ(runLab(dir.path, entry + " --no-judge").status, 0);
}

// A hunt on a point file tries its orders and shrinks each failure by removing points, then moving
// whole numbers or making doubles simpler decimals: the smallest input of huge doubles is a few short
// decimals, and its "again" command fails again; an exact entry has no failure; an int-only entry
// is not hunted on doubles.
TEST(HuntRuns, AHuntOnAFileShrinksItsFailuresToFewOfItsOwnPoints) {
    if (kSanitized) GTEST_SKIP() << "whole hunts: the plain build checks them";
    struct Case {
        const char* name;
        std::vector<RealPoint> points;  // empty: the sliver's whole numbers
        const char* coordinates;
    };
    std::vector<RealPoint> huge = makeRealShape("huge", 300, 1);
    const Case cases[] = {{"huge doubles", huge, "f64"}, {"the sliver's whole numbers", {}, "int"}};
    for (const Case& c : cases) {
        const testfiles::TempDir dir("hunt-file");
        const std::string input = (dir.path / "input.txt").string();
        if (c.points.empty()) ASSERT_TRUE(writePointFile(input, makeShape("sliver", 300, 1)));
        else ASSERT_TRUE(writePointFile(input, c.points));
        const LabRun run = runLab(dir.path, "--hunt 2 --input input.txt --algorithms incremental-array-plain,incremental-array,incremental");
        EXPECT_EQ(run.status, 0) << c.name << ": another's failures are findings\n" << run.err;
        EXPECT_NE(run.out.find("incremental-array: hunted"), std::string::npos) << c.name << ": " << run.out;
        EXPECT_NE(run.out.find("no failure in the orders of input.txt"), std::string::npos) << c.name << ": " << run.out;
        EXPECT_EQ(run.out.find("incremental: not hunted, int only") != std::string::npos, c.points.size() > 0) << c.name << ": " << run.out;
        std::smatch file;
        ASSERT_TRUE(std::regex_search(run.out, file, std::regex("file: +(hull-lab-failures/incremental-array-plain-hunt-[^ ]+\\.txt)")))
            << c.name << ": " << run.out;
        const PointFile smallest = readPointFile((dir.path / std::string(file[1])).string(), 0);
        EXPECT_EQ(coordinatesWord(smallest.coordinates), std::string(c.coordinates)) << c.name;
        const std::size_t n = c.points.empty() ? smallest.points.size() : smallest.reals.size();
        EXPECT_GE(n, 3u) << c.name;
        EXPECT_LE(n, 8u) << c.name << ": shrunk to a few points";
        for (const RealPoint& p : smallest.reals) {  // the overflow needs only the magnitude: a digit or two
            EXPECT_LE(show(p).size(), 16u) << c.name << ": " << show(p) << " not made a short decimal";
        }
        EXPECT_EQ(runAgain(dir.path, run.out), 1) << c.name << ": the again command fails again";
    }
}

// With --coordinates f64 the hunt makes the real families: the doubles example (plain products)
// is found wrong and shrunk to a few points that its again command fails on again; the exact
// entry on doubles has no failure there; an entry on whole numbers only is not hunted on doubles.
TEST(HuntRuns, OnDoublesTheRealFamiliesFindAndShrinkAPluginsPlainTurns) {
    if (kSanitized) GTEST_SKIP() << "whole hunts: the plain build checks them";
    const testfiles::TempDir dir("hunt-real");
    const LabRun run = runLab(dir.path, "--plugin " + std::string(EXAMPLES_DIR) +
                                            "/libfloat-chain.so --algorithms incremental-array,incremental --hunt 6 --coordinates f64");
    EXPECT_EQ(run.status, 1) << "your entry failed: " << run.out << run.err;
    EXPECT_NE(run.out.find("Families of input on f64"), std::string::npos) << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("float-chain-f64 on f64: hunted .*\n  WRONG, "))) << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("incremental-array on f64: hunted [^\n]*no failure; families: ulp-grid"))) << run.out;
    EXPECT_NE(run.out.find("incremental: not hunted, "), std::string::npos) << run.out;
    std::smatch file;
    ASSERT_TRUE(std::regex_search(run.out, file, std::regex("file: +(hull-lab-failures/float-chain-f64-hunt-[^ ]+\\.txt)"))) << run.out;
    const PointFile smallest = readPointFile((dir.path / std::string(file[1])).string(), 0);
    EXPECT_EQ(smallest.coordinates, Coordinates::F64);
    EXPECT_GE(smallest.reals.size(), 3u);
    EXPECT_LE(smallest.reals.size(), 12u) << "shrunk to a few points";
    EXPECT_EQ(runAgain(dir.path, run.out), 1) << "the again command fails again";
}

// A report for a library's maintainers is shown only where its own program, built and run by the
// lab, fails again the same way: for each library, on points where its hull on doubles is known
// wrong (Boost: products that overflow; GEOS and shapely: a triangle of 1e-300, returned as a line;
// CGAL on plain doubles and d3: the classroom turns; CGAL's ch_bykat on its exact kernel: a point
// kept mid-edge; Qhull as scipy calls it: a near-copy ignored)
// or its call crashes (CGAL on four decimals), it is written and reproduces, and run alone from its
// own command it fails again; on a square each gets right, no report is left.
TEST(HuntReports, AReportIsKeptOnlyWhereItsProgramFailsAgain) {
    if (kSanitized) GTEST_SKIP() << "compiles and runs programs: the plain build checks them";
    const testfiles::TempDir dir("hunt-report");
    const std::vector<RealPoint> square = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5, 0.5}};
    const std::vector<RealPoint> tiny = {{0, 0}, {0, -3e-300}, {4e-300, 0}};
    const std::vector<RealPoint> ulp = {{0.5, 0.25}, {6, 3}, {0.4999999999999998, 0.25}};
    auto program = [](const char* name, const std::string& command) {
        return userAlgorithm({UserEntry::Program, name, "", "", false, command});
    };
    struct Case {
        const char* name;
        Algorithm entry;
        std::vector<RealPoint> points;
        Status status;
        bool reproduced;
    };
    std::vector<Case> cases;
    for (const char* name : {"boost-double-monotone-chain", "geos-graham", "cgal-monotone-chain-plain", "cgal-quickhull", "libqhull-quickhull"}) {
        const Algorithm* entry = findAlgorithm(name);
        if (entry == nullptr) continue;  // this build lacks the library: its reports are not tested here
        cases.push_back({"its failure", *entry, {}, Status::Wrong, true});
    }
    for (Case& c : cases) {
        const std::string n = c.entry.name;
        if (n == "boost-double-monotone-chain") c.points = {{0, 1.3e153}, {0, 6e306}, {5e199, 0}, {2e199, 1e153}};
        if (n == "geos-graham") c.points = tiny;
        if (n == "cgal-monotone-chain-plain") c.points = ulp;
        if (n == "libqhull-quickhull") c.points = {{-338508.98, 0.26873681}, {0, 0.3}, {0, 0}, {-338508.98, 0.2687368091}};
        if (n == "cgal-quickhull") c.points = {{4e-300, -1e-160}, {4e-160, 0}, {0, -1e-160}, {0, 5e-324}, {-3e-160, 0}, {1e-323, -1e-160}};
    }
    const std::size_t libraries = cases.size();
    for (std::size_t i = 0; i < libraries; ++i) cases.push_back({"a square", cases[i].entry, square, Status::Wrong, false});
    if (findAlgorithm("cgal-monotone-chain-plain") != nullptr) {
        cases.push_back({"four decimals", *findAlgorithm("cgal-monotone-chain-plain"),
                         {{0.1, 0.01}, {0.43, 0.043}, {0.03, 0.003}, {0.95, 0.095}}, Status::Crashed, true});
    }
    const Algorithm shapely = program("shapely_hull", "/usr/bin/python3 " EXAMPLES_SOURCE "/shapely_hull.py");
    const Algorithm d3 = program("d3_hull", "node " EXAMPLES_SOURCE "/d3_hull.js");
    cases.push_back({"a triangle of 1e-300", shapely, tiny, Status::Wrong, true});
    cases.push_back({"a square", shapely, square, Status::Wrong, false});
    cases.push_back({"three decimals of y = x / 10", d3, {{0.6, 0.06}, {0.2, 0.02}, {0.1, 0.01}}, Status::Wrong, true});
    cases.push_back({"a square", d3, square, Status::Wrong, false});
    // Hulls of fewer than three corners: d3 gives one point thrice as a triangle; two far points
    // it gets right leave no report.
    cases.push_back({"three copies of one point", d3, {{3, -2}, {3, -2}, {3, -2}}, Status::Wrong, true});
    cases.push_back({"two points and a copy", shapely, {{0, 0}, {5, 1}, {5, 1}}, Status::Wrong, false});
    for (const Case& c : cases) {
        const std::string name = c.entry.name + " on " + c.name;
        ASSERT_TRUE(reportable(c.entry)) << name;
        const std::string stem = (dir.path / (c.entry.name + "-" + std::to_string(&c - cases.data()))).string();
        const LibraryReport report = writeReport(c.entry, c.points, c.status, c.status == Status::Wrong ? "WRONG, not convex" : "crashed, SIGSEGV",
                                                 stem, dir.path.string());
        EXPECT_EQ(report.reproduced, c.reproduced) << name << ": " << report.said;
        EXPECT_EQ(report.file.empty(), !c.reproduced) << name << ": a report is left only where it failed";
        for (const char* ending : {".cpp", ".c", ".py", ".mjs"}) {
            EXPECT_FALSE(std::filesystem::exists(stem + "-report" + ending) && !c.reproduced) << name;
        }
        if (!c.reproduced) continue;
        // As its heading says, in the report's folder: d3-polygon is linked there, python3 is Debian's.
        std::string alone = std::regex_replace(report.command, std::regex("^npm install [^ ]+ && "), "");
        alone = "cd " + shellWord(dir.path.string()) + " && " + std::regex_replace(alone, std::regex("^python3 "), "/usr/bin/python3 ");
        const std::string quiet = std::regex_replace(alone, std::regex(" && ./report$"), " >/dev/null 2>&1 && ./report") + " >/dev/null 2>&1";
        const int status = std::system(quiet.c_str());
        const bool again = c.status == Status::Crashed ? WIFEXITED(status) && WEXITSTATUS(status) > 128
                                                        : WIFEXITED(status) && WEXITSTATUS(status) == 1;
        EXPECT_TRUE(again) << name << ": the report run alone does not fail the same way: " << quiet;
    }
    EXPECT_GE(cases.size(), 4u);
    EXPECT_FALSE(reportable(*findAlgorithm("incremental-array"))) << "the lab's own entries have no maintainers to report to";
    EXPECT_FALSE(reportable(program("mine", "./my_hull"))) << "nor the user's own programs";
}

}  // namespace
