// hull-lab: the program's three hull functions on eight shapes of input, beside CGAL,
// Boost.Geometry, GEOS, OpenCV and Qhull, every hull checked. What the lab's files share: shapes,
// algorithms, cells.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hullbench.h"
#include "reference_hull.h"

namespace lab {

// ---- Random numbers -----------------------------------------------------------------------------

// SplitMix64 (Steele, Lea and Flood, 2014): 64 random bits per step.
struct SplitMix64 {  // the shapes' points, the shuffled orders of a point file
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, bound), bound > 0 (the high half of a 128-bit product).
    std::int64_t below(std::int64_t bound) {
        __extension__ typedef unsigned __int128 U;
        return std::int64_t((U(next()) * U(bound)) >> 64);
    }
    // Uniform in [-1, 1), a multiple of 2^-52.
    double signedUnit() { return double(std::int64_t(next() >> 11) - (std::int64_t(1) << 52)) / 4503599627370496.0; }
};

// ---- Shapes (inputs/shapes.cpp) -----------------------------------------------------------------

struct Shape {
    std::string name;    // "square"
    std::string growth;  // how its hull size grows, for --help and the README
    bool byDefault = true;  // in a run that names no shapes
};

// The eight shapes, in the lab's order.
const std::vector<Shape>& shapes();

// A size that a shape cannot make (std::invalid_argument's message says why and what it can).
struct ShapeError : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// n points of the named shape, a function of (shape, n, seed) alone: the same on every run and
// machine. Every coordinate lies strictly between -2^30 and 2^30, where the hull functions are
// exact. Throws ShapeError for a size the shape cannot make, std::invalid_argument for an unknown
// shape. O(n) (convex: O(n log n)).
std::vector<Point> makeShape(const std::string& shape, std::int64_t n, std::uint64_t seed);

// Whether `convex` can make n points inside the exact range. O(n log n).
bool convexFits(std::int64_t n);

// The largest size `convex` can make inside the exact range. O(m log m), m about that size (a
// second or so).
std::int64_t convexLargest();

// ---- The user's point files (inputs/input.cpp) --------------------------------------------------

// A point file that cannot be taken: the line it fails on (0: the whole file, as one that cannot
// be read) and what is wrong there.
struct InputError : std::runtime_error {
    InputError(long line, const std::string& what);
    long line;
};

// The points of a point file's text: "x;y", "x,y" or "x y" per line, told apart by the first point
// line; one header line of names allowed before it; "#" lines and blank lines skipped; "\r\n" line
// ends taken. Coordinates are whole numbers; with `scale` K > 0, decimals too, each multiplied by
// K, which must make it whole. Every coordinate lies in |coordinate| < 2^30. Throws InputError
// (with the line) on the first thing wrong: nothing is skipped or rounded. Sets `format` to the
// format found. O(length of the text).
//
// With `columns`, a point line may hold more fields than two: x and y are the fields that columns
// names, by number from 1 or by the header line's names, and the others are ignored.
struct Columns {
    std::string x, y;  // "2" or "lon"; both empty: a point line holds exactly two fields
    bool given() const { return !x.empty(); }
};
std::vector<Point> parsePoints(std::string_view text, std::int64_t scale, std::string* format = nullptr,
                               const Columns& columns = {});

struct PointFile {
    std::vector<Point> points;
    std::string format;      // "x;y", "x,y" or "x y"
    std::size_t bytes = 0;   // the file's length
    double seconds = 0;      // wall time to open, read and parse it
};

// Reads and parses a whole point file ("-": standard input). Throws InputError. O(length of the file).
PointFile readPointFile(const std::string& path, std::int64_t scale, const Columns& columns = {});

// The points in the order of `seed`: a shuffle that is the same on every machine. O(n).
std::vector<Point> inputOrder(const std::vector<Point>& points, std::uint64_t seed);

// ---- Algorithms (algorithms.cpp, the peers in peers/) -------------------------------------------

