// A library's failure as its maintainers would have it reported: the smallest input written as the
// library's users write it, in a program of its own that calls the library as the lab does and
// exits 1 where the hull it returns is not the exact hull (C++ over Boost.Geometry, C over GEOS's C
// API with the input as WKT); written beside the finding, then built and run by the lab, so that a
// report is shown only once it has failed again on its own.

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "hunt/hunt.h"

namespace lab {

namespace {

// The library's coordinate type in its users' words, for the entries a report is written for;
// "" for the others.
std::string boostCoordinate(const std::string& entry) {
    if (entry == "boost-double-monotone-chain") return "double";
    if (entry == "boost-long-double-monotone-chain") return "long double";
    if (entry == "boost-monotone-chain") return "std::int64_t";
    return "";
}

// A coordinate as the program's source holds it: a whole number, or the shortest decimal of a
// double (which the compiler reads back as the same double; an L for long double).
std::string literal(double value, const std::string& type) {
    if (type == "std::int64_t") return std::to_string(static_cast<long long>(value));
    return realText(value) + (type == "long double" ? "L" : "");
}

// A C++ program over Boost.Geometry: `points` into a multi_point of point_xy<TYPE>, convex_hull
// into a ring (clockwise and closed, the ring's defaults, as most callers leave them), its corners
// compared with the exact hull's `exact` (clockwise from the lowest of the leftmost) in every
// rotation. O(points).
std::string boostProgram(const std::string& entry, const std::string& type, const std::vector<RealPoint>& points,
                         const std::vector<RealPoint>& exact, const std::string& kind) {
    std::string list, corners;
    for (const RealPoint& p : points) list += "        {" + literal(p.x, type) + ", " + literal(p.y, type) + "},\n";
    for (const RealPoint& p : exact) corners += "        {" + literal(p.x, type) + ", " + literal(p.y, type) + "},\n";
    return "// Boost.Geometry's convex_hull on " + std::to_string(points.size()) + " points of " + type +
           " coordinates: " + kind + ".\n"
           "// Found and shrunk by hull-lab's hunt (entry " + entry + "). Build and run:\n"
           "//   g++ -O2 -std=c++17 -o report report.cpp && ./report\n"
           "// It prints the hull Boost returns and the exact hull, and exits 1 where they differ.\n"
           "#define BOOST_ALLOW_DEPRECATED_HEADERS\n"
           "#include <boost/geometry.hpp>\n#include <boost/geometry/geometries/multi_point.hpp>\n"
           "#include <boost/geometry/geometries/point_xy.hpp>\n#include <boost/geometry/geometries/ring.hpp>\n"
           "#include <algorithm>\n#include <cstdint>\n#include <iostream>\n#include <vector>\n\n"
           "namespace bg = boost::geometry;\nusing Point = bg::model::d2::point_xy<" + type + ">;\n\n"
           "int main() {\n"
           "    const bg::model::multi_point<Point> points = {\n" + list + "    };\n"
           "    // The exact hull's corners, clockwise from the lowest of the leftmost (hull-lab's exact check).\n"
           "    const std::vector<Point> exact = {\n" + corners + "    };\n"
           "    bg::model::ring<Point> hull;  // clockwise and closed\n"
           "    bg::convex_hull(points, hull);\n"
           "    std::cout.precision(17);\n"
           "    std::cout << \"Boost:  \" << bg::wkt(hull) << \"\\nexact:  \" << bg::wkt(bg::model::ring<Point>(exact.begin(), exact.end())) << '\\n';\n"
           "    std::vector<Point> open(hull.begin(), hull.end());\n"
           "    if (!open.empty()) open.pop_back();  // the closing point\n"
           "    auto same = [](const Point& a, const Point& b) { return a.x() == b.x() && a.y() == b.y(); };\n"
           "    for (std::size_t r = 0; r < open.size() && open.size() == exact.size(); ++r) {\n"
           "        std::rotate(open.begin(), open.begin() + 1, open.end());\n"
           "        if (std::equal(open.begin(), open.end(), exact.begin(), same)) {\n"
           "            std::cout << \"the same hull\\n\";\n"
           "            return 0;\n"
           "        }\n"
           "    }\n"
           "    std::cout << \"not the exact hull\\n\";\n"
           "    return 1;\n"
           "}\n";
}

// A C program over GEOS's C API (as shapely, PostGIS and GDAL call it): `points` into a MultiPoint
// of Points, GEOSConvexHull_r, its shell's corners compared with the exact hull's in every rotation
// (GEOS gives a shell clockwise and closed). The input as WKT in a comment, for geosop and shapely.
// O(points).
std::string geosProgram(const std::vector<RealPoint>& points, const std::vector<RealPoint>& exact, const std::string& kind) {
    std::string wkt, list, corners;
    for (const RealPoint& p : points) {
        wkt += std::string(wkt.empty() ? "" : ", ") + "(" + realText(p.x) + " " + realText(p.y) + ")";
        list += "        {" + realText(p.x) + ", " + realText(p.y) + "},\n";
    }
    for (const RealPoint& p : exact) corners += "        {" + realText(p.x) + ", " + realText(p.y) + "},\n";
    return "/* GEOS's GEOSConvexHull_r on " + std::to_string(points.size()) + " points: " + kind + ".\n"
           " * Found and shrunk by hull-lab's hunt (entry geos-graham). The input as WKT:\n"
           " *   MULTIPOINT (" + wkt + ")\n"
           " * Build and run:\n"
           " *   cc -O2 -o report report.c -lgeos_c && ./report\n"
           " * It prints the hull GEOS returns and the exact hull, and exits 1 where they differ. */\n"
           "#include <geos_c.h>\n#include <stdio.h>\n#include <stdlib.h>\n\n"
           "static const double points[][2] = {\n" + list + "};\n"
           "/* The exact hull's corners, clockwise from the lowest of the leftmost (hull-lab's exact check). */\n"
           "static const double exact[][2] = {\n" + corners + "};\n\n"
           "int main(void) {\n"
           "    const unsigned n = sizeof points / sizeof points[0], h = sizeof exact / sizeof exact[0];\n"
           "    GEOSContextHandle_t c = GEOS_init_r();\n"
           "    GEOSGeometry **each = malloc(n * sizeof *each);\n"
           "    for (unsigned i = 0; i < n; ++i) each[i] = GEOSGeom_createPointFromXY_r(c, points[i][0], points[i][1]);\n"
           "    GEOSGeometry *multiPoint = GEOSGeom_createCollection_r(c, GEOS_MULTIPOINT, each, n);\n"
           "    GEOSGeometry *hull = GEOSConvexHull_r(c, multiPoint);\n"
           "    /* What GEOS returned, its coordinates in full (GEOS's WKT writer rounds 1e-300 to 0). */\n"
           "    const int polygon = GEOSGeomTypeId_r(c, hull) == GEOS_POLYGON;\n"
           "    const GEOSCoordSequence *shell = GEOSGeom_getCoordSeq_r(c, polygon ? GEOSGetExteriorRing_r(c, hull) : hull);\n"
           "    char *type = GEOSGeomType_r(c, hull);\n"
           "    unsigned size = 0;\n"
           "    if (shell != NULL) GEOSCoordSeq_getSize_r(c, shell, &size);\n"
           "    printf(\"GEOS:   %s (\", type);\n"
           "    for (unsigned i = 0; i < size; ++i) {\n"
           "        double x, y;\n"
           "        GEOSCoordSeq_getXY_r(c, shell, i, &x, &y);\n"
           "        printf(\"%s%.17g %.17g\", i ? \", \" : \"\", x, y);\n"
           "    }\n"
           "    printf(\")\\n\");\n"
           "    int same = 0;\n"
           "    if (polygon) {\n"
           "        for (unsigned r = 0; size == h + 1 && r < h && !same; ++r) {\n"
           "            same = 1;\n"
           "            for (unsigned i = 0; i < h && same; ++i) {\n"
           "                double x, y;\n"
           "                GEOSCoordSeq_getXY_r(c, shell, (r + i) % h, &x, &y);\n"
           "                same = x == exact[i][0] && y == exact[i][1];\n"
           "            }\n"
           "        }\n"
           "    }\n"
           "    printf(\"exact:  POLYGON ((\");\n"
           "    for (unsigned i = 0; i <= h; ++i) printf(\"%s%.17g %.17g\", i ? \", \" : \"\", exact[i % h][0], exact[i % h][1]);\n"
           "    printf(\"))\\n%s\\n\", same ? \"the same hull\" : \"not the exact hull\");\n"
           "    GEOSFree_r(c, type);\n"
           "    GEOSGeom_destroy_r(c, hull);\n"
           "    GEOSGeom_destroy_r(c, multiPoint);\n"
           "    free(each);\n"
           "    GEOS_finish_r(c);\n"
           "    return same ? 0 : 1;\n"
           "}\n";
}

// The exit status of `command` run by the shell, or -1 where it did not exit.
int statusOf(const std::string& command) {
    const int raw = std::system(command.c_str());
    return raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace

bool reportable(const std::string& entry) { return !boostCoordinate(entry).empty() || entry == "geos-graham"; }

LibraryReport writeReport(const std::string& entry, const std::vector<RealPoint>& points, const std::string& kind,
                          const std::string& stem, const std::string& workDir) {
    LibraryReport report;
    const std::string type = boostCoordinate(entry);
    const std::vector<RealPoint> exact = reference::corners(points);
    if (!reportable(entry)) return report;
    if (exact.size() < 3) {
        report.said = "no report: the exact hull has fewer than three corners, which a polygon's ring cannot hold as they are";
        return report;
    }
    const bool geos = type.empty();
    report.file = stem + (geos ? "-report.c" : "-report.cpp");
    std::ofstream source(report.file);
    source << (geos ? geosProgram(points, exact, kind) : boostProgram(entry, type, points, exact, kind));
    if (!source.flush()) {
        report.said = "no report: cannot write " + report.file;
        report.file.clear();
        return report;
    }
    const std::string compiler = geos ? "cc -O2 -o " : "g++ -O2 -std=c++17 -o ", libraries = geos ? " -lgeos_c" : "";
    report.command = compiler + "report " + shellWord(report.file) + libraries + " && ./report";
    const std::string binary = workDir + "/report-program";
    const std::string log = workDir + "/report-program.log";
    if (statusOf(compiler + shellWord(binary) + " " + shellWord(report.file) + libraries + " >" + shellWord(log) + " 2>&1") != 0) {
        report.said = "no report: its program did not build here (" + log + ")";
        std::remove(report.file.c_str());
        report.file.clear();
        report.command.clear();
        return report;
    }
    const int status = statusOf(shellWord(binary) + " >" + shellWord(log) + " 2>&1");
    std::remove(binary.c_str());
    report.reproduced = status == 1;
    if (report.reproduced) {
        report.said = std::string("built and run here: ") + (geos ? "GEOS's" : "Boost's") + " hull is not the exact hull, as in the lab";
        return report;
    }
    report.said = status == 0 ? "no report: its program, built and run here, got the hull right (the lab's call differs)"
                              : "no report: its program ended with status " + std::to_string(status) + " (" + log + ")";
    std::remove(report.file.c_str());  // shown only once it has failed again on its own
    report.file.clear();
    report.command.clear();
    return report;
}

}  // namespace lab
