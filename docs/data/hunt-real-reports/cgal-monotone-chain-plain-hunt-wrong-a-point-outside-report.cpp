// CGAL's ch_graham_andrew on Simple_cartesian<double> on 3 points: WRONG, a point outside.
// Found and shrunk by hull-lab's hunt (entry cgal-monotone-chain-plain). Run:
//   g++ -O2 -std=c++17 -o report report.cpp -DNDEBUG -lgmp && ./report
// It prints the hull the library returns and the exact hull, and exits 1 where they differ.
#include <CGAL/Simple_cartesian.h>
#include <CGAL/ch_graham_andrew.h>
#include <algorithm>
#include <exception>
#include <iostream>
#include <iterator>
#include <vector>

using Kernel = CGAL::Simple_cartesian<double>;
using Point = Kernel::Point_2;

int main() {
    const std::vector<Point> points = {
        Point(0.5, 0.25),
        Point(6.0, 3.0),
        Point(0.4999999999999998, 0.25),
    };
    // The exact hull's corners, counter-clockwise (hull-lab's exact check).
    const std::vector<Point> exact = {
        Point(0.5, 0.25),
        Point(6.0, 3.0),
        Point(0.4999999999999998, 0.25),
    };
    std::vector<Point> hull;
    try {
        CGAL::ch_graham_andrew(points.begin(), points.end(), std::back_inserter(hull));
    } catch (const std::exception& e) {  // built without -DNDEBUG: CGAL's own check of its result
        std::cout << "CGAL stopped: " << e.what() << '\n';
        return 1;
    }
    std::cout.precision(17);
    std::cout << "CGAL: ";
    for (const Point& p : hull) std::cout << " (" << p << ")";
    std::cout << "\nexact:";
    for (const Point& p : exact) std::cout << " (" << p << ")";
    std::cout << '\n';
    for (std::size_t r = 0; r < hull.size() && hull.size() == exact.size(); ++r) {
        std::rotate(hull.begin(), hull.begin() + 1, hull.end());
        if (hull == exact) {
            std::cout << "the same hull\n";
            return 0;
        }
    }
    std::cout << "not the exact hull\n";
    return 1;
}
