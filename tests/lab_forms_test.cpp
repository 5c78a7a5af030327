// The lab's own algorithms: each array form returns exactly its list form's points in order (one
// suite over the three pairs); Chan's algorithm and the fastest exact hull (each of its paths
// forced) give the reference corners on the inputs where tangent searches, sample hulls and
// chains go wrong, and on a stress run over small grids.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "../lab/lab.h"
#include "../lab/inputs/inputs.h"
#include "../lab/own/own.h"
#include "../lab/run/cell.h"
#include "hull_check.h"

namespace {

using Points = std::vector<Point>;

// What a failure shows of an input: all of a small one.
std::string shown(const Points& input) {
    return input.size() <= 60 ? "\n  input: " + hullcheck::show(PointList(input.begin(), input.end())) : "";
}

// ---- Array forms against list forms ---------------------------------------------------------------

struct Pair {
    const char* name;
    PointList (*list)(PointList);
    Points (*array)(Points);
};

void PrintTo(const Pair& pair, std::ostream* os) { *os << pair.name; }

class ArrayForm : public testing::TestWithParam<Pair> {
  protected:
    // The array form's result must be the list form's, point for point.
    void expectSame(const Points& input, const std::string& context) {
        const Pair& pair = GetParam();
        PointList expected = pair.list(PointList(input.begin(), input.end()));
        Points got = pair.array(input);
        EXPECT_EQ(PointList(got.begin(), got.end()), expected) << pair.name << "-array, " << context << shown(input);
    }
};

TEST_P(ArrayForm, NoPointsOnePointAndCopiesOfIt) {
    expectSame({}, "no points");
    for (std::size_t copies : {1, 2, 3, 7}) expectSame(Points(copies, Point{3, -2}), std::to_string(copies) + " copies");
}

TEST_P(ArrayForm, SameResultOnTheStressGrids) {
    const std::uint64_t seed = 1207;
    std::mt19937_64 random(seed);
    for (int i = 0; i < 30000; ++i) {
        PointList input = hullcheck::smallGridCase(random, i);
        expectSame(Points(input.begin(), input.end()), "seed " + std::to_string(seed) + ", case " + std::to_string(i));
        if (HasFailure()) return;
    }
}

// Every lab shape; gift wrapping skips 3,000 points in convex position (seconds under the
// sanitizers).
TEST_P(ArrayForm, SameResultOnEveryShape) {
    for (const lab::Shape& shape : lab::shapes()) {
        for (std::int64_t n : {1, 2, 3, 5, 10, 60, 250, 3000}) {
            bool slow = GetParam().list == gift_wrapping && (shape.name == "circle" || shape.name == "convex");
            if (n == 3000 && slow) continue;
            expectSame(lab::makeShape(shape.name, n, 11), shape.name + ", " + std::to_string(n) + " points, seed 11");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pairs, ArrayForm,
                         testing::Values(Pair{"incremental", incremental, lab::incrementalArray},
                                         Pair{"gift_wrapping", gift_wrapping, lab::giftWrappingArray},
                                         Pair{"qhull", qhull, lab::qhullArray}),
                         [](const testing::TestParamInfo<Pair>& param) { return std::string(param.param.name); });

// ---- The lab's corner-only hulls: Chan's algorithm and the fastest exact hull, every path ---------

// A hull that promises the reference corners counter-clockwise from the least point, each once.
struct CornerHull {
    const char* name;
    Points (*hull)(const Points&);
    bool needsAvx2;
    bool needsAvx512 = false;
};

void PrintTo(const CornerHull& h, std::ostream* os) { *os << h.name; }

constexpr auto kOff = lab::FastHullPaths::Off, kOn = lab::FastHullPaths::On, kAuto = lab::FastHullPaths::Auto;

lab::FastHullPaths paths(lab::FastHullPaths::Choice filter, lab::FastHullPaths::Choice radix, bool avx2,
                         lab::FastHullPaths::Choice vector = kOff, bool avx512 = false) {
    lab::FastHullPaths p;
    p.filter = filter, p.radix = radix, p.avx2 = avx2, p.avx512 = avx512, p.quickhull = lab::FastHullPaths::Off, p.vector = vector;
    return p;
}

// The two-thread hull split whatever the size, the pass forced or not, the keys' sort chosen.
lab::FastHullPaths split(lab::FastHullPaths::Choice filter, lab::FastHullPaths::Choice vector) {
    lab::FastHullPaths p;
    p.filter = filter, p.quickhull = kOff, p.vector = vector, p.split = kOn;
    return p;
}

// The two-thread hull on a team of `threads` (made once, kept for every call).
Points onTeam(const Points& input, unsigned threads, lab::FastHullPaths p) {
    static lab::Team one(1), two(2);
    const lab::Corners corners = lab::fastHull2t(input.data(), input.size(), threads == 1 ? one : two, p);
    return Points(corners.points.get(), corners.points.get() + corners.size);
}

const CornerHull kCornerHulls[] = {
    // chan from its default first round and from Chan's own (groups of 4, then 16, ...), so that
    // small inputs too are split into groups whose tangents the wrap must find.
    {"chan_from_round_3", [](const Points& p) { return lab::chan(p, 3); }, false},
    {"chan_from_round_1", [](const Points& p) { return lab::chan(p, 1); }, false},
    // The fastest exact hull as it chooses, and each of its paths forced, even on tiny inputs: the
    // array quickhull, with the throw-away pass or without, std::sort or the radix sort, the
    // pass's code for any processor, for AVX2 or for AVX-512.
    {"fast", [](const Points& p) { return lab::fastHull(p); }, false},
    {"fast_quickhull", [](const Points& p) {
         lab::FastHullPaths quickhull;
         quickhull.quickhull = kOn;
         return lab::fastHull(p, quickhull);
     }, false},
    {"fast_sort", [](const Points& p) { return lab::fastHull(p, paths(kOff, kOff, false)); }, false},
    {"fast_radix", [](const Points& p) { return lab::fastHull(p, paths(kOff, kOn, false)); }, false},
    {"fast_pass_sort", [](const Points& p) { return lab::fastHull(p, paths(kOn, kOff, false)); }, false},
    {"fast_pass_radix", [](const Points& p) { return lab::fastHull(p, paths(kOn, kOn, false)); }, false},
    {"fast_avx2_pass_sort", [](const Points& p) { return lab::fastHull(p, paths(kOn, kOff, true)); }, true},
    {"fast_avx2_pass_radix", [](const Points& p) { return lab::fastHull(p, paths(kOn, kOn, true)); }, true},
    {"fast_avx512_pass_sort", [](const Points& p) { return lab::fastHull(p, paths(kOn, kOff, false, kOff, true)); }, true, true},
    {"fast_avx512_pass_vqsort", [](const Points& p) { return lab::fastHull(p, paths(kOn, kOn, false, kOn, true)); }, true, true},
    // The keys sorted by vqsort (where the build has it) rather than the radix sort.
    {"fast_vqsort", [](const Points& p) { return lab::fastHull(p, paths(kOff, kOn, false, kOn)); }, false},
    {"fast_pass_vqsort", [](const Points& p) { return lab::fastHull(p, paths(kOn, kOn, true, kOn)); }, false},
    // On two threads: as it chooses, and split in two whatever the size (each half filtered or
    // not, sorted by either sort, the halves merged and their hulls joined); a team of one.
    {"two_threads", [](const Points& p) { return onTeam(p, 2, {}); }, false},
    {"two_threads_split", [](const Points& p) { return onTeam(p, 2, split(kOff, kAuto)); }, false},
    {"two_threads_split_pass", [](const Points& p) { return onTeam(p, 2, split(kOn, kAuto)); }, false},
    {"two_threads_split_radix", [](const Points& p) { return onTeam(p, 2, split(kOff, kOff)); }, false},
    {"team_of_one", [](const Points& p) { return onTeam(p, 1, {}); }, false},
};

class CornersOnly : public testing::TestWithParam<CornerHull> {
  protected:
    void SetUp() override {
        if (GetParam().needsAvx2 && !lab::fastHullHasAvx2()) GTEST_SKIP() << "this processor has no AVX2";
        if (GetParam().needsAvx512 && !lab::fastHullHasAvx512()) GTEST_SKIP() << "this processor has no AVX-512";
    }

    // The reference corners counter-clockwise from the least point: what these hulls promise.
    static Points expectedCorners(const Points& input) {
        std::vector<reference::Pt> clockwise = reference::corners(lab::referencePoints(input));
        Points result;
        if (!clockwise.empty()) result.push_back({clockwise[0].x, clockwise[0].y});
        for (std::size_t i = clockwise.size(); i-- > 1;) result.push_back({clockwise[i].x, clockwise[i].y});
        return result;
    }

    void expectCorners(const Points& input, const std::string& context) {
        const Points expected = expectedCorners(input);
        Points got = GetParam().hull(input);
        EXPECT_EQ(PointList(got.begin(), got.end()), PointList(expected.begin(), expected.end()))
            << GetParam().name << ", " << context << shown(input);
    }
};

// Repeats each point `times` times in a row, so that the first rounds' groups (2, 4, 16 points)
// hold copies of one point, or two: their hulls are a single point or a segment.
Points inRuns(const Points& points, std::size_t times) {
    Points result;
    for (const Point& p : points) result.insert(result.end(), times, p);
    return result;
}

// Where tangent searches, sample hulls and chains break: copies, lines, points on hull edges,
// groups of copies, every point a corner.
TEST_P(CornersOnly, TheFragileCases) {
    Points square;  // a square with every grid point of its edges, in rows
    for (std::int64_t x = 0; x <= 40; ++x) {
        for (std::int64_t y = 0; y <= 40; ++y) {
            if (x == 0 || y == 0 || x == 40 || y == 40) square.push_back({x, y});
        }
    }
    Points line, vertical, diagonal;
    for (std::int64_t i = 0; i < 300; ++i) {
        line.push_back({(i * 37) % 300, 5});
        vertical.push_back({-7, (i * 101) % 300 - 150});
        diagonal.push_back({(i * 13) % 300, 2 * ((i * 13) % 300) + 1});
    }
    const Points circleish = lab::makeShape("convex", 64, 2);
    const std::int64_t far = (std::int64_t(1) << 30) - 1;
    struct Case {
        const char* why;
        Points input;
    } cases[] = {
        {"no points", {}},
        {"one point", {{4, 4}}},
        {"copies of one point", Points(100, Point{-3, 9})},
        {"two points", {{5, 1}, {2, 7}}},
        {"two points, copies of each", inRuns({{5, 1}, {2, 7}}, 40)},
        {"all on one line, shuffled", line},
        {"all on a vertical line", vertical},
        {"all on a diagonal line", diagonal},
        {"a square with many points on each edge", square},
        {"the square, reversed", Points(square.rbegin(), square.rend())},
        {"groups of copies of one point", inRuns(lab::makeShape("disc", 200, 4), 16)},
        {"groups that are segments", inRuns(lab::makeShape("lattice", 300, 4), 2)},
        {"every point a corner, in runs", inRuns(circleish, 3)},
        {"two copies of each corner, far apart", [&] {
             Points twice = circleish;
             twice.insert(twice.end(), circleish.rbegin(), circleish.rend());
             return twice;
         }()},
        {"a triangle with copies of its corners in every group", [] {
             Points t;
             for (int i = 0; i < 200; ++i) t.push_back(i % 3 == 0 ? Point{0, 0} : i % 3 == 1 ? Point{90, 0} : Point{0, 90});
             return t;
         }()},
        {"the corners of the exact range", {{-far, -far}, {far, -far}, {far, far}, {-far, far}, {0, 0}, {far, 0}}},
        {"a thin sliver at the edge of the range", lab::makeShape("sliver", 3000, 5)},
    };
    for (const Case& c : cases) expectCorners(c.input, c.why);
}

TEST_P(CornersOnly, StressOnSmallGrids) {
    const std::uint64_t seed = 1207;
    std::mt19937_64 random(seed);
    for (int i = 0; i < 30000; ++i) {
        PointList input = hullcheck::smallGridCase(random, i);
        // Longer inputs too (up to 1,200 points), so that the rounds of 16 and 256 points run
        // with many groups, and samples of the pass hold many points.
        if (i % 7 == 0) {
            for (int k = 0; k < (i % 49 == 0 ? 80 : 5); ++k) {
                PointList more = hullcheck::smallGridCase(random, 2);
                input.splice(input.end(), more);
            }
        }
        expectCorners(Points(input.begin(), input.end()), "seed " + std::to_string(seed) + ", case " + std::to_string(i));
        if (HasFailure()) return;
    }
}

TEST_P(CornersOnly, EveryShapeFromFewPointsToThousands) {
    for (const lab::Shape& shape : lab::shapes()) {
        for (std::int64_t n : {1, 2, 3, 17, 255, 257, 4000, 70000}) {
            expectCorners(lab::makeShape(shape.name, n, 9), shape.name + ", " + std::to_string(n) + " points, seed 9");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lab, CornersOnly, testing::ValuesIn(kCornerHulls),
                         [](const testing::TestParamInfo<CornerHull>& param) { return std::string(param.param.name); });

}  // namespace
