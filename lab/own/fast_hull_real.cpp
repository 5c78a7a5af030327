// The lab's fastest exact hull on doubles (and on floats, widened exactly): a throw-away pass, then
// a monotone chain over what survives, sorted as 128-bit keys by vqsort.
//
// 1. Throw-away (after Akl and Toussaint), from 4,096 points: the exact hull of a sample of 1,024
//    points lies inside the hull of all, and so does the polygon of at most 16 of its corners. A
//    point strictly inside that polygon is no corner. Most points are thrown away by comparisons
//    alone, which are exact on doubles: two boxes (one, where the polygon is square) whose corners
//    the exact turn test puts strictly inside the polygon, so that a point strictly inside either
//    box is strictly inside it; eight points at a time with AVX-512. A point outside both gets the
//    polygon's own test, each edge's turn in plain doubles with the rounding error's bound: a point
//    goes only where every turn is certainly to the left; where a turn is too close to call, or its
//    products overflow or underflow, the point stays (keeping a point is always safe). The survivors
//    are written over the front of the points' own memory.
// 2. Sort: each survivor becomes a 128-bit key whose unsigned order is the point order (x, then y):
//    each coordinate's bits mapped so that unsigned order is the doubles' order, -0 made 0 first
//    (one coordinate), x the key's high half; written over the point itself, sorted in place by
//    Highway's vqsort (own/vqsort_library.cpp), and mapped back. Without Highway, std::sort.
// 3. Andrew's monotone chain, copies skipped, each turn exact (the filter of coords.h, then GMP's
//    rationals where it cannot decide): the corners counter-clockwise from the lowest of the
//    leftmost points, none on an edge, each once.
//
// O(n) for the pass, O(m log m) for m survivors; no memory beyond the points' (the caller's copy)
// but the corners'. With RealTurns::Plain the same steps decide every turn in plain doubles (the
// pass: det > 0), to measure what exactness costs; that form is not exact.

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "lab.h"
#include "own/fast_hull_parts.h"
#include "own/own.h"

