// One pass over every cell of a run: for each row (a shape or file at one size) its cells are
// planned (or skipped from what the smaller sizes predict), checked in processes that time
// nothing, then timed in rounds, each round running a process of every cell in an order of its own;
// last the row's figures are summed up and its failures told.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <functional>
#include <thread>

#include "run/pass.h"
#include "inputs/inputs.h"
#include "run/cell.h"
#include "run/counts.h"
#include "run/runner.h"
#include "run/figures.h"

namespace lab {

std::string cellKey(const std::string& shape, std::int64_t n, const std::string& algorithm) {
    return shape + " " + std::to_string(n) + " " + algorithm;
}

double predict(const std::vector<std::pair<std::int64_t, double>>& seen, std::int64_t n) {
    if (seen.empty()) return 0;
    auto [n2, t2] = seen.back();
    double exponent = 2;
    if (seen.size() >= 2) {
        auto [n1, t1] = seen[seen.size() - 2];
        if (t1 > 0 && t2 > 0 && n2 > n1) exponent = std::log(t2 / t1) / std::log(double(n2) / double(n1));
        exponent = std::min(2.5, std::max(1.0, exponent));
    }
    return t2 * std::pow(double(n) / double(n2), exponent);
}

bool predictedOverBudget(const std::vector<std::pair<std::int64_t, double>>& seen, std::int64_t n, int runs, int sets,
                         double minSeconds, double budget, double& call) {
    call = predict(seen, n);
    return seen.size() >= 2 && call > 0 && call * (2 * runs + std::min<double>(sets, 1 + std::ceil(2 * minSeconds / call))) > budget;
}

namespace {

// The memory the system says it can give without swapping (MemAvailable), or all of it.
double availableBytes() {
    std::ifstream meminfo("/proc/meminfo");
    for (std::string name; meminfo >> name;) {
        double kib = 0;
        meminfo >> kib;
        if (name == "MemAvailable:") return kib * 1024;
        meminfo.ignore(256, '\n');
    }
    return double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGESIZE));
}

bool timed(const Outcome& o) { return timedStatus(o.status); }

// The exact hull of points, counter-clockwise from the lowest of the leftmost points (the
// reference's corners run clockwise). O(n log n).
template <class P>
std::vector<P> exactHull(const std::vector<P>& points) {
    std::vector<P> corners = reference::corners(points);
    if (corners.size() > 2) std::reverse(corners.begin() + 1, corners.end());
    return corners;
}

// Writes the point set number `set` of a table's cells of n points to `path`, as the cells take
// it (a shape's, or a point file's in the set's order), or with `hull` its exact hull; a real
// file's in shortest decimals, which read back bit for bit. False when it cannot.
bool writeCellSet(const Options& options, const Group& group, std::int64_t n, int set, const std::string& path,
                  bool hull = false) {
    CellPlan plan;
    plan.shape = shapeToMake(group);
    plan.n = n;
    plan.seed = options.seed;
    plan.input = group.input;
    plan.keepOrder = options.samePoints && !group.input.empty();
    plan.coordinates = group.coordinates;
    if (group.coordinates != Coordinates::Int) {
        PointFile file;
        if (!group.input.empty()) file = readPointFile(group.input, 0, group.plain ? Columns{} : options.columns, &group.coordinates);
        const std::vector<RealPoint> points = cellRealPoints(plan, set, file.reals);
        return writePointFile(path, hull ? exactHull(points) : points);
    }
    std::vector<Point> file;
    if (!group.input.empty()) {
        file = group.plain ? readPointFile(group.input, 0).points
                           : readPointFile(group.input, options.scale, options.columns).points;
    }
    const std::vector<Point> points = cellPoints(plan, set, file);
    if (!hull) return writePointFile(path, points);
    std::vector<reference::Pt> whole;
    whole.reserve(points.size());
    for (const Point& p : points) whole.push_back({p.x, p.y});
    std::vector<Point> corners;
    for (const reference::Pt& p : exactHull(whole)) corners.push_back({p.x, p.y});
    return writePointFile(path, corners);
}

// Where --write-hulls puts a table's exact hull at n points, and an entry's WRONG answer there.
std::string hullPath(const Options& options, const std::string& table, std::int64_t n, const std::string& entry = "") {
    return options.hullsDir + "/" + fileNamePart(entry.empty() ? table : entry + "-" + table) + "-" + std::to_string(n) +
           (entry.empty() ? "-hull.txt" : "-answer.txt");
}

