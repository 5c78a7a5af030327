// The lab's fastest exact hull: a sample chooses the path; a throw-away pass, then a monotone chain
// over what survives, its points sorted as 62-bit keys by vqsort or a radix sort when many survive
// and by std::sort when few do; or, for a small or thin hull of few corners, the array quickhull.
//
// 0. A sample decides: 64 points spread through the input (below 32,768 points) or 1 in 32 (at
//    most 1,024). Where its hull has few corners (a quarter of the sample or fewer) and the pass
//    below would not pay (a small input, or a thin hull such as `line` and `sliver`, which leaves
//    little strictly inside), the program's quickhull on an array (O(n h)) takes the points and a
//    chain reduces its result to the corners.
// 1. Throw-away (after Akl and Toussaint), in one read of the caller's points, only the survivors
//    written to memory of the hull's own (no copy of the points it throws away): the sample hull
//    lies inside the hull of all, and so does the polygon of its corners that are extreme in 16
//    directions; a point strictly inside that polygon is no corner. The test, u y - w x > c for
//    each of its (at most 16) edges, is exact in 32 x 32 -> 64-bit multiplies. With AVX-512 it
//    runs in two steps, eight points at a time: a core test without multiplies (a box, a diamond
//    and an octagon about the polygon's centre, strictly inside it: on `square` and `normal` nine
//    points in ten and more, on `disc` four in five) throws most away, and the rest, packed into a buffer, get the polygon's test;
//    with AVX2 the polygon's test runs four points at a time, elsewhere one at a time. The
//    survivors are tested again against the polygon of their own extreme points (found eight at a
//    time with AVX-512), and a point on one of its edges goes too: a corner of the hull that lies
//    in the polygon is one of its corners. Where the sample says that fewer than half of the
//    points would go (`circle`, `convex`), the pass is not run and no point is copied: step 2
//    makes the keys straight from the caller's points.
// 2. Sort: each survivor (or each point, with no pass) becomes one 62-bit key whose unsigned order
//    is the point order, written over the survivors' own memory, or the front of the hull's (8
//    bytes where the point took 16, so the other half is free: the
//    radix sort's buffer, then the lower chain's room; no allocation). Highway's vqsort sorts the
//    keys in place with the processor's widest vectors, its pivots from a fixed seed (so that its
//    counts repeat; own/vqsort_library.cpp): measured faster than the radix sort at
//    every count from 256 keys to 10^7 (AVX-512 or AVX2 alike; docs/FINDINGS.md). Where the build has
//    no Highway, LSD passes of 8 bits sort by x (and by y first, where x takes few values), passes
//    whose digit never changes skipped. Below kFastHullKeysFrom survivors, std::sort on the points.
// 3. Andrew's monotone chain, each survivor in one chain only (below or above the line from the
//    least point to the greatest), the stacks in place; the corners, counter-clockwise from the
//    lowest of the leftmost points, none on an edge, each once, are written back into that
//    memory, which is returned: no page is touched that the survivors had not.
//
// O(n) for the pass and the radix sort, O(m log m) for m survivors sorted otherwise, O(n h) on
// the quickhull path; memory: room for a copy, of which only the survivors' pages are touched. Exact while |coordinate| < 2^30: every
// difference fits 32 bits and every product 62. The pieces are declared in own/fast_hull_parts.h
// for the two-thread hull (own/fast_hull_2t.cpp).

#include <algorithm>
#include <limits>
#include <utility>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif
#ifdef HULL_LAB_VQSORT
#include <dlfcn.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#endif

#include "lab.h"
#include "own/fast_hull_parts.h"
#include "own/own.h"

