// A history's series (history/series.cpp): the stored runs in their series' order, each cell's
// series, the steps found in them grouped as a person reads them, and the series as JSON for the
// page. What the commands of history/command.cpp print.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "history/history.h"

namespace lab {

// A cell: entry, shape, size.
struct CellKey {
    std::string algorithm, shape;
    std::int64_t n = 0;
    bool operator<(const CellKey& o) const { return std::tie(algorithm, shape, n) < std::tie(o.algorithm, o.shape, o.n); }
};

// What a step changed: whether the hull is right (its status), or what it costs (counts, times).
enum class StepKind { Status, Counts, Times };

// A step found in a cell's series.
struct Found {
    CellKey cell;
    StepKind kind = StepKind::Counts;
    std::string machine;  // times: the machine of the series; otherwise ""
    std::string before, after;  // the commits either side
    double ratio = 1;
    std::string moved;  // counts: which moved, and by how much; status: the status after ("ok" or a failure)
    std::string why;    // times: what the counts say moved it; status: the failure's kind, and in how many runs
    std::size_t order = 0;  // the place of `after`'s first run in the series' order (stepsIn sets it)
};

// What a stored cell's note says of how it failed (a stored run keeps the check's and the runner's
// words, not the values they were made from): its fault, signal, exit status or overrun. O(note).
Failure failureOfNote(Status status, const std::string& note);

// Whether a cell's status is a failure: "WRONG", "refused", "crashed", "stopped" or "out-of-memory"
// (not "ok", nor "skipped", which judged nothing).
bool failedStatus(const std::string& status);

// A commit's status of one cell, from its runs of it: the first failure among them (a failure in
// one run of three is a failure), else "ok"; "" where none judged it. `why` gets the failure's kind
// from its note ("WRONG, a point in the middle of an edge"), with "in 1 of 3 runs" where not all
// failed. O(runs).
std::string commitStatus(const std::vector<const StoredCell*>& cells, std::string& why);


// The first 12 characters of a commit, as the lines print it.
std::string shortCommit(const std::string& commit);

// The runs of the store with the cells `filter` names, each run's cells in key order (cellOf).
std::vector<StoredRun> readRuns(const std::string& store, const CellFilter& filter);

// The runs in the order their series take: the repository's first-parent history up to `tip`,
// oldest first, where one is given (`left`: the runs of other commits, left out), else the order
// they were recorded in. Throws StoreError on a folder that is not a repository.
std::vector<const StoredRun*> ordered(const std::vector<StoredRun>& runs, const std::string& repo, std::size_t& left,
                                      const std::string& tip = "HEAD");

// The run's cell of `key`, or null. O(log cells).
const StoredCell* cellOf(const StoredRun& run, const CellKey& key);

// The cells the runs hold, of the entries `algorithms` names (empty: all).
std::set<CellKey> cellKeys(const std::vector<const StoredRun*>& runs, const std::vector<std::string>& algorithms);

// Every step in the series of the runs' cells (of `algorithms`, empty: all): in status between
// neighbouring commits (right to a failure, a failure to right, one failure to another), in counts
// exactly, in times those of at least `minChange` left by the false-discovery-rate correction at
// `fdr`. Status steps come first.
std::vector<Found> stepsIn(const std::vector<const StoredRun*>& runs, const std::vector<std::string>& algorithms, double minChange,
                           double fdr);

// The steps grouped: a line per kind, commit, entry and direction (and machine, for times), naming
// the sizes and shapes it showed on and what moved it; status first ("status: mine became WRONG at
// commit C (after B) on lattice and square at 1000 points: a point in the middle of an edge",
// "status: mine right again at commit D ..."), then counts, then times.
std::vector<std::string> stepLines(const std::vector<Found>& found, const std::map<std::string, std::string>& machineNames);

// Short names of the machines, "m1", "m2"... in the order first seen ("-" for none), and their
// lines in `legend`.
std::map<std::string, std::string> machineNames(const std::vector<const StoredRun*>& runs, std::string& legend);

// The series and steps as JSON, for the page (tools/lab-page --history).
std::string seriesJson(const std::vector<const StoredRun*>& runs, const std::set<CellKey>& keys, const std::vector<Found>& found,
                       const std::map<std::string, std::string>& names, const std::string& order);

}  // namespace lab
