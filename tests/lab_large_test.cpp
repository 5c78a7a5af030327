// What the lab does for large inputs: the quick proof of a hull (reference::quickCorners) against
// the sorted reference check (it must never accept what the reference rejects, and should accept
// every right hull); the lab's corner count and verdict; the sets a row's processes share; and a
// timed process that faults no page in afresh.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <memory>
#include <cstdio>
#include <stdexcept>
#include <random>
#include <string>
#include <vector>

#include "../lab/lab.h"
#include "../lab/inputs/inputs.h"
#include "../lab/run/cell.h"

extern char** environ;

// The sanitizers' hull-lab has an allocator of its own, which glibc's settings do not reach.
#if defined(__SANITIZE_ADDRESS__)
#define HULL_LAB_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HULL_LAB_OWN_ALLOCATOR 1
#endif
#endif

namespace {

using Hull = std::vector<reference::Pt>;

std::string show(const Hull& hull) {
    std::string text;
    for (const reference::Pt& p : hull) text += reference::show(p) + " ";
    return text;
}

// The ways a hull goes wrong, each made from the right one; some of them stay right (a rotation
// under a promise with any start is not tried here: quickCorners takes the start as given).
std::vector<std::pair<std::string, Hull>> variants(const Hull& right, const std::vector<Point>& points,
                                                   std::mt19937_64& random) {
    std::vector<std::pair<std::string, Hull>> out = {{"right", right}};
    Hull reversed = right;
    if (reversed.size() > 1) std::reverse(reversed.begin() + 1, reversed.end());
    out.push_back({"reversed", reversed});
    Hull rotated = right;
    std::rotate(rotated.begin(), rotated.begin() + std::ptrdiff_t(right.size() / 2), rotated.end());
    out.push_back({"rotated", rotated});
    Hull twice = right;
    twice.insert(twice.end(), right.begin(), right.end());
    out.push_back({"winds twice", twice});
    for (std::size_t i = 0; i < right.size(); ++i) {
        Hull dropped = right;
        dropped.erase(dropped.begin() + std::ptrdiff_t(i));
        out.push_back({"corner " + std::to_string(i) + " dropped", dropped});
        Hull repeated = right;
        repeated.insert(repeated.begin() + std::ptrdiff_t(i), right[i]);
        out.push_back({"corner " + std::to_string(i) + " twice in a row", repeated});
    }
    for (int k = 0; k < 6 && !points.empty(); ++k) {
        // Any input point, foreign points next to it, put between two corners.
        const Point& p = points[random() % points.size()];
        const std::size_t at = std::size_t(random() % (right.size() + 1));
        for (reference::Pt q : {reference::Pt{p.x, p.y}, reference::Pt{p.x + 1, p.y}, reference::Pt{p.x, p.y - 1}}) {
            Hull inserted = right;
            inserted.insert(inserted.begin() + std::ptrdiff_t(at), q);
            out.push_back({"point " + reference::show(q) + " put at " + std::to_string(at), inserted});
        }
        Hull replaced = right;
        if (!replaced.empty()) replaced[random() % replaced.size()] = {p.x, p.y};
        out.push_back({"a corner replaced by " + reference::show({p.x, p.y}), replaced});
    }
    return out;
}

// Small point sets on a 9 x 9 grid (copies, collinear runs, points on edges), then the same sets
// scaled far beyond 2^30, where the quick proof takes the exact 128-bit turns.
TEST(QuickCheck, AcceptsARightHullAndNothingTheReferenceRejects) {
    std::mt19937_64 random(7);
    int accepted = 0, rejected = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const bool wide = trial % 3 == 2;
        const std::int64_t scale = wide ? (std::int64_t(1) << 40) + 12345 : 1;
        std::vector<Point> points(1 + random() % 14);
        for (Point& p : points) p = {std::int64_t(random() % 9 - 4) * scale, std::int64_t(random() % 9 - 4) * scale};
        if (trial % 50 == 0) {  // a line
            for (Point& p : points) p.y = 2 * p.x - scale;
        }
        const std::vector<reference::Pt> input = lab::referencePoints(points);
        std::vector<reference::Pt> sorted = input;
        std::sort(sorted.begin(), sorted.end());
        const reference::Input reference{
            "the input", reference::corners(input),
            [&](reference::Pt p) { return std::binary_search(sorted.begin(), sorted.end(), p); },
            [](reference::Pt) { return std::string("the input"); }};
        Hull onEdges;  // the right hull with every input point on an edge, clockwise
        for (std::size_t i = 0; i < reference.corners.size(); ++i) {
            const reference::Pt a = reference.corners[i], b = reference.corners[(i + 1) % reference.corners.size()];
            onEdges.push_back(a);
            std::vector<reference::Pt> between;
            for (const reference::Pt& q : sorted) {
                if (reference.corners.size() > 2 && reference::turn(a, b, q) == 0 && reference::dotSign(q, a, b) < 0 &&
                    (between.empty() || between.back() != q)) {
                    between.push_back(q);
                }
            }
            std::sort(between.begin(), between.end(), [&](reference::Pt u, reference::Pt v) {
                return reference::dotSign(u, a, v) < 0;  // u between a and v: nearer a
            });
            onEdges.insert(onEdges.end(), between.begin(), between.end());
        }
        for (bool clockwise : {true, false}) {
            for (bool strict : {true, false}) {
                const reference::Promise promise{clockwise, strict, false};
                Hull right = strict ? reference.corners : onEdges;
                if (!clockwise && right.size() > 1) std::reverse(right.begin() + 1, right.end());
                for (const auto& [why, hull] : variants(right, points, random)) {
                    std::vector<reference::Pt> found;
                    const std::string verdict = reference::checkHull(promise, "result", hull, reference, found);
                    const std::size_t quick = reference::quickCorners(promise, hull, points);
                    const std::string context = "trial " + std::to_string(trial) + " (seed 7), " + why +
                                                (clockwise ? ", clockwise" : ", counter-clockwise") +
                                                (strict ? ", strict" : ", edge points allowed") +
                                                "\n  input corners: " + show(reference.corners) + "\n  hull: " + show(hull);
                    if (quick > 0) {
                        EXPECT_EQ(verdict, "") << "the quick proof accepted a wrong hull: " << context;
                        EXPECT_EQ(quick, reference.corners.size()) << context;
                    } else if (verdict.empty() && reference.corners.size() >= 2) {
                        ADD_FAILURE() << "the quick proof turned down a right hull: " << context;
                    }
                    (quick > 0 ? accepted : rejected) += 1;
                }
            }
        }
    }
    EXPECT_GT(accepted, 3000);  // both kinds of answer were asked for, many times
    EXPECT_GT(rejected, 30000);
}