// What a library throws when it gives up on an input instead of returning a hull (Qhull on points
// all on one line, say): the library's own message. Neither a right hull nor a crash.
struct Refused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One cell's input, ready to be handed to the algorithm again and again.
class Runner {
  public:
    virtual ~Runner() = default;
    // One call on a fresh copy of the points: copy, call, release of the copy and the result.
    virtual void call() = 0;
    // One call's result, as the algorithm returns it (a closed ring without its closing point).
    // Throws Refused when the library gives up on the points, WrongResult when what came back is
    // not a point list at all.
    virtual std::vector<reference::Pt> hull() = 0;
    // What a timed process does once before its timing, in a heap already grown and touched to
    // what its calls take: by default one call. The program's functions on their PointList make
    // only the call's copy and release it (below).
    virtual void warm() { call(); }
    // A runner whose calls the caller cannot time (a program in a process of its own) times one
    // execution itself: the seconds it took and the calls they cover. False for the others.
    virtual bool timedExecution(double& seconds, long& calls) { return (void)seconds, (void)calls, false; }
    // How such a runner's figures are timed, once it has run: "" for the others.
    virtual std::string timing() const { return ""; }
};

// What an entry returns when it is not a hull at all: a count larger than n, output that is not a
// point list. A WRONG result, with this message.
struct WrongResult : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Where an algorithm comes from.
enum class Origin {
    Program,    // one of the program's own functions, on its PointList
    ArrayForm,  // the lab's array form of one of them: same decisions, same result, a std::vector
    Lab,        // an algorithm of the lab's own, which no peer library has
    Floor,      // no hull: what every call pays before any hull (copy, one read, release)
    Peer,       // a library's (CGAL, Boost.Geometry, GEOS, OpenCV, Qhull)
    User,       // the user's own: a plugin's function or a program (user/)
};

struct Algorithm {
    std::string name;       // "cgal-quickhull"
    std::string method;     // "quickhull": which of the program's algorithms it faces
    Origin origin;
    reference::Promise promise;
    bool anyStart;          // promises no start point: its hull is checked from the least point
    std::function<std::unique_ptr<Runner>(const std::vector<Point>& points)> prepare;
    const char* calls = "";      // a peer's: what it calls, on what, for --help
    bool onList = false;         // works on a PointList (the program's functions, the list floor)
    bool byDefault = true;       // in a run that names no algorithms
    bool exact = true;           // decides every turn exactly for |coordinate| < 2^30
    std::size_t refusesBelow = 0;  // refuses points whose hull has fewer corners than this
    bool anyDirection = false;     // promises no direction: checked in the direction it runs
    std::string entry = {};        // a user entry's word for its cell's process (see entryWord)
};

// The algorithms of this build: each of the program's three, then its array form and the peers
// that run the same method; then the others (the lab's own, peers of other methods).
const std::vector<Algorithm>& algorithms();
const Algorithm* findAlgorithm(const std::string& name);

// Adds the user's entries after the build's (user/entries.cpp): call before taking pointers into
// algorithms().
void addAlgorithms(std::vector<Algorithm> entries);

// The program's three functions on arrays (own/ours_array.cpp). Each makes the decisions of its list
// form in main.cpp and returns the same points in the same order on every input: the hull from
// the lowest of the leftmost points, incremental and gift wrapping clockwise, quickhull
// counter-clockwise; see main.cpp for their edge points and degenerate results. O(n log n),
// O(n h), O(n h) at worst; one copy of the points per call.
std::vector<Point> incrementalArray(std::vector<Point> points);
std::vector<Point> giftWrappingArray(std::vector<Point> points);
std::vector<Point> qhullArray(std::vector<Point> points);

// Chan's algorithm (own/chan.cpp): the hull's corners counter-clockwise (y pointing up) from the
// lowest of the leftmost points, no point on a hull edge, each corner once. Copies of one point
// give it once; points all on one line give its two ends; no points give none. O(n log h) for h
// corners; O(n) memory beyond the copy. Exact for |coordinate| < 2^30. The first round's group
// size is 2^(2^firstRound): 256 by default; 1 gives Chan's own schedule, from groups of 4.
std::vector<Point> chan(std::vector<Point> points, unsigned firstRound = 3);

