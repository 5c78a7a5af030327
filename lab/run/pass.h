// One pass over every cell of a run (run/pass.cpp): shape by shape, size by size, each row's cells
// checked and then timed in rounds of fresh processes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "inputs/inputs.h"
#include "run/cell.h"
#include "run/settings.h"

namespace lab {

// What a table of the run holds: a shape at the sizes asked for, or a point file at its own size.
struct Group {
    Shape shape;                       // a point file's: its name as given, and what it holds
    std::vector<std::int64_t> sizes;  // ascending, each once
    std::string input;                 // the point file, or "" for a shape
    long long h = -1;                  // a point file's hull corners
    bool plain = false;                // the file was rewritten as "x;y" lines (standard input)
    Coordinates coordinates = Coordinates::Int;  // the number type of its points
    std::string make;  // a real shape's table ("square (f64)"): the shape its cells make ("square")
};

// The shape a table's cells make: its name, or a real shape's `make`. O(1).
inline const std::string& shapeToMake(const Group& group) { return group.make.empty() ? group.shape.name : group.make; }

// What a pass tells as it goes, for whoever keeps it (results/recorder.h: the run's model, which
// tells the tables, the TSV and the progress line). The pass itself prints nothing.
class PassListener {
  public:
    virtual ~PassListener() = default;
    virtual void beginShape(const Shape& shape) = 0;
    // The process about to run: its cell (jobOf says whether it checks, times or counts), the
    // processes done and in all, and for a timed one its round of `rounds`.
    virtual void progress(const CellPlan& plan, std::size_t done, std::size_t total, int round, int rounds) = 0;
    // What failed, in one line: a WRONG hull, a refusal, a crash, a stop of an entry of the user's,
    // a points file that could not be written.
    virtual void failure(const std::string& line) = 0;
    virtual void baselineCell(const Outcome& old) = 0;  // the baseline's outcome of the cell given next
    virtual void cell(const Outcome& outcome) = 0;      // a cell, finished
    // The largest relative difference seen so far between two countings of one cell.
    virtual void countNoise(double difference) = 0;
    virtual void endRow() = 0;
    virtual void endShape() = 0;
};

// The confidence each compared cell's verdict is called at in a run of these settings and tables:
// 5% over the run's cells and the looks at each (verdictLevel). O(groups).
double runVerdictLevel(const Options& options, const std::vector<Group>& groups);

// "shape n algorithm": a cell's key, the same in every pass of a run.
std::string cellKey(const std::string& shape, std::int64_t n, const std::string& algorithm);

// What the passes of a run gather beside the cells they tell their listener.
struct PassResults {
    std::map<std::string, long long> hOfRow;               // "shape n": the row's h, kept across passes
    std::vector<std::string> imprecise;  // cells that the rounds of --precision or a baseline did not settle
    std::vector<std::string> waited;     // cells of entries on more threads than one timed while other work held a core
    std::size_t done = 0, total = 0;     // processes run, and to run, for the progress line
    std::size_t findings = 0;  // failures of entries not the user's, where the status judges the user's alone
};

// The predicted seconds per call at n, from the same shape and algorithm at smaller sizes (their
// fastest runs): the power law through the last two, its exponent held between 1 and 2.5; from
// one size alone, n^2. O(1).
double predict(const std::vector<std::pair<std::int64_t, double>>& seen, std::int64_t n);

// Whether a cell at n is skipped on what its smaller sizes (`seen`) predict, and `call`, the
// predicted seconds a call (0 from no size). Only a prediction from two sizes or more skips: from
// one, the growth is a guess (n^2), and the cell is tried instead. It skips where the calls it
// would make pass `budget`: a run of one call to warm up and one timed (a call longer than the
// minimum time makes a run alone) for each of `runs`, and the check's first call on each of `sets`
// until twice `minSeconds`. O(1).
bool predictedOverBudget(const std::vector<std::pair<std::int64_t, double>>& seen, std::int64_t n, int runs, int sets,
                         double minSeconds, double budget, double& call);

// One pass over every cell of the options, each cell in fresh processes. `first`, on the later
// passes of a repeat report, holds the first pass's outcomes: a cell that was not timed there is
// not run again. `notTimed`: the user's entries that hung on a hard input, with why (their cells are
// skipped). Stops early when `*interrupted` is set. Returns 1 when a hull was WRONG, a library
// refused a point set or a cell crashed (with entries of the user's and without --strict: when one
// of theirs failed), else 0.
int runPass(const Options& options, const std::vector<Group>& groups, PassListener& listener,
            const std::map<std::string, Outcome>* first, const std::map<std::string, std::string>& notTimed,
            const std::string& filesDir, const volatile int* interrupted, PassResults& results);

}  // namespace lab
