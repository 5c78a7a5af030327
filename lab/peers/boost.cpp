// The Boost.Geometry peers (Boost 1.74): convex_hull, Andrew's monotone chain, on 64-bit integer
// coordinates as most callers hold them, on double (its point's default type, and what real
// points are) and on long double coordinates. Each call gets a fresh
// multi_point (a std::vector) copy of the points and writes a new ring: clockwise and closed, the
// ring type's defaults.
//
// Boost's side test promotes integer coordinates to double before it multiplies: the products of
// two coordinate differences reach 2^62 for the lab's points, past the 2^53 that a double holds
// exactly, so on integers it can misjudge a nearly straight turn (the `sliver` shape shows it).
// long double carries 64 bits of mantissa, which holds those products exactly: the remedy.

#define BOOST_ALLOW_DEPRECATED_HEADERS  // Boost 1.74's own headers include deprecated ones
#include <boost/geometry.hpp>
#include <boost/geometry/geometries/multi_point.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/ring.hpp>

#include <boost/version.hpp>
#include "peer.h"
#include "peers/peers.h"

namespace lab {

namespace {

namespace bg = boost::geometry;

template <typename Coordinate>
struct BoostHull {
    using P = bg::model::d2::point_xy<Coordinate>;
    using Input = bg::model::multi_point<P>;
    using Result = bg::model::ring<P>;  // clockwise, closed
    template <class Q>
    static Input prepare(const std::vector<Q>& points) {
        Input copy;
        copy.reserve(points.size());
        for (const Q& p : points) copy.emplace_back(Coordinate(p.x), Coordinate(p.y));
        return copy;
    }
    static Result run(const Input& points) {
        Input copy = points;
        Result hull;
        bg::convex_hull(copy, hull);
        return hull;
    }
    // A ring has at least four points, so for fewer than three corners Boost repeats the first
    // point to fill it up (one point p gives p p p p; two, a b a a): openRing drops them.
    static std::vector<RealPoint> read(const Result& hull) {
        std::vector<RealPoint> result;
        for (const P& p : hull) result.push_back({double(p.x()), double(p.y())});
        return openRing(result);
    }
};

}  // namespace

std::string boostVersion() {
    return std::to_string(BOOST_VERSION / 100000) + "." + std::to_string(BOOST_VERSION / 100 % 1000) + "." +
           std::to_string(BOOST_VERSION % 100);
}

void addBoostPeers(std::vector<Algorithm>& list) {
    // Corners only, clockwise; where the ring starts is not promised.
    const reference::Promise clockwise{true, true, false};
    Algorithm onIntegers{"boost-monotone-chain", "monotone chain", Origin::Peer, clockwise, true,
                         preparePeer<BoostHull<std::int64_t>>, "Boost.Geometry convex_hull, int64 coordinates"};
    onIntegers.exact = false;  // its side test rounds products above 2^53
    list.push_back(onIntegers);
    Algorithm onLongDoubles{"boost-long-double-monotone-chain", "monotone chain", Origin::Peer, clockwise, true,
                            preparePeer<BoostHull<long double>>, "Boost.Geometry convex_hull, long double coordinates"};
    onLongDoubles.prepareReal = prepareRealPeer<BoostHull<long double>>;  // a double widens exactly
    list.push_back(onLongDoubles);
    Algorithm onDoubles{"boost-double-monotone-chain", "monotone chain", Origin::Peer, clockwise, true,
                        preparePeer<BoostHull<double>>, "Boost.Geometry convex_hull, double coordinates"};
    onDoubles.prepareReal = prepareRealPeer<BoostHull<double>>;
    onDoubles.exact = false;  // the same side test, on doubles
    list.push_back(onDoubles);
}

}  // namespace lab
