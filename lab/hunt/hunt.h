// The hunt (hunt/): inputs made for a while against one entry, each checked exactly in a process
// that a crash or a hang cannot take down; each kind of failure found is shrunk to a smallest
// input that still fails that way, and told with its picture and the command that repeats it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lab.h"
#include "inputs/inputs.h"

namespace lab {

// ---- Families of input (hunt/families.cpp) -------------------------------------------------------

// A family of inputs, each aimed at a known way for a hull to fail.
struct Family {
    const char* name;  // "near-collinear"
    const char* what;  // one line on what it makes
};
const std::vector<Family>& families();

// The sizes the shapes family sweeps, ascending: 2^k - 1, 2^k and 2^k + 1, and 10^k - 1, 10^k and
// 10^k + 1, up to 10^6, with 1 and 2.
const std::vector<std::int64_t>& sweptSizes();

// Input number k of a hunt from `seed`: of family k mod families(), that family's (k / families())-th
// input. A function of (seed, k) alone, so that a worker and its parent make the same input.
// O(its points), up to 10^6.
struct HuntInput {
    std::size_t family = 0;
    std::vector<Point> points;
};
HuntInput huntInput(std::uint64_t seed, std::uint64_t k);

// ---- Families of real input (hunt/real_families.cpp) ---------------------------------------------

// The families of a hunt on doubles or floats, each aimed at a known way for a hull on them to fail.
const std::vector<Family>& realFamilies();

// Input number k of a hunt on `type` (F64, or F32: every coordinate a float, widened) from `seed`:
// of real family k mod realFamilies(), as huntInput. A function of (seed, k, type) alone.
// O(its points), up to 10^5.
struct RealHuntInput {
    std::size_t family = 0;
    std::vector<RealPoint> points;
};
RealHuntInput realHuntInput(std::uint64_t seed, std::uint64_t k, Coordinates type);

// ---- Kinds of failure and shrinking (hunt/shrink.cpp) --------------------------------------------

// The first of `candidates` that still fails the same way (its index), or -1 when none does.
template <class P>
using FirstFailingOf = std::function<long(const std::vector<std::vector<P>>& candidates)>;
using FirstFailing = FirstFailingOf<Point>;

template <class P>
struct ShrunkOf {
    std::vector<P> points;   // the smallest failing input found
    std::size_t tests = 0;   // candidates tried
    bool timedOut = false;   // the time bound ended it before it was done
};
using Shrunk = ShrunkOf<Point>;

// Shrinks a failing input: points removed while it fails (delta debugging, down to an input that
// passes without any one of its points), then coordinates changed while it fails, and both again
// while the changes make points that can go. Whole numbers are moved towards the least point and
// towards 0, the whole set and point by point: each step makes the input smaller (fewer points,
// else a smaller spread about its least point, else smaller coordinates). Doubles (RealPoint, of
// `type`) are made simpler in their shortest decimals: to fewer significant digits, the whole set
// and each coordinate, to 0, to a whole number, to another point's coordinate; each step lowers the
// points, else the significant digits, else the characters, and never leaves the finite range.
// Ends when no step is accepted or after `seconds`. Candidates go to `firstFailing` a batch at a time.
template <class P>
ShrunkOf<P> shrink(std::vector<P> failing, const FirstFailingOf<P>& firstFailing, double seconds,
                   Coordinates type = Coordinates::F64);

// ---- The worker, in a process of its own (hunt/worker.cpp) ---------------------------------------

// Writes point sets one after another to `path` (a count, then the points, raw): the candidates a
// worker tries. False when it cannot. For Point and RealPoint.
template <class P>
bool writePointSets(const std::string& path, const std::vector<std::vector<P>>& sets);

// The hidden `--hunt-worker ENTRY FILES DEADLINE SOURCE...` mode: tries inputs one after the other,
// saying "try K" before each, and ends at the first that fails (its verdict's lines, an "answer"
// line with the entry's hull), at the first that takes over DEADLINE seconds (killed by SIGALRM),
// or when done. SOURCE is `made SEED FIRST SECONDS MOST` (huntInput from FIRST for SECONDS, those of
// more than MOST points left out), `real-made SEED FIRST SECONDS MOST TYPE` (realHuntInput on TYPE,
// "f64" or "f32"), or `sets PATH [KIND]` (writePointSets' file, K counting from 0;
// with KIND, a failure of another kind that the process survives is passed over), or `real-sets
// PATH [KIND]`, the same of real points.
// Returns the exit status.
int huntWorkerMain(int argc, char** argv);

// ---- Reports for a library's maintainers (hunt/reports.cpp) -------------------------------------

// A failure of a library's entry written as a report: a program in the library's own terms with the
// smallest input and the exact hull in it, which exits 1 where the library's hull is not the exact
// hull. `file` and `command` are set only where the lab built and ran it and it failed
// (`reproduced`); `said` says what came of it.
struct LibraryReport {
    std::string file, command;
    bool reproduced = false;
    std::string said;
};

// Whether the lab writes reports for `entry`: Boost.Geometry's convex_hull on int64, double and
// long double coordinates and CGAL's five hulls on either kernel (C++ programs), GEOS's
// GEOSConvexHull_r (a C program, the input as WKT), Qhull as scipy.spatial.ConvexHull and the
// example programs over scipy and shapely (Python), the example over d3 (a node module).
bool reportable(const Algorithm& entry);

// Writes `entry`'s report on `points` (failing as `kind`: WRONG or crashed, `status`) to
// STEM-report.cpp (.c, .py, .mjs), builds it in `workDir` and runs it; a report that does not
// build or does not fail the same way (exit 1 for a wrong hull, a signal for a crash) is removed.
// O(points), plus a compiler's or an interpreter's run (some seconds).
LibraryReport writeReport(const Algorithm& entry, const std::vector<RealPoint>& points, Status status,
                          const std::string& kind, const std::string& stem, const std::string& workDir);

// ---- The hunt (hunt/hunt.cpp) --------------------------------------------------------------------

struct HuntSettings {
    double seconds = 60;        // the hunt's time per entry
    std::uint64_t seed = 1;
    double deadline = 10;       // an input that takes longer is a hang
    double shrinkSeconds = 30;  // the bound on each kind's shrinking
    std::string filesDir;       // the run's folder (programs' point files, the candidates)
    std::string failuresDir;    // where the inputs and pictures are written
    bool progress = false;      // a progress line on standard error
    const PointFile* file = nullptr;  // with --input: the hunt's inputs are this file's orders, not the families
    std::string fileName;             // that file's name, as the user gave it
    Coordinates coordinates = Coordinates::Int;  // without a file: the families' number type (F64, F32: the real families)
};

// One kind of failure an entry showed.
struct HuntFinding {
    std::string kind;     // failureKind
    Status status = Status::Ok;
    std::string note;     // the first failure's note
    std::size_t inputs = 0;  // inputs that failed this way
    double firstAfter = 0;   // seconds into the hunt of the first
    std::uint64_t firstInput = 0;  // the inputs tried up to the first, itself included
    std::string family;      // the family of the first
    std::size_t foundSize = 0;  // its points
    Shrunk shrunk;              // the smallest input failing this way
    std::string smallestNote;   // the note on the smallest
    std::string smallestPoint;  // the point the smallest's fault names ("x;y"), "" for none
    std::vector<reference::Pt> exact, answer;  // the smallest's hull and the entry's answer (where it gave one)
    bool answered = false;
    bool real = false;  // of a file of doubles or floats: the smallest, its hull and the answer are these
    ShrunkOf<RealPoint> realShrunk;
    std::vector<RealPoint> realExact, realAnswer;
    double shrinkSeconds = 0;
    std::string file, picture;  // where the smallest and its picture were written ("" where they could not be)
    LibraryReport report;       // a library's entry's: its report, where the lab writes one
};

struct HuntResult {
    std::string entry;
    std::string file;           // the point file whose orders were the inputs, or "" (the families)
    Coordinates coordinates = Coordinates::Int;  // its number type
    double seconds = 0;         // hunted
    std::uint64_t inputs = 0;   // tried
    std::vector<HuntFinding> findings;  // in the order found
    std::string error;          // why the hunt could not go on (the lab's own fault), or ""
    std::size_t slowAt = 0;     // the least input of kSlowFrom points or more left unanswered at the deadline, or 0
};

// An input of this many points or more that is not answered before the deadline is taken as slow,
// not as a hang: an O(n h) hull on 10^6 points in convex position takes hours. Inputs as large or
// larger are then left out of the hunt.
constexpr std::size_t kSlowFrom = 10000;

// Hunts `entry` (its name, and its word where it is the user's) for the settings' seconds, then
// shrinks each kind of failure found. Stops early when `*interrupted` is set. O(seconds + kinds x
// shrinkSeconds).
HuntResult hunt(const Algorithm& entry, const HuntSettings& settings, const volatile int* interrupted);

// What the user reads of a hunt: a line for the entry, then per kind its smallest input (the
// points where at most a dozen), the exact hull beside the entry's answer, the files and the
// command that repeats it (`again` followed by the file).
std::string huntLines(const HuntResult& result, const std::string& again);

// The picture of a failing input (SVG): the points, the exact hull, the entry's hull and the point
// its fault names ("x;y", the offending point; "" for none) circled. O(points).
std::string huntPicture(const std::vector<Point>& points, const std::vector<reference::Pt>& exact,
                        const std::vector<reference::Pt>& answer, const std::string& point);

}  // namespace lab
