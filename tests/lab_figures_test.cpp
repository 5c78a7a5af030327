// A cell's figures from its runs: the interval method on made-up runs with known answers and on
// simulated noise, and the order of a row's cells in each round.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "../lab/lab.h"
#include "../lab/run/figures.h"

namespace {

struct Known {
    const char* name;
    std::vector<double> runs;
    bool has;         // an interval exists
    double lo, hi;    // its bounds
};

TEST(LabFigures, TheIntervalOfMadeUpRunsIsStudentsTOnTheirLogarithms) {
    const double e = std::exp(1.0);
    const double half3 = 4.302653 / std::sqrt(3.0);         // s = 1, k = 3
    const double half2 = 12.706205 * std::log(4.0) / 2;     // s = ln 4 / sqrt 2, k = 2
    const std::vector<Known> cases = {
        {"logarithms 0, 1, 2", {1, e, e * e}, true, std::exp(1 - half3), std::exp(1 + half3)},
        {"the same order of runs, shuffled", {e * e, 1, e}, true, std::exp(1 - half3), std::exp(1 + half3)},
        {"two runs, 1 and 4", {1, 4}, true, 2 * std::exp(-half2), 2 * std::exp(half2)},
        {"every run the same", {2e-3, 2e-3, 2e-3, 2e-3}, true, 2e-3, 2e-3},
        {"scaled runs scale the interval", {1e-6, e * 1e-6, e * e * 1e-6}, true, 1e-6 * std::exp(1 - half3),
         1e-6 * std::exp(1 + half3)},
        {"one run", {3e-3}, false, 0, 0},
        {"no run", {}, false, 0, 0},
        {"a run of 0 s", {1e-3, 0, 2e-3}, false, 0, 0},
    };
    for (const Known& c : cases) {
        double lo = -1, hi = -1;
        const bool has = lab::logInterval(c.runs, lo, hi);
        EXPECT_EQ(has, c.has) << c.name;
        if (!has || !c.has) continue;
        EXPECT_NEAR(lo, c.lo, 1e-9 * c.hi + 1e-4 * c.lo) << c.name;
        EXPECT_NEAR(hi, c.hi, 1e-4 * c.hi) << c.name;
    }
    // Published quantiles of Student's t at 97.5%.
    EXPECT_NEAR(lab::tQuantile975(1), 12.7062, 1e-4);
    EXPECT_NEAR(lab::tQuantile975(2), 4.3027, 1e-4);
    EXPECT_NEAR(lab::tQuantile975(30), 2.0423, 1e-4);
    EXPECT_NEAR(lab::tQuantile975(60), 2.0003, 1e-4);
    EXPECT_NEAR(lab::tQuantile975(120), 1.9799, 1e-4);
    EXPECT_NEAR(lab::tQuantile975(100000), 1.9600, 1e-4);
    EXPECT_EQ(lab::tQuantile975(0), INFINITY) << "no degree of freedom: no interval";
}

// Runs with multiplicative noise around a known typical time: the interval holds it in about 95%
// of 4,000 cells of 3 and of 7 runs (a seeded draw: the same every time).
TEST(LabFigures, TheIntervalHoldsTheTypicalRunIn95PercentOfSimulatedCells) {
    std::mt19937_64 random(12345);
    std::normal_distribution<double> noise(0.0, 0.08);
    for (int runs : {3, 7}) {
        int held = 0;
        const int cells = 4000;
        for (int cell = 0; cell < cells; ++cell) {
            std::vector<double> figures;
            for (int r = 0; r < runs; ++r) figures.push_back(2e-3 * std::exp(noise(random)));
            double lo = 0, hi = 0;
            ASSERT_TRUE(lab::logInterval(figures, lo, hi));
            held += lo <= 2e-3 && 2e-3 <= hi ? 1 : 0;
        }
        EXPECT_NEAR(double(held) / cells, 0.95, 0.012) << runs << " runs";
    }
}

struct Rerun {
    const char* name;
    std::vector<double> runs;
    double floor;  // the least spread of the logarithms
    bool has;
    double lo, hi;
};

TEST(LabFigures, TheRerunIntervalIsSqrt2WiderAndNeverNarrowerThanTheRunsSpread) {
    const double e = std::exp(1.0);
    const double half3 = 4.302653 * std::sqrt(2.0 / 3);  // s = 1, k = 3
    const double half4 = 3.182446 * 0.1 * std::sqrt(2.0 / 4);  // s floored to 0.1, k = 4
    const std::vector<Rerun> cases = {
        {"logarithms 0, 1, 2", {1, e, e * e}, 0, true, std::exp(1 - half3), std::exp(1 + half3)},
        {"a floor below the runs' own spread changes nothing", {e, e * e, 1}, 0.5, true, std::exp(1 - half3),
         std::exp(1 + half3)},
        {"a floor above it widens the interval", {1, e, e * e}, 2, true, std::exp(1 - 2 * half3), std::exp(1 + 2 * half3)},
        {"runs that agree still get the floor", {2e-3, 2e-3, 2e-3, 2e-3}, 0.1, true, 2e-3 * std::exp(-half4),
         2e-3 * std::exp(half4)},
        {"runs that agree, no floor", {2e-3, 2e-3, 2e-3}, 0, true, 2e-3, 2e-3},
        {"one run", {3e-3}, 0.1, false, 0, 0},
        {"a run of 0 s", {1e-3, 0, 2e-3}, 0.1, false, 0, 0},
    };
    for (const Rerun& c : cases) {
        double lo = -1, hi = -1;
        const bool has = lab::rerunInterval(c.runs, c.floor, lo, hi);
        EXPECT_EQ(has, c.has) << c.name;
        if (!has || !c.has) continue;
        EXPECT_NEAR(lo, c.lo, 1e-4 * c.lo) << c.name;
        EXPECT_NEAR(hi, c.hi, 1e-4 * c.hi) << c.name;
    }
    EXPECT_NEAR(lab::logSpread({1, e, e * e}), 1.0, 1e-12);
    EXPECT_EQ(lab::logSpread({5e-3}), 0);
    EXPECT_EQ(lab::medianOf({4, 1, 3, 2}), 2.5);
    EXPECT_EQ(lab::medianOf({4, 1, 3}), 3);
    EXPECT_EQ(lab::medianOf({}), 0);
}

// Two runs of the lab on a machine whose noise is normal on the logarithms: the second run's
// figure falls in the first's interval in 95% of 4,000 cells of 3 and of 7 runs. (Its geometric
// mean, for which this is exact; a median of 3 is a little noisier. A seeded draw.)
TEST(LabFigures, AnotherRunsFigureFallsInTheRerunIntervalIn95PercentOfSimulatedCells) {
    std::mt19937_64 random(2026);
    std::normal_distribution<double> noise(0.0, 0.08);
    for (int runs : {3, 7}) {
        int held = 0, heldTypical = 0;
        const int cells = 4000;
        for (int cell = 0; cell < cells; ++cell) {
            std::vector<double> first;
            double other = 0;
            for (int r = 0; r < runs; ++r) first.push_back(2e-3 * std::exp(noise(random)));
            for (int r = 0; r < runs; ++r) other += noise(random) / runs;
            double lo = 0, hi = 0;
            ASSERT_TRUE(lab::rerunInterval(first, 0, lo, hi));
            held += lo <= 2e-3 * std::exp(other) && 2e-3 * std::exp(other) <= hi ? 1 : 0;
            heldTypical += lo <= 2e-3 && 2e-3 <= hi ? 1 : 0;
        }
        EXPECT_NEAR(double(held) / cells, 0.95, 0.012) << runs << " runs";
        // The typical run itself is held more often: |T| within sqrt(2) times the 95% quantile.
        const double typical = 2 * lab::studentCdf(std::sqrt(2.0) * lab::tQuantile975(runs - 1), runs - 1) - 1;
        EXPECT_NEAR(double(heldTypical) / cells, typical, 0.008) << runs << " runs: the typical run";
    }
}

TEST(LabFigures, EachRoundRunsEveryCellOnceInAnOrderOfItsOwnFromTheSeed) {
    const std::size_t entries = 19;
    std::set<std::vector<std::size_t>> orders;
    for (int round = 0; round < 5; ++round) {
        const std::vector<std::size_t> order = lab::roundOrder(entries, 1, "square 1000", round);
        std::vector<std::size_t> sorted = order;
        std::sort(sorted.begin(), sorted.end());
        for (std::size_t i = 0; i < entries; ++i) EXPECT_EQ(sorted[i], i) << "round " << round;
        EXPECT_EQ(order, lab::roundOrder(entries, 1, "square 1000", round)) << "round " << round << ": not reproducible";
        orders.insert(order);
    }
    EXPECT_EQ(orders.size(), 5u) << "two rounds ran in the same order";
    EXPECT_NE(lab::roundOrder(entries, 1, "square 1000", 0), lab::roundOrder(entries, 2, "square 1000", 0))
        << "the seed does not change the order";
    EXPECT_NE(lab::roundOrder(entries, 1, "square 1000", 0), lab::roundOrder(entries, 1, "disc 1000", 0))
        << "every row runs in the same order";
    // Over many rounds every cell runs first about as often as any other.
    std::vector<int> first(entries, 0);
    for (int round = 0; round < 1900; ++round) ++first[lab::roundOrder(entries, 7, "disc 10000", round).front()];
    for (std::size_t i = 0; i < entries; ++i) EXPECT_NEAR(first[i], 100, 40) << "cell " << i;
    EXPECT_TRUE(lab::roundOrder(0, 1, "square 1000", 0).empty());
}

}  // namespace
