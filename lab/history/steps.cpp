// Steps in a cell's series. Counts repeat exactly, so a step in them is any change between
// neighbouring commits beyond their own repeat noise. Times do not: a step in them must stand out of
// each run's interval and of the noise between runs, and the places tested across a run's cells are
// many, so their p-values go through a false-discovery-rate correction before any is called.

#include <algorithm>
#include <cmath>

#include <boost/math/distributions/normal.hpp>

#include "history/history.h"
#include "run/figures.h"

namespace lab {

namespace {

// Points of one commit form a run of neighbours; returns the index where each such run begins.
std::vector<std::size_t> commitStarts(const std::vector<SeriesPoint>& series) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < series.size(); ++i) {
        if (i == 0 || series[i].commit != series[i - 1].commit) starts.push_back(i);
    }
    return starts;
}

// Inverse-variance weighted mean of values [from, to) and the sum of weights.
std::pair<double, double> weightedMean(const std::vector<SeriesPoint>& s, const std::vector<double>& var, std::size_t from,
                                       std::size_t to) {
    double sum = 0, weight = 0;
    for (std::size_t i = from; i < to; ++i) sum += s[i].value / var[i], weight += 1 / var[i];
    return {weight > 0 ? sum / weight : 0, weight};
}

// Two-sided p-value of the difference of the weighted means of [from, at) and [at, to), and after /
// before on the original scale.
Step compared(const std::vector<SeriesPoint>& s, const std::vector<double>& var, std::size_t from, std::size_t at, std::size_t to) {
    const auto [before, wb] = weightedMean(s, var, from, at);
    const auto [after, wa] = weightedMean(s, var, at, to);
    const double z = (after - before) / std::sqrt(1 / wb + 1 / wa);
    const boost::math::normal normal;
    return {at, std::exp(after - before), 2 * boost::math::cdf(boost::math::complement(normal, std::fabs(z)))};
}

// Binary segmentation of [from, to): the boundary between commits whose split differs most (by
// z), kept where its p-value, corrected for the places it was chosen from, is below 0.05; then
// both sides in turn.
void segment(const std::vector<SeriesPoint>& s, const std::vector<double>& var, const std::vector<std::size_t>& starts,
             std::size_t from, std::size_t to, std::vector<std::size_t>& cuts) {
    Step best;
    std::size_t places = 0;
    for (std::size_t at : starts) {
        if (at <= from || at >= to) continue;
        ++places;
        const Step step = compared(s, var, from, at, to);
        if (step.p < best.p) best = step;
    }
    if (places == 0 || best.p * double(places) >= 0.05) return;
    cuts.push_back(best.at);
    segment(s, var, starts, from, best.at, cuts);
    segment(s, var, starts, best.at, to, cuts);
}

}  // namespace

std::vector<Step> countSteps(const std::vector<SeriesPoint>& series, double noise) {
    const std::vector<std::size_t> starts = commitStarts(series);
    // The repeats of one commit say how much the count moves by itself.
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const std::size_t end = k + 1 < starts.size() ? starts[k + 1] : series.size();
        for (std::size_t i = starts[k] + 1; i < end; ++i) {
            const double base = std::fabs(series[starts[k]].value);
            if (base > 0) noise = std::max(noise, std::fabs(series[i].value / series[starts[k]].value - 1));
        }
    }
    std::vector<Step> steps;
    for (std::size_t k = 1; k < starts.size(); ++k) {
        const double before = series[starts[k - 1]].value, after = series[starts[k]].value;
        const double ratio = before != 0 ? after / before : after != 0 ? INFINITY : 1;
        if (std::fabs(ratio - 1) > noise) steps.push_back({starts[k], ratio, 0});
    }
    return steps;
}

