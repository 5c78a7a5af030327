// Chan's algorithm (T. M. Chan, "Optimal output-sensitive convex hull algorithms in two and three
// dimensions", 1996): O(n log h), optimal in both the input size n and the hull size h.
//
// A round with group size m splits the points into groups of m, hulls each group by a monotone
// chain, then wraps the whole set as gift wrapping does, but asks each group only for its tangent
// from the current corner, found by binary search on the group's hull: at most m steps of
// O((n / m) log m) each. If the wrap has not closed after m steps, h > m and the next round
// squares m (m = min(n, 2^(2^t)), t = 1, 2, ... in Chan's paper). A round's group is a union of
// the previous round's groups, so its hull is taken from their hulls rather than from all of its
// points.
//
// The first round here is t = 3 (m = 256) unless the caller asks for another: every round hulls
// groups that cover all n points, so the rounds of 4 and 16 cost about as much as the round of
// 256 and close only when h <= 16. At 1,000,000 points, seconds per call starting from t = 1, 2,
// 3: square (h = 35) 0.133, 0.100, 0.073; normal (h = 18) 0.146, 0.099, 0.083; disc (h = 331)
// 0.172, 0.158, 0.132; lattice (h = 4) -, 0.062, 0.092; convex (h = n) 0.61, 0.54, 0.54.
//
// On whole numbers, integer arithmetic throughout: exact while every coordinate lies strictly
// between -2^30 and 2^30 (differences below 2^31, products below 2^62). On doubles, every turn is
// exact (a filter, then an exact fallback) and distances along a line are compared by coordinates,
// so every finite double is decided exactly.

#include <algorithm>

#include "lab.h"
#include "own/own.h"

