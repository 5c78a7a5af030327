// The fastest exact hull's pieces (own/fast_hull.cpp), shared with its two-thread form
// (own/fast_hull_2t.cpp): the point order as 62-bit keys, the path a sample chooses, the
// throw-away pass, the chains over sorted keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "own/own.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace lab::fast {

#ifdef HULL_LAB_VQSORT
using VqsortFunction = void (*)(std::uint64_t*, std::size_t);
// Highway's vqsort from libhull-lab-vqsort.so (loaded at the first call; throws where it cannot
// be): of n 64-bit keys, and of n 128-bit keys in 2 n lanes, each key's low lane first. O(n log n).
VqsortFunction vqsortFunction();
VqsortFunction vqsort128Function();
// The keys of in[0, m) made into keys[0, m) (in null: made already) and sorted by vqsort. O(m log m).
std::uint64_t* vectorSort(const Point* in, std::size_t m, std::uint64_t* keys);
#endif

constexpr std::int64_t kBias = kExactBound;  // |coordinate| < 2^30: x + 2^30 in [0, 2^31)
constexpr std::uint64_t kLow31 = (std::uint64_t(1) << 31) - 1;

// (a - o) x (b - o): positive when b lies left of o->a (y pointing up). Exact below 2^30.
inline std::int64_t cross(const Point& o, const Point& a, const Point& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// A point as a key whose unsigned order is the point order: x + 2^30 in bits 31 to 61, y + 2^30
// in bits 0 to 30.
inline std::uint64_t keyOf(const Point& p) {
    return (std::uint64_t(p.x + kBias) << 31) | std::uint64_t(p.y + kBias);
}
inline Point pointOf(std::uint64_t key) {
    return {std::int64_t(key >> 31) - kBias, std::int64_t(key & kLow31) - kBias};
}

#if defined(__x86_64__) && defined(__GNUC__)
// The eight points p[0, 8) as a vector of their x and one of their y (AVX-512).
__attribute__((target("avx512f"))) inline void coordinatesOfEight(const Point* p, __m512i& x, __m512i& y) {
    const __m512i a = _mm512_loadu_si512(p), b = _mm512_loadu_si512(p + 4);  // x0 y0 ... x7 y7
    x = _mm512_permutex2var_epi64(a, _mm512_set_epi64(14, 12, 10, 8, 6, 4, 2, 0), b);
    y = _mm512_permutex2var_epi64(a, _mm512_set_epi64(15, 13, 11, 9, 7, 5, 3, 1), b);
}
#endif

// The sort of keys that `paths` asks for: vqsort (On), the radix sort (Off), or as sortedKeys
// chooses (Auto).
inline KeySort keySort(const FastHullPaths& paths) {
    return paths.vector == FastHullPaths::On ? KeySort::Vector : paths.vector == FastHullPaths::Off ? KeySort::Radix : KeySort::Auto;
}

// A convex polygon inside the hull of all the points, as its edges: p lies strictly inside when
// u y - w x > c for every edge, (u, w) the edge's direction and c the value at its start. With
// |coordinate| < 2^30, u, w and the coordinates fit 32 bits and each product 62: exact in 64
// bits, and in AVX2's 32 x 32 -> 64-bit multiplies.
struct Polygon {
    static constexpr int kMost = 16;
    int edges = 0;
    std::int64_t u[kMost], w[kMost], c[kMost];
    Point corner[kMost];  // each edge's start, counter-clockwise
    // The core, for a test without multiplies: every point within `box` of (cx, cy) in both
    // coordinates, or within `diamond` in their sum, or within `octagon` in both and
    // `octagonSum` in their sum, lies strictly inside (-1: no such point).
    std::int64_t cx = 0, cy = 0, box = -1, diamond = -1, octagon = -1, octagonSum = -1;
};

// What the sample of the points chooses: no pass, the throw-away pass (its polygon set), or the
// array quickhull. O(s log s) for a sample of s <= 1,024 points.
enum class Path { Plain, Filter, Quickhull };
Path choosePath(const Point* points, std::size_t n, const FastHullPaths& paths, Polygon& polygon);

// The throw-away pass over in[0, n): writes the points that can be corners to p, packed (p may be
// in), and returns their count; each point is read once, and only what survives is written. Eight
// points at a time in AVX-512 or four in AVX2 where `paths` allows it and the processor has it.
// Every corner of the hull of in[0, n) survives. O(n).
std::size_t survivorsOf(const Point* in, std::size_t n, Point* p, const Polygon& polygon, const FastHullPaths& paths);

// The corners of from[0, m) (the survivors, or every point), by keys or by std::sort as `paths`
// says, written over p[0, h) (room for m points; from may be p); returns h. O(m) or O(m log m).
std::size_t cornersInto(const Point* from, std::size_t m, Point* p, const FastHullPaths& paths);

// The keys of in[0, m) made into keys[0, m) (in may be the keys' own memory as points; null: the
// keys are there already) and sorted by vqsort or the radix sort, as `how` says; returns where
// they are sorted: keys, or spare (room for m keys, which the radix sort may use). O(m log m) or O(m).
std::uint64_t* sortKeys(const Point* in, std::size_t m, std::uint64_t* keys, std::uint64_t* spare, KeySort how);

// The corners of from[0, m) (null: their keys are in p's memory already) by keys and the chains,
// in p's memory (room for m points) from its front: the keys, the chains, the corners written
// over p[0, h); returns h. Touches no page of p beyond those the keys and chains need. O(m) beyond the sort.
std::size_t cornersOfKeys(const Point* from, Point* p, std::size_t m, const FastHullPaths& paths);

// The corners of the points sorted[0, m), in point order, as a new vector: Andrew's chains, the
// corners counter-clockwise from the least point, each once. O(m).
std::vector<Point> cornersOfSorted(Point* sorted, std::size_t m);

// The keys of in[0, n) written to out[0, n): those below `splitter` from the front, the others
// from the back, each side in no set order; returns how many are below. Eight at a time in
// AVX-512 where `avx512` and the processor has it. O(n).
std::size_t partitionKeys(const Point* in, std::size_t n, std::uint64_t* out, std::uint64_t splitter, bool avx512);

// The fastest hull on the calling thread, of the path chosen, into memory of its own: the quickhull
// path's corners copied there, else the survivors of the pass (or every point's key) and their
// corners in place. O(n) but for the sort (see fastHull).
Corners oneThread(const Point* points, std::size_t n, Path path, const Polygon& polygon, const FastHullPaths& paths);

// The corners by the program's quickhull on an array, reduced by a chain. O(n h + h log h).
std::vector<Point> cornersByQuickhull(std::vector<Point> points);

// Andrew's two chains over m >= 1 sorted keys: the lower one from the least point l to the
// greatest r in spare[0, k) (room for m keys), the upper one from l to r too, packed at the
// front of `sorted`: u keys. Each point goes to one chain only, by its side of the line l-r; no
// point on an edge. Copies of one point give k = u = 1. The split and the chains' thinning run
// eight keys at a time in AVX-512 where `avx512` and the processor has it. O(m).
struct Chains {
    std::uint64_t* lower;
    std::size_t k;
    std::uint64_t* upper;
    std::size_t u;
};
Chains chainsOfKeys(std::uint64_t* sorted, std::size_t m, std::uint64_t* spare, bool avx512 = true);

}  // namespace lab::fast
