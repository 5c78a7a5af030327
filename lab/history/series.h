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

// A step found in a cell's series.
struct Found {
    CellKey cell;
    bool times = false;
    std::string machine;  // times: the machine of the series; counts: ""
    std::string before, after;  // the commits either side
    double ratio = 1;
    std::string moved;  // counts: which moved, and by how much
    std::string why;    // times: what the counts say moved it
};


// The first 12 characters of a commit, as the lines print it.
std::string shortCommit(const std::string& commit);

// The runs of the store with the cells `filter` names, each run's cells in key order (cellOf).
std::vector<StoredRun> readRuns(const std::string& store, const CellFilter& filter);

// The runs in the order their series take: the repository's first-parent history, oldest first,
// where one is given (`left`: the runs of other commits, left out), else the order they were
// recorded in. Throws StoreError on a folder that is not a repository.
std::vector<const StoredRun*> ordered(const std::vector<StoredRun>& runs, const std::string& repo, std::size_t& left);

// The run's cell of `key`, or null. O(log cells).
const StoredCell* cellOf(const StoredRun& run, const CellKey& key);

// The cells the runs hold, of the entries `algorithms` names (empty: all).
std::set<CellKey> cellKeys(const std::vector<const StoredRun*>& runs, const std::vector<std::string>& algorithms);

// Every step in the series of the runs' cells (of `algorithms`, empty: all): in counts exactly, in
// times those of at least `minChange` left by the false-discovery-rate correction at `fdr`.
std::vector<Found> stepsIn(const std::vector<const StoredRun*>& runs, const std::vector<std::string>& algorithms, double minChange,
                           double fdr);

// The steps grouped: a line per kind, commit, entry and direction (and machine, for times), naming
// the sizes and shapes it showed on and what moved it.
std::vector<std::string> stepLines(const std::vector<Found>& found, const std::map<std::string, std::string>& machineNames);

// Short names of the machines, "m1", "m2"... in the order first seen ("-" for none), and their
// lines in `legend`.
std::map<std::string, std::string> machineNames(const std::vector<const StoredRun*>& runs, std::string& legend);

// The series and steps as JSON, for the page (tools/lab-page --history).
std::string seriesJson(const std::vector<const StoredRun*>& runs, const std::set<CellKey>& keys, const std::vector<Found>& found,
                       const std::map<std::string, std::string>& names, const std::string& order);

}  // namespace lab
