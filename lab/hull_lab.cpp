// hull-lab: the program's three hull functions on eight shapes of input, or on the user's own
// point files, beside CGAL, Boost.Geometry, GEOS, OpenCV and Qhull where this build has them, every
// hull checked against a reference hull. This file is the outline: read the options and the point
// files, print the context, run the cells table by table, print the spreads of a repeat report.
// The arguments are run/options.cpp's, the point files inputs/input.cpp's, the context run/context.cpp's,
// the user's plugins and programs user/'s.
//
// Each run of a cell (shape, size, algorithm) is a fresh process, its timed calls taking several
// point sets of the shape in turn; a cell predicted to take longer than the budget is skipped, and
// one that runs far past it is stopped. --repeat-report runs every cell R times and prints each
// cell's spread. Exit status: 0 every hull right, 1 a hull was WRONG, a library refused a point set
// or a cell crashed, 2 bad arguments or a bad point file (nothing was run and no file was touched).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

#include "hull_lab.h"

namespace {

using namespace lab;

volatile int interrupted = 0;  // the signal that asks the lab to stop, or 0

extern "C" void onSignal(int signal) { interrupted = signal; }

// What a table of the run holds: a shape at the sizes asked for, or a point file at its own size.
struct Group {
    Shape shape;                       // a point file's: its name as given, and what it holds
    std::vector<std::int64_t> sizes;  // ascending, each once
    std::string input;                 // the point file, or "" for a shape
    long long h = -1;                  // a point file's hull corners
    bool plain = false;                // the file was rewritten as "x;y" lines (standard input)
};

// Writes the point set a user entry's cell failed on into the failures folder; the message that
// names it, or why it could not.
std::string writeFailure(const Options& options, const Group& group, const Outcome& outcome) {
    if (mkdir(options.failuresDir.c_str(), 0755) != 0 && errno != EEXIST) {
        return "its input could not be written: " + options.failuresDir + ": " + std::strerror(errno);
    }
    const int set = std::max(0, outcome.failedSet);
    CellPlan plan;
    plan.shape = group.shape.name;
    plan.n = outcome.n;
    plan.seed = options.seed;
    plan.input = group.input;
    plan.keepOrder = options.samePoints && !group.input.empty();
    std::vector<Point> file;
    if (!group.input.empty()) {
        file = group.plain ? readPointFile(group.input, 0).points
                           : readPointFile(group.input, options.scale, options.columns).points;
    }
    const std::string path = options.failuresDir + "/" + fileNamePart(outcome.algorithm + "-" + group.shape.name) + "-" +
                             std::to_string(outcome.n) + "-set" + std::to_string(set + 1) + ".txt";
    if (!writePointFile(path, cellPoints(plan, set, file))) return "its input could not be written to " + path;
    return std::string("input: ") + path + (outcome.failedSet < 0 ? " (the cell's first point set; the failure came while its sets were timed in turn)" : "");
}

// The predicted seconds per call at n, from the same shape and algorithm at smaller sizes (their
// fastest runs): the power law through the last two, its exponent held between 1 and 2.5; from
// one size alone, n^2.
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

std::string cellKey(const std::string& shape, std::int64_t n, const std::string& algorithm) {
    return shape + " " + std::to_string(n) + " " + algorithm;
}

// One pass over every cell of the options, shape by shape, smaller sizes first, each cell in a
// fresh process. `first`, on the later passes of a repeat report, holds the first pass's outcomes:
// a cell that was not timed there is not run again. Every outcome is added to `outcomes`; `hOfRow`
// keeps each row's h across passes. Returns 1 when a hull was WRONG, a library refused a point set
// or a cell crashed, else 0.
// `notTimed` holds the user's entries that hung on a hard input, with why: their cells are skipped.
int runPass(const Options& options, const std::vector<Group>& groups, Report& report,
            const std::map<std::string, Outcome>* first, std::map<std::string, std::vector<Outcome>>& outcomes,
            std::map<std::string, long long>& hOfRow, std::size_t& done, std::size_t total,
            const std::map<std::string, std::string>& notTimed, const std::string& filesDir,
            std::vector<std::string>& imprecise) {
    int status = 0;
    std::vector<double> spreads;  // the spread of every timed cell's runs so far (logSpread)
    for (const Group& group : groups) {
        const std::string& shapeName = group.shape.name;
        const std::vector<std::int64_t>& sizes = group.sizes;
        report.beginShape(group.shape);
        std::map<std::string, std::vector<std::pair<std::int64_t, double>>> seen;  // by algorithm
        struct Peak {
            std::int64_t n = 0;
            double bytes = 0, start = 0;  // at its largest, and before the cell began
        };
        std::map<std::string, Peak> peak;  // by algorithm: the largest size run so far
        std::map<std::string, std::int64_t> stoppedAt;                            // by algorithm
        for (std::int64_t n : sizes) {
            // The row's h, for every cell, those that do not run included: the first point set's.
            // The children work this out again on their own, in processes that have not seen
            // these lists.
            const std::string row = shapeName + " " + std::to_string(n);
            if (!group.input.empty()) hOfRow[row] = group.h;
            std::vector<Point> points;  // the row's first set, where made here
            if (!hOfRow.count(row)) {
                points = makeShape(shapeName, n, options.seed);
                hOfRow[row] = (long long)cornerCount(points);
                std::string path = options.pointsDir + "/" + shapeName + "-" + std::to_string(n) + ".txt";
                if (!options.pointsDir.empty() && !writePointFile(path, points)) {
                    std::cerr << "hull-lab: cannot write " << path << '\n';
                    status = 1;
                }
            }
            const int sets = options.sets > 0 ? options.sets : defaultSets(n);
            std::string setsFile;  // where the row's processes read their sets, or "": each makes its own
            if (group.input.empty() && n >= kSharedSetsFrom && !filesDir.empty()) {
                setsFile = filesDir + "/" + shapeName + "-" + std::to_string(n) + ".points";
                if (!writeCellSets(setsFile, shapeName, n, options.seed, sets, points)) setsFile.clear();
            }
            points = std::vector<Point>();
            // Each cell's plan, and what it comes to when it does not run.
            std::vector<CellPlan> plans;
            std::vector<double> predictedPeak(options.algorithms.size(), 0);  // bytes, from smaller sizes
            std::vector<Outcome> cells(options.algorithms.size());
            std::vector<std::size_t> running;  // the cells of the row that run
            for (std::size_t i = 0; i < options.algorithms.size(); ++i) {
                const std::string& name = options.algorithms[i];
                CellPlan plan;
                plan.shape = shapeName;
                plan.n = n;
                plan.seed = options.seed;
                plan.algorithm = name;
                plan.runs = 1;  // a process per run
                plan.minSeconds = options.minSeconds;
                plan.sets = sets;
                plan.deadline = 3 * options.budget + 2;
                plan.heapDefaults = options.heapDefaults;
                plan.input = group.input;
                plan.scale = group.plain ? 0 : options.scale;
                plan.keepOrder = options.samePoints && !group.input.empty();
                plan.columns = group.plain ? Columns{} : options.columns;
                plan.entry = findAlgorithm(name)->entry;
                plan.filesDir = filesDir;
                plan.setsFile = setsFile;
                plans.push_back(plan);
                const std::string key = cellKey(shapeName, n, name);
                double predicted = predict(seen[name], n);
                // Memory grows with n: predicted from the largest size run so far.
                const double bytes = peak.count(name) ? predictedPeakBytes(n, peak[name].n, peak[name].bytes, peak[name].start) : 0;
                predictedPeak[i] = bytes;
                Outcome& outcome = cells[i];
                outcome = Outcome{shapeName, n, name, -1, Status::Skipped, 0, 0, 0, {}, 0, ""};
                if (first != nullptr && first->at(key).status != Status::Ok && first->at(key).status != Status::Wrong) {
                    outcome = first->at(key);
                } else if (notTimed.count(name)) {
                    outcome.note = notTimed.at(name);
                } else if (stoppedAt.count(name)) {
                    // It ran past the deadline on fewer points: on more it would only do so again.
                    outcome.note = "stopped at " + std::to_string(stoppedAt[name]) + " points";
                } else if (first == nullptr && bytes > 0.8 * availableBytes()) {
                    // Skipped rather than killed by the system when it runs out.
                    char note[96];
                    std::snprintf(note, sizeof note, "predicted %.1f GB of memory; %.1f GB available", bytes / 1e9,
                                  availableBytes() / 1e9);
                    outcome.median = predicted;
                    outcome.note = note;
                } else if (first == nullptr && predicted > 0 &&
                           predicted * (2 * options.runs +
                                        std::min<double>(sets, 1 + std::ceil(2 * options.minSeconds / predicted))) >
                               options.budget) {
                    // A call longer than the minimum time makes a run alone; the check process makes
                    // the first call on every set the runs will reach (until twice the minimum time),
                    // and each run is a process of its own that makes one call to warm up.
                    char note[64];
                    std::snprintf(note, sizeof note, "predicted %.1e s per call", predicted);
                    outcome.median = predicted;
                    outcome.note = note;
                } else {
                    running.push_back(i);
                }
            }
            // First each cell's hulls are checked, in a process of its own that times nothing.
            // Then rounds: round r runs the r-th process of every cell still running, in an
            // order of its own, so that a slow spell of the machine falls on every cell of the row
            // alike. Every timed process is the same: it builds the sets, makes one untimed call
            // (a fresh process's first call faults in the heap it grows: qhull on 1,000,000 square
            // points took 0.49 to 0.66 s as the first call, 0.10 s warm), then times its run. A
            // process that had checked the hulls before timing had a heap shaped by the check: at
            // 100,000 points the list entry `incremental` took 1.6 times as long there.
            // With a baseline each cell is run by both builds, the new one first in even rounds and
            // the baseline first in odd ones: over two rounds, A B B A.
            std::vector<Outcome> olds = cells;  // the baseline's: skipped where this build's are
            std::vector<double> checkWall(cells.size() * 2, 0);  // the check processes' time, new and old
            std::vector<double> checkPeak(cells.size() * 2, 0);  // and their peak memory
            std::vector<int> setsChecked(cells.size() * 2, 0);   // and the sets they checked (0: all)
            std::mutex progressLock;  // the checks run side by side
            // What a cell's timed processes do before their timing. From kTouchedHeapFrom points
            // without a baseline their heap is grown and faulted in first: then the entries on
            // arrays go straight to their timing, those on lists make their copy once (warm()),
            // and only the user's entries make an untimed call. Elsewhere every entry makes one.
            const bool heapTouched = options.baseline.empty() && n >= kTouchedHeapFrom;
            auto warmsUp = [&](const Algorithm& algorithm) {
                return !heapTouched || algorithm.onList || algorithm.origin == Origin::User;
            };
            auto makesUntimedCall = [&](const Algorithm& algorithm) {
                return !heapTouched || algorithm.origin == Origin::User;
            };
            auto runOne = [&](std::size_t i, int round, bool old, std::size_t k) {
                Outcome& outcome = old ? olds[i] : cells[i];
                const bool check = round < 0;
                if (!check && outcome.status != Status::Ok && outcome.status != Status::Wrong) return;
                CellPlan plan = plans[i];
                plan.check = check;
                plan.warmUp = !check;
                if (check) plan.runs = 0;  // the check's calls, no timing
                // The timed processes take only the sets their check reached (with a baseline, the
                // sets both builds' checks reached), which is all the sets their time lets them take.
                for (int side = 0; !check && side < 2; ++side) {
                    const int reached = setsChecked[2 * i + std::size_t(side)];
                    if (reached > 0) plan.sets = std::min(plan.sets, reached);
                }
                const double checkedPeak = checkPeak[2 * i + (old ? 1 : 0)];
                const Algorithm& algorithm = *findAlgorithm(plan.algorithm);
                if (heapTouched) {
                    plan.heapBytes = check ? predictedPeak[i] : checkedPeak;
                    if (!check && plan.heapBytes > 0 && !warmsUp(algorithm)) plan.warmUp = false;
                }
                if (old) {
                    plan.program = options.baseline;
                    if (options.baselineEntries.count(plan.algorithm)) plan.entry = options.baselineEntries.at(plan.algorithm);
                }
                {
                    std::lock_guard<std::mutex> hold(progressLock);
                    report.progress(plan, done + k, total, round, std::max(round + 1, options.runs));
                }
                Outcome next = runChild(plan, &interrupted);
                if (interrupted) return;
                outcome.wall += next.wall;
                if (check) {
                    checkWall[2 * i + (old ? 1 : 0)] = next.wall;
                    checkPeak[2 * i + (old ? 1 : 0)] = next.peakBytes;
                    setsChecked[2 * i + (old ? 1 : 0)] = next.setsChecked;
                    next.wall = outcome.wall;
                    outcome = next;
                    if (old && outcome.note.empty() && outcome.status == Status::Crashed) outcome.note = "in the baseline";
                    return;
                }
                outcome.peakBytes = std::max(outcome.peakBytes, next.peakBytes);
                if (next.status != Status::Ok) {  // the cell ends with the first run that does not end well
                    next.h = outcome.h;
                    next.peakBytes = outcome.peakBytes;
                    next.runs = outcome.runs;
                    next.wall = outcome.wall;
                    outcome = next;
                    return;
                }
                outcome.runs.push_back(next.runs.front());
            };
            const bool compared = !options.baseline.empty();
            auto timed = [](const Outcome& o) { return o.status == Status::Ok || o.status == Status::Wrong; };
            // The least spread an interval is given: the median spread of the run's cells so far,
            // this row's included. A cell's few runs may agree by chance; the machine's typical
            // cell says how far another run of it may land.
            auto withRow = [&] {
                std::vector<double> all = spreads;
                for (const Outcome& o : cells) {
                    if (timed(o) && o.runs.size() > 1) all.push_back(logSpread(o.runs));
                }
                return all;
            };
            auto floorSpread = [&] { return medianOf(withRow()); };
            // Whether a cell has its figure as precise as asked (with a baseline: its ratio), or
            // cannot get there within the runs and the budget it has.
            auto needsMore = [&](std::size_t i) {
                const Outcome& o = cells[i];
                if (!timed(o) || (compared && !timed(olds[i]))) return false;
                if (int(o.runs.size()) >= options.maxRuns) return false;
                const double perRun = (o.wall - checkWall[2 * i]) / double(o.runs.size()) * (compared ? 2 : 1);
                const double spent = o.wall + (compared ? olds[i].wall : 0);
                if (spent + perRun > options.budget) return false;
                if (options.precision > 0) return !precise(o, compared ? &olds[i] : nullptr, options.precision, floorSpread());
                return compared && options.moreRounds && undecided(o.runs, olds[i].runs, report.verdictLevel(), options.minChange);
            };
            for (int round = -1; !interrupted; ++round) {
                std::vector<std::size_t> now;  // the cells this round runs
                for (std::size_t i : running) {
                    if (round < options.runs || ((options.precision > 0 || options.moreRounds) && needsMore(i))) now.push_back(i);
                }
                if (round >= options.runs && now.empty()) break;
                const auto schedule = roundSchedule(now, options.seed, row, round, compared);
                std::atomic<std::size_t> next{0};
                auto work = [&] {
                    for (std::size_t k = next++; k < schedule.size() && !interrupted; k = next++) {
                        runOne(schedule[k].first, round, schedule[k].second, compared ? k / 2 : k);
                    }
                };
                // The checks time nothing: one on each core. The timed processes run alone.
                std::vector<std::thread> helpers;
                const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
                for (unsigned c = 1; round < 0 && c < cores; ++c) helpers.emplace_back(work);
                work();
                for (std::thread& helper : helpers) helper.join();
                if (round < 0 && !interrupted) {
                    // A cell whose own check shows that its runs would take more than three times
                    // the budget (where a process of it would be stopped) is not timed: its
                    // prediction from the smaller sizes was far off (`cgal-gift-wrapping` on 10^7
                    // `line` points: predicted 0.5 s a call, took 28.5 s). Larger sizes predict from
                    // the check's call.
                    for (std::size_t i : running) {
                        Outcome& o = cells[i];
                        const double call = o.checkCall;
                        if (o.status != Status::Ok || call <= 0 || (compared && olds[i].status != Status::Ok)) continue;
                        const bool warms = makesUntimedCall(*findAlgorithm(o.algorithm));
                        auto run = [&](double c) { return std::max(options.minSeconds, c) + (warms ? c : 0); };
                        const double oldCall = olds[i].checkCall > 0 ? olds[i].checkCall : call;
                        const double timing = options.runs * (run(call) + (compared ? run(oldCall) : 0));
                        if (timing <= 3 * options.budget) continue;
                        seen[o.algorithm].push_back({n, call});
                        char note[160];
                        std::snprintf(note, sizeof note,
                                      "its check's call took %.2g s: its %d runs would take %.2g s, over three times "
                                      "the budget of %g s",
                                      call, options.runs, timing, options.budget);
                        for (Outcome* side : {&o, &olds[i]}) {
                            side->status = Status::Skipped;
                            side->note = note;
                        }
                    }
                }
            }
            if (!setsFile.empty()) std::remove(setsFile.c_str());
            if (interrupted) return status;
            spreads = withRow();
            const double floor = medianOf(spreads);
            for (std::size_t i = 0; i < options.algorithms.size(); ++i) {
                const std::string& name = options.algorithms[i];
                Outcome& outcome = cells[i];
                if ((outcome.status == Status::Ok || outcome.status == Status::Wrong) && !outcome.runs.empty()) {
                    summarise(outcome, floor);
                    seen[name].push_back({n, outcome.min});  // the least noisy of the runs
                }
                Outcome& old = olds[i];
                if (compared && (old.status == Status::Ok || old.status == Status::Wrong) && !old.runs.empty()) summarise(old, floor);
                if (compared && outcome.status == Status::Ok && old.status != Status::Ok && !old.algorithm.empty()) {
                    // The baseline's failure is the cell's: its figure cannot be compared.
                    outcome.status = old.status;
                    outcome.note = "the baseline: " + old.note;
                }
                if (outcome.peakBytes > 0) peak[name] = {n, outcome.peakBytes, outcome.startBytes};
                if (outcome.status == Status::Stopped && !stoppedAt.count(name)) stoppedAt[name] = n;
                const bool failed = outcome.status == Status::Wrong || outcome.status == Status::Refused ||
                                    outcome.status == Status::Crashed || outcome.status == Status::Stopped;
                if (failed && findAlgorithm(name)->origin == Origin::User && first == nullptr) {
                    outcome.note += "; " + writeFailure(options, group, outcome);
                }
                if (outcome.status == Status::Wrong || outcome.status == Status::Refused ||
                    outcome.status == Status::Crashed || (failed && findAlgorithm(name)->origin == Origin::User)) {
                    const char* what = outcome.status == Status::Wrong     ? "WRONG hull"
                                       : outcome.status == Status::Refused ? "refused"
                                       : outcome.status == Status::Stopped ? "stopped"
                                                                           : "crashed";
                    std::cerr << "hull-lab: " << what << ": "
                              << shapeName << ", " << n << " points, " << name << " (seed " << options.seed
                              << "): " << outcome.note << '\n';
                    status = 1;
                }
                if (options.precision > 0 && outcome.status == Status::Ok && (!compared || old.status == Status::Ok) &&
                    !precise(outcome, compared ? &old : nullptr, options.precision, floor)) {
                    double centre = outcome.median, lo = outcome.lo, hi = outcome.hi;
                    if (compared) pairedRatio(outcome.runs, old.runs, centre, lo, hi);
                    char text[64];
                    std::snprintf(text, sizeof text, " (+-%.0f%% after %zu runs)", lo > 0 ? 100 * halfWidth(centre, lo, hi) : 100.0,
                                  outcome.runs.size());
                    imprecise.push_back(shapeName + " " + std::to_string(n) + " " + name + text);
                }
                if (options.moreRounds && outcome.status == Status::Ok && old.status == Status::Ok &&
                    undecided(outcome.runs, old.runs, report.verdictLevel(), options.minChange)) {
                    double ratio = 0, lo = 0, hi = 0;
                    pairedRatio(outcome.runs, old.runs, ratio, lo, hi);
                    char text[64];
                    std::snprintf(text, sizeof text, " (%.3f after %zu runs)", ratio, outcome.runs.size());
                    imprecise.push_back(shapeName + " " + std::to_string(n) + " " + name + text);
                }
                if (outcome.h < 0) outcome.h = hOfRow[row];
                if (compared) {
                    old.h = outcome.h;
                    report.baselineCell(old);
                }
                report.cell(outcome);
                outcomes[cellKey(shapeName, n, name)].push_back(outcome);
                ++done;
            }
            report.endRow();
        }
        report.endShape();
    }
    return status;
}

// The repeat report: per shape a table of each cell's spread, the largest of its medians over the
// smallest, then the largest spreads.
void printSpreads(const Options& options, const std::vector<Group>& groups,
                  const std::map<std::string, std::vector<Outcome>>& outcomes) {
    auto spreadOf = [&](const std::string& key, double& spread) {
        double least = 0, most = 0;
        auto it = outcomes.find(key);
        if (it == outcomes.end() || int(it->second.size()) < options.repeat) return false;
        for (const Outcome& o : it->second) {
            if (o.status != Status::Ok && o.status != Status::Wrong) return false;
            least = least == 0 ? o.median : std::min(least, o.median);
            most = std::max(most, o.median);
        }
        spread = least > 0 ? most / least : 0;
        return least > 0;
    };
    auto width = [](const std::string& name) { return int(std::max<std::size_t>(name.size(), 6) + 2); };
    std::cout << "Spread of each cell's median over " << options.repeat
              << " runs, each in a fresh process: largest / smallest (- : not timed in every run)\n\n";
    std::pair<double, std::string> worstList{0, ""}, worst{0, ""};
    for (const Group& group : groups) {
        const std::string& shape = group.shape.name;
        const std::vector<std::int64_t>& sizes = group.sizes;
        std::cout << shape << ":\n" << std::setw(9) << "n";
        for (const std::string& name : options.algorithms) std::cout << std::setw(width(name)) << name;
        std::cout << '\n';
        for (std::int64_t n : sizes) {
            std::cout << std::setw(9) << n;
            for (const std::string& name : options.algorithms) {
                const std::string key = cellKey(shape, n, name);
                double spread = 0;
                char text[32] = "-";
                if (spreadOf(key, spread)) {
                    std::snprintf(text, sizeof text, "%.2f", spread);
                    worst = std::max(worst, {spread, key});
                    if (n >= 100000 && findAlgorithm(name)->origin == Origin::Program) worstList = std::max(worstList, {spread, key});
                }
                std::cout << std::setw(width(name)) << text;
            }
            std::cout << '\n';
        }
        std::cout << '\n';
    }
    char line[160];
    if (!worstList.second.empty()) {
        std::snprintf(line, sizeof line, "largest spread, the program's list cells from 100,000 points: %.2f (%s)\n",
                      worstList.first, worstList.second.c_str());
        std::cout << line;
    }
    if (!worst.second.empty()) {
        std::snprintf(line, sizeof line, "largest spread, every cell: %.2f (%s)\n", worst.first, worst.second.c_str());
        std::cout << line;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--cell") return cellMain(argc, argv);
    if (argc >= 2 && std::string(argv[1]) == "--judge") return judgeMain(argc, argv);
    Options options;
    std::string filesDir;  // the run's folder of point files for programs and standard input
    std::vector<Group> groups;
    std::vector<std::pair<std::string, std::string>> inputLines;  // what each point file held
    int tsvFd = -1;
    try {
        options = parseOptions(argc, argv);  // every argument and output is checked before anything is written
        if (options.help) {
            std::cout << usage() << '\n';
            return 0;
        }
        if (options.version) {
            std::cout << versionLine() << '\n';
            return 0;
        }
        if (options.list) {
            std::cout << listing() << '\n';
            return 0;
        }
        for (const std::string& name : options.shapes) {
            for (const Shape& s : shapes()) {
                if (s.name == name) groups.push_back({s, options.sizes, "", -1, false});
            }
        }
        // Every point file read and checked whole before any cell runs or any file is written.
        const bool programs = std::any_of(options.entries.begin(), options.entries.end(),
                                          [](const UserEntry& e) { return e.kind == UserEntry::Program; });
        // The folder also holds the large rows' point sets, made once and read by every process.
        const bool large = !groups.empty() && std::any_of(options.sizes.begin(), options.sizes.end(),
                                                          [](std::int64_t n) { return n >= kSharedSetsFrom; });
        if (programs || large || std::count(options.inputs.begin(), options.inputs.end(), "-") > 0) {
            const char* tmp = std::getenv("TMPDIR");
            std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/hull-lab-XXXXXX";
            if (mkdtemp(pattern.data()) == nullptr) {
                throw BadArgument{"cannot make a folder for the run's point files: " + pattern + ": " + std::strerror(errno)};
            }
            filesDir = pattern;
        }
        for (const std::string& path : options.inputs) {
            PointFile file;
            const std::string name = path == "-" ? "standard-input" : path;
            try {
                file = readPointFile(path, options.scale, options.columns);
            } catch (const InputError& bad) {
                std::cerr << "hull-lab: " << (path == "-" ? "standard input" : path)
                          << (bad.line > 0 ? ":" + std::to_string(bad.line) : "") << ": " << bad.what() << '\n';
                if (!filesDir.empty()) std::filesystem::remove_all(filesDir);
                return 2;
            }
            const auto n = std::int64_t(file.points.size());
            const long long h = (long long)cornerCount(file.points);
            // A rate only where the file is long enough for one to mean anything.
            char size[96];
            const double mb = double(file.bytes) / 1e6;
            if (file.bytes < 1000000) std::snprintf(size, sizeof size, "%zu bytes", file.bytes);
            else std::snprintf(size, sizeof size, "%.1f MB read in %.3f s (%.0f MB/s)", mb, file.seconds,
                               mb / std::max(file.seconds, 1e-9));
            const std::string summary = std::to_string(n) + (n == 1 ? " point (" : " points (") + file.format + "), " + size;
            inputLines.emplace_back("input " + name, summary);
            // Standard input is read once: its points go to the run's folder, where the cells read them.
            std::string source = path;
            if (path == "-") {
                source = filesDir + "/standard-input.txt";
                if (!writePointFile(source, file.points)) throw BadArgument{"cannot write " + source};
            }
            groups.push_back({Shape{name, summary, true}, {n}, source, h, path == "-"});
        }
        if (!options.pointsDir.empty() && mkdir(options.pointsDir.c_str(), 0755) != 0 && errno != EEXIST) {
            throw BadArgument{"cannot make the points folder " + options.pointsDir + ": " + std::strerror(errno)};
        }
        if (!options.tsv.empty()) {
            tsvFd = open(options.tsv.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (tsvFd < 0) throw BadArgument{"cannot write " + options.tsv + ": " + std::strerror(errno)};
        }
    } catch (const BadArgument& bad) {
        std::cerr << "hull-lab: " << bad.message << '\n';
        if (bad.withUsage) std::cerr << "hull-lab --help lists the options, hull-lab --list the shapes and entries\n";
        if (!filesDir.empty()) std::filesystem::remove_all(filesDir);
        return 2;
    }

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const std::string sets = options.sets == 1   ? "every call on the same points"
                             : options.sets > 1 ? "each call on the next of " + std::to_string(options.sets) + " point sets"
                             : options.inputs.empty() ? "each call on the next of the cell's point sets"
                                                      : "each call on the next of the cell's point sets (a file's: shuffled orders)";
    Report report(options.algorithms, options.runs, options.budget, tsvFd, sets, options.repeat == 0,
                  options.relative);
    std::vector<std::pair<std::string, std::string>> context = runContext();
    context.insert(context.end(), inputLines.begin(), inputLines.end());
    std::string more;  // the rounds a cell may get beyond the fixed ones
    if (options.precision > 0 || options.moreRounds) {
        char within[48];
        std::snprintf(within, sizeof within, "not yet within +-%g%%", 100 * options.precision);
        more = ", then up to " + std::to_string(options.maxRuns) + " for the cells " +
               (options.precision > 0 ? within : "not yet decided");
    }
    context.emplace_back("rounds", std::to_string(options.runs) + (options.runs == 1 ? " round" : " rounds") +
                                       " of a process per cell" + more +
                                       ", the cells of a row in an order shuffled each round from seed " +
                                       std::to_string(options.seed));
    for (const UserEntry& e : options.entries) {
        context.emplace_back("entry " + e.name, e.kind == UserEntry::Plugin
                                                    ? "plugin " + e.path + ", " + e.symbol + (e.f64 ? " (doubles)" : " (int64)")
                                                    : "program '" + e.command + "'");
    }
    // The judge, before any cell: every entry of the user's on the hard inputs.
    int status = 0;
    std::map<std::string, std::string> notTimed;
    std::vector<std::string> verdicts;
    const double judgeDeadline = std::clamp(options.budget, 1.0, 10.0);
    for (const UserEntry& e : options.entries) {
        const std::vector<Verdict> list = judge(e, judgeDeadline, filesDir, options.failuresDir, &interrupted);
        verdicts.push_back(verdictLines(e, list));
        for (const Verdict& v : list) {
            if (v.status != Status::Ok) status = 1;
            if (v.status == Status::Stopped) notTimed[e.name] = "stopped on the hard input " + v.input->name;
        }
    }
    std::vector<std::string> warnings = contextWarnings();
    if (!options.baseline.empty()) {
        // The baseline's build beside this one's; a difference in what builds the code is named.
        std::size_t cells = 0;
        for (const Group& group : groups) cells += group.sizes.size() * options.algorithms.size();
        report.setBaseline(options.minChange, findAlgorithm("copy") != nullptr ? "copy" : "", cells,
                           options.moreRounds ? options.maxRuns - options.runs + 1 : 1);
        std::map<std::string, std::string> mine(context.begin(), context.end());
        context.emplace_back("baseline", options.baseline);
        for (const auto& [name, value] : baselineContext(options.baseline)) {
            if (name != "version" && name != "compiler" && name != "flags" && name != "build type" && name != "libraries") continue;
            context.emplace_back("baseline " + name, value);
            if (name != "version" && mine[name] != value) {
                warnings.push_back("the baseline differs in its " + name + " (" + value + " against " + mine[name] +
                                   "): its figures measure that too");
            }
        }
    }
    report.begin(context, warnings, verdicts);
    const int passes = std::max(1, options.repeat);
    std::size_t total = 0;
    for (const Group& group : groups) total += std::size_t(passes) * group.sizes.size() * options.algorithms.size();
    std::size_t done = 0;
    std::map<std::string, std::vector<Outcome>> outcomes;
    std::map<std::string, long long> hOfRow;
    std::map<std::string, Outcome> first;
    std::vector<std::string> imprecise;  // cells that --precision's rounds did not bring within it
    for (int pass = 0; pass < passes && !interrupted; ++pass) {
        status |= runPass(options, groups, report, pass == 0 ? nullptr : &first, outcomes, hOfRow, done, total, notTimed,
                          filesDir, imprecise);
        if (pass == 0) {
            for (const auto& [key, list] : outcomes) first[key] = list.front();
        }
    }
    report.finish();
    if (options.repeat > 0 && !interrupted) printSpreads(options, groups, outcomes);
    if (!imprecise.empty() && !interrupted) {
        if (options.precision > 0) {
            std::cout << imprecise.size() << (imprecise.size() == 1 ? " cell" : " cells") << " did not get within +-"
                      << 100 * options.precision << "% in " << options.maxRuns << " runs or the budget:";
        } else {
            std::cout << imprecise.size() << (imprecise.size() == 1 ? " cell was" : " cells were") << " not decided in "
                      << options.maxRuns << " runs or the budget (new / old off 1 by " << 50 * options.minChange
                      << "% or more, called the same: the noise may hide a change):";
        }
        for (std::size_t i = 0; i < imprecise.size(); ++i) std::cout << (i % 3 == 0 ? "\n  " : "; ") << imprecise[i];
        std::cout << std::endl;
    }
    if (tsvFd >= 0 && close(tsvFd) != 0) {
        std::cerr << "hull-lab: cannot write " << options.tsv << ": " << std::strerror(errno) << '\n';
        status = 1;
    }
    if (options.failSlower > 0 && report.slowestRatio() > 1 + options.failSlower) {
        char line[160];
        std::snprintf(line, sizeof line, "hull-lab: a cell is %.1f%% slower than the baseline, more than --fail-slower %g%%\n",
                      100 * (report.slowestRatio() - 1), 100 * options.failSlower);
        std::cerr << line;
        status = 1;
    }
    if (!filesDir.empty()) std::filesystem::remove_all(filesDir);
    if (interrupted) {
        std::signal(interrupted, SIG_DFL);
        std::raise(interrupted);
    }
    return status;
}
