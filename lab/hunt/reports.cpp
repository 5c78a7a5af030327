// A library's failure as its maintainers would have it reported: the smallest input written as the
// library's users write it, in a program of its own that calls the library as the lab does and
// exits 1 where the hull it returns is not the exact hull (C++ over Boost.Geometry and over CGAL,
// C over GEOS's C API with the input as WKT, Python over scipy and shapely, a node module over d3);
// written beside the finding, then built and run by the lab, so that a report is shown only once it
// has failed again on its own.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "hunt/hunt.h"

namespace lab {

namespace {

// The libraries the lab writes reports for, and what a report needs of its entry.
enum class Library { None, Boost, Geos, Cgal, Scipy, Shapely, D3 };
struct Target {
    Library library = Library::None;
    std::string detail;  // Boost's coordinate type, CGAL's function; the d3 program's path
    bool plain = false;  // CGAL on Simple_cartesian<double>, not its exact-predicates kernel
};

// The report's target of `entry`: the libraries' entries that can be wrong on doubles (Boost on
// every coordinate type, GEOS, CGAL on Simple_cartesian<double>, Qhull as scipy calls it) and the
// example programs over scipy, shapely and d3.
Target targetOf(const Algorithm& entry) {
    const std::string& n = entry.name;
    if (n == "boost-double-monotone-chain") return {Library::Boost, "double"};
    if (n == "boost-long-double-monotone-chain") return {Library::Boost, "long double"};
    if (n == "boost-monotone-chain") return {Library::Boost, "std::int64_t"};
    if (n == "geos-graham") return {Library::Geos, ""};
    static const std::pair<const char*, const char*> cgal[] = {
        {"cgal-monotone-chain", "ch_graham_andrew"}, {"cgal-akl-toussaint", "convex_hull_2"}, {"cgal-quickhull", "ch_bykat"},
        {"cgal-eddy-quickhull", "ch_eddy"}, {"cgal-gift-wrapping", "ch_jarvis"}};
    for (const auto& [entryName, function] : cgal) {
        if (n == entryName) return {Library::Cgal, function, false};
        if (n == std::string(entryName) + "-plain") return {Library::Cgal, function, true};
    }
    if (n == "libqhull-quickhull") return {Library::Scipy, ""};
    if (entry.entry.rfind("program\t", 0) != 0) return {};
    const std::string command = entry.entry.substr(entry.entry.rfind('\t') + 1);
    for (std::size_t at = 0; at < command.size();) {  // the word that names the example's file
        const std::size_t space = std::min(command.find(' ', at), command.size());
        const std::string word = command.substr(at, space - at);
        auto endsWith = [&](const std::string& tail) { return word.size() >= tail.size() && word.compare(word.size() - tail.size(), tail.size(), tail) == 0; };
        if (endsWith("scipy_hull.py")) return {Library::Scipy, ""};
        if (endsWith("shapely_hull.py")) return {Library::Shapely, ""};
        if (endsWith("d3_hull.js")) return {Library::D3, word};
        at = space + 1;
    }
    return {};
}

// A double as a C, C++, Python or JavaScript source holds it: the shortest decimal that reads back
// as the same double, with a point where it has neither one nor an exponent, so that -0 stays a
// negative zero and a whole number a double; an L for long double, whole numbers for int64.
std::string literal(double value, const std::string& type = "double") {
    if (type == "std::int64_t") return std::to_string(static_cast<long long>(value));
    std::string text = realText(value);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text + (type == "long double" ? "L" : "");
}

// Each point as "OPEN x, y CLOSE" on a line of its own after `indent`.
std::string pointLines(const std::vector<RealPoint>& points, const std::string& indent, const char* open,
                       const char* close, const std::string& type = "double") {
    std::string lines;
    for (const RealPoint& p : points) lines += indent + open + literal(p.x, type) + ", " + literal(p.y, type) + close + ",\n";
    return lines;
}

// The first lines of every report: what fails, on how many points, where it was found, and how to
// run it (`comment` starts each line).
std::string heading(const std::string& comment, const std::string& what, std::size_t points, const std::string& kind,
                    const std::string& entry, const std::string& run) {
    const bool crash = kind.rfind("crashed", 0) == 0;
    return comment + what + " on " + std::to_string(points) + " points: " + kind + ".\n" + comment +
           "Found and shrunk by hull-lab's hunt (entry " + entry + "). Run:\n" + comment + "  " + run + "\n" + comment +
           (crash ? "The library's call crashes here. Where it returns, the program prints"
                  : "It prints") + " the hull the library returns and the exact hull, and exits 1 where they differ.\n";
}

// A C++ program over Boost.Geometry: `points` into a multi_point of point_xy<TYPE>, convex_hull
// into a ring (clockwise and closed, the ring's defaults, as most callers leave them), its corners
// compared with the exact hull's `exact` (clockwise from the lowest of the leftmost) in every
// rotation. O(points).
std::string boostProgram(const std::string& entry, const std::string& type, const std::vector<RealPoint>& points,
                         const std::vector<RealPoint>& exact, const std::string& kind) {
    return heading("// ", "Boost.Geometry's convex_hull of " + type + " coordinates", points.size(), kind, entry,
                   "g++ -O2 -std=c++17 -o report report.cpp && ./report") +
           "#define BOOST_ALLOW_DEPRECATED_HEADERS\n"
           "#include <boost/geometry.hpp>\n#include <boost/geometry/geometries/multi_point.hpp>\n"
           "#include <boost/geometry/geometries/point_xy.hpp>\n#include <boost/geometry/geometries/ring.hpp>\n"
           "#include <algorithm>\n#include <cstdint>\n#include <exception>\n#include <iostream>\n#include <vector>\n\n"
           "namespace bg = boost::geometry;\nusing Point = bg::model::d2::point_xy<" + type + ">;\n\n"
           "int main() {\n"
           "    const bg::model::multi_point<Point> points = {\n" + pointLines(points, "        ", "{", "}", type) + "    };\n"
           "    // The exact hull's corners, clockwise from the lowest of the leftmost (hull-lab's exact check).\n"
           "    const std::vector<Point> exact = {\n" + pointLines(exact, "        ", "{", "}", type) + "    };\n"
           "    bg::model::ring<Point> hull;  // clockwise and closed\n"
           "    try {\n"
           "        bg::convex_hull(points, hull);\n"
           "    } catch (const std::exception& e) {  // a refusal, not a wrong hull\n"
           "        std::cout << \"Boost:  no hull: \" << e.what() << '\\n';\n"
           "        return 2;\n"
           "    }\n"
           "    std::cout.precision(17);\n"
           "    std::cout << \"Boost:  \" << bg::wkt(hull) << \"\\nexact:  \" << bg::wkt(bg::model::ring<Point>(exact.begin(), exact.end())) << '\\n';\n"
           "    auto same = [](const Point& a, const Point& b) { return a.x() == b.x() && a.y() == b.y(); };\n"
           "    std::vector<Point> open(hull.begin(), hull.end());\n"
           "    if (open.size() > 1 && same(open.front(), open.back())) open.pop_back();  // the closing point\n"
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

// A C++ program over CGAL: FUNCTION (ch_graham_andrew, convex_hull_2, ch_bykat, ch_eddy, ch_jarvis)
// into a vector, counter-clockwise, on the exact-predicates kernel or (plain) Simple_cartesian<double>,
// the kernel many users write first; compared with the exact hull's corners in every rotation.
// O(points).
std::string cgalProgram(const std::string& entry, const Target& target, const std::vector<RealPoint>& points,
                        std::vector<RealPoint> exact, const std::string& kind) {
    std::reverse(exact.begin(), exact.end());  // CGAL's order
    const std::string& function = target.detail;
    const std::string kernel = target.plain ? "Simple_cartesian<double>" : "Exact_predicates_inexact_constructions_kernel";
    return heading("// ", "CGAL's " + function + " on " + kernel, points.size(), kind, entry,
                   "g++ -O2 -std=c++17 -o report report.cpp -DNDEBUG -lgmp && ./report") +
           "#include <CGAL/" + (target.plain ? "Simple_cartesian" : "Exact_predicates_inexact_constructions_kernel") +
           ".h>\n#include <CGAL/" + function + ".h>\n"
           "#include <algorithm>\n#include <exception>\n#include <iostream>\n#include <iterator>\n#include <vector>\n\n"
           "using Kernel = CGAL::" + kernel + ";\nusing Point = Kernel::Point_2;\n\n"
           "int main() {\n"
           "    const std::vector<Point> points = {\n" + pointLines(points, "        ", "Point(", ")") + "    };\n"
           "    // The exact hull's corners, counter-clockwise (hull-lab's exact check).\n"
           "    const std::vector<Point> exact = {\n" + pointLines(exact, "        ", "Point(", ")") + "    };\n"
           "    std::vector<Point> hull;\n"
           "    try {\n"
           "        CGAL::" + function + "(points.begin(), points.end(), std::back_inserter(hull));\n"
           "    } catch (const std::exception& e) {  // built without -DNDEBUG: CGAL's own check of its result\n"
           "        std::cout << \"CGAL stopped: \" << e.what() << '\\n';\n"
           "        return 1;\n"
           "    }\n"
           "    std::cout.precision(17);\n"
           "    std::cout << \"CGAL: \";\n"
           "    for (const Point& p : hull) std::cout << \" (\" << p << \")\";\n"
           "    std::cout << \"\\nexact:\";\n"
           "    for (const Point& p : exact) std::cout << \" (\" << p << \")\";\n"
           "    std::cout << '\\n';\n"
           "    for (std::size_t r = 0; r < hull.size() && hull.size() == exact.size(); ++r) {\n"
           "        std::rotate(hull.begin(), hull.begin() + 1, hull.end());\n"
           "        if (hull == exact) {\n"
           "            std::cout << \"the same hull\\n\";\n"
           "            return 0;\n"
           "        }\n"
           "    }\n"
           "    std::cout << \"not the exact hull\\n\";\n"
           "    return 1;\n"
           "}\n";
}

// A C program over GEOS's C API (as shapely, PostGIS and GDAL call it): `points` into a MultiPoint
// of Points, GEOSConvexHull_r, the corners of what it returns (a polygon's shell, a line, a point)
// compared with the exact hull's in every rotation (GEOS gives a shell clockwise and closed). The
// input as WKT in a comment, for geosop and shapely. O(points).
std::string geosProgram(const std::vector<RealPoint>& points, const std::vector<RealPoint>& exact, const std::string& kind) {
    std::string wkt;
    for (const RealPoint& p : points) wkt += std::string(wkt.empty() ? "" : ", ") + "(" + realText(p.x) + " " + realText(p.y) + ")";
    return heading(" * ", "GEOS's GEOSConvexHull_r", points.size(), kind, "geos-graham", "cc -O2 -o report report.c -lgeos_c && ./report")
               .replace(0, 3, "/* ") +
           " * The input as WKT:\n *   MULTIPOINT (" + wkt + ")\n */\n"
           "#include <geos_c.h>\n#include <stdio.h>\n#include <stdlib.h>\n\n"
           "static const double points[][2] = {\n" + pointLines(points, "    ", "{", "}") + "};\n"
           "/* The exact hull's corners, clockwise from the lowest of the leftmost (hull-lab's exact check). */\n"
           "static const double exact[][2] = {\n" + pointLines(exact, "    ", "{", "}") + "};\n\n"
           "int main(void) {\n"
           "    const unsigned n = sizeof points / sizeof points[0], h = sizeof exact / sizeof exact[0];\n"
           "    GEOSContextHandle_t c = GEOS_init_r();\n"
           "    GEOSGeometry **each = malloc(n * sizeof *each);\n"
           "    for (unsigned i = 0; i < n; ++i) each[i] = GEOSGeom_createPointFromXY_r(c, points[i][0], points[i][1]);\n"
           "    GEOSGeometry *multiPoint = GEOSGeom_createCollection_r(c, GEOS_MULTIPOINT, each, n);\n"
           "    GEOSGeometry *hull = GEOSConvexHull_r(c, multiPoint);\n"
           "    if (hull == NULL) {  /* GEOS raised an exception: no hull, not a wrong one */\n"
           "        printf(\"GEOS:   no hull (an exception)\\n\");\n"
           "        return 2;\n"
           "    }\n"
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
           "    const unsigned corners = polygon && size > 0 ? size - 1 : size;  /* a shell repeats its first point */\n"
           "    int same = 0;\n"
           "    for (unsigned r = 0; corners == h && r < h && !same; ++r) {\n"
           "        same = 1;\n"
           "        for (unsigned i = 0; i < h && same; ++i) {\n"
           "            double x, y;\n"
           "            GEOSCoordSeq_getXY_r(c, shell, (r + i) % h, &x, &y);\n"
           "            same = x == exact[i][0] && y == exact[i][1];\n"
           "        }\n"
           "    }\n"
           "    printf(\"exact:  (\");\n"
           "    for (unsigned i = 0; i < h; ++i) printf(\"%s%.17g %.17g\", i ? \", \" : \"\", exact[i][0], exact[i][1]);\n"
           "    printf(\")\\n%s\\n\", same ? \"the same hull\" : \"not the exact hull\");\n"
           "    GEOSFree_r(c, type);\n"
           "    GEOSGeom_destroy_r(c, hull);\n"
           "    GEOSGeom_destroy_r(c, multiPoint);\n"
           "    free(each);\n"
           "    GEOS_finish_r(c);\n"
           "    return same ? 0 : 1;\n"
           "}\n";
}

// A Python program over scipy.spatial.ConvexHull or shapely's convex_hull: the library's corners
// compared with the exact hull's from any corner in either direction; a library that raises (a
// refusal, or not installed) ends it with status 2, never 1. O(points).
std::string pythonProgram(Library library, const std::string& entry, const std::vector<RealPoint>& points,
                          const std::vector<RealPoint>& exact, const std::string& kind) {
    const bool scipy = library == Library::Scipy;
    const std::string call = scipy ? "    import numpy as np\n"
                                     "    from scipy.spatial import ConvexHull\n"
                                     "    array = np.array(points, dtype=np.float64)\n"
                                     "    return [(float(array[i][0]), float(array[i][1])) for i in ConvexHull(array).vertices]\n"
                                   : "    from shapely.geometry import MultiPoint\n"
                                     "    hull = MultiPoint(points).convex_hull\n"
                                     "    if hull.is_empty:\n"
                                     "        return []\n"
                                     "    coords = list(hull.exterior.coords)[:-1] if hull.geom_type == \"Polygon\" else list(hull.coords)\n"
                                     "    return [(float(x), float(y)) for x, y in coords]\n";
    return "#!/usr/bin/env python3\n" +
           heading("# ", scipy ? "scipy.spatial.ConvexHull" : "shapely's convex_hull", points.size(), kind, entry, "python3 report.py") +
           "import sys\n\npoints = [\n" + pointLines(points, "    ", "(", ")") + "]\n"
           "# The exact hull's corners, clockwise from the lowest of the leftmost (hull-lab's exact check).\n"
           "exact = [\n" + pointLines(exact, "    ", "(", ")") + "]\n\n\n"
           "def library_hull():\n" + call + "\n\n"
           "def same_cycle(got, want):\n"
           "    \"\"\"Whether got is want's cycle of corners, from any corner, in either direction.\"\"\"\n"
           "    if len(got) != len(want):\n"
           "        return False\n"
           "    turns = [got[r:] + got[:r] for r in range(len(got))] or [got]\n"
           "    return any(t == want or t == want[::-1] for t in turns)\n\n\n"
           "def main():\n"
           "    try:\n"
           "        got = library_hull()\n"
           "    except Exception as e:  # a refusal, or the library missing: not a wrong hull\n"
           "        print(f\"no hull: {type(e).__name__}: {e}\")\n"
           "        return 2\n"
           "    print(\"" + std::string(scipy ? "scipy: " : "shapely:") + " \", got)\n"
           "    print(\"exact:   \", exact)\n"
           "    print(\"the same hull\" if same_cycle(got, exact) else \"not the exact hull\")\n"
           "    return 0 if same_cycle(got, exact) else 1\n\n\n"
           "sys.exit(main())\n";
}

// A node module over d3's polygonHull (d3-polygon, as a web page calls it), compared like the
// Python programs; a missing d3-polygon ends it with status 2. O(points).
std::string d3Program(const std::string& entry, const std::vector<RealPoint>& points, const std::vector<RealPoint>& exact,
                      const std::string& kind) {
    return heading("// ", "d3's polygonHull (d3-polygon 3)", points.size(), kind, entry,
                   "npm install d3-polygon@3 && node report.mjs") +
           "const points = [\n" + pointLines(points, "  ", "[", "]") + "];\n"
           "// The exact hull's corners, clockwise from the lowest of the leftmost (hull-lab's exact check).\n"
           "const exact = [\n" + pointLines(exact, "  ", "[", "]") + "];\n\n"
           "let polygonHull;\n"
           "try {\n"
           "  ({ polygonHull } = await import(\"d3-polygon\"));\n"
           "} catch (e) {\n"
           "  console.log(`no d3-polygon here: ${e.message}`);\n"
           "  process.exit(2);\n"
           "}\n"
           "const got = polygonHull(points.map(([x, y]) => [x, y])) || [];\n"
           "const same = (a, b) => a.length === b.length && a.every(([x, y], i) => Object.is(x, b[i][0]) && Object.is(y, b[i][1]));\n"
           "const reversed = [...exact].reverse();\n"
           "const turns = got.map((_, r) => [...got.slice(r), ...got.slice(0, r)]);\n"
           "const right = got.length === exact.length && (got.length === 0 || turns.some((t) => same(t, exact) || same(t, reversed)));\n"
           "console.log(`d3:     ${JSON.stringify(got)}\\nexact:  ${JSON.stringify(exact)}`);\n"
           "console.log(right ? \"the same hull\" : \"not the exact hull\");\n"
           "process.exit(right ? 0 : 1);\n";
}

// The exit status of `command` run by the shell; 128 + the signal where the shell's child was
// killed (as the shell reports it), -1 where it could not run.
int statusOf(const std::string& command) {
    const int raw = std::system(command.c_str());
    if (raw == -1) return -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

// What a report is and how it runs: its file's ending, the library's name in the lab's lines, the
// shell command that builds BINARY from SOURCE (none for a script) and the one that runs it, as the
// lab runs it; `alone` as a user runs it, in the report's folder.
struct Recipe {
    std::string ending, name, build, run, alone;
};

// The report's source, and its recipe, for `target`; "" where the lab cannot run it here (`why`).
std::string reportSource(const Algorithm& entry, const Target& target, const std::vector<RealPoint>& points,
                         const std::vector<RealPoint>& exact, const std::string& kind, const std::string& workDir,
                         Recipe& recipe, std::string& why) {
    const std::string cxx = "g++ -O2 -std=c++17 -o BINARY SOURCE", run = "BINARY", alone = " && ./report";
    switch (target.library) {
        case Library::Boost:
            recipe = {".cpp", "Boost's", cxx, run, cxx + alone};
            return boostProgram(entry.name, target.detail, points, exact, kind);
        case Library::Cgal:
            // Without CGAL's checks, as the lab's Release build calls it (with them, a check that
            // fails stops the program with CGAL's message and status 1).
            recipe = {".cpp", "CGAL's", cxx + " -DNDEBUG -lgmp", run, cxx + " -DNDEBUG -lgmp" + alone};
            return cgalProgram(entry.name, target, points, exact, kind);
        case Library::Geos:
            recipe = {".c", "GEOS's", "cc -O2 -o BINARY SOURCE -lgeos_c", run, "cc -O2 -o BINARY SOURCE -lgeos_c" + alone};
            return geosProgram(points, exact, kind);
        case Library::Scipy:
        case Library::Shapely:
            recipe = {".py", target.library == Library::Scipy ? "scipy's" : "shapely's", "", "/usr/bin/python3 SOURCE",
                      "python3 SOURCE"};
            return pythonProgram(target.library, entry.name, points, exact, kind);
        case Library::D3: {
            // Run from the folder of the run, where d3-polygon is found as the example program finds d3.
            const std::size_t slash = target.detail.rfind('/');
            const std::string modules = (slash == std::string::npos ? std::string(".") : target.detail.substr(0, slash)) +
                                        "/../tools/page/node_modules";
            const std::string link = workDir + "/node_modules";
            struct stat st;
            if (stat((modules + "/d3-polygon").c_str(), &st) != 0) {
                why = "no report: d3-polygon is not where the example program finds d3 (" + modules + ")";
                return "";
            }
            char* full = realpath(modules.c_str(), nullptr);
            const bool linked = lstat(link.c_str(), &st) == 0 || (full != nullptr && symlink(full, link.c_str()) == 0);
            std::free(full);
            if (!linked) {
                why = "no report: cannot link " + link;
                return "";
            }
            const std::string copy = shellWord(workDir + "/report.mjs");
            recipe = {".mjs", "d3's", "cp SOURCE " + copy, "node " + copy, "npm install d3-polygon@3 && node SOURCE"};
            return d3Program(entry.name, points, exact, kind);
        }
        case Library::None:
            break;
    }
    return "";
}

// `command` with BINARY and SOURCE replaced by those words.
std::string filled(std::string command, const std::string& binary, const std::string& source) {
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"BINARY", binary}, {"SOURCE", source}}) {
        for (std::size_t at = command.find(key); at != std::string::npos; at = command.find(key, at + value.size())) {
            command.replace(at, key.size(), shellWord(value));
        }
    }
    return command;
}

}  // namespace

