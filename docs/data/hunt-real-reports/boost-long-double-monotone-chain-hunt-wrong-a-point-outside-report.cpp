// Boost.Geometry's convex_hull of long double coordinates on 3 points: WRONG, a point outside.
// Found and shrunk by hull-lab's hunt (entry boost-long-double-monotone-chain). Run:
//   g++ -O2 -std=c++17 -o report report.cpp && ./report
// It prints the hull the library returns and the exact hull, and exits 1 where they differ.
#define BOOST_ALLOW_DEPRECATED_HEADERS
#include <boost/geometry.hpp>
#include <boost/geometry/geometries/multi_point.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/ring.hpp>
#include <algorithm>
#include <cstdint>
#include <exception>
#include <iostream>
#include <vector>

namespace bg = boost::geometry;
using Point = bg::model::d2::point_xy<long double>;

int main() {
    const bg::model::multi_point<Point> points = {
        {0.5L, 0.25L},
        {0.0L, 0.2500000000000002L},
        {0.4999999999999998L, 0.25L},
    };
    // The exact hull's corners, clockwise from the lowest of the leftmost (hull-lab's exact check).
    const std::vector<Point> exact = {
        {0.0L, 0.2500000000000002L},
        {0.5L, 0.25L},
        {0.4999999999999998L, 0.25L},
    };
    bg::model::ring<Point> hull;  // clockwise and closed
    try {
        bg::convex_hull(points, hull);
    } catch (const std::exception& e) {  // a refusal, not a wrong hull
        std::cout << "Boost:  no hull: " << e.what() << '\n';
        return 2;
    }
    std::cout.precision(17);
    std::cout << "Boost:  " << bg::wkt(hull) << "\nexact:  " << bg::wkt(bg::model::ring<Point>(exact.begin(), exact.end())) << '\n';
    auto same = [](const Point& a, const Point& b) { return a.x() == b.x() && a.y() == b.y(); };
    std::vector<Point> open(hull.begin(), hull.end());
    if (open.size() > 1 && same(open.front(), open.back())) open.pop_back();  // the closing point
    for (std::size_t r = 0; r < open.size() && open.size() == exact.size(); ++r) {
        std::rotate(open.begin(), open.begin() + 1, open.end());
        if (std::equal(open.begin(), open.end(), exact.begin(), same)) {
            std::cout << "the same hull\n";
            return 0;
        }
    }
    std::cout << "not the exact hull\n";
    return 1;
}
