// Figures from runs (run/figures.cpp): medians, intervals, ratios, verdicts and the order of a
// round.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "lab.h"

namespace lab {

// ---- Figures from runs (run/figures.cpp) ----------------------------------------------------------

// Sets the outcome's median, least and largest seconds per call and its interval (rerunInterval,
// with `floorSpread`) from its runs (at least one). O(runs log runs).
void summarise(Outcome& outcome, double floorSpread = 0);

// The spread of `values` (all above 0) as the standard deviation of their logarithms; 0 for fewer
// than 2 values or any value not above 0. O(k).
double logSpread(const std::vector<double>& values);

// The median of `values`, 0 for none. O(k).
double medianOf(std::vector<double> values);

// The 95% interval in which another run of the lab, with as many runs, would put this figure:
// exp(mean +- t(0.975, k - 1) s sqrt(2 / k)) on the logarithms of k values, the sqrt(2) because
// the other run's figure is as uncertain as this one, and s at least `floorSpread` (the spread of
// the run's typical cell): three processes that happen to agree do not make a figure surer than
// the machine repeats it. False for fewer than 2 values or any value not above 0. O(k).
bool rerunInterval(const std::vector<double>& values, double floorSpread, double& lo, double& hi);

// The 95% interval of the typical value of `values` (all above 0): Student's t on their
// logarithms, exp(mean +- t(0.975, k - 1) s / sqrt(k)) for k values. Timing noise is multiplicative
// and runs are few (3 by default), where the order statistics of the median reach at most
// 1 - 2 / 2^k (75% for 3) and a bootstrap has 10 distinct resamples. False for fewer than 2
// values or any value not above 0. O(k). `level`: another confidence than 95% (0.9999: the strict
// interval of a verdict among many cells).
bool logInterval(const std::vector<double>& values, double& lo, double& hi, double level = 0.95);

// The ratios a[r] / b[r] of runs made in the same round r (the first min(|a|, |b|)): their median
// and the 95% interval (or one at `level`) of their typical value (lo = hi = 0 from one pair). False
// without a pair. O(rounds log rounds).
bool pairedRatio(const std::vector<double>& a, const std::vector<double>& b, double& ratio, double& lo, double& hi,
                 double level = 0.95);

// Whether a figure is within `precision` (0.05: +-5%) of its centre: its interval's wider side. A
// cell's own runs (rerunInterval with `floorSpread`), or with `old` the ratios of its runs to those
// of the same round of `old`. False where there is no interval. O(runs log runs).
bool precise(const Outcome& outcome, const Outcome* old, double precision, double floorSpread = 0);

// The verdict on a ratio new/old with its interval: slower or faster where the interval excludes 1
// and the change is at least `minChange` (0.05: 5%), else the same. O(1).
Change verdictOf(double ratio, double lo, double hi, double minChange);

// The wider side of [lo, hi] around `centre`, as a fraction of it (0.03: +-3%). O(1).
double halfWidth(double centre, double lo, double hi);

// Student's t distribution with df degrees of freedom, from Boost.Math: its 97.5% quantile, P(T <= t),
// and its quantile t(p, df) (infinite for df < 1 or p >= 1). O(1) each, a few microseconds.
double tQuantile975(int df);
double studentCdf(double t, int df);
double tQuantile(double p, int df);

// The confidence of each cell's verdict among `cells` compared cells, each looked at up to `looks`
// times (after the fixed rounds, then after each round more): 1 - 0.05 / (cells x looks), so that
// the run as a whole calls a cell of two equal builds different with a chance of 5% at most
// (Bonferroni over cells and looks). O(1).
double verdictLevel(std::size_t cells, int looks = 1);

// The two-sided p-value of "a and b take the same time": Student's t on the logarithms of the
// ratios of runs made in the same round; 1 without two pairs. O(rounds).
double pairedPValue(const std::vector<double>& a, const std::vector<double>& b);

// Whether a compared cell should get another round: its verdict at `level` is "same" while its
// ratio is off 1 by half the smallest change that counts or more and the rounds so far lean that
// way (p below 0.3), so that more rounds may decide it. Cells plainly the same stop. O(rounds log rounds).
bool undecided(const std::vector<double>& now, const std::vector<double>& old, double level, double minChange);

// The fastest of a row's outcomes among those `eligible` accepts that were timed right (status
// Ok, a median above 0): its index in `row` (-1 for none), the runner-up's, and whether the call is
// sure: every other eligible outcome's interval lies wholly above the fastest's (an outcome without
// an interval, from one run, leaves it unsure). Ties go to the first. O(row).
struct Fastest {
    int index = -1, rival = -1;
    bool sure = true;
};
Fastest fastestOf(const std::vector<Outcome>& row, const std::function<bool(const Outcome&)>& eligible);

// The order in which round `round` of a row runs its `entries` cells: a shuffle seeded by the
// run's seed, the row and the round, the same on every machine. Each entry once. O(entries).
std::vector<std::size_t> roundOrder(std::size_t entries, std::uint64_t seed, const std::string& row, int round);

// The processes of round `round` of a row whose cells `cells` run: (cell, by the baseline?) in
// the order they run: the cells in roundOrder, and with a baseline each cell's two processes one
// after the other, this build's first in even rounds and the baseline's first in odd ones (over
// two rounds: A B B A). O(cells).
std::vector<std::pair<std::size_t, bool>> roundSchedule(const std::vector<std::size_t>& cells, std::uint64_t seed,
                                                        const std::string& row, int round, bool baseline);

}  // namespace lab