namespace lab {

namespace fast {

namespace {

// ---- The monotone chain -----------------------------------------------------------------------

// Andrew's chains over the points sorted[0, m) (at least two distinct), in point order; `point`
// reads an element as a Point. The lower chain, from the least point to the greatest, is left in
// spare[0, k) (room for m elements); the upper chain, from the greatest back to the least, in
// sorted[m - u, m) read downwards: its stack grows down from the end of `sorted`, where every
// element pushed has been read and every element not yet read lies below. No point on an edge.
// Returns k and sets u. O(m).
template <class T, class Read>
std::size_t chains(T* sorted, std::size_t m, T* spare, Read point, std::size_t& u) {
    T* lower = spare;
    std::size_t k = 0;
    for (std::size_t i = 0; i < m; ++i) {
        const T e = sorted[i];
        const Point p = point(e);
        while (k >= 2 && cross(point(lower[k - 2]), point(lower[k - 1]), p) <= 0) --k;
        lower[k++] = e;
    }
    T* upper = sorted + m - 1;  // upper[-j] is the upper chain's element j
    u = 0;
    for (std::size_t i = m; i-- > 0;) {
        const T e = sorted[i];
        const Point p = point(e);
        while (u >= 2 && cross(point(upper[-std::ptrdiff_t(u - 2)]), point(upper[-std::ptrdiff_t(u - 1)]), p) <= 0) --u;
        upper[-std::ptrdiff_t(u++)] = e;
    }
    return k;
}

// The corners of the sorted points as a new vector: counter-clockwise from the least, each once.
// O(m); for the few points of the std::sort path.
std::vector<Point> cornersOf(Point* sorted, std::size_t m) {
    if (m == 0) return {};
    if (sorted[0] == sorted[m - 1]) return {sorted[0]};  // copies of one point
    std::vector<Point> lower(m);
    std::size_t u = 0;
    const std::size_t k = chains(sorted, m, lower.data(), [](const Point& p) { return p; }, u);
    lower.resize(k);
    for (std::size_t j = 1; j + 1 < u; ++j) lower.push_back(sorted[m - 1 - j]);  // the upper chain without its ends
    return lower;
}

// ---- The sorts of keys ------------------------------------------------------------------------

// Sorts the keys of in[0, m) (made into keys[0, m) as they are read; `in` null: made already) and
// returns where the sorted keys are: at `keys` or at `spare` (room for m), the other then free. LSD
// passes of 8 bits over x (31 bits), and over y too where x takes so few values that runs of equal
// x would be long (on `lattice`, 64); passes whose digit is the same in every key are skipped; a
// last scan sorts any run of equal x left unsorted by y. O(m).
std::uint64_t* radixSort(const Point* in, std::size_t m, std::uint64_t* keys, std::uint64_t* spare) {
    constexpr int kDigits = 8;  // y: bits 0-30, x: bits 31-61
    constexpr int kShift[kDigits] = {0, 8, 16, 24, 31, 39, 47, 55}, kBits[kDigits] = {8, 8, 8, 7, 8, 8, 8, 7};
    std::uint32_t counts[kDigits][256] = {};
    std::uint64_t least = std::numeric_limits<std::uint64_t>::max(), most = 0;  // of x + 2^30
    for (std::size_t i = 0; i < m; ++i) {  // the keys, x's histograms and range, in one read
        const std::uint64_t key = in ? keyOf(in[i]) : keys[i];
        keys[i] = key;  // where in is the keys' own memory as points, over point i / 2: read already
        least = std::min(least, key >> 31), most = std::max(most, key >> 31);
        for (int d = 4; d < kDigits; ++d) ++counts[d][(key >> kShift[d]) & ((1u << kBits[d]) - 1)];
    }
    const bool byY = most - least < m / 8;  // eight or more points per x on average
    if (byY) {
        for (std::size_t i = 0; i < m; ++i) {
            for (int d = 0; d < 4; ++d) ++counts[d][(keys[i] >> kShift[d]) & ((1u << kBits[d]) - 1)];
        }
    }
    std::uint64_t* from = keys;
    std::uint64_t* to = spare;
    for (int d = byY ? 0 : 4; d < kDigits; ++d) {
        std::uint32_t* count = counts[d];
        const std::size_t buckets = std::size_t(1) << kBits[d];
        if (std::find(count, count + buckets, std::uint32_t(m)) != count + buckets) continue;  // one bucket: in order
        std::uint32_t start = 0;
        for (std::size_t b = 0; b < buckets; ++b) start += std::exchange(count[b], start);
        const std::uint64_t mask = buckets - 1;
        for (std::size_t i = 0; i < m; ++i) to[count[(from[i] >> kShift[d]) & mask]++] = from[i];
        std::swap(from, to);
    }
    if (byY) return from;
    // Runs of equal x are in input order: sort each by y (the whole key, as x is equal). Most
    // runs are one key or two.
    for (std::size_t i = 0; i + 1 < m;) {
        if ((from[i + 1] >> 31) != (from[i] >> 31)) {
            ++i;
            continue;
        }
        std::size_t j = i + 2;
        while (j < m && (from[j] >> 31) == (from[i] >> 31)) ++j;
        if (j - i == 2) {
            if (from[i + 1] < from[i]) std::swap(from[i], from[i + 1]);
        } else {
            std::sort(from + i, from + j);
        }
        i = j;
    }
    return from;
}

}  // namespace

#ifdef HULL_LAB_VQSORT
namespace {

// A sort of libhull-lab-vqsort.so (own/vqsort_library.cpp) by its symbol, the library loaded at
// the first call: beside this program (a build, or an install's bin/ with the library in ../lib),
// else where this build made it. Throws when none loads.
VqsortFunction vqsortSymbol(const char* name) {
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = length > 0 ? std::string(self, std::size_t(length)) : "";
    dir = dir.substr(0, dir.rfind('/') + 1);
    std::string tried;
    for (const std::string& path : {dir + "libhull-lab-vqsort.so", dir + "../lib/libhull-lab-vqsort.so",
                                    std::string(HULL_LAB_VQSORT_LIBRARY)}) {
        if (void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            if (void* symbol = dlsym(library, name)) return reinterpret_cast<VqsortFunction>(symbol);
        }
        tried += (tried.empty() ? "" : ", ") + path;
    }
    throw std::runtime_error("vqsort's library libhull-lab-vqsort.so was not found (tried " + tried + ")");
}

}  // namespace

VqsortFunction vqsortFunction() {
    static const VqsortFunction function = vqsortSymbol("hullLabVqsort");
    return function;
}

VqsortFunction vqsort128Function() {
    static const VqsortFunction function = vqsortSymbol("hullLabVqsort128");
    return function;
}

// The keys, sorted in place by vqsort: Highway's quicksort in the widest vectors this processor
// has (AVX-512, AVX2, SSE4), chosen when first called, its pivots from a fixed seed. Where in is
// the keys' own memory as points, key i goes over point i / 2, read already.
std::uint64_t* vectorSort(const Point* in, std::size_t m, std::uint64_t* keys) {
    if (in) {
        for (std::size_t i = 0; i < m; ++i) keys[i] = keyOf(in[i]);
    }
    vqsortFunction()(keys, m);
    return keys;
}
#endif

namespace {

// ---- The throw-away pass ----------------------------------------------------------------------

inline bool strictlyInside(const Polygon& q, std::int64_t x, std::int64_t y) {
    bool inside = true;
    for (int e = 0; e < q.edges; ++e) inside &= q.u[e] * y - q.w[e] * x > q.c[e];
    return inside;
}

// The hull's corners of a sample of `count` points evenly spread through the input. O(count log count).
std::vector<Point> sampleHull(const Point* points, std::size_t n, std::size_t count) {
    std::vector<Point> sample;
    sample.reserve(count);
    const std::size_t step = n / count;
    for (std::size_t i = 0; i < count; ++i) sample.push_back(points[i * step]);
    std::sort(sample.begin(), sample.end());  // the point order: x, then y
    return cornersOf(sample.data(), sample.size());
}

// How many corners sampleHull(points, n, count) has, for count at most 64, with no memory but the
// stack's: what decides the path on small inputs, where two allocations were a tenth of the sample.
// The sample is sorted as keys (one compare where a point takes two). O(count log count).
std::size_t sampleCorners(const Point* points, std::size_t n, std::size_t count) {
    std::uint64_t sample[64], lower[64];
    const std::size_t step = n / count;
    for (std::size_t i = 0; i < count; ++i) sample[i] = keyOf(points[i * step]);
    std::sort(sample, sample + count);
    if (sample[0] == sample[count - 1]) return 1;  // copies of one point
    std::size_t u = 0;
    const std::size_t k = chains(sample, count, lower, pointOf, u);
    return k + u - 2;  // the upper chain without its ends
}

// The polygon's core: the centre of its bounding box, and the largest box (max(|dx|, |dy|) <= box),
// diamond (|dx| + |dy| <= diamond) and octagon (max(|dx|, |dy|) <= octagon and |dx| + |dy| <=
// octagonSum, nearly regular) about it whose corners, and so every point, lie strictly inside; -1
// where there is none. On `disc` the box and the diamond together hold 65% of the points, and with
// the octagon 79% (`square` 89 and 91%, `normal` 92 and 96%). Radii below 2^30 keep every product of the test below 2^62. O(edges x 90).
void setCore(Polygon& q) {
    std::int64_t left = q.corner[0].x, right = left, low = q.corner[0].y, high = low;
    for (int e = 1; e < q.edges; ++e) {
        left = std::min(left, q.corner[e].x), right = std::max(right, q.corner[e].x);
        low = std::min(low, q.corner[e].y), high = std::max(high, q.corner[e].y);
    }
    q.cx = left + (right - left) / 2, q.cy = low + (high - low) / 2;
    // The shape of radius r has the corners (r, s) and (s, r), each turned by quarters: s = r for
    // the box, 0 for the diamond, about (sqrt 2 - 1) r for the octagon.
    const auto cut = [](int shape, std::int64_t r) { return shape == 0 ? r : shape == 1 ? 0 : r * 53 / 128; };
    const auto largest = [&q, &cut](int shape) {
        const auto fits = [&](std::int64_t r) {
            std::int64_t a = r, b = cut(shape, r);
            for (int turn = 0; turn < 4; ++turn, std::swap(a, b), a = -a) {
                if (!strictlyInside(q, q.cx + a, q.cy + b) || !strictlyInside(q, q.cx + b, q.cy + a)) return false;
            }
            return true;
        };
        if (!fits(0)) return std::int64_t(-1);
        std::int64_t lo = 0, hi = kBias;  // fits(lo); not fits(hi)
        while (hi - lo > 1) {
            const std::int64_t mid = lo + (hi - lo) / 2;
            (fits(mid) ? lo : hi) = mid;
        }
        return lo;
    };
    q.box = largest(0);
    q.diamond = largest(1);
    q.octagon = largest(2);
    q.octagonSum = q.octagon < 0 ? -1 : q.octagon + cut(2, q.octagon);
}

// Sixteen directions, in angle order: the axes, the diagonals and the slopes 1/2 and 2.
constexpr std::int64_t kDirection16[16][2] = {{1, 0},  {2, 1},   {1, 1},   {1, 2},   {0, 1},  {-1, 2}, {-1, 1}, {-2, 1},
                                              {-1, 0}, {-2, -1}, {-1, -1}, {-1, -2}, {0, -1}, {1, -2}, {1, -1}, {2, -1}};

// The polygon of the sample hull's corners that are extreme in the sixteen directions: at most 16
// edges for the pass to test, with little of the sample hull's area lost. False when it has fewer
// than three corners.
bool extremePolygon(const std::vector<Point>& hull, Polygon& q) {
    if (hull.size() < 3) return false;
    const auto& kDirection = kDirection16;
    std::vector<std::size_t> chosen;
    for (const auto& d : kDirection) {
        std::size_t best = 0;
        for (std::size_t i = 1; i < hull.size(); ++i) {
            if (d[0] * hull[i].x + d[1] * hull[i].y > d[0] * hull[best].x + d[1] * hull[best].y) best = i;
        }
        chosen.push_back(best);
    }
    // The directions turn counter-clockwise, and so do their extreme corners: in hull order once
    // sorted from the least index, each once.
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    if (chosen.size() < 3) return false;
    q.edges = int(chosen.size());
    for (int e = 0; e < q.edges; ++e) {
        const Point a = hull[chosen[std::size_t(e)]], b = hull[chosen[(std::size_t(e) + 1) % chosen.size()]];
        q.corner[e] = a;
        q.u[e] = b.x - a.x;
        q.w[e] = b.y - a.y;
        q.c[e] = q.u[e] * a.y - q.w[e] * a.x;
    }
    return true;
}

// Writes the points of in[0, n) not strictly inside `q` to out, packed, and returns their count
// (out may be in: kept <= i, never ahead of the read): for any processor, one point at a time (most
// are inside, so the branch that keeps one is well predicted).
std::size_t throwAwayPlain(const Point* in, std::size_t n, Point* out, const Polygon& q) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Point r = in[i];
        if (!strictlyInside(q, r.x, r.y)) out[kept++] = r;
    }
    return kept;
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same with AVX2, four points at a time: per edge two 32 x 32 -> 64-bit multiplies, a
// subtraction and a compare in 64-bit lanes, and no branch per point.
__attribute__((target("avx2"))) std::size_t throwAwayAvx2(const Point* in, std::size_t n, Point* out, const Polygon& q) {
    __m256i u[Polygon::kMost], w[Polygon::kMost], c[Polygon::kMost];
    for (int e = 0; e < q.edges; ++e) {
        u[e] = _mm256_set1_epi64x(q.u[e]), w[e] = _mm256_set1_epi64x(q.w[e]), c[e] = _mm256_set1_epi64x(q.c[e]);
    }
    std::size_t kept = 0, i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));      // x0 y0 x1 y1
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 2));  // x2 y2 x3 y3
        const __m256i x = _mm256_unpacklo_epi64(a, b), y = _mm256_unpackhi_epi64(a, b);      // lanes: 0 2 1 3
        __m256i inside = _mm256_set1_epi64x(-1);
        for (int e = 0; e < q.edges; ++e) {
            const __m256i side = _mm256_sub_epi64(_mm256_mul_epi32(u[e], y), _mm256_mul_epi32(w[e], x));
            inside = _mm256_and_si256(inside, _mm256_cmpgt_epi64(side, c[e]));
        }
        const int mask = _mm256_movemask_pd(_mm256_castsi256_pd(inside));  // bit j: lane j
        if (mask == 0xF) continue;
        // Each of the four written, the kept ones counted: no branch per point.
        const Point r0 = in[i], r1 = in[i + 1], r2 = in[i + 2], r3 = in[i + 3];  // lanes 0, 2, 1, 3
        out[kept] = r0;
        kept += ~mask & 1;
        out[kept] = r1;
        kept += ~mask >> 2 & 1;
        out[kept] = r2;
        kept += ~mask >> 1 & 1;
        out[kept] = r3;
        kept += ~mask >> 3 & 1;
    }
    return kept + throwAwayPlain(in + i, n - i, out + kept, q);
}

