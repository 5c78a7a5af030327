// What every peer shares: a runner over the library's own copy of the points, made once per point
// set. Each timed call hands that copy to `Library::run`, which makes the fresh copy a user's code
// would hold (a vector, a geometry, a coordinate array), calls the library and releases what it
// made; the check reads the library's answer out with `Library::read`.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "../lab.h"

namespace lab {

// Library: a type with `Input prepare(const std::vector<P>&)` for the points it takes (Point, and
// RealPoint for a library on doubles), `Result run(const Input&)` and
// `std::vector<RealPoint> read(Result)`, the answer as the library holds it, widened exactly to
// doubles (which throws Refused where the library gave up).
template <class Library>
class PeerRunner : public Runner {
  public:
    template <class P>
    explicit PeerRunner(const std::vector<P>& points) : input_(Library::prepare(points)) {}
    void call() override { Library::run(input_); }
    std::vector<reference::Pt> hull() override { return wholePoints(Library::read(Library::run(input_))); }
    std::vector<RealPoint> realHull() override { return Library::read(Library::run(input_)); }

  private:
    typename Library::Input input_;
};

template <class Library>
std::unique_ptr<Runner> preparePeer(const std::vector<Point>& points) {
    return std::make_unique<PeerRunner<Library>>(points);
}

// The same library's runner on real points.
template <class Library>
std::unique_ptr<Runner> prepareRealPeer(const std::vector<RealPoint>& points) {
    return std::make_unique<PeerRunner<Library>>(points);
}

// The points of a closed ring without its closing point, and without the repeats a library pads
// a degenerate ring with (Boost fills a two-corner ring up to four points: a b a a). Any other
// repeat stays, and fails the check. O(h).
inline std::vector<RealPoint> openRing(std::vector<RealPoint> ring) {
    while (ring.size() > 1 && ring.front() == ring.back()) ring.pop_back();
    return ring;
}

}  // namespace lab
