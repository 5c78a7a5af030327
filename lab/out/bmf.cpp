// Bencher's metric format of a run: a measure per figure of each cell timed or counted right, and
// with a baseline, the baseline's figures and new / old with its interval.

#include "out/exports.h"
#include "results/analysis.h"

namespace lab {

namespace {

// A measure: its value, and its interval's bounds where it has one.
std::string measure(const char* name, double value, double lo, double hi) {
    std::string text = "\"" + std::string(name) + "\": {\"value\": " + jsonNumber(value);
    if (lo > 0 && hi > 0) text += ", \"lower_value\": " + jsonNumber(lo) + ", \"upper_value\": " + jsonNumber(hi);
    return text + "}";
}

}  // namespace

std::string bencherJson(const RunModel& model) {
    std::vector<std::string> cells;
    for (const CellRecord& cell : model.cells) {
        const Outcome& o = cell.now;
        if (o.status != Status::Ok) continue;  // the format has no word for a failure: the TSV and JSON say it
        std::vector<std::string> measures;
        if (!o.runs.empty() && o.median > 0) measures.push_back(measure("latency", o.median * 1e9, o.lo * 1e9, o.hi * 1e9));
        if (o.counts.have) {
            measures.push_back(measure("instructions", o.counts.instructions, 0, 0));
            measures.push_back(measure("estimated-cycles", o.counts.estCycles, 0, 0));
        }
        // With a baseline: its figures, and new / old (times: the rounds' ratio and its interval).
        const Outcome& b = cell.old;
        if (cell.compared && b.status == Status::Ok) {
            const TimeChange& t = cell.time;
            if (!b.runs.empty() && b.median > 0) measures.push_back(measure("baseline-latency", b.median * 1e9, b.lo * 1e9, b.hi * 1e9));
            if (t.have) measures.push_back(measure("latency-ratio", t.ratio, t.lo, t.hi));
            const CountChange& c = cell.count;
            if (b.counts.have) measures.push_back(measure("baseline-estimated-cycles", b.counts.estCycles, 0, 0));
            if (c.have) measures.push_back(measure("estimated-cycles-ratio", c.ratio, 0, 0));
        }
        if (measures.empty()) continue;
        std::string text = "  " + jsonString(o.shape + "/" + std::to_string(o.n) + "/" + o.algorithm) + ": {\n";
        for (std::size_t i = 0; i < measures.size(); ++i) text += "    " + measures[i] + (i + 1 < measures.size() ? ",\n" : "\n");
        cells.push_back(text + "  }");
    }
    std::string out = "{";
    for (std::size_t i = 0; i < cells.size(); ++i) out += (i == 0 ? "\n" : ",\n") + cells[i];
    return out + (cells.empty() ? "}\n" : "\n}\n");
}

}  // namespace lab
