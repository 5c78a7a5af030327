// The lab's peers and the shapes that test exactness: every peer of this build on the degenerate
// inputs (the verdict its documentation leads one to expect: a hull, or a refusal; never a crash),
// the `line` and `sliver` shapes, and a refused cell in a real run of hull-lab.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../lab/lab.h"
#include "../lab/inputs/inputs.h"
#include "../lab/run/cell.h"
#include "hull_check.h"
#include "test_files.h"

namespace {

using Points = std::vector<Point>;

std::vector<const lab::Algorithm*> peers() {
    std::vector<const lab::Algorithm*> list;
    for (const lab::Algorithm& a : lab::algorithms()) {
        if (a.origin == lab::Origin::Peer) list.push_back(&a);
    }
    return list;
}

// ---- Every peer on the degenerate inputs ------------------------------------------------------

// Qhull refuses fewer than three corners (its documentation: it needs a full-dimensional initial
// simplex), OpenCV an empty set; every other peer returns the hull.
TEST(LabPeers, EachGivesTheHullOfDegenerateInputOrRefusesItAsDocumented) {
    struct Case {
        const char* name;
        Points points;
    } cases[] = {
        {"no points", {}},
        {"one point", {{5, 7}}},
        {"copies of one point", {{5, 7}, {5, 7}, {5, 7}}},
        {"two points", {{1, 1}, {9, 4}}},
        {"points on one line, shuffled", {{4, 2}, {0, 0}, {8, 4}, {2, 1}, {6, 3}, {8, 4}}},
        {"points on one vertical line", {{3, 5}, {3, -2}, {3, 9}, {3, 0}}},
        {"a square with points on its edges", {{0, 0}, {0, 2}, {0, 4}, {2, 4}, {4, 4}, {4, 2}, {4, 0}, {2, 0}, {2, 2}}},
        {"a triangle of copies", {{0, 0}, {6, 0}, {0, 6}, {0, 0}, {6, 0}, {0, 6}, {1, 1}}},
    };
    for (const lab::Algorithm* peer : peers()) {
        for (const Case& c : cases) {
            const std::size_t corners = reference::corners(lab::referencePoints(c.points)).size();
            auto runner = peer->prepare(c.points);
            try {
                std::vector<reference::Pt> hull = runner->hull();
                std::size_t h = 0;
                EXPECT_GE(corners, peer->refusesBelow) << peer->name << ", " << c.name << ": expected a refusal";
                EXPECT_EQ(lab::checkResult(*peer, c.points, hull, h).words, "") << peer->name << ", " << c.name;
            } catch (const lab::Refused& refused) {
                EXPECT_LT(corners, peer->refusesBelow) << peer->name << ", " << c.name << ": " << refused.what();
                EXPECT_NE(std::string(refused.what()), "") << peer->name << ", " << c.name;
            }
        }
    }
}

#ifdef HULL_LAB_QHULL
// Qhull names why it gave up; the lab passes its words on.
TEST(LabPeers, QhullRefusalsCarryQhullsOwnMessage) {
    const lab::Algorithm& qhull = *lab::findAlgorithm("libqhull-quickhull");
    struct Case {
        Points points;
        const char* code;
    } cases[] = {{{{1, 1}, {9, 4}}, "QH6214"}, {{{0, 0}, {2, 1}, {4, 2}, {6, 3}}, "QH6154"}};
    for (const Case& c : cases) {
        try {
            qhull.prepare(c.points)->hull();
            ADD_FAILURE() << c.code << ": no refusal";
        } catch (const lab::Refused& refused) {
            EXPECT_NE(std::string(refused.what()).find(c.code), std::string::npos) << refused.what();
            EXPECT_EQ(std::string(refused.what()).find('\n'), std::string::npos) << "one line: " << refused.what();
        }
    }
}
#endif

TEST(LabPeers, EveryLibraryOfThisBuildHasItsPeers) {
    std::vector<const char*> names;
#ifdef HULL_LAB_CGAL
    names.insert(names.end(), {"cgal-monotone-chain", "cgal-monotone-chain-plain", "cgal-gift-wrapping", "cgal-quickhull",
                               "cgal-eddy-quickhull", "cgal-akl-toussaint", "cgal-akl-toussaint-plain"});
#endif
#ifdef HULL_LAB_BOOST
    names.insert(names.end(), {"boost-monotone-chain", "boost-long-double-monotone-chain", "boost-double-monotone-chain"});
#endif
#ifdef HULL_LAB_GEOS
    names.push_back("geos-graham");
#endif
#ifdef HULL_LAB_OPENCV
    names.push_back("opencv-monotone-chain");
#endif
#ifdef HULL_LAB_QHULL
    names.push_back("libqhull-quickhull");
#endif
    for (const char* name : names) {
        const lab::Algorithm* a = lab::findAlgorithm(name);
        ASSERT_NE(a, nullptr) << name;
        EXPECT_EQ(a->origin, lab::Origin::Peer) << name;
        EXPECT_NE(std::string(a->calls), "") << name << ": --help says nothing of what it calls";
    }
    EXPECT_EQ(peers().size(), names.size());
}

// A run that names nothing leaves out the shapes and entries marked "named only" (line, sliver,
// and three entries); `--algorithms all` takes every entry of the build.
std::set<std::string> columnOfRun(const std::string& arguments, std::size_t column) {
    testfiles::TempDir dir("hull-lab-defaults");
    const std::string command = "cd '" + dir.path.string() + "' && '" HULL_LAB_PATH "' " + arguments +
                                " --runs 1 --tsv run.tsv >/dev/null 2>&1";
    EXPECT_NE(std::system(command.c_str()), -1) << arguments;
    std::set<std::string> values;
    std::vector<std::string> lines = testfiles::tsvLines(testfiles::read(dir.path / "run.tsv"));
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::istringstream fields(lines[i]);
        std::string field;
        for (std::size_t k = 0; k <= column; ++k) std::getline(fields, field, '\t');
        values.insert(field);
    }
    return values;
}

