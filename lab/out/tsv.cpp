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
std::string sureWords(const Leader& leader) {
    if (leader.sure) return "yes";
    if (!(leader.cell->now.lo > 0)) return "no: one run";
    return leader.rival != nullptr ? "no: " + leader.rival->now.algorithm : "no";
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
    const TimeChange time = timeChange(cell, model.verdictLevel, model.minChange);
    const CountChange count = model.counts ? countChange(cell, model.countMinChange) : CountChange{};
    return line + '\t' + (oldTimed ? formatted("%.6e", old.median) : "-") + '\t' + (oldTimed ? list(old.runs) : "-") + '\t' +
           (time.have ? formatted("%.6f", time.ratio) : "-") + '\t' + (time.have && time.lo > 0 ? formatted("%.6f", time.lo) : "-") +
           '\t' + (time.have && time.lo > 0 ? formatted("%.6f", time.hi) : "-") + '\t' + time.verdict + '\t' +
           (cell.compared && old.counts.have ? formatted("%.1f", old.counts.estCycles) : "-") + '\t' +
           (count.have ? formatted("%.6f", count.ratio) : "-") + '\t' + count.verdict + '\n';
}

}  // namespace

std::string tsvMeans(const RunModel& model) {
    std::string lines;
    auto line = [&](const std::string& name, const MeanChange& mean, const char* verdict) {
        if (!mean.have) return;
        lines += "# mean: " + name + '\t' + formatted("%.6f", mean.ratio) + '\t' + (mean.lo > 0 ? formatted("%.6f", mean.lo) : "-") +
                 '\t' + (mean.lo > 0 ? formatted("%.6f", mean.hi) : "-") + '\t' + verdict + '\t' +
                 std::to_string(mean.cells) + '\n';
    };
    for (const std::string& entry : model.entries) {
        const MeanChange mean = meanChange(model, entry);
        line(entry, mean, mean.verdict);
    }
    line("all cells", meanChange(model, ""), "-");
    return lines;
}

std::string tsvRow(const RunModel& model, const ResultRow& row) {
    const Leader any = model.times ? leaderOf(row, racing) : Leader{};
    const Leader library = model.times ? leaderOf(row, libraryEntry) : Leader{};
    std::string lines;
    for (const CellRecord* cell : row.cells) {
        const bool first = any.cell == cell, firstLibrary = library.cell == cell && !first;
        lines += tsvLine(model, *cell, first ? "entry" : firstLibrary ? "library" : "-",
                         first ? sureWords(any) : firstLibrary ? sureWords(library) : "-");
    }
    return lines;
}

}  // namespace lab