namespace lab {

namespace {

constexpr std::size_t kPassFrom = 4096;  // below, every point is sorted
constexpr std::size_t kSample = 1024;
constexpr std::uint64_t kSign = std::uint64_t(1) << 63;

// A box (xlo, xhi) x (ylo, yhi), open: an empty one where lo == hi.
struct Box {
    double xlo = 0, xhi = 0, ylo = 0, yhi = 0;
    bool holds(double x, double y) const { return x > xlo && x < xhi && y > ylo && y < yhi; }
};

// The convex polygon of the pass: its corners counter-clockwise, and two boxes strictly inside it.
struct RealPolygon {
    RealPoint corner[16];
    int corners = 0;
    Box box[2];
};

// Sign of (a - o) x (b - o) in plain doubles: the textbook's turn, not exact.
inline int plainTurn(const RealPoint& o, const RealPoint& a, const RealPoint& b) {
    const double det = (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
    return (det > 0) - (det < 0);
}

template <RealTurns turns>
inline int turnOf(const RealPoint& o, const RealPoint& a, const RealPoint& b) {
    if constexpr (turns == RealTurns::Exact) return turn(o, a, b);
    return plainTurn(o, a, b);
}

// Whether p lies certainly strictly left of a->b: the products of the differences from p (as
// Shewchuk's orient2d takes them) clear their rounding error's bound, with room to spare, and
// neither overflows nor underflows. Plain: the rounded determinant is positive.
template <RealTurns turns>
inline bool certainlyLeft(const RealPoint& a, const RealPoint& b, double px, double py) {
    const double l = (a.x - px) * (b.y - py), r = (a.y - py) * (b.x - px);
    const double det = l - r;
    if constexpr (turns == RealTurns::Plain) return det > 0;
    const double sum = std::fabs(l) + std::fabs(r);
    return sum > 0x1p-900 && sum <= 0x1.fffffffffffffp+1023 && det > 4 * 0x1p-53 * sum;
}

template <RealTurns turns>
inline bool insidePolygon(const RealPolygon& q, double x, double y) {
    bool inside = true;
    for (int e = 0; e < q.corners; ++e) inside &= certainlyLeft<turns>(q.corner[e], q.corner[(e + 1) % q.corners], x, y);
    return inside;
}

// Whether every corner of the box is strictly inside the polygon, exactly.
bool boxInside(const RealPolygon& q, const Box& b) {
    const RealPoint corners[4] = {{b.xlo, b.ylo}, {b.xhi, b.ylo}, {b.xhi, b.yhi}, {b.xlo, b.yhi}};
    for (const RealPoint& c : corners) {
        for (int e = 0; e < q.corners; ++e) {
            if (turn(q.corner[e], q.corner[(e + 1) % q.corners], c) <= 0) return false;
        }
    }
    return true;
}

// The largest boxes of half-widths (t wx, t wy) about (cx, cy) that lie strictly inside the
// polygon, t found by bisection (exact tests of their corners); empty where none does.
Box largestBox(const RealPolygon& q, double cx, double cy, double wx, double wy) {
    auto boxAt = [&](double t) { return Box{cx - t * wx, cx + t * wx, cy - t * wy, cy + t * wy}; };
    double in = 0, out = 2;
    for (int step = 0; step < 24; ++step) {
        const double t = (in + out) / 2;
        (boxInside(q, boxAt(t)) ? in : out) = t;
    }
    return in > 0 && boxInside(q, boxAt(in)) ? boxAt(in) : Box{};
}

// The polygon for the pass from the sample hull `hull` (counter-clockwise, 3 or more corners):
// at most 16 of its corners, spread along it, and the boxes: one of the polygon's proportions, or
// a cross of two (half-widths as cos and sin of 31.7 degrees, which covers most of a disc),
// whichever covers more. O(h + a few hundred exact turns).
RealPolygon polygonOf(const std::vector<RealPoint>& hull) {
    RealPolygon q;
    // The corners extreme in 16 directions (by plain products: the choice needs no exactness, as
    // any of the hull's corners in their order make a convex polygon inside it), in hull order.
    std::vector<std::size_t> chosen;
    for (int d = 0; d < 16; ++d) {
        const double ux = std::cos(d * 0.39269908169872414), uy = std::sin(d * 0.39269908169872414);
        std::size_t best = 0;
        for (std::size_t i = 1; i < hull.size(); ++i) {
            if (ux * hull[i].x + uy * hull[i].y > ux * hull[best].x + uy * hull[best].y) best = i;
        }
        chosen.push_back(best);
    }
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    for (std::size_t i : chosen) q.corner[q.corners++] = hull[i];
    if (q.corners < 3) {
        q.corners = 0;
        for (std::size_t i = 0, k = std::min<std::size_t>(hull.size(), 16); i < k; ++i) q.corner[q.corners++] = hull[i * hull.size() / k];
    }
    double x0 = q.corner[0].x, x1 = x0, y0 = q.corner[0].y, y1 = y0, sx = 0, sy = 0;
    for (int i = 0; i < q.corners; ++i) {
        x0 = std::min(x0, q.corner[i].x), x1 = std::max(x1, q.corner[i].x);
        y0 = std::min(y0, q.corner[i].y), y1 = std::max(y1, q.corner[i].y);
        sx += q.corner[i].x / q.corners, sy += q.corner[i].y / q.corners;
    }
    const double wx = x1 / 2 - x0 / 2, wy = y1 / 2 - y0 / 2, c = 0.851, s = 0.526;
    if (!std::isfinite(sx) || !std::isfinite(sy) || !std::isfinite(wx) || !std::isfinite(wy)) return q;
    const Box one = largestBox(q, sx, sy, wx, wy);
    const Box wide = largestBox(q, sx, sy, c * wx, s * wy), tall = largestBox(q, sx, sy, s * wx, c * wy);
    auto area = [](const Box& b) { return (b.xhi - b.xlo) * (b.yhi - b.ylo); };
    const double overlap = std::max(0.0, std::min(wide.xhi, tall.xhi) - std::max(wide.xlo, tall.xlo)) *
                           std::max(0.0, std::min(wide.yhi, tall.yhi) - std::max(wide.ylo, tall.ylo));
    if (area(wide) + area(tall) - overlap > area(one)) {
        q.box[0] = wide, q.box[1] = tall;
    } else {
        q.box[0] = one;
    }
    return q;
}

template <RealTurns turns>
inline std::size_t keepIfOutside(const RealPolygon& q, const RealPoint& p, RealPoint* out, std::size_t m) {
    if (q.box[0].holds(p.x, p.y) || q.box[1].holds(p.x, p.y) || insidePolygon<turns>(q, p.x, p.y)) return m;
    out[m] = p;
    return m + 1;
}

#if defined(__x86_64__) && defined(__GNUC__)
// The pass, eight points at a time: both boxes' tests in AVX-512 comparisons, the polygon's test
// for the points outside both. O(n).
template <RealTurns turns>
__attribute__((target("avx512f"))) std::size_t survivorsAvx512(RealPoint* p, std::size_t n, const RealPolygon& q) {
    const __m512i xs = _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14), ys = _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15);
    __m512d lo[2][2], hi[2][2];
    for (int b = 0; b < 2; ++b) {
        lo[b][0] = _mm512_set1_pd(q.box[b].xlo), hi[b][0] = _mm512_set1_pd(q.box[b].xhi);
        lo[b][1] = _mm512_set1_pd(q.box[b].ylo), hi[b][1] = _mm512_set1_pd(q.box[b].yhi);
    }
    std::size_t m = 0, i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m512d a = _mm512_loadu_pd(&p[i].x), c = _mm512_loadu_pd(&p[i + 4].x);
        const __m512d x = _mm512_permutex2var_pd(a, xs, c), y = _mm512_permutex2var_pd(a, ys, c);
        __mmask8 inside = 0;
        for (int b = 0; b < 2; ++b) {
            inside |= _mm512_cmp_pd_mask(x, lo[b][0], _CMP_GT_OQ) & _mm512_cmp_pd_mask(x, hi[b][0], _CMP_LT_OQ) &
                      _mm512_cmp_pd_mask(y, lo[b][1], _CMP_GT_OQ) & _mm512_cmp_pd_mask(y, hi[b][1], _CMP_LT_OQ);
        }
        for (unsigned rest = ~unsigned(inside) & 0xFF; rest != 0; rest &= rest - 1) {
            const RealPoint point = p[i + unsigned(__builtin_ctz(rest))];
            if (!insidePolygon<turns>(q, point.x, point.y)) p[m++] = point;
        }
    }
    for (; i < n; ++i) m = keepIfOutside<turns>(q, p[i], p, m);
    return m;
}
#endif

