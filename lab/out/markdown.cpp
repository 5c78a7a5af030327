// A markdown summary of a run, to paste into a pull request's comment.

#include <cstdio>
#include <set>

#include "out/exports.h"
#include "results/fields.h"
#include "results/analysis.h"

namespace lab {

namespace {

// "`entry` 0.742 ms +-9%" and why it is not sure, or "-" for no leader.
std::string leaderText(const RunModel& model, const Leader& leader) {
    if (leader.cell < 0) return "-";
    const Outcome& o = model.cells[std::size_t(leader.cell)].now;
    return "`" + o.algorithm + "` " + withInterval(humanSeconds(o.median), o.median, o.lo, o.hi) + doubtOf(model, leader);
}

// The context lines a reader of the comment needs to weigh the figures.
std::string header(const RunModel& model) {
    std::string text = "## hull-lab\n\n";
    for (const auto& [name, value] : model.context) {
        using namespace runcontext;
        if (name == kVersion || name == kCpu || name == kCores || name == kDate || name == kBaseline || name == baselineName(kVersion)) {
            text += "- " + name + ": " + value + "\n";
        }
    }
    for (const std::string& warning : model.warnings) text += "- **warning:** " + warning + "\n";
    return text + "\n";
}

// Per shape: each row's fastest entry, floors aside, and its fastest library.
std::string fastestTables(const RunModel& model) {
    std::string text, shape;
    for (const RowRecord& row : model.rows) {
        if (row.shape != shape) {
            shape = row.shape;
            text += (text.empty() ? "" : "\n") + ("### " + shape + "\n\n| n | h | fastest | fastest library |\n|---:|---:|---|---|\n");
        }
        text += "| " + std::to_string(row.n) + " | " + (row.h >= 0 ? std::to_string(row.h) : "?") + " | " +
                leaderText(model, row.fastest) + " | " + leaderText(model, row.library) + " |\n";
    }
    return text.empty() ? "" : text + "\n";
}

// The verdicts of a comparison: each entry's geometric mean, then the cells called slower or faster.
std::string verdictTables(const RunModel& model) {
    std::string text;
    if (model.times) text += "### New / old, geometric mean per entry\n\n| entry | new / old | verdict | cells |\n|---|---:|---|---:|\n";
    for (std::size_t i = 0; i + 1 < model.means.size(); ++i) {  // the last is every cell's
        const MeanChange& mean = model.means[i];
        if (!mean.have) continue;
        text += "| `" + mean.entry + "`" + (mean.entry == model.control ? " (the control)" : "") + " | " +
                withInterval(formatted("%.3f", mean.ratio), mean.ratio, mean.lo, mean.hi) + " | " + changeWord(mean.verdict) + " | " +
                std::to_string(mean.cells) + " |\n";
    }
    const VerdictCounts &times = model.timeVerdicts, &counts = model.countVerdicts;
    std::vector<std::string> tallies;
    if (model.times) {
        tallies.push_back("by time " + std::to_string(times.slower) + " cells slower, " + std::to_string(times.faster) +
                          " faster, " + std::to_string(times.same) + " the same");
    }
    if (model.counts) {
        tallies.push_back("by counts (est_cycles) " + std::to_string(counts.slower) + " slower, " +
                          std::to_string(counts.faster) + " faster, " + std::to_string(counts.same) + " the same");
    }
    text += (model.times ? "\n" : "") + (tallies.empty() ? std::string() : tallies.front()) +
            (tallies.size() > 1 ? "; " + tallies.back() : "") + ".\n\n";
    std::string cells;
    for (const CellRecord& cell : model.cells) {
        const TimeChange& time = cell.time;
        const CountChange& count = cell.count;
        const std::string timeWord = changeWord(time.verdict), countWord = changeWord(count.verdict);
        if (timeWord != "slower" && timeWord != "faster" && countWord != "slower" && countWord != "faster") continue;
        const Outcome& o = cell.now;
        cells += "| " + o.shape + " | " + std::to_string(o.n) + " | `" + o.algorithm + "` | " +
                 (time.have ? withInterval(formatted("%.3f", time.ratio), time.ratio, time.lo, time.hi) + " " + timeWord : "-") +
                 " | " + (count.have ? formatted("%.4f", count.ratio) + " " + countWord : "-") + " |\n";
    }
    if (!cells.empty()) {
        text += "### Cells called slower or faster\n\n| shape | n | entry | time new / old | est_cycles new / old |\n"
                "|---|---:|---|---|---|\n" + cells + "\n";
    }
    return text;
}

// Every failed cell, a line each; "" when every hull was right.
std::string failures(const RunModel& model) {
    std::string text;
    for (const CellRecord& cell : model.cells) {
        const Outcome& o = cell.now;
        if (o.status == Status::Ok || o.status == Status::Skipped) continue;
        text += "- **" + std::string(statusWord(o.status)) + "** " + o.shape + ", " + std::to_string(o.n) + " points, `" +
                o.algorithm + "`" + (o.note.empty() ? "" : ": " + o.note) + "\n";
    }
    return text.empty() ? "" : "### Failures\n\n" + text + "\n";
}

}  // namespace

std::string markdownSummary(const RunModel& model) {
    std::string text = header(model);
    if (!model.judged.empty()) {
        text += "### Your entries on the hard inputs\n\n";
        for (const std::string& verdict : model.judged) text += "```\n" + verdict + "\n```\n";
        text += "\n";
    }
    text += model.compared ? verdictTables(model) : model.times ? fastestTables(model) : "";
    text += failures(model);
    return text;
}

}  // namespace lab