// Writes the point set a user entry's cell failed on into the failures folder; the message that
// names it, or why it could not.
std::string writeFailure(const Options& options, const Group& group, const Outcome& outcome) {
    if (mkdir(options.failuresDir.c_str(), 0755) != 0 && errno != EEXIST) {
        return "its input could not be written: " + options.failuresDir + ": " + std::strerror(errno);
    }
    const int set = std::max(0, outcome.failedSet);
    // The cell's input is the user's file itself, in its own order: name it rather than write a copy
    // (a rerun of the hunt's command on a failure's file would add one each time). Standard input's
    // points were written to a file of the run's own, which goes with it: those are copied.
    if (options.samePoints && !group.input.empty() && !group.plain) return "input: " + group.input;
    const std::string path = options.failuresDir + "/" + fileNamePart(outcome.algorithm + "-" + group.shape.name) + "-" +
                             std::to_string(outcome.n) + "-set" + std::to_string(set + 1) + ".txt";
    if (!writeCellSet(options, group, outcome.n, set, path)) return "its input could not be written to " + path;
    return std::string("input: ") + path + (outcome.failedSet < 0 ? " (the cell's first point set; the failure came while its sets were timed in turn)" : "");
}

// What a pass has seen of one table's entries at its smaller sizes: what predicts the larger ones.
struct SmallerSizes {
    struct Peak {
        std::int64_t n = 0;
        double bytes = 0, start = 0;  // at its largest, and before the cell began
    };
    std::map<std::string, std::vector<std::pair<std::int64_t, double>>> seen;  // by algorithm: n, fastest run
    std::map<std::string, Peak> peak;               // by algorithm: the largest size run so far
    std::map<std::string, std::int64_t> stoppedAt;  // by algorithm: the size it ran past the deadline at
    struct Counted {
        std::int64_t n = 0;
        double seconds = 0, check = 0;  // the counting process's processor seconds, the check's call
        int calls = 1;               // the calls it made
    };
    std::map<std::string, Counted> counted;  // by algorithm: the last size counted
    std::map<std::string, std::int64_t> countStoppedAt;  // by algorithm: the size its counting ran past the deadline at
};

// One row, a table's cells at one size, and what their processes found. Cell i is the options'
// algorithm i; the arrays of two hold this build's (2i) and the baseline's (2i + 1).
struct Row {
    const Group* group = nullptr;
    std::int64_t n = 0;
    std::string key;       // "shape n"
    std::string setsFile;  // where the row's processes read their sets, or "": each makes its own
    std::vector<CellPlan> plans;
    std::vector<double> predictedPeak;  // bytes, from smaller sizes
    std::vector<Outcome> cells, olds;   // this build's outcomes and the baseline's
    std::vector<std::size_t> running;   // the cells that run
    std::vector<double> checkWall, checkPeak;  // the check processes' time and peak memory
    std::vector<int> setsChecked;              // and the sets they checked (0: all)
    std::vector<Counts> recounts;              // the cells counted a second time, for the counts' noise
    std::vector<double> countSeconds;          // this build's counting processes' processor seconds
    // From kTouchedHeapFrom points without a baseline the timed processes' heap is grown and
    // faulted in first: then the entries on arrays go straight to their timing, those on lists make
    // their copy once (warm()), and only the user's entries make an untimed call. Elsewhere every
    // entry makes one.
    bool heapTouched = false;
    bool warmsUp(const Algorithm& a) const { return !heapTouched || a.onList || a.origin == Origin::User; }
    bool makesUntimedCall(const Algorithm& a) const { return !heapTouched || a.origin == Origin::User; }
};

// Runs job(0) .. job(count - 1), each once, on `workers` threads (0: one a core, at most 4; the
// caller is one of them), until `*interrupted` is set. O(count) jobs.
void sideBySide(std::size_t count, unsigned workers, const volatile int* interrupted,
                const std::function<void(std::size_t)>& job) {
    if (workers == 0) workers = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t k = next++; k < count && !*interrupted; k = next++) job(k);
    };
    std::vector<std::thread> helpers;
    for (unsigned c = 1; c < workers; ++c) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
}

class Pass {
  public:
    Pass(const Options& options, PassListener& listener, const std::map<std::string, Outcome>* first,
         const std::map<std::string, std::string>& notTimed, const std::string& filesDir, const volatile int* interrupted,
         PassResults& results, double verdictLevel)
        : options_(options), listener_(listener), first_(first), notTimed_(notTimed), filesDir_(filesDir),
          interrupted_(interrupted), results_(results), verdictLevel_(verdictLevel) {
        if (options.measureCounts) countSetup_ = countSetup(filesDir, options.baseline, countingCaches(options.hostCaches));
    }