// The lab's fastest exact hull (own/fast_hull.cpp): the corners counter-clockwise from the lowest of the
// leftmost points, none on an edge, each once (as chan). A sample of the points chooses the path:
// where its hull has few corners and the input is small or thin, the array quickhull, reduced to
// the corners; from kFastHullPassFrom points, a throw-away pass drops the points inside a polygon
// of the sample hull's corners; what is left, a radix sort (from kFastHullRadixFrom points) or
// std::sort orders for a monotone chain, and the result is written into the copy it was handed.
// O(n) but for m survivors sorted by comparison, O(m log m), and the quickhull path's O(n h).
// Exact for |coordinate| < 2^30. `paths` forces each path for the tests: the quickhull path, the
// pass, the radix sort, and the pass's AVX2 code where the processor has it.
struct FastHullPaths {
    enum Choice { Auto, Off, On };
    Choice filter = Auto, radix = Auto, quickhull = Auto;
    bool avx2 = true;
};
constexpr std::size_t kFastHullDecideFrom = 512, kFastHullPassFrom = 32768, kFastHullRadixFrom = 4096;
std::vector<Point> fastHull(std::vector<Point> points, FastHullPaths paths = {});
bool fastHullHasAvx2();  // whether this processor runs the pass's AVX2 code

// Each library's peers, where this build has the library (peers/*.cpp).
void addCgalPeers(std::vector<Algorithm>& list);
void addBoostPeers(std::vector<Algorithm>& list);
void addGeosPeers(std::vector<Algorithm>& list);
void addOpencvPeers(std::vector<Algorithm>& list);
void addQhullPeers(std::vector<Algorithm>& list);
std::string cgalVersion();  // each library's version, as it names it
std::string boostVersion();
std::string geosVersion();
std::string opencvVersion();
std::string qhullVersion();

// The example plugin's monotone chain built in (user/chain_builtin.cpp), in a build that asks for
// it: the corners counter-clockwise from the least point. O(n log n).
std::vector<Point> chainBuiltin(std::vector<Point> points);

// The libraries of this build's peers: name and version, in the order of the peers.
std::vector<std::pair<std::string, std::string>> libraries();

// ---- One cell (run/cell.cpp): run in a process of its own ---------------------------------------

struct CellResult {
    std::size_t h = 0;                 // corners of the reference hull of the first point set
    std::string wrong;                 // why the algorithm's hull is wrong (on which set), or ""
    std::string refused;               // the library's message where it refused a set, or ""
    std::vector<double> secondsPerCall;  // one figure per run
    int failedSet = -1;                // the first set found wrong or refused
    int setsChecked = 0;               // the sets whose hulls were checked (a check alone may stop early)
    double checkCallSeconds = 0;       // their calls' processor time, on average (0: not measured)
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

// The verdict on one result: "" when `hull` is a correct hull of `points` under the algorithm's
// promises, else the first failure. Sets `corners` to the hull's corner count.
std::string checkResult(const Algorithm& algorithm, const std::vector<Point>& points,
                        std::vector<reference::Pt> hull, std::size_t& corners);

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
};

// The points of a cell's set number `set`: the shape's with the set's seed (read from the plan's
// setsFile where it has one), or the point file's (`file`, read once by the caller) in the set's
// shuffled order, or its own order with keepOrder.
std::vector<Point> cellPoints(const CellPlan& plan, int set, const std::vector<Point>& file);

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
// `checking`, where given, is told each set's number before its first hull is made and checked,
// so that a crash there can be pinned on that set.
CellResult runCell(const CellPlan& plan, const Algorithm& algorithm,
                   const std::function<void(const CellResult&)>& checked,
                   const std::function<void(int)>& checking = {});

// ---- The parent's side: a cell in a child process (run/runner.cpp), the output (run/report.cpp) ---

enum class Status { Ok, Wrong, Refused, Skipped, Stopped, Crashed, OutOfMemory };

// "ok", "WRONG", "refused", "skipped", "stopped", "crashed", "out-of-memory": the TSV's status
// words.
const char* statusWord(Status status);

struct Outcome {
    std::string shape;
    std::int64_t n = 0;
    std::string algorithm;
    long long h = -1;  // -1: not known (the cell did not get that far)
    Status status = Status::Ok;
    double median = 0, min = 0, max = 0;  // seconds per call
    std::vector<double> runs;  // every run's seconds per call, in the order they ran
    double peakBytes = 0;  // the cell's process at its largest (resident), 0 when not known
    std::string note;  // the prediction of a skipped cell, the reason of a wrong hull, the library's
                       // message of a refused one, the signal
    int failedSet = -1;  // the point set the failure came on, where known
    double lo = 0, hi = 0;  // the 95% interval of another run's figure (rerunInterval); 0 with one run
    double wall = 0;        // wall seconds of its processes together
    int setsChecked = 0;    // a check process's: the sets it checked, which the timed ones keep to (0: all)
    double checkCall = 0;   // a check process's: the seconds of one of its calls (0: not told)
    double startBytes = 0;  // a check process's: resident before the cell began (the program, its libraries)
};

