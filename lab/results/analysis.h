// The figures drawn from a run's results (results/analysis.cpp): each row's fastest and how sure
// that is, each compared cell's change and verdict, the geometric means of a comparison, the
// largest slowdown, the growth. Plain functions over the model, called once each where the model is
// made (results/recorder.cpp), which keeps what they find in it for every writer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "results/model.h"

namespace lab {

// A row's fastest among the cells `eligible` accepts that were timed right (see Leader). O(row).
Leader leaderOf(const RunModel& model, const RowRecord& row, const std::function<bool(const Algorithm&)>& eligible);

// Why a row's leader is not sure, as the tables say it after its time: " (not sure: E 0.75 ms, their
// intervals overlap)", " (one run: no interval to be sure by)"; "" when it is sure. O(1).
std::string doubtOf(const RunModel& model, const Leader& leader);

// Whether an entry races for a row's fastest (every entry but the floors), and whether it is a
// library's.
bool racing(const Algorithm& entry);
bool libraryEntry(const Algorithm& entry);

// A compared cell's time change (see TimeChange), its verdict called at `level`. O(rounds log rounds).
TimeChange timeChange(const CellRecord& cell, double level, double minChange);

// A compared cell's count change (see CountChange), against the noise the cell carries. O(1).
CountChange countChange(const CellRecord& cell, double minChange);

// The geometric mean of the cells' time changes of `entry` ("" for every entry) and its verdict
// (see MeanChange), from the changes the cells carry. O(cells x rounds).
MeanChange meanChange(const RunModel& model, const std::string& entry);

// How many compared cells got each verdict, by time or by counts, from the changes they carry.
VerdictCounts timeVerdicts(const RunModel& model);
VerdictCounts countVerdicts(const RunModel& model);

// The largest new / old of a cell called slower, by time or by counts; 0 when none was. This is
// what --fail-slower tests. O(cells).
double slowestRatio(const RunModel& model);

// The exponent b of the power law t = a n^b that fits the figures (n, seconds per call) best: least
// squares of log t on log n. False when fewer than two distinct sizes have a figure above 0.
bool fitGrowth(const std::vector<std::pair<std::int64_t, double>>& figures, double& exponent);

// The aggregates of `runs` (see RunAggregates); zeros for none. O(runs log runs).
RunAggregates aggregatesOf(const std::vector<double>& runs);

// How well the counts track the times over the cells both timed right and counted (see
// CountsAgainstTimes). O(cells log cells).
CountsAgainstTimes countsAgainstTimes(const RunModel& model);

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
