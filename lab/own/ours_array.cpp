// The program's three hull functions on arrays: the same decisions as their list forms in
// main.cpp (start point, direction, tie rules, which points on hull edges they keep, degenerate
// results, the gift-wrapping guard), so that on every input each returns the same points in the
// same order as its list form. Only the container changes: a std::vector copy per call, sorted by
// std::sort, and quickhull's outer sets as vectors. What is left of a gap to a library is then the
// implementation's, not the list's.
//
// Exact while every coordinate lies strictly between -2^30 and 2^30, as the list forms.

#include <algorithm>

#include "lab.h"
#include "own/own.h"

namespace lab {

namespace {

// The incremental hull's turn test, (b - a) x (c - b) written as the list form writes it:
// negative when a -> b -> c turns clockwise (y pointing up), 0 when the three are collinear. O(1).
std::int64_t chainTurn(const Point& a, const Point& b, const Point& c) {
    return (b.x - a.x) * (c.y - b.y) + (b.y - a.y) * (b.x - c.x);
}

// Appends to `hull` the quickhull vertices strictly right of a->b, from a towards b, a and b
// excluded: qhull_helper's recursion, with its outer sets as vectors in input order. O(n h) at
// worst.
void qhullSide(Point a, Point b, const std::vector<Point>& points, std::vector<Point>& hull) {
    if (points.empty()) return;
    Point far = points.front();
    std::int64_t farValue = (b.x - a.x) * (far.y - a.y) + (b.y - a.y) * (a.x - far.x);
    for (const Point& p : points) {
        std::int64_t value = (b.x - a.x) * (p.y - a.y) + (b.y - a.y) * (a.x - p.x);
        if (value < farValue) {
            far = p;
            farValue = value;
        }
    }
    if (farValue >= 0) return;
    std::vector<Point> outsideAF;
    std::vector<Point> outsideFB;
    for (const Point& p : points) {
        if ((a.x - far.x) * (p.y - far.y) + (a.y - far.y) * (far.x - p.x) > 0) outsideAF.push_back(p);
        if ((far.x - b.x) * (p.y - b.y) + (far.y - b.y) * (b.x - p.x) > 0) outsideFB.push_back(p);
    }
    qhullSide(a, far, outsideAF, hull);
    std::vector<Point>().swap(outsideAF);
    hull.push_back(far);
    qhullSide(far, b, outsideFB, hull);
}

}  // namespace

std::vector<Point> incrementalArray(std::vector<Point> points) {
    if (points.size() < 2) return points;
    // Points equal under the order are copies of one point, so an unstable sort gives the list
    // form's order.
    std::sort(points.begin(), points.end(),
              [](const Point& a, const Point& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    std::vector<Point> hull;
    hull.reserve(points.size() + 1);
    // Pushes p, then drops the next-to-last point while the chain's last three points (the chain
    // starting at `base`) fail to turn clockwise.
    auto push = [&hull](const Point& p, std::size_t base) {
        hull.push_back(p);
        while (hull.size() - base > 2) {
            const std::size_t last = hull.size() - 1;
            if (chainTurn(hull[last - 2], hull[last - 1], hull[last]) < 0) break;
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

std::vector<Point> giftWrappingArray(std::vector<Point> points) {
    std::vector<Point> hull;
    if (points.empty()) return hull;
    Point start = points.front();
    for (const Point& r : points) {
        if (r.x < start.x || (r.x == start.x && r.y < start.y)) start = r;
    }
    Point p = start;
    Point step{0, 1};
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
                    return incrementalArray(std::move(points));
                }
            }
        }
        bool onStepLine = step.x * (q.y - p.y) - step.y * (q.x - p.x) == 0;
        if (onStepLine && step.x * (q.x - p.x) + step.y * (q.y - p.y) < 0) {
            Point last = start;  // greatest point: the other end of the line
            for (const Point& r : points) {
                if (r.x > last.x || (r.x == last.x && r.y > last.y)) last = r;
            }
            return {start, last};
        }
        if (q.x == start.x && q.y == start.y) return hull;
        step = Point{q.x - p.x, q.y - p.y};
        p = q;
    }
}

std::vector<Point> qhullArray(std::vector<Point> points) {
    std::vector<Point> hull;
    if (points.empty()) return hull;
    Point left = points.front();
    Point right = points.front();
    for (const Point& p : points) {
        if (p.x < left.x || (p.x == left.x && p.y < left.y)) left = p;
        if (p.x > right.x || (p.x == right.x && p.y > right.y)) right = p;
    }
    hull.push_back(left);
    qhullSide(left, right, points, hull);
    hull.push_back(right);
    qhullSide(right, left, points, hull);
    return hull;
}

}  // namespace lab
