// A cell's figures from its runs: the median and the 95% interval in which another run of the
// lab would put its median, and the order in which a row's cells run each round.

#include <boost/math/distributions/students_t.hpp>

#include <algorithm>
#include <cmath>
#include <string>

#include "lab.h"
#include "inputs/inputs.h"
#include "run/figures.h"

namespace lab {

// Student's t from Boost.Math: its quantiles and distribution function to double precision.
double tQuantile975(int df) { return tQuantile(0.975, df); }

double studentCdf(double t, int df) {
    if (df < 1) return t > 0 ? 1 : t < 0 ? 0 : 0.5;
    return boost::math::cdf(boost::math::students_t(df), t);
}

double tQuantile(double p, int df) {
    if (df < 1 || p >= 1) return INFINITY;
    if (p <= 0) return -INFINITY;
    return boost::math::quantile(boost::math::students_t(df), p);
}

double logSpread(const std::vector<double>& values) {
    const std::size_t k = values.size();
    if (k < 2) return 0;
    double mean = 0;
    for (double v : values) {
        if (!(v > 0)) return 0;
        mean += std::log(v) / double(k);
    }
    double squares = 0;
    for (double v : values) squares += (std::log(v) - mean) * (std::log(v) - mean);
    return std::sqrt(squares / double(k - 1));
}

bool logInterval(const std::vector<double>& values, double& lo, double& hi, double level) {
    const std::size_t k = values.size();
    if (k < 2) return false;
    double sum = 0;
    for (double v : values) {
        if (!(v > 0)) return false;
        sum += std::log(v);
    }
    const double mean = sum / double(k);
    const double t = tQuantile((1 + level) / 2, int(k) - 1);
    const double half = t * logSpread(values) / std::sqrt(double(k));
    lo = std::exp(mean - half);
    hi = std::exp(mean + half);
    return true;
}

bool rerunInterval(const std::vector<double>& values, double floorSpread, double& lo, double& hi) {
    if (!logInterval(values, lo, hi)) return false;
    // The typical run's interval, sqrt(2) wider, and at least as wide as the floor makes it.
    const double k = double(values.size()), mean = (std::log(lo) + std::log(hi)) / 2;
    const double half = std::max(std::sqrt(2.0) * (std::log(hi) - std::log(lo)) / 2,
                                 tQuantile975(int(k) - 1) * floorSpread * std::sqrt(2 / k));
    lo = std::exp(mean - half);
    hi = std::exp(mean + half);
    return true;
}

double medianOf(std::vector<double> values) {
    if (values.empty()) return 0;
    const std::size_t m = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(m), values.end());
    if (values.size() % 2 == 1) return values[m];
    return (values[m] + *std::max_element(values.begin(), values.begin() + std::ptrdiff_t(m))) / 2;
}

void summarise(Outcome& outcome, double floorSpread) {
    const auto [least, most] = std::minmax_element(outcome.runs.begin(), outcome.runs.end());
    outcome.min = *least;
    outcome.max = *most;
    outcome.median = medianOf(outcome.runs);
    if (!rerunInterval(outcome.runs, floorSpread, outcome.lo, outcome.hi)) outcome.lo = outcome.hi = 0;
}

bool pairedRatio(const std::vector<double>& a, const std::vector<double>& b, double& ratio, double& lo, double& hi,
                 double level) {
    std::vector<double> ratios;
    for (std::size_t r = 0; r < std::min(a.size(), b.size()); ++r) {
        if (b[r] > 0) ratios.push_back(a[r] / b[r]);
    }
    if (ratios.empty()) return false;
    if (!logInterval(ratios, lo, hi, level)) lo = hi = 0;
    ratio = medianOf(ratios);
    return true;
}

Change verdictOf(double ratio, double lo, double hi, double minChange) {
    if (lo > 1 && ratio >= 1 + minChange) return Change::Slower;
    if (hi > 0 && hi < 1 && ratio <= 1 - minChange) return Change::Faster;
    return Change::Same;
}

