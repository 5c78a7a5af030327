// The TSV of a run: its header and a line per cell, one schema whatever the options (a baseline
// adds columns at the end). What each column holds: docs/guide/tsv.md.

#include <cstdio>

#include "out/exports.h"
#include "results/analysis.h"

namespace lab {

namespace {

// Figures comma-separated, "-" for none.
std::string list(const std::vector<double>& values) {
    std::string text;
    for (double v : values) text += (text.empty() ? "" : ",") + formatted("%.6e", v);
    return text.empty() ? "-" : text;
}

}  // namespace

std::string tsvHeader(bool compared) {
    return std::string("shape\tn\th\talgorithm\tmedian_s\tmin_s\tmax_s\tstatus\tnote\truns_s\tlo_s\thi_s\t"
                       "instructions\tl1_misses\tll_misses\tbranch_misses\test_cycles\tfastest\tsure") +
           (compared ? "\told_median_s\told_runs_s\tratio\tratio_lo\tratio_hi\tverdict\tcount_old\tcount_ratio\tcount_verdict" : "");
}

namespace {

// The TSV's words for whether a row's leader is sure: "yes", or "no: RIVAL" (the nearest entry whose
// interval overlaps), "no: one run", "no".
std::string sureWords(const RunModel& model, const Leader& leader) {
    if (leader.sure) return "yes";
    if (!(model.cells[std::size_t(leader.cell)].now.lo > 0)) return "no: one run";
    return leader.rival >= 0 ? "no: " + model.cells[std::size_t(leader.rival)].now.algorithm : "no";
}

// A cell's line, with its place in the row (`fastest`, `sure`).
std::string tsvLine(const RunModel& model, const CellRecord& cell, const std::string& fastest, const std::string& sure) {
    const Outcome& o = cell.now;
    const bool timed = model.times && timedStatus(o.status);
    auto value = [&](double v) { return timed ? formatted("%.6e", v) : std::string("-"); };
    std::string note = o.note;
    if (!o.counts.why.empty()) note += (note.empty() ? "" : "; ") + ("not counted: " + o.counts.why);
    for (char& c : note) c = c == '\t' || c == '\n' ? ' ' : c;
    const Counts& c = o.counts;
    const std::string counts = !c.have ? "\t\t\t\t"
                                       : formatted("%.1f", c.instructions) + '\t' + formatted("%.1f", c.l1Misses) + '\t' +
                                             formatted("%.1f", c.llMisses) + '\t' + formatted("%.1f", c.branchMisses) + '\t' +
                                             formatted("%.1f", c.estCycles);
    const bool interval = timed && o.lo > 0 && o.hi > 0;
    std::string line = o.shape + '\t' + std::to_string(o.n) + '\t' + (o.h >= 0 ? std::to_string(o.h) : "-") + '\t' +
                       o.algorithm + '\t' + value(o.median) + '\t' + value(o.min) + '\t' + value(o.max) + '\t' +
                       statusWord(o.status) + '\t' + note + '\t' + (timed ? list(o.runs) : "-") + '\t' +
                       (interval ? formatted("%.6e", o.lo) : "-") + '\t' + (interval ? formatted("%.6e", o.hi) : "-") + '\t' +
                       counts + '\t' + fastest + '\t' + sure;
    if (!model.compared) return line + '\n';
    const Outcome& old = cell.old;
    const bool oldTimed = cell.compared && old.status == Status::Ok && model.times;
    const TimeChange& time = cell.time;
    const CountChange& count = cell.count;
    return line + '\t' + (oldTimed ? formatted("%.6e", old.median) : "-") + '\t' + (oldTimed ? list(old.runs) : "-") + '\t' +
           (time.have ? formatted("%.6f", time.ratio) : "-") + '\t' + (time.have && time.lo > 0 ? formatted("%.6f", time.lo) : "-") +
           '\t' + (time.have && time.lo > 0 ? formatted("%.6f", time.hi) : "-") + '\t' + changeWord(time.verdict) + '\t' +
           (cell.compared && old.counts.have ? formatted("%.1f", old.counts.estCycles) : "-") + '\t' +
           (count.have ? formatted("%.6f", count.ratio) : "-") + '\t' + changeWord(count.verdict) + '\n';
}

}  // namespace

std::string tsvMeans(const RunModel& model) {
    std::string lines;
    for (const MeanChange& mean : model.means) {
        if (!mean.have) continue;
        const bool all = &mean == &model.means.back();  // every cell's: no single verdict
        lines += "# mean: " + mean.entry + '\t' + formatted("%.6f", mean.ratio) + '\t' + (mean.lo > 0 ? formatted("%.6f", mean.lo) : "-") +
                 '\t' + (mean.lo > 0 ? formatted("%.6f", mean.hi) : "-") + '\t' + (all ? "-" : changeWord(mean.verdict)) + '\t' +
                 std::to_string(mean.cells) + '\n';
    }
    return lines;
}

std::string tsvGrowth(const RunModel& model, std::size_t from) {
    std::string lines;
    for (std::size_t i = from; i < model.growth.size(); ++i) {
        const Growth& g = model.growth[i];
        lines += "# growth: " + g.shape + '\t' + g.entry + '\t' + formatted("%.6f", g.exponent) + '\t' + std::to_string(g.from) +
                 '\t' + std::to_string(g.to) + '\n';
    }
    return lines;
}

std::string tsvRow(const RunModel& model, const RowRecord& row) {
    std::string lines;
    for (std::size_t k = row.first; k < row.first + row.count; ++k) {
        const std::ptrdiff_t at = std::ptrdiff_t(k);
        const bool first = row.fastest.cell == at, firstLibrary = row.library.cell == at && !first;
        lines += tsvLine(model, model.cells[k], first ? "entry" : firstLibrary ? "library" : "-",
                         first ? sureWords(model, row.fastest) : firstLibrary ? sureWords(model, row.library) : "-");
    }
    return lines;
}

}  // namespace lab