namespace lab {

namespace {

// Sign of (a - o) x (b - o): 1 when b lies left of o->a (y pointing up), -1 right, 0 collinear.
// On doubles, exact (coords/): a filter, then an exact fallback.
int turn(const Point& o, const Point& a, const Point& b) {
    std::int64_t v = (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
    return (v > 0) - (v < 0);
}

template <class P>
bool less(const P& a, const P& b) {
    return a.x < b.x || (a.x == b.x && a.y < b.y);
}
template <class P>
bool same(const P& a, const P& b) {
    return a.x == b.x && a.y == b.y;
}

// Whether a lies farther from p than b, all three on one line, a and b on the same side of p (or
// one of them p): compared by coordinates, exact in any number type.
template <class P>
bool farther(const P& p, const P& a, const P& b) {
    if (a.x != b.x) return (a.x > p.x || b.x > p.x) ? a.x > b.x : a.x < b.x;
    return (a.y > p.y || b.y > p.y) ? a.y > b.y : a.y < b.y;
}

// A group's hull: hulls[begin, begin + size), its corners counter-clockwise from its least point,
// none on an edge.
struct Group {
    std::size_t begin, size;
};

// Appends the corners of the points [first, last) to `hulls`, counter-clockwise from the least,
// and returns the group. Sorts the range and drops its copies. O(k log k).
template <class P>
Group hullOfGroup(P* first, P* last, std::vector<P>& hulls) {
    std::sort(first, last, less<P>);
    last = std::unique(first, last, same<P>);
    Group g{hulls.size(), 0};
    for (P* p = first; p != last; ++p) {  // lower chain
        while (hulls.size() >= g.begin + 2 && turn(hulls[hulls.size() - 2], hulls.back(), *p) <= 0) hulls.pop_back();
        hulls.push_back(*p);
    }
    const std::size_t lower = hulls.size();
    for (P* p = last - 1; p-- != first;) {  // upper chain, from the greatest point back
        while (hulls.size() >= lower + 1 && turn(hulls[hulls.size() - 2], hulls.back(), *p) <= 0) hulls.pop_back();
        hulls.push_back(*p);
    }
    if (hulls.size() > g.begin + 1) hulls.pop_back();  // the least point again
    g.size = hulls.size() - g.begin;
    return g;
}

// The group's tangent from p, a corner of the whole set's hull: the corner q of the group such
// that no point of the group lies right of p->q, the farthest from p where two lie on that line.
// p lies strictly outside the group's hull or is one of its corners (its own group, or a copy of p
// in another one); then q is the next corner counter-clockwise. May return p itself when the group
// holds nothing else. O(log k).
template <class P>
P tangent(const P* v, const Group& g, const P& p) {
    const std::size_t k = g.size;
    if (k == 1) return v[0];
    if (k == 2) {
        int side = turn(p, v[0], v[1]);  // p on the segment's line: the farther end
        return side > 0 ? v[0] : side < 0 ? v[1] : farther(p, v[0], v[1]) ? v[0] : v[1];
    }
    // k >= 3, strictly convex. Going round counter-clockwise from the tangent corner T, the edges
    // first turn away from p (the far chain: turn(p, v[i], v[i+1]) > 0), then back towards it
    // (<= 0); T is the one corner whose incoming edge is <= 0 and outgoing edge > 0. When p is the
    // corner v[s], every edge is > 0 but the two at v[s], which are 0: T is v[s + 1], and the
    // search below finds it as it stands.
    auto edge = [&](std::size_t i) { return turn(p, v[i], v[(i + 1) % k]); };
    const int first = edge(0);
    if (first > 0 && edge(k - 1) <= 0) return v[0];
    // Whether T lies in v[1..c]: false up to T's index, true from it on. Seen from p, the hull
    // fills less than a half-turn, so turn(p, v[0], v[c]) orders corners by angle.
    auto reached = [&](std::size_t c) {
        const int out = edge(c);
        if (first > 0) return out > 0 && turn(p, v[0], v[c]) < 0;  // v[0] on the far chain
        if (out > 0) return true;                                    // v[0] on the near chain
        // Both on the near chain: v[c] comes before v[0] when it is further counter-clockwise.
        // The one corner that can lie on the line p->v[0] is its neighbour v[k - 1], and the
        // search never asks about the last index.
        return turn(p, v[0], v[c]) > 0;
    };
    std::size_t lo = 1, hi = k - 1;
    while (lo < hi) {
        std::size_t mid = lo + (hi - lo) / 2;
        if (reached(mid)) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    return v[lo];
}

// The wrap over the groups from the least point, at most m corners. Returns false when it has not
// closed after m corners (then h > m). O(min(h, m) (groups) log m).
template <class P>
bool wrap(const std::vector<P>& hulls, const std::vector<Group>& groups, std::size_t m, std::vector<P>& out) {
    out.clear();
    P start = hulls[groups[0].begin];
    for (const Group& g : groups) start = less(hulls[g.begin], start) ? hulls[g.begin] : start;
    P p = start;
    for (std::size_t count = 0; count < m; ++count) {
        out.push_back(p);
        bool found = false;
        P best{0, 0};
        for (const Group& g : groups) {
            const P q = tangent(hulls.data() + g.begin, g, p);
            if (same(q, p)) continue;
            if (!found) {
                best = q;
                found = true;
                continue;
            }
            int side = turn(p, best, q);
            if (side < 0 || (side == 0 && farther(p, q, best))) best = q;
        }
        if (!found || same(best, start)) return true;
        p = best;
    }
    return false;
}

template <class P>
std::vector<P> chanOf(std::vector<P> points, unsigned firstRound) {
    const std::size_t n = points.size();
    if (n == 0) return {};
    std::vector<P> hulls, next, scratch, result;
    std::vector<Group> groups, nextGroups;
    std::size_t m = 0;
    for (unsigned t = std::max(1u, firstRound);; ++t) {  // m = 256, 65536, then n
        const std::size_t previous = m;
        m = t >= 6 ? n : std::min<std::size_t>(n, std::size_t(1) << (1u << t));
        next.clear();
        nextGroups.clear();
        if (previous == 0) {
            // The first round hulls the points themselves, each group in place in the copy.
            next.reserve(n);
            for (std::size_t begin = 0; begin < n; begin += m) {
                nextGroups.push_back(hullOfGroup(points.data() + begin, points.data() + std::min(n, begin + m), next));
            }
            std::vector<P>().swap(points);
        } else {
            // Later rounds: a group of m points is m / previous groups of the last round (all of
            // them once m = n); its hull is the hull of theirs.
            const std::size_t per = (m + previous - 1) / previous;
            for (std::size_t first = 0; first < groups.size(); first += per) {
                scratch.clear();
                for (std::size_t i = first; i < std::min(groups.size(), first + per); ++i) {
                    scratch.insert(scratch.end(), hulls.begin() + std::ptrdiff_t(groups[i].begin),
                                   hulls.begin() + std::ptrdiff_t(groups[i].begin + groups[i].size));
                }
                nextGroups.push_back(hullOfGroup(scratch.data(), scratch.data() + scratch.size(), next));
            }
        }
        hulls.swap(next);
        groups.swap(nextGroups);
        // One group is the whole set: its hull is the answer.
        if (groups.size() == 1) return std::vector<P>(hulls.begin(), hulls.begin() + std::ptrdiff_t(groups[0].size));
        if (wrap(hulls, groups, m, result)) return result;
    }
}

}  // namespace

std::vector<Point> chan(std::vector<Point> points, unsigned firstRound) { return chanOf(std::move(points), firstRound); }

std::vector<RealPoint> chan(std::vector<RealPoint> points, unsigned firstRound) { return chanOf(std::move(points), firstRound); }

}  // namespace lab
