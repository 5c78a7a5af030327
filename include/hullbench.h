// The program's functions, as the tests, the tools and the lab call them. They are compiled from
// main.cpp a second time, with its `main` renamed to `hullbench_main` (the object
// `hullbench_functions` of the build).
#pragma once

#include <cstdint>
#include <list>
#include <ostream>
#include <string>

struct Point {
    std::int64_t x;
    std::int64_t y;
};

using PointList = std::list<Point>;

bool is_equal(Point a, Point b);
double distance(Point a, Point b, Point c);
int orientation(Point p, Point q, Point r);
int printPoints(PointList points, const std::string& filename);
int printPoints(PointList points);
std::int64_t getMicroSecs();
PointList init(std::int64_t maxX, std::int64_t maxY, std::int64_t numPoints);
PointList gift_wrapping(PointList points);
PointList qhull_helper(Point a, Point b, PointList points);
PointList qhull(PointList points);
PointList incremental(PointList points);
int test(std::int64_t maxX, std::int64_t maxY, std::int64_t numPoints);
int benchmark();

// Test-side conveniences.
inline bool operator==(Point a, Point b) { return a.x == b.x && a.y == b.y; }
inline bool operator!=(Point a, Point b) { return !(a == b); }
inline bool operator<(Point a, Point b) { return a.x < b.x || (a.x == b.x && a.y < b.y); }
inline std::ostream& operator<<(std::ostream& os, Point p) {
    return os << '(' << p.x << ',' << p.y << ')';
}
inline void PrintTo(const Point& p, std::ostream* os) { *os << p; }
