// The lab's fastest exact hull on doubles (and on floats, widened exactly): a throw-away pass, then
// a monotone chain over what survives, sorted as 128-bit keys by vqsort.
//
// 1. Throw-away (after Akl and Toussaint), from 4,096 points, reading the caller's points in place:
//    the exact hull of a sample of 1,024 points lies inside the hull of all, and so does the
//    polygon of at most 16 of its corners. A point strictly inside that polygon is no corner. Most
//    points go by a core test without a turn: an octagon, a box (compared exactly: comparisons of
//    doubles are exact) cut by a diamond (|dx| ky + |dy| kx, computed in doubles, against a limit
//    lowered past every rounding it can make), whose corners, moved outward past their own
//    rounding, the exact turn test puts strictly inside the polygon; eight points at a time with
//    AVX-512. The points outside it are gathered and get the polygon's own test, eight at a time:
//    each edge's turn in plain doubles with the rounding error's bound; a point goes only where
//    every turn is certainly to the left, and stays where a turn is too close to call or its
//    products overflow or underflow (keeping a point is always safe). The survivors, written to
//    memory of the hull's own, are tested again against 32 corners of their own sample's hull,
//    which lies closer to the hull of all, while that halves them. Where the first sample says
//    fewer than half of the points would go (a circle, points in convex position), no pass. From
//    64 to 4,095 points the polygon is the extremes in eight directions of 128 of the points, no core.
// 2. Sort: each survivor becomes a 128-bit key whose unsigned order is the point order (x, then y):
//    each coordinate's bits mapped so that unsigned order is the doubles' order, -0 made 0 first
//    (one coordinate), x the key's high half; written over the point itself, sorted in place by
//    Highway's vqsort (own/vqsort_library.cpp), and mapped back. Without Highway, std::sort.
// 3. Andrew's monotone chain, each point in one chain only (below or above the line from the least
//    point to the greatest), each turn exact (the filter of coords.h, then its exact stages where it
//    cannot decide): the corners counter-clockwise from the lowest of the leftmost points, none on
//    an edge, each once.
//
// O(n) for the pass, O(m log m) for m survivors; memory: room for a copy, of which only the
// survivors' pages are touched (all of it with no pass), and the corners'. With RealTurns::Plain the same steps decide every turn in plain doubles (the
// pass: det > 0), to measure what exactness costs; that form is not exact.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "lab.h"
#include "own/fast_hull_parts.h"
#include "own/own.h"