bool reportable(const Algorithm& entry) { return targetOf(entry).library != Library::None; }

LibraryReport writeReport(const Algorithm& entry, const std::vector<RealPoint>& points, Status status,
                          const std::string& kind, const std::string& stem, const std::string& workDir) {
    LibraryReport report;
    const Target target = targetOf(entry);
    if (target.library == Library::None) return report;
    const std::vector<RealPoint> exact = reference::corners(points);
    Recipe recipe;
    const std::string source = reportSource(entry, target, points, exact, kind, workDir, recipe, report.said);
    if (source.empty()) return report;
    report.file = stem + "-report" + recipe.ending;
    std::ofstream out(report.file);
    out << source;
    if (!out.flush()) {
        report.said = "no report: cannot write " + report.file;
        report.file.clear();
        return report;
    }
    report.command = filled(recipe.alone, "report", report.file.substr(report.file.rfind('/') + 1));
    const std::string binary = workDir + "/report-program", log = workDir + "/report-program.log";
    const std::string toLog = " >" + shellWord(log) + " 2>&1";
    if (!recipe.build.empty() && statusOf(filled(recipe.build, binary, report.file) + toLog) != 0) {
        report.said = "no report: its program did not build here (" + log + ")";
    } else {
        const int ended = statusOf(filled(recipe.run, binary, report.file) + toLog);
        std::remove(binary.c_str());
        const bool crashed = ended > 128 && ended < 128 + 65;
        report.reproduced = status == Status::Crashed ? crashed : ended == 1;
        if (report.reproduced) {
            report.said = "built and run here: " + recipe.name +
                          (crashed ? " call crashes (" + std::string(strsignal(ended - 128)) + ")" : " hull is not the exact hull") +
                          ", as in the lab";
            return report;
        }
        report.said = ended == 0 ? "no report: its program, run here, got the hull right (the lab's call differs)"
                                 : "no report: its program ended with status " + std::to_string(ended) + " (" + log + ")";
    }
    std::remove(report.file.c_str());  // shown only once it has failed again on its own
    report.file.clear();
    report.command.clear();
    return report;
}

}  // namespace lab
