// The CGAL peers (CGAL 5.5, Convex_hull_2), on the exact-predicates kernel: the program's integer
// coordinates (below 2^30) are exact as doubles, and its orientation tests are exact. Each call gets
// a fresh std::vector copy of the points and writes the extreme points, counter-clockwise, into a
// new vector.

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/ch_bykat.h>
#include <CGAL/ch_graham_andrew.h>
#include <CGAL/ch_jarvis.h>
#include <CGAL/convex_hull_2.h>

#include <iterator>

#include "lab.h"

namespace lab {

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using P = Kernel::Point_2;
using Points = std::vector<P>;
using Hull = std::back_insert_iterator<Points>;

template <Hull (*F)(Points::iterator, Points::iterator, Hull)>
class CgalRunner : public Runner {
  public:
    explicit CgalRunner(const std::vector<Point>& points) {
        points_.reserve(points.size());
        for (const Point& p : points) points_.emplace_back(double(p.x), double(p.y));
    }

    void call() override { run(); }

    std::vector<reference::Pt> hull() override {
        std::vector<reference::Pt> result;
        for (const P& p : run()) result.push_back({std::int64_t(p.x()), std::int64_t(p.y())});
        return result;
    }

  private:
    // A fresh copy of the points, and the extreme points CGAL finds in it.
    Points run() {
        Points copy = points_;
        Points hull;
        F(copy.begin(), copy.end(), std::back_inserter(hull));
        return hull;
    }

    Points points_;
};

Hull akl(Points::iterator b, Points::iterator e, Hull out) { return CGAL::convex_hull_2(b, e, out); }
Hull andrew(Points::iterator b, Points::iterator e, Hull out) { return CGAL::ch_graham_andrew(b, e, out); }
Hull jarvis(Points::iterator b, Points::iterator e, Hull out) { return CGAL::ch_jarvis(b, e, out); }
Hull bykat(Points::iterator b, Points::iterator e, Hull out) { return CGAL::ch_bykat(b, e, out); }

template <Hull (*F)(Points::iterator, Points::iterator, Hull)>
std::unique_ptr<Runner> prepare(const std::vector<Point>& points) {
    return std::make_unique<CgalRunner<F>>(points);
}

}  // namespace

void addCgalPeers(std::vector<Algorithm>& list) {
    // CGAL lists extreme points only (no point on a hull edge), counter-clockwise, and says
    // nothing of where it starts.
    const reference::Promise ccw{/*clockwise=*/false, /*strict=*/true, /*onePointTwice=*/false};
    list.push_back({"cgal-monotone-chain", "monotone chain", Origin::Peer, ccw, true, prepare<andrew>});
    list.push_back({"cgal-gift-wrapping", "gift wrapping", Origin::Peer, ccw, true, prepare<jarvis>});
    list.push_back({"cgal-quickhull", "quickhull", Origin::Peer, ccw, true, prepare<bykat>});
    list.push_back({"cgal-akl-toussaint", "Akl-Toussaint", Origin::Peer, ccw, true, prepare<akl>});
}

}  // namespace lab
