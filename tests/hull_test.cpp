// The three hull algorithms: what all of them promise (one suite over the three), each one's own
// worked examples and tie rules, and a fixed-seed stress test on small grids.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <random>
#include <vector>

#include "hull_check.h"
#include "hullbench.h"

namespace {

using hullcheck::checkHull;
using hullcheck::Direction;
using hullcheck::Promise;
using hullcheck::show;

struct Algorithm {
    const char* name;
    PointList (*run)(PointList);
    Promise promise;
};

const Algorithm kGiftWrapping{"gift_wrapping", gift_wrapping, {Direction::Clockwise, true, 1, true}};
const Algorithm kQuickhull{"qhull", qhull, {Direction::CounterClockwise, true, 2, false}};
const Algorithm kIncremental{"incremental", incremental, {Direction::Clockwise, false, 2, true}};

void PrintTo(const Algorithm& algorithm, std::ostream* os) { *os << algorithm.name; }

// ---- What every algorithm promises ---------------------------------------------------------------

// A hang fails within seconds and names its input, rather than stalling the test run.
const Algorithm* gRunning = nullptr;
const PointList* gRunningInput = nullptr;
constexpr unsigned kHangSeconds = 2;

extern "C" void onHang(int) {
    std::fprintf(stderr, "\nFAILED: %s did not return within %u s on %s\n", gRunning->name, kHangSeconds,
                 show(*gRunningInput).c_str());
    _exit(1);
}

class EveryAlgorithm : public testing::TestWithParam<Algorithm> {
  protected:
    static void SetUpTestSuite() { std::signal(SIGALRM, onHang); }

    // Runs the algorithm and checks its result against the brute-force hull.
    void expectHull(const PointList& input, const std::string& context = "") {
        const Algorithm& algorithm = GetParam();
        gRunning = &algorithm;
        gRunningInput = &input;
        alarm(kHangSeconds);
        PointList result = algorithm.run(input);
        alarm(0);
        std::string error = checkHull(input, result, algorithm.promise);
        EXPECT_EQ(error, "") << algorithm.name << context << "\n  input:  " << show(input)
                             << "\n  result: " << show(result);
    }
};

TEST_P(EveryAlgorithm, NoPointsGiveNoPoints) {
    EXPECT_TRUE(GetParam().run({}).empty());
}

TEST_P(EveryAlgorithm, OnePointAndCopiesOfOnePoint) {
    for (std::size_t copies : {1, 2, 5}) {
        PointList input(copies, Point{4, -4});
        const Promise& promise = GetParam().promise;
        std::size_t expected = copies == 1 && promise.keepsLonePoint ? 1 : promise.onePointCopies;
        EXPECT_EQ(GetParam().run(input), PointList(expected, Point{4, -4})) << copies << " copies";
    }
}

TEST_P(EveryAlgorithm, TwoPointsGiveBothLeastFirst) {
    EXPECT_EQ(GetParam().run({{5, 1}, {2, 7}}), (PointList{{2, 7}, {5, 1}}));
    EXPECT_EQ(GetParam().run({{2, 7}, {5, 1}, {2, 7}, {5, 1}}), (PointList{{2, 7}, {5, 1}}));
}

TEST_P(EveryAlgorithm, PointsOnOneLineGiveItsTwoEnds) {
    struct {
        const char* why;
        PointList input;
        PointList ends;
    } cases[] = {
        {"diagonal, ascending", {{0, 0}, {1, 1}, {2, 2}}, {{0, 0}, {2, 2}}},
        {"diagonal, descending", {{2, 2}, {1, 1}, {0, 0}}, {{0, 0}, {2, 2}}},
        {"diagonal, mixed with copies", {{0, 0}, {3, 3}, {1, 1}, {2, 2}, {6, 6}, {3, 3}}, {{0, 0}, {6, 6}}},
        {"vertical", {{2, 5}, {2, 1}, {2, 3}}, {{2, 1}, {2, 5}}},
        {"horizontal", {{5, 2}, {1, 2}, {3, 2}}, {{1, 2}, {5, 2}}},
        {"falling", {{1, 3}, {3, 1}, {2, 2}, {0, 4}}, {{0, 4}, {3, 1}}},
        {"middle point first", {{1, 0}, {0, 0}, {2, 0}, {1, 0}}, {{0, 0}, {2, 0}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetParam().run(c.input), c.ends) << GetParam().name << ": " << c.why;
    }
}

TEST_P(EveryAlgorithm, SquareWithPointsOnItsEdgesInEitherOrder) {
    PointList square{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 2}, {2, 4}, {4, 2}, {2, 0}, {2, 2}};
    expectHull(square, ", in order");
    square.reverse();
    expectHull(square, ", reversed");
}

// Inputs on which the plain gift-wrapping walk cycles or leaves a corner out.
TEST_P(EveryAlgorithm, GiftWrappingTraps) {
    expectHull({{1, 0}, {2, 0}, {0, 0}, {1, 1}, {2, 2}}, ", walk cycles");
    expectHull({{0, 2}, {1, 2}, {1, 2}, {2, 2}, {0, 1}, {2, 1}}, ", walk leaves (2,2) out");
}

TEST_P(EveryAlgorithm, ReorderingKeepsTheCorners) {
    PointList input{{3, 1}, {0, 0}, {4, 4}, {2, 2}, {1, 3}, {4, 0}, {2, 5}, {0, 2}, {1, 1}, {3, 3}};
    std::vector<Point> order(input.begin(), input.end());
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        std::shuffle(order.begin(), order.end(), random);
        expectHull(PointList(order.begin(), order.end()), ", shuffle " + std::to_string(i));
    }
}