// How a process of the lab (a cell, a judge's call) ended: what it printed, and how it exited.
struct ProcessEnd {
    std::string report;  // its standard output
    int status = 0;      // as waitpid gives it
    bool stopped = false;  // killed at the deadline
    double seconds = 0;    // wall time
    double peakBytes = 0;  // resident at its largest
};

// Runs `hull-lab WORDS...` as a fresh process in a process group of its own, reads what it prints,
// and kills the group (programs it started included) at `deadline` wall seconds or when
// `*interrupted` is set.
// `program`: another hull-lab (a baseline build) instead of this one.
ProcessEnd runLabProcess(std::vector<std::string> words, double deadline, const volatile int* interrupted,
                         const std::string& program = "");

// The status and note of a process that did not end well (a signal, a deadline, an exit status
// of the lab's own), or Ok when it exited with 0 and said nothing of that kind.
Status endStatus(const ProcessEnd& end, std::string& note);


// Runs one cell as a fresh process of this program (`hull-lab --cell ...`) and waits for it, at
// most until the plan's deadline, or until `*interrupted` is set by a signal (then the child is
// killed and the outcome does not count).
Outcome runChild(const CellPlan& plan, const volatile int* interrupted);

// ---- Figures from runs (run/figures.cpp) ----------------------------------------------------------

// Sets the outcome's median, least and largest seconds per call and its interval (rerunInterval,
// with `floorSpread`) from its runs (at least one). O(runs log runs).
void summarise(Outcome& outcome, double floorSpread = 0);

// The spread of `values` (all above 0) as the standard deviation of their logarithms; 0 for fewer
// than 2 values or any value not above 0. O(k).
double logSpread(const std::vector<double>& values);

// The median of `values`, 0 for none. O(k).
double medianOf(std::vector<double> values);

// The 95% interval in which another run of the lab, with as many runs, would put this figure:
// exp(mean +- t(0.975, k - 1) s sqrt(2 / k)) on the logarithms of k values, the sqrt(2) because
// the other run's figure is as uncertain as this one, and s at least `floorSpread` (the spread of
// the run's typical cell): three processes that happen to agree do not make a figure surer than
// the machine repeats it. False for fewer than 2 values or any value not above 0. O(k).
bool rerunInterval(const std::vector<double>& values, double floorSpread, double& lo, double& hi);

// The 95% interval of the typical value of `values` (all above 0): Student's t on their
// logarithms, exp(mean +- t(0.975, k - 1) s / sqrt(k)) for k values. Timing noise is multiplicative
// and runs are few (3 by default), where the order statistics of the median reach at most
// 1 - 2 / 2^k (75% for 3) and a bootstrap has 10 distinct resamples. False for fewer than 2
// values or any value not above 0. O(k). `level`: another confidence than 95% (0.9999: the strict
// interval of a verdict among many cells).
bool logInterval(const std::vector<double>& values, double& lo, double& hi, double level = 0.95);

// The ratios a[r] / b[r] of runs made in the same round r (the first min(|a|, |b|)): their median
// and the 95% interval (or one at `level`) of their typical value (lo = hi = 0 from one pair). False
// without a pair. O(rounds log rounds).
bool pairedRatio(const std::vector<double>& a, const std::vector<double>& b, double& ratio, double& lo, double& hi,
                 double level = 0.95);

// Whether a figure is within `precision` (0.05: +-5%) of its centre: its interval's wider side. A
// cell's own runs (rerunInterval with `floorSpread`), or with `old` the ratios of its runs to those
// of the same round of `old`. False where there is no interval. O(runs log runs).
bool precise(const Outcome& outcome, const Outcome* old, double precision, double floorSpread = 0);

