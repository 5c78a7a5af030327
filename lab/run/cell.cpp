// One cell of the lab: one shape, one size, one algorithm. The runner starts each cell in a fresh
// process, so the heap and caches it times have seen nothing but this cell.

#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <stdexcept>
#include <type_traits>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#endif

#include "lab.h"
#include "inputs/inputs.h"
#include "user/user.h"
#include "own/own.h"
#include "run/cell.h"

namespace lab {

namespace {

double processorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Grows the heap until the process holds `bytes`, every new page faulted in at once and then
// written, so that the sets, the copies and the calls after it find their memory mapped; with
// trimming and mmap off the heap keeps it. One madvise(MADV_POPULATE_WRITE) maps what 120,000
// faults of a page each would (480 MB: 0.07 s against 1.5 s on a VM where a fault costs 12 us);
// where the system lacks it, the writes fault the pages in. The writes are needed after the
// madvise too: on this project's VM the first access of a page from the program costs some 5 us
// more, fault or not (80 MB first written in 103 ms after the madvise, then in 3.6 ms), and a timed
// process with no untimed call paid it in its first timed call (70 ms of a 35 ms call's join at
// 5,000,000 points, a third more on the run's mean). O(bytes).
void touchHeap(double bytes) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double more = bytes - double(usage.ru_maxrss) * 1024;
    if (more <= 0) return;
    const auto size = std::size_t(more);
    char* block = static_cast<char*>(std::malloc(size));
    if (block == nullptr) return;
    constexpr std::uintptr_t kPage = 4096;
    const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(block) + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(block) + size) & ~(kPage - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
    for (std::size_t at = 0; at < size; at += kPage) static_cast<volatile char*>(block)[at] = 1;
    std::free(block);
}

}  // namespace

double predictedPeakBytes(std::int64_t n, std::int64_t m, double peak, double start) {
    if (m < 100000 || peak <= 0) return 0;
    start = std::clamp(start, 0.0, peak);
    return start + (peak - start) * double(n) / double(m);
}

std::vector<reference::Pt> referencePoints(const std::vector<Point>& points) {
    std::vector<reference::Pt> result;
    result.reserve(points.size());
    for (const Point& p : points) result.push_back({p.x, p.y});
    return result;
}

std::size_t cornerCount(const std::vector<Point>& points) {
    if (std::int64_t(points.size()) >= kQuickCheckFrom) {
        std::vector<reference::Pt> hull;
        for (const Point& p : fastHull(points)) hull.push_back({p.x, p.y});
        const std::size_t corners = reference::quickCorners({false, true, false}, hull, points);
        if (corners > 0) return corners;
    }
    return reference::corners(referencePoints(points)).size();
}

namespace {

// The sorted reference check of `hull` against `input`, for whole-number (reference::Pt) or real
// points: the start a hull without one of its own is turned to, the direction one without it runs,
// and the edge of the result beyond which a missing corner lies. O(n log n).
template <class P>
reference::Finding checkSorted(const Algorithm& algorithm, const std::vector<P>& input, std::vector<P> hull,
                              std::size_t& corners) {
    std::vector<P> sorted(input);
    std::sort(sorted.begin(), sorted.end());
    const reference::InputOf<P> reference{
        "the input", reference::corners(sorted),  // sorted already: its sort there is one pass
        [&](P p) { return std::binary_search(sorted.begin(), sorted.end(), p); },
        [&](P p) {
            return "the input's point " + std::to_string(std::find(input.begin(), input.end(), p) - input.begin() + 1);
        }};
    corners = reference.corners.size();
    if (algorithm.anyStart && !hull.empty() && !reference.corners.empty()) {
        const P start = reference.corners.front();
        auto least = std::find(hull.begin(), hull.end(), start);
        if (least != hull.end()) {
            std::rotate(hull.begin(), least, hull.end());
        } else if (std::all_of(hull.begin(), hull.end(), reference.contains)) {
            // Without a start of its own, a hull that misses the least point misses a corner.
            return {reference::Fault::Outside,
                    reference.lineOf(start) + ": " + show(start) +
                        " lies outside the hull in result, which leaves out the lowest of the leftmost points",
                    show(start)};
        }
    }
    reference::Promise promise = algorithm.promise;
    if (algorithm.anyDirection && hull.size() >= 3) {
        // The least point is a corner of any right hull: the turn there tells the direction.
        promise.clockwise = turn(hull.back(), hull[0], hull[1]) < 0;
    }
    std::vector<P> found;
    reference::Finding wrong = reference::checkFinding(promise, "result", hull, reference, found);
    if (wrong.fault == reference::Fault::Outside && found.size() >= 2) {
        // Name the edge of the result that the missing corner lies beyond.
        const int outward = promise.clockwise ? 1 : -1;  // the turn towards the outside of an edge
        for (const P& corner : reference.corners) {
            if (std::find(found.begin(), found.end(), corner) != found.end()) continue;
            for (std::size_t i = 0; i < found.size(); ++i) {
                const P a = found[i], b = found[(i + 1) % found.size()];
                if (found.size() == 2 || turn(a, b, corner) == outward) {
                    wrong.words += " (beyond its edge " + show(a) + " - " + show(b) + ")";
                    break;
                }
            }
            break;
        }
    }
    return wrong;
}

}  // namespace