TEST(LabDefaults, NamedOnlyShapesAndEntriesRunOnlyWhenNamed) {
    std::set<std::string> every, byDefault, defaultShapes;
    for (const lab::Algorithm& a : lab::algorithms()) {
        every.insert(a.name);
        if (a.byDefault) byDefault.insert(a.name);
    }
    for (const lab::Shape& s : lab::shapes()) {
        if (s.byDefault) defaultShapes.insert(s.name);
    }
    EXPECT_EQ(defaultShapes.count("line") + defaultShapes.count("sliver"), 0u);
    EXPECT_EQ(defaultShapes.size() + 2, lab::shapes().size());
    EXPECT_EQ(columnOfRun("--shapes square --sizes 50", 3), byDefault);
    EXPECT_EQ(columnOfRun("--shapes line --sizes 50 --algorithms all", 3), every);
    EXPECT_EQ(columnOfRun("--sizes 50 --algorithms copy", 0), defaultShapes);
}

// ---- The shapes that test exactness --------------------------------------------------------------

TEST(LabShapes, LinePutsEveryPointOnOneLineWithCopiesAndTwoEnds) {
    for (std::uint64_t seed : {1, 2, 3, 4}) {
        Points points = lab::makeShape("line", 400, seed);
        std::set<Point> distinct(points.begin(), points.end());
        EXPECT_LT(distinct.size(), points.size()) << "seed " << seed << ": no copies";
        const Point a = *distinct.begin(), b = *distinct.rbegin();
        for (const Point& p : points) ASSERT_EQ(hullcheck::cross(a, b, p), 0) << "seed " << seed << ": " << p;
        EXPECT_EQ(hullcheck::bruteCorners(PointList(points.begin(), points.end())), (Points{a, b})) << "seed " << seed;
        EXPECT_EQ(reference::corners(lab::referencePoints(points)).size(), 2u) << "seed " << seed;
    }
    // The input order is random: not sorted along the line.
    Points points = lab::makeShape("line", 400, 1);
    EXPECT_FALSE(std::is_sorted(points.begin(), points.end()));
}

