// The fastest hull on two threads. Where the pass throws points away, each thread filters half of
// the points and sorts its survivors; both merge the two sorted runs, each writing one half of the
// order. Where every point is kept (no pass), each thread writes the keys of half of the points
// split by a splitter, those below it from the front of its half and the others from the back; one
// exchange of blocks puts every key below the splitter before every other, and each thread sorts
// one side. Either way each makes the chains of its part (all its keys below the other's), and the
// two hulls are joined where their bridges meet. What is left when the pass has thrown nearly
// everything away is finished by one.

#include <algorithm>
#include <exception>
#include <new>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "lab.h"
#include "own/fast_hull_parts.h"
#include "own/own.h"

namespace lab {

namespace fast {

namespace {

// partitionKeys one key at a time from in[0, n), with no branch per key: the free room is
// out[lo, hi), never smaller than what is left to read, so a key is written to both ends and
// the end that is not its own is written over later. Returns the new lo.
std::size_t partitionPlain(const Point* in, std::size_t n, std::uint64_t* out, std::uint64_t splitter, std::size_t lo, std::size_t hi) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t key = keyOf(in[i]);
        const bool below = key < splitter;
        out[lo] = key;
        out[hi - 1] = key;
        lo += below;
        hi -= !below;
    }
    return lo;
}

#if defined(__x86_64__) && defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"  // GCC 12's own _mm512_undefined_epi32, in its AVX-512 intrinsics
// partitionKeys eight keys at a time: each side's keys packed by compress and written by a masked
// store (nothing outside its side's room; no compress-store, which some processors run slowly).
__attribute__((target("avx512f"))) std::size_t partitionAvx512(const Point* in, std::size_t n, std::uint64_t* out, std::uint64_t splitter) {
    const __m512i bias = _mm512_set1_epi64(kBias), split = _mm512_set1_epi64(std::int64_t(splitter));
    std::size_t lo = 0, hi = n, i = 0;
    for (; i + 8 <= n; i += 8) {
        __m512i x, y;
        coordinatesOfEight(in + i, x, y);
        const __m512i key = _mm512_or_si512(_mm512_slli_epi64(_mm512_add_epi64(x, bias), 31), _mm512_add_epi64(y, bias));
        const __mmask8 below = _mm512_cmplt_epu64_mask(key, split);
        const unsigned under = unsigned(__builtin_popcount(below)), over = 8 - under;
        _mm512_mask_storeu_epi64(out + lo, __mmask8((1u << under) - 1), _mm512_maskz_compress_epi64(below, key));
        _mm512_mask_storeu_epi64(out + hi - over, __mmask8((1u << over) - 1), _mm512_maskz_compress_epi64(__mmask8(~below), key));
        lo += under;
        hi -= over;
    }
    return partitionPlain(in + i, n - i, out, splitter, lo, hi);
}
#pragma GCC diagnostic pop
#endif

}  // namespace

std::size_t partitionKeys(const Point* in, std::size_t n, std::uint64_t* out, std::uint64_t splitter, bool avx512) {
#if defined(__x86_64__) && defined(__GNUC__)
    if (avx512 && fastHullHasAvx512()) return partitionAvx512(in, n, out, splitter);
#else
    (void)avx512;
#endif
    return partitionPlain(in, n, out, splitter, 0, n);
}

}  // namespace fast