reference::Finding checkResult(const Algorithm& algorithm, const std::vector<Point>& points,
                               std::vector<reference::Pt> hull, std::size_t& corners) {
    if (std::int64_t(points.size()) >= kQuickCheckFrom && hull.size() >= 2) {
        // The quick proof first; only a hull it cannot accept is sorted out against the reference.
        std::vector<reference::Pt> quick = hull;
        reference::Promise promise = algorithm.promise;
        const auto least = std::min_element(points.begin(), points.end(), [](const Point& a, const Point& b) {
            return reference::Pt{a.x, a.y} < reference::Pt{b.x, b.y};
        });
        const auto start = std::find(quick.begin(), quick.end(), reference::Pt{least->x, least->y});
        if (algorithm.anyStart && start != quick.end()) std::rotate(quick.begin(), start, quick.end());
        if (algorithm.anyDirection && quick.size() >= 3) promise.clockwise = reference::turn(quick.back(), quick[0], quick[1]) < 0;
        corners = reference::quickCorners(promise, quick, points);
        if (corners > 0) return {};
    }
    return checkSorted(algorithm, referencePoints(points), std::move(hull), corners);
}

reference::Finding checkRealResult(const Algorithm& algorithm, const std::vector<RealPoint>& points,
                                   std::vector<RealPoint> hull, std::size_t& corners) {
    return checkSorted(algorithm, points, std::move(hull), corners);
}

std::uint64_t setSeed(std::uint64_t seed, int set) { return seed + std::uint64_t(set) * 0x9E3779B97F4A7C15ull; }

// Measured at 1,000 points: 4 sets in turn still gave the sorting peers the figures of one set;
// 16 sets gave them 2.2 to 3.4 times those, and 64 sets 0.94 to 1.12 times 16 sets'. From 10,000
// points up the number of sets made no difference beyond the noise.
int defaultSets(std::int64_t n) {
    constexpr std::int64_t kSets = 16, kPoints = 160000;  // at most 16 sets, 160,000 points together
    return int(std::max<std::int64_t>(1, std::min(kSets, kPoints / std::max<std::int64_t>(n, 1))));
}

bool writeCellSets(const std::string& path, const std::string& shape, std::int64_t n, std::uint64_t seed, int sets,
                   const std::vector<Point>& first) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    bool written = true;
    for (int set = 0; set < sets && written; ++set) {
        const std::vector<Point> points =
            set == 0 && std::int64_t(first.size()) == n ? first : makeShape(shape, n, setSeed(seed, set));
        written = std::fwrite(points.data(), sizeof(Point), points.size(), out) == points.size();
    }
    written = std::fclose(out) == 0 && written;
    if (!written) std::remove(path.c_str());
    return written;
}

Job jobOf(const CellPlan& plan) {
    if (plan.count) return Job::Count;
    if (plan.runs <= 0) return Job::Check;
    return plan.check ? Job::CheckAndTime : Job::Time;
}

void setJob(CellPlan& plan, Job job, int runs) {
    plan.check = job == Job::Check || job == Job::CheckAndTime;
    plan.count = job == Job::Count;
    plan.warmUp = job == Job::Time;
    plan.runs = job == Job::Time || job == Job::CheckAndTime ? runs : 0;
}

