// The algorithms the lab can run: the program's own three, called exactly as the benchmark calls
// them (on a fresh PointList copy each time), and the peers this build has.

#include "lab.h"

namespace lab {

namespace {

// One of the program's hull functions on a PointList made once from the points.
class OursRunner : public Runner {
  public:
    OursRunner(PointList (*algorithm)(PointList), const std::vector<Point>& points)
        : algorithm_(algorithm), points_(points.begin(), points.end()) {}

    // As the benchmark's timed loop: copy, call, assignment, release.
    void call() override {
        hull_ = algorithm_(points_);
        hull_.clear();
    }

    std::vector<reference::Pt> hull() override {
        std::vector<reference::Pt> result;
        for (const Point& p : algorithm_(points_)) result.push_back({p.x, p.y});
        return result;
    }

  private:
    PointList (*algorithm_)(PointList);
    PointList points_;
    PointList hull_;
};

template <PointList (*F)(PointList)>
std::unique_ptr<Runner> prepareOurs(const std::vector<Point>& points) {
    return std::make_unique<OursRunner>(F, points);
}

std::vector<Algorithm> buildList() {
    // What each of ours promises: its direction, whether it may list points on hull edges, and
    // whether a one-point set comes back as that point twice.
    std::vector<Algorithm> list = {
        {"incremental", "monotone chain", true, {true, true, true}, false, prepareOurs<incremental>},
        {"gift_wrapping", "gift wrapping", true, {true, false, false}, false, prepareOurs<gift_wrapping>},
        {"qhull", "quickhull", true, {false, false, true}, false, prepareOurs<qhull>},
    };
#ifdef HULL_LAB_CGAL
    addCgalPeers(list);
#endif
#ifdef HULL_LAB_BOOST
    addBoostPeers(list);
#endif
    // Each peer beside the one of ours that runs the same method; the others at the end.
    std::vector<Algorithm> ordered;
    for (const Algorithm& ours : list) {
        if (!ours.ours) continue;
        ordered.push_back(ours);
        for (const Algorithm& peer : list) {
            if (!peer.ours && peer.method == ours.method) ordered.push_back(peer);
        }
    }
    for (const Algorithm& peer : list) {
        bool placed = false;
        for (const Algorithm& o : ordered) placed = placed || o.name == peer.name;
        if (!placed) ordered.push_back(peer);
    }
    return ordered;
}

}  // namespace

const std::vector<Algorithm>& algorithms() {
    static const std::vector<Algorithm> list = buildList();
    return list;
}

const Algorithm* findAlgorithm(const std::string& name) {
    for (const Algorithm& a : algorithms()) {
        if (a.name == name) return &a;
    }
    return nullptr;
}

}  // namespace lab