namespace {

using fast::Chains;
using fast::cross;
using fast::pointOf;

// Below this many survivors of the pass together, one thread sorts and chains them: the work left
// is less than what the threads' meetings cost.
constexpr std::size_t kTwoThreadSortFrom = 32768;

// One thread's half of the copy: its points, then its survivors, sorted keys and chains.
struct Half {
    Point* p = nullptr;  // its points in the copy
    std::size_t n = 0;   // how many
    std::size_t m = 0;   // the survivors of the pass, packed at p
    std::uint64_t* sorted = nullptr;  // its keys sorted, m of them, then free once merged
    std::uint64_t* spare = nullptr;   // the other m words of its memory: its half of the merge
    std::uint64_t least = 0, most = 0;  // its part of the merge's least and greatest keys
};

// How many of the first k keys of the merge of a[0, na) and b[0, nb) come from a (keys of a first
// among equal ones). O(log k).
std::size_t mergeSplit(const std::uint64_t* a, std::size_t na, const std::uint64_t* b, std::size_t nb, std::size_t k) {
    std::size_t lo = k > nb ? k - nb : 0, hi = std::min(k, na);
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (b[k - mid - 1] < a[mid]) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    return lo;
}

// Merges a[0, na) and b[0, nb) into out, with no branch per key (the halves of `convex` and
// `circle` interleave at random, and a branch on which key comes next was mispredicted: the merge
// took as long as the halves' sorts). O(na + nb).
void merge(const std::uint64_t* a, std::size_t na, const std::uint64_t* b, std::size_t nb, std::uint64_t* out) {
    std::size_t i = 0, j = 0;
    while (i < na && j < nb) {
        const std::uint64_t x = a[i], y = b[j];
        const bool fromB = y < x;
        *out++ = fromB ? y : x;
        i += !fromB;
        j += fromB;
    }
    out = std::copy(a + i, a + na, out);
    std::copy(b + j, b + nb, out);
}

// Joins the chain of the left points, left[0, kl), to the chain of the right ones, right[0, kr),
// every key of which is greater (`keep` 1: lower chains, counter-clockwise turns kept; -1: upper
// chains): the chain of all is left[0, a) then right[b, kr). As the monotone chain run on, until
// two of right's keys stand on the stack: its turns are convex, so no later key pops them.
// O(1 + what the bridge hides).
void bridge(const std::uint64_t* left, std::size_t kl, const std::uint64_t* right, std::size_t kr, int keep,
            std::size_t& a, std::size_t& b) {
    a = kl, b = 0;
    for (std::size_t j = 0; j < kr && j - b < 2; ++j) {  // right[b, j) on the stack: none or one
        const Point e = pointOf(right[j]);
        for (;;) {
            const bool rightOnTop = j > b;
            if (a + (rightOnTop ? 1 : 0) < 2) break;
            const Point top = pointOf(rightOnTop ? right[j - 1] : left[a - 1]);
            const Point second = pointOf(rightOnTop ? left[a - 1] : left[a - 2]);
            if (cross(second, top, e) * keep > 0) break;
            if (rightOnTop) {
                b = j;
            } else {
                --a;
            }
        }
    }
}

// The hull's points from the two parts' chains, each thread writing its own part's: the lower
// chain, then the upper one back from the greatest point, without its ends. `join` is (a, b, c, d)
// of the lower and upper bridges. O(h / 2) a thread.
void writeHull(const Chains (&chains)[2], const std::size_t (&join)[4], unsigned t, Point* out) {
    const Chains& l = chains[0];
    const Chains& r = chains[1];
    const std::size_t a = join[0], b = join[1], c = join[2], d = join[3];
    const std::size_t lowerCount = a + r.k - b, upperCount = c + r.u - d;
    Point* upperBack = out + lowerCount + upperCount - 2;  // upper point i goes to upperBack[-i]
    if (t == 0) {
        std::transform(l.lower, l.lower + a, out, pointOf);
        for (std::size_t i = 1; i < c; ++i) *(upperBack - std::ptrdiff_t(i)) = pointOf(l.upper[i]);
    } else {
        std::transform(r.lower + b, r.lower + r.k, out + a, pointOf);
        for (std::size_t i = c; i + 2 <= upperCount; ++i) *(upperBack - std::ptrdiff_t(i)) = pointOf(r.upper[d + i - c]);
    }
}

// The splitter of the keys of points[0, n): the median key of up to 1,024 points spread through
// them, raised by one where it is their least (so that copies of the least point still leave keys
// on both sides). O(1).
std::uint64_t splitterOf(const Point* points, std::size_t n) {
    constexpr std::size_t kMost = 1024;
    std::uint64_t sample[kMost];
    const std::size_t s = std::min(n, kMost);
    if (s == 0) return 0;
    for (std::size_t i = 0; i < s; ++i) sample[i] = fast::keyOf(points[i * (n / s)]);
    std::nth_element(sample, sample + s / 2, sample + s);
    const std::uint64_t median = sample[s / 2];
    return median + (*std::min_element(sample, sample + s) == median);
}

// The two parts' hulls joined: thread 0 finds the bridges and the hull's size and makes its
// memory; then each thread writes its part's points of the hull there. Inside a team's run, after
// both parts' chains; `failed` holds a failed allocation (no point written). O(h / 2) a thread.
struct Joined {
    std::size_t join[4] = {}, h = 0;
    std::unique_ptr<Point[]> hull;
    std::exception_ptr failed;
};
void joinParts(Team& team, unsigned t, const Chains (&chains)[2], Joined& j) {
    if (t == 0) {
        const Chains &l = chains[0], &r = chains[1];
        bridge(l.lower, l.k, r.lower, r.k, 1, j.join[0], j.join[1]);
        bridge(l.upper, l.u, r.upper, r.u, -1, j.join[2], j.join[3]);
        j.h = j.join[0] + r.k - j.join[1] + j.join[2] + r.u - j.join[3] - 2;
        try {
            j.hull.reset(new Point[j.h]);
        } catch (const std::bad_alloc&) {
            j.failed = std::current_exception();
        }
    }
    team.meet();
    if (!j.failed) writeHull(chains, j.join, t, j.hull.get());
}

// fastHull2t where every point is kept (no pass): the keys split by a sampled splitter, each side
// sorted and chained by one thread. Where the splitter leaves a side empty (copies), one thread
// finishes. O(n) a thread but for the sorts; memory: room for a copy, then the hull's own.
Corners plainHull2t(const Point* points, std::size_t n, Team& team, const FastHullPaths& paths) {
    Corners result;
    result.points.reset(new Point[n]);  // words [0, n): the keys; [n, 2n): the sorts' and chains' room
    std::uint64_t* words = reinterpret_cast<std::uint64_t*>(result.points.get());
    const std::uint64_t splitter = splitterOf(points, n);
    const std::size_t n0 = n / 2;
    std::size_t below[2] = {};
    Chains chains[2];
    Joined joined;
    bool alone = false;
    team.run([&](unsigned t) {
        const std::size_t first = t == 0 ? 0 : n0;
        below[t] = fast::partitionKeys(points + first, (t == 0 ? n0 : n) - first, words + first, splitter, paths.avx512);
        team.meet();
        // [0, b0) and [n0, n0 + b1) are below: half 0's keys above (from b0 on) and half 1's keys
        // below (up to n0 + b1) trade places, as many as the fewer of them, each thread half of
        // the pairs; then every key below comes first.
        const std::size_t b0 = below[0], b1 = below[1], all = b0 + b1;
        if (all == 0 || all == n) {
            if (t == 0) alone = true;
            return;
        }
        const std::size_t pairs = std::min(n0 - b0, b1), from = t == 0 ? 0 : pairs / 2, to = t == 0 ? pairs / 2 : pairs;
        std::swap_ranges(words + b0 + from, words + b0 + to, words + n0 + b1 - pairs + from);
        team.meet();
        std::uint64_t* keys = words + (t == 0 ? 0 : all);
        std::uint64_t* spare = words + n + (t == 0 ? 0 : all);
        const std::size_t m = t == 0 ? all : n - all;
        std::uint64_t* sorted = fast::sortKeys(nullptr, m, keys, spare, fast::keySort(paths));
        chains[t] = fast::chainsOfKeys(sorted, m, sorted == keys ? spare : keys);
        team.meet();
        joinParts(team, t, chains, joined);
    });
    if (joined.failed) std::rethrow_exception(joined.failed);
    if (alone) {
        result.size = fast::cornersOfKeys(nullptr, result.points.get(), n, paths);
    } else {
        result.points = std::move(joined.hull);
        result.size = joined.h;
    }
    return result;
}

}  // namespace

