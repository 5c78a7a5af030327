// The lab's own hulls (own/): the program's three functions on arrays, Chan's algorithm and the
// fastest exact hull.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "lab.h"

namespace lab {

// The program's three functions on arrays (own/ours_array.cpp). Each makes the decisions of its list
// form in main.cpp and returns the same points in the same order on every input: the hull from
// the lowest of the leftmost points, incremental and gift wrapping clockwise, quickhull
// counter-clockwise; see main.cpp for their edge points and degenerate results. O(n log n),
// O(n h), O(n h) at worst; one copy of the points per call.
std::vector<Point> incrementalArray(std::vector<Point> points);
std::vector<Point> giftWrappingArray(std::vector<Point> points);
std::vector<Point> qhullArray(std::vector<Point> points);

// The same three on doubles, each sign exact (RealTurns::Exact) or a plain rounded product
// (RealTurns::Plain, the textbook code, not exact).
enum class RealTurns { Exact, Plain };
std::vector<RealPoint> incrementalArray(std::vector<RealPoint> points, RealTurns turns);
std::vector<RealPoint> giftWrappingArray(std::vector<RealPoint> points, RealTurns turns);
std::vector<RealPoint> qhullArray(std::vector<RealPoint> points, RealTurns turns);

// Chan's algorithm (own/chan.cpp): the hull's corners counter-clockwise (y pointing up) from the
// lowest of the leftmost points, no point on a hull edge, each corner once. Copies of one point
// give it once; points all on one line give its two ends; no points give none. O(n log h) for h
// corners; O(n) memory beyond the copy. Exact for |coordinate| < 2^30. The first round's group
// size is 2^(2^firstRound): 256 by default; 1 gives Chan's own schedule, from groups of 4.
std::vector<Point> chan(std::vector<Point> points, unsigned firstRound = 3);
// The same on doubles, every turn exact: right on every finite double.
std::vector<RealPoint> chan(std::vector<RealPoint> points, unsigned firstRound = 3);

// The points' corners as the fastest hull gives them, in memory of its own.
struct Corners {
    std::unique_ptr<Point[]> points;
    std::size_t size = 0;
};

// The lab's fastest exact hull (own/fast_hull.cpp): the corners counter-clockwise from the lowest
// of the leftmost points, none on an edge, each once (as chan). A sample of the points chooses the
// path: where its hull has few corners and the input is small or thin, the array quickhull,
// reduced to the corners; from kFastHullPassFrom points, a throw-away pass (AVX-512, AVX2 or one
// point at a time) reads the points once and keeps those outside a polygon of the sample hull's
// corners; what is left, sorted as 62-bit keys (from kFastHullKeysFrom points: by vqsort, or a
// radix sort where the build has no Highway) or by std::sort, goes to a monotone chain, and the
// corners are written where the survivors were. O(n) but for m survivors sorted by comparison,
// O(m log m), and the quickhull path's O(n h). Exact for |coordinate| < 2^30. `paths` forces
// each path for the tests: the quickhull path, the pass, the sort of keys (and which: vqsort or
// the radix sort), and the pass's AVX2 or AVX-512 code where the processor has it.
struct FastHullPaths {
    enum Choice { Auto, Off, On };
    Choice filter = Auto, radix = Auto, quickhull = Auto;
    Choice vector = Auto;  // with keys: On vqsort, Off the radix sort, Auto vqsort where the build has it
    Choice split = Auto;   // fastHull2t: On splits the work whatever the size, where it can
    bool avx2 = true;      // the pass in AVX2 where the processor has it (else one point at a time)
    bool avx512 = true;    // the pass in AVX-512 where the processor has it (else as avx2 says)
};
constexpr std::size_t kFastHullDecideFrom = 512, kFastHullPassFrom = 32768, kFastHullKeysFrom = 512;
constexpr std::size_t kFastHullSmallSampleBelow = 4096;  // the sample that decides: 32 points below, 64 from
// The entry's form reads the caller's points in place and writes only what it keeps to memory
// of its own: the pass's survivors (every point's key where there is no pass).
Corners fastHull(const Point* points, std::size_t n, FastHullPaths paths = {});
std::vector<Point> fastHull(std::vector<Point> points, FastHullPaths paths = {});
bool fastHullHasAvx2();         // whether this processor runs the pass's AVX2 code
bool fastHullHasAvx512();       // whether this processor runs the pass's AVX-512 code
bool fastHullHasVectorSort();   // whether this build has vqsort (Highway)

// The fastest exact hull on doubles (own/fast_hull_real.cpp): the corners counter-clockwise from
// the lowest of the leftmost points, none on an edge, each once, right on every finite double. From
// 4,096 points a throw-away pass (two boxes inside a polygon of the sample hull's corners, compared
// eight points at a time in AVX-512, then the polygon's filtered turns) keeps the points that can
// be corners in the copy's own memory; they are sorted as 128-bit keys by vqsort (std::sort
// without Highway) and a monotone chain with exact turns finds the corners. O(n) but for the
// survivors' sort. RealTurns::Plain: the same steps in plain doubles, not exact (what exactness costs).
std::vector<RealPoint> fastHullOnDoubles(std::vector<RealPoint> points, RealTurns turns);
// The entry's form: the caller's points read in place, only what is kept written to memory of its
// own, where the corners are returned (as the hull on whole numbers does).
struct RealCorners {
    std::unique_ptr<RealPoint[]> points;
    std::size_t size = 0;
};
RealCorners fastHullCorners(const RealPoint* points, std::size_t n, RealTurns turns);
// Whether the fastest hull on doubles runs its throw-away pass on these points (from 4,096 points,
// where its sample says that half of them or more would go). O(1,024 log 1,024).
bool fastHullPassPays(const RealPoint* points, std::size_t n);
std::vector<RealPoint> fastHullOnDoubles(const RealPoint* points, std::size_t n, RealTurns turns);

// The hull of the corners of two hulls as fastHullOnDoubles gives them: their corners merged into
// the point order (each hull's lower and upper chains are already in it) and one monotone chain,
// every turn exact. O(h).
std::vector<RealPoint> joinedHulls(const std::vector<RealPoint>& a, const std::vector<RealPoint>& b);

// A double as a 64-bit key whose unsigned order is the doubles' order, -0 and 0 one key; and back
// (0 for -0). O(1).
std::uint64_t realOrderKey(double value);
double realOfOrderKey(std::uint64_t key);

// The floor of the sort on doubles: points[0, m) sorted into the point order as the fastest hull
// on doubles sorts them (128-bit keys by vqsort, or std::sort); with `from`, from[0, m) sorted into
// points[0, m). O(m log m).
void sortRealPoints(RealPoint* points, std::size_t m, const RealPoint* from = nullptr);

// The fastest hull's sort (own/fast_hull.cpp): points[0, m) as 62-bit keys whose unsigned order is
// the point order (x + 2^30 in bits 31 to 61, y + 2^30 below), written over the points' own memory
// and sorted; returns where the sorted keys are, the memory's first m words or the next m (the
// other m are free). Auto and Vector: vqsort where the build has it (else the radix sort).
// O(m) (radix) or O(m log m) (vqsort). |coordinate| < 2^30.
enum class KeySort { Auto, Radix, Vector };
std::uint64_t* sortedKeys(Point* points, std::size_t m, KeySort how = KeySort::Auto);

// The threads of the lab's two-thread entries (own/team.cpp): the caller's and, for two, a helper
// made with the team that waits between calls, as a thread pool's would (a call pays no thread's
// start). A team of one runs everything on the caller's thread.
class Team {
  public:
    explicit Team(unsigned threads);
    ~Team();
    Team(const Team&) = delete;
    Team& operator=(const Team&) = delete;
    unsigned size() const { return threads_; }
    // Runs work(t) for every t below size(), t = 0 on the calling thread; returns when all have.
    void run(const std::function<void(unsigned)>& work);
    // Inside run: waits until every thread of the team has come here.
    void meet();

