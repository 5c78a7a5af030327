// The Boost.Geometry peer (Boost 1.74): convex_hull, Andrew's monotone chain, on 64-bit integer
// coordinates. Its side tests multiply coordinate differences, below 2^31 for the lab's points, so
// they stay exact in 64 bits. Each call gets a fresh multi_point (a std::vector) copy of the points
// and writes a new ring: clockwise and closed, the ring type's defaults.

#define BOOST_ALLOW_DEPRECATED_HEADERS  // Boost 1.74's own headers include deprecated ones
#include <boost/geometry.hpp>
#include <boost/geometry/geometries/multi_point.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/ring.hpp>

#include "lab.h"

namespace lab {

namespace {

namespace bg = boost::geometry;
using P = bg::model::d2::point_xy<std::int64_t>;
using Points = bg::model::multi_point<P>;
using Ring = bg::model::ring<P>;  // clockwise, closed

class BoostRunner : public Runner {
  public:
    explicit BoostRunner(const std::vector<Point>& points) {
        points_.reserve(points.size());
        for (const Point& p : points) points_.emplace_back(p.x, p.y);
    }

    void call() override { run(); }

    // The ring without its closing point, which repeats its first. A ring has at least four
    // points, so for fewer than three corners Boost repeats the first point to fill it up (one
    // point p gives p p p p; two, a b a a): those repeats go too. Any other repeat stays, and
    // fails the check.
    std::vector<reference::Pt> hull() override {
        std::vector<reference::Pt> result;
        for (const P& p : run()) result.push_back({p.x(), p.y()});
        while (result.size() > 1 && result.front() == result.back()) result.pop_back();
        return result;
    }

  private:
    // A fresh copy of the points, and the ring Boost makes of their hull.
    Ring run() {
        Points copy = points_;
        Ring hull;
        bg::convex_hull(copy, hull);
        return hull;
    }

    Points points_;
};

std::unique_ptr<Runner> prepare(const std::vector<Point>& points) { return std::make_unique<BoostRunner>(points); }

}  // namespace

void addBoostPeers(std::vector<Algorithm>& list) {
    // Corners only, clockwise; where the ring starts is not promised.
    list.push_back({"boost-monotone-chain", "monotone chain", Origin::Peer, {true, true, false}, true, prepare});
}

}  // namespace lab