// The same with AVX-512, eight points at a time, in two steps. First the core test, with no
// multiply: a point within the polygon's box, diamond or octagon about its centre (all strictly
// inside it) goes; the others (on `disc` some one in five) are packed into a buffer by compress,
// every group written whether or not it holds one (on `square` half of the groups hold none, and a
// branch on it, mispredicted, made the whole call take 1.6 times as long at 10^6 points). Then the
// buffer's points get the polygon's test, per edge and eight points two multiplies, a subtraction
// and a masked compare, and those outside are packed by compress and written by masked stores (no
// compress-store, which some processors run slowly).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"  // GCC 12's own _mm512_undefined_epi32, in its AVX-512 intrinsics
// Of the points bx[0, k), by[0, k) (with room for eight beyond k), writes those not strictly inside
// the polygon's edges to out from `kept` on; returns the new count.
__attribute__((target("avx512f"))) std::size_t keepOutsideAvx512(const std::int64_t* bx, const std::int64_t* by, std::size_t k, Point* out,
                                                                  std::size_t kept, const __m512i* u, const __m512i* w,
                                                                  const __m512i* c, int edges) {
    const __m512i firstPairs = _mm512_set_epi64(11, 3, 10, 2, 9, 1, 8, 0), lastPairs = _mm512_set_epi64(15, 7, 14, 6, 13, 5, 12, 4);
    for (std::size_t j = 0; j < k; j += 8) {
        const __m512i x = _mm512_load_si512(bx + j), y = _mm512_load_si512(by + j);
        const __mmask8 valid = k - j >= 8 ? 0xFF : __mmask8((1u << (k - j)) - 1);  // the last group's lanes up to k
        __mmask8 inside = valid;
        for (int e = 0; e < edges; ++e) {
            const __m512i side = _mm512_sub_epi64(_mm512_mul_epi32(u[e], y), _mm512_mul_epi32(w[e], x));
            inside = _mm512_mask_cmpgt_epi64_mask(inside, side, c[e]);
        }
        const __mmask8 keep = __mmask8(~inside & valid);
        if (keep == 0) continue;
        // The kept points packed by compress, as x y pairs again, written by masked stores: only
        // they are written (out may be the points read).
        const __m512i kx = _mm512_maskz_compress_epi64(keep, x), ky = _mm512_maskz_compress_epi64(keep, y);
        const unsigned words = 2 * unsigned(__builtin_popcount(keep));
        std::int64_t* to = reinterpret_cast<std::int64_t*>(out + kept);
        _mm512_mask_storeu_epi64(to, __mmask8((1u << std::min(words, 8u)) - 1), _mm512_permutex2var_epi64(kx, firstPairs, ky));
        _mm512_mask_storeu_epi64(to + 8, __mmask8((1u << (words > 8 ? words - 8 : 0)) - 1), _mm512_permutex2var_epi64(kx, lastPairs, ky));
        kept += words / 2;
    }
    return kept;
}