    // A table: its rows, smaller sizes first. Returns 1 where a cell failed (as runPass).
    int table(const Group& group) {
        int status = 0;
        listener_.beginShape(group.shape);
        SmallerSizes smaller;
        for (std::int64_t n : group.sizes) {
            Row row;
            row.group = &group;
            row.n = n;
            row.key = group.shape.name + " " + std::to_string(n);
            status |= prepareSets(row);
            planCells(row, smaller);
            runRounds(row, smaller);
            countCells(row, smaller);
            if (!row.setsFile.empty()) std::remove(row.setsFile.c_str());
            if (*interrupted_) return status;
            status |= finishRow(row, smaller);
            listener_.endRow();
        }
        listener_.endShape();
        return status;
    }

  private:
    CellPlan planOf(const Row& row, std::size_t i, bool old, bool reachedSets) const;
    int prepareSets(Row& row);
    void planCells(Row& row, SmallerSizes& smaller);
    std::string skipReason(const Row& row, SmallerSizes& smaller, std::size_t i, double& predicted);
    void runProcess(Row& row, std::size_t i, int round, bool old, std::size_t k);
    void runRounds(Row& row, SmallerSizes& smaller);
    void skipOverBudget(Row& row, SmallerSizes& smaller);
    void countCells(Row& row, SmallerSizes& smaller);
    std::string countSkipReason(const Row& row, SmallerSizes& smaller, std::size_t i) const;
    void countProcess(Row& row, std::size_t i, int side, std::size_t k);
    bool needsMore(const Row& row, std::size_t i) const;
    std::vector<double> spreadsWithRow(const Row& row) const;
    int finishRow(Row& row, SmallerSizes& smaller);
    int tellFailure(const Row& row, Outcome& outcome);
    void noteUnsettled(const Row& row, const Outcome& outcome, const Outcome& old, double floor);

    const Options& options_;
    PassListener& listener_;
    const std::map<std::string, Outcome>* first_;
    const std::map<std::string, std::string>& notTimed_;
    const std::string& filesDir_;
    const volatile int* interrupted_;
    PassResults& results_;
    double verdictLevel_;  // of each compared cell's verdict (runVerdictLevel)
    std::vector<double> spreads_;  // the spread of every timed cell's runs so far (logSpread)
    std::mutex progressLock_;      // the checks run side by side
    CountSetup countSetup_;        // with --measure counts
    double startUp_ = 1e9;         // the shortest counting process so far: Valgrind's start-up at most
};

// The row's h, for every cell, those that do not run included: the first point set's (the
// children work this out again on their own, in processes that have not seen these lists); the
// set written for --write-points; from kSharedSetsFrom points the sets written once for every
// process. Returns 1 when the points could not be written.
int Pass::prepareSets(Row& row) {
    const Group& group = *row.group;
    const std::string& shapeName = group.shape.name;
    int status = 0;
    if (!options_.hullsDir.empty() && !writeCellSet(options_, group, row.n, 0, hullPath(options_, shapeName, row.n), true)) {
        listener_.failure("hull-lab: cannot write " + hullPath(options_, shapeName, row.n));
        status = 1;
    }
    if (!group.input.empty()) {
        results_.hOfRow[row.key] = group.h;
        // A point file's first set, in the order its cells' first set takes it.
        const std::string path = options_.pointsDir + "/" + fileNamePart(shapeName) + "-" + std::to_string(row.n) + ".txt";
        if (!options_.pointsDir.empty() && !writeCellSet(options_, group, row.n, 0, path)) {
            listener_.failure("hull-lab: cannot write " + path);
            status = 1;
        }
    }
    if (group.input.empty() && group.coordinates != Coordinates::Int) {  // a real shape's: each process makes its sets
        const PointFile none;
        CellPlan plan;
        plan.shape = shapeToMake(group), plan.n = row.n, plan.seed = options_.seed, plan.coordinates = group.coordinates;
        results_.hOfRow[row.key] = (long long)reference::corners(cellRealPoints(plan, 0, none.reals)).size();
        const std::string path = options_.pointsDir + "/" + fileNamePart(shapeName) + "-" + std::to_string(row.n) + ".txt";
        if (!options_.pointsDir.empty() && !writeCellSet(options_, group, row.n, 0, path)) {
            listener_.failure("hull-lab: cannot write " + path);
            status = 1;
        }
        return status;
    }
    std::vector<Point> points;  // the row's first set, where made here
    if (!results_.hOfRow.count(row.key)) {
        points = makeShape(shapeName, row.n, options_.seed);
        results_.hOfRow[row.key] = (long long)cornerCount(points);
        std::string path = options_.pointsDir + "/" + shapeName + "-" + std::to_string(row.n) + ".txt";
        if (!options_.pointsDir.empty() && !writePointFile(path, points)) {
            listener_.failure("hull-lab: cannot write " + path);
            status = 1;
        }
    }
    const int sets = options_.sets > 0 ? options_.sets : defaultSets(row.n);
    if (group.input.empty() && row.n >= kSharedSetsFrom && !filesDir_.empty()) {
        row.setsFile = filesDir_ + "/" + shapeName + "-" + std::to_string(row.n) + ".points";
        if (!writeCellSets(row.setsFile, shapeName, row.n, options_.seed, sets, points)) row.setsFile.clear();
    }
    return status;
}