// The verdict on a ratio new/old with its interval: "slower" or "faster" where the interval
// excludes 1 and the change is at least `minChange` (0.05: 5%), else "same". O(1).
const char* verdictOf(double ratio, double lo, double hi, double minChange);

// The wider side of [lo, hi] around `centre`, as a fraction of it (0.03: +-3%). O(1).
double halfWidth(double centre, double lo, double hi);

// Student's t distribution with df degrees of freedom, from Boost.Math: its 97.5% quantile, P(T <= t),
// and its quantile t(p, df) (infinite for df < 1 or p >= 1). O(1) each, a few microseconds.
double tQuantile975(int df);
double studentCdf(double t, int df);
double tQuantile(double p, int df);

// The confidence of each cell's verdict among `cells` compared cells, each looked at up to `looks`
// times (after the fixed rounds, then after each round more): 1 - 0.05 / (cells x looks), so that
// the run as a whole calls a cell of two equal builds different with a chance of 5% at most
// (Bonferroni over cells and looks). O(1).
double verdictLevel(std::size_t cells, int looks = 1);

// The two-sided p-value of "a and b take the same time": Student's t on the logarithms of the
// ratios of runs made in the same round; 1 without two pairs. O(rounds).
double pairedPValue(const std::vector<double>& a, const std::vector<double>& b);

// Whether a compared cell should get another round: its verdict at `level` is "same" while its
// ratio is off 1 by half the smallest change that counts or more and the rounds so far lean that
// way (p below 0.3), so that more rounds may decide it. Cells plainly the same stop. O(rounds log rounds).
bool undecided(const std::vector<double>& now, const std::vector<double>& old, double level, double minChange);

// The order in which round `round` of a row runs its `entries` cells: a shuffle seeded by the
// run's seed, the row and the round, the same on every machine. Each entry once. O(entries).
std::vector<std::size_t> roundOrder(std::size_t entries, std::uint64_t seed, const std::string& row, int round);

// The processes of round `round` of a row whose cells `cells` run: (cell, by the baseline?) in
// the order they run: the cells in roundOrder, and with a baseline each cell's two processes one
// after the other, this build's first in even rounds and the baseline's first in odd ones (over
// two rounds: A B B A). O(cells).
std::vector<std::pair<std::size_t, bool>> roundSchedule(const std::vector<std::size_t>& cells, std::uint64_t seed,
                                                        const std::string& row, int round, bool baseline);

// The hidden `--cell` mode of hull-lab: runs the cell and reports to standard output. Returns the
// exit status.
int cellMain(int argc, char** argv);

// Exit statuses of the lab's processes besides 0: out of memory, failed, a plugin ran past its
// buffers (its report says which), a user's entry crashed (its report says how).
constexpr int kOutOfMemory = 3, kFailed = 4, kOverran = 5, kEntryCrashed = 6;

// What a process reports when a user's entry crashed in a way the lab survives (a program killed
// by a signal or exiting with a status): its message, `crashed ...` on standard output.
struct EntryCrashed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What the user sees: a table per shape on standard output, row by row; a TSV line per cell;
// progress on standard error when it is a terminal.
class Report {
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
    void beginShape(const Shape& shape);
    // The running process: its cell, the cells done, the round.
    void progress(const CellPlan& plan, std::size_t done, std::size_t total, int round, int rounds);
    void cell(const Outcome& outcome);  // the TSV line, at once (with a baseline: at the row's end)
    // With a baseline, the tables and the TSV compare each cell's runs with the baseline's of the
    // same round; the end of the run gives the geometric means and the control's word.
    void setBaseline(double minChange, std::string control, std::size_t cells, int looks);
    // The confidence each cell's verdict is given at (verdictLevel of the run's cells).
    double verdictLevel() const { return verdictLevel_; }
    void baselineCell(const Outcome& old);  // the baseline's outcome of the cell given next
    double slowestRatio() const { return slowest_; }  // the largest ratio of a cell called slower, or 0
    void endRow();                      // the row of the cells given since the last one
    void endShape();
    void finish();

