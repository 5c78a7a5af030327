// The history (history/): every run kept, across commits, days and machines, in a store (an SQLite
// file by default), and the steps found in a cell's series, each explained by the counts.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "results/model.h"
#include "user/user.h"

namespace lab {

// ---- What a store keeps (history/record.cpp) ------------------------------------------------------

// One cell as kept: the TSV's figures of it.
struct StoredCell {
    std::string shape, algorithm, status, note;
    std::int64_t n = 0;
    long long h = -1;
    double median = 0, lo = 0, hi = 0;  // seconds per call; 0 where not timed (lo, hi: 0 with one run)
    std::vector<double> runs;
    bool counted = false;
    double instructions = 0, l1Misses = 0, llMisses = 0, branchMisses = 0, estCycles = 0;
    std::string verdict, countVerdict;  // against a baseline in the same run ("" without one)
};

// A user's entry as kept: where its code came from.
struct StoredEntry {
    std::string name, kind, path;  // kind "plugin" or "program"; path: the library or the command
    std::string fileHash;          // "fnv1a64:..." of a plugin's file, "" for a program
    std::string commit, branch, repository;  // of the git repository holding the plugin, or ""
};

// One run as kept. `commit` is what its series are ordered by: the commit of the user's entries'
// repository where they come from one, else the lab's own (`labVersion`).
struct StoredRun {
    std::int64_t id = 0;  // given by the store
    std::string recorded;  // when it was recorded (UTC, ISO 8601)
    std::string date;      // when it ran, as its context says
    std::string machine;   // the machine's key: processor, cores, caches, memory
    std::string labVersion, commit, branch, label;
    std::string countsModel;  // Valgrind's version and simulated caches, "" for a run without counts
    std::string source;       // "run" or the TSV file it was added from
    std::vector<std::pair<std::string, std::string>> context;
    std::vector<StoredEntry> entries;
    std::vector<StoredCell> cells;
    std::size_t cellCount = 0, countedCells = 0;  // the cells kept, and those counted (whatever was read)
};

// A context's value by name, or "".
std::string contextValue(const std::vector<std::pair<std::string, std::string>>& context, const std::string& name);

// The run as a store keeps it, from the model of a run that just ended (its context names the
// user's entries, their origins and the label). O(cells).
StoredRun storedRun(const RunModel& model);

// The run a TSV file holds (its "#" lines: the context; a line per cell). Throws StoreError on a
// file that is not a run's TSV. O(file).
StoredRun storedRunFromTsv(const std::string& text, const std::string& source);

// Where a plugin came from, as the context's "origin of NAME" line says it: "fnv1a64 HASH" of its
// file, then "; commit SHA; branch B; repository DIR" where a git repository holds it. O(file).
std::string entryOrigin(const UserEntry& entry);

// ---- The store (history/store.cpp) ----------------------------------------------------------------

// Why a store cannot be opened, read or written: one line for the user.
struct StoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Which runs a query wants: all, or those with cells among these (empty: any).
struct CellFilter {
    std::vector<std::string> algorithms, shapes;
    std::vector<std::int64_t> sizes;
};

class Store {
public:
    virtual ~Store() = default;
    // Keeps `run` whole or not at all; returns its id.
    virtual std::int64_t add(const StoredRun& run) = 0;
    // Every run, oldest first, with the cells `filter` names (no cells with `cells` false).
    virtual std::vector<StoredRun> runs(const CellFilter& filter, bool cells) = 0;
    // The schema's version of this store.
    virtual int version() = 0;
};

// The schema version this build writes.
constexpr int kStoreVersion = 1;

// The default store: $XDG_DATA_HOME/hull-lab/history.sqlite, else ~/.local/share/hull-lab/.
std::string defaultStorePath();

// Opens the store at `where` (an SQLite file, made on first use with its folder), migrating an
// older schema. Throws StoreError on a path that cannot hold one, a store of a newer version, a
// store locked for longer than `waitSeconds`.
std::unique_ptr<Store> openStore(const std::string& where, double waitSeconds = 10);

// ---- Steps in a series (history/steps.cpp) --------------------------------------------------------

// One point of a cell's series: a run's figure of the cell.
struct SeriesPoint {
    std::string commit;
    double value = 0;  // log of the median (times) or the count
    double se = 0;     // the standard error of `value` from the run's interval (times); 0 for counts
};

// A step between points `at - 1` and `at` of a series: the ratio after / before and its p-value.
struct Step {
    std::size_t at = 0;
    double ratio = 1, p = 1;
};

// A change in misses or mispredictions is a step beyond this: they repeat exactly between processes,
// but runs recorded before the two-thread entries' parts took turns on one thread have theirs up to
// about 1e-5 apart on a quiet machine.
constexpr double kMissNoise = 1e-4;

// Steps in counts: between neighbouring commits, every change larger than `noise` (relative) or
// than the repeats of one commit differ by, whichever is larger. O(points).
std::vector<Step> countSteps(const std::vector<SeriesPoint>& series, double noise);

// Candidate steps in times: binary segmentation of the log medians, each point weighted by its
// run's interval together with the series' own noise between runs (the median change between
// neighbours); each candidate's p-value compares the runs either side of it, up to five and up to
// the neighbouring candidates, corrected for the places of the series it was chosen from
// (Bonferroni). O(points^2).
std::vector<Step> timeCandidates(const std::vector<SeriesPoint>& series);

// The steps in times of many series (a run's cells, each on a machine): the candidates of each,
// their p-values through one false-discovery-rate correction at `q` (a series without a candidate
// counts as one hypothesis with p = 1), those left that changed by at least `minChange`.
// O(sum of points^2).
std::vector<std::vector<Step>> timeSteps(const std::vector<std::vector<SeriesPoint>>& series, double q, double minChange);

// Benjamini and Hochberg's procedure: which of `p` are discoveries at false discovery rate `q`.
// O(p log p).
std::vector<bool> discoveries(const std::vector<double>& p, double q);

// What moved a cell between two commits, from their counts: "the code (instructions changed)",
// "layout or data (instructions equal; misses or mispredictions changed)", "the machine or its
// noise (counts equal)", or "no counts of both commits".
std::string explanation(const StoredCell* before, const StoredCell* after);

// Whether an explanation names a change in the counts (the code, or layout or data).
bool countsMoved(const std::string& explanation);

// ---- The user's commits measured (history/backfill.cpp) -------------------------------------------

struct BackfillSettings {
    std::string repo;    // the user's repository (never touched: each commit gets a worktree of its own)
    std::string build;   // the shell command that builds the plugin, run in the worktree
    std::string plugin;  // the plugin's library, relative to the worktree
    std::string store;   // the store's path
    std::string self;    // this hull-lab, which runs the plugin's cells
    std::vector<std::string> runWords;  // the cells' options: --measure, --shapes, --sizes, --algorithms
    std::string branch;  // the branch the runs are recorded along ("": the range's end where it names one)
};

struct MeasuredCommit {
    bool built = true;    // false: the build failed, and the store says so
    bool stopped = false;  // interrupted (Ctrl-C): nothing recorded
    std::string failure;  // the build's last line, or hull-lab's where it failed on the plugin
};

// Builds `commit` in a worktree of its own, runs its plugin's cells and records the run (or that it
// does not build). Throws StoreError where the worktree cannot be made.
MeasuredCommit measureCommit(const BackfillSettings& s, const std::string& commit, const volatile int* interrupted);

// The branch a walk to `end` is along: `given` where set, else `end` where it names a branch of
// `repo` (HEAD where a branch is checked out), else "". O(1) git calls.
std::string branchAlong(const std::string& repo, const std::string& given, const std::string& end);

// Every commit of `range` (git's A..B, first parent; A too with `includeFirst`; B alone: from the
// root) the store lacks, newest first, each recorded along the branch (branchAlong). Returns 0, or
// 130 when interrupted (run it again to go on).
int backfill(const BackfillSettings& s, const std::string& range, bool includeFirst, const volatile int* interrupted);

// The first commit after `good` up to `bad` whose status differs from `good`'s (a cell that became
// WRONG, refused, crashed or stopped, or right again) where the two differ so, else the first whose
// counts differ: binary search over the first-parent commits, measuring only those the store lacks
// (its builds printed), saying which it searched for. Returns 0.
int bisect(const BackfillSettings& s, const std::string& good, const std::string& bad, const volatile int* interrupted);

// ---- The command (history/command.cpp) ------------------------------------------------------------

// `hull-lab history [show|steps|add|check|backfill|bisect] ...`, argv from "history" on;
// `interrupted` set by Ctrl-C or SIGTERM stops backfill and bisect between commits. Returns the
// status: 0, 1 (check found a step), 2 (bad arguments or store), 130 (interrupted).
int historyMain(int argc, char** argv, const volatile int* interrupted);

// Records the run into the store `where` ("" : the default). Returns 0, or 2 with one line on
// standard error when the store cannot take it (naming `tsv`, the run's TSV, where there is one).
int recordRun(const StoredRun& run, const std::string& where, const std::string& tsv);

}  // namespace lab