__attribute__((target("avx512f"))) std::size_t throwAwayAvx512(const Point* in, std::size_t n, Point* out, const Polygon& q) {
    __m512i u[Polygon::kMost], w[Polygon::kMost], c[Polygon::kMost];
    for (int e = 0; e < q.edges; ++e) {
        u[e] = _mm512_set1_epi64(q.u[e]), w[e] = _mm512_set1_epi64(q.w[e]), c[e] = _mm512_set1_epi64(q.c[e]);
    }
    const __m512i cx = _mm512_set1_epi64(q.cx), cy = _mm512_set1_epi64(q.cy);
    const __m512i box = _mm512_set1_epi64(q.box), diamond = _mm512_set1_epi64(q.diamond);
    const __m512i octagon = _mm512_set1_epi64(q.octagon), octagonSum = _mm512_set1_epi64(q.octagonSum);
    constexpr std::size_t kBuffer = 1024;
    alignas(64) std::int64_t bx[kBuffer + 8], by[kBuffer + 8];
    std::size_t kept = 0, k = 0;
    const auto flush = [&] {
        kept = keepOutsideAvx512(bx, by, k, out, kept, u, w, c, q.edges);
        k = 0;
    };
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m512i x, y;
        coordinatesOfEight(in + i, x, y);
        const __m512i dx = _mm512_abs_epi64(_mm512_sub_epi64(x, cx)), dy = _mm512_abs_epi64(_mm512_sub_epi64(y, cy));
        const __m512i most = _mm512_max_epi64(dx, dy), sum = _mm512_add_epi64(dx, dy);
        const __mmask8 core = _mm512_cmple_epi64_mask(most, box) | _mm512_cmple_epi64_mask(sum, diamond) |
                              (_mm512_cmple_epi64_mask(most, octagon) & _mm512_cmple_epi64_mask(sum, octagonSum));
        const __mmask8 unsure = __mmask8(~core);
        _mm512_storeu_si512(bx + k, _mm512_maskz_compress_epi64(unsure, x));
        _mm512_storeu_si512(by + k, _mm512_maskz_compress_epi64(unsure, y));
        k += unsigned(__builtin_popcount(unsure));
        if (k > kBuffer - 8) flush();
    }
    flush();
    return kept + throwAwayPlain(in + i, n - i, out + kept, q);
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
// The extreme points of p[0, m) in the sixteen directions, as survivorsPolygon's loop finds them
// (of equally extreme points, the first), eight points at a time in AVX-512: each lane keeps its
// own best and where it was, the lanes compared at the end. Returns how many points it read, a
// multiple of eight; `extreme` and `best` hold p[0]'s on entry.
__attribute__((target("avx512f"))) std::size_t extremesAvx512(const Point* p, std::size_t m, Point* extreme, std::int64_t* best) {
    const __m512i lanes = _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0), eight = _mm512_set1_epi64(8);
    __m512i top[16], at[16];
    for (int d = 0; d < 16; ++d) top[d] = _mm512_set1_epi64(best[d]), at[d] = _mm512_setzero_si512();
    std::size_t i = 0;
    __m512i index = lanes;
    for (; i + 8 <= m; i += 8, index = _mm512_add_epi64(index, eight)) {
        __m512i x, y;
        coordinatesOfEight(p + i, x, y);
        for (int d = 0; d < 16; ++d) {
            const __m512i f = _mm512_add_epi64(_mm512_mul_epi32(_mm512_set1_epi64(kDirection16[d][0]), x),
                                               _mm512_mul_epi32(_mm512_set1_epi64(kDirection16[d][1]), y));
            const __mmask8 more = _mm512_cmpgt_epi64_mask(f, top[d]);
            top[d] = _mm512_mask_blend_epi64(more, top[d], f);
            at[d] = _mm512_mask_blend_epi64(more, at[d], index);
        }
    }
    alignas(64) std::int64_t t[8], where[8];
    for (int d = 0; d < 16; ++d) {
        _mm512_store_si512(t, top[d]), _mm512_store_si512(where, at[d]);
        std::int64_t first = 0;  // p[0]'s index, where no lane found more
        for (int l = 0; l < 8; ++l) {
            if (t[l] > best[d] || (t[l] == best[d] && where[l] < first)) best[d] = t[l], first = where[l];
        }
        extreme[d] = p[first];
    }
    return i;
}
#pragma GCC diagnostic pop
#endif

