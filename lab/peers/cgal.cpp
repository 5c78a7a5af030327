// The CGAL peers (CGAL 5.5, Convex_hull_2), on the exact-predicates kernel: the program's integer
// coordinates (below 2^30) are exact as doubles, and its orientation tests are exact on every
// finite double (a filter, then intervals, then exact arithmetic), so real cells take them too.
// Two of them run on Simple_cartesian<double> as well (named only, "-plain"), the kernel many users
// write first: the same functions with plain rounded orientation tests. Each call gets a fresh
// std::vector copy of the points and writes the extreme points, counter-clockwise, into a new
// vector.

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Simple_cartesian.h>
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

using Exact = CGAL::Exact_predicates_inexact_constructions_kernel;
using Plain = CGAL::Simple_cartesian<double>;

template <class Kernel>
using PointsOf = std::vector<typename Kernel::Point_2>;
template <class Kernel>
using HullOf = std::back_insert_iterator<PointsOf<Kernel>>;

// One of CGAL's hull functions F on Kernel's points: a fresh copy of the points, and the extreme
// points F finds in it.
template <class Kernel, HullOf<Kernel> (*F)(typename PointsOf<Kernel>::iterator, typename PointsOf<Kernel>::iterator,
                                          HullOf<Kernel>)>
struct Cgal {
    using Input = PointsOf<Kernel>;
    using Result = PointsOf<Kernel>;
    template <class Q>
    static Input prepare(const std::vector<Q>& points) {
        Input copy;
        copy.reserve(points.size());
        for (const Q& p : points) copy.emplace_back(double(p.x), double(p.y));
        return copy;
    }
    static Result run(const Input& points) {
        Input copy = points;
        Result hull;
        F(copy.begin(), copy.end(), std::back_inserter(hull));
        return hull;
    }
    static std::vector<RealPoint> read(const Result& hull) {
        std::vector<RealPoint> result;
        for (const auto& p : hull) result.push_back({p.x(), p.y()});
        return result;
    }
};

template <class K>
struct Akl {
    static HullOf<K> run(typename PointsOf<K>::iterator b, typename PointsOf<K>::iterator e, HullOf<K> out) {
        return CGAL::convex_hull_2(b, e, out);
    }
};
template <class K>
struct Andrew {
    static HullOf<K> run(typename PointsOf<K>::iterator b, typename PointsOf<K>::iterator e, HullOf<K> out) {
        return CGAL::ch_graham_andrew(b, e, out);
    }
};
template <class K>
struct Jarvis {
    static HullOf<K> run(typename PointsOf<K>::iterator b, typename PointsOf<K>::iterator e, HullOf<K> out) {
        return CGAL::ch_jarvis(b, e, out);
    }
};
template <class K>
struct Bykat {
    static HullOf<K> run(typename PointsOf<K>::iterator b, typename PointsOf<K>::iterator e, HullOf<K> out) {
        return CGAL::ch_bykat(b, e, out);
    }
};
template <class K>
struct Eddy {
    static HullOf<K> run(typename PointsOf<K>::iterator b, typename PointsOf<K>::iterator e, HullOf<K> out) {
        return CGAL::ch_eddy(b, e, out);
    }
};

// The entry of CGAL's function F on the exact kernel, or (plain) on Simple_cartesian<double>; every
// one takes doubles.
template <template <class> class F>
Algorithm cgalEntry(const char* name, const char* method, const char* calls, bool plain) {
    const reference::Promise ccw{/*clockwise=*/false, /*strict=*/true, /*onePointTwice=*/false};
    if (plain) {
        using Library = Cgal<Plain, F<Plain>::run>;
        Algorithm entry{name, method, Origin::Peer, ccw, true, preparePeer<Library>, calls};
        entry.prepareReal = prepareRealPeer<Library>;
        entry.exact = false;  // its products of differences round past 2^53, even on whole numbers
        return entry;
    }
    using Library = Cgal<Exact, F<Exact>::run>;
    Algorithm entry{name, method, Origin::Peer, ccw, true, preparePeer<Library>, calls};
    entry.prepareReal = prepareRealPeer<Library>;
    return entry;
}

}  // namespace

std::string cgalVersion() {
    return CGAL_STR(CGAL_VERSION);
}

void addCgalPeers(std::vector<Algorithm>& list) {
    // CGAL lists extreme points only (no point on a hull edge), counter-clockwise, and says
    // nothing of where it starts. ch_bykat is quickhull without recursion (an explicit stack);
    // ch_eddy is its recursive form.
    list.push_back(cgalEntry<Andrew>("cgal-monotone-chain", "monotone chain", "CGAL ch_graham_andrew", false));
    list.push_back(cgalEntry<Andrew>("cgal-monotone-chain-plain", "monotone chain",
                                     "CGAL ch_graham_andrew on Simple_cartesian<double>, not exact", true));
    list.push_back(cgalEntry<Jarvis>("cgal-gift-wrapping", "gift wrapping", "CGAL ch_jarvis", false));
    list.push_back(cgalEntry<Bykat>("cgal-quickhull", "quickhull", "CGAL ch_bykat, quickhull with a stack", false));
    list.push_back(cgalEntry<Eddy>("cgal-eddy-quickhull", "quickhull", "CGAL ch_eddy, recursive quickhull", false));
    list.push_back(cgalEntry<Akl>("cgal-akl-toussaint", "Akl-Toussaint", "CGAL convex_hull_2", false));
    list.push_back(cgalEntry<Akl>("cgal-akl-toussaint-plain", "Akl-Toussaint",
                                  "CGAL convex_hull_2 on Simple_cartesian<double>, not exact", true));
}

}  // namespace lab
