// A library's failure as its maintainers would have it reported: the smallest input written as the
// library's users write it, in a program of its own that calls the library as the lab does and
// exits 1 where the hull it returns is not the exact hull; written beside the finding, then built
// and run by the lab, so that a report is shown only once it has failed again on its own.

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

// The exit status of `command` run by the shell, or -1 where it did not exit.
int statusOf(const std::string& command) {
    const int raw = std::system(command.c_str());
    return raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace

bool reportable(const std::string& entry) { return !boostCoordinate(entry).empty(); }

LibraryReport writeReport(const std::string& entry, const std::vector<RealPoint>& points, const std::string& kind,
                          const std::string& stem, const std::string& workDir) {
    LibraryReport report;
    const std::string type = boostCoordinate(entry);
    const std::vector<RealPoint> exact = reference::corners(points);
    if (type.empty()) return report;
    if (exact.size() < 3) {
        report.said = "no report: the exact hull has fewer than three corners, which a ring cannot hold as they are";
        return report;
    }
    report.file = stem + "-report.cpp";
    std::ofstream source(report.file);
    source << boostProgram(entry, type, points, exact, kind);
    if (!source.flush()) {
        report.said = "no report: cannot write " + report.file;
        report.file.clear();
        return report;
    }
    report.command = "g++ -O2 -std=c++17 -o report " + shellWord(report.file) + " && ./report";
    const std::string binary = workDir + "/report-program";
    const std::string log = workDir + "/report-program.log";
    if (statusOf("g++ -O2 -std=c++17 -o " + shellWord(binary) + " " + shellWord(report.file) + " >" + shellWord(log) + " 2>&1") != 0) {
        report.said = "its program did not build here (" + log + ")";
        return report;
    }
    const int status = statusOf(shellWord(binary) + " >" + shellWord(log) + " 2>&1");
    std::remove(binary.c_str());
    report.reproduced = status == 1;
    if (report.reproduced) {
        report.said = "built and run here: Boost's hull is not the exact hull, as in the lab";
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