std::vector<Point> cellPoints(const CellPlan& plan, int set, const std::vector<Point>& file) {
    if (plan.input.empty() && !plan.setsFile.empty()) {
        std::vector<Point> points(std::size_t(plan.n));
        const int fd = open(plan.setsFile.c_str(), O_RDONLY | O_CLOEXEC);
        const std::size_t bytes = points.size() * sizeof(Point);
        const off_t at = off_t(set) * off_t(bytes);
        bool whole = fd >= 0;
        for (std::size_t got = 0; whole && got < bytes;) {
            const ssize_t r = pread(fd, reinterpret_cast<char*>(points.data()) + got, bytes - got, at + off_t(got));
            whole = r > 0;
            if (whole) got += std::size_t(r);
        }
        if (fd >= 0) close(fd);
        if (!whole) throw std::runtime_error("cannot read point set " + std::to_string(set + 1) + " from " + plan.setsFile);
        return points;
    }
    if (plan.input.empty()) return makeShape(plan.shape, plan.n, setSeed(plan.seed, set));
    return plan.keepOrder ? file : inputOrder(file, setSeed(plan.seed, set));
}

std::vector<RealPoint> cellRealPoints(const CellPlan& plan, int set, const std::vector<RealPoint>& file) {
    if (plan.input.empty()) {
        std::vector<RealPoint> points = makeRealShape(plan.shape, plan.n, setSeed(plan.seed, set), plan.coordinates);
        if (plan.coordinates == Coordinates::F32) {  // float-exact: each coordinate its nearest float
            for (RealPoint& p : points) p = {nearestFloat(p.x), nearestFloat(p.y)};
        }
        return points;
    }
    return plan.keepOrder ? file : inputOrder(file, setSeed(plan.seed, set));
}

namespace {

// The heap stays as the first calls grow it. With glibc's defaults a copy of more than its mmap
// threshold (128 KiB at first) is mapped afresh and unmapped by each call, or the top of the heap is
// given back after each call: the next call faults the same pages in again. How often depended on
// what the process had done before (a process that had just checked the hulls raised the
// thresholds; one that had not did not): at 10,000 square points five of the library and array
// entries took 1.4 to 2 times as long in a process that had not, faulting 4,000 to 17,000 pages per
// 0.4 s, and libqhull twice as long in both; with no mapping and no trimming, every entry faulted
// nothing and both kinds of process gave the same figure (within 3%). For the lists from 100,000
// points the fast bins go off too: glibc hands the nodes a call freed to the next call's copy in an
// order that grows more scattered with every call, and the figure drifted with the count of calls
// (up to 2 times at 1,000,000 points); without them freed nodes merge and every copy is carved in
// address order. Where the plan says so, the heap is then grown and touched to what the calls take.
void setHeap(const CellPlan& plan, const Algorithm& algorithm) {
    if (plan.heapDefaults) return;
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, -1);
    if (algorithm.onList && plan.n >= 100000) mallopt(M_MXFAST, 0);
    if (plan.heapBytes > 0) touchHeap(plan.heapBytes);
}

// Writes an entry's WRONG hull where the plan says, in its own numbers: whole or shortest decimals
// (the hull is kept for it only where the plan names a file).
void writeAnswer(const CellPlan& plan, const std::vector<reference::Pt>& hull) {
    if (plan.answerFile.empty()) return;
    std::vector<Point> points;
    points.reserve(hull.size());
    for (const reference::Pt& p : hull) points.push_back({p.x, p.y});
    writePointFile(plan.answerFile, points);
}
void writeAnswer(const CellPlan& plan, const std::vector<RealPoint>& hull) {
    if (!plan.answerFile.empty()) writePointFile(plan.answerFile, hull);
}

