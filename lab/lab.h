// hull-lab: the program's three hull functions on eight shapes of input, beside CGAL,
// Boost.Geometry, GEOS, OpenCV and Qhull, every hull checked. What every room of the lab shares:
// an algorithm and its runner, a cell's outcome, the lab's exit statuses, point files. Each room
// declares what it offers in a header of its own: coords/coords.h (below this one: the number
// types and the exact predicates on doubles), inputs/inputs.h, own/own.h, peers/peers.h,
// user/user.h, run/cell.h, run/runner.h, run/figures.h, run/pass.h, hunt/hunt.h,
// results/model.h, results/recorder.h, results/analysis.h and results/fields.h, out/tables.h and
// out/exports.h, history/history.h, app/hull_lab.h.
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

#include "coords/coords.h"
#include "hullbench.h"
#include "reference_hull.h"

namespace lab {

// ---- Algorithms (algorithms.cpp, the peers in peers/) -------------------------------------------

// What a library throws when it gives up on an input instead of returning a hull (Qhull on points
// all on one line, say): the library's own message. Neither a right hull nor a crash.
struct Refused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What an entry returns when it is not a hull at all: a count larger than n, output that is not a
// point list. A WRONG result, with this message.
struct WrongResult : std::runtime_error {
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
    // The same for a runner made on real points (Algorithm::prepareReal): the result in doubles,
    // as the entry returned it. Only such runners are asked.
    virtual std::vector<RealPoint> realHull() { throw WrongResult("this entry takes whole numbers only"); }
    // What a timed process does once before its timing, in a heap already grown and touched to
    // what its calls take: by default one call. The program's functions on their PointList make
    // only the call's copy and release it (below).
    virtual void warm() { call(); }
    // A runner whose calls the caller cannot time (a program in a process of its own) times one
    // execution itself: the seconds it took and the calls they cover. False for the others.
    virtual bool timedExecution(double& seconds, long& calls) { return (void)seconds, (void)calls, false; }
    // How such a runner's figures are timed, once it has run: "" for the others.
    virtual std::string timing() const { return ""; }
    // Shell words that each later execution of such a runner's program runs under (Callgrind's,
    // for a counted call, its process tree counted whole); "" for none. The others ignore it.
    virtual void runUnder(const std::string& launcher) { (void)launcher; }
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
    std::string library = {};      // a peer's library, as libraries() names it ("CGAL"), or ""
    unsigned threads = 1;          // threads its calls use (entryThreads()); above one, timed by the wall clock
    std::string formerly = {};     // the name older builds know it by, or ""
    bool control = false;          // a floor that only copies: no change to a hull moves it
    // The same on real points (f64 and f32 cells, an f32 point's floats widened exactly), for an
    // entry that takes doubles; empty for one that takes whole numbers only, whose real cells say
    // `realNote` instead of a result.
    std::function<std::unique_ptr<Runner>(const std::vector<RealPoint>& points)> prepareReal = {};
    std::string realNote = "int only";
    bool floatsOnly = false;  // takes 32-bit floats, not doubles: an f64 cell says so instead of a result
};

// Whether the entry takes points of the type; else `why` says what it takes ("int only", "takes
// 32-bit floats"), which its cell shows instead of a result. O(1).
bool takesCoordinates(const Algorithm& entry, Coordinates type, std::string* why = nullptr);

// "program", "array form", "lab's own", "floor", "library", "yours": an origin as the catalogue
// names it.
const char* originWord(Origin origin);

// The catalogue of entries, a line each: the header, then an entry's fields, tab-separated: its
// name, method, library and that library's version ("-" for none), origin, threads, former name,
// whether it runs by default and whether it is a control, then what it calls. What --list --tsv
// prints and the TSV's "# catalogue:" lines hold, so that no tool guesses from names. O(1) each.
std::string catalogueHeader();
std::string catalogueLine(const Algorithm& entry);

// The lab's fastest exact hull's entry; older builds named it "filter-radix-chain".
constexpr const char* kFastestName = "filter-vqsort-chain";

// The algorithms of this build: each of the program's three, then its array form and the peers
// that run the same method; then the others (the lab's own, peers of other methods).
const std::vector<Algorithm>& algorithms();
const Algorithm* findAlgorithm(const std::string& name);

// How many threads the lab's two-thread entries use: the machine's cores, at most 2, unless set
// (--threads; a cell's process is told with its plan). At least 1.
unsigned entryThreads();
void setEntryThreads(unsigned threads);

// Adds the user's entries after the build's (user/entries.cpp): call before taking pointers into
// algorithms().
void addAlgorithms(std::vector<Algorithm> entries);

// The words --algorithms takes for groups of entries, each with what it selects: one per library a
// build can have (cgal, boost, geos, opencv, qhull), then libraries, lists, arrays, ours, floors
// and yours.
const std::vector<std::pair<std::string, std::string>>& entryGroups();

// The entries of this build (the user's included) that the group `word` selects, in the build's
// order; false when `word` is no group's. O(entries).
bool groupEntries(const std::string& word, std::vector<std::string>& names);

// ---- A cell's outcome, as the parent sees it -----------------------------------------------------

enum class Status { Ok, Wrong, Refused, Skipped, Stopped, Crashed, OutOfMemory };

// "ok", "WRONG", "refused", "skipped", "stopped", "crashed", "out-of-memory": the TSV's status
// words.
const char* statusWord(Status status);

// The verdict on a change between two builds: none (no ratio to judge), the same, slower, faster.
enum class Change { None, Same, Slower, Faster };

// "-", "same", "slower", "faster": the tables', the TSV's and the history's words for a change.
const char* changeWord(Change change);

// A word as the shell reads it back: as it is where it holds nothing the shell would take, else in
// single quotes (a quote inside as '\''). Every command line the lab builds or prints quotes so. O(word).
std::string shellWord(const std::string& word);

// Whether a cell of this status was timed: a right hull, or a WRONG one (its cost is still what a
// call costs; the TSV, the history and the exports keep its figures beside its status).
inline bool timedStatus(Status status) { return status == Status::Ok || status == Status::Wrong; }

// The status a TSV's word names (statusWord's inverse); false for a word that names none.
bool statusNamed(const std::string& word, Status& status);

// What Callgrind counted of one call (copy, call, release), its simulated caches and branch
// predictor on (run/counts.cpp): per call, over the cell's point sets in turn.
struct Counts {
    bool have = false;       // counted; else `why` says why not ("" where counting was not asked for)
    double instructions = 0;  // instructions executed
    double l1Misses = 0;      // first-level data misses, reads and writes
    double llMisses = 0;      // last-level misses, instructions and data
    double branchMisses = 0;  // mispredicted conditional and indirect branches
    double estCycles = 0;     // L1 hits + 5 x LL hits + 35 x RAM accesses (countsOf)
    std::string why;          // why a cell asked to be counted has no counts
    bool stopped = false;     // its counting process ran to its deadline (larger sizes would too)
};

// Which way an entry ran past the buffer it was given: a write past it, or a read.
enum class Overrun { None, Wrote, Read };

// How a cell failed, as values (its note says it in words for people): what the check found wrong
// with the hull and the point it names ("x;y"), or how the process ended: the signal that killed it
// (or the user's program), the status it exited with, which way a plugin ran past its buffer. Zero
// or empty where not known.
struct Failure {
    reference::Fault fault = reference::Fault::None;
    int signal = 0;
    int exitCode = 0;
    Overrun overrun = Overrun::None;
    std::string point;
};

// The kind of a failure: "WRONG, a point outside", "WRONG, a point in the middle of an edge",
// "refused", "crashed, SIGSEGV", "crashed, wrote past a buffer", "stopped (no answer before the
// deadline)", ... Two failures of one kind are the same fault as far as the lab can tell. O(1).
std::string failureKind(Status status, const Failure& failure);

struct Outcome {
    std::string shape;
    std::int64_t n = 0;
    std::string algorithm;
    long long h = -1;  // -1: not known (the cell did not get that far)
    Status status = Status::Ok;
    double median = 0, min = 0, max = 0;  // seconds per call, of the runs timed
    double predicted = 0;  // a cell skipped on what its smaller sizes predict: seconds a call (0: none)
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
    Counts counts;          // with --measure counts: what one call executes, per call
    int busyRuns = 0;       // timed runs during which other work kept a core busy (ProcessEnd::otherCores)
    Failure failure;        // a failed cell's: how, as values
};

// Exit statuses of the lab's processes besides 0: out of memory, failed, a plugin ran past its
// buffers (its report says which), a user's entry crashed (its report says how).
constexpr int kOutOfMemory = 3, kFailed = 4, kOverran = 5, kEntryCrashed = 6;

// What a process reports when a user's entry crashed in a way the lab survives (a program killed
// by a signal or exiting with a status): its message, `crashed ...` on standard output.
struct EntryCrashed : std::runtime_error {
    explicit EntryCrashed(const std::string& what, Failure how = {}) : std::runtime_error(what), failure(how) {}
    Failure failure;  // how, as values: the program's signal or exit status, a plugin's overrun
};

// The exact range of integer points: |coordinate| < 2^30, where every cross product of differences
// (below 2^62 in magnitude) is exact in 64 bits. kLargestCoordinate is its largest coordinate.
constexpr std::int64_t kExactBound = std::int64_t(1) << 30;
constexpr std::int64_t kLargestCoordinate = kExactBound - 1;

// ---- Point files ---------------------------------------------------------------------------------

// Writes points as a point file, "x;y" lines. False when it cannot.
bool writePointFile(const std::string& path, const std::vector<Point>& points);

// Writes real points so, each coordinate its shortest decimal: the file reads back bit for bit.
bool writePointFile(const std::string& path, const std::vector<RealPoint>& points);

// A real point's hull as whole numbers (a library's answer on whole-number points that it computes
// in doubles), each coordinate truncated as a cast does. O(h).
std::vector<reference::Pt> wholePoints(const std::vector<RealPoint>& points);

// A file name made of `text`: letters, digits, '-', '_' and '.', the rest as '_'.
std::string fileNamePart(const std::string& text);

// ---- The machine ---------------------------------------------------------------------------------

// One cache of the first processor, as Linux describes it (/sys/devices/system/cpu/cpu0/cache).
struct ProcessorCache {
    std::string type;  // "Data", "Instruction", "Unified"
    int level = 0;
    std::string size;  // as Linux writes it: "32K"
    long long bytes = 0;
    long ways = 0, lineBytes = 0;
    int sharedBy = 0;  // the processors that share it
};

// The first processor's caches in Linux's order, read once; empty where Linux does not say them.
// The context, the JSON export and the counts' cache model all read them here. O(caches).
const std::vector<ProcessorCache>& processorCaches();

// ---- Small words -------------------------------------------------------------------------------

// The first line of a file, without its newline; "" when it cannot be read. O(line).
std::string firstLine(const std::string& path);

// `value` printed by the printf pattern (one double): "%.3g", "%.6e". O(1).
std::string formatted(const char* pattern, double value);

// ---- The clock -----------------------------------------------------------------------------------

// The wall clock's seconds (CLOCK_MONOTONIC): a process's deadline, and the timing of the entries
// on more than one thread, whose processor time adds up their threads'. O(1).
double wallSeconds();

}  // namespace lab
