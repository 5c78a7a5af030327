// hullcheck [DIR]: validates the hull files that hullbench writes, independently of its code.
//
// Reads "points.txt", "inc.txt", "gift.txt" and "qhull.txt" from DIR (default: the working
// directory) and checks each hull file: every line is an "x;y" point; every point is a point of
// "points.txt"; the hull starts at the lowest of the leftmost points; no point stands twice; the
// polygon turns in the file's direction at every vertex (clockwise for "inc.txt" and "gift.txt",
// counter-clockwise for "qhull.txt", the y axis pointing up), strictly for "inc.txt" and, for the
// other two, straight only where a point lies on a hull edge; every point of "points.txt" lies
// inside or on it; and the three files have the same corners.
// The reference hull is a monotone chain over a sorted copy of the points, with turn tests exact
// for every 64-bit coordinate: O(n log n) in all.
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

#include "reference_hull.h"

namespace {

using reference::Pt;
using reference::show;

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

struct Expectation {
    const char* name;
    reference::Promise promise;
};

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
        {"inc.txt", {/*clockwise=*/true, /*strict=*/true, /*onePointTwice=*/true}},
        {"gift.txt", {true, false, false}},
        {"qhull.txt", {false, false, true}},
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
        std::map<Pt, std::size_t> pointLine;  // the first line of each point
        for (std::size_t i = points->points.size(); i-- > 0;) pointLine[points->points[i]] = i + 1;
        const reference::Input input{
            "points.txt", reference::corners(points->points), [&](Pt p) { return pointLine.count(p) != 0; },
            [&](Pt p) { return "points.txt:" + std::to_string(pointLine[p]); }};

        int failures = 0;
        std::vector<std::vector<Pt>> cornerLists;
        for (std::size_t f = 0; f < 3; ++f) {
            const Expectation& e = expectations[f];
            std::vector<Pt> corners;
            if (hulls[f]) {
                errors[f] = reference::checkHull(e.promise, e.name, hulls[f]->points, input, corners);
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
                      << input.corners.size() << " corners\n";
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
