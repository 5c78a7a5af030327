// What the user sees of a run (out/tables.cpp, out/summary.cpp): the tables row by row, the TSV's
// lines, the progress line, and the text after the tables, each printed from the run's model.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "inputs/inputs.h"
#include "results/model.h"
#include "results/recorder.h"
#include "run/cell.h"
#include "run/settings.h"

namespace lab {

// The tables (a table per shape on standard output, row by row), a TSV line per cell, and progress
// on standard error when it is a terminal; a printer of the model, which it is given as each row and
// table ends. It computes no figure: each comes from the model.
class Tables : public RunPrinter {
  public:
    // `sets` says how the calls take the point sets. From the options: the tables' budget, their
    // relative entry (--relative: each figure as a multiple of that entry's in the same row, with the
    // interval of the ratios of the runs of one round), and with --repeat-report no tables (the
    // repeat report is printed at the end); `tsvFd` < 0 for no TSV.
    Tables(const Options& options, int tsvFd, std::string sets);
    // The run's context, its warnings and the judge's verdicts on the user's entries, on standard
    // output and as the TSV's "#" lines; then each entry's catalogue line and the TSV's header.
    void begin(const RunModel& model);
    void beginShape(const RunModel& model, const Shape& shape) override;
    // The running process: its cell, the processes done, its round.
    void progress(const CellPlan& plan, std::size_t done, std::size_t total, int round, int rounds) override;
    void failure(const std::string& line) override;  // on standard error, at once
    void row(const RunModel& model, const RowRecord& row) override;
    void endShape(const RunModel& model, const std::string& shape) override;
    // The text after the tables (out/summary.cpp): with a baseline the means (in the TSV too) and
    // the counts' verdicts; the counts against the times; the repeat report; then, unless the run
    // was interrupted, the cells not settled and those that waited for a core.
    void finish(const RunModel& model, bool interrupted);

  private:
    void clearProgress();
    void plainRow(const RunModel& model, const RowRecord& row);
    void comparedRow(const RunModel& model, const RowRecord& row);
    void printGrowth(const RunModel& model);
    void printCountTables(const RunModel& model);
    std::string countText(const CellRecord& cell, bool counts);

    Options options_;
    std::string sets_;
    bool tables_;
    int tsvFd_;
    bool terminal_;
    bool progressShown_ = false;
    double started_;
    bool skipped_ = false;                // a cell of the table was skipped on its prediction
    std::vector<std::size_t> tableRows_;  // the model's rows of the table, for its tables of counts
    std::size_t growthSeen_ = 0;          // the model's growth of the tables before this one
    std::vector<std::string> notes_;      // the lines under the table: why a cell failed or was not run
    std::vector<std::string> fastest_;    // and each row's fastest
};

// The text after the tables, each from the model (out/summary.cpp); each prints nothing where it
// has nothing to say.
// With a baseline: each entry's geometric mean of new / old, every cell's, and the control's word.
void printMeans(const RunModel& model);
// With a baseline and counts: the counts' verdicts together, with the noise they were judged by.
void printCountVerdicts(const RunModel& model);
// With times and counts: how well the counts track the times, and where they part most.
void printCountsAgainstTimes(const RunModel& model);
// The repeat report: per table, each cell's spread over the `repeat` passes (the largest of its
// medians over the smallest), then the largest spreads.
void printSpreads(const RunModel& model, int repeat);
// The cells that --precision's rounds did not bring within it (`precision` > 0), or that a
// baseline's extra rounds did not decide, three to a line.
void printUnsettled(const RunModel& model, double precision, int maxRuns);
// The cells on two threads timed while other work held a core.
void printWaited(const RunModel& model);

}  // namespace lab
