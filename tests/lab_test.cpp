// The lab: its shapes, every algorithm of this build (the program's and the peers') against a
// brute-force hull on every shape, the verdict on wrong hulls, and hull-lab itself: budgets, bad
// arguments, an interrupted run, its TSV and the plot.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../lab/lab.h"
#include "hull_check.h"
#include "lab_run.h"
#include "inputs/inputs.h"
#include "run/cell.h"
#include "run/figures.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;
using testfiles::lines;
using testfiles::read;

const std::int64_t kExact = std::int64_t(1) << 30;

std::size_t corners(const std::vector<Point>& points) { return reference::corners(lab::referencePoints(points)).size(); }

std::vector<std::string> shapeNames() {
    std::vector<std::string> names;
    for (const lab::Shape& s : lab::shapes()) names.push_back(s.name);
    return names;
}

// ---- Shapes ----------------------------------------------------------------------------------

// The one quoting of every command line the lab builds: the shell reads each word back as it was.
TEST(ShellWord, TheShellReadsEveryWordBackAsItWas) {
    const std::vector<std::string> words = {"plain-word_1.txt", "", "two words", "it's", "'", "$HOME", "a\"b", "back\\slash",
                                            "semi;colon", "star*", "new\nline", "tab\there", "--flag=x,y", "~", "caf\xc3\xa9"};
    const testfiles::TempDir dir("shell-word");
    const std::string out = (dir.path / "out").string();
    for (const std::string& word : words) {
        const std::string command = "printf '%s|' " + lab::shellWord(word) + " > " + lab::shellWord(out);
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        std::ifstream in(out);
        std::stringstream read;
        read << in.rdbuf();
        EXPECT_EQ(read.str(), word + "|") << "[" << word << "] as " << lab::shellWord(word);
    }
    EXPECT_EQ(lab::shellWord("plain-word_1.txt"), "plain-word_1.txt") << "a word the shell takes as it is stays bare";
}

TEST(LabShapes, SameSeedGivesTheSamePointsAndAnotherSeedOthers) {
    for (const std::string& shape : shapeNames()) {
        std::vector<Point> once = lab::makeShape(shape, 500, 7), again = lab::makeShape(shape, 500, 7);
        std::vector<Point> other = lab::makeShape(shape, 500, 8);
        ASSERT_EQ(once.size(), 500u) << shape;
        EXPECT_TRUE(std::equal(once.begin(), once.end(), again.begin())) << shape;
        EXPECT_FALSE(std::equal(once.begin(), once.end(), other.begin())) << shape << ": seed 8 gives seed 7's points";
    }
}

TEST(LabShapes, EveryPointLiesInsideTheExactRange) {
    for (const std::string& shape : shapeNames()) {
        for (const Point& p : lab::makeShape(shape, 20000, 1)) {
            ASSERT_TRUE(std::abs(p.x) < kExact && std::abs(p.y) < kExact) << shape << ' ' << p;
            if (shape == "square") {
                ASSERT_TRUE(p.x >= 0 && p.x < 10000000 && p.y >= 0 && p.y < 10000000) << p;
            }
            if (shape == "lattice") {
                ASSERT_TRUE(p.x >= 0 && p.x < 64 && p.y >= 0 && p.y < 64) << p;
            }
        }
    }
}

TEST(LabShapes, ConvexMakesEveryPointACorner) {
    for (std::int64_t n : {1, 2, 3, 4, 5, 6, 7, 40, 41, 1001, 200000}) {
        std::vector<Point> points = lab::makeShape("convex", n, 1);
        ASSERT_EQ(std::int64_t(points.size()), n);
        EXPECT_EQ(std::int64_t(corners(points)), n) << n << " points";
        if (n <= 41) {
            PointList list(points.begin(), points.end());
            EXPECT_EQ(std::int64_t(hullcheck::bruteCorners(list).size()), n) << n << " points, brute force";
        }
    }
}

TEST(LabShapes, ConvexReachesItsLargestSizeAndRefusesOneMore) {
    const std::int64_t largest = lab::convexLargest();
    EXPECT_GE(largest, 1000000);
    std::vector<Point> points = lab::makeShape("convex", largest, 1);
    for (const Point& p : points) ASSERT_TRUE(std::abs(p.x) < kExact && std::abs(p.y) < kExact) << p;
    EXPECT_EQ(std::int64_t(corners(points)), largest);
    try {
        lab::makeShape("convex", largest + 1, 1);
        ADD_FAILURE() << "convex made " << largest + 1 << " points";
    } catch (const lab::ShapeError& e) {
        EXPECT_NE(std::string(e.what()).find("the largest is " + std::to_string(largest)), std::string::npos) << e.what();
    }
}