// The polygon of the points' own extreme points in the sixteen directions (Akl and Toussaint's):
// for the pass's survivors, which hold every extreme point of the input, a polygon inside the hull
// of all that is no longer a sample's, eight points at a time in AVX-512 where `avx512` and the
// processor has it. False when it has fewer than three corners. O(m).
bool survivorsPolygon(const Point* p, std::size_t m, Polygon& q, bool avx512) {
    if (m == 0) return false;
    Point extreme[16];
    std::int64_t best[16];
    for (int d = 0; d < 16; ++d) extreme[d] = p[0], best[d] = kDirection16[d][0] * p[0].x + kDirection16[d][1] * p[0].y;
    std::size_t from = 1;
#if defined(__x86_64__) && defined(__GNUC__)
    if (avx512 && fastHullHasAvx512()) from = std::max<std::size_t>(1, extremesAvx512(p, m, extreme, best));
#else
    (void)avx512;
#endif
    for (std::size_t i = from; i < m; ++i) {
        for (int d = 0; d < 16; ++d) {
            const std::int64_t f = kDirection16[d][0] * p[i].x + kDirection16[d][1] * p[i].y;
            if (f > best[d]) best[d] = f, extreme[d] = p[i];
        }
    }
    std::sort(extreme, extreme + 16);
    if (!extremePolygon(cornersOf(extreme, 16), q)) return false;
    setCore(q);
    return true;
}

// Of the m points the pass kept, those that can be corners: outside the polygon, or one of its
// corners. A corner of the hull of all that lies in the polygon (inside the hull) is a corner of
// the polygon too, so a point on one of its edges is none. O(m) beyond the pass.
std::size_t possibleCorners(Point* p, std::size_t m, const Polygon& q) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m; ++i) {
        const Point r = p[i];
        bool outside = false, corner = false;
        for (int e = 0; e < q.edges; ++e) {
            outside |= q.u[e] * r.y - q.w[e] * r.x < q.c[e];
            corner |= r.x == q.corner[e].x && r.y == q.corner[e].y;
        }
        if (outside || corner) p[kept++] = r;
    }
    return kept;
}

// Whether the pass would throw away at least half of the points, judged on 256 of them spread
// through the input: on `circle` and `convex` it would throw away almost none, and its read
// would be lost.
bool worthIt(const Point* points, std::size_t n, const Polygon& q) {
    constexpr std::size_t kProbe = 256;
    const std::size_t step = n / kProbe;
    std::size_t inside = 0;
    for (std::size_t i = 0; i < kProbe; ++i) inside += strictlyInside(q, points[i * step + step / 2].x, points[i * step + step / 2].y);
    return 2 * inside >= kProbe;
}

}  // namespace

std::vector<Point> cornersOfSorted(Point* sorted, std::size_t m) { return cornersOf(sorted, m); }

// The corners by the program's quickhull on an array (qhullArray, O(n h): a few passes where the
// hull has few corners), whose result (counter-clockwise, with any points on edges and copies it
// keeps) a chain reduces to the corners where it has any. O(n h + h log h).
std::vector<Point> cornersByQuickhull(std::vector<Point> points) {
    std::vector<Point> hull = qhullArray(std::move(points));
    // Where every turn around it is strictly left, there is no point on an edge and no copy: the
    // result is the corners already, counter-clockwise from the least point (quickhull starts there).
    bool strict = hull.size() >= 3;
    for (std::size_t i = 0, h = hull.size(); strict && i < h; ++i) {
        strict = cross(hull[i], hull[i + 1 < h ? i + 1 : i + 1 - h], hull[i + 2 < h ? i + 2 : i + 2 - h]) > 0;
    }
    if (strict) return hull;
    std::sort(hull.begin(), hull.end());
    return cornersOf(hull.data(), hull.size());
}

