// The lab's entries on more than one thread, whose names end in -2t: the fastest hull on a team of
// threads, the floor for two threads, and the parallel sort a user would write. Their calls are
// timed by the wall clock: a process's processor time adds up its threads'.

#include <sched.h>

#include <algorithm>
#include <thread>

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#else
#define RUNNING_ON_VALGRIND 0
#endif

#ifdef HULL_LAB_TBB
#include <execution>
#include <tbb/global_control.h>
#endif

#include "lab.h"
#include "own/fast_hull_parts.h"
#include "own/own.h"

namespace lab {

namespace {

// The cores this process may run on. At least 1.
unsigned machineCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return unsigned(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

unsigned& threadsSetting() {
    static unsigned threads = std::min(2u, machineCores());
    return threads;
}

// The team of the process's -2t entries, made at its first call with the threads set by then.
Team& entryTeam() {
    static Team team(entryThreads());
    return team;
}

// The floor for two threads: a copy made by both, each of its half, each half read once by the
// thread that made it, and released. Below kFastHull2tFrom points one thread does it all, as the
// two-thread hull does.
Corners copyBoth(const Point* points, std::size_t n, Team& team) {
    Corners copy;
    copy.points.reset(new Point[n]);
    const unsigned parts = n >= kFastHull2tFrom ? team.size() : 1;
    std::int64_t sums[2] = {};
    const auto part = [&](unsigned t) {
        if (t >= parts) return;
        const std::size_t from = n * t / parts, to = n * (t + 1) / parts;
        std::copy(points + from, points + to, copy.points.get() + from);
        std::int64_t sum = 0;
        for (std::size_t i = from; i < to; ++i) sum += copy.points[i].x ^ copy.points[i].y;
        sums[t] = sum;
    };
    if (parts == 1) {
        part(0);
    } else {
        team.run(part);
    }
    volatile std::int64_t kept = sums[0] ^ sums[1];  // no hull: the sums only kept from being dropped
    (void)kept;
    return copy;
}

Corners fastestOnTeam(const Point* points, std::size_t n, Team& team) { return fastHull2t(points, n, team); }

// The two-thread floor on doubles, as copyBoth. O(n).
RealCorners copyBothReal(const RealPoint* points, std::size_t n, Team& team) {
    std::unique_ptr<RealPoint[]> copy(new RealPoint[n > 0 ? n : 1]);
    const unsigned parts = n >= kFastHull2tFrom ? team.size() : 1;
    double sums[2] = {};
    const auto part = [&](unsigned t) {
        if (t >= parts) return;
        const std::size_t from = n * t / parts, to = n * (t + 1) / parts;
        std::copy(points + from, points + to, copy.get() + from);
        double sum = 0;
        for (std::size_t i = from; i < to; ++i) sum += copy[i].x + copy[i].y;
        sums[t] = sum;
    };
    if (parts == 1) {
        part(0);
    } else {
        team.run(part);
    }
    volatile double kept = sums[0] + sums[1];  // no hull: the sums only kept from being dropped
    (void)kept;
    return RealCorners{};
}

// The fastest hull on doubles on the team: each thread the hull of its half of the points (its
// pass, sort and chains), then the two hulls joined. Below kFastHull2tFrom points, and where the
// pass would not run (many corners: joining two hulls of half the points each cost more than
// the second thread saved, 1.8 times one thread's time on circle), one thread. O(n) but for the
// sorts, and O(h) to join.
RealCorners fastestOnTeamReal(const RealPoint* points, std::size_t n, Team& team) {
    if (n < kFastHull2tFrom || team.size() < 2 || !fastHullPassPays(points, n)) return fastHullCorners(points, n, RealTurns::Exact);
    std::vector<RealPoint> halves[2];
    team.run([&](unsigned t) {
        if (t < 2) halves[t] = fastHullOnDoubles(points + n * t / 2, n * (t + 1) / 2 - n * t / 2, RealTurns::Exact);
    });
    const std::vector<RealPoint> joined = joinedHulls(halves[0], halves[1]);
    RealCorners corners;
    corners.points.reset(new RealPoint[joined.size() + 1]);
    std::copy(joined.begin(), joined.end(), corners.points.get());
    corners.size = joined.size();
    return corners;
}

// An entry on doubles whose calls run on the process's team, handed the points in place.
template <RealCorners (*F)(const RealPoint*, std::size_t, Team&)>
std::unique_ptr<Runner> prepareRealTeam(const std::vector<RealPoint>& points) {
    class RealTeamRunner : public Runner {
      public:
        explicit RealTeamRunner(const std::vector<RealPoint>& points) : points_(points) {}
        void call() override { sink_ = F(points_.data(), points_.size(), entryTeam()).size; }
        std::vector<reference::Pt> hull() override { return wholePoints(realHull()); }
        std::vector<RealPoint> realHull() override {
            const RealCorners corners = F(points_.data(), points_.size(), entryTeam());
            return std::vector<RealPoint>(corners.points.get(), corners.points.get() + corners.size);
        }

      private:
        std::vector<RealPoint> points_;
        volatile std::size_t sink_ = 0;
    };
    return std::make_unique<RealTeamRunner>(points);
}

// An entry whose calls run on the process's team.
template <Corners (*F)(const Point*, std::size_t, Team&)>
std::unique_ptr<Runner> prepareTeam(const std::vector<Point>& points) {
    return cornersRunner([](const Point* p, std::size_t n) { return F(p, n, entryTeam()); }, points);
}

#ifdef HULL_LAB_TBB
// What a user would write for two threads: a copy, std::sort with the parallel policy (GNU's, on
// oneTBB, its threads limited to the entries' count), Andrew's monotone chain. Counted (under
// Valgrind), its tasks all run on the calling thread: they are the same tasks (the sort splits by
// size, not by threads), but which thread steals which, and how long the other spins, would make
// every count differ, and Callgrind does not count oneTBB's own threads.
class ParallelSortRunner : public Runner {
  public:
    explicit ParallelSortRunner(const std::vector<Point>& points)
        : limit_(tbb::global_control::max_allowed_parallelism, RUNNING_ON_VALGRIND ? 1 : entryThreads()), points_(points) {}
    void call() override { sink_ = sortChain(points_).size(); }
    std::vector<reference::Pt> hull() override {
        std::vector<reference::Pt> result;
        for (const Point& p : sortChain(points_)) result.push_back({p.x, p.y});
        return result;
    }

  private:
    static std::vector<Point> sortChain(std::vector<Point> copy) {
        std::sort(std::execution::par, copy.begin(), copy.end(), [](const Point& a, const Point& b) {
            return a.x < b.x || (a.x == b.x && a.y < b.y);
        });
        return fast::cornersOfSorted(copy.data(), copy.size());
    }
    tbb::global_control limit_;
    std::vector<Point> points_;
    volatile std::size_t sink_ = 0;
};

std::unique_ptr<Runner> prepareParallelSort(const std::vector<Point>& points) {
    return std::make_unique<ParallelSortRunner>(points);
}
#endif

// An entry whose calls find the corners of the points in place, in memory of their own, and
// release it: the call is all it pays.
class CornersRunner : public Runner {
  public:
    CornersRunner(std::function<Corners(const Point*, std::size_t)> run, const std::vector<Point>& points)
        : run_(std::move(run)), points_(points) {}
    void call() override { sink_ = run_(points_.data(), points_.size()).size; }
    std::vector<reference::Pt> hull() override {
        const Corners corners = run_(points_.data(), points_.size());
        std::vector<reference::Pt> result;
        for (std::size_t i = 0; i < corners.size; ++i) result.push_back({corners.points[i].x, corners.points[i].y});
        return result;
    }

  private:
    std::function<Corners(const Point*, std::size_t)> run_;
    std::vector<Point> points_;
    volatile std::size_t sink_ = 0;
};

}  // namespace

std::unique_ptr<Runner> cornersRunner(std::function<Corners(const Point*, std::size_t)> run, const std::vector<Point>& points) {
    return std::make_unique<CornersRunner>(std::move(run), points);
}

unsigned entryThreads() { return threadsSetting(); }
void setEntryThreads(unsigned threads) { threadsSetting() = std::max(1u, threads); }

void addThreadedEntries(std::vector<Algorithm>& list) {
    const reference::Promise corners{false, true, false};
    std::vector<Algorithm> threaded = {
        {std::string(kFastestName) + "-2t", "fastest", Origin::Lab, corners, false, prepareTeam<fastestOnTeam>,
         "the lab's own on two threads: each filters and sorts half and both merge (or each sorts one side of a splitter), the two hulls joined"},
#ifdef HULL_LAB_TBB
        {"par-sort-chain-2t", "monotone chain", Origin::Lab, corners, false, prepareParallelSort,
         "std::sort with the parallel policy (oneTBB) on two threads, then the monotone chain"},
#endif
        {"copy-2t", "floor", Origin::Floor, {}, false, prepareTeam<copyBoth>,
         "no hull: a copy made by two threads, each half read by one, its release"},
    };
    for (Algorithm& a : threaded) a.threads = 2;
    threaded.front().prepareReal = prepareRealTeam<fastestOnTeamReal>;
    threaded.back().prepareReal = prepareRealTeam<copyBothReal>;
    const auto floors = std::find_if(list.begin(), list.end(), [](const Algorithm& a) { return a.origin == Origin::Floor; });
    const std::size_t at = std::size_t(floors - list.begin());
    list.insert(list.begin() + std::ptrdiff_t(at), threaded.begin(), threaded.end() - 1);
    const auto copy = std::find_if(list.begin(), list.end(), [](const Algorithm& a) { return a.name == "copy"; });
    list.insert(copy == list.end() ? list.end() : std::next(copy), threaded.back());
}

}  // namespace lab