// Checks the hull of set number `set` (`runner` on `points`, whole or real) into `result`: its h
// for the first set, the first wrong hull or refusal with the set it came on. Adds the call's
// processor time to `callSeconds`.
template <class P>
void checkSet(const CellPlan& plan, const Algorithm& algorithm, int set, const std::vector<P>& points, Runner& runner,
              CellResult& result, double& callSeconds) {
    const std::string which = set == 0 ? "" : (plan.input.empty() ? "point set " : "shuffled order ") +
                                                  std::to_string(set + 1) + " (seed " +
                                                  std::to_string(setSeed(plan.seed, set)) + "): ";
    constexpr bool real = std::is_same_v<P, RealPoint>;
    auto count = [&] {
        if constexpr (real) return reference::corners(points).size();
        else return cornerCount(points);
    };
    std::size_t h = 0;
    reference::Finding wrong;
    try {
        if (algorithm.origin == Origin::Floor) {
            h = count();  // a floor makes no hull to check
        } else {
            const double before = processorSeconds();
            if constexpr (real) {
                std::vector<RealPoint> hull = runner.realHull();
                callSeconds += processorSeconds() - before;
                wrong = checkRealResult(algorithm, points, plan.answerFile.empty() ? std::move(hull) : hull, h);
                if (wrong.fault != reference::Fault::None && result.wrong.empty()) writeAnswer(plan, hull);
            } else {
                std::vector<reference::Pt> hull = runner.hull();
                callSeconds += processorSeconds() - before;
                wrong = checkResult(algorithm, points, plan.answerFile.empty() ? std::move(hull) : hull, h);
                if (wrong.fault != reference::Fault::None && result.wrong.empty()) writeAnswer(plan, hull);
            }
        }
    } catch (const Refused& refused) {
        if (result.refused.empty() && result.wrong.empty()) result.failedSet = set;
        if (result.refused.empty()) result.refused = which + refused.what();
        h = count();
    } catch (const WrongResult& notAHull) {
        wrong = {reference::Fault::NotAHull, notAHull.what()};
        h = count();
    }
    if (set == 0) result.h = h;
    if (wrong.fault == reference::Fault::None) return;
    if (result.wrong.empty() && result.refused.empty()) result.failedSet = set;
    if (result.wrong.empty()) {
        result.wrong = which + wrong.words;
        result.failure.fault = wrong.fault;
        result.failure.point = wrong.point;
    }
}

// Makes each set's runner and, where the plan says so, checks its first hull: whole-number points
// (the shapes', a whole-number file's) or a real file's. A process that only checks stops at the
// sets the timed processes will reach: they take the sets in turn until the minimum time has
// passed, so once the calls so far add up to twice that, the sets after them are never timed (a
// call of 2.6 s on the circle's 10,000 points made 16 sets 42 s of checking for one set timed).
// The parent hands on the count. Returns the runners, each holding its own copy of its points.
template <class P>
std::vector<std::unique_ptr<Runner>> prepareSets(const CellPlan& plan, const Algorithm& algorithm, std::vector<P> file,
                                                 const std::function<void(int)>& checking, CellResult& result) {
    const int sets = plan.keepOrder ? 1 : std::max(1, plan.sets);
    std::vector<std::unique_ptr<Runner>> runners;
    const bool checkOnly = jobOf(plan) == Job::Check;
    double callSeconds = 0;
    for (int set = 0; set < sets; ++set) {
        if (checkOnly && set > 0 && callSeconds >= 2 * plan.minSeconds) break;
        std::vector<P> points;
        if constexpr (std::is_same_v<P, RealPoint>) points = cellRealPoints(plan, set, file);
        else points = cellPoints(plan, set, file);
        if (plan.check && checking) checking(set);
        if constexpr (std::is_same_v<P, RealPoint>) runners.push_back(algorithm.prepareReal(points));
        else runners.push_back(algorithm.prepare(points));
        if (plan.check) checkSet(plan, algorithm, set, points, *runners.back(), result, callSeconds);
    }
    result.setsChecked = plan.check ? int(runners.size()) : 0;
    if (result.setsChecked > 0) result.checkCallSeconds = callSeconds / double(result.setsChecked);
    return runners;
}

// A program's runs: its executions take the sets in turn, each timed by itself (its own rounds, or
// its whole process), until they add up to the minimum time. The first execution, already made
// (`seconds` for `executionCalls` calls), told it how long a round takes.
void timeExecutions(const CellPlan& plan, std::vector<std::unique_ptr<Runner>>& runners, double seconds,
                    long executionCalls, CellResult& result) {
    const std::size_t sets = runners.size();
    for (int run = 0; run < plan.runs; ++run) {
        double total = run == 0 ? seconds : 0;
        long calls = run == 0 ? executionCalls : 0;
        for (long execution = run == 0 ? 1 : 0; total < plan.minSeconds; ++execution) {
            runners[std::size_t(execution) % sets]->timedExecution(seconds, executionCalls);
            total += seconds;
            calls += executionCalls;
        }
        result.secondsPerCall.push_back(total / double(calls));
    }
}