// Each cell's plan, and what it comes to when it does not run.
void Pass::planCells(Row& row, SmallerSizes& smaller) {
    const Group& group = *row.group;
    const std::size_t count = options_.algorithms.size();
    row.predictedPeak.assign(count, 0);
    row.cells.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& name = options_.algorithms[i];
        CellPlan plan;
        plan.shape = shapeToMake(group);
        plan.n = row.n;
        plan.seed = options_.seed;
        plan.algorithm = name;
        plan.runs = 1;  // a process per run
        plan.minSeconds = options_.minSeconds;
        plan.sets = options_.sets > 0 ? options_.sets : defaultSets(row.n);
        plan.deadline = 3 * options_.budget + 2;
        plan.heapDefaults = options_.heapDefaults;
        plan.input = group.input;
        plan.scale = group.plain ? 0 : options_.scale;
        plan.keepOrder = options_.samePoints && !group.input.empty();
        plan.columns = group.plain ? Columns{} : options_.columns;
        plan.coordinates = group.coordinates;
        plan.entry = findAlgorithm(name)->entry;
        plan.filesDir = filesDir_;
        plan.setsFile = row.setsFile;
        row.plans.push_back(plan);
        // Memory grows with n: predicted from the largest size run so far.
        const auto peak = smaller.peak.find(name);
        row.predictedPeak[i] = peak != smaller.peak.end()
                                   ? predictedPeakBytes(row.n, peak->second.n, peak->second.bytes, peak->second.start)
                                   : 0;
        Outcome& outcome = row.cells[i];
        outcome = Outcome{};
        outcome.shape = group.shape.name;
        outcome.n = row.n;
        outcome.algorithm = name;
        outcome.status = Status::Skipped;
        const std::string key = cellKey(group.shape.name, row.n, name);
        double predicted = 0;
        if (first_ != nullptr && first_->at(key).status != Status::Ok && first_->at(key).status != Status::Wrong) {
            outcome = first_->at(key);
        } else if (notTimed_.count(name)) {
            outcome.note = notTimed_.at(name);
        } else if (!takesCoordinates(*findAlgorithm(name), group.coordinates, &outcome.note)) {
            // an entry of another number type: not run, and not a failure
        } else {
            outcome.note = skipReason(row, smaller, i, predicted);
            if (outcome.note.empty()) row.running.push_back(i);
            else outcome.predicted = predicted;
        }
    }
    row.olds = row.cells;  // the baseline's: skipped where this build's are
    row.checkWall.assign(2 * count, 0);
    row.checkPeak.assign(2 * count, 0);
    row.setsChecked.assign(2 * count, 0);
    row.heapTouched = options_.baseline.empty() && row.n >= kTouchedHeapFrom;
}

// Why cell i is skipped on the first pass, or "" when it runs: it ran past the
// deadline on fewer points, or the smaller sizes predict more memory than the machine has or more
// time than the budget. Sets `predicted` to the seconds a call is predicted to take, where it says so.
std::string Pass::skipReason(const Row& row, SmallerSizes& smaller, std::size_t i, double& predicted) {
    const std::string& name = options_.algorithms[i];
    if (smaller.stoppedAt.count(name)) {
        // It ran past the deadline on fewer points: on more it would only do so again.
        return "stopped at " + std::to_string(smaller.stoppedAt[name]) + " points";
    }
    if (first_ != nullptr) return "";
    double call = 0;
    const bool over = predictedOverBudget(smaller.seen[name], row.n, options_.runs, row.plans[i].sets, options_.minSeconds,
                                          options_.budget, call);
    const double bytes = row.predictedPeak[i];
    if (bytes > 0.8 * availableBytes()) {
        // Skipped rather than killed by the system when it runs out.
        char note[96];
        std::snprintf(note, sizeof note, "predicted %.1f GB of memory; %.1f GB available", bytes / 1e9, availableBytes() / 1e9);
        predicted = call;
        return note;
    }
    // A prediction from one size was once far off: a program's n log n hull, 2.4e-4 s a call at
    // 1,000 points, was skipped at 100,000 on the n^2 guess; such a cell is tried, its check
    // stopped at the deadline if it is slow.
    if (over) {
        char note[64];
        std::snprintf(note, sizeof note, "predicted %.1e s per call", call);
        predicted = call;
        return note;
    }
    return "";
}

