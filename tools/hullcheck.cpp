// hullcheck [DIR]: validates the hull files that hullbench writes, independently of its code.
//
// Reads "points.txt", "inc.txt", "gift.txt" and "qhull.txt" from DIR (default: the working
// directory) and checks each hull file: every line is an "x;y" point; every point is a point of
// "points.txt"; the hull starts at the lowest of the leftmost points; no point stands twice; the
// polygon turns in the file's direction at every vertex (clockwise for "inc.txt" and "gift.txt",
// counter-clockwise for "qhull.txt", the y axis pointing up), strictly for "inc.txt" and, for the
// other two, straight only where a point lies on a hull edge; every point of "points.txt" lies
// inside or on it; and the three files have the same corners.
// The reference hull is a monotone chain over a sorted copy of the points, with exact 128-bit
// turn tests: O(n log n) in all.
// Exit status: 0 all files pass, 1 a check failed, 2 usage error or unreadable file.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Pt {
    std::int64_t x, y;
    bool operator==(const Pt& o) const { return x == o.x && y == o.y; }
    bool operator!=(const Pt& o) const { return !(*this == o); }
    bool operator<(const Pt& o) const { return x < o.x || (x == o.x && y < o.y); }
};

__extension__ typedef __int128 Wide;

// (a - o) x (b - o): positive when b lies left of o->a. Exact for every 64-bit input but the
// extremes (each difference must fit in 64 bits, which the program's files always do).
Wide cross(Pt o, Pt a, Pt b) { return Wide(a.x - o.x) * (b.y - o.y) - Wide(a.y - o.y) * (b.x - o.x); }
Wide dot(Pt o, Pt a, Pt b) { return Wide(a.x - o.x) * (b.x - o.x) + Wide(a.y - o.y) * (b.y - o.y); }

std::string show(Pt p) { return std::to_string(p.x) + ";" + std::to_string(p.y); }

struct File {
    std::string name;
    std::vector<Pt> points;
};

struct Unreadable {
    std::string message;
};

// Parses a point file. Returns the failure as "file:line: reason" in `error`.
std::optional<File> readPoints(const std::string& dir, const std::string& name, std::string& error) {
    std::string path = dir + "/" + name;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Unreadable{"hullcheck: cannot read " + path + ": " + std::strerror(errno)};
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw Unreadable{"hullcheck: cannot read " + path + ": " + std::strerror(errno)};
    File file{name, {}};
    std::size_t pos = 0;
    for (std::size_t line = 1; pos < text.size(); ++line) {
        std::size_t end = text.find('\n', pos);
        std::string content = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        // One coordinate: an optional minus, then digits without leading zeros, in 64 bits.
        auto number = [](const std::string& s, std::int64_t& value) {
            std::size_t digits = s.size() > 0 && s[0] == '-' ? 1 : 0;
            if (s.size() == digits || s.size() - digits > 19) return false;
            if (s.find_first_not_of("0123456789", digits) != std::string::npos) return false;
            if (s[digits] == '0' && s.size() > digits + 1) return false;
            if (s == "-0") return false;
            errno = 0;
            long long parsed = std::strtoll(s.c_str(), nullptr, 10);
            value = parsed;
            return errno == 0;
        };
        std::size_t semicolon = content.find(';');
        Pt p{0, 0};
        if (end == std::string::npos || semicolon == std::string::npos ||
            !number(content.substr(0, semicolon), p.x) || !number(content.substr(semicolon + 1), p.y)) {
            error = name + ":" + std::to_string(line) + ": malformed line \"" + content + "\"" +
                    (end == std::string::npos ? " (no line feed at the end)" : "") + "; expected x;y";
            return std::nullopt;
        }
        file.points.push_back(p);
        pos = end + 1;
    }
    return file;
}

// The corners of the points' hull, clockwise from the least point (monotone chain, exact).
std::vector<Pt> referenceCorners(std::vector<Pt> points) {
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    if (points.size() <= 2) return points;
    std::vector<Pt> hull;
    for (int pass = 0; pass < 2; ++pass) {
        std::size_t base = hull.size();
        for (const Pt& p : points) {
            while (hull.size() >= base + 2 && cross(hull[hull.size() - 2], hull.back(), p) >= 0) hull.pop_back();
            hull.push_back(p);
        }
        hull.pop_back();
        std::reverse(points.begin(), points.end());
    }
    return hull;  // upper chain left to right, then lower chain right to left: clockwise
}

struct Expectation {
    const char* name;
    bool clockwise;
    bool strict;              // no point on a hull edge
    bool onePointTwice;       // a one-point set may come back as that point twice
};