TEST(LabShapes, LatticeHasCopiesAndPointsOnHullEdges) {
    std::vector<Point> points = lab::makeShape("lattice", 3000, 1);
    std::set<Point> distinct(points.begin(), points.end());
    EXPECT_LT(distinct.size(), points.size()) << "no copies";
    std::vector<reference::Pt> hull = reference::corners(lab::referencePoints(points));
    std::size_t onEdges = 0;
    for (const Point& p : distinct) {
        reference::Pt q{p.x, p.y};
        for (std::size_t i = 0; i < hull.size(); ++i) {
            reference::Pt a = hull[i], b = hull[(i + 1) % hull.size()];
            onEdges += reference::turn(a, b, q) == 0 && reference::dotSign(q, a, b) < 0;
        }
    }
    EXPECT_GT(onEdges, 20u);
}

TEST(LabShapes, SquareKeepsFewCornersWhileCircleMakesMostPointsCorners) {
    EXPECT_LT(corners(lab::makeShape("square", 100000, 1)), 60u);
    EXPECT_LT(corners(lab::makeShape("normal", 100000, 1)), 40u);
    EXPECT_GT(corners(lab::makeShape("circle", 1000, 1)), 900u);
    std::size_t disc = corners(lab::makeShape("disc", 100000, 1));
    EXPECT_TRUE(disc > 60 && disc < 400) << disc << " corners; n^(1/3) is about 46";
}

// ---- Algorithms ------------------------------------------------------------------------------

class LabAlgorithm : public testing::TestWithParam<std::string> {};

// Every algorithm of this build, on every shape and small sizes: the corners of a brute-force hull,
// in the order and from the start it promises, and a timed call that runs. A library that refuses
// points with too few corners (Qhull: below three) must refuse exactly those; one that rounds its turn
// tests is not held to `sliver`, which is made to defeat it (the lab reports what it does there).
TEST_P(LabAlgorithm, GivesTheBruteForceCornersOnEveryShape) {
    const lab::Algorithm& algorithm = *lab::findAlgorithm(GetParam());
    for (const std::string& shape : shapeNames()) {
        if (shape == "sliver" && !algorithm.exact) continue;
        for (std::int64_t n : {1, 2, 3, 4, 10, 60, 250}) {
            std::vector<Point> points = lab::makeShape(shape, n, 3);
            auto runner = algorithm.prepare(points);
            const bool refusable = corners(points) < algorithm.refusesBelow;
            std::vector<reference::Pt> hull;
            try {
                hull = runner->hull();
                EXPECT_FALSE(refusable) << algorithm.name << ", " << shape << ", " << n << ": no refusal";
            } catch (const lab::Refused& refused) {
                EXPECT_TRUE(refusable) << algorithm.name << ", " << shape << ", " << n << ": "
                                                            << refused.what();
                continue;
            }
            std::size_t h = 0;
            EXPECT_EQ(lab::checkResult(algorithm, points, hull, h).words, "") << algorithm.name << ", " << shape << ", " << n;
            std::vector<Point> brute = hullcheck::bruteCorners(PointList(points.begin(), points.end()));
            EXPECT_EQ(h, brute.size()) << algorithm.name << ", " << shape << ", " << n;
            std::set<Point> got;
            for (const reference::Pt& p : hull) got.insert(Point{p.x, p.y});
            for (const Point& corner : brute) {
                EXPECT_TRUE(got.count(corner)) << algorithm.name << ", " << shape << ", " << n << ": misses " << corner;
            }
            runner->call();
        }
    }
}

// Every algorithm of this build that makes a hull (not the floors).
std::vector<std::string> algorithmNames() {
    std::vector<std::string> names;
    for (const lab::Algorithm& a : lab::algorithms()) {
        if (a.origin != lab::Origin::Floor) names.push_back(a.name);
    }
    return names;
}

