// hullbench: compares three convex-hull algorithms on random integer points.
//
// A run has two phases and takes no arguments:
//   1. the correctness run draws 100 points in [0,1000)^2 and writes them, and their hull by each
//      algorithm, to "points.txt", "inc.txt", "gift.txt" and "qhull.txt" (one "x;y" line per point);
//   2. the benchmark times the three algorithms on random sets of 10 to 10,000,000 points in
//      processor time and prints one row per size, then writes the same rows to "times.txt".
// The points come from the C library's unseeded rand(), so every run writes the same point files.
// A file, or standard output, that cannot be written is named on standard error and the run ends
// with status 1; running out of memory ends it with "hullbench: out of memory" and status 1.

#include <malloc.h>
#include <sys/time.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <list>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

struct Point {
    std::int64_t x;
    std::int64_t y;
};

using PointList = std::list<Point>;

PointList incremental(PointList points);  // gift wrapping falls back on it

// ------------------------------------------------------------------------------------------------
// Points: predicates, random point sets, point files
// ------------------------------------------------------------------------------------------------
//
// Point order: a precedes b when a.x < b.x, or a.x == b.x and a.y < b.y.
// The predicates are exact for every 64-bit input. The hull algorithms below evaluate the same
// expressions in place in 64-bit arithmetic, which is exact while every coordinate lies strictly
// between -2^30 and 2^30 (differences below 2^31, products below 2^62, sums below 2^63).

// True when a and b have the same coordinates. O(1).
bool is_equal(Point a, Point b) {
    return a.x == b.x && a.y == b.y;
}

// Twice the signed area of the triangle a, b, c: the cross product of (b - a) and (c - a),
// positive when c lies left of the directed line a->b (y pointing up), negative when right, 0 when
// collinear. O(1). Exact for every 64-bit input, rounded to a double once: each difference needs
// 65 bits and each product 128, so the products are kept as magnitude and sign. Their sum never
// reaches 2^128, being at most the area of a square of side 2^64 - 1.
double distance(Point a, Point b, Point c) {
    __extension__ typedef unsigned __int128 Wide;
    // |u1 - u0| * |v1 - v0|, and whether (u1 - u0) * (v1 - v0) is negative.
    auto product = [](std::int64_t u1, std::int64_t u0, std::int64_t v1, std::int64_t v0,
                      bool& negative) {
        Wide du = u1 >= u0 ? Wide(u1) - Wide(u0) : Wide(u0) - Wide(u1);  // exact modulo 2^128
        Wide dv = v1 >= v0 ? Wide(v1) - Wide(v0) : Wide(v0) - Wide(v1);
        negative = (u1 < u0) != (v1 < v0) && du != 0 && dv != 0;
        return du * dv;
    };
    bool negative1 = false;
    bool negative2 = false;
    Wide m1 = product(b.x, a.x, c.y, a.y, negative1);  // (b.x - a.x) * (c.y - a.y)
    Wide m2 = product(b.y, a.y, a.x, c.x, negative2);  // (b.y - a.y) * (a.x - c.x)
    if (negative1 == negative2) return negative1 ? -double(m1 + m2) : double(m1 + m2);
    if (m1 == m2) return 0.0;
    if (m1 > m2) return negative1 ? -double(m1 - m2) : double(m1 - m2);
    return negative2 ? -double(m2 - m1) : double(m2 - m1);
}

// Turn p -> q -> r: 1 clockwise (right turn), 0 collinear, -1 counter-clockwise (left turn), with
// the y axis pointing up. O(1). The turn's cross product (q - p) x (r - q) equals
// (q - p) x (r - p), which distance() gives exactly; rounding never changes its sign.
int orientation(Point p, Point q, Point r) {
    double v = distance(p, q, r);
    if (v < 0) return 1;
    if (v > 0) return -1;
    return 0;
}