namespace lab {

namespace {

constexpr std::size_t kPassFrom = 4096;  // below, the points' own extremes make the pass's polygon
constexpr std::size_t kSmallPassFrom = 64;  // below, every point is sorted
constexpr std::size_t kSample = 1024;
constexpr std::uint64_t kSign = std::uint64_t(1) << 63;

// The pass's core: an octagon, the open box (xlo, xhi) x (ylo, yhi) cut by the diamond
// |x - cx| ky + |y - cy| kx < limit. The box's test is exact (comparisons of doubles); the diamond's
// is computed in doubles against a limit lowered past every rounding error it can make (see
// octagonOf), so that a point that passes both lies in the octagon of the exact values. Empty:
// lo == hi.
struct Core {
    double xlo = 0, xhi = 0, ylo = 0, yhi = 0;
    double cx = 0, cy = 0, kx = 0, ky = 0, limit = 0;
    bool holds(double x, double y) const {
        return x > xlo && x < xhi && y > ylo && y < yhi && std::fabs(x - cx) * ky + std::fabs(y - cy) * kx < limit;
    }
};

// The convex polygon of the pass: its corners counter-clockwise (the first again after the last),
// and the core, strictly inside it.
struct RealPolygon {
    RealPoint corner[33];
    int corners = 0;
    Core core;
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

// The same sign where the point's side is as likely one way as the other: the filter's verdict
// taken without a branch, the exact turn only where it cannot decide (rarely, so predictably).
template <RealTurns turns>
inline int sideOf(const RealPoint& o, const RealPoint& a, const RealPoint& b) {
    const double l = (a.x - o.x) * (b.y - o.y), r = (a.y - o.y) * (b.x - o.x);
    const double det = l - r, sum = std::fabs(l) + std::fabs(r);
    const int plain = (det > 0) - (det < 0);
    if constexpr (turns == RealTurns::Plain) return plain;
    const bool sure = (sum > 0x1p-900) & (sum <= 0x1.fffffffffffffp+1023) & (std::fabs(det) > 4 * 0x1p-53 * sum);
    return __builtin_expect(sure, 1) ? plain : turn(o, a, b);
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
    for (int e = 0; e < q.corners; ++e) inside &= certainlyLeft<turns>(q.corner[e], q.corner[e + 1], x, y);
    return inside;
}

// Whether every point is strictly inside the polygon, exactly.
bool allInside(const RealPolygon& q, const std::vector<RealPoint>& points) {
    for (const RealPoint& c : points) {
        for (int e = 0; e < q.corners; ++e) {
            if (turn(q.corner[e], q.corner[e + 1], c) <= 0) return false;
        }
    }
    return true;
}

// v moved away from `from` by `slack` (which covers the rounding of the steps that made v) and a
// unit in the last place more. O(1).
double outward(double v, double from, double slack) {
    const double moved = v > from ? v + slack : v - slack;
    return std::nextafter(moved, v > from ? HUGE_VAL : -HUGE_VAL);
}

// The core of box half-widths (tb wx, tb wy) and diamond |dx| / wx + |dy| / wy < td about (cx,
// cy), and beside it points whose hull holds the octagon of its exact values: on each side of the
// box, the two ends of the diamond's cut moved outward along that side past their rounding (each
// true end lies between the two moved ones, on the same line). False where the diamond does not
// clearly cross every side of the box (then the octagon's corners are not those points). O(1).
bool octagonOf(double cx, double cy, double wx, double wy, double tb, double td, Core& c, std::vector<RealPoint>& bound) {
    c = Core{};
    const double w = std::max(wx, wy), kx = wx / w, ky = wy / w;  // weights near 1: no new underflow
    c.xlo = cx - tb * wx, c.xhi = cx + tb * wx, c.ylo = cy - tb * wy, c.yhi = cy + tb * wy;
    c.cx = cx, c.cy = cy, c.kx = kx, c.ky = ky;
    const double exact = td * wx * ky;  // the diamond's limit in these weights: |dx| ky + |dy| kx < exact
    // Its test computes |dx| ky + |dy| kx with relative error below 2^-51 (three roundings), and
    // absolute error below 2^-1072 where products fall below the normal range.
    c.limit = exact * (1 - 0x1p-48) - 0x1p-1072;
    bound.clear();
    // Past every rounding in the ends below: each step errs by a few units in the last place of
    // the centre, the widths or the limit, scaled by the weights' ratio at most.
    const double slack = 0x1p-44 * ((std::fabs(cx) + std::fabs(cy) + wx + wy) * (std::max(kx, ky) / std::min(kx, ky)) +
                                    std::fabs(exact) / std::min(kx, ky));
    for (int side = 0; side < 4; ++side) {
        const bool vertical = side < 2;  // x = xlo or xhi
        const double at = side == 0 ? c.xlo : side == 1 ? c.xhi : side == 2 ? c.ylo : c.yhi;
        const double d = std::fabs(at - (vertical ? cx : cy)), k = vertical ? kx : ky;
        // Along the side, |other - centre| < (exact - d weight) / k: its half-length, moved outward.
        const double half = (exact - d * (vertical ? ky : kx)) / k;
        if (!(half > 4 * slack)) return false;
        const double lo = vertical ? c.ylo : c.xlo, hi = vertical ? c.yhi : c.xhi, centre = vertical ? cy : cx;
        const double from = std::max(lo, outward(centre - half, centre, slack)), to = std::min(hi, outward(centre + half, centre, slack));
        bound.push_back(vertical ? RealPoint{at, from} : RealPoint{from, at});
        bound.push_back(vertical ? RealPoint{at, to} : RealPoint{to, at});
    }
    return std::isfinite(slack);
}

// The largest octagon about (cx, cy) that lies strictly inside the polygon: for a few box sizes
// tb, the diamond's td by bisection between tb (the diamond meets the box's sides) and 2 tb (it
// holds the whole box), checked exactly; the one of largest area. O(a few thousand exact turns).
Core largestCore(const RealPolygon& q, double cx, double cy, double wx, double wy) {
    Core best, core;
    double bestArea = 0;
    std::vector<RealPoint> bound;
    for (double tb : {1.0, 0.97, 0.93, 0.88, 0.8, 0.7, 0.55}) {
        double in = tb, out = 2 * tb;
        for (int step = 0; step < 14; ++step) {
            const double td = step == 0 ? out : (in + out) / 2;
            const bool fits = octagonOf(cx, cy, wx, wy, tb, td, core, bound) && allInside(q, bound);
            if (step == 0 && fits) {
                in = td;
                break;
            }
            (fits ? in : out) = td;
        }
        if (in <= tb) continue;
        // The octagon's area in units of wx wy: the box less its four cut corners.
        const double cut = std::max(0.0, 2 * tb - in), area = 4 * tb * tb - 2 * cut * cut;
        if (area > bestArea && octagonOf(cx, cy, wx, wy, tb, in, core, bound)) bestArea = area, best = core;
    }
    return best;
}

// The polygon for the pass from the sample hull `hull` (counter-clockwise, 3 or more corners):
// at most 16 of its corners, spread along it, and the boxes: one of the polygon's proportions, or
// a cross of two (half-widths as cos and sin of 31.7 degrees, which covers most of a disc),
// whichever covers more. O(h + a few hundred exact turns).
RealPolygon polygonOf(const std::vector<RealPoint>& hull, int directions = 16, bool core = true) {
    RealPolygon q;
    // The corners extreme in 16 (or 32) directions (by plain products: the choice needs no
    // exactness, as any of the hull's corners in their order make a convex polygon inside it), in
    // hull order.
    std::vector<std::size_t> chosen;
    for (int d = 0; d < directions; ++d) {
        const double ux = std::cos(d * 6.283185307179586 / directions), uy = std::sin(d * 6.283185307179586 / directions);
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
    q.corner[q.corners] = q.corner[0];
    if (!core) return q;
    double x0 = q.corner[0].x, x1 = x0, y0 = q.corner[0].y, y1 = y0;
    for (int i = 0; i < q.corners; ++i) {
        x0 = std::min(x0, q.corner[i].x), x1 = std::max(x1, q.corner[i].x);
        y0 = std::min(y0, q.corner[i].y), y1 = std::max(y1, q.corner[i].y);
    }
    // The core about the middle of the polygon's bounding box (halves first: no overflow).
    const double wx = x1 / 2 - x0 / 2, wy = y1 / 2 - y0 / 2, sx = x0 / 2 + x1 / 2, sy = y0 / 2 + y1 / 2;
    if (!std::isfinite(sx) || !std::isfinite(sy) || !std::isfinite(wx) || !std::isfinite(wy) || !(wx > 0) || !(wy > 0)) return q;
    q.core = largestCore(q, sx, sy, wx, wy);
    return q;
}

template <RealTurns turns>
inline std::size_t keepIfOutside(const RealPolygon& q, const RealPoint& p, RealPoint* out, std::size_t m) {
    if (q.core.holds(p.x, p.y) || insidePolygon<turns>(q, p.x, p.y)) return m;
    out[m] = p;
    return m + 1;
}

#if defined(__x86_64__) && defined(__GNUC__)
// Which of the eight points (x, y) are certainly strictly inside the polygon: each edge's turn as
// certainlyLeft decides it, in AVX-512. O(corners).
template <RealTurns turns>
__attribute__((target("avx512f"))) __mmask8 insideMask(const RealPolygon& q, __m512d x, __m512d y) {
    const __m512d bound = _mm512_set1_pd(4 * 0x1p-53), least = _mm512_set1_pd(0x1p-900),
                  most = _mm512_set1_pd(0x1.fffffffffffffp+1023), zero = _mm512_setzero_pd();
    __mmask8 inside = 0xFF;
    for (int e = 0; e < q.corners; ++e) {
        const __m512d acx = _mm512_sub_pd(_mm512_set1_pd(q.corner[e].x), x), acy = _mm512_sub_pd(_mm512_set1_pd(q.corner[e].y), y);
        const __m512d bcx = _mm512_sub_pd(_mm512_set1_pd(q.corner[e + 1].x), x),
                      bcy = _mm512_sub_pd(_mm512_set1_pd(q.corner[e + 1].y), y);
        const __m512d l = _mm512_mul_pd(acx, bcy), r = _mm512_mul_pd(acy, bcx), det = _mm512_sub_pd(l, r);
        if constexpr (turns == RealTurns::Plain) {
            inside &= _mm512_cmp_pd_mask(det, zero, _CMP_GT_OQ);
        } else {
            const __m512d sum = _mm512_add_pd(_mm512_abs_pd(l), _mm512_abs_pd(r));
            inside &= _mm512_cmp_pd_mask(det, _mm512_mul_pd(bound, sum), _CMP_GT_OQ) &
                      _mm512_cmp_pd_mask(sum, least, _CMP_GT_OQ) & _mm512_cmp_pd_mask(sum, most, _CMP_LE_OQ);
        }
    }
    return inside;
}

// The polygon's test of the gathered points bx[0, count), by[0, count) (count a multiple of 8,
// 64-byte aligned): those not certainly inside written to p[m...]; returns the new m.
template <RealTurns turns>
__attribute__((target("avx512f"))) std::size_t testGathered(const RealPolygon& q, const double* bx, const double* by,
                                                            std::size_t count, RealPoint* p, std::size_t m) {
    for (std::size_t j = 0; j < count; j += 8) {
        const unsigned out = ~unsigned(insideMask<turns>(q, _mm512_load_pd(bx + j), _mm512_load_pd(by + j))) & 0xFF;
        for (unsigned rest = out; rest != 0; rest &= rest - 1) {
            const std::size_t k = j + unsigned(__builtin_ctz(rest));
            p[m++] = {bx[k], by[k]};
        }
    }
    return m;
}

// The pass, eight points at a time in AVX-512: both boxes' tests by comparisons; the points outside
// both gathered (x and y apart) until there are 64, then given the polygon's test eight at a time,
// and those not certainly inside written over p's front. O(n).
template <RealTurns turns>
__attribute__((target("avx512f"))) std::size_t survivorsAvx512(const RealPoint* in, std::size_t n, RealPoint* p,
                                                              const RealPolygon& q) {
    const __m512i xs = _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14), ys = _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15);
    const Core& o = q.core;
    const __m512d xlo = _mm512_set1_pd(o.xlo), xhi = _mm512_set1_pd(o.xhi), ylo = _mm512_set1_pd(o.ylo), yhi = _mm512_set1_pd(o.yhi);
    const __m512d cx = _mm512_set1_pd(o.cx), cy = _mm512_set1_pd(o.cy), kx = _mm512_set1_pd(o.kx), ky = _mm512_set1_pd(o.ky),
                  limit = _mm512_set1_pd(o.limit);
    alignas(64) double bx[80] = {}, by[80] = {};  // the gathered points, room for one more vector's
    std::size_t m = 0, i = 0, gathered = 0;
    for (; i + 8 <= n; i += 8) {
        const __m512d a = _mm512_loadu_pd(&in[i].x), c = _mm512_loadu_pd(&in[i + 4].x);
        const __m512d x = _mm512_permutex2var_pd(a, xs, c), y = _mm512_permutex2var_pd(a, ys, c);
        // The same operations as Core::holds, in the same order (no fused multiply-add): the
        // diamond's rounding is the one its limit allows for.
        const __m512d dx = _mm512_abs_pd(_mm512_sub_pd(x, cx)), dy = _mm512_abs_pd(_mm512_sub_pd(y, cy));
        const __m512d weighed = _mm512_add_pd(_mm512_mul_pd(dx, ky), _mm512_mul_pd(dy, kx));
        const __mmask8 inside = _mm512_cmp_pd_mask(x, xlo, _CMP_GT_OQ) & _mm512_cmp_pd_mask(x, xhi, _CMP_LT_OQ) &
                                _mm512_cmp_pd_mask(y, ylo, _CMP_GT_OQ) & _mm512_cmp_pd_mask(y, yhi, _CMP_LT_OQ) &
                                _mm512_cmp_pd_mask(weighed, limit, _CMP_LT_OQ);
        const __mmask8 rest = __mmask8(~inside);
        _mm512_storeu_pd(bx + gathered, _mm512_maskz_compress_pd(rest, x));
        _mm512_storeu_pd(by + gathered, _mm512_maskz_compress_pd(rest, y));
        gathered += unsigned(__builtin_popcount(rest));
        if (gathered >= 64) {
            m = testGathered<turns>(q, bx, by, 64, p, m);
            gathered -= 64;
            std::memmove(bx, bx + 64, gathered * sizeof(double));
            std::memmove(by, by + 64, gathered * sizeof(double));
        }
    }
    const std::size_t whole = gathered / 8 * 8;
    m = testGathered<turns>(q, bx, by, whole, p, m);
    for (std::size_t k = whole; k < gathered; ++k) {
        if (!insidePolygon<turns>(q, bx[k], by[k])) p[m++] = {bx[k], by[k]};
    }
    for (; i < n; ++i) m = keepIfOutside<turns>(q, in[i], p, m);
    return m;
}
#endif

// The points of in[0, n) that can be corners, written to p[0, m) (p may be in); returns m. O(n).
template <RealTurns turns>
std::size_t survivorsOf(const RealPoint* in, std::size_t n, RealPoint* p, const RealPolygon& q) {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool avx512 = __builtin_cpu_supports("avx512f");
    if (avx512) return survivorsAvx512<turns>(in, n, p, q);
#endif
    std::size_t m = 0;
    for (std::size_t i = 0; i < n; ++i) m = keepIfOutside<turns>(q, in[i], p, m);
    return m;
}

}  // namespace

namespace {

// The point q as its 128-bit key in `slot` (y's key the low half, x's the high). O(1).
inline void writeKey(RealPoint* slot, const RealPoint& q) {
    const std::uint64_t key[2] = {realOrderKey(q.y), realOrderKey(q.x)};
    std::memcpy(slot, key, sizeof key);
}

// The point whose key is in `slot`. O(1).
inline RealPoint pointOfKey(const RealPoint* slot) {
    std::uint64_t key[2];
    std::memcpy(key, slot, sizeof key);
    return {realOfOrderKey(key[1]), realOfOrderKey(key[0])};
}

// The keys in p[0, m) sorted, by vqsort where the build has it. O(m log m).
void sortKeys(RealPoint* p, std::size_t m) {
    std::uint64_t* keys = reinterpret_cast<std::uint64_t*>(p);
#ifdef HULL_LAB_VQSORT
    fast::vqsort128Function()(keys, m);
#else
    struct Key {
        std::uint64_t low, high;
    };
    Key* k = reinterpret_cast<Key*>(keys);
    std::sort(k, k + m, [](const Key& a, const Key& b) { return a.high != b.high ? a.high < b.high : a.low < b.low; });
#endif
}

}  // namespace

void sortRealPoints(RealPoint* p, std::size_t m, const RealPoint* from) {
    static_assert(sizeof(RealPoint) == 2 * sizeof(std::uint64_t), "a point is one 128-bit key");
    if (from == nullptr) from = p;
    for (std::size_t i = 0; i < m; ++i) writeKey(p + i, from[i]);
    sortKeys(p, m);
    for (std::size_t i = 0; i < m; ++i) p[i] = pointOfKey(p + i);
}

namespace {

// Andrew's monotone chain over the sorted p[0, m), each point in one chain only: the points below
// the line from the least point a to the greatest b are written over p's front, those above to
// memory of their own (both without a branch), and each chain runs over its own (on points in
// convex position, pushes with few pops). The corners counter-clockwise from a, none on an edge,
// each once (copies of one point give it once). O(m) turns; p's order is lost.
template <RealTurns turns>
std::vector<RealPoint> chainOfSorted(RealPoint* p, std::size_t m) {
    if (m == 0) return {};
    const RealPoint a = p[0], b = p[m - 1];
    if (a == b) return {a};
    std::unique_ptr<RealPoint[]> above(new RealPoint[m]);
    std::size_t below = 0, up = 0;
    for (std::size_t i = 1; i + 1 < m; ++i) {
        const RealPoint q = p[i];
        const int side = sideOf<turns>(a, b, q);
        p[1 + below] = q, above[up] = q;
        below += side < 0, up += side > 0;
    }
    // The lower chain, its stack over p's front (never past the point it reads).
    std::size_t k = 1;
    for (std::size_t i = 1; i <= below + 1; ++i) {
        const RealPoint q = i <= below ? p[i] : b;
        while (k >= 2 && turnOf<turns>(p[k - 2], p[k - 1], q) <= 0) --k;
        p[k++] = q;
    }
    std::vector<RealPoint> h(k + up + 1);
    std::copy(p, p + k, h.begin());
    // The upper chain from b back to a, on the stack's top.
    const std::size_t lower = k + 1;
    for (std::size_t i = up + 1; i-- > 0;) {
        const RealPoint q = i > 0 ? above[i - 1] : a;
        while (k >= lower && turnOf<turns>(h[k - 2], h[k - 1], q) <= 0) --k;
        h[k++] = q;
    }
    h.resize(k - 1);
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

// The exact hull of kSample points of p[0, n), spread through it. O(kSample log kSample).
std::vector<RealPoint> sampleHull(const RealPoint* p, std::size_t n, std::vector<RealPoint>& sample) {
    sample.resize(kSample);
    for (std::size_t i = 0; i < kSample; ++i) sample[i] = p[i * n / kSample];
    std::sort(sample.begin(), sample.end());
    std::vector<RealPoint> sorted = sample;  // the chain takes its memory
    return chainOfSorted<RealTurns::Exact>(sorted.data(), kSample);
}

// The survivors again, where many are left (points near a round hull, or a sample that missed
// the hull's far corners): against the polygon of 32 corners of their own sample's hull, which
// lies close to the hull of all. Written over p's front; returns how many are left. O(m) a round.
template <RealTurns turns>
std::size_t refined(RealPoint* p, std::size_t m) {
    // Again while it halves them: each round's polygon lies closer to the hull.
    for (std::size_t before = 2 * m; m >= kPassFrom && 2 * m <= before;) {
        std::vector<RealPoint> sample;
        const std::vector<RealPoint> hull = sampleHull(p, m, sample);
        if (hull.size() < 3) break;
        before = m;
        m = survivorsOf<turns>(p, m, p, polygonOf(hull, 32, false));
    }
    return m;
}

namespace {

// The corners of from[0, m), in own[0, h) (room for m + 3 points; from is the caller's points, or
// own + 1 where at most half of the room is taken): the least point a and the greatest b found,
// each other point's side of a->b taken (without a branch) and its key written to the front of own
// (below) or to its back (above), each side's keys sorted by themselves, and each chain run over
// its own side in place, each key made a point as it is read, the lower stack over the front, the
// upper over the back; the upper's inside is then
// reversed onto the lower's end. No memory beyond own. Returns h. O(m) but for the sorts.
template <RealTurns turns>
std::size_t cornersInPlace(const RealPoint* from, std::size_t m, RealPoint* own, std::size_t room) {
    RealPoint a = from[0], b = from[0];
    for (std::size_t i = 1; i < m; ++i) {
        if (from[i] < a) a = from[i];
        if (b < from[i]) b = from[i];
    }
    own[0] = a;
    if (a == b) return 1;
    std::size_t below = 0, above = 0;
    for (std::size_t i = 0; i < m; ++i) {
        const RealPoint q = from[i];
        const int side = sideOf<turns>(a, b, q);
        // Written to both ends, each end's count moved by its side alone (no branch; one write to
        // a slot chosen by the side measured 25% slower): the last slot is left for the upper b.
        writeKey(own + 1 + below, q);
        writeKey(own + room - 2 - above, q);
        below += side < 0, above += side > 0;
    }
    sortKeys(own + 1, below);
    sortKeys(own + room - 1 - above, above);
    // The lower chain: a (at own[0]), the points below, b; its stack over own[1...].
    std::size_t k = 1;
    for (std::size_t i = 0; i <= below; ++i) {
        const RealPoint q = i < below ? pointOfKey(own + 1 + i) : b;  // read before its slot is written
        while (k >= 2 && turnOf<turns>(own[k - 2], own[k - 1], q) <= 0) --k;
        own[k++] = q;
    }
    // The upper chain from a to b, turning right: its stack over the slot before the points above.
    const std::size_t base = room - 2 - above, lower = k;
    own[base] = a;
    k = 1;
    for (std::size_t i = 0; i <= above; ++i) {
        const RealPoint q = i < above ? pointOfKey(own + base + 1 + i) : b;
        while (k >= 2 && turnOf<turns>(own[base + k - 2], own[base + k - 1], q) >= 0) --k;
        own[base + k++] = q;
    }
    // Counter-clockwise: the lower chain, then the upper's inside from b's side back to a's.
    std::reverse(own + base + 1, own + base + k - 1);
    std::memmove(static_cast<void*>(own + lower), own + base + 1, (k - 2) * sizeof(RealPoint));
    return lower + k - 2;
}

// The pass's polygon for points[0, n) where the pass pays: from kPassFrom points, where the sample's
// hull has three corners or more and at least half of the sample would go (not on a circle, not
// in convex position, where the pass costs more than the sort it saves). O(kSample log kSample).
bool passPolygon(const RealPoint* points, std::size_t n, RealPolygon& q) {
    if (n < kPassFrom) return false;
    std::vector<RealPoint> sample;
    const std::vector<RealPoint> hull = sampleHull(points, n, sample);
    if (hull.size() < 3) return false;
    q = polygonOf(hull);
    std::size_t going = 0;
    for (const RealPoint& point : sample) going += q.core.holds(point.x, point.y) || insidePolygon<RealTurns::Exact>(q, point.x, point.y);
    return 2 * going >= kSample;
}

}  // namespace

namespace {

// The polygon of a small input's points extreme in eight directions among 128 spread through it
// (by plain products: any of the points in any order make a polygon whose inside, left of every
// edge, lies inside their hull), no core: below kPassFrom points the pass tests every point
// against it, where half of those 128 would go (on a circle or in convex position none would).
// O(1) before the pass.
bool smallPolygon(const RealPoint* points, std::size_t n, RealPolygon& q) {
    if (n < kSmallPassFrom) return false;
    constexpr std::size_t kSpread = 128;
    std::size_t best[8] = {};
    static const double u[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
    for (std::size_t s = 1; s < kSpread; ++s) {
        const RealPoint& p = points[s * n / kSpread];
        for (int d = 0; d < 8; ++d) {
            const RealPoint& b = points[best[d] * n / kSpread];
            if (u[d][0] * p.x + u[d][1] * p.y > u[d][0] * b.x + u[d][1] * b.y) best[d] = s;
        }
    }
    q = RealPolygon{};
    for (int d = 0; d < 8; ++d) {
        const RealPoint p = points[best[d] * n / kSpread];
        if (q.corners == 0 || (p != q.corner[q.corners - 1] && p != q.corner[0])) q.corner[q.corners++] = p;
    }
    q.corner[q.corners] = q.corner[0];
    if (q.corners < 3) return false;
    std::size_t going = 0;
    for (std::size_t s = 0; s < kSpread; ++s) going += insidePolygon<RealTurns::Exact>(q, points[s * n / kSpread].x, points[s * n / kSpread].y);
    return 2 * going >= kSpread;
}

}  // namespace

bool fastHullPassPays(const RealPoint* points, std::size_t n) {
    RealPolygon q;
    return passPolygon(points, n, q);
}

RealCorners fastHullCorners(const RealPoint* points, std::size_t n, RealTurns turns) {
    // Memory of its own (three more points than the input): only the pages that the survivors and
    // their chains (or, with no pass, every point's key) take are ever touched.
    const std::size_t room = n + 3;
    RealCorners corners;
    corners.points.reset(new RealPoint[room]);
    RealPoint* own = corners.points.get();
    if (n == 0) return corners;
    const RealPoint* from = points;
    std::size_t m = n;
    RealPolygon q;
    if (passPolygon(points, n, q) || smallPolygon(points, n, q)) {
        RealPoint* kept = own + 1;
        m = turns == RealTurns::Exact ? refined<RealTurns::Exact>(kept, survivorsOf<RealTurns::Exact>(points, n, kept, q))
                                      : refined<RealTurns::Plain>(kept, survivorsOf<RealTurns::Plain>(points, n, kept, q));
        // The chains' keys go to both ends of the room: taken in place only where the survivors
        // leave half of it free (else from the caller's points again).
        if (2 * m <= n) from = kept;
        else m = n;
    }
    corners.size = turns == RealTurns::Exact ? cornersInPlace<RealTurns::Exact>(from, m, own, room)
                                             : cornersInPlace<RealTurns::Plain>(from, m, own, room);
    return corners;
}

std::vector<RealPoint> fastHullOnDoubles(const RealPoint* points, std::size_t n, RealTurns turns) {
    const RealCorners corners = fastHullCorners(points, n, turns);
    return std::vector<RealPoint>(corners.points.get(), corners.points.get() + corners.size);
}

std::vector<RealPoint> joinedHulls(const std::vector<RealPoint>& a, const std::vector<RealPoint>& b) {
    std::vector<RealPoint> sorted;
    sorted.reserve(a.size() + b.size());
    for (const std::vector<RealPoint>* hull : {&a, &b}) {
        // Counter-clockwise from the least: up to the greatest in the point order, then back down.
        const std::size_t upTo = hull->empty() ? 0 : std::size_t(std::max_element(hull->begin(), hull->end()) - hull->begin()) + 1;
        const std::size_t from = sorted.size();
        sorted.insert(sorted.end(), hull->begin(), hull->begin() + std::ptrdiff_t(upTo));
        sorted.insert(sorted.end(), hull->rbegin(), hull->rend() - std::ptrdiff_t(upTo));
        std::inplace_merge(sorted.begin() + std::ptrdiff_t(from), sorted.begin() + std::ptrdiff_t(from + upTo), sorted.end());
        std::inplace_merge(sorted.begin(), sorted.begin() + std::ptrdiff_t(from), sorted.end());
    }
    return chainOfSorted<RealTurns::Exact>(sorted.data(), sorted.size());
}

std::vector<RealPoint> fastHullOnDoubles(std::vector<RealPoint> points, RealTurns turns) {
    return fastHullOnDoubles(points.data(), points.size(), turns);
}

}  // namespace lab