INSTANTIATE_TEST_SUITE_P(ThisBuild, LabAlgorithm, testing::ValuesIn(algorithmNames()),
                         [](const testing::TestParamInfo<std::string>& param) {
                             std::string name = param.param;
                             for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(LabAlgorithms, PeersAreBuiltWhenTheirLibrariesArePresent) {
#ifdef HULL_LAB_CGAL
    for (const char* name : {"cgal-monotone-chain", "cgal-gift-wrapping", "cgal-quickhull", "cgal-akl-toussaint"}) {
        EXPECT_NE(lab::findAlgorithm(name), nullptr) << name;
    }
#endif
#ifdef HULL_LAB_BOOST
    EXPECT_NE(lab::findAlgorithm("boost-monotone-chain"), nullptr);
#endif
    EXPECT_GE(lab::algorithms().size(), 3u);
}

// The verdict rejects each kind of wrong hull, for an algorithm that promises its start and for
// one that does not.
TEST(LabAlgorithms, TheVerdictRejectsWrongHulls) {
    const std::vector<Point> square = {{0, 0}, {0, 4}, {4, 4}, {4, 0}, {2, 2}, {0, 2}};
    using Hull = std::vector<reference::Pt>;
    const Hull clockwise = {{0, 0}, {0, 4}, {4, 4}, {4, 0}};
    struct Case {
        const char* why;
        Hull hull;
        const char* expected;
    } cases[] = {
        {"reversed", {{0, 0}, {4, 0}, {4, 4}, {0, 4}}, "runs counter-clockwise"},
        {"a corner missing", {{0, 0}, {0, 4}, {4, 4}}, "lies outside the hull"},
        {"a foreign point", {{0, 0}, {0, 4}, {5, 5}, {4, 0}}, "is not a point of the input"},
        {"an inside point", {{0, 0}, {0, 4}, {4, 4}, {2, 2}, {4, 0}}, "turns counter-clockwise"},
        {"an edge point where only corners belong", {{0, 0}, {0, 2}, {0, 4}, {4, 4}, {4, 0}}, "only corners belong"},
        {"a corner twice", {{0, 0}, {0, 4}, {4, 4}, {4, 0}, {0, 4}}, "stands twice"},
        {"empty", {}, "empty"},
    };
    const lab::Algorithm& incremental = *lab::findAlgorithm("incremental");
    std::size_t h = 0;
    EXPECT_EQ(lab::checkResult(incremental, square, clockwise, h).words, "");
    EXPECT_EQ(h, 4u);
    for (const Case& c : cases) {
        std::string verdict = lab::checkResult(incremental, square, c.hull, h).words;
        EXPECT_NE(verdict.find(c.expected), std::string::npos) << c.why << ": " << verdict;
    }
    Hull rotated = {{4, 4}, {4, 0}, {0, 0}, {0, 4}};
    EXPECT_NE(lab::checkResult(incremental, square, rotated, h).words.find("starts at"), std::string::npos);
    lab::Algorithm anyStart = incremental;
    anyStart.anyStart = true;
    EXPECT_EQ(lab::checkResult(anyStart, square, rotated, h).words, "") << "a hull with no promised start, rotated";
}

// ---- Point sets per cell --------------------------------------------------------------------------

TEST(LabSets, EachSetIsAFunctionOfShapeSizeAndSeedAndTheSetsDiffer) {
    for (const std::string& shape : shapeNames()) {
        for (int set : {0, 1, 15}) {
            std::vector<Point> once = lab::makeShape(shape, 300, lab::setSeed(4, set));
            std::vector<Point> again = lab::makeShape(shape, 300, lab::setSeed(4, set));
            EXPECT_TRUE(std::equal(once.begin(), once.end(), again.begin())) << shape << ", set " << set;
        }
        EXPECT_EQ(lab::setSeed(4, 0), 4u) << "set 0 is the cell's own seed";
        std::set<std::vector<std::int64_t>> distinct;
        for (int set = 0; set < 16; ++set) {
            std::vector<std::int64_t> flat;
            for (const Point& p : lab::makeShape(shape, 300, lab::setSeed(4, set))) flat.insert(flat.end(), {p.x, p.y});
            distinct.insert(flat);
        }
        EXPECT_EQ(distinct.size(), 16u) << shape << ": two of 16 sets are the same";
    }
    EXPECT_EQ(lab::defaultSets(1000), 16);
    EXPECT_EQ(lab::defaultSets(1000000), 1);
    EXPECT_GE(lab::defaultSets(100000), 1);
}

// An algorithm that is right on the first point set it is given and drops a corner on every later
// one: the verdict must look at every set.
int gPrepared = 0;

class RightOnlyOnTheFirstSet : public lab::Runner {
  public:
    RightOnlyOnTheFirstSet(const std::vector<Point>& points, bool right) : points_(points.begin(), points.end()), right_(right) {}
    void call() override { incremental(points_); }
    std::vector<reference::Pt> hull() override {
        std::vector<reference::Pt> result;
        for (const Point& p : incremental(points_)) result.push_back({p.x, p.y});
        if (!right_ && result.size() > 3) result.pop_back();
        return result;
    }

  private:
    PointList points_;
    bool right_;
};

TEST(LabSets, AWrongHullOnAnyPointSetMakesTheCellWrong) {
    lab::Algorithm wrongLater = *lab::findAlgorithm("incremental");
    wrongLater.prepare = [](const std::vector<Point>& points) -> std::unique_ptr<lab::Runner> {
        return std::make_unique<RightOnlyOnTheFirstSet>(points, gPrepared++ == 0);
    };
    for (int sets : {1, 3}) {
        gPrepared = 0;
        bool told = false;
        lab::CellPlan plan;
        plan.shape = "disc";
        plan.n = 500;
        plan.seed = 6;
        plan.minSeconds = 0.001;
        plan.sets = sets;
        lab::CellResult result = lab::runCell(plan, wrongLater, [&](const lab::CellResult&) { told = true; });
        EXPECT_TRUE(told);
        EXPECT_EQ(gPrepared, sets);
        EXPECT_EQ(result.h, corners(lab::makeShape("disc", 500, 6))) << "h is the first set's";
        if (sets == 1) {
            EXPECT_EQ(result.wrong, "") << "one set: only the right hull was checked";
        } else {
            EXPECT_NE(result.wrong.find("point set 2 (seed "), std::string::npos) << result.wrong;
            EXPECT_NE(result.wrong.find("lies outside the hull"), std::string::npos) << result.wrong;
        }
    }
}

// ---- hull-lab, the program ---------------------------------------------------------------------

class HullLab : public testing::Test {
  protected:
    LabRun lab(const std::string& arguments) { return runLab(dir_.path, arguments); }
    // The TSV's lines below its header, split into fields. A timed cell's runs_s holds one figure
    // per run, whose median and extremes are the cell's.
    std::vector<std::vector<std::string>> tsv(const std::string& name) {
        std::vector<std::string> text = testfiles::tsvLines(read(dir_.path / name));
        EXPECT_FALSE(text.empty());
        if (text.empty()) return {};
        EXPECT_EQ(text[0], "shape\tn\th\talgorithm\tmedian_s\tmin_s\tmax_s\tstatus\tnote\truns_s\tlo_s\thi_s\t"
                           "instructions\tl1_misses\tll_misses\tbranch_misses\test_cycles\tfastest\tsure");
        std::vector<std::vector<std::string>> rows;
        for (std::size_t i = 1; i < text.size(); ++i) {
            std::vector<std::string> fields;
            std::stringstream in(text[i]);
            for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
            if (!text[i].empty() && text[i].back() == '\t') fields.push_back("");
            EXPECT_EQ(fields.size(), 19u) << "line " << i + 1 << ": " << text[i];
            if (fields.size() != 19) continue;
            if (fields[7] == "ok") {
                std::vector<double> runs;
                std::stringstream list(fields[9]);
                for (std::string figure; std::getline(list, figure, ',');) runs.push_back(std::stod(figure));
                std::sort(runs.begin(), runs.end());
                EXPECT_FALSE(runs.empty()) << text[i];
                if (!runs.empty()) {
                    if (runs.size() % 2 == 1) {
                        EXPECT_NEAR(runs[runs.size() / 2], std::stod(fields[4]), 1e-6 * runs.back()) << text[i];
                    }
                    EXPECT_NEAR(runs.front(), std::stod(fields[5]), 1e-6 * runs.back()) << text[i];
                    EXPECT_NEAR(runs.back(), std::stod(fields[6]), 1e-6 * runs.back()) << text[i];
                    // The interval: none from one run; from more, around their geometric mean.
                    if (runs.size() == 1) {
                        EXPECT_EQ(fields[10] + fields[11], "--") << text[i];
                    } else {
                        double logs = 0;
                        for (double r : runs) logs += std::log(r);
                        const double centre = std::exp(logs / double(runs.size()));
                        EXPECT_LT(std::stod(fields[10]), centre) << text[i];
                        EXPECT_GT(std::stod(fields[11]), centre) << text[i];
                    }
                }
            }
            rows.push_back(fields);
        }
        // No interval is narrower than the spread of the run's median cell so far (its row
        // included) allows: the runs of a cell that happen to agree do not make it surer.
        std::vector<double> spreads;
        for (std::size_t i = 0; i < rows.size();) {
            std::size_t end = i;
            while (end < rows.size() && rows[end][0] == rows[i][0] && rows[end][1] == rows[i][1]) ++end;
            std::vector<std::pair<std::size_t, int>> timed;  // row, runs
            for (std::size_t j = i; j < end; ++j) {
                if (rows[j][7] != "ok" || rows[j][10] == "-") continue;
                std::vector<double> logs;
                std::stringstream list(rows[j][9]);
                for (std::string figure; std::getline(list, figure, ',');) logs.push_back(std::log(std::stod(figure)));
                double mean = 0, squares = 0;
                for (double v : logs) mean += v / double(logs.size());
                for (double v : logs) squares += (v - mean) * (v - mean);
                spreads.push_back(std::sqrt(squares / double(logs.size() - 1)));
                timed.push_back({j, int(logs.size())});
            }
            std::vector<double> sorted = spreads;
            std::sort(sorted.begin(), sorted.end());
            const double floor = sorted.empty() ? 0 : sorted[(sorted.size() - 1) / 2];  // the lower median
            for (auto [j, runs] : timed) {
                const double half = std::log(std::stod(rows[j][11]) / std::stod(rows[j][10])) / 2;
                EXPECT_GE(half, lab::tQuantile975(runs - 1) * floor * std::sqrt(2.0 / runs) * 0.999)
                    << rows[j][0] << " " << rows[j][1] << " " << rows[j][3] << ": an interval narrower than the run's spread";
            }
            i = end;
        }
        return rows;
    }
    testfiles::TempDir dir_{"hull-lab"};
};

TEST_F(HullLab, WritesTablesATsvThatParsesPointFilesAndAPlot) {
    std::string peer = lab::algorithms().size() > 3 ? "," + lab::algorithms()[1].name : "";
    LabRun run = lab("--shapes square,convex,lattice --sizes 100,1000 --algorithms incremental,gift_wrapping,qhull" +
                  peer + " --runs 1 --seed 5 --tsv lab.tsv --write-points points");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    for (const char* shape : {"square:", "convex:", "lattice:"}) EXPECT_NE(run.out.find(shape), std::string::npos) << shape;
    auto rows = tsv("lab.tsv");
    EXPECT_EQ(rows.size(), 3 * 2 * (peer.empty() ? 3u : 4u));
    std::map<std::string, std::string> hOfRow;
    for (const auto& f : rows) {
        EXPECT_EQ(f[7], "ok") << f[0] << ' ' << f[1] << ' ' << f[3] << ": " << f[8];
        double median = std::stod(f[4]), min = std::stod(f[5]), max = std::stod(f[6]);
        EXPECT_TRUE(min > 0 && min <= median && median <= max) << f[3];
        auto [it, fresh] = hOfRow.emplace(f[0] + " " + f[1], f[2]);
        EXPECT_EQ(it->second, f[2]) << "h differs within a row: " << f[0] << ' ' << f[1];
        if (f[0] == "convex") {
            EXPECT_EQ(f[2], f[1]) << "convex: h = n";
        }
        std::string points = read(dir_.path / "points" / (f[0] + "-" + f[1] + ".txt"));
        std::vector<Point> expected = lab::makeShape(f[0], std::stoll(f[1]), 5);
        ASSERT_EQ(lines(points).size(), expected.size()) << f[0] << ' ' << f[1];
        EXPECT_EQ(lines(points)[0], std::to_string(expected[0].x) + ";" + std::to_string(expected[0].y));
    }
    std::string plot = "'" TOOLS_DIR "/plot-lab' '" + (dir_.path / "lab.tsv").string() + "' -o '" +
                       (dir_.path / "lab.png").string() + "' >/dev/null";
    EXPECT_EQ(std::system(plot.c_str()), 0);
    std::string png = read(dir_.path / "lab.png");
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_GT(png.size(), 20000u);
}

// Gift wrapping on points in convex position takes seconds a call from 50,000 points up: with a
// 1 s budget it is skipped when two smaller sizes predict it (10,000 after 2,000), stopped when
// fewer do (at 100,000, ten seconds a call or more, far past the 5 s at which a 1 s cell is
// stopped), and the run ends either way.
TEST_F(HullLab, ACellOverTheBudgetIsSkippedOrStoppedAndTheRunGoesOn) {
    struct Case {
        const char* sizes;
        const char* n;
        const char* status;
    } cases[] = {{"2000,10000,50000", "50000", "skipped"}, {"100000", "100000", "stopped"}};
    for (const Case& c : cases) {
        LabRun run = lab(std::string("--shapes convex --sizes ") + c.sizes +
                      " --algorithms gift_wrapping,incremental --budget 1 --runs 1 --tsv lab.tsv");
        EXPECT_EQ(run.status, 0) << c.sizes << ": " << run.err;
        // The cell after gift wrapping's still runs (incremental: skipped too from 2,000 points
        // in a slow build, where its own prediction is over the budget; run when nothing predicts).
        std::set<std::string> seen;
        for (const auto& f : tsv("lab.tsv")) {
            if (f[1] != c.n) continue;
            seen.insert(f[3]);
            EXPECT_EQ(f[2], c.n) << "h is known for every cell";
            if (f[3] == "gift_wrapping") {
                EXPECT_EQ(f[7], c.status) << c.sizes << ": " << f[8];
            } else if (c.sizes == std::string("100000")) {
                EXPECT_EQ(f[7], "ok") << f[3] << ": " << f[8];
            }
        }
        EXPECT_EQ(seen, (std::set<std::string>{"gift_wrapping", "incremental"})) << c.sizes;
        EXPECT_NE(run.out.find(std::string(c.status) == "skipped" ? "skip " : "stopped"), std::string::npos) << run.out;
    }
}

// Nothing predicts the first size; a cell whose own check shows that its runs would take more
// than three times the budget is checked, then not timed, while a fast one beside it is timed. A
// call over half the budget is too slow: gift wrapping on 20,000 circle points takes some 0.35 s a
// call in a Release build, the monotone chain 0.002 s (0.025 s in the sanitized build), so each
// is at least three times from the line of 0.1 s on a busy machine or a faster one.
TEST_F(HullLab, ACellWhoseCheckShowsItOverTheBudgetIsCheckedButNotTimed) {
    LabRun run = lab("--shapes circle --sizes 20000 --algorithms gift_wrapping-array,incremental-array"
                     " --budget 0.2 --min-seconds 0.001 --tsv lab.tsv");
    EXPECT_EQ(run.status, 0) << run.err;
    std::map<std::string, std::vector<std::string>> cells;
    for (const auto& f : tsv("lab.tsv")) cells[f[3]] = f;
    ASSERT_EQ(cells.size(), 2u);
    EXPECT_EQ(cells["gift_wrapping-array"][7], "skipped") << cells["gift_wrapping-array"][8];
    EXPECT_NE(cells["gift_wrapping-array"][8].find("its check's call took"), std::string::npos)
        << cells["gift_wrapping-array"][8];
    EXPECT_EQ(cells["incremental-array"][7], "ok") << cells["incremental-array"][8];
}

TEST_F(HullLab, BadArgumentsExitWithStatusTwoBeforeAnyCellRuns) {
    fs::create_directory(dir_.path / "tsv-is-a-folder");
    std::ofstream(dir_.path / "a-file") << "not a folder\n";
    const std::string tooMany = std::to_string(lab::convexLargest() + 1);
    struct Case {
        std::string arguments, message;
    } cases[] = {
        {"--shapes square,triangle", "unknown shape \"triangle\""},
        {"--algorithms qhull,bogosort", "unknown algorithm \"bogosort\""},
        {"--sizes 100,abc", "size \"abc\" is not a positive whole number"},
        {"--sizes 0", "size \"0\" is not a positive whole number"},
        {"--sizes -5", "size \"-5\" is not a positive whole number"},
        {"--sizes 1000000000000", "size 1000000000000 needs about"},
        {"--shapes convex --sizes " + tooMany, "the largest it can is " + std::to_string(lab::convexLargest())},
        {"--runs 0", "--runs must be a whole number from 1"},
        {"--budget 0", "--budget must be a number of seconds above 0"},
        {"--budget -3", "--budget must be a number of seconds above 0"},
        {"--tsv tsv-is-a-folder", "cannot write tsv-is-a-folder: Is a directory"},
        {"--write-points a-file", "cannot write into the points folder a-file"},
        {"--write-points no/such/folder", "cannot make the points folder no/such/folder"},
        {"--colour blue", "unknown argument --colour"},
        {"--runs", "--runs needs a value"},
        {"--sets 257", "--sets must be a whole number from 1 to 256"},
        {"--repeat-report 1", "--repeat-report must be a whole number from 2 to 100"},
        {"--write-points a-file/x", "cannot make the points folder a-file/x: Not a directory"},
        {"--write-hulls a-file", "cannot write into the hulls folder a-file"},
        {"--shapes ulp --coordinates int", "--shapes ulp is a shape of doubles: give --coordinates f64"},
        {"--relative --algorithms qhull,chan", "--relative shows each figure as a multiple of copy's in the same round"},
        {"--relative=chan --algorithms qhull,copy", "--algorithms must name chan"},
    };
    for (const Case& c : cases) {
        LabRun run = lab(c.arguments);
        EXPECT_EQ(run.status, 2) << c.arguments;
        ASSERT_FALSE(run.err.empty()) << c.arguments;
        EXPECT_EQ(lines(run.err)[0].rfind("hull-lab: ", 0), 0u) << c.arguments << ": " << run.err;
        EXPECT_NE(lines(run.err)[0].find(c.message), std::string::npos) << c.arguments << ": " << run.err;
        // The message and a pointer to the help, not the whole help.
        ASSERT_EQ(lines(run.err).size(), 2u) << c.arguments << ": " << run.err;
        EXPECT_EQ(lines(run.err)[1], "hull-lab --help lists the options, hull-lab --list the shapes and entries") << c.arguments;
        EXPECT_EQ(run.out, "") << c.arguments << ": a cell ran";
    }
}

// A typo in any argument must not cost the user the results of an earlier run.
TEST_F(HullLab, ABadArgumentLeavesAnExistingTsvAsItWas) {
    std::ofstream(dir_.path / "a-file") << "not a folder\n";
    const std::string earlier = "shape\tn\th\talgorithm\tmedian_s\tmin_s\tmax_s\tstatus\tnote\nsquare\t10\t4\tqhull\t1\t1\t1\tok\t\n";
    for (const char* bad : {"--write-points a-file/x", "--write-points a-file", "--sizes 1000,x", "--runs 0",
                            "--sets 0", "--same-points --sets 2", "--repeat-report 3"}) {
        testfiles::writeLines(dir_.path / "results.tsv", lines(earlier));
        LabRun run = lab(std::string("--sizes 1000 --tsv results.tsv ") + bad);
        EXPECT_EQ(run.status, 2) << bad << ": " << run.err;
        EXPECT_EQ(read(dir_.path / "results.tsv"), earlier) << bad << ": the earlier TSV was touched";
    }
    EXPECT_FALSE(fs::exists(dir_.path / "a-file" / "x"));
}

// The default (a new point set for each call), --same-points and --sets K all run, check every
// hull and write the same TSV; the table says how the calls took their points.
TEST_F(HullLab, EveryWayOfTakingPointSetsRunsAndParses) {
    struct Case {
        const char* arguments;
        const char* header;
    } cases[] = {
        {"", "each call on the next of the cell's point sets"},
        {"--same-points", "every call on the same points"},
        {"--sets 5", "each call on the next of 5 point sets"},
    };
    for (const Case& c : cases) {
        LabRun run = lab(std::string("--shapes lattice,circle --sizes 300,3000 --algorithms incremental,qhull-array,chan "
                                     "--runs 1 --tsv lab.tsv ") + c.arguments);
        ASSERT_EQ(run.status, 0) << c.arguments << ": " << run.err;
        EXPECT_NE(run.out.find(c.header), std::string::npos) << c.arguments << ": " << run.out;
        auto rows = tsv("lab.tsv");
        EXPECT_EQ(rows.size(), 2 * 2 * 3u) << c.arguments;
        for (const auto& f : rows) {
            EXPECT_EQ(f[7], "ok") << c.arguments << ": " << f[0] << ' ' << f[1] << ' ' << f[3] << ": " << f[8];
            EXPECT_EQ(std::stoll(f[2]), std::int64_t(corners(lab::makeShape(f[0], std::stoll(f[1]), 1))))
                << c.arguments << ": h is not the first set's";
        }
    }
}

// The floors run like any cell (no hull to check, h still the row's), and --relative ENTRY gives
// every other figure as a multiple of ENTRY's, which stays in seconds: the median of the ratios of
// the runs made in the same round (the TSV keeps the runs in the order of the rounds).
TEST_F(HullLab, TheFloorsRunAndRelativeTablesShowRatiosOfRunsOfOneRound) {
    for (const std::string base : {"copy", "copy-list"}) {
        LabRun run = lab("--shapes disc --sizes 3000 --algorithms copy,copy-list,filter-radix-chain --runs 3 --relative=" +
                         base + " --tsv lab.tsv");
        ASSERT_EQ(run.status, 0) << run.err;
        auto rows = tsv("lab.tsv");
        ASSERT_EQ(rows.size(), 3u);
        std::map<std::string, std::vector<double>> runs;
        std::map<std::string, double> seconds;
        for (const auto& f : rows) {
            EXPECT_EQ(f[7], "ok") << f[3] << ": " << f[8];
            EXPECT_EQ(std::stoll(f[2]), std::int64_t(corners(lab::makeShape("disc", 3000, 1)))) << f[3];
            seconds[f[3]] = std::stod(f[4]);
            std::stringstream list(f[9]);
            for (std::string figure; std::getline(list, figure, ',');) runs[f[3]].push_back(std::stod(figure));
        }
        EXPECT_NE(run.out.find("multiples of " + base + "'s time per call in the same round"), std::string::npos)
            << run.out;
        std::string row;
        for (const std::string& line : lines(run.out)) row = line.rfind("     3000", 0) == 0 ? line : row;
        std::istringstream in(row);
        std::vector<std::string> words;
        for (std::string word; in >> word;) words.push_back(word);
        ASSERT_EQ(words.size(), 8u) << "n, h, then a figure and its interval per entry: " << row;
        // The fastest hull, named by its former name, runs under its name now.
        const std::vector<std::string> entries = {"copy", "copy-list", lab::kFastestName};
        for (std::size_t e = 0; e < entries.size(); ++e) {
            const std::string& figure = words[2 + 2 * e];
            EXPECT_EQ(words[3 + 2 * e].rfind("+-", 0), 0u) << entries[e] << " in " << row;
            if (entries[e] == base) {
                EXPECT_NEAR(std::stod(figure), seconds[base], seconds[base] * 0.01) << "the base in seconds: " << row;
                continue;
            }
            ASSERT_EQ(figure.back(), 'x') << row;
            std::vector<double> ratios;
            for (std::size_t r = 0; r < 3; ++r) ratios.push_back(runs[entries[e]][r] / runs[base][r]);
            std::sort(ratios.begin(), ratios.end());
            EXPECT_NEAR(std::stod(figure), ratios[1], 0.006 * ratios[1] + 0.006)
                << entries[e] << " against " << base << ", round by round: " << row;
        }
    }
}

// The repeat report: a spread of at least 1 for every timed cell, and the largest ones named.
TEST_F(HullLab, TheRepeatReportPrintsASpreadForEveryCell) {
    LabRun run = lab("--shapes square --sizes 500,2000 --algorithms incremental,chan --runs 1 --repeat-report 3");
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> out = lines(run.out);
    ASSERT_GE(out.size(), 6u) << run.out;
    EXPECT_EQ(out[0].rfind("date:", 0), 0u) << "the run's context comes first: " << run.out;
    EXPECT_NE(run.out.find("\nSpread of each cell's median over 3 runs"), std::string::npos) << run.out;
    int rows = 0;
    for (const std::string& line : out) {
        std::istringstream in(line);
        long long n = 0;
        double a = 0, b = 0;
        if (!(in >> n >> a >> b)) continue;
        ++rows;
        EXPECT_TRUE(n == 500 || n == 2000) << line;
        EXPECT_TRUE(a >= 1 && b >= 1 && a < 100 && b < 100) << line;
    }
    EXPECT_EQ(rows, 2) << run.out;
    EXPECT_NE(run.out.find("largest spread, every cell: "), std::string::npos) << run.out;
}

// SIGTERM in the middle of a run stops the child, and the TSV keeps whole lines only.
TEST_F(HullLab, ATerminatedRunLeavesATsvOfWholeLines) {
    std::string command = "cd '" + dir_.path.string() + "' && { '" HULL_LAB_PATH
                          "' --shapes circle --sizes 1000,2000,3000,4000 --runs 2 --tsv lab.tsv >/dev/null 2>&1 & "
                          "pid=$!; while [ \"$(grep -v '^#' lab.tsv 2>/dev/null | wc -l)\" -lt 4 ]; do sleep 0.05; done; "
                          "kill -TERM $pid; wait $pid; echo $? > status; }";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read(dir_.path / "status"), "143\n");
    std::string text = read(dir_.path / "lab.tsv");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    auto rows = tsv("lab.tsv");
    EXPECT_GE(rows.size(), 3u);
    EXPECT_LT(rows.size(), 4 * lab::algorithms().size());
}

}  // namespace