Corners fastHull2t(const Point* points, std::size_t n, Team& team, FastHullPaths paths) {
    fast::Polygon polygon;
    const fast::Path path = paths.quickhull == FastHullPaths::On ? fast::Path::Quickhull : fast::choosePath(points, n, paths, polygon);
    // A thin hull of few corners takes the quickhull path, on one thread.
    const bool split = team.size() >= 2 && (paths.split == FastHullPaths::On || n >= kFastHull2tFrom);
    if (path == fast::Path::Quickhull || !split) return fast::oneThread(points, n, path, polygon, paths);
    if (path == fast::Path::Plain) return plainHull2t(points, n, team, paths);
    Corners result;
    result.points.reset(new Point[n]);  // left unset: each thread writes its half's survivors first
    Point* copy = result.points.get();
    Half half[2];
    half[0].p = copy, half[0].n = n / 2;
    half[1].p = copy + n / 2, half[1].n = n - n / 2;
    Chains chains[2];
    Joined joined;
    bool alone = false, onePoint = false;
    std::uint64_t least = 0;
    team.run([&](unsigned t) {
        Half& me = half[t];
        const Point* mine = points + (me.p - copy);
        me.m = fast::survivorsOf(mine, me.n, me.p, polygon, paths);  // each point read once, the survivors written
        team.meet();
        const std::size_t m0 = half[0].m, m1 = half[1].m;
        if (m0 == 0 || m1 == 0 || (paths.split != FastHullPaths::On && m0 + m1 < kTwoThreadSortFrom)) {
            if (t == 0) alone = true;  // both see the same counts and stop: the caller finishes alone
            return;
        }
        me.sorted = sortedKeys(me.p, me.m, fast::keySort(paths));
        std::uint64_t* words = reinterpret_cast<std::uint64_t*>(me.p);
        me.spare = me.sorted == words ? words + me.m : words;
        team.meet();
        // The least m0 keys of all to half 0's spare words, the rest to half 1's.
        const std::size_t i = mergeSplit(half[0].sorted, m0, half[1].sorted, m1, m0);
        if (t == 0) {
            merge(half[0].sorted, i, half[1].sorted, m0 - i, half[0].spare);
        } else {
            merge(half[0].sorted + i, m0 - i, half[1].sorted + (m0 - i), m1 - (m0 - i), half[1].spare);
        }
        team.meet();
        me.least = me.spare[0], me.most = me.spare[me.m - 1];  // before the chains move any key
        chains[t] = fast::chainsOfKeys(me.spare, me.m, me.sorted);  // its run's words are free now
        team.meet();
        if (half[0].least == half[1].most) {  // copies of one point: both see it
            if (t == 0) onePoint = true, least = half[0].least;
            return;
        }
        joinParts(team, t, chains, joined);
    });
    if (joined.failed) std::rethrow_exception(joined.failed);
    if (onePoint) {
        copy[0] = pointOf(least);
        result.size = 1;
    } else if (alone) {  // the survivors of half 1 after those of half 0, finished by one thread
        std::copy(half[1].p, half[1].p + half[1].m, copy + half[0].m);
        result.size = fast::cornersInto(copy, half[0].m + half[1].m, copy, paths);
    } else {
        result.points = std::move(joined.hull);
        result.size = joined.h;
    }
    return result;
}

}  // namespace lab
