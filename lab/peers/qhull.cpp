// The Qhull peer (Qhull 2020.2, reentrant libqhull_r), called as scipy.spatial.ConvexHull calls
// its bundled copy: `qhull i Qt` on a fresh array of doubles, the vertices read back counter-
// clockwise by walking the hull's edges (its facets, in 2-D). Qhull works in floating point with
// tolerances: it merges facets whose turn it cannot tell from straight, so nearly straight corners
// can go, and it refuses no points (QH6412), fewer than three (QH6214) and points all on one line
// (QH6154, "initial simplex is flat"), as scipy's QhullError reports.

#include <libqhull_r/qhull_ra.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "peer.h"
#include "peers/peers.h"

namespace lab {

namespace {

// One call's answer: the hull's vertices, counter-clockwise, or Qhull's message where it gave up.
struct QhullHull {
    std::vector<RealPoint> vertices;
    std::string refused;
};

struct Qhull {
    using Input = std::vector<RealPoint>;
    using Result = QhullHull;

    template <class Q>
    static Input prepare(const std::vector<Q>& points) {
        QHULL_LIB_CHECK  // the headers and the shared library agree
        Input copy;
        copy.reserve(points.size());
        for (const Q& p : points) copy.push_back({double(p.x), double(p.y)});
        return copy;
    }

    static QhullHull run(const Input& points) {
        QhullHull result;
        // The fresh copy: x0 y0 x1 y1 ... Never a null array, even for no points: qh_new_qhull
        // takes a null one as "set the options only" and returns success with no hull.
        std::vector<coordT> coordinates;
        coordinates.reserve(2 * points.size() + 2);
        for (const RealPoint& p : points) coordinates.insert(coordinates.end(), {coordT(p.x), coordT(p.y)});
        char* messages = nullptr;
        std::size_t messagesSize = 0;
        FILE* errors = open_memstream(&messages, &messagesSize);
        qhT context;
        qhT* qh = &context;
        qh_zero(qh, errors);
        char command[] = "qhull i Qt";
        const int exitcode = qh_new_qhull(qh, 2, int(points.size()), coordinates.data(), False, command, nullptr, errors);
        if (exitcode == 0) result.vertices = walk(qh);
        qh_freeqhull(qh, !qh_ALL);
        int stillLong = 0, totalLong = 0;
        qh_memfreeshort(qh, &stillLong, &totalLong);
        if (errors != nullptr) std::fclose(errors);
        if (exitcode != 0) result.refused = "Qhull: " + errorLine(messages != nullptr ? messages : "", exitcode);
        std::free(messages);
        return result;
    }

    static std::vector<RealPoint> read(const QhullHull& hull) {
        if (!hull.refused.empty()) throw Refused(hull.refused);
        return hull.vertices;
    }

  private:
    // The line of Qhull's messages that says why it stopped: its first error (QH6xxx), not the
    // warnings (QH7xxx) that may come before it.
    static std::string errorLine(const std::string& text, int exitcode) {
        std::size_t at = text.find("QH6");
        if (at == std::string::npos) at = 0;
        const std::string line = text.substr(at, text.find('\n', at) - at);
        return line.empty() ? "exit code " + std::to_string(exitcode) : line;
    }

    // The vertices counter-clockwise: each facet is an edge between two vertices, its normal
    // pointing out, so the edge runs counter-clockwise from the vertex behind the normal's left
    // turn to the one ahead of it. O(h) beyond a table of Qhull's vertex ids.
    static std::vector<RealPoint> walk(qhT* qh) {
        std::vector<vertexT*> next(qh->vertex_id + 1, nullptr);
        vertexT* start = nullptr;
        facetT* facet;
        FORALLfacets {
            vertexT* a = SETfirstt_(facet->vertices, vertexT);
            vertexT* b = SETsecondt_(facet->vertices, vertexT);
            const coordT along = (b->point[0] - a->point[0]) * -facet->normal[1] + (b->point[1] - a->point[1]) * facet->normal[0];
            if (along < 0) std::swap(a, b);
            next[a->id] = b;
            start = start == nullptr ? a : start;
        }
        std::vector<RealPoint> result;
        for (vertexT* v = start; v != nullptr && result.size() <= std::size_t(qh->num_facets);) {
            result.push_back({v->point[0], v->point[1]});
            v = next[v->id];
            if (v == start) break;
        }
        return result;
    }
};

}  // namespace

std::string qhullVersion() {
    return qh_version;  // the library that runs
}

void addQhullPeers(std::vector<Algorithm>& list) {
    // Corners only, counter-clockwise; no promised start.
    Algorithm qhull{"libqhull-quickhull", "quickhull", Origin::Peer, {false, true, false}, true, preparePeer<Qhull>,
                    "qh_new_qhull \"qhull i Qt\" as scipy calls it, on doubles"};
    qhull.exact = false;      // floating point with tolerances
    qhull.refusesBelow = 3;  // QH6412 (no points), QH6214 (fewer than 3), QH6154 (all on one line)
    qhull.prepareReal = prepareRealPeer<Qhull>;
    list.push_back(qhull);
}

}  // namespace lab
