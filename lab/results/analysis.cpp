// The figures drawn from a run's results: leaders, changes, means, growth, counts against times.

#include "results/analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numeric>

#include "run/counts.h"
#include "run/figures.h"

namespace lab {

bool racing(const Algorithm& entry) { return entry.origin != Origin::Floor; }

bool libraryEntry(const Algorithm& entry) { return entry.origin == Origin::Peer; }

Leader leaderOf(const RunModel& model, const RowRecord& row, const std::function<bool(const Algorithm&)>& eligible) {
    std::vector<Outcome> outcomes;
    for (std::size_t k = 0; k < row.count; ++k) outcomes.push_back(model.cells[row.first + k].now);
    const Fastest f = fastestOf(outcomes, [&](const Outcome& o) {
        const Algorithm* entry = findAlgorithm(o.algorithm);
        return entry != nullptr && eligible(*entry);
    });
    Leader leader;
    if (f.index < 0) return leader;
    leader.cell = std::ptrdiff_t(row.first) + f.index;
    leader.sure = f.sure;
    if (!f.sure && model.cells[std::size_t(leader.cell)].now.lo > 0 && f.rival >= 0) leader.rival = std::ptrdiff_t(row.first) + f.rival;
    return leader;
}

std::string doubtOf(const RunModel& model, const Leader& leader) {
    if (leader.sure) return "";
    if (!(model.cells[std::size_t(leader.cell)].now.lo > 0)) return " (one run: no interval to be sure by)";
    if (leader.rival >= 0) {
        const Outcome& rival = model.cells[std::size_t(leader.rival)].now;
        return " (not sure: " + rival.algorithm + " " + humanSeconds(rival.median) + ", their intervals overlap)";
    }
    return " (not sure: another entry's interval overlaps)";
}

TimeChange timeChange(const CellRecord& cell, double level, double minChange) {
    TimeChange change;
    const Outcome &now = cell.now, &old = cell.old;
    if (!cell.compared || now.status != Status::Ok || old.status != Status::Ok) return change;
    if (!pairedRatio(now.runs, old.runs, change.ratio, change.lo, change.hi)) return change;
    double strictLo = 0, strictHi = 0;  // the verdict's interval, at the run's level
    pairedRatio(now.runs, old.runs, change.ratio, strictLo, strictHi, level);
    change.have = true;
    change.verdict = verdictOf(change.ratio, strictLo, strictHi, minChange);
    for (std::size_t r = 0; r < std::min(now.runs.size(), old.runs.size()); ++r) change.rounds.push_back(now.runs[r] / old.runs[r]);
    return change;
}

CountChange countChange(const CellRecord& cell, double minChange) {
    CountChange change;
    const Counts &now = cell.now.counts, &old = cell.old.counts;
    if (!cell.compared || !now.have || !old.have || !(old.estCycles > 0)) return change;
    change.have = true;
    change.ratio = now.estCycles / old.estCycles;
    change.verdict = countVerdict(change.ratio, minChange, cell.countNoise);
    return change;
}

MeanChange meanChange(const RunModel& model, const std::string& entry) {
    MeanChange mean;
    mean.entry = entry.empty() ? "all cells" : entry;
    std::vector<const TimeChange*> changes;
    std::size_t rounds = SIZE_MAX;
    double logs = 0;
    for (const CellRecord& cell : model.cells) {
        if (!entry.empty() && cell.now.algorithm != entry) continue;
        if (!cell.time.have) continue;
        logs += std::log(cell.time.ratio);
        rounds = std::min(rounds, cell.time.rounds.size());
        changes.push_back(&cell.time);
    }
    if (changes.empty()) return mean;
    mean.have = true;
    mean.cells = changes.size();
    mean.ratio = std::exp(logs / double(changes.size()));
    std::vector<double> byRound;  // the geometric mean of the round's ratios, for the rounds every cell has
    for (std::size_t r = 0; r < rounds; ++r) {
        double sum = 0;
        for (const TimeChange* c : changes) sum += std::log(c->rounds[r]);
        byRound.push_back(std::exp(sum / double(changes.size())));
    }
    if (!logInterval(byRound, mean.lo, mean.hi)) mean.lo = mean.hi = 0;
    mean.verdict = verdictOf(mean.ratio, mean.lo, mean.hi, model.minChange);
    return mean;
}

namespace {

void tally(VerdictCounts& counts, Change verdict) {
    if (verdict == Change::Slower) ++counts.slower;
    if (verdict == Change::Faster) ++counts.faster;
    if (verdict == Change::Same) ++counts.same;
}

}  // namespace

VerdictCounts timeVerdicts(const RunModel& model) {
    VerdictCounts counts;
    for (const CellRecord& cell : model.cells) tally(counts, cell.time.verdict);
    return counts;
}

VerdictCounts countVerdicts(const RunModel& model) {
    VerdictCounts counts;
    if (!model.counts) return counts;
    for (const CellRecord& cell : model.cells) tally(counts, cell.count.verdict);
    return counts;
}

double slowestRatio(const RunModel& model) {
    double slowest = 0;
    for (const CellRecord& cell : model.cells) {
        if (model.times && cell.time.verdict == Change::Slower) slowest = std::max(slowest, cell.time.ratio);
        if (model.counts && cell.count.verdict == Change::Slower) slowest = std::max(slowest, cell.count.ratio);
    }
    return slowest;
}

bool fitGrowth(const std::vector<std::pair<std::int64_t, double>>& figures, double& exponent) {
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    int count = 0;
    for (const auto& [n, seconds] : figures) {
        if (n <= 0 || !(seconds > 0)) continue;
        const double x = std::log(double(n)), y = std::log(seconds);
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
        ++count;
    }
    const double spread = count * sxx - sx * sx;  // 0 when every n is the same
    if (count < 2 || spread <= 1e-12 * count * sxx) return false;
    exponent = (count * sxy - sx * sy) / spread;
    return true;
}

RunAggregates aggregatesOf(const std::vector<double>& runs) {
    RunAggregates a;
    if (runs.empty()) return a;
    const double k = double(runs.size());
    a.mean = std::accumulate(runs.begin(), runs.end(), 0.0) / k;
    a.median = medianOf(runs);
    double squares = 0;
    for (double v : runs) squares += (v - a.mean) * (v - a.mean);
    a.stddev = runs.size() > 1 ? std::sqrt(squares / (k - 1)) : 0;
    a.cv = a.mean > 0 ? a.stddev / a.mean : 0;
    return a;
}

CountsAgainstTimes countsAgainstTimes(const RunModel& model) {
    CountsAgainstTimes result;
    for (const CellRecord& cell : model.cells) {
        const Outcome& o = cell.now;
        if (o.status != Status::Ok || !o.counts.have || o.n <= 0) continue;
        result.cells.push_back({o.shape + " " + std::to_string(o.n) + " " + o.algorithm, o.counts.estCycles / double(o.n),
                                o.median * 1e9 / double(o.n)});
    }
    if (result.cells.size() < 3) return result;
    std::vector<double> cycles, ns, perCycle;
    for (const auto& c : result.cells) cycles.push_back(c.cyclesPerPoint), ns.push_back(c.nsPerPoint);
    result.correlation = rankCorrelation(cycles, ns);
    std::sort(result.cells.begin(), result.cells.end(), [](const auto& a, const auto& b) {
        return a.nsPerPoint / a.cyclesPerPoint > b.nsPerPoint / b.cyclesPerPoint;
    });
    for (const auto& c : result.cells) perCycle.push_back(c.nsPerPoint / c.cyclesPerPoint);
    result.medianNsPerCycle = medianOf(perCycle);
    return result;
}

int exitStatus(const RunEnd& end) {
    if (end.notKept) return 2;
    return end.hullFailed || end.outputLost || end.tooSlow ? 1 : 0;
}

std::string withInterval(const std::string& figure, double centre, double lo, double hi) {
    if (!(lo > 0 && hi > 0 && centre > 0)) return figure;
    const double percent = 100 * halfWidth(centre, lo, hi);
    char text[32];
    std::snprintf(text, sizeof text, " +-%.0f%%%s", std::ceil(percent), percent > 10 ? "?" : "");
    return figure + text;
}

std::string humanSeconds(double seconds) {
    char text[32];
    if (seconds >= 1) std::snprintf(text, sizeof text, "%.3g s", seconds);
    else if (seconds >= 1e-3) std::snprintf(text, sizeof text, "%.3g ms", seconds * 1e3);
    else std::snprintf(text, sizeof text, "%.3g us", seconds * 1e6);
    return text;
}

}  // namespace lab