  private:
    void clearProgress();
    void printGrowth();  // under a table: each algorithm's fitted growth exponent
    void endComparedRow();
    void printMeans();
    struct Compared {
        std::string algorithm;
        double ratio;
        std::vector<double> roundRatios;  // new / old, round by round
    };
    bool compared_ = false;
    double minChange_ = 0.05;
    double verdictLevel_ = 0.95;
    std::string control_;
    std::vector<Outcome> oldRow_;
    std::vector<Compared> comparedCells_;
    double slowest_ = 0;
    int verdicts_[3] = {0, 0, 0};  // faster, same, slower
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
    std::map<std::string, std::vector<std::pair<std::int64_t, double>>> growth_;  // by algorithm: n, median
};

// The exponent b of the power law t = a n^b that fits the figures (n, seconds per call) best: least
// squares of log t on log n. False when fewer than two distinct sizes have a figure above 0.
bool fitGrowth(const std::vector<std::pair<std::int64_t, double>>& figures, double& exponent);

double wallSeconds();

// ---- The user's own entries (user/): plugins, programs and their judge ---------------------------

// A hull the user brings: a function of a plugin (a shared library that include/hull_lab_plugin.h
// describes) or a program run through the shell on a point file.
struct UserEntry {
    enum Kind { Plugin, Program } kind = Plugin;
    std::string name;     // "graham", "graham-f64", "hull"
    std::string path;     // the plugin's library, as given
    std::string symbol;   // the plugin's function
    bool f64 = false;     // it takes doubles
    std::string command;  // the program's command
};

// An entry that cannot be taken (a library that cannot be loaded, a symbol it lacks): one line.
struct BadEntry : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The entries of a --plugin item "PATH" (each of hull_lab_hull and hull_lab_hull_f64 that the
// library exports) or "PATH:SYMBOL". Loads the library to see. Throws BadEntry. `taken`: names in
// use, which an entry's name must not repeat.
std::vector<UserEntry> pluginEntries(const std::string& item, const std::vector<std::string>& taken);

// The entry of a --program command, named after the program or its script ("python3 hull.py":
// hull), with -2, -3 ... where that name is taken.
UserEntry programEntry(const std::string& command, const std::vector<std::string>& taken);

// The entry as an algorithm of the lab: its hull is checked in whichever direction it runs and
// from any start; its runner loads the library, or runs the program, in the process it runs in.
Algorithm userAlgorithm(const UserEntry& entry);

// An entry as one word of a process's command line, and back (std::invalid_argument on a word
// that is not one). O(length).
std::string entryWord(const UserEntry& entry);
UserEntry entryFromWord(const std::string& word);

// The folder where programs find the point files they are run on, one file per point set, named
// by a hash of its points and shared by every program, round and cell that takes that set.
void setProgramFiles(const std::string& dir);

// The hard inputs every user entry is judged on before any cell: no points, one point, copies,
// lines, edge points, the extremes of the exact range, a small sliver and lattice.
struct HardInput {
    std::string name;  // "one-line-shuffled", a file name too
    std::string what;  // "points on one line, shuffled"
    std::vector<Point> points;
};
const std::vector<HardInput>& hardInputs();

// One hard input's verdict on an entry.
struct Verdict {
    const HardInput* input;
    Status status;     // Ok, Wrong, Refused, Crashed, Stopped
    std::string note;  // what was wrong
    std::string file;  // where the input was written, for a failure
    std::string timing;  // a program's: self-timed or timed as a whole process
};

// Runs the entry on every hard input, each in a process of its own stopped after `deadline` s;
// after a hang, the inputs left are not tried. Each failure's input is written into
// `failuresDir` (made when first needed). O(hard inputs) processes.
std::vector<Verdict> judge(const UserEntry& entry, double deadline, const std::string& filesDir,
                           const std::string& failuresDir, const volatile int* interrupted);

// The one line of an entry's verdicts: "graham: right on 14 of 14 hard inputs", or the count and
// the first failure; then a line for each other failure.
std::string verdictLines(const UserEntry& entry, const std::vector<Verdict>& verdicts);

// The hidden `--judge WORD INDEX FILES` mode: the entry on one hard input. Returns the exit status.
int judgeMain(int argc, char** argv);

// Writes points as a point file, "x;y" lines. False when it cannot.
bool writePointFile(const std::string& path, const std::vector<Point>& points);

// A file name made of `text`: letters, digits, '-', '_' and '.', the rest as '_'.
std::string fileNamePart(const std::string& text);

}  // namespace lab
