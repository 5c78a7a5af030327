// The CGAL peers (CGAL 5.5, Convex_hull_2), on the exact-predicates kernel: the program's integer
// coordinates (below 2^30) are exact as doubles, and its orientation tests are exact on every
// finite double (a filter, then intervals, then exact arithmetic), so real cells take them too. Each call gets
// a fresh std::vector copy of the points and writes the extreme points, counter-clockwise, into a
// new vector.

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/ch_bykat.h>
#include <CGAL/ch_eddy.h>
#include <CGAL/ch_graham_andrew.h>
#include <CGAL/ch_jarvis.h>
#include <CGAL/convex_hull_2.h>

#include <iterator>

#include <CGAL/version.h>
#include "peer.h"
#include "peers/peers.h"

namespace lab {

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using P = Kernel::Point_2;
using Points = std::vector<P>;
using Hull = std::back_insert_iterator<Points>;

// One of CGAL's hull functions F: a fresh copy of the points, and the extreme points F finds in it.
template <Hull (*F)(Points::iterator, Points::iterator, Hull)>
struct Cgal {
    using Input = Points;
    using Result = Points;
    template <class Q>
    static Input prepare(const std::vector<Q>& points) {
        Points copy;
        copy.reserve(points.size());
        for (const Q& p : points) copy.emplace_back(double(p.x), double(p.y));
        return copy;
    }
    static Result run(const Input& points) {
        Points copy = points;
        Points hull;
        F(copy.begin(), copy.end(), std::back_inserter(hull));
        return hull;
    }
    static std::vector<RealPoint> read(const Result& hull) {
        std::vector<RealPoint> result;
        for (const P& p : hull) result.push_back({p.x(), p.y()});
        return result;
    }
};

Hull akl(Points::iterator b, Points::iterator e, Hull out) { return CGAL::convex_hull_2(b, e, out); }
Hull andrew(Points::iterator b, Points::iterator e, Hull out) { return CGAL::ch_graham_andrew(b, e, out); }
Hull jarvis(Points::iterator b, Points::iterator e, Hull out) { return CGAL::ch_jarvis(b, e, out); }
Hull bykat(Points::iterator b, Points::iterator e, Hull out) { return CGAL::ch_bykat(b, e, out); }
Hull eddy(Points::iterator b, Points::iterator e, Hull out) { return CGAL::ch_eddy(b, e, out); }

}  // namespace

std::string cgalVersion() {
    return CGAL_STR(CGAL_VERSION);
}

void addCgalPeers(std::vector<Algorithm>& list) {
    // CGAL lists extreme points only (no point on a hull edge), counter-clockwise, and says
    // nothing of where it starts.
    const reference::Promise ccw{/*clockwise=*/false, /*strict=*/true, /*onePointTwice=*/false};
    list.push_back({"cgal-monotone-chain", "monotone chain", Origin::Peer, ccw, true, preparePeer<Cgal<andrew>>,
                    "CGAL ch_graham_andrew"});
    list.push_back({"cgal-gift-wrapping", "gift wrapping", Origin::Peer, ccw, true, preparePeer<Cgal<jarvis>>,
                    "CGAL ch_jarvis"});
    // ch_bykat is quickhull without recursion (an explicit stack); ch_eddy is its recursive form.
    list.push_back({"cgal-quickhull", "quickhull", Origin::Peer, ccw, true, preparePeer<Cgal<bykat>>,
                    "CGAL ch_bykat, quickhull with a stack"});
    list.push_back({"cgal-eddy-quickhull", "quickhull", Origin::Peer, ccw, true, preparePeer<Cgal<eddy>>,
                    "CGAL ch_eddy, recursive quickhull"});
    list.push_back({"cgal-akl-toussaint", "Akl-Toussaint", Origin::Peer, ccw, true, preparePeer<Cgal<akl>>,
                    "CGAL convex_hull_2"});
    for (Algorithm& entry : list) {
        if (entry.name == "cgal-monotone-chain") entry.prepareReal = prepareRealPeer<Cgal<andrew>>;
        if (entry.name == "cgal-gift-wrapping") entry.prepareReal = prepareRealPeer<Cgal<jarvis>>;
        if (entry.name == "cgal-quickhull") entry.prepareReal = prepareRealPeer<Cgal<bykat>>;
        if (entry.name == "cgal-eddy-quickhull") entry.prepareReal = prepareRealPeer<Cgal<eddy>>;
        if (entry.name == "cgal-akl-toussaint") entry.prepareReal = prepareRealPeer<Cgal<akl>>;
    }
}

}  // namespace lab