// The timed runs: each repeats calls, taking the sets in turn, until the minimum time has passed;
// on the processor's clock, or the wall clock where `wall`. The clock is read after batches of
// calls, each of as many as the time left should take, at most twice the last: on this project's
// VM a read of the processor's clock is a system call of 1.6 us, and read after every call it
// added that to every call (at 1,000 points 1.8 us of `copy`'s 2.4, 18% of the fastest hull's).
void timeCalls(const CellPlan& plan, std::vector<std::unique_ptr<Runner>>& runners, bool wall, CellResult& result) {
    const std::size_t sets = runners.size();
    double (*const clock)() = wall ? wallSeconds : processorSeconds;
    for (int run = 0; run < plan.runs; ++run) {
        long calls = 0, batch = 1;
        const double start = clock();
        double elapsed = 0;
        do {
            for (const long end = calls + batch; calls < end; ++calls) runners[std::size_t(calls) % sets]->call();
            elapsed = clock() - start;
            const double perCall = elapsed / double(calls), left = plan.minSeconds - elapsed;
            batch = perCall > 0 ? std::clamp(long(left / perCall) + 1, 1L, 2 * batch) : 2 * batch;
        } while (elapsed < plan.minSeconds);
        result.secondsPerCall.push_back(elapsed / double(calls));
    }
}

// The counted calls: one on each set in turn, after one call that warms the caches and the heap as
// a timed process's does. Callgrind counts only between the two toggles (the team of the -2t
// entries counts its helper's share too, in turns on this thread); its simulated caches run all
// along. A program's executions are counted whole by the launcher, each a call.
void countCalls(const CellPlan& plan, std::vector<std::unique_ptr<Runner>>& runners, CellResult& result) {
    setTeamTurns(true);
    runners.front()->call();
    for (std::unique_ptr<Runner>& runner : runners) {
        runner->runUnder(plan.countLauncher);
        CALLGRIND_TOGGLE_COLLECT;
        setTeamCounting(true);
        runner->call();
        setTeamCounting(false);
        CALLGRIND_TOGGLE_COLLECT;
        runner->runUnder("");
    }
    result.countedCalls = long(runners.size());
}

}  // namespace

CellResult runCell(const CellPlan& plan, const Algorithm& algorithm,
                   const std::function<void(const CellResult&)>& checked, const std::function<void(int)>& checking) {
    setHeap(plan, algorithm);
    CellResult result;
    std::vector<std::unique_ptr<Runner>> runners;
    if (plan.coordinates != Coordinates::Int) {
        if (!algorithm.prepareReal) throw std::runtime_error(algorithm.name + " takes whole numbers only");
        PointFile file;  // a real shape's cells make their points; a file's are read
        if (!plan.input.empty()) file = readPointFile(plan.input, 0, plan.columns, &plan.coordinates);
        runners = prepareSets(plan, algorithm, std::move(file.reals), checking, result);
    } else {
        std::vector<Point> file;
        if (!plan.input.empty()) file = readPointFile(plan.input, plan.scale, plan.columns).points;
        runners = prepareSets(plan, algorithm, std::move(file), checking, result);
    }
    checked(result);
    // A library that gave up on one of the sets has no call to time: its refusal is the finding.
    if (!result.refused.empty()) return result;
    if (plan.count) {
        countCalls(plan, runners, result);
        return result;
    }
    if (plan.runs <= 0) return result;  // no runs: the check alone
    // No malloc_trim between runs, unlike the benchmark's loops: the pages it gives back are
    // faulted in again by the next call, which here doubled the peers' figures at 1,000,000
    // points and tripled qhull's. The runs measure the steady state of repeated calls.
    // One untimed call before the timing faults in the heap the calls grow. Where the heap was
    // grown and touched already, a list entry's process makes only its copy once (warm()): on one
    // machine a list's first copy after the touch took three times as long as the copies after
    // it, with no page fault.
    if (plan.warmUp) {
        if (plan.heapBytes > 0 && !plan.heapDefaults) {
            runners.front()->warm();
        } else {
            runners.front()->call();
        }
    }
    double seconds = 0;
    long executionCalls = 0;
    if (runners.front()->timedExecution(seconds, executionCalls)) {
        timeExecutions(plan, runners, seconds, executionCalls, result);
    } else {
        timeCalls(plan, runners, algorithm.threads > 1, result);
    }
    return result;
}

}  // namespace lab
