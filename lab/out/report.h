// What the user sees (out/report.cpp): the tables, the TSV and the progress line, as a pass
// tells its cells.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "inputs/inputs.h"
#include "lab.h"
#include "results/model.h"
#include "run/cell.h"
#include "run/figures.h"
#include "run/pass.h"

namespace lab {

// What the user sees: a table per shape on standard output, row by row; a TSV line per cell;
// progress on standard error when it is a terminal.
class Report : public PassListener {
  public:
    // `sets` says how the calls take the point sets; without `tables` only the progress and the
    // TSV are written (the repeat report prints its own).
    // With `relative`, the tables give each figure as a multiple of that entry's in the same row,
    // with the interval of the ratios of the runs of one round.
    Report(std::vector<std::string> algorithms, int runs, double budget, int tsvFd, std::string sets, bool tables,
           std::string relative = "");
    // The run's context, on standard output and as the TSV's "#" lines, then the TSV's header.
    // The judge's verdicts on the user's entries follow, a line each (a TSV "# judge:" line each).
    void begin(const std::vector<std::pair<std::string, std::string>>& context, const std::vector<std::string>& warnings,
               const std::vector<std::string>& verdicts = {});
    void beginShape(const Shape& shape) override;
    // The running process: its cell, the cells done, its round.
    void progress(const CellPlan& plan, std::size_t done, std::size_t total, int round, int rounds) override;
    void failure(const std::string& line) override;  // on standard error, at once
    void cell(const Outcome& outcome) override;  // kept for its row: the TSV's lines come at the row's end
    // With a baseline, the tables and the TSV compare each cell's runs with the baseline's of the
    // same round, each verdict called at `level` (runVerdictLevel); the end of the run gives the
    // geometric means and the control's word.
    void setBaseline(double minChange, std::string control, double level);
    // What the run measures: times (the rounds), counts (Callgrind's), or both; the least change
    // a count's verdict calls. Before begin().
    void setMeasure(bool times, bool counts, double countMinChange);
    // The largest relative difference seen between two countings of one cell so far: no count
    // verdict is called on a change within it.
    void countNoise(double difference) override { model_.countNoise = std::max(model_.countNoise, difference); }
    void baselineCell(const Outcome& old) override;  // the baseline's outcome of the cell given next
    // Every cell given so far with the run's context and settings: what the exports write.
    const RunModel& model() const { return model_; }
    void endRow() override;  // the row of the cells given since the last one
    void endShape() override;
    void finish();

  private:
    void clearProgress();
    void printGrowth();  // under a table: each algorithm's fitted growth exponent
    void endComparedRow();
    void printMeans();
    void printCountTables();
    void printCountVerdicts();
    void printCountsAgainstTimes();
    std::string countText(const CellRecord& cell);
    RunModel model_;
    bool measureTimes_ = true, measureCounts_ = false;
    double countMinChange_ = 0.01;
    std::vector<std::vector<Outcome>> countRows_;  // the shape's rows, for its tables of counts
    struct Paired {
        std::string cell;                  // "square 100000 qhull-array"
        double cyclesPerPoint, nsPerPoint;  // est_cycles / n and the median's nanoseconds / n
    };
    std::vector<Paired> paired_;  // the cells both timed and counted
    bool compared_ = false;
    double minChange_ = 0.05;
    std::string control_;
    std::vector<Outcome> oldRow_;
    std::vector<std::string> algorithms_;
    int runs_;
    double budget_;
    std::string sets_;
    bool tables_;
    std::string relative_;
    bool skipped_ = false;
    int tsvFd_;
    bool terminal_;
    bool progressShown_ = false;
    double started_;
    std::vector<Outcome> row_;
    std::vector<std::string> notes_;
    std::vector<std::string> fastest_;  // the lines under the table: each row's fastest
    std::map<std::string, std::vector<std::pair<std::int64_t, double>>> growth_;  // by algorithm: n, median
};

// The exponent b of the power law t = a n^b that fits the figures (n, seconds per call) best: least
// squares of log t on log n. False when fewer than two distinct sizes have a figure above 0.
bool fitGrowth(const std::vector<std::pair<std::int64_t, double>>& figures, double& exponent);


}  // namespace lab