// Cell i's plan for a process of this build or the baseline's (`old`: its program, and its build of
// a plugin of the user's), with `reachedSets` only the sets both builds' checks reached.
CellPlan Pass::planOf(const Row& row, std::size_t i, bool old, bool reachedSets) const {
    CellPlan plan = row.plans[i];
    for (int side = 0; reachedSets && side < 2; ++side) {
        const int reached = row.setsChecked[2 * i + std::size_t(side)];
        if (reached > 0) plan.sets = std::min(plan.sets, reached);
    }
    if (old) {
        plan.program = options_.baseline;
        if (options_.baselineEntries.count(plan.algorithm)) plan.entry = options_.baselineEntries.at(plan.algorithm);
    }
    return plan;
}

// Runs process number `k` of the round `round` (-1: the check, which times nothing) of cell i, by
// this build or the baseline (`old`), and adds what it found to the cell's outcome. A timed process
// takes only the sets its check reached (with a baseline, the sets both builds' checks reached),
// which is all the sets its time lets it take. The cell ends with the first run that does not end well.
void Pass::runProcess(Row& row, std::size_t i, int round, bool old, std::size_t k) {
    Outcome& outcome = old ? row.olds[i] : row.cells[i];
    const bool check = round < 0;
    if (!check && outcome.status != Status::Ok && outcome.status != Status::Wrong) return;
    CellPlan plan = planOf(row, i, old, !check);
    setJob(plan, check ? Job::Check : Job::Time);
    if (check && !old && !options_.hullsDir.empty()) {  // a file of an earlier run must not pass for this one's
        plan.answerFile = hullPath(options_, row.group->shape.name, row.n, plan.algorithm);
        unlink(plan.answerFile.c_str());
    }
    const std::size_t mine = 2 * i + (old ? 1 : 0);
    const Algorithm& algorithm = *findAlgorithm(plan.algorithm);
    if (row.heapTouched) {
        plan.heapBytes = check ? row.predictedPeak[i] : row.checkPeak[mine];
        if (!check && plan.heapBytes > 0 && !row.warmsUp(algorithm)) plan.warmUp = false;
    }
    {
        std::lock_guard<std::mutex> hold(progressLock_);
        listener_.progress(plan, results_.done + k, results_.total, round, std::max(round + 1, options_.runs));
    }
    Outcome next = runChild(plan, interrupted_);
    if (*interrupted_) return;
    next.shape = row.group->shape.name;  // the table's name: "square (f64)" where the plan makes "square"
    outcome.wall += next.wall;
    if (check) {
        row.checkWall[mine] = next.wall;
        row.checkPeak[mine] = next.peakBytes;
        row.setsChecked[mine] = next.setsChecked;
        next.wall = outcome.wall;
        outcome = next;
        if (old && outcome.note.empty() && outcome.status == Status::Crashed) outcome.note = "in the baseline";
        return;
    }
    outcome.peakBytes = std::max(outcome.peakBytes, next.peakBytes);
    if (next.status != Status::Ok) {
        next.h = outcome.h;
        next.peakBytes = outcome.peakBytes;
        next.runs = outcome.runs;
        next.wall = outcome.wall;
        outcome = next;
        return;
    }
    outcome.runs.push_back(next.runs.front());
    outcome.busyRuns += next.busyRuns;
}

// First each cell's hulls are checked, in a process of its own that times nothing. Then rounds:
// round r runs the r-th process of every cell still running, in an order of its own, so that a slow
// spell of the machine falls on every cell of the row alike. Every timed process is the same: it
// builds the sets, makes one untimed call (a fresh process's first call faults in the heap it grows:
// qhull on 1,000,000 square points took 0.49 to 0.66 s as the first call, 0.10 s warm), then times
// its run. A process that had checked the hulls before timing had a heap shaped by the check: at
// 100,000 points the list entry `incremental` took 1.6 times as long there. With a baseline each
// cell is run by both builds, the new one first in even rounds and the baseline first in odd ones:
// over two rounds, A B B A.
void Pass::runRounds(Row& row, SmallerSizes& smaller) {
    const bool compared = !options_.baseline.empty();
    for (int round = -1; !*interrupted_; ++round) {
        std::vector<std::size_t> now;  // the cells this round runs
        for (std::size_t i : row.running) {
            if (round < options_.runs || ((options_.precision > 0 || options_.moreRounds) && needsMore(row, i))) {
                now.push_back(i);
            }
        }
        if (round >= options_.runs && now.empty()) break;
        if (round >= 0 && !options_.measureTimes) break;  // counts alone: the check, then the counting
        const auto schedule = roundSchedule(now, options_.seed, row.key, round, compared);
        // The checks time nothing: one on each core. The timed processes run alone.
        sideBySide(schedule.size(), round < 0 ? 0 : 1, interrupted_, [&](std::size_t k) {
            runProcess(row, schedule[k].first, round, schedule[k].second, compared ? k / 2 : k);
        });
        if (round < 0 && !*interrupted_) skipOverBudget(row, smaller);
    }
}