// Chains of fewer points are not thinned: their pops cost less than a probe.
constexpr std::size_t kThinFrom = 4096;

namespace {

// Of sorted[i, m - 1), the keys strictly below the line l-r appended to lower from kl, those
// strictly above to upper from ku (upper may be `sorted` itself: ku <= i, never ahead of the
// read). No branch: each key is written to both, kept by one. O(m - i).
void splitPlain(const std::uint64_t* sorted, std::size_t i, std::size_t m, std::uint64_t* lower, std::size_t& kl,
                std::uint64_t* upper, std::size_t& ku, Point l, Point r) {
    for (; i + 1 < m; ++i) {
        const std::uint64_t key = sorted[i];
        const std::int64_t side = cross(l, r, pointOf(key));
        lower[kl] = key;
        upper[ku] = key;
        kl += side < 0;
        ku += side > 0;
    }
}

// The middles list[i, count - 1) thinned as chainsOfKeys says, `before` the key list[i - 1] held
// when read (the pass may have written over it since), written from list[k]; the list's last key
// kept. Returns the new count. O(count - i).
std::size_t thinPlain(std::uint64_t* list, std::size_t count, int keep, std::size_t k, std::size_t i, std::uint64_t before) {
    if (i >= count) return k;
    std::uint64_t middle = list[i];
    Point a = pointOf(before), b = pointOf(middle);
    for (++i; i < count; ++i) {
        const std::uint64_t key = list[i];
        const Point c = pointOf(key);
        const std::int64_t turn = cross(a, b, c) * keep;
        list[k] = middle;  // k < i: never ahead of the read
        k += (turn > 0) | ((turn == 0) & (middle == before) & (middle != key));
        a = b, b = c, before = middle, middle = key;
    }
    list[k++] = middle;
    return k;
}

#if defined(__x86_64__) && defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"  // GCC 12's own _mm512_undefined_epi32, in its AVX-512 intrinsics
// Keys as coordinates, eight at a time.
__attribute__((target("avx512f"))) inline void coordinatesOf(__m512i key, __m512i& x, __m512i& y) {
    x = _mm512_sub_epi64(_mm512_srli_epi64(key, 31), _mm512_set1_epi64(kBias));
    y = _mm512_sub_epi64(_mm512_and_si512(key, _mm512_set1_epi64(std::int64_t(kLow31))), _mm512_set1_epi64(kBias));
}

// splitPlain from i = 1, eight keys at a time, each group's keys of each side packed by compress;
// returns where it stopped. Every difference fits 32 bits, every product 62.
__attribute__((target("avx512f"))) std::size_t splitAvx512(const std::uint64_t* sorted, std::size_t m, std::uint64_t* lower, std::size_t& kl,
                                                           std::uint64_t* upper, std::size_t& ku, Point l, Point r) {
    const __m512i lx = _mm512_set1_epi64(l.x), ly = _mm512_set1_epi64(l.y);
    const __m512i dx = _mm512_set1_epi64(r.x - l.x), dy = _mm512_set1_epi64(r.y - l.y), zero = _mm512_setzero_si512();
    std::size_t i = 1;
    for (; i + 9 <= m; i += 8) {  // keys i to i + 7, all before the last
        const __m512i key = _mm512_loadu_si512(sorted + i);
        __m512i x, y;
        coordinatesOf(key, x, y);
        const __m512i side = _mm512_sub_epi64(_mm512_mul_epi32(dx, _mm512_sub_epi64(y, ly)), _mm512_mul_epi32(dy, _mm512_sub_epi64(x, lx)));
        const __mmask8 below = _mm512_cmplt_epi64_mask(side, zero), above = _mm512_cmpgt_epi64_mask(side, zero);
        _mm512_storeu_si512(lower + kl, _mm512_maskz_compress_epi64(below, key));  // kl + 8 <= i + 8 < m: within lower's room
        kl += unsigned(__builtin_popcount(below));
        _mm512_storeu_si512(upper + ku, _mm512_maskz_compress_epi64(above, key));  // up to key i + 7, read already
        ku += unsigned(__builtin_popcount(above));
    }
    return i;
}

// thinPlain over the whole list, eight middles at a time (each group's kept ones packed by
// compress), the next group read before the current one is written; the rest one at a time.
__attribute__((target("avx512f"))) std::size_t thinAvx512(std::uint64_t* list, std::size_t count, int keep) {
    if (count < 10) return thinPlain(list, count, keep, 1, 1, list[0]);
    const __m512i zero = _mm512_setzero_si512();
    std::size_t k = 1, i = 1;
    __m512i b = _mm512_loadu_si512(list), m = _mm512_loadu_si512(list + 1), a = _mm512_loadu_si512(list + 2);
    std::uint64_t before = list[0];
    while (i + 9 <= count) {  // middles i to i + 7, their next keys up to i + 8 <= count - 1
        __m512i ax, ay, bx, by, cx, cy;
        coordinatesOf(b, ax, ay), coordinatesOf(m, bx, by), coordinatesOf(a, cx, cy);
        __m512i turn = _mm512_sub_epi64(_mm512_mul_epi32(_mm512_sub_epi64(bx, ax), _mm512_sub_epi64(cy, ay)),
                                        _mm512_mul_epi32(_mm512_sub_epi64(by, ay), _mm512_sub_epi64(cx, ax)));
        if (keep < 0) turn = _mm512_sub_epi64(zero, turn);
        const __mmask8 kept = _mm512_cmpgt_epi64_mask(turn, zero) |
                              (_mm512_cmpeq_epi64_mask(turn, zero) & _mm512_cmpeq_epi64_mask(m, b) & _mm512_cmpneq_epi64_mask(m, a));
        before = list[i + 7];
        const __m512i middles = m;
        i += 8;
        if (i + 9 <= count) {  // the next group, read before this one is written (up to key i - 1)
            b = _mm512_loadu_si512(list + i - 1), m = _mm512_loadu_si512(list + i), a = _mm512_loadu_si512(list + i + 1);
        }
        _mm512_storeu_si512(list + k, _mm512_maskz_compress_epi64(kept, middles));
        k += unsigned(__builtin_popcount(kept));
    }
    return thinPlain(list, count, keep, k, i, before);
}
#pragma GCC diagnostic pop
#endif

}  // namespace