namespace {

// A run over every shape and every entry of the build, two of the user's among them (one right,
// one that drops a corner), gives each cell the status, h and note it was recorded with in
// tests/data/ (the TSV's columns but the times, and the failures told on standard error), when the
// lab's outline was split into its steps. A cell of a library this build lacks is passed over.
TEST(HullLabRecorded, EveryShapeAndEntryEndsAsRecorded) {
    if (kSanitized) GTEST_SKIP() << "the plain build holds the run to its record; here it takes several times as long";
    testfiles::TempDir dir("lab-recorded");
    const LabRun run = runLab(dir.path,
                              "--shapes square,disc,normal,circle,lattice,line,sliver,convex --sizes 100,1000 "
                              "--algorithms all --runs 1 --min-seconds 0.01 --budget 100 --failures FAILURES --tsv cells.tsv "
                              "--plugin '" TEST_PLUGINS_DIR "/libmissing-corner.so','" EXAMPLES_DIR "/libgraham.so'");
    ASSERT_EQ(run.status, 1) << run.err;
    auto split = [](const std::string& line) {
        std::vector<std::string> fields;
        std::stringstream in(line);
        for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
        if (!line.empty() && line.back() == '\t') fields.push_back("");
        return fields;
    };
    auto inBuild = [](const std::string& algorithm) {
        return lab::findAlgorithm(algorithm) != nullptr || algorithm == "missing-corner" || algorithm == "graham";
    };
    // The TSV's shape, n, h, algorithm, status and note of every cell, in the order they were written.
    std::vector<std::string> expected, got;
    for (const std::string& line : lines(read(fs::path(PROJECT_SOURCE) / "tests/data/lab-cells.tsv"))) {
        const std::vector<std::string> fields = split(line);
        if (fields.size() > 3 && (fields[3] == "algorithm" || inBuild(fields[3]))) expected.push_back(line);
    }
    for (const std::string& line : testfiles::tsvLines(read(dir.path / "cells.tsv"))) {
        const std::vector<std::string> f = split(line);
        ASSERT_GE(f.size(), 9u) << line;
        got.push_back(f[0] + "\t" + f[1] + "\t" + f[2] + "\t" + f[3] + "\t" + f[7] + "\t" + f[8]);
    }
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], expected[i]) << "cell " << i;
    // The failures told on standard error, the same lines in the same order.
    std::vector<std::string> told;
    for (const std::string& line : lines(read(fs::path(PROJECT_SOURCE) / "tests/data/lab-cells.err"))) {
        const std::size_t at = line.find(" (seed ");
        const std::size_t name = line.rfind(", ", at);
        if (at != std::string::npos && name != std::string::npos && inBuild(line.substr(name + 2, at - name - 2))) {
            told.push_back(line);
        }
    }
    // The last line, since the exit status judges the user's entries: the others' failures are findings.
    std::vector<std::string> err = lines(run.err);
    if (told.size() > 14) {  // 14 of the lines are missing-corner's
        ASSERT_FALSE(err.empty());
        EXPECT_EQ(err.back().rfind("hull-lab: " + std::to_string(told.size() - 14) + " failure", 0), 0u) << err.back();
        EXPECT_NE(err.back().find("of entries not yours (named above) are findings"), std::string::npos) << err.back();
        err.pop_back();
    }
    EXPECT_EQ(err, told);
}

}  // namespace
