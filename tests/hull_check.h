// An independent check of a hull result: a brute-force hull and the properties every algorithm
// promises. Shared by the unit tests, the stress test and the end-to-end tests. Exact for
// coordinates below 2^62 in magnitude (cross products are taken in 128 bits).
#pragma once

#include <algorithm>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "hullbench.h"

namespace hullcheck {

enum class Direction { Clockwise, CounterClockwise };

// What one algorithm promises about its result.
struct Promise {
    Direction direction;
    bool keepsEdgePoints;      // may list points that lie in the middle of a hull edge
    std::size_t onePointCopies;  // how often it lists the point of a one-point set
    bool keepsLonePoint;         // gives a single input point back once
};

__extension__ typedef __int128 Wide;

// (a - o) x (b - o): positive when b lies left of o->a.
inline Wide cross(Point o, Point a, Point b) {
    return Wide(a.x - o.x) * (b.y - o.y) - Wide(a.y - o.y) * (b.x - o.x);
}

inline Wide dot(Point o, Point a, Point b) {
    return Wide(a.x - o.x) * (b.x - o.x) + Wide(a.y - o.y) * (b.y - o.y);
}

inline std::string show(const PointList& points) {
    std::ostringstream out;
    out << '[';
    const char* separator = "";
    for (const Point& p : points) {
        out << separator << p;
        separator = " ";
    }
    out << ']';
    return out.str();
}

// The hull's corners clockwise from the least point, by trying every pair as an edge: O(n^3).
// One distinct point gives it once; points on one line give its two ends.
inline std::vector<Point> bruteCorners(const PointList& points) {
    std::set<Point> unique(points.begin(), points.end());
    std::vector<Point> distinct(unique.begin(), unique.end());
    if (distinct.size() <= 1) return distinct;
    // a->b is a clockwise edge when every point lies strictly right of it or on the segment a-b.
    auto isEdge = [&](Point a, Point b) {
        for (const Point& r : distinct) {
            Wide side = cross(a, b, r);
            if (side > 0) return false;
            if (side == 0 && (dot(a, b, r) < 0 || dot(b, a, r) < 0)) return false;
        }
        return true;
    };
    std::vector<Point> corners{distinct.front()};
    for (;;) {
        Point from = corners.back();
        Point next = from;
        for (const Point& to : distinct) {
            if (to != from && isEdge(from, to)) next = to;
        }
        if (next == corners.front() || corners.size() > distinct.size()) return corners;
        corners.push_back(next);
    }
}

// Case i of a stress run on small grids (3x3 to 12x12, 1 to 15 points), so that copies, collinear
// runs and points on hull edges are everywhere: every tenth case a line (copies of one step from
// one point), every tenth copies of one point, the rest uniform on the grid.
inline PointList smallGridCase(std::mt19937_64& random, int i) {
    const std::int64_t grid = 3 + random() % 10;
    const std::size_t count = 1 + random() % 15;
    PointList input;
    switch (i % 10) {
        case 0: {
            Point from{std::int64_t(random() % grid), std::int64_t(random() % grid)};
            Point step{std::int64_t(random() % 3) - 1, std::int64_t(random() % 3) - 1};
            for (std::size_t k = 0; k < count; ++k) {
                std::int64_t t = std::int64_t(random() % grid);
                input.push_back({from.x + t * step.x, from.y + t * step.y});
            }
            break;
        }
        case 1:
            input.assign(count, Point{std::int64_t(random() % grid), std::int64_t(random() % grid)});
            break;
        default:
            for (std::size_t k = 0; k < count; ++k) {
                input.push_back({std::int64_t(random() % grid), std::int64_t(random() % grid)});
            }
    }
    return input;
}

// Empty when `result` is a correct hull of `input` under `promise`, else what is wrong.
// A correct hull: starts at the least point, runs in the promised direction through exactly the
// brute-force corners in order, lists no point twice, and lists other points only where they lie
// strictly inside the hull edge between the corners around them, in order along it.
inline std::string checkHull(const PointList& input, const PointList& result, const Promise& promise) {
    std::vector<Point> corners = bruteCorners(input);
    std::vector<Point> got(result.begin(), result.end());
    std::ostringstream why;
    if (corners.size() <= 1) {
        std::size_t copies = promise.keepsLonePoint && input.size() == 1 ? 1 : promise.onePointCopies;
        std::vector<Point> expected(corners.empty() ? 0 : copies, corners.empty() ? Point{0, 0} : corners.front());
        if (got != expected) why << "expected " << (expected.empty() ? "no point" : "the one point");
        return why.str();
    }
    if (promise.direction == Direction::CounterClockwise) std::reverse(corners.begin() + 1, corners.end());
    if (corners.size() == 2) {
        if (got != corners) why << "points on one line must give its two ends " << corners[0] << ' ' << corners[1];
        return why.str();
    }
    std::set<Point> inputSet(input.begin(), input.end());
    std::set<Point> seen;
    std::vector<std::size_t> cornerAt;  // positions in `got` of the corners
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (!inputSet.count(got[i])) return (why << got[i] << " is not an input point", why.str());
        if (!seen.insert(got[i]).second) return (why << got[i] << " stands twice", why.str());
        if (std::find(corners.begin(), corners.end(), got[i]) != corners.end()) cornerAt.push_back(i);
    }
    if (got.empty() || got.front() != corners.front()) return "does not start at the least point";
    std::vector<Point> gotCorners;
    for (std::size_t i : cornerAt) gotCorners.push_back(got[i]);
    if (gotCorners != corners) {
        PointList expected(corners.begin(), corners.end());
        why << "corners in the wrong order or missing; expected " << show(expected);
        return why.str();
    }
    for (std::size_t c = 0; c < cornerAt.size(); ++c) {
        std::size_t from = cornerAt[c];
        std::size_t to = c + 1 < cornerAt.size() ? cornerAt[c + 1] : got.size();
        Point a = got[from];
        Point b = got[to % got.size()];
        Wide previous = 0;
        for (std::size_t i = from + 1; i < to; ++i) {
            if (!promise.keepsEdgePoints) return (why << got[i] << " is not a corner", why.str());
            Wide along = dot(a, b, got[i]);
            if (cross(a, b, got[i]) != 0 || along <= previous || dot(b, a, got[i]) <= 0) {
                return (why << got[i] << " is not on the edge " << a << '-' << b << " in order", why.str());
            }
            previous = along;
        }
    }
    return "";
}

// The plain gift-wrapping walk, step by step, or nothing when a step picks a point that has an
// input point strictly to its left (the walk has lost the boundary) or `maxSteps` pass.
inline std::optional<PointList> plainWalk(const PointList& points, std::size_t maxSteps) {
    PointList hull;
    if (points.empty()) return hull;
    Point start = *std::min_element(points.begin(), points.end());
    Point p = start;
    for (std::size_t step = 0; step < maxSteps; ++step) {
        hull.push_back(p);
        Point q = points.front();
        for (const Point& r : points) {
            if (q == p || cross(p, q, r) > 0) q = r;
        }
        for (const Point& r : points) {
            if (q != p && cross(p, q, r) > 0) return std::nullopt;
        }
        if (q == start) return hull;
        p = q;
    }
    return std::nullopt;
}

}  // namespace hullcheck
