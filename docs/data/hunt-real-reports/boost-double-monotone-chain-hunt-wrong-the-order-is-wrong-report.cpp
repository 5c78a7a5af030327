// Boost.Geometry's convex_hull of double coordinates on 5 points: WRONG, the order is wrong.
// Found and shrunk by hull-lab's hunt (entry boost-double-monotone-chain). Run:
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
using Point = bg::model::d2::point_xy<double>;

int main() {
    const bg::model::multi_point<Point> points = {
        {5362538015824.329, -1.79e+12},
        {5362538015824.0, 0.0},
        {5362538015824.328, -1.788e+12},
        {5.4e+12, 0.0},
        {5.36e+12, -2e+12},
    };
    // The exact hull's corners, clockwise from the lowest of the leftmost (hull-lab's exact check).
    const std::vector<Point> exact = {
        {5.36e+12, -2e+12},
        {5362538015824.0, 0.0},
        {5.4e+12, 0.0},
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
