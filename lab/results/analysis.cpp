// The figures drawn from a run's results: rows, leaders, changes, means, the exit status's findings.

#include "results/analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "run/counts.h"
#include "run/figures.h"

namespace lab {

std::vector<ResultRow> rowsOf(const RunModel& model) {
    std::vector<ResultRow> rows;
    for (const CellRecord& cell : model.cells) {
        const Outcome& o = cell.now;
        if (rows.empty() || rows.back().shape != o.shape || rows.back().n != o.n) rows.push_back({o.shape, o.n, -1, {}});
        ResultRow& row = rows.back();
        row.cells.push_back(&cell);
        if (o.h >= 0) row.h = o.h;
    }
    return rows;
}

bool racing(const Algorithm& entry) { return entry.origin != Origin::Floor; }

bool libraryEntry(const Algorithm& entry) { return entry.origin == Origin::Peer; }

Leader leaderOf(const ResultRow& row, const std::function<bool(const Algorithm&)>& eligible) {
    std::vector<Outcome> outcomes;
    for (const CellRecord* cell : row.cells) outcomes.push_back(cell->now);
    const Fastest f = fastestOf(outcomes, [&](const Outcome& o) {
        const Algorithm* entry = findAlgorithm(o.algorithm);
        return entry != nullptr && eligible(*entry);
    });
    Leader leader;
    if (f.index < 0) return leader;
    leader.cell = row.cells[std::size_t(f.index)];
    leader.sure = f.sure;
    if (!f.sure && leader.cell->now.lo > 0 && f.rival >= 0) leader.rival = row.cells[std::size_t(f.rival)];
    return leader;
}

std::string doubtOf(const Leader& leader) {
    if (leader.sure) return "";
    if (!(leader.cell->now.lo > 0)) return " (one run: no interval to be sure by)";
    if (leader.rival != nullptr) {
        return " (not sure: " + leader.rival->now.algorithm + " " + humanSeconds(leader.rival->now.median) +
               ", their intervals overlap)";
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
    std::vector<TimeChange> changes;
    std::size_t rounds = SIZE_MAX;
    double logs = 0;
    for (const CellRecord& cell : model.cells) {
        if (!entry.empty() && cell.now.algorithm != entry) continue;
        TimeChange change = timeChange(cell, model.verdictLevel, model.minChange);
        if (!change.have) continue;
        logs += std::log(change.ratio);
        rounds = std::min(rounds, change.rounds.size());
        changes.push_back(std::move(change));
    }
    if (changes.empty()) return mean;
    mean.have = true;
    mean.cells = changes.size();
    mean.ratio = std::exp(logs / double(changes.size()));
    std::vector<double> byRound;  // the geometric mean of the round's ratios, for the rounds every cell has
    for (std::size_t r = 0; r < rounds; ++r) {
        double sum = 0;
        for (const TimeChange& c : changes) sum += std::log(c.rounds[r]);
        byRound.push_back(std::exp(sum / double(changes.size())));
    }
    if (!logInterval(byRound, mean.lo, mean.hi)) mean.lo = mean.hi = 0;
    mean.verdict = verdictOf(mean.ratio, mean.lo, mean.hi, model.minChange);
    return mean;
}

namespace {

void tally(VerdictCounts& counts, const char* verdict) {
    const std::string word = verdict;
    if (word == "slower") ++counts.slower;
    if (word == "faster") ++counts.faster;
    if (word == "same") ++counts.same;
}

}  // namespace

VerdictCounts timeVerdicts(const RunModel& model) {
    VerdictCounts counts;
    for (const CellRecord& cell : model.cells) tally(counts, timeChange(cell, model.verdictLevel, model.minChange).verdict);
    return counts;
}

VerdictCounts countVerdicts(const RunModel& model) {
    VerdictCounts counts;
    if (!model.counts) return counts;
    for (const CellRecord& cell : model.cells) tally(counts, countChange(cell, model.countMinChange).verdict);
    return counts;
}

double slowestRatio(const RunModel& model) {
    double slowest = 0;
    for (const CellRecord& cell : model.cells) {
        const TimeChange time = timeChange(cell, model.verdictLevel, model.minChange);
        if (model.times && std::string(time.verdict) == "slower") slowest = std::max(slowest, time.ratio);
        const CountChange count = countChange(cell, model.countMinChange);
        if (model.counts && std::string(count.verdict) == "slower") slowest = std::max(slowest, count.ratio);
    }
    return slowest;
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
