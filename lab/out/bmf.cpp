// Bencher's metric format of a run: a measure per figure of each cell timed or counted right.

#include "out/exports.h"

namespace lab {

std::string bencherJson(const RunModel& model) {
    std::vector<std::string> cells;
    for (const CellRecord& cell : model.cells) {
        const Outcome& o = cell.now;
        if (o.status != Status::Ok) continue;  // the format has no word for a failure: the TSV and JSON say it
        std::vector<std::string> measures;
        if (!o.runs.empty() && o.median > 0) {
            std::string latency = "\"latency\": {\"value\": " + jsonNumber(o.median * 1e9);
            if (o.lo > 0 && o.hi > 0) {
                latency += ", \"lower_value\": " + jsonNumber(o.lo * 1e9) + ", \"upper_value\": " + jsonNumber(o.hi * 1e9);
            }
            measures.push_back(latency + "}");
        }
        if (o.counts.have) {
            measures.push_back("\"instructions\": {\"value\": " + jsonNumber(o.counts.instructions) + "}");
            measures.push_back("\"estimated-cycles\": {\"value\": " + jsonNumber(o.counts.estCycles) + "}");
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