// Writes one "x;y" line per point to the named file, created or truncated, flushing each line.
// Returns 0, or 1 after naming the file and the reason on standard error when it could not be
// opened, written or closed; the remaining writes then do nothing. O(n).
int printPoints(PointList points, const std::string& filename) {
    int error = 0;  // errno of the first failure
    auto check = [&error](const std::ostream& out) {
        if (!out && error == 0) error = errno != 0 ? errno : EIO;
        errno = 0;
    };
    errno = 0;
    std::ofstream out(filename, std::ios::out | std::ios::trunc);
    check(out);
    for (const Point& p : points) {
        out << p.x << ';' << p.y << '\n' << std::flush;
        check(out);
    }
    out.close();
    check(out);
    if (error == 0) return 0;
    std::cerr << "hullbench: cannot write " << filename << ": " << std::strerror(error) << '\n';
    return 1;
}

// Writes one "x<TAB>y" line per point to standard output, flushing each line. Returns 0, or 1 when
// standard output has failed. O(n).
int printPoints(PointList points) {
    for (const Point& p : points) std::cout << p.x << '\t' << p.y << '\n' << std::flush;
    return std::cout ? 0 : 1;
}

// The microseconds field of the time of day (0 to 999,999; seconds dropped, so not monotonic).
std::int64_t getMicroSecs() {
    timeval now{};
    gettimeofday(&now, nullptr);
    return now.tv_usec;
}

// numPoints points with 0 <= x < |maxX| and 0 <= y < |maxY|, in drawing order. Each point draws
// two rand() values: the first becomes y, the second x. A count <= 0 gives the empty list and
// draws nothing; a bound of 0 with a positive count throws std::invalid_argument. O(n).
PointList init(std::int64_t maxX, std::int64_t maxY, std::int64_t numPoints) {
    PointList points;
    if (numPoints <= 0) return points;
    if (maxX == 0) throw std::invalid_argument("init: the x bound maxX is 0; it must not be");
    if (maxY == 0) throw std::invalid_argument("init: the y bound maxY is 0; it must not be");
    for (std::int64_t i = 0; i < numPoints; ++i) {
        std::int64_t r1 = rand();
        std::int64_t r2 = rand();
        points.push_back(Point{r2 % maxX, r1 % maxY});
    }
    return points;
}

// ------------------------------------------------------------------------------------------------
// Hull algorithms: each takes its own copy of the points and returns the hull as a new list that
// starts at the lowest of the leftmost points and does not repeat it at the end.
// ------------------------------------------------------------------------------------------------

// Gift wrapping (Jarvis march): the hull clockwise, y pointing up. O(n h) for h result points.
// From each vertex p one scan keeps the candidate q that no later point lies strictly left of
// p->q; so a point on a hull edge is kept or skipped depending on the input order.
// Degenerate input: empty gives empty; copies of one point give it once; distinct points all on
// one line give the start point and the greatest point.
// Guard: the plain scan compares points by their angle around p, and that comparison breaks only
// for two points on one line through p on opposite sides of it. Then the walk can cycle for ever
// or leave a corner out. The scan notes when it meets such a pair (rare on random points, so the
// common case still costs one pass per step); only then a second pass checks that no point lies
// strictly left of p->q. If one does, the walk has lost the boundary and the monotone chain
// (same start, same direction) gives the hull instead. A step that turns straight back along the
// previous one means all points lie on one line.
PointList gift_wrapping(PointList points) {
    PointList hull;
    if (points.empty()) return hull;
    Point start = points.front();
    for (const Point& r : points) {
        if (r.x < start.x || (r.x == start.x && r.y < start.y)) start = r;
    }
    Point p = start;
    Point step{0, 1};  // direction of the last step; no point lies left of the line through p along it
    for (;;) {
        hull.push_back(p);
        Point q = points.front();
        bool opposite = false;  // met a point on the line p->q but behind p
        for (const Point& r : points) {
            if (q.x == p.x && q.y == p.y) {
                q = r;
                continue;
            }
            std::int64_t v = (q.x - p.x) * (r.y - q.y) + (q.y - p.y) * (q.x - r.x);
            if (v > 0) {
                q = r;
            } else if (v == 0 && (q.x - p.x) * (r.x - p.x) + (q.y - p.y) * (r.y - p.y) < 0) {
                opposite = true;
            }
        }
        if (opposite) {
            for (const Point& r : points) {
                if ((q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x) > 0) {
                    return incremental(std::move(points));
                }
            }
        }
        bool onStepLine = step.x * (q.y - p.y) - step.y * (q.x - p.x) == 0;
        if (onStepLine && step.x * (q.x - p.x) + step.y * (q.y - p.y) < 0) {
            Point last = start;  // greatest point: the other end of the line
            for (const Point& r : points) {
                if (r.x > last.x || (r.x == last.x && r.y > last.y)) last = r;
            }
            return PointList{start, last};
        }
        if (q.x == start.x && q.y == start.y) return hull;
        step = Point{q.x - p.x, q.y - p.y};
        p = q;
    }
}