std::vector<Step> timeCandidates(const std::vector<SeriesPoint>& series) {
    const std::size_t n = series.size();
    if (n < 2) return {};
    // The noise between runs beyond their own intervals, from the changes between neighbours (a
    // step moves one of them; the median ignores it).
    std::vector<double> changes, own;
    for (std::size_t i = 1; i < n; ++i) changes.push_back(std::fabs(series[i].value - series[i - 1].value));
    for (const SeriesPoint& p : series) own.push_back(p.se * p.se);
    const double spread = 1.4826 * medianOf(changes) / std::sqrt(2.0);
    const double between = std::max(0.0, spread * spread - medianOf(own));
    std::vector<double> var;
    for (const SeriesPoint& p : series) var.push_back(std::max(p.se * p.se + between, 1e-8));  // at least 0.01%
    const std::vector<std::size_t> starts = commitStarts(series);
    std::vector<std::size_t> cuts;
    segment(series, var, starts, 0, n, cuts);
    std::sort(cuts.begin(), cuts.end());
    // Each cut judged on the few runs either side of it, up to its neighbouring cuts: a step is a
    // change at a commit, which a slow drift is not.
    constexpr std::size_t kWindow = 5;
    std::vector<Step> steps;
    for (std::size_t c = 0; c < cuts.size(); ++c) {
        const std::size_t lo = std::max(c > 0 ? cuts[c - 1] : 0, cuts[c] >= kWindow ? cuts[c] - kWindow : 0);
        const std::size_t hi = std::min(c + 1 < cuts.size() ? cuts[c + 1] : n, cuts[c] + kWindow);
        Step step = compared(series, var, lo, cuts[c], hi);
        step.p = std::min(1.0, step.p * double(starts.size() - 1));  // chosen among every boundary of the series
        steps.push_back(step);
    }
    return steps;
}

std::vector<std::vector<Step>> timeSteps(const std::vector<std::vector<SeriesPoint>>& series, double q, double minChange) {
    std::vector<std::vector<Step>> candidates, steps(series.size());
    std::vector<double> p;
    std::size_t quiet = 0;  // series without a candidate: each a hypothesis too, with p = 1
    for (const std::vector<SeriesPoint>& s : series) {
        candidates.push_back(timeCandidates(s));
        for (const Step& step : candidates.back()) p.push_back(step.p);
        quiet += candidates.back().empty();
    }
    std::vector<double> all = p;
    all.resize(p.size() + quiet, 1.0);
    std::vector<bool> kept = discoveries(all, q);
    kept.resize(p.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < series.size(); ++i) {
        for (const Step& step : candidates[i]) {
            if (kept[k++] && std::fabs(step.ratio - 1) >= minChange) steps[i].push_back(step);
        }
    }
    return steps;
}

std::vector<bool> discoveries(const std::vector<double>& p, double q) {
    std::vector<std::size_t> order(p.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return p[a] < p[b]; });
    // The largest rank k with p(k) <= k q / m: it and every smaller p are discoveries.
    std::size_t last = 0;
    for (std::size_t k = 1; k <= order.size(); ++k) {
        if (p[order[k - 1]] <= double(k) * q / double(p.size())) last = k;
    }
    std::vector<bool> found(p.size(), false);
    for (std::size_t k = 0; k < last; ++k) found[order[k]] = true;
    return found;
}

bool countsMoved(const std::string& explanation) {
    return explanation.rfind("the code", 0) == 0 || explanation.rfind("layout", 0) == 0;
}

std::string explanation(const StoredCell* before, const StoredCell* after) {
    if (before == nullptr || after == nullptr || !before->counted || !after->counted) return "no counts of both commits";
    auto moved = [](double a, double b, double noise) { return std::fabs(a - b) > noise * std::max(std::fabs(a), 1.0); };
    if (moved(before->instructions, after->instructions, 0)) return "the code (instructions changed)";
    if (moved(before->l1Misses, after->l1Misses, kMissNoise) || moved(before->llMisses, after->llMisses, kMissNoise) ||
        moved(before->branchMisses, after->branchMisses, kMissNoise)) {
        return "layout or data (instructions equal; misses or mispredictions changed)";
    }
    return "the machine or its noise (counts equal)";
}

}  // namespace lab
