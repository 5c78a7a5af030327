// The program's three hull functions on arrays: the same decisions as their list forms in
// main.cpp (start point, direction, tie rules, which points on hull edges they keep, degenerate
// results, the gift-wrapping guard), so that on every input each returns the same points in the
// same order as its list form. Only the container changes: a std::vector copy per call, sorted by
// std::sort, and quickhull's outer sets as vectors. What is left of a gap to a library is then the
// implementation's, not the list's.
//
// Exact while every coordinate lies strictly between -2^30 and 2^30, as the list forms. On doubles,
// each form runs twice: with every sign exact (the same decisions as on the rationals the doubles
// are), and with plain rounded products, as the textbooks write it, which the exact judge finds
// wrong where the rounding decides a turn.

#include <algorithm>

#include "lab.h"
#include "own/own.h"

namespace lab {

namespace {

// The arithmetic of the three forms, one per number type: the sign of (b - a) x (d - c) and of
// (a - o) . (b - o), and a point's coordinates made from another's.
//
// Whole numbers: in int64, exact while every coordinate lies strictly between -2^30 and 2^30.
struct Whole {
    using P = Point;
    using V = std::int64_t;
    static V cross(const P& a, const P& b, const P& c, const P& d) { return (b.x - a.x) * (d.y - c.y) - (b.y - a.y) * (d.x - c.x); }
    static V dot(const P& o, const P& a, const P& b) { return (a.x - o.x) * (b.x - o.x) + (a.y - o.y) * (b.y - o.y); }
};

// Doubles, every sign exact (coords/: a filter, then exact arithmetic).
struct ExactReal {
    using P = RealPoint;
    static int cross(const P& a, const P& b, const P& c, const P& d) { return crossSign(a, b, c, d); }
    static int dot(const P& o, const P& a, const P& b) { return dotSign(o, a, b); }
};

// Doubles as textbooks compute them: rounded products, no filter. Wrong where the rounding decides.
struct PlainReal {
    using P = RealPoint;
    using V = double;
    static V cross(const P& a, const P& b, const P& c, const P& d) { return (b.x - a.x) * (d.y - c.y) - (b.y - a.y) * (d.x - c.x); }
    static V dot(const P& o, const P& a, const P& b) { return (a.x - o.x) * (b.x - o.x) + (a.y - o.y) * (b.y - o.y); }
};

template <class P>
bool before(const P& a, const P& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); }

// Appends to `hull` the quickhull vertices strictly right of a->b, from a towards b, a and b
// excluded: qhull_helper's recursion, with its outer sets as vectors in input order. The farthest
// point is the first of those farthest right (a point p is farther than f where (b - a) x (p - f)
// is negative). O(n h) at worst.
template <class G, class P = typename G::P>
void qhullSide(P a, P b, const std::vector<P>& points, std::vector<P>& hull) {
    if (points.empty()) return;
    P far = points.front();
    for (const P& p : points) {
        if (G::cross(a, b, far, p) < 0) far = p;
    }
    if (G::cross(a, b, a, far) >= 0) return;
    std::vector<P> outsideAF;
    std::vector<P> outsideFB;
    for (const P& p : points) {
        if (G::cross(far, a, far, p) > 0) outsideAF.push_back(p);
        if (G::cross(b, far, b, p) > 0) outsideFB.push_back(p);
    }
    qhullSide<G>(a, far, outsideAF, hull);
    std::vector<P>().swap(outsideAF);
    hull.push_back(far);
    qhullSide<G>(far, b, outsideFB, hull);
}

template <class G, class P = typename G::P>
std::vector<P> incrementalOf(std::vector<P> points) {
    if (points.size() < 2) return points;
    // Points equal under the order are copies of one point, so an unstable sort gives the list
    // form's order.
    std::sort(points.begin(), points.end(), before<P>);
    std::vector<P> hull;
    hull.reserve(points.size() + 1);
    // Pushes p, then drops the next-to-last point while the chain's last three points (the chain
    // starting at `base`) fail to turn clockwise.
    auto push = [&hull](const P& p, std::size_t base) {
        hull.push_back(p);
        while (hull.size() - base > 2) {
            const std::size_t last = hull.size() - 1;
            if (G::cross(hull[last - 2], hull[last - 1], hull[last - 1], hull[last]) < 0) break;
            hull[last - 1] = hull[last];
            hull.pop_back();
        }
    };
    // The upper chain left to right; its first two points are taken as they come.
    hull.push_back(points[0]);
    hull.push_back(points[1]);
    for (std::size_t i = 2; i < points.size(); ++i) push(points[i], 0);
    // The lower chain right to left starts at the greatest point, which ends the upper chain: it
    // stands once, as the list form's join leaves it.
    const std::size_t base = hull.size() - 1;
    hull.push_back(points[points.size() - 2]);
    for (std::size_t i = points.size() - 2; i-- > 0;) push(points[i], base);
    hull.pop_back();  // the least point, which starts the upper chain
    return hull;
}

// The gift wrap from the least point; `behind` is the point the last step came from (the first
// step comes from straight below the start: no point is needed for it).
template <class G, class P = typename G::P>
std::vector<P> giftWrappingOf(std::vector<P> points) {
    std::vector<P> hull;
    if (points.empty()) return hull;
    P start = points.front();
    for (const P& r : points) {
        if (before(r, start)) start = r;
    }
    P p = start, behind = start;
    bool first = true;
    for (;;) {
        // Exact turns never come back to a point but the start; rounded ones can circle for ever.
        if (hull.size() > points.size()) return hull;
        hull.push_back(p);
        P q = points.front();
        bool opposite = false;  // met a point on the line p->q but behind p
        for (const P& r : points) {
            if (q.x == p.x && q.y == p.y) {
                q = r;
                continue;
            }
            const auto v = G::cross(p, q, q, r);
            if (v > 0) {
                q = r;
            } else if (v == 0 && G::dot(p, q, r) < 0) {
                opposite = true;
            }
        }
        if (opposite) {
            for (const P& r : points) {
                if (G::cross(p, q, p, r) > 0) return incrementalOf<G>(std::move(points));
            }
        }
        // On the last step's line, going back: the points are all on one line.
        const bool onStepLine = first ? q.x == p.x : G::cross(behind, p, p, q) == 0;
        if (onStepLine && (first ? q.y < p.y : G::dot(p, behind, q) > 0)) {
            P last = start;  // greatest point: the other end of the line
            for (const P& r : points) {
                if (before(last, r)) last = r;
            }
            return {start, last};
        }
        if (q.x == start.x && q.y == start.y) return hull;
        behind = p;
        first = false;
        p = q;
    }
}

template <class G, class P = typename G::P>
std::vector<P> qhullOf(std::vector<P> points) {
    std::vector<P> hull;
    if (points.empty()) return hull;
    P left = points.front();
    P right = points.front();
    for (const P& p : points) {
        if (before(p, left)) left = p;
        if (before(right, p)) right = p;
    }
    hull.push_back(left);
    qhullSide<G>(left, right, points, hull);
    hull.push_back(right);
    qhullSide<G>(right, left, points, hull);
    return hull;
}

}  // namespace

std::vector<Point> incrementalArray(std::vector<Point> points) { return incrementalOf<Whole>(std::move(points)); }
std::vector<Point> giftWrappingArray(std::vector<Point> points) { return giftWrappingOf<Whole>(std::move(points)); }
std::vector<Point> qhullArray(std::vector<Point> points) { return qhullOf<Whole>(std::move(points)); }

std::vector<RealPoint> incrementalArray(std::vector<RealPoint> points, RealTurns turns) {
    return turns == RealTurns::Exact ? incrementalOf<ExactReal>(std::move(points)) : incrementalOf<PlainReal>(std::move(points));
}
std::vector<RealPoint> giftWrappingArray(std::vector<RealPoint> points, RealTurns turns) {
    return turns == RealTurns::Exact ? giftWrappingOf<ExactReal>(std::move(points))
                                     : giftWrappingOf<PlainReal>(std::move(points));
}
std::vector<RealPoint> qhullArray(std::vector<RealPoint> points, RealTurns turns) {
    return turns == RealTurns::Exact ? qhullOf<ExactReal>(std::move(points)) : qhullOf<PlainReal>(std::move(points));
}

}  // namespace lab