// A cell whose own check shows that its runs would take more than three times the budget (where a
// process of it would be stopped) is not timed: its prediction from the smaller sizes was far off
// (`cgal-gift-wrapping` on 10^7 `line` points: predicted 0.5 s a call, took 28.5 s). Larger sizes
// predict from the check's call.
void Pass::skipOverBudget(Row& row, SmallerSizes& smaller) {
    const bool compared = !options_.baseline.empty();
    for (std::size_t i : row.running) {
        Outcome& o = row.cells[i];
        const double call = o.checkCall;
        if (o.status != Status::Ok || call <= 0 || (compared && row.olds[i].status != Status::Ok)) continue;
        const bool warms = row.makesUntimedCall(*findAlgorithm(o.algorithm));
        auto run = [&](double c) { return std::max(options_.minSeconds, c) + (warms ? c : 0); };
        const double oldCall = row.olds[i].checkCall > 0 ? row.olds[i].checkCall : call;
        const double timing = options_.runs * (run(call) + (compared ? run(oldCall) : 0));
        if (timing <= 3 * options_.budget) continue;
        smaller.seen[o.algorithm].push_back({row.n, call});
        char note[160];
        std::snprintf(note, sizeof note,
                      "its check's call took %.2g s: its %d runs would take %.2g s, over three times the budget of %g s",
                      call, options_.runs, timing, options_.budget);
        for (Outcome* side : {&o, &row.olds[i]}) {
            side->status = Status::Skipped;
            side->note = note;
        }
    }
}

// Why cell i is not counted, or "": its counting ran past the deadline on fewer points, or the
// smaller sizes' counting processes predict more than the budget.
std::string Pass::countSkipReason(const Row& row, SmallerSizes& smaller, std::size_t i) const {
    const std::string& name = options_.algorithms[i];
    if (smaller.countStoppedAt.count(name)) {
        return "its counting stopped at " + std::to_string(smaller.countStoppedAt[name]) + " points";
    }
    // A counting process is Valgrind's start-up (the shortest counting process of the run so far
    // bounds it) and its calls, one more than it counts. The calls grow from the last size counted
    // as the check's call grew (a floor's, which the check does not call, as n); with none counted
    // yet, the check's call says: Callgrind with its caches and branch predictor ran this build's
    // entries 70 to 130 times as long as they run alone (10^5 disc points).
    constexpr double kCallgrindSlowdown = 100;
    const int calls = row.plans[i].sets + 1;
    const double check = row.cells[i].checkCall;
    double predicted = check * kCallgrindSlowdown * calls;
    const auto last = smaller.counted.find(name);
    if (last != smaller.counted.end()) {
        const SmallerSizes::Counted& c = last->second;
        const double growth = check > 0 && c.check > 0 ? check / c.check : double(row.n) / double(c.n);
        predicted = startUp_ + std::max(0.0, c.seconds - startUp_) / c.calls * growth * calls;
    }
    if (predicted <= options_.budget) return "";
    char note[96];
    std::snprintf(note, sizeof note, "predicted %.0f s under Valgrind, over the budget of %g s", predicted,
                  options_.budget);
    return note;
}

// Counting process number `k` of cell i: side 0 this build, 1 the baseline, 2 this build again
// (the counts' noise).
void Pass::countProcess(Row& row, std::size_t i, int side, std::size_t k) {
    CellPlan plan = planOf(row, i, side == 1, true);
    setJob(plan, Job::Count);
    {
        std::lock_guard<std::mutex> hold(progressLock_);
        listener_.progress(plan, results_.done + k, results_.total, 0, 0);
    }
    double seconds = 0;
    const std::string tag = std::to_string(i) + "-" + std::to_string(side);
    Counts counts = runCounted(plan, countSetup_, tag, interrupted_, seconds);
    if (side == 2) {
        row.recounts[i] = counts;
        return;
    }
    Outcome& outcome = side == 1 ? row.olds[i] : row.cells[i];
    outcome.counts = counts;
    if (side == 0) row.countSeconds[i] = seconds;
}