// The points that can be corners, written over p[0, m); returns m. O(n).
template <RealTurns turns>
std::size_t survivorsOf(RealPoint* p, std::size_t n, const RealPolygon& q) {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool avx512 = __builtin_cpu_supports("avx512f");
    if (avx512) return survivorsAvx512<turns>(p, n, q);
#endif
    std::size_t m = 0;
    for (std::size_t i = 0; i < n; ++i) m = keepIfOutside<turns>(q, p[i], p, m);
    return m;
}

}  // namespace

void sortRealPoints(RealPoint* p, std::size_t m) {
#ifdef HULL_LAB_VQSORT
    static_assert(sizeof(RealPoint) == 2 * sizeof(std::uint64_t), "a point is one 128-bit key");
    std::uint64_t* keys = reinterpret_cast<std::uint64_t*>(p);
    for (std::size_t i = 0; i < m; ++i) {
        const RealPoint q = p[i];
        keys[2 * i] = realOrderKey(q.y), keys[2 * i + 1] = realOrderKey(q.x);
    }
    fast::vqsort128Function()(keys, m);
    for (std::size_t i = 0; i < m; ++i) {
        const double x = realOfOrderKey(keys[2 * i + 1]), y = realOfOrderKey(keys[2 * i]);
        p[i] = {x, y};
    }
#else
    std::sort(p, p + m);
#endif
}

namespace {

// Andrew's monotone chain over the sorted p[0, m): the corners counter-clockwise from the least
// point, none on an edge, each once (copies of one point give it once). O(m) turns.
template <RealTurns turns>
std::vector<RealPoint> chainOfSorted(const RealPoint* p, std::size_t m) {
    if (m == 0) return {};
    std::vector<RealPoint> h(m + 1);
    std::size_t k = 0;
    for (std::size_t i = 0; i < m; ++i) {
        if (i > 0 && p[i] == p[i - 1]) continue;
        while (k >= 2 && turnOf<turns>(h[k - 2], h[k - 1], p[i]) <= 0) --k;
        h[k++] = p[i];
    }
    const std::size_t lower = k + 1;
    for (std::size_t i = m - 1; i-- > 0;) {
        if (p[i] == p[i + 1]) continue;
        while (k >= lower && turnOf<turns>(h[k - 2], h[k - 1], p[i]) <= 0) --k;
        h[k++] = p[i];
    }
    h.resize(k > 1 ? k - 1 : k);
    return h;
}

}  // namespace

std::uint64_t realOrderKey(double value) {
    value += 0.0;  // -0 becomes 0
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits ^ (std::uint64_t(std::int64_t(bits) >> 63) | kSign);
}

double realOfOrderKey(std::uint64_t key) {
    const std::uint64_t bits = key & kSign ? key ^ kSign : ~key;
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::vector<RealPoint> fastHullOnDoubles(std::vector<RealPoint> points, RealTurns turns) {
    RealPoint* p = points.data();
    std::size_t m = points.size();
    if (m >= kPassFrom) {
        std::vector<RealPoint> sample(kSample);
        for (std::size_t i = 0; i < kSample; ++i) sample[i] = p[i * m / kSample];
        std::sort(sample.begin(), sample.end());
        const std::vector<RealPoint> hull = chainOfSorted<RealTurns::Exact>(sample.data(), kSample);
        if (hull.size() >= 3) {
            const RealPolygon q = polygonOf(hull);
            // Where fewer than half of the sample would go (points on a circle, in convex position),
            // the pass costs more than the sort it saves: every point is sorted.
            std::size_t going = 0;
            for (const RealPoint& point : sample) going += q.box[0].holds(point.x, point.y) || q.box[1].holds(point.x, point.y) ||
                                                           insidePolygon<RealTurns::Exact>(q, point.x, point.y);
            if (2 * going >= kSample) {
                m = turns == RealTurns::Exact ? survivorsOf<RealTurns::Exact>(p, m, q) : survivorsOf<RealTurns::Plain>(p, m, q);
            }
        }
    }
    sortRealPoints(p, m);
    return turns == RealTurns::Exact ? chainOfSorted<RealTurns::Exact>(p, m) : chainOfSorted<RealTurns::Plain>(p, m);
}

}  // namespace lab