// A sliver's corners are those of a brute-force hull, and deciding them needs more than a double:
// some turn between its corners is misjudged when the products are rounded to 53 bits.
TEST(LabShapes, SliverIsAThinHullThatDoublesMisjudge) {
    for (std::uint64_t seed : {1, 2, 3}) {
        Points points = lab::makeShape("sliver", 300, seed);
        std::vector<reference::Pt> corners = reference::corners(lab::referencePoints(points));
        Points brute = hullcheck::bruteCorners(PointList(points.begin(), points.end()));
        ASSERT_EQ(corners.size(), brute.size()) << "seed " << seed;
        for (std::size_t i = 0; i < brute.size(); ++i) {
            EXPECT_EQ(Point({corners[i].x, corners[i].y}), brute[i]) << "seed " << seed << ", corner " << i;
        }
        EXPECT_GE(corners.size(), 4u) << "seed " << seed;
        EXPECT_LE(corners.size(), 40u) << "seed " << seed;
        std::int64_t widest = 0;
        for (const Point& p : points) widest = std::max({widest, std::abs(p.x), std::abs(p.y)});
        EXPECT_GT(widest, std::int64_t(1) << 29) << "seed " << seed << ": the points are not spread near 2^30";
        // Every point and the two ends of the sliver: the turn in doubles against the exact one.
        int misjudged = 0;
        const reference::Pt a = corners.front(), b = corners[corners.size() / 2];
        for (const Point& p : points) {
            const double inDoubles = double(b.x - a.x) * double(p.y - a.y) - double(b.y - a.y) * double(p.x - a.x);
            const int sign = inDoubles > 0 ? 1 : inDoubles < 0 ? -1 : 0;
            misjudged += sign != reference::turn(a, b, {p.x, p.y});
        }
        EXPECT_GT(misjudged, 0) << "seed " << seed << ": doubles decide every turn of this sliver";
    }
}

// ---- A refusal in a real run -------------------------------------------------------------------

#ifdef HULL_LAB_QHULL
TEST(LabPeers, ARefusedCellIsNamedAndTheRunGoesOn) {
    testfiles::TempDir dir("hull-lab-refused");
    const std::string command = "cd '" + dir.path.string() + "' && '" HULL_LAB_PATH
                                "' --shapes line,square --sizes 100 --algorithms libqhull-quickhull,incremental-array "
                                "--runs 1 --tsv lab.tsv >stdout 2>stderr";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << "a refusal is a finding";
    const std::string err = testfiles::read(dir.path / "stderr");
    EXPECT_NE(err.find("hull-lab: refused: line, 100 points, libqhull-quickhull (seed 1): Qhull: QH6154"), std::string::npos)
        << err;
    std::vector<std::string> tsv = testfiles::tsvLines(testfiles::read(dir.path / "lab.tsv"));
    ASSERT_EQ(tsv.size(), 5u);
    EXPECT_EQ(tsv[1].rfind("line\t100\t2\tlibqhull-quickhull\t-\t-\t-\trefused\tQhull: QH6154", 0), 0u) << tsv[1];
    EXPECT_EQ(tsv[2].rfind("line\t100\t2\tincremental-array\t", 0), 0u) << tsv[2];
    for (std::size_t i = 2; i < tsv.size(); ++i) EXPECT_NE(tsv[i].find("\tok\t"), std::string::npos) << tsv[i];
    EXPECT_NE(testfiles::read(dir.path / "stdout").find("refused"), std::string::npos);
}
#endif

}  // namespace