// The row's cells that ran right counted under Callgrind, two processes at a time (a count does
// not depend on what else the machine runs): with a baseline each by both builds, and the cells of
// a table's first size by this build twice, which measures the counts' own noise.
void Pass::countCells(Row& row, SmallerSizes& smaller) {
    if (!options_.measureCounts || *interrupted_) return;
    const bool compared = !options_.baseline.empty();
    const bool twice = compared && row.n == row.group->sizes.front();
    std::vector<std::pair<std::size_t, int>> jobs;  // cell, side
    row.recounts.assign(row.cells.size(), Counts{});
    row.countSeconds.assign(row.cells.size(), 0);
    for (std::size_t i : row.running) {
        Outcome& o = row.cells[i];
        if (o.status != Status::Ok || (compared && row.olds[i].status != Status::Ok)) continue;
        o.counts.why = countSkipReason(row, smaller, i);
        if (!o.counts.why.empty()) continue;
        jobs.push_back({i, 0});
        if (compared) jobs.push_back({i, 1});
        if (twice) jobs.push_back({i, 2});
    }
    sideBySide(jobs.size(), 0, interrupted_, [&](std::size_t k) {
        countProcess(row, jobs[k].first, jobs[k].second, compared ? k / (twice ? 3 : 2) : k);
    });
    for (std::size_t i = 0; i < row.cells.size(); ++i) {
        const Counts& counts = row.cells[i].counts;
        if (counts.have) {
            smaller.counted[options_.algorithms[i]] = {row.n, row.countSeconds[i], row.cells[i].checkCall, row.plans[i].sets + 1};
            startUp_ = std::min(startUp_, row.countSeconds[i]);
        }
        if (!counts.have && counts.stopped) {
            smaller.countStoppedAt.emplace(options_.algorithms[i], row.n);
        }
        if (counts.have && row.recounts[i].have) listener_.countNoise(countDifference(counts, row.recounts[i]));
    }
}

// The least spread an interval is given: the median spread of the run's cells so far, this row's
// included. A cell's few runs may agree by chance; the machine's typical cell says how far another
// run of it may land.
std::vector<double> Pass::spreadsWithRow(const Row& row) const {
    std::vector<double> all = spreads_;
    for (const Outcome& o : row.cells) {
        if (timed(o) && o.runs.size() > 1) all.push_back(logSpread(o.runs));
    }
    return all;
}

// Whether cell i needs another round to have its figure as precise as asked (with a baseline: its
// ratio), and can get it within the runs and the budget it has.
bool Pass::needsMore(const Row& row, std::size_t i) const {
    const bool compared = !options_.baseline.empty();
    const Outcome& o = row.cells[i];
    if (!timed(o) || (compared && !timed(row.olds[i]))) return false;
    if (int(o.runs.size()) >= options_.maxRuns) return false;
    const double perRun = (o.wall - row.checkWall[2 * i]) / double(o.runs.size()) * (compared ? 2 : 1);
    const double spent = o.wall + (compared ? row.olds[i].wall : 0);
    if (spent + perRun > options_.budget) return false;
    if (options_.precision > 0) {
        return !precise(o, compared ? &row.olds[i] : nullptr, options_.precision, medianOf(spreadsWithRow(row)));
    }
    return compared && options_.moreRounds && undecided(o.runs, row.olds[i].runs, verdictLevel_, options_.minChange);
}

// The row's figures, what they teach the larger sizes, its failures told, each cell reported.
int Pass::finishRow(Row& row, SmallerSizes& smaller) {
    const bool compared = !options_.baseline.empty();
    int status = 0;
    spreads_ = spreadsWithRow(row);
    const double floor = medianOf(spreads_);
    for (std::size_t i = 0; i < options_.algorithms.size(); ++i) {
        const std::string& name = options_.algorithms[i];
        Outcome& outcome = row.cells[i];
        if (timed(outcome) && !outcome.runs.empty()) {
            summarise(outcome, floor);
            if (outcome.busyRuns > 0 && findAlgorithm(name)->threads > 1) {
                results_.waited.push_back(row.key + " " + name + " (" + std::to_string(outcome.busyRuns) + " of " +
                                          std::to_string(outcome.runs.size()) + " runs)");
            }
            smaller.seen[name].push_back({row.n, outcome.min});  // the least noisy of the runs
        } else if (!options_.measureTimes && outcome.checkCall > 0) {
            smaller.seen[name].push_back({row.n, outcome.checkCall});  // counts alone: the check's calls predict
        }
        Outcome& old = row.olds[i];
        if (compared && timed(old) && !old.runs.empty()) summarise(old, floor);
        if (compared && outcome.status == Status::Ok && old.status != Status::Ok && !old.algorithm.empty()) {
            // The baseline's failure is the cell's: its figure cannot be compared.
            outcome.status = old.status;
            outcome.note = "the baseline: " + old.note;
        }
        if (outcome.peakBytes > 0) smaller.peak[name] = {row.n, outcome.peakBytes, outcome.startBytes};
        if (outcome.status == Status::Stopped && !smaller.stoppedAt.count(name)) smaller.stoppedAt[name] = row.n;
        status |= tellFailure(row, outcome);
        noteUnsettled(row, outcome, old, floor);
        if (outcome.h < 0) outcome.h = results_.hOfRow[row.key];
        if (compared) {
            old.h = outcome.h;
            listener_.baselineCell(old);
        }
        listener_.cell(outcome);
        ++results_.done;
    }
    return status;
}

