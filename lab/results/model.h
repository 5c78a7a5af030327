// A run's results as one value (results/): what the engine measured, cell by cell, with the run's
// context, the judge's verdicts, the settings its figures are judged by, and every figure drawn
// from them, computed once as the run is made (results/recorder.cpp). Every writer (the tables, the
// TSV, the exports, the history) reads this and computes nothing of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "lab.h"

namespace lab {

// A compared cell's time: new / old as the median of the round-by-round ratios, with its 95%
// interval (0, 0 from one round) and the verdict called at the run's level. `have` is false where
// either build did not time the cell right.
struct TimeChange {
    bool have = false;
    double ratio = 0, lo = 0, hi = 0;
    Change verdict = Change::None;
    std::vector<double> rounds;  // new / old, round by round
};

// A compared cell's counts: est_cycles new / old and its verdict against the least change and the
// counts' noise known when it was judged; `have` is false where either build has no counts.
struct CountChange {
    bool have = false;
    double ratio = 0;
    Change verdict = Change::None;
};

// The aggregates of a cell's runs, as Google Benchmark gives them: their mean, median and standard
// deviation (seconds per call) and the coefficient of variation (stddev / mean).
struct RunAggregates {
    double mean = 0, median = 0, stddev = 0, cv = 0;
};

// One cell of a run: this build's outcome and, in a run with a baseline, the baseline build's in
// the same rounds, and what the two make.
struct CellRecord {
    Outcome now;
    bool compared = false;  // `old` holds the baseline's outcome
    Outcome old;
    double countNoise = 0;  // with a baseline and counts: the counts' noise known when the cell was judged
    TimeChange time;        // with a baseline and times
    CountChange count;      // with a baseline and counts
    RunAggregates aggregates;  // of this build's runs, where it was timed right
};

// A row's fastest among some of its entries timed right: its cell (an index into the model's
// cells, -1 for none), whether every other such cell's interval lies wholly above its own, and the
// nearest of those that do not (-1 where the doubt is that the fastest has no interval, or there is
// no rival).
struct Leader {
    std::ptrdiff_t cell = -1;
    bool sure = true;
    std::ptrdiff_t rival = -1;
};

// A row of a table: the cells of one shape at one size, model.cells[first, first + count), in
// the tables' order, and its leaders (found in a run that times).
struct RowRecord {
    std::string shape;
    std::int64_t n = 0;
    long long h = -1;  // corners of the first set's hull, -1 where no cell got that far
    std::size_t first = 0, count = 0;
    Leader fastest;  // floors aside
    Leader library;  // among the libraries' entries
};

// An entry's growth over one table: the exponent b of t = a n^b fitted to its timed sizes.
struct Growth {
    std::string shape, entry;
    double exponent = 0;
    std::int64_t from = 0, to = 0;  // the sizes it was fitted over
};

// The geometric mean of new / old over the compared cells of an entry ("all cells" for every
// cell), with the 95% interval of the rounds' geometric means and its verdict.
struct MeanChange {
    std::string entry;
    bool have = false;
    double ratio = 0, lo = 0, hi = 0;
    std::size_t cells = 0;
    Change verdict = Change::None;
};

// How many compared cells got each verdict: slower, faster, the same.
struct VerdictCounts {
    int slower = 0, faster = 0, same = 0;
};

// How well the counts track the times: the cells both timed right and counted, by the nanoseconds
// per estimated cycle, the most first; their rank correlation and median.
struct CountsAgainstTimes {
    struct Cell {
        std::string name;                   // "square 100000 qhull-array"
        double cyclesPerPoint, nsPerPoint;  // est_cycles / n and the median's nanoseconds / n
    };
    std::vector<Cell> cells;
    double correlation = 0, medianNsPerCycle = 0;
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

    std::vector<CellRecord> cells;  // shape by shape, row by row, in the tables' order within a row; pass by pass
    std::vector<RowRecord> rows;    // in the order they were measured
    std::vector<Growth> growth;     // table by table, in the entries' order (a run that times, without a baseline)

    // Drawn from the whole run as it ends.
    std::vector<MeanChange> means;  // with a baseline: per entry in the entries' order, then "all cells"
    VerdictCounts timeVerdicts, countVerdicts;
    double slowest = 0;  // the largest new / old of a cell called slower, by time or by counts; 0 for none
    CountsAgainstTimes countsAgainstTimes;  // a run that times and counts, without a baseline
    // The cells --precision's rounds did not bring within it, or a baseline's extra rounds did not
    // decide ("shape n entry (...)"); the cells on two threads timed while other work held a core;
    // failures of entries not the user's where the status judges the user's alone.
    std::vector<std::string> unsettled, waited;
    std::size_t findings = 0;
};

}  // namespace lab