Chains chainsOfKeys(std::uint64_t* sorted, std::size_t m, std::uint64_t* spare, bool avx512) {
    std::uint64_t* lower = spare;
    std::uint64_t* upper = sorted;  // packed in place
    lower[0] = sorted[0];
    if (sorted[0] == sorted[m - 1]) return {lower, 1, upper, 1};  // copies of one point
    const Point l = pointOf(sorted[0]), r = pointOf(sorted[m - 1]);
    std::size_t kl = 1, ku = 1;  // both lists start with l (upper[0] is l already)
#if defined(__x86_64__) && defined(__GNUC__)
    const bool wide = avx512 && fastHullHasAvx512();
    splitPlain(sorted, wide ? splitAvx512(sorted, m, lower, kl, upper, ku, l, r) : 1, m, lower, kl, upper, ku, l, r);
#else
    const bool wide = false;
    (void)avx512;
    splitPlain(sorted, 1, m, lower, kl, upper, ku, l, r);
#endif
    lower[kl++] = sorted[m - 1];
    upper[ku++] = sorted[m - 1];
    // Each chain left to right, its stack in place over its own list: counter-clockwise turns
    // below, clockwise above. The chains' pops, which no branch predictor foresees on `circle`,
    // are halved by the split, and most are made needless by thinning first: a point that turns
    // the chain the wrong way between its two neighbours in the list, or lies on the segment
    // between two other points, is inside or on the segment of two points about it in x and is no
    // corner, whatever becomes of them (of copies of a point, the last is kept, unjudged). Every
    // such point is dropped in one pass with no branch (eight at a time with AVX-512), and passes
    // are repeated while they drop an eighth of the list or more (on `circle`, where the grid's
    // rounding makes four points in five dents, about half of them each pass).
    auto thin = [wide](std::uint64_t* list, std::size_t count, int keep) {
        if (count < 3) return count;
#if defined(__x86_64__) && defined(__GNUC__)
        if (wide) return thinAvx512(list, count, keep);
#else
        (void)wide;
#endif
        return thinPlain(list, count, keep, 1, 1, list[0]);
    };
    // Whether the list's first 1,024 points hold an eighth or more that do not turn its way: where
    // they do not (`convex`, and the few survivors of a pass), a pass one key at a time would drop
    // little. Eight at a time, a pass costs less than the stack and is always run.
    auto dented = [](const std::uint64_t* list, std::size_t count, int keep) {
        const std::size_t probe = std::min<std::size_t>(count, 1026);
        std::size_t dents = 0;
        for (std::size_t i = 1; i + 1 < probe; ++i) dents += cross(pointOf(list[i - 1]), pointOf(list[i]), pointOf(list[i + 1])) * keep <= 0;
        return probe >= 3 && dents * 8 >= probe - 2;
    };
    // A pass that drops nothing finds every point turning the chain's way: the list, monotone in
    // x, is convex and its own chain (`convex`), and the stack is not needed.
    auto chainInPlace = [&thin, &dented, wide](std::uint64_t* list, std::size_t count, int keep) {
        if (count >= kThinFrom && (wide || dented(list, count, keep))) {
            std::size_t before = count;
            count = thin(list, count, keep);
            if (count == before) return count;
            while (count * 8 <= before * 7) before = count, count = thin(list, count, keep);
        }
        std::size_t k = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t key = list[i];
            const Point p = pointOf(key);
            while (k >= 2 && cross(pointOf(list[k - 2]), pointOf(list[k - 1]), p) * keep <= 0) --k;
            list[k++] = key;
        }
        return k;
    };
    return {lower, chainInPlace(lower, kl, 1), upper, chainInPlace(upper, ku, -1)};
}

std::uint64_t* sortKeys(const Point* in, std::size_t m, std::uint64_t* keys, std::uint64_t* spare, KeySort how) {
#ifdef HULL_LAB_VQSORT
    if (how != KeySort::Radix) return vectorSort(in, m, keys);
#else
    (void)how;
#endif
    return radixSort(in, m, keys, spare);
}

std::size_t cornersOfKeys(const Point* from, Point* p, std::size_t m, const FastHullPaths& paths) {
    if (m == 0) return 0;
    std::uint64_t* front = reinterpret_cast<std::uint64_t*>(p);
    std::uint64_t* sorted = sortKeys(from, m, front, front + m, keySort(paths));
    const Chains c = chainsOfKeys(sorted, m, sorted == front ? front + m : front);
    if (c.k == 1) {  // copies of one point
        p[0] = pointOf(sorted[0]);
        return 1;
    }
    // The hull's keys: the lower chain from l to r, then the upper one back from r, without its
    // ends, after it (h = k + u - 2 <= m keys fit in the half).
    std::uint64_t* hull = c.lower;
    for (std::size_t j = 0; j + 2 < c.u; ++j) hull[c.k + j] = c.upper[c.u - 2 - j];
    const std::size_t h = c.k + c.u - 2;
    // Keys to points in place: a point takes two keys' room, so keys in the front half are
    // unpacked from the last, keys in the back half from the first; neither overwrites a key it
    // has yet to read.
    if (hull == front) {
        for (std::size_t i = h; i-- > 0;) p[i] = pointOf(hull[i]);
    } else {
        for (std::size_t i = 0; i < h; ++i) p[i] = pointOf(hull[i]);
    }
    return h;
}

