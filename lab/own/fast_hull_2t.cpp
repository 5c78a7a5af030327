// The fastest hull on two threads: each thread filters (or copies) and sorts half of the points; both
// merge the two sorted halves, each writing one half of the order; each makes the chains of its
// half of the order (all its keys below the other's), and the two hulls are joined where their
// bridges meet. What is left when the pass has thrown nearly everything away is finished by one.

#include <algorithm>
#include <exception>
#include <new>

#include "lab.h"
#include "own/fast_hull_parts.h"
#include "own/own.h"

namespace lab {

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
    Chains chains{};
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

// The hull's keys from the two halves' chains, each thread writing its own half's keys in place:
// the lower chain, then the upper one back from the greatest point, without its ends. `join` is
// (a, b, c, d) of the lower and upper bridges. O(h / 2) a thread.
void writeHullKeys(const Half (&half)[2], const std::size_t (&join)[4], unsigned t, std::uint64_t* keys) {
    const Chains& l = half[0].chains;
    const Chains& r = half[1].chains;
    const std::size_t a = join[0], b = join[1], c = join[2], d = join[3];
    const std::size_t lowerCount = a + r.k - b, upperCount = c + r.u - d;
    std::uint64_t* upperBack = keys + lowerCount + upperCount - 2;  // upper key i goes to upperBack[-i]
    if (t == 0) {
        std::copy(l.lower, l.lower + a, keys);
        for (std::size_t i = 1; i < c; ++i) *(upperBack - std::ptrdiff_t(i)) = l.upper[i];
    } else {
        std::copy(r.lower + b, r.lower + r.k, keys + a);
        for (std::size_t i = c; i + 2 <= upperCount; ++i) *(upperBack - std::ptrdiff_t(i)) = r.upper[d + i - c];
    }
}

}  // namespace

Corners fastHull2t(const Point* points, std::size_t n, Team& team, FastHullPaths paths) {
    fast::Polygon polygon;
    const fast::Path path = paths.quickhull == FastHullPaths::On ? fast::Path::Quickhull : fast::choosePath(points, n, paths, polygon);
    // A thin hull of few corners takes the quickhull path, on one thread.
    const bool split = team.size() >= 2 && (paths.split == FastHullPaths::On || n >= kFastHull2tFrom);
    if (path == fast::Path::Quickhull || !split) return fast::oneThread(points, n, path, polygon, paths);
    Corners result;
    result.points.reset(new Point[n]);  // left unset: each thread writes its half first
    Point* copy = result.points.get();
    Half half[2];
    half[0].p = copy, half[0].n = n / 2;
    half[1].p = copy + n / 2, half[1].n = n - n / 2;
    std::size_t join[4] = {}, h = 0;
    std::unique_ptr<std::uint64_t[]> keys;
    bool alone = false, onePoint = false;
    std::uint64_t least = 0;
    std::exception_ptr failed;
    team.run([&](unsigned t) {
        Half& me = half[t];
        const Point* mine = points + (me.p - copy);
        if (path == fast::Path::Filter) {  // each point read once, the survivors written
            me.m = fast::survivorsOf(mine, me.n, me.p, polygon, paths);
        } else {
            me.m = std::size_t(std::copy(mine, mine + me.n, me.p) - me.p);
        }
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
        me.chains = fast::chainsOfKeys(me.spare, me.m, me.sorted);  // its run's words are free now
        team.meet();
        if (t == 0) {
            least = half[0].spare[0];
            onePoint = least == half[1].spare[m1 - 1];  // copies of one point
            const Chains &l = half[0].chains, &r = half[1].chains;
            bridge(l.lower, l.k, r.lower, r.k, 1, join[0], join[1]);
            bridge(l.upper, l.u, r.upper, r.u, -1, join[2], join[3]);
            h = onePoint ? 1 : join[0] + r.k - join[1] + join[2] + r.u - join[3] - 2;
            try {
                keys.reset(new std::uint64_t[h]);
            } catch (const std::bad_alloc&) {
                failed = std::current_exception();
            }
        }
        team.meet();
        if (failed || onePoint) return;
        writeHullKeys(half, join, t, keys.get());
        team.meet();
        const std::size_t from = t == 0 ? 0 : h / 2, to = t == 0 ? h / 2 : h;
        for (std::size_t k = from; k < to; ++k) copy[k] = pointOf(keys[k]);
    });
    if (failed) std::rethrow_exception(failed);
    if (onePoint) {
        copy[0] = pointOf(least);
        result.size = 1;
    } else if (alone) {  // the survivors of half 1 after those of half 0, finished by one thread
        std::copy(half[1].p, half[1].p + half[1].m, copy + half[0].m);
        result.size = fast::cornersInPlace(copy, half[0].m + half[1].m, paths);
    } else {
        result.size = h;
    }
    return result;
}

}  // namespace lab
