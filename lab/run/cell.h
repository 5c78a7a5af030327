// One cell (run/cell.cpp), run in a process of its own: its point sets, the check of its hulls
// and its timed runs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "inputs/inputs.h"
#include "lab.h"

namespace lab {

// ---- One cell (run/cell.cpp): run in a process of its own ---------------------------------------

struct CellResult {
    std::size_t h = 0;                 // corners of the reference hull of the first point set
    std::string wrong;                 // why the algorithm's hull is wrong (on which set), or ""
    Failure failure;                   // and what was wrong, as values: the fault and the point it names
    std::string refused;               // the library's message where it refused a set, or ""
    std::vector<double> secondsPerCall;  // one figure per run
    int failedSet = -1;                // the first set found wrong or refused
    int setsChecked = 0;               // the sets whose hulls were checked (a check alone may stop early)
    double checkCallSeconds = 0;       // their calls' processor time, on average (0: not measured)
    long countedCalls = 0;             // a counting process's: the calls counted
};

// The seed of a cell's point set number `set` (0, 1, ...): set 0 has the cell's own seed, so the
// first set is the one a single-set cell would use. O(1).
std::uint64_t setSeed(std::uint64_t seed, int set);

// How many point sets a cell of n points takes in turn, one per timed call, so that no figure
// comes from a branch predictor that has learnt the input: 16 up to 10,000 points, fewer above so
// that they hold 160,000 points at most, one from 100,000 points, where one call is far beyond
// what a predictor can learn.
int defaultSets(std::int64_t n);

// The points as the reference hull takes them. O(n).
std::vector<reference::Pt> referencePoints(const std::vector<Point>& points);

// From this many points a hull is first checked by reference::quickCorners, O(n log h), which
// proves a right hull right without sorting the points; the sorted reference check, O(n log n),
// judges only what it cannot accept. Below, every hull goes to the reference check.
constexpr std::int64_t kQuickCheckFrom = 100000;

// The number of corners of the points' hull: the fast hull proven by quickCorners from
// kQuickCheckFrom points, else (or where that fails) the reference hull's. O(n log h) or O(n log n).
std::size_t cornerCount(const std::vector<Point>& points);

// The verdict on one result: no fault when `hull` is a correct hull of `points` under the
// algorithm's promises, else the first failure. Sets `corners` to the hull's corner count.
reference::Finding checkResult(const Algorithm& algorithm, const std::vector<Point>& points,
                        std::vector<reference::Pt> hull, std::size_t& corners);

// The same on real points, every turn decided exactly (coords/): the sorted reference check,
// O(n log n).
reference::Finding checkRealResult(const Algorithm& algorithm, const std::vector<RealPoint>& points,
                            std::vector<RealPoint> hull, std::size_t& corners);

// What one process of a cell runs.
struct CellPlan {
    std::string shape;  // the shape, or the name of the row group of a point file
    std::int64_t n = 0;
    std::uint64_t seed = 0;
    std::string algorithm;
    int runs = 1;
    double minSeconds = 0;
    int sets = 1;         // point sets taken in turn
    double deadline = 0;  // wall seconds after which the child is stopped
    bool heapDefaults = false;  // glibc's defaults for every cell (see runCell)
    std::string input;          // a point file whose points replace the shape's, or ""
    std::int64_t scale = 0;     // its --scale, 0 for none
    bool keepOrder = false;     // one set in the file's own order, rather than shuffled orders
    bool check = true;          // check every set's first hull before the timing
    bool warmUp = false;        // without the check, one untimed call before the timing
    double heapBytes = 0;       // before anything: the heap grown to this many bytes, faulted in
    Columns columns;            // the point file's --columns
    std::string entry;          // a user entry's word (entryWord), or ""
    std::string filesDir;       // where programs find their point files
    std::string setsFile;       // the shape's sets, written once by the parent (writeCellSets), or ""
    std::string program;        // the hull-lab that runs the cell: "" for this one, else a baseline's path
    bool count = false;         // count the calls under Callgrind instead of timing them
    std::string countLauncher;  // a program's: the shell words that count its processes, or ""
    unsigned threads = 0;       // the -2t entries' threads in this process (0: the machine's default)
    Coordinates coordinates = Coordinates::Int;  // the number type of the cell's points (real: a point file's)
    std::string answerFile;     // where the check writes the entry's hull of the first set it is WRONG on, or ""
};

// What a cell's process is for. Its words say it by flags older builds know (no-check, warm-up,
// count, RUNS 0), so that a baseline of any build since the cells ran in processes runs them too.
enum class Job {
    Check,         // check every set's hull, time nothing: the first process of a cell
    Time,          // time the calls, check nothing: every round after the check
    CheckAndTime,  // both in one process: a baseline's probe, a cell run by hand
    Count,         // count the calls under Callgrind, check and time nothing
};

// The plan's job, from its flags. O(1).
Job jobOf(const CellPlan& plan);

// Sets the plan's flags for `job`: a check takes no runs, a timed process makes an untimed call
// first (warm-up, which the caller may turn off), a count does neither. `runs` for the jobs that
// time. O(1).
void setJob(CellPlan& plan, Job job, int runs = 1);

// The points of a cell's set number `set`: the shape's with the set's seed (read from the plan's
// setsFile where it has one), or the point file's (`file`, read once by the caller) in the set's
// shuffled order, or its own order with keepOrder.
std::vector<Point> cellPoints(const CellPlan& plan, int set, const std::vector<Point>& file);

// A real cell's points of set number `set`: a real shape's with the set's seed (each coordinate
// its nearest float on an f32 cell), or the point file's in the set's shuffled order, or its own
// order with keepOrder.
std::vector<RealPoint> cellRealPoints(const CellPlan& plan, int set, const std::vector<RealPoint>& file);

// From this many points a row's sets are made once, by the parent, and written to a file that
// each of the row's processes reads (0.1 s for 10,000,000 points, where making them took 1 s).
constexpr std::int64_t kSharedSetsFrom = 1000000;

// From this many points a cell's process first grows its heap to the memory its calls will take
// and faults it in at once (CellPlan::heapBytes): the check process to the peak predicted from the
// smaller sizes, a timed one to its check process's peak. And a timed process of an entry on
// arrays makes no untimed call before its timing: the call was there to fault in the memory the
// calls grow. Measured at 1,000,000 and 10,000,000 points, three processes each way: the same
// figures within the processes' spread. The lists make their copy once instead (Runner::warm()):
// on 10,000,000 points the first copy of a list in a process took 0.66 s against 0.38 to 0.42 s
// later on one machine, with no page fault in either. Your own entries keep the call, which also
// tells hull-lab how a program times its rounds.
constexpr std::int64_t kTouchedHeapFrom = 1000000;

// The peak resident bytes of a cell's process on n points, predicted from a size m it ran at
// (`peak` at its largest, `start` before the cell began: the program and its libraries): the
// growth beyond the start, scaled by n/m, plus the start. 0 where m is under 100,000 points,
// too few for the points to show beside the program's own megabytes.
double predictedPeakBytes(std::int64_t n, std::int64_t m, double peak, double start);

// Writes the `sets` point sets of (shape, n, seed) to `path`, one after the other as raw Points,
// for cellPoints to read; `first`, where it holds n points, is the first set already made. Returns
// false (and leaves no file) when it cannot. O(sets n).
bool writeCellSets(const std::string& path, const std::string& shape, std::int64_t n, std::uint64_t seed, int sets,
                   const std::vector<Point>& first = {});

// Builds the plan's point sets (cellPoints), checks the first call's hull on each (a set the
// library refuses ends the cell untimed) unless the plan says not to, then times `runs` runs, each
// repeating the call, on the sets in turn, until `minSeconds` of processor time have passed.
// `checked` is told the verdict before the timing starts. Unless `heapDefaults`, the heap is never
// given back to the system (glibc's mmap and trimming off): each call's copy and scratch come from
// memory the first calls faulted in, never from pages mapped afresh, so the figure holds no page
// faults and does not depend on what the process did before the timing. The program's list-based
// functions from 100,000 points up run with glibc's fast bins off too, as in the benchmark's timed
// loops: each copy is then laid out in address order, not more scattered with every call.
//
// With `count` the process times nothing: it makes one untimed, uncounted call, then one call on each
// set in turn with Callgrind's counting switched on around it (a program's executions run under
// `countLauncher` instead, counted whole), and says how many it counted.
//
// `checking`, where given, is told each set's number before its first hull is made and checked,
// so that a crash there can be pinned on that set.
CellResult runCell(const CellPlan& plan, const Algorithm& algorithm,
                   const std::function<void(const CellResult&)>& checked,
                   const std::function<void(int)>& checking = {});

}  // namespace lab
