// The figures drawn from a run's results (results/analysis.cpp): each row's fastest and how sure
// that is, each compared cell's change and verdict, the geometric means of a comparison, the
// largest slowdown. Plain functions over the model, computed once here for the tables, the TSV and
// the exports alike.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "results/model.h"

namespace lab {

// A row of a table: the cells of one shape at one size, in the tables' order.
struct ResultRow {
    std::string shape;
    std::int64_t n = 0;
    long long h = -1;  // corners of the first set's hull, -1 where no cell got that far
    std::vector<const CellRecord*> cells;
};

// The model's rows, in the order they were measured. O(cells).
std::vector<ResultRow> rowsOf(const RunModel& model);

// A row's fastest among the cells `eligible` accepts that were timed right: the cell (nullptr for
// none), whether every other eligible cell's interval lies wholly above its own, and the nearest
// of those that do not (nullptr where the doubt is that the fastest has no interval, or there is
// no rival). O(row).
struct Leader {
    const CellRecord* cell = nullptr;
    bool sure = true;
    const CellRecord* rival = nullptr;
};
Leader leaderOf(const ResultRow& row, const std::function<bool(const Algorithm&)>& eligible);

// Why a row's leader is not sure, as the tables say it after its time: " (not sure: E 0.75 ms, their
// intervals overlap)", " (one run: no interval to be sure by)"; "" when it is sure. O(1).
std::string doubtOf(const Leader& leader);

// Whether an entry races for a row's fastest (every entry but the floors), and whether it is a
// library's.
bool racing(const Algorithm& entry);
bool libraryEntry(const Algorithm& entry);

// A compared cell's time: new / old as the median of the round-by-round ratios, with its 95%
// interval (0, 0 from one round) and the verdict called at the run's level. `have` is false where
// either build did not time the cell right. O(rounds log rounds).
struct TimeChange {
    bool have = false;
    double ratio = 0, lo = 0, hi = 0;
    const char* verdict = "-";  // "slower", "faster", "same", or "-" without a ratio
    std::vector<double> rounds;  // new / old, round by round
};
TimeChange timeChange(const CellRecord& cell, double level, double minChange);

// A compared cell's counts: est_cycles new / old and its verdict against the least change and the
// counts' noise known when it was judged; `have` is false where either build has no counts. O(1).
struct CountChange {
    bool have = false;
    double ratio = 0;
    const char* verdict = "-";
};
CountChange countChange(const CellRecord& cell, double minChange);

// The geometric mean of new / old over the compared cells of `entry` ("" for every entry), with
// the 95% interval of the rounds' geometric means and its verdict. O(cells x rounds).
struct MeanChange {
    bool have = false;
    double ratio = 0, lo = 0, hi = 0;
    std::size_t cells = 0;
    const char* verdict = "-";
};
MeanChange meanChange(const RunModel& model, const std::string& entry);

// How many compared cells got each verdict, by time or by counts: slower, faster, the same.
struct VerdictCounts {
    int slower = 0, faster = 0, same = 0;
};
VerdictCounts timeVerdicts(const RunModel& model);
VerdictCounts countVerdicts(const RunModel& model);

// The largest new / old of a cell called slower, by time or by counts; 0 when none was. This is
// what --fail-slower tests. O(cells).
double slowestRatio(const RunModel& model);

// What ended a run, each part found where it happens; exitStatus alone makes the program's status
// of them.
struct RunEnd {
    bool hullFailed = false;   // a hull the status judges failed: WRONG, refused, crashed (the user's: stopped too)
    bool outputLost = false;   // an export or the TSV could not be written
    bool tooSlow = false;      // a cell slower against the baseline than --fail-slower allows
    bool notKept = false;      // the history could not keep the run (its other outputs written)
};

// The exit status of a run: 2 where the history could not keep it (as for bad arguments: run it
// again, or add its TSV), else 1 where a hull failed, an output was lost or a cell was too slow,
// else 0. Never 3: the parts do not add up. O(1).
int exitStatus(const RunEnd& end);

// A figure with its interval as the tables print it: "2.01e-03 +-3%", "1.52x +-2%", with "?" after
// an interval wider than +-10%; the figure alone without an interval (from one run). O(1).
std::string withInterval(const std::string& figure, double centre, double lo, double hi);

// Seconds as people read them, three digits: "0.742 ms", "3.98 us", "1.20 s". O(1).
std::string humanSeconds(double seconds);

}  // namespace lab
