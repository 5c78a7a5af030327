// A run's results as one value (results/): what the engine measured, cell by cell, with the run's
// context, the judge's verdicts and the settings its figures are judged by. Every writer (the
// tables, the TSV, the exports) and every figure of the analysis (results/analysis.h) reads this.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "lab.h"

namespace lab {

// One cell of a run: this build's outcome and, in a run with a baseline, the baseline build's in
// the same rounds. A skipped cell carries its prediction (seconds per call) in `now.median`.
struct CellRecord {
    Outcome now;
    bool compared = false;  // `old` holds the baseline's outcome
    Outcome old;
    double countNoise = 0;  // with a baseline and counts: the counts' noise known when the cell was judged
};

struct RunModel {
    std::vector<std::pair<std::string, std::string>> context;  // (name, value), as printed
    std::vector<std::string> warnings;                         // whole sentences
    std::vector<std::string> judged;                           // the judge's verdicts on the user's entries
    std::vector<std::string> entries;                          // the entries run, in the tables' order
    bool times = true, counts = false;  // what the run measured
    int runs = 3;                       // fixed rounds per cell
    // With a baseline: the least change a verdict calls, the confidence of each cell's verdict, the
    // counts' least change and their noise (the largest difference between two counts of a cell),
    // and the control whose code both builds share ("" for none).
    bool compared = false;
    double minChange = 0.05, verdictLevel = 0.95, countMinChange = 0.01, countNoise = 0;
    std::string control;
    std::vector<CellRecord> cells;  // shape by shape, row by row, in the tables' order within a row
};

}  // namespace lab