// The hulls stay exact up to the coordinate range the algorithms promise: |coordinate| < 2^30.
TEST_P(EveryAlgorithm, CoordinatesAtTheEdgeOfTheirRange) {
    const std::int64_t edge = (std::int64_t(1) << 30) - 1;
    const std::int64_t values[] = {-edge, -edge + 1, -1, 0, 1, edge - 1, edge};
    std::mt19937_64 random(30);
    for (int i = 0; i < 2000; ++i) {
        PointList input;
        std::size_t count = 1 + random() % 8;
        for (std::size_t k = 0; k < count; ++k) input.push_back({values[random() % 7], values[random() % 7]});
        expectHull(input, ", wide case " + std::to_string(i));
        if (HasFailure()) return;
    }
}

// Many small inputs on small grids, so that copies, collinear runs and points on hull edges are
// everywhere; every result is checked against the brute-force hull.
TEST_P(EveryAlgorithm, StressOnSmallGrids) {
    const std::uint64_t seed = 1207;
    std::mt19937_64 random(seed);
    for (int i = 0; i < 100000; ++i) {
        PointList input = hullcheck::smallGridCase(random, i);
        expectHull(input, ", seed " + std::to_string(seed) + ", case " + std::to_string(i));
        if (HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Hulls, EveryAlgorithm, testing::Values(kGiftWrapping, kQuickhull, kIncremental),
                         [](const testing::TestParamInfo<Algorithm>& param) { return std::string(param.param.name); });

// ---- Each algorithm's own results ----------------------------------------------------------------

struct Example {
    const char* why;
    const Algorithm* algorithm;
    PointList input;
    PointList result;
};

const Example kExamples[] = {
    // Gift wrapping: clockwise; a point on an edge is kept when the scan reaches it first.
    {"square with its centre", &kGiftWrapping, {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {1, 1}},
     {{0, 0}, {0, 2}, {2, 2}, {2, 0}}},
    {"edge midpoints after the corners", &kGiftWrapping,
     {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 2}, {2, 4}, {4, 2}, {2, 0}, {2, 2}},
     {{0, 0}, {0, 4}, {4, 4}, {4, 0}}},
    {"edge midpoints before the corners", &kGiftWrapping,
     {{2, 2}, {2, 0}, {4, 2}, {2, 4}, {0, 2}, {0, 4}, {4, 4}, {4, 0}, {0, 0}},
     {{0, 0}, {0, 2}, {0, 4}, {2, 4}, {4, 4}, {4, 2}, {4, 0}, {2, 0}}},
    {"copies of the start point", &kGiftWrapping, {{1, 1}, {0, 0}, {0, 0}, {3, 0}, {0, 0}},
     {{0, 0}, {1, 1}, {3, 0}}},
    // Quickhull: counter-clockwise from L, along the lower side to R and back.
    {"worked example", &kQuickhull,
     {{3, 4}, {0, 2}, {6, 0}, {2, 0}, {8, 2}, {4, 6}, {0, 2}, {7, 5}, {1, 5}, {4, 0}, {3, 3}},
     {{0, 2}, {2, 0}, {6, 0}, {8, 2}, {7, 5}, {4, 6}, {1, 5}}},
    {"L is the lowest leftmost, R the highest rightmost", &kQuickhull, {{0, 5}, {0, 1}, {7, 2}, {7, 9}},
     {{0, 1}, {7, 2}, {7, 9}, {0, 5}}},
    {"edge points: first of the farthest wins", &kQuickhull, {{0, 0}, {5, 0}, {5, 5}, {2, 5}, {0, 3}, {1, 4}},
     {{0, 0}, {5, 0}, {5, 5}, {2, 5}, {0, 3}}},
    {"edge points: (1,4) first", &kQuickhull, {{1, 4}, {0, 0}, {5, 0}, {5, 5}, {2, 5}, {0, 3}},
     {{0, 0}, {5, 0}, {5, 5}, {2, 5}, {1, 4}, {0, 3}}},
    {"L to R is a hull edge", &kQuickhull, {{0, 0}, {4, 0}, {2, 3}, {2, 0}}, {{0, 0}, {4, 0}, {2, 3}}},
    // Incremental: clockwise corners only, from the sorted points.
    {"sorting by x then y", &kIncremental, {{1, 5}, {0, 7}, {1, 2}, {0, 7}}, {{0, 7}, {1, 5}, {1, 2}}},
    {"square with edge points and centre", &kIncremental,
     {{0, 0}, {0, 2}, {0, 4}, {2, 4}, {4, 4}, {4, 2}, {4, 0}, {2, 0}, {2, 2}},
     {{0, 0}, {0, 4}, {4, 4}, {4, 0}}},
    {"repeated corners", &kIncremental, {{0, 0}, {0, 0}, {5, 5}, {5, 5}, {3, 1}, {1, 3}},
     {{0, 0}, {1, 3}, {5, 5}, {3, 1}}},
    {"third corner below", &kIncremental, {{0, 0}, {4, 0}, {2, -3}}, {{0, 0}, {4, 0}, {2, -3}}},
    {"worked example", &kIncremental, {{3, 1}, {0, 0}, {4, 4}, {2, 2}, {1, 3}, {4, 0}, {2, 5}, {0, 2}},
     {{0, 0}, {0, 2}, {2, 5}, {4, 4}, {4, 0}}},
};

TEST(Examples, EachAlgorithmGivesItsStatedResult) {
    for (const Example& e : kExamples) {
        EXPECT_EQ(e.algorithm->run(e.input), e.result) << e.algorithm->name << ": " << e.why;
    }
}

TEST(QuickhullHelper, ContributesNothingWithoutAPointStrictlyRightOfTheLine) {
    EXPECT_TRUE(qhull_helper({0, 0}, {4, 0}, {}).empty());
    EXPECT_TRUE(qhull_helper({0, 0}, {4, 0}, {{0, 0}, {2, 0}, {4, 0}, {1, 3}}).empty());
    EXPECT_EQ(qhull_helper({0, 0}, {4, 0}, {{0, 0}, {1, -1}, {2, -2}, {3, -1}, {4, 0}, {2, 5}}),
              (PointList{{2, -2}}));
}

// Wherever the plain walk works, the guarded one returns exactly what it returns.
TEST(GiftWrapping, FollowsThePlainWalkWhereverItWorks) {
    const std::uint64_t seed = 2207;
    std::mt19937_64 random(seed);
    int compared = 0;
    for (int i = 0; i < 50000; ++i) {
        const std::int64_t grid = 3 + random() % 6;
        PointList input;
        for (std::size_t k = 0, count = 3 + random() % 10; k < count; ++k) {
            input.push_back({std::int64_t(random() % grid), std::int64_t(random() % grid)});
        }
        if (hullcheck::bruteCorners(input).size() < 3) continue;  // one line: its own rule
        std::optional<PointList> walk = hullcheck::plainWalk(input, 4 * input.size());
        if (!walk) continue;
        ++compared;
        ASSERT_EQ(gift_wrapping(input), *walk) << "seed " << seed << ", case " << i << ", input " << show(input);
    }
    EXPECT_GT(compared, 40000) << "too few inputs on which the walk works to compare";
}

}  // namespace
