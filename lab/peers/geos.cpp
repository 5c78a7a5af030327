// The GEOS peer (GEOS 3.11, through its C API as shapely, PostGIS and GDAL call it): the points
// become a MultiPoint geometry, one Point each, and GEOSConvexHull_r returns a new geometry. GEOS
// orders the points about the lowest one and scans them (Graham's scan, after dropping the points
// inside an octagon of extreme points); its orientation test is exact in double-double arithmetic,
// so the lab's coordinates are decided exactly.
//
// Building the geometry is part of every call: a user hands GEOS a geometry, not an array, and
// building it (an allocation per point) is a share of what the hull costs them.

#include <geos_c.h>

#include <string>

#include "peer.h"
#include "peers/peers.h"

namespace lab {

namespace {

// Keeps GEOS's last error message, which a failed call leaves behind.
extern "C" void keepMessage(const char* message, void* userdata) { *static_cast<std::string*>(userdata) = message; }

// A GEOS context of its own, with its error messages; and the points as doubles.
struct GeosInput {
    GeosInput() : context(GEOS_init_r()), message(std::make_unique<std::string>()) {
        GEOSContext_setErrorMessageHandler_r(context, keepMessage, message.get());
    }
    ~GeosInput() { GEOS_finish_r(context); }
    GeosInput(const GeosInput&) = delete;
    GeosInput& operator=(const GeosInput&) = delete;

    GEOSContextHandle_t context;
    std::unique_ptr<std::string> message;
    std::vector<std::pair<double, double>> points;
};

// The hull GEOS returned, destroyed with the context that made it.
struct GeosHull {
    GEOSContextHandle_t context;
    GEOSGeometry* geometry;
    const std::string* message;
    GeosHull(GEOSContextHandle_t c, GEOSGeometry* g, const std::string* m) : context(c), geometry(g), message(m) {}
    GeosHull(GeosHull&& other) noexcept : context(other.context), geometry(other.geometry), message(other.message) {
        other.geometry = nullptr;
    }
    ~GeosHull() {
        if (geometry != nullptr) GEOSGeom_destroy_r(context, geometry);
    }
};

struct Geos {
    using Input = std::unique_ptr<GeosInput>;
    using Result = GeosHull;

    template <class Q>
    static std::unique_ptr<GeosInput> prepare(const std::vector<Q>& points) {
        auto input = std::make_unique<GeosInput>();
        input->points.reserve(points.size());
        for (const Q& p : points) input->points.emplace_back(double(p.x), double(p.y));
        return input;
    }

    // The MultiPoint built from the points (it takes over the Points), its hull, and the
    // MultiPoint released.
    static GeosHull run(const std::unique_ptr<GeosInput>& input) {
        GEOSContextHandle_t c = input->context;
        std::vector<GEOSGeometry*> points;
        points.reserve(input->points.size());
        for (const auto& [x, y] : input->points) points.push_back(GEOSGeom_createPointFromXY_r(c, x, y));
        GEOSGeometry* multiPoint = GEOSGeom_createCollection_r(c, GEOS_MULTIPOINT, points.data(), unsigned(points.size()));
        GEOSGeometry* hull = multiPoint == nullptr ? nullptr : GEOSConvexHull_r(c, multiPoint);
        if (multiPoint != nullptr) GEOSGeom_destroy_r(c, multiPoint);
        return GeosHull(c, hull, input->message.get());
    }

    // A Polygon's shell (a closed ring), a LineString's two ends, a Point, or nothing for the
    // empty geometry.
    static std::vector<RealPoint> read(const GeosHull& hull) {
        GEOSContextHandle_t c = hull.context;
        if (hull.geometry == nullptr) throw Refused("GEOS: " + *hull.message);
        std::vector<RealPoint> result;
        if (GEOSisEmpty_r(c, hull.geometry) == 1) return result;
        const GEOSGeometry* line = hull.geometry;
        const int type = GEOSGeomTypeId_r(c, hull.geometry);
        if (type == GEOS_POLYGON) line = GEOSGetExteriorRing_r(c, hull.geometry);
        if (type != GEOS_POLYGON && type != GEOS_LINESTRING && type != GEOS_POINT) {
            throw Refused("GEOS: a hull of geometry type " + std::to_string(type));
        }
        const GEOSCoordSequence* sequence = GEOSGeom_getCoordSeq_r(c, line);
        unsigned size = 0;
        GEOSCoordSeq_getSize_r(c, sequence, &size);
        for (unsigned i = 0; i < size; ++i) {
            double x = 0, y = 0;
            GEOSCoordSeq_getXY_r(c, sequence, i, &x, &y);
            result.push_back({x, y});
        }
        return type == GEOS_POLYGON ? openRing(result) : result;
    }
};

}  // namespace

std::string geosVersion() {
    return GEOSversion();  // the library that runs, not the header it was built with
}

void addGeosPeers(std::vector<Algorithm>& list) {
    // Corners only, clockwise (GEOS gives a polygon's shell clockwise); no promised start.
    Algorithm geos{"geos-graham", "monotone chain", Origin::Peer, {true, true, false}, true, preparePeer<Geos>,
                   "GEOSConvexHull_r, Graham's scan; the MultiPoint built in every call, and timed"};
    geos.prepareReal = prepareRealPeer<Geos>;
    list.push_back(geos);
}

}  // namespace lab