Path choosePath(const Point* points, std::size_t m, const FastHullPaths& paths, Polygon& polygon) {
    const bool decide = paths.filter == FastHullPaths::Auto ? m >= kFastHullDecideFrom : paths.filter == FastHullPaths::On;
    if (!decide || m < 3) return Path::Plain;
    // 32 points decide the path below 4,096 points, 64 below 32,768; the pass's polygon, from
    // 32,768 points, takes 1 in 32, at most 1,024. A forced pass on a small input samples half of
    // it. Below 4,096 points the sample is most of what the fastest hull pays beyond the array
    // quickhull: counted at 10^3 points, 4-5% more estimated cycles on `square`, `disc`, `normal`
    // and `lattice` (6-7% while the sample's hull was built in vectors of its own).
    const bool forced = paths.filter == FastHullPaths::On;
    const std::size_t sample = forced                   ? std::max<std::size_t>(3, m / 2)
                               : m < kFastHullSmallSampleBelow ? 32
                               : m < kFastHullPassFrom ? 64
                                                       : std::min<std::size_t>(1024, m / 32);
    // Below 4,096 points only the sample's count of corners decides: there is no pass.
    if (!forced && sample == 32) {
        const bool fewCorners = sampleCorners(points, m, sample) * 2 <= sample;
        return fewCorners && paths.quickhull == FastHullPaths::Auto ? Path::Quickhull : Path::Plain;
    }
    const std::vector<Point> hull = sampleHull(points, m, sample);
    const bool polygonFound = (forced || m >= kFastHullPassFrom) && extremePolygon(hull, polygon);
    const bool pays = forced || (polygonFound && worthIt(points, m, polygon));
    // A sample whose hull has few corners (a quarter of it or fewer; half of 32) promises a hull
    // of few corners, which quickhull finds in a few passes that discard nearly every point at
    // the first split: taken below 32,768 points, where the pass does not repay its sample, and
    // where the pass would throw away little (`line`, `sliver`: thin hulls). The sample of 32
    // from `disc` has some 9 corners, from `circle` and `convex` all 32.
    const bool few = hull.size() * (sample == 32 ? 2 : 4) <= sample;
    if (!forced && paths.quickhull == FastHullPaths::Auto && few && !pays) return Path::Quickhull;
    if (!pays || !polygonFound) return Path::Plain;
    setCore(polygon);  // for the pass's AVX-512 form; not worth its 2 us where there is no pass
    return Path::Filter;
}

std::size_t survivorsOf(const Point* in, std::size_t n, Point* p, const Polygon& polygon, const FastHullPaths& paths) {
#if defined(__x86_64__) && defined(__GNUC__)
    std::size_t m = paths.avx512 && fastHullHasAvx512() ? throwAwayAvx512(in, n, p, polygon)
                          : paths.avx2 && fastHullHasAvx2()   ? throwAwayAvx2(in, n, p, polygon)
                                                              : throwAwayPlain(in, n, p, polygon);
#else
    (void)paths;
    std::size_t m = throwAwayPlain(in, n, p, polygon);
#endif
    // The survivors again, against the polygon of their own extreme points (on `lattice` it takes
    // the grid's edges, where the sample's polygon leaves whole rows outside).
    Polygon extremes;
    if (!survivorsPolygon(p, m, extremes, paths.avx512)) return possibleCorners(p, m, polygon);
#if defined(__x86_64__) && defined(__GNUC__)
    if (paths.avx512 && fastHullHasAvx512()) m = throwAwayAvx512(p, m, p, extremes);  // most of them, eight at a time
#endif
    return possibleCorners(p, m, extremes);
}

Corners oneThread(const Point* points, std::size_t n, Path path, const Polygon& polygon, const FastHullPaths& paths) {
    Corners result;
    if (path == Path::Quickhull) {
        const std::vector<Point> corners = cornersByQuickhull(std::vector<Point>(points, points + n));
        result.points.reset(new Point[corners.size()]);
        std::copy(corners.begin(), corners.end(), result.points.get());
        result.size = corners.size();
        return result;
    }
    result.points.reset(new Point[n]);  // left unset: the pass or the keys write what is read
    if (path == Path::Filter) {
        const std::size_t m = survivorsOf(points, n, result.points.get(), polygon, paths);
        result.size = cornersInto(result.points.get(), m, result.points.get(), paths);
    } else {
        result.size = cornersInto(points, n, result.points.get(), paths);
    }
    return result;
}

std::size_t cornersInto(const Point* from, std::size_t m, Point* p, const FastHullPaths& paths) {
    const bool keys = paths.radix == FastHullPaths::Auto ? m >= kFastHullKeysFrom : paths.radix == FastHullPaths::On;
    if (keys) return cornersOfKeys(from, p, m, paths);
    if (from != p) std::copy(from, from + m, p);
    std::sort(p, p + m);
    const std::vector<Point> corners = cornersOf(p, m);
    std::copy(corners.begin(), corners.end(), p);
    return corners.size();
}

}  // namespace fast

bool fastHullHasAvx2() {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
#else
    return false;
#endif
}

bool fastHullHasAvx512() {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool has = __builtin_cpu_supports("avx512f");
    return has;
#else
    return false;
#endif
}

bool fastHullHasVectorSort() {
#ifdef HULL_LAB_VQSORT
    return true;
#else
    return false;
#endif
}

std::uint64_t* sortedKeys(Point* points, std::size_t m, KeySort how) {
    std::uint64_t* keys = reinterpret_cast<std::uint64_t*>(points);
    return fast::sortKeys(points, m, keys, keys + m, how);
}

Corners fastHull(const Point* points, std::size_t n, FastHullPaths paths) {
    fast::Polygon polygon;
    const fast::Path path = paths.quickhull == FastHullPaths::On ? fast::Path::Quickhull : fast::choosePath(points, n, paths, polygon);
    return fast::oneThread(points, n, path, polygon, paths);
}

std::vector<Point> fastHull(std::vector<Point> points, FastHullPaths paths) {
    const Corners corners = fastHull(points.data(), points.size(), paths);
    points.assign(corners.points.get(), corners.points.get() + corners.size);
    return points;
}

}  // namespace lab