  private:
    struct Shared;
    unsigned threads_;
    std::unique_ptr<Shared> shared_;
};

// Whether the calls now running are counted: the cell switches it on around each counted call (run
// under Callgrind). A team's two parts then take turns on the caller's thread, the helper's part
// first between meetings, on a stack of its own: both parts' work is counted, the switches are not,
// and the simulated processor sees the same sequence in every run, which a second thread's waits,
// placed by the scheduler, would disturb.
void setTeamCounting(bool on);
// Whether teams made from now on take turns in every call and make no helper thread: a counted
// process switches it on before its first call, so no thread of its own runs beside the counted ones.
void setTeamTurns(bool on);

// The fastest hull on a team of threads (own/fast_hull_2t.cpp): the same corners as fastHull, in
// the same order. Where there is a pass, each thread reads half of the points, writes what its pass
// keeps and sorts it, and the two sorted halves are merged by both (each writes one half of the
// order); where there is none, each writes its half's keys split by a sampled splitter, and each
// sorts one side of it. Each makes the chains of its part, and the two hulls are joined at their
// bridges. Thin hulls (the quickhull path), inputs below kFastHull2tFrom points, and a team of
// one take the one-thread hull. O(n) work but for the sorts' O(m log m); memory: room for a copy,
// then the hull's own h points.
constexpr std::size_t kFastHull2tFrom = 65536;
Corners fastHull2t(const Point* points, std::size_t n, Team& team, FastHullPaths paths = {});

// A runner whose calls hand the points, in place, to `run`, which finds their corners in memory of
// its own, and release that memory (own/threaded.cpp): the fastest hull's entries, on one thread
// or a team, which make no copy of points they throw away.
std::unique_ptr<Runner> cornersRunner(std::function<Corners(const Point*, std::size_t)> run, const std::vector<Point>& points);

// Adds the entries on more than one thread (own/threaded.cpp), their names ending in -2t: the
// fastest hull's beside the lab's own, copy-2t after copy.
void addThreadedEntries(std::vector<Algorithm>& list);

}  // namespace lab