// Checks one hull file against the points. Returns "" or "file:line: reason". Fills `corners` with
// the polygon's corners (its vertices with a strict turn) once its turns have passed.
std::string checkHull(const Expectation& e, const File& hull, const std::vector<Pt>& reference,
                      std::map<Pt, std::size_t>& pointLine, std::vector<Pt>& corners) {
    const std::vector<Pt>& h = hull.points;
    auto at = [&](std::size_t i) { return hull.name + ":" + std::to_string(i + 1) + ": "; };
    if (reference.empty()) return h.empty() ? "" : at(0) + "the points are empty but the hull is not";
    for (std::size_t i = 0; i < h.size(); ++i) {
        if (!pointLine.count(h[i])) return at(i) + show(h[i]) + " is not a point of points.txt";
    }
    if (h.empty()) return hull.name + ": empty, but points.txt is not";
    const Pt start = reference.front();
    if (h[0] != start) {
        return at(0) + "starts at " + show(h[0]) + ", not at the lowest of the leftmost points " + show(start);
    }
    if (reference.size() == 1) {
        corners = {start};
        bool twice = h.size() == 2 && h[1] == start && e.onePointTwice;
        if (h.size() == 1 || twice) return "";
        return at(1) + "a one-point set gives that point " + (e.onePointTwice ? "once or twice" : "once");
    }
    std::map<Pt, std::size_t> seen;
    for (std::size_t i = 0; i < h.size(); ++i) {
        auto [it, fresh] = seen.emplace(h[i], i);
        if (!fresh) return at(i) + show(h[i]) + " stands twice (first at line " + std::to_string(it->second + 1) + ")";
    }
    // Turns: the sign that the file's direction asks for, at every vertex.
    const int want = e.clockwise ? -1 : 1;
    const std::size_t n = h.size();
    std::vector<Pt> strictCorners;
    std::optional<std::size_t> firstWrong;
    std::string straight;
    for (std::size_t i = 0; n >= 3 && i < n; ++i) {
        Pt a = h[(i + n - 1) % n], b = h[i], c = h[(i + 1) % n];
        Wide turn = cross(a, b, c);
        int sign = turn > 0 ? 1 : turn < 0 ? -1 : 0;
        if (sign == want) {
            strictCorners.push_back(b);
        } else if (sign == -want) {
            if (!firstWrong) firstWrong = i;
        } else if (straight.empty()) {
            bool onEdge = dot(b, a, c) < 0;  // b strictly between a and c
            if (e.strict || !onEdge) {
                straight = at(i) + show(b) +
                           (onEdge ? " lies on the hull edge " + show(a) + " - " + show(c) + "; only corners belong here"
                                   : " turns straight back");
            }
        }
    }
    const char* other = e.clockwise ? "counter-clockwise" : "clockwise";
    if (firstWrong && strictCorners.empty()) {
        return hull.name + ": runs " + other + "; it must run " + (e.clockwise ? "clockwise" : "counter-clockwise") +
               " (y pointing up)";
    }
    if (firstWrong) {
        return at(*firstWrong) + "turns " + other + " at " + show(h[*firstWrong]) + ": the polygon is not convex";
    }
    if (!straight.empty()) return straight;
    corners = n == 2 ? h : strictCorners;
    // Containment: the polygon's points are input points and its turns are right, so it lies
    // inside the hull; it covers every point exactly when every reference corner is on it.
    for (const Pt& corner : reference) {
        if (!seen.count(corner)) {
            return "points.txt:" + std::to_string(pointLine[corner]) + ": " + show(corner) + " lies outside the hull in " +
                   hull.name;
        }
    }
    // Each corner once and each turn right, yet the corners could still wind round twice.
    std::vector<Pt> expected = reference;
    if (!e.clockwise) std::reverse(expected.begin() + 1, expected.end());
    if (corners != expected) return hull.name + ": the corners are not in hull order (the polygon winds round more than once)";
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    const std::string usage =
        "usage: hullcheck [DIR]\n"
        "Checks the hull files inc.txt, gift.txt and qhull.txt in DIR (default: .) against points.txt.\n"
        "Exit status: 0 all pass, 1 a check failed, 2 usage error or unreadable file.";
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        bool help = argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h");
        (help ? std::cout : std::cerr) << usage << '\n';
        return help ? 0 : 2;
    }
    const std::string dir = argc == 2 ? argv[1] : ".";
    const Expectation expectations[] = {
        {"inc.txt", true, true, true},
        {"gift.txt", true, false, false},
        {"qhull.txt", false, false, true},
    };
    try {
        std::string error;
        std::optional<File> points = readPoints(dir, "points.txt", error);
        std::vector<std::optional<File>> hulls;
        std::vector<std::string> errors;
        for (const Expectation& e : expectations) {
            std::string parseError;
            hulls.push_back(readPoints(dir, e.name, parseError));
            errors.push_back(parseError);
        }
        if (!points) {
            std::cout << error << "\nhullcheck: FAIL: points.txt is malformed; the hulls were not checked\n";
            return 1;
        }
        std::vector<Pt> reference = referenceCorners(points->points);
        std::map<Pt, std::size_t> pointLine;
        for (std::size_t i = points->points.size(); i-- > 0;) pointLine[points->points[i]] = i + 1;

        int failures = 0;
        std::vector<std::vector<Pt>> cornerLists;
        for (std::size_t f = 0; f < 3; ++f) {
            const Expectation& e = expectations[f];
            std::vector<Pt> corners;
            if (hulls[f]) {
                errors[f] = checkHull(e, *hulls[f], reference, pointLine, corners);
            }
            cornerLists.push_back(corners);
            if (errors[f].empty()) {
                std::cout << e.name << ": ok, " << hulls[f]->points.size() << " points\n";
            } else {
                std::cout << errors[f] << '\n';
                ++failures;
            }
        }
        // The corners as sets, compared among the files whose turns passed.
        bool sameCorners = true;
        std::optional<std::set<Pt>> first;
        for (const auto& list : cornerLists) {
            if (list.empty()) continue;
            std::set<Pt> set(list.begin(), list.end());
            if (!first) first = set;
            sameCorners = sameCorners && set == *first;
        }
        if (!sameCorners) {
            std::cout << "corners differ: inc.txt has " << cornerLists[0].size() << ", gift.txt " << cornerLists[1].size()
                      << ", qhull.txt " << cornerLists[2].size() << '\n';
        }
        if (failures == 0 && sameCorners) {
            std::cout << "hullcheck: all 3 hulls of " << points->points.size() << " points pass, with the same "
                      << reference.size() << " corners\n";
            return 0;
        }
        std::cout << "hullcheck: FAIL: " << failures << " of 3 hull files failed"
                  << (sameCorners ? "" : "; the corners differ") << '\n';
        return 1;
    } catch (const Unreadable& u) {
        std::cerr << u.message << '\n';
        return 2;
    }
}