// Quickhull step: the hull vertices strictly right of the directed line a->b, in order from a
// towards b, a and b excluded. Takes the farthest point F (the first of equals), then recurses on
// the points strictly outside a->F and F->b. Returns the empty list when no point lies strictly
// right of a->b. O(n h) at worst; recursion depth at most h + 1. The distances are compared as
// 64-bit integers: in the order their doubles have for the program's points, and still exact for
// coordinates up to 2^30, where doubles would round.
PointList qhull_helper(Point a, Point b, PointList points) {
    PointList hull;
    if (points.empty()) return hull;
    Point far = points.front();
    std::int64_t farValue = (b.x - a.x) * (far.y - a.y) + (b.y - a.y) * (a.x - far.x);
    for (const Point& p : points) {
        std::int64_t value = (b.x - a.x) * (p.y - a.y) + (b.y - a.y) * (a.x - p.x);
        if (value < farValue) {
            far = p;
            farValue = value;
        }
    }
    if (farValue >= 0) return hull;
    PointList outsideAF;
    PointList outsideFB;
    for (const Point& p : points) {
        if ((a.x - far.x) * (p.y - far.y) + (a.y - far.y) * (far.x - p.x) > 0) outsideAF.push_back(p);
        if ((far.x - b.x) * (p.y - b.y) + (far.y - b.y) * (b.x - p.x) > 0) outsideFB.push_back(p);
    }
    hull = qhull_helper(a, far, outsideAF);
    hull.push_back(far);
    PointList rest = qhull_helper(far, b, outsideFB);
    hull.splice(hull.end(), rest);
    return hull;
}

// Quickhull: the hull counter-clockwise, y pointing up: the lowest of the leftmost points L, the
// lower side, the highest of the rightmost points R, the upper side. O(n log n) expected, O(n h)
// at worst. A point on a hull edge is kept only when some step picks it as its farthest point.
// Degenerate input: empty gives empty; points all on one line give L, R; copies of one point give
// it twice (as L and as R).
PointList qhull(PointList points) {
    PointList hull;
    if (points.empty()) return hull;
    Point left = points.front();
    for (const Point& p : points) {
        if (p.x < left.x || (p.x == left.x && p.y < left.y)) left = p;
    }
    Point right = points.front();
    for (const Point& p : points) {
        if (p.x > right.x || (p.x == right.x && p.y > right.y)) right = p;
    }
    hull.push_back(left);
    PointList lower = qhull_helper(left, right, points);
    hull.splice(hull.end(), lower);
    hull.push_back(right);
    PointList upper = qhull_helper(right, left, points);
    hull.splice(hull.end(), upper);
    return hull;
}