TEST(QuickCheck, TurnsDownEachKindOfWrongHull) {
    const std::vector<Point> square = {{0, 0}, {0, 4}, {4, 4}, {4, 0}, {2, 2}, {0, 2}, {1, 3}};
    const reference::Promise clockwise{true, true, false}, loose{true, false, false};
    struct Case {
        const char* why;
        reference::Promise promise;
        Hull hull;
        std::size_t expected;
    } cases[] = {
        {"right", clockwise, {{0, 0}, {0, 4}, {4, 4}, {4, 0}}, 4},
        {"right, with an edge point where they are allowed", loose, {{0, 0}, {0, 2}, {0, 4}, {4, 4}, {4, 0}}, 4},
        {"an edge point where only corners belong", clockwise, {{0, 0}, {0, 2}, {0, 4}, {4, 4}, {4, 0}}, 0},
        {"an edge point out of order", loose, {{0, 0}, {0, 4}, {0, 2}, {4, 4}, {4, 0}}, 0},
        {"reversed", clockwise, {{0, 0}, {4, 0}, {4, 4}, {0, 4}}, 0},
        {"a corner missing", clockwise, {{0, 0}, {0, 4}, {4, 4}}, 0},
        {"a foreign point", clockwise, {{0, 0}, {0, 4}, {5, 5}, {4, 0}}, 0},
        {"a foreign point on an edge", loose, {{0, 0}, {0, 4}, {2, 4}, {4, 4}, {4, 0}}, 0},
        {"an inside point", clockwise, {{0, 0}, {0, 4}, {4, 4}, {2, 2}, {4, 0}}, 0},
        {"a corner twice", clockwise, {{0, 0}, {0, 4}, {4, 4}, {4, 0}, {0, 4}}, 0},
        {"winds twice", clockwise, {{0, 0}, {0, 4}, {4, 4}, {4, 0}, {0, 0}, {0, 4}, {4, 4}, {4, 0}}, 0},
        {"starts elsewhere", clockwise, {{4, 4}, {4, 0}, {0, 0}, {0, 4}}, 0},
        {"two points", clockwise, {{0, 0}, {4, 4}}, 0},
        {"one point", clockwise, {{0, 0}}, 0},
        {"empty", clockwise, {}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(reference::quickCorners(c.promise, c.hull, square), c.expected) << c.why;
    // A five-pointed star turns one way at every corner, each corner once, and winds round twice.
    const std::vector<Point> pentagon = {{0, 0}, {4, -2}, {7, 2}, {4, 6}, {0, 4}};
    EXPECT_EQ(reference::quickCorners(clockwise, {{0, 0}, {0, 4}, {4, 6}, {7, 2}, {4, -2}}, pentagon), 5u);
    EXPECT_EQ(reference::quickCorners(clockwise, {{0, 0}, {4, 6}, {4, -2}, {0, 4}, {7, 2}}, pentagon), 0u) << "a star";
    const std::vector<Point> line = {{0, 0}, {2, 1}, {4, 2}, {6, 3}, {2, 1}};
    EXPECT_EQ(reference::quickCorners(clockwise, {{0, 0}, {6, 3}}, line), 2u) << "a line's two ends";
    EXPECT_EQ(reference::quickCorners(clockwise, {{0, 0}, {4, 2}}, line), 0u) << "a line cut short";
    EXPECT_EQ(reference::quickCorners(clockwise, {{0, 0}, {2, 1}, {6, 3}}, line), 0u) << "a line with its middle";
}

// ---- The lab's checks on large inputs ------------------------------------------------------------

TEST(QuickCheck, TheLabsCornerCountIsTheReferencesOnEveryShape) {
    for (const lab::Shape& shape : lab::shapes()) {
        const std::int64_t n = std::min<std::int64_t>(200000, shape.name == "convex" ? lab::convexLargest() : 200000);
        const std::vector<Point> points = lab::makeShape(shape.name, n, 3);
        EXPECT_EQ(lab::cornerCount(points), reference::corners(lab::referencePoints(points)).size()) << shape.name << ", seed 3";
    }
}

TEST(QuickCheck, ALargeWrongHullStillGetsTheReferencesMessage) {
    const std::vector<Point> points = lab::makeShape("disc", lab::kQuickCheckFrom, 5);
    const Hull right = reference::corners(lab::referencePoints(points));  // clockwise from the least point
    const lab::Algorithm& incremental = *lab::findAlgorithm("incremental");
    std::size_t h = 0;
    EXPECT_EQ(lab::checkResult(incremental, points, right, h).words, "") << "disc, seed 5";
    EXPECT_EQ(h, right.size());
    Hull missing = right;
    missing.erase(missing.begin() + 3);
    EXPECT_NE(lab::checkResult(incremental, points, missing, h).words.find("lies outside the hull"), std::string::npos);
    Hull rotated = right;
    std::rotate(rotated.begin(), rotated.begin() + 5, rotated.end());
    EXPECT_NE(lab::checkResult(incremental, points, rotated, h).words.find("starts at"), std::string::npos);
    lab::Algorithm loose = incremental;
    loose.anyStart = true;
    loose.anyDirection = true;
    std::reverse(rotated.begin(), rotated.end());
    EXPECT_EQ(lab::checkResult(loose, points, rotated, h).words, "") << "no promised start or direction: rotated, reversed";
    EXPECT_EQ(h, right.size());
}

// ---- Shared sets ---------------------------------------------------------------------------------

TEST(SharedSets, ARowsSetsReadBackAsTheShapeMakesThem) {
    const std::string path = testing::TempDir() + "/shared-sets.points";
    for (const char* shape : {"disc", "lattice"}) {
        for (bool firstGiven : {false, true}) {  // the first set as the parent made it for the row's h, or not
            const std::vector<Point> first = firstGiven ? lab::makeShape(shape, 5000, 9) : std::vector<Point>();
            ASSERT_TRUE(lab::writeCellSets(path, shape, 5000, 9, 3, first)) << shape;
            lab::CellPlan plan;
            plan.shape = shape;
            plan.n = 5000;
            plan.seed = 9;
            plan.setsFile = path;
            for (int set = 0; set < 3; ++set) {
                const std::vector<Point> read = lab::cellPoints(plan, set, {}),
                                         made = lab::makeShape(shape, 5000, lab::setSeed(9, set));
                EXPECT_TRUE(std::equal(read.begin(), read.end(), made.begin(), made.end(),
                                       [](const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }))
                    << shape << ", seed 9, set " << set + 1 << (firstGiven ? ", the first set given" : "");
            }
            lab::CellPlan beyond = plan;
            EXPECT_THROW(lab::cellPoints(beyond, 3, {}), std::runtime_error) << "a set the file does not hold";
        }
    }
    std::remove(path.c_str());
    EXPECT_FALSE(lab::writeCellSets(testing::TempDir() + "/no-such-folder/sets.points", "disc", 10, 1, 1));
}

// ---- The sets a check reaches -------------------------------------------------------------------

// A real entry whose hull first spends `spin` seconds of processor time, counting its hulls.
class SlowHull : public lab::Runner {
  public:
    SlowHull(std::unique_ptr<lab::Runner> inner, double spin, int& hulls) : inner_(std::move(inner)), spin_(spin), hulls_(hulls) {}
    void call() override { inner_->call(); }
    Hull hull() override {
        ++hulls_;
        timespec now{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        const double until = double(now.tv_sec) + double(now.tv_nsec) * 1e-9 + spin_;
        for (double t = 0; t < until;) {
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
            t = double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
        }
        return inner_->hull();
    }

  private:
    std::unique_ptr<lab::Runner> inner_;
    double spin_;
    int& hulls_;
};

// A process that only checks stops once its calls add up to twice the minimum time (at least one
// set): the timed processes, which take the sets in turn for that time, reach no further.
TEST(CheckSets, ACheckAloneChecksTheSetsTheTimedRunsReach) {
    struct Case {
        const char* name;
        double spin, minSeconds;
        int runs, checked;
    } const cases[] = {
        {"calls longer than twice the minimum time: the first set alone", 0.005, 0.001, 0, 1},
        {"3 ms calls, 4 ms the minimum: the sets until 8 ms", 0.003, 0.004, 0, 3},
        {"fast calls: every set", 0, 0.2, 0, 16},
        {"a process that also times: every set", 0.005, 0.001, 1, 16},
    };
    for (const Case& c : cases) {
        int hulls = 0;
        lab::Algorithm slow = *lab::findAlgorithm("incremental-array");
        const auto prepare = slow.prepare;
        slow.prepare = [&, prepare](const std::vector<Point>& points) -> std::unique_ptr<lab::Runner> {
            return std::make_unique<SlowHull>(prepare(points), c.spin, hulls);
        };
        lab::CellPlan plan;
        plan.shape = "disc";
        plan.n = 200;
        plan.seed = 3;
        plan.sets = 16;
        plan.runs = c.runs;
        plan.minSeconds = c.minSeconds;
        const lab::CellResult result = lab::runCell(plan, slow, [](const lab::CellResult&) {});
        EXPECT_EQ(result.setsChecked, c.checked) << c.name;
        EXPECT_EQ(hulls, c.checked) << c.name;
        EXPECT_EQ(result.wrong, "") << c.name;
    }
}

// The check process tells the parent how many sets it checked, so that the timed ones keep to them.
TEST(CheckSets, TheCheckProcessReportsTheSetsItChecked) {
    struct Case {
        const char* cell;
        int checked;
    } const cases[] = {
        {"circle 10000 gift_wrapping-array 1 0 0.01 16", 1},  // n h = 10^8 a call
        {"disc 1000 incremental-array 1 0 0.2 16", 16},
    };
    for (const Case& c : cases) {
        const std::string command = std::string(HULL_LAB_PATH) + " --cell " + c.cell;
        std::FILE* out = popen(command.c_str(), "r");
        ASSERT_NE(out, nullptr);
        std::string report;
        for (char buffer[256]; std::fgets(buffer, sizeof buffer, out) != nullptr;) report += buffer;
        EXPECT_EQ(pclose(out), 0) << c.cell;
        EXPECT_NE(report.find("sets-checked " + std::to_string(c.checked) + "\n"), std::string::npos)
            << c.cell << ":\n" << report;
    }
}

// ---- A timed process's heap ------------------------------------------------------------------------

// The minor page faults of one `hull-lab --cell` process timing for `seconds`, warmed up by the
// words of `warm` ("warm-up": an untimed call, or with a touched heap the copy of a list;
// "heap=BYTES": its heap grown and touched).
long cellFaults(const std::string& algorithm, const std::string& n, double seconds, const std::string& warm) {
    const std::string time = std::to_string(seconds);
    std::vector<std::string> words = {HULL_LAB_PATH, "--cell", "square", n, algorithm, "1", "1", time, "1", "no-check"};
    for (std::size_t at = 0, space = 0; at < warm.size(); at = space + 1) {
        space = std::min(warm.find(' ', at), warm.size());
        words.push_back(warm.substr(at, space - at));
    }
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    if (posix_spawn(&child, HULL_LAB_PATH, &actions, nullptr, argv.data(), environ) != 0) return -1;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_minflt : -1;
}

// With glibc's defaults, a process that had not checked the hulls faulted thousands of pages in
// per 0.4 s at 10,000 points in several entries: each call's copy was mapped or trimmed afresh.
// From 1,000,000 points an array entry's heap is grown and touched instead of the untimed call:
// 200 MB here, more than any of these calls takes; a list entry's process makes its copy once
// (400 MB: the nodes of the list it keeps and of the copy).
TEST(CellHeap, ATimedProcessFaultsNoPageInAfterItsFirstCalls) {
#ifdef HULL_LAB_OWN_ALLOCATOR
    GTEST_SKIP() << "the sanitizer replaces glibc's allocator";
#endif
    struct Case {
        const char* n;
        const char* warm;
        std::vector<const char*> algorithms;
    } const cases[] = {
        {"10000", "warm-up", {"incremental-array", "chan", "qhull-array", "incremental", "copy"}},
        {"100000", "warm-up", {"incremental-array", "chan", "qhull-array", "incremental", "copy"}},
        {"1000000", "heap=200000000", {"incremental-array", "qhull-array", "copy"}},
        {"1000000", "heap=400000000 warm-up", {"qhull", "gift_wrapping", "copy-list"}},
    };
    for (const Case& c : cases) {
        for (const char* algorithm : c.algorithms) {
            const long shortRun = cellFaults(algorithm, c.n, 0.05, c.warm), longRun = cellFaults(algorithm, c.n, 0.4, c.warm);
            ASSERT_GE(shortRun, 0) << algorithm << " " << c.n;
            ASSERT_GE(longRun, 0) << algorithm << " " << c.n;
            EXPECT_LT(longRun - shortRun, 100) << algorithm << ", square, " << c.n << " points, " << c.warm
                                               << ": faults in 0.05 s of timing " << shortRun << ", in 0.4 s " << longRun;
        }
    }
}

// ---- The heap a process is given -------------------------------------------------------------------

// A process's heap is grown to the peak predicted from the size before. The program and its
// libraries (12 MB here) do not grow with n: scaled with the points they made the touched heap at
// 10,000,000 points three to four times what the calls took.
TEST(CellHeap, ThePredictedPeakScalesWhatTheCellsTook) {
    struct Case {
        const char* what;
        std::int64_t n, m;
        double peak, start, expected;
    } const cases[] = {
        {"ten times the points", 1000000, 100000, 17e6, 12e6, 62e6},
        {"the same size", 100000, 100000, 17e6, 12e6, 17e6},
        {"no start known", 1000000, 100000, 17e6, 0, 170e6},
        {"a start above the peak", 1000000, 100000, 17e6, 20e6, 17e6},
        {"too few points to tell", 100000, 10000, 17e6, 12e6, 0},
        {"no peak known", 1000000, 100000, 0, 12e6, 0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(lab::predictedPeakBytes(c.n, c.m, c.peak, c.start), c.expected) << c.what;
    }
    // Size after size, a process touched to the prediction peaks at the larger of it and what its
    // calls take (12 MB and 48 bytes a point here): the prediction stays within 10% of that.
    for (const double perPoint : {16.0, 48.0, 200.0}) {
        const double start = 12e6;
        auto need = [&](std::int64_t n) { return start + perPoint * double(n); };
        std::int64_t m = 100000;
        double peak = need(m);
        for (std::int64_t n = 1000000; n <= 100000000; n *= 10) {
            const double predicted = lab::predictedPeakBytes(n, m, peak, start);
            EXPECT_NEAR(predicted / need(n), 1.0, 0.1) << perPoint << " bytes a point, " << n << " points";
            m = n;
            peak = std::max(predicted, need(n));
        }
    }
}

}  // namespace