double verdictLevel(std::size_t cells, int looks) {
    return 1 - 0.05 / double(std::max<std::size_t>(cells, 1)) / double(std::max(looks, 1));
}

double pairedPValue(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> logs;
    for (std::size_t r = 0; r < std::min(a.size(), b.size()); ++r) {
        if (a[r] > 0 && b[r] > 0) logs.push_back(std::log(a[r] / b[r]));
    }
    const std::size_t k = logs.size();
    if (k < 2) return 1;
    double mean = 0, squares = 0;
    for (double v : logs) mean += v / double(k);
    for (double v : logs) squares += (v - mean) * (v - mean);
    if (squares == 0) return mean == 0 ? 1 : 0;
    const double t = std::fabs(mean) / std::sqrt(squares / double(k - 1) / double(k));
    return std::min(1.0, 2 * studentCdf(-t, int(k) - 1));
}

bool undecided(const std::vector<double>& now, const std::vector<double>& old, double level, double minChange) {
    double ratio = 0, lo = 0, hi = 0;
    if (!pairedRatio(now, old, ratio, lo, hi, level)) return false;
    if (verdictOf(ratio, lo, hi, minChange) != Change::Same) return false;
    return std::fabs(std::log(ratio)) >= std::log1p(minChange / 2) && pairedPValue(now, old) < 0.3;
}

double halfWidth(double centre, double lo, double hi) { return std::max(hi / centre - 1, 1 - lo / centre); }

bool precise(const Outcome& outcome, const Outcome* old, double precision, double floorSpread) {
    double centre = outcome.median, lo = 0, hi = 0;
    if (old == nullptr) {
        if (!rerunInterval(outcome.runs, floorSpread, lo, hi)) return false;
        centre = medianOf(outcome.runs);
    } else if (!pairedRatio(outcome.runs, old->runs, centre, lo, hi) || lo <= 0) {
        return false;
    }
    return centre > 0 && halfWidth(centre, lo, hi) <= precision;
}

std::vector<std::size_t> roundOrder(std::size_t entries, std::uint64_t seed, const std::string& row, int round) {
    std::uint64_t mixed = seed ^ 0xD1B54A32D192ED03ull;
    for (unsigned char c : row) mixed = (mixed ^ c) * 0x100000001B3ull;
    SplitMix64 random{mixed + std::uint64_t(round) * 0x9E3779B97F4A7C15ull};
    std::vector<std::size_t> order(entries);
    for (std::size_t i = 0; i < entries; ++i) order[i] = i;
    for (std::size_t i = entries; i > 1; --i) std::swap(order[i - 1], order[std::size_t(random.below(std::int64_t(i)))]);
    return order;
}

std::vector<std::pair<std::size_t, bool>> roundSchedule(const std::vector<std::size_t>& cells, std::uint64_t seed,
                                                        const std::string& row, int round, bool baseline) {
    std::vector<std::pair<std::size_t, bool>> schedule;
    for (std::size_t k : roundOrder(cells.size(), seed, row, round)) {
        const bool oldFirst = baseline && round % 2 == 1;
        schedule.emplace_back(cells[k], oldFirst);
        if (baseline) schedule.emplace_back(cells[k], !oldFirst);
    }
    return schedule;
}

Fastest fastestOf(const std::vector<Outcome>& row, const std::function<bool(const Outcome&)>& eligible) {
    Fastest f;
    auto counts = [&](const Outcome& o) { return o.status == Status::Ok && o.median > 0 && eligible(o); };
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (!counts(row[i])) continue;
        if (f.index < 0 || row[i].median < row[std::size_t(f.index)].median) {
            f.rival = f.index;
            f.index = int(i);
        } else if (f.rival < 0 || row[i].median < row[std::size_t(f.rival)].median) {
            f.rival = int(i);
        }
    }
    if (f.index < 0) return f;
    const Outcome& best = row[std::size_t(f.index)];
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (int(i) == f.index || !counts(row[i])) continue;
        const bool apart = best.hi > 0 && row[i].lo > 0 && row[i].lo > best.hi;
        if (!apart) f.sure = false;
    }
    return f;
}

}  // namespace lab