// A failed cell told on standard error, a user entry's with the point set it failed on written
// out (first pass only). Returns 1 for any failure of a user's entry, and for a WRONG hull, a
// refusal or a crash of another entry where the run has no entry of the user's or is --strict;
// else 0 (another entry's failure is then counted as a finding).
int Pass::tellFailure(const Row& row, Outcome& outcome) {
    const bool failed = outcome.status == Status::Wrong || outcome.status == Status::Refused ||
                        outcome.status == Status::Crashed || outcome.status == Status::Stopped;
    const bool user = findAlgorithm(outcome.algorithm)->origin == Origin::User;
    if (failed && user && first_ == nullptr) outcome.note += "; " + writeFailure(options_, *row.group, outcome);
    const std::string answer = hullPath(options_, row.group->shape.name, row.n, outcome.algorithm);
    if (outcome.status == Status::Wrong && !options_.hullsDir.empty() && access(answer.c_str(), F_OK) == 0) {
        outcome.note += "; its hull: " + answer;
    }
    if (outcome.status != Status::Wrong && outcome.status != Status::Refused && outcome.status != Status::Crashed &&
        !(failed && user)) {
        return 0;
    }
    const char* what = outcome.status == Status::Wrong     ? "WRONG hull"
                       : outcome.status == Status::Refused ? "refused"
                       : outcome.status == Status::Stopped ? "stopped"
                                                           : "crashed";
    listener_.failure("hull-lab: " + std::string(what) + ": " + row.group->shape.name + ", " + std::to_string(row.n) +
                    " points, " + outcome.algorithm + " (seed " + std::to_string(options_.seed) + "): " + outcome.note);
    // A run with entries of the user's judges those: the others' failures are findings.
    if (user || options_.strict || options_.entries.empty()) return 1;
    ++results_.findings;
    return 0;
}

// A cell that --precision's rounds did not bring within it, or whose comparison the extra rounds
// did not decide, added to the run's list of them.
void Pass::noteUnsettled(const Row& row, const Outcome& outcome, const Outcome& old, double floor) {
    const bool compared = !options_.baseline.empty();
    const std::string cell = row.key + " " + outcome.algorithm;
    if (options_.precision > 0 && outcome.status == Status::Ok && (!compared || old.status == Status::Ok) &&
        !precise(outcome, compared ? &old : nullptr, options_.precision, floor)) {
        double centre = outcome.median, lo = outcome.lo, hi = outcome.hi;
        if (compared) pairedRatio(outcome.runs, old.runs, centre, lo, hi);
        char text[64];
        std::snprintf(text, sizeof text, " (+-%.0f%% after %zu runs)", lo > 0 ? 100 * halfWidth(centre, lo, hi) : 100.0,
                      outcome.runs.size());
        results_.imprecise.push_back(cell + text);
    }
    if (options_.moreRounds && outcome.status == Status::Ok && old.status == Status::Ok &&
        undecided(outcome.runs, old.runs, verdictLevel_, options_.minChange)) {
        double ratio = 0, lo = 0, hi = 0;
        pairedRatio(outcome.runs, old.runs, ratio, lo, hi);
        char text[64];
        std::snprintf(text, sizeof text, " (%.3f after %zu runs)", ratio, outcome.runs.size());
        results_.imprecise.push_back(cell + text);
    }
}

}  // namespace

double runVerdictLevel(const Options& options, const std::vector<Group>& groups) {
    std::size_t cells = 0;
    for (const Group& group : groups) cells += group.sizes.size() * options.algorithms.size();
    return verdictLevel(cells, options.moreRounds ? options.maxRuns - options.runs + 1 : 1);
}

int runPass(const Options& options, const std::vector<Group>& groups, PassListener& listener,
            const std::map<std::string, Outcome>* first, const std::map<std::string, std::string>& notTimed,
            const std::string& filesDir, const volatile int* interrupted, PassResults& results) {
    Pass pass(options, listener, first, notTimed, filesDir, interrupted, results, runVerdictLevel(options, groups));
    int status = 0;
    for (const Group& group : groups) {
        status |= pass.table(group);
        if (*interrupted) break;
    }
    return status;
}

}  // namespace lab