// Incremental hull (monotone chain): sorts its copy by the point order, builds the upper chain
// left to right and the lower chain right to left, keeping only strict clockwise turns, and joins
// them: the hull's corners clockwise, y pointing up, no point on an edge. O(n log n).
// Degenerate input: fewer than two points come back unchanged; points all on one line give its two
// ends; two or more copies of one point give it twice.
PointList incremental(PointList points) {
    if (points.size() < 2) return points;
    points.sort([](const Point& a, const Point& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    // Drops the next-to-last point while the chain's last three points fail to turn clockwise.
    auto prune = [](PointList& chain) {
        while (chain.size() > 2) {
            auto last = std::prev(chain.end());
            auto middle = std::prev(last);
            auto first = std::prev(middle);
            const Point& a = *first;
            const Point& b = *middle;
            const Point& c = *last;
            std::int64_t v = (b.x - a.x) * (c.y - b.y) + (b.y - a.y) * (b.x - c.x);
            if (v < 0) break;
            chain.erase(middle);
        }
    };
    PointList upper;
    auto forward = points.begin();
    upper.push_back(*forward++);
    upper.push_back(*forward++);
    for (; forward != points.end(); ++forward) {
        upper.push_back(*forward);
        prune(upper);
    }
    PointList lower;
    auto backward = points.rbegin();
    lower.push_back(*backward++);
    lower.push_back(*backward++);
    for (; backward != points.rend(); ++backward) {
        lower.push_back(*backward);
        prune(lower);
    }
    lower.pop_front();  // the greatest point, which ends the upper chain
    lower.pop_back();   // the least point, which starts it
    upper.splice(upper.end(), lower);
    return upper;
}

// ------------------------------------------------------------------------------------------------
// Driver: the correctness run, the benchmark, the entry point
// ------------------------------------------------------------------------------------------------

// The correctness run: numPoints random points with 0 <= x < maxX, 0 <= y < maxY, written with
// their hull by each algorithm to "points.txt", "inc.txt", "gift.txt" and "qhull.txt". Returns 0,
// or 1 when any of the files could not be written.
int test(std::int64_t maxX, std::int64_t maxY, std::int64_t numPoints) {
    PointList points = init(maxX, maxY, numPoints);
    int failed = printPoints(points, "points.txt");
    PointList hull = incremental(points);
    failed |= printPoints(hull, "inc.txt");
    hull.clear();
    hull = gift_wrapping(points);
    failed |= printPoints(hull, "gift.txt");
    hull.clear();
    hull = qhull(points);
    failed |= printPoints(hull, "qhull.txt");
    hull.clear();
    return failed != 0 ? 1 : 0;
}

// Times the three algorithms in processor time on one random point set per size, 10 to 10,000,000
// points, each over 10,000,000 / n repetitions of copy, call, assignment and release. Prints a row
// per size (seconds per repetition) as soon as it is measured, then writes the rows to
// "times.txt". Returns 0, or 1 when standard output or "times.txt" could not be written (named
// on standard error as soon as it fails; the measuring goes on, so "times.txt" can still hold the
// results when the table is lost).
int benchmark() {
    const std::int64_t sizes[13] = {10,     50,     100,     500,     1000,    5000,    10000,
                                    50000,  100000, 500000, 1000000, 5000000, 10000000};
    const std::int64_t bound = 10000000;
    const std::int64_t work = 10000000;
    double incTimes[13];
    double giftTimes[13];
    double qhullTimes[13];
    for (int k = 0; k < 13; ++k) incTimes[k] = giftTimes[k] = qhullTimes[k] = 0.0;
    // Keeps errno of a stream's first failure in `error`, then clears errno for the next write.
    auto check = [](const std::ostream& out, int& error) {
        if (!out && error == 0) error = errno != 0 ? errno : EIO;
        errno = 0;
    };
    // Standard output fails on a full disk, for example; the failure shows at a flush, since the
    // header lines are written without one. It is named once, and the later writes do nothing.
    // (A closed pipe ends the program by SIGPIPE first, as it does any Unix filter.)
    int outError = 0;
    auto checkOut = [&check, &outError] {
        if (outError != 0) return;
        check(std::cout, outError);
        if (outError != 0) std::cerr << "hullbench: cannot write standard output: " << std::strerror(outError) << '\n';
    };

    errno = 0;
    std::cout << "Points\tIncremental\tGift Wrapping\tQuick Hull\n"
              << "-------------------------------------------------------- \n";
    checkOut();
    // Every point set is built, and every timed loop starts, on a tidied heap. glibc keeps freed
    // list nodes in per-size free lists in the order they were freed. After the incremental hull
    // has sorted its copy and freed it, that order is scattered over memory, and lists allocated
    // from it later (the next algorithm's copies, the next size's point set) are laid out at
    // random: every step along them misses the cache, and the table would time the heap's history
    // instead of the algorithm (gift wrapping's figure at a million points was 20 times its time
    // alone, in a fresh process).
    // malloc_trim() merges all free chunks, fast-bin ones included, and returns free pages to the
    // system, so the next lists are carved in address order, as in a fresh process. It runs
    // outside the timed intervals.
    // Inside them, the repetitions recycle one another's nodes. A freed node goes to a cache of
    // seven, then to its fast bin; the cache is refilled from the fast bin seven nodes at a time,
    // in reverse. So each copy is laid out a little more zig-zag than the one before (and after
    // the incremental hull has sorted and freed its copy, the next one is laid out at random).
    // On large lists that defeats the processor's prefetching: within one timed loop, a call of
    // gift wrapping on a million points took 0.06 s on a list in address order and 0.09 to 1.0 s
    // on the later copies. So where a timed loop repeats on large lists, from 100,000 points up
    // to 5,000,000, the fast bins are off: a freed node merges with its free neighbours, and
    // every copy is carved in address order again, as for a first call. Trimming by free() is
    // off with them, or each released list would be handed back to the system and faulted in
    // again inside the timed loop. Elsewhere the fast bins stay on: below 100,000 points turning
    // them off cost up to 80% per repetition (17% for quickhull at 50,000 points), and at
    // 10,000,000 points the loop runs once, recycles nothing, and was 5% slower without them.
    PointList points;
    PointList hull;
    for (int k = 0; k < 13; ++k) {
        const std::int64_t n = sizes[k];
        const std::int64_t repetitions = work / n;
        if (n >= 100000 && repetitions > 1) {
            mallopt(M_MXFAST, 0);
            mallopt(M_TRIM_THRESHOLD, -1);
        } else {
            mallopt(M_MXFAST, 64 * int(sizeof(std::size_t)) / 4);  // glibc's default
        }
        malloc_trim(0);
        points = init(bound, bound, n);
        // Seconds per repetition of one algorithm, copy of the points and releases included.
        auto time = [&](PointList (*algorithm)(PointList)) {
            malloc_trim(0);
            std::clock_t start = std::clock();
            for (std::int64_t i = 0; i < repetitions; ++i) {
                hull = algorithm(points);
                hull.clear();
            }
            std::clock_t end = std::clock();
            double seconds = double(end - start) / 1000000.0;
            return (double(n) * seconds) / 10000000.0;
        };
        incTimes[k] = time(incremental);
        giftTimes[k] = time(gift_wrapping);
        qhullTimes[k] = time(qhull);
        points.clear();
        errno = 0;
        std::cout.precision(6);
        std::cout << std::scientific << n << "\t\t" << incTimes[k] << "\t\t" << giftTimes[k] << "\t\t"
                  << qhullTimes[k] << '\n'
                  << std::flush;
        checkOut();
    }

    int error = 0;  // errno of the first failure on "times.txt"
    errno = 0;
    std::ofstream times("times.txt", std::ios::out | std::ios::trunc);
    check(times, error);
    for (int k = 0; k < 13; ++k) {
        times.precision(6);
        times << std::scientific << sizes[k] << '\t' << incTimes[k] << '\t' << giftTimes[k] << '\t'
              << qhullTimes[k] << '\n'
              << std::flush;
        check(times, error);
    }
    times.close();
    check(times, error);
    if (error != 0) std::cerr << "hullbench: cannot write times.txt: " << std::strerror(error) << '\n';
    return error != 0 || outError != 0 ? 1 : 0;
}

// Correctness run, then benchmark. Exit status 0, or 1 when an output could not be written or
// memory ran out. Arguments are ignored.
int main() {
    try {
        int failed = test(1000, 1000, 100);
        failed |= benchmark();
        return failed != 0 ? 1 : 0;
    } catch (const std::bad_alloc&) {
        std::cerr << "hullbench: out of memory\n";
        return 1;
    }
}
