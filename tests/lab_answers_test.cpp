// The answers a run gives at a glance: each row's fastest named, entries chosen by library or
// group, an exit status about the user's own entries, cells tried rather than skipped on a guess.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../lab/lab.h"
#include "../lab/run/figures.h"
#include "../lab/run/pass.h"
#include "lab_run.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;
using testfiles::lines;

class Answers : public testing::Test {
  protected:
    LabRun lab(const std::string& arguments) { return runLab(dir_.path, arguments); }
    // The TSV's cells: (algorithm, "shape n") -> (status, note).
    std::map<std::pair<std::string, std::string>, std::pair<std::string, std::string>> cells() {
        std::map<std::pair<std::string, std::string>, std::pair<std::string, std::string>> result;
        for (const std::string& line : testfiles::tsvLines(testfiles::read(dir_.path / "lab.tsv"))) {
            std::vector<std::string> f;
            std::stringstream in(line);
            for (std::string field; std::getline(in, field, '\t');) f.push_back(field);
            if (f.size() >= 9 && f[0] != "shape") result[{f[3], f[0] + " " + f[1]}] = {f[7], f[8]};
        }
        return result;
    }
    testfiles::TempDir dir_{"hull-lab-answers"};
};

// ---- The fastest of a row ----------------------------------------------------------------------

lab::Outcome cell(const char* name, double median, double lo, double hi, lab::Status status = lab::Status::Ok) {
    lab::Outcome o;
    o.algorithm = name;
    o.median = median, o.lo = lo, o.hi = hi, o.status = status;
    return o;
}

TEST(LabFastest, TheFastestRightCellWinsAndIsSureOnlyWhenNoIntervalReachesIt) {
    auto all = [](const lab::Outcome&) { return true; };
    struct Case {
        const char* name;
        std::vector<lab::Outcome> row;
        int index, rival;
        bool sure;
    } cases[] = {
        {"apart", {cell("a", 2, 1.9, 2.1), cell("b", 1, 0.9, 1.1)}, 1, 0, true},
        {"overlapping intervals", {cell("a", 1.2, 1.0, 1.4), cell("b", 1, 0.9, 1.1)}, 1, 0, false},
        {"a tie goes to the first", {cell("a", 1, 0.9, 1.1), cell("b", 1, 0.9, 1.1)}, 0, 1, false},
        {"a WRONG hull is never the fastest", {cell("a", 0.1, 0.09, 0.11, lab::Status::Wrong), cell("b", 1, 0.9, 1.1)}, 1, -1, true},
        {"a skipped cell is not in the race", {cell("a", 0.1, 0, 0, lab::Status::Skipped), cell("b", 1, 0.9, 1.1)}, 1, -1, true},
        {"one run: no interval, not sure", {cell("a", 2, 0, 0), cell("b", 1, 0, 0)}, 1, 0, false},
        {"nothing timed", {cell("a", 0, 0, 0, lab::Status::Crashed)}, -1, -1, true},
        {"the runner-up is the second fastest", {cell("a", 3, 2.9, 3.1), cell("b", 1, 0.9, 1.1), cell("c", 2, 1.9, 2.1)}, 1, 2, true},
    };
    for (const Case& c : cases) {
        const lab::Fastest f = lab::fastestOf(c.row, all);
        EXPECT_EQ(f.index, c.index) << c.name;
        EXPECT_EQ(f.rival, c.rival) << c.name;
        if (c.index >= 0) {
            EXPECT_EQ(f.sure, c.sure) << c.name;
        }
    }
    // Only what `eligible` accepts: the floors aside, a slower entry wins.
    const std::vector<lab::Outcome> row = {cell("copy", 0.1, 0.09, 0.11), cell("b", 1, 0.9, 1.1)};
    EXPECT_EQ(lab::fastestOf(row, [](const lab::Outcome& o) { return o.algorithm != "copy"; }).index, 1);
}

TEST_F(Answers, EachTableMarksAndNamesItsRowsFastestAndFastestLibrary) {
    const LabRun run = lab("--shapes disc --sizes 1000,3000 --algorithms copy,qhull-array,cgal-akl-toussaint,incremental --runs 3 "
                           "--min-seconds 0.02 --tsv lab.tsv");
    ASSERT_EQ(run.status, 0) << run.err;
    // The fastest of every row by the TSV's medians, floors aside.
    std::map<std::string, std::pair<double, std::string>> fastest;  // n -> (median, entry)
    for (const std::string& line : testfiles::tsvLines(testfiles::read(dir_.path / "lab.tsv"))) {
        std::vector<std::string> f;
        std::stringstream in(line);
        for (std::string field; std::getline(in, field, '\t');) f.push_back(field);
        if (f[0] == "shape" || f[3] == "copy" || f[7] != "ok") continue;
        const double median = std::stod(f[4]);
        if (!fastest.count(f[1]) || median < fastest[f[1]].first) fastest[f[1]] = {median, f[3]};
    }
    ASSERT_EQ(fastest.size(), 2u);
    for (const auto& [n, best] : fastest) {
        const std::string said = "fastest at " + n + ": " + best.second + " ";
        EXPECT_NE(run.out.find(said), std::string::npos) << said << "\n" << run.out;
        // Its figure marked in the row: one mark a row.
        for (const std::string& row : lines(run.out)) {
            if (row.rfind(std::string(9 - n.size(), ' ') + n, 0) == 0) {
                EXPECT_EQ(std::count(row.begin(), row.end(), '*'), 1) << row;
            }
        }
    }
    EXPECT_NE(run.out.find("; fastest library: cgal-akl-toussaint "), std::string::npos) << run.out;
}

// ---- Entries by library and group ---------------------------------------------------------------

TEST(LabGroups, EachGroupSelectsWhatItSays) {
    for (const auto& [word, what] : lab::entryGroups()) {
        std::vector<std::string> names;
        ASSERT_TRUE(lab::groupEntries(word, names)) << word;
        for (const std::string& name : names) {
            const lab::Algorithm& a = *lab::findAlgorithm(name);
            static const std::map<std::string, lab::Origin> origin = {
                {"libraries", lab::Origin::Peer}, {"lists", lab::Origin::Program}, {"arrays", lab::Origin::ArrayForm},
                {"ours", lab::Origin::Lab},       {"floors", lab::Origin::Floor},  {"yours", lab::Origin::User}};
            const auto kind = origin.find(word);
            if (kind != origin.end()) {
                EXPECT_EQ(a.origin, kind->second) << word << ": " << name;
            } else {
                EXPECT_EQ(a.origin, lab::Origin::Peer) << word << ": " << name;
                EXPECT_EQ(name.rfind(word == "qhull" ? "libqhull-" : word + "-", 0), 0u) << word << ": " << name;
            }
        }
        // Every entry of its kind, none left out.
        std::size_t kind = 0;
        for (const lab::Algorithm& a : lab::algorithms()) {
            kind += (word == "lists" && a.origin == lab::Origin::Program) || (word == "floors" && a.origin == lab::Origin::Floor) ||
                    (word == "libraries" && a.origin == lab::Origin::Peer) || (word == "cgal" && a.library == "CGAL");
        }
        if (word == "lists" || word == "floors" || word == "libraries" || word == "cgal") {
            EXPECT_EQ(names.size(), kind) << word;
        }
    }
    std::vector<std::string> names;
    EXPECT_FALSE(lab::groupEntries("cgal2", names));
    ASSERT_TRUE(lab::groupEntries("lists", names));
    EXPECT_EQ(names, (std::vector<std::string>{"incremental", "gift_wrapping", "qhull"}));
}

TEST_F(Answers, GroupWordsAndNamesMixAndAnEmptyOrUnknownWordIsRefused) {
    std::vector<std::string> cgal;
    lab::groupEntries("cgal", cgal);
    if (cgal.empty()) GTEST_SKIP() << "this build has no CGAL";
    const LabRun run = lab("--algorithms cgal,filter-radix-chain,cgal-akl-toussaint --shapes square --sizes 200 --runs 1 "
                           "--min-seconds 0.01 --tsv lab.tsv");
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> ran;
    for (const auto& [key, value] : cells()) ran.push_back(key.first);
    std::vector<std::string> expected = cgal;
    expected.push_back(lab::kFastestName);  // its former name taken; cgal-akl-toussaint once, where cgal put it
    std::sort(ran.begin(), ran.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ran, expected);
    const struct {
        const char* word;
        const char* message;
    } refused[] = {{"cgall", "unknown algorithm \"cgall\""}, {"yours", "no entry of yours; give --plugin or --program"}};
    for (const auto& c : refused) {
        const LabRun bad = lab(std::string("--algorithms ") + c.word + " --sizes 200");
        EXPECT_EQ(bad.status, 2) << c.word;
        EXPECT_NE(bad.err.find(c.message), std::string::npos) << c.word << ": " << bad.err;
        EXPECT_EQ(bad.out, "") << c.word;
    }
}

// ---- The exit status -----------------------------------------------------------------------------

TEST_F(Answers, WithYourEntriesTheStatusJudgesThemAndStrictJudgesEveryone) {
    // boost-monotone-chain is WRONG on sliver: a library's finding.
    if (lab::findAlgorithm("boost-monotone-chain") == nullptr) GTEST_SKIP() << "this build has no Boost.Geometry";
    const std::string run = " --shapes sliver --sizes 1000 --algorithms boost-monotone-chain --runs 1 --min-seconds 0.01";
    const struct {
        const char* name;
        std::string arguments;
        int status;
    } cases[] = {
        {"no entry of yours: the library's WRONG hull counts", run, 1},
        {"your right plugin: the library's WRONG hull is a finding", "--plugin " TEST_PLUGINS_DIR "/libright-clockwise.so" + run, 0},
        {"--strict: every failure counts", "--strict --plugin " TEST_PLUGINS_DIR "/libright-clockwise.so" + run, 1},
        {"your wrong plugin", "--plugin " TEST_PLUGINS_DIR "/libmissing-corner.so" + run, 1},
        {"your plugin fails a hard input only", "--plugin " TEST_PLUGINS_DIR "/librefuses.so" + run, 1},
    };
    for (const auto& c : cases) {
        const LabRun r = lab(c.arguments);
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.err;
        // The library's failure is told whatever the status.
        EXPECT_NE(r.err.find("WRONG hull: sliver, 1000 points, boost-monotone-chain"), std::string::npos) << c.name << "\n" << r.err;
    }
}

TEST_F(Answers, AProgramThatCannotStartIsRefusedBeforeAnythingRuns) {
    fs::create_directory(dir_.path / "folder");
    for (const char* command : {"/no/such/cmd", "no-such-program-here x.py", "./folder"}) {
        const LabRun run = lab(std::string("--program '") + command + "' --sizes 200 --tsv lab.tsv");
        EXPECT_EQ(run.status, 2) << command;
        EXPECT_EQ(lines(run.err).size(), 1u) << command << ": " << run.err;
        EXPECT_NE(run.err.find("cannot start"), std::string::npos) << command << ": " << run.err;
        EXPECT_EQ(run.out, "") << command;
        EXPECT_FALSE(fs::exists(dir_.path / "lab.tsv")) << command;
        EXPECT_FALSE(fs::exists(dir_.path / "hull-lab-failures")) << command;
    }
}

// ---- Tried, not skipped, on a guess ---------------------------------------------------------------

// The decision on given times: only a prediction from two sizes skips, and only past the budget
// (runs of two calls each, the check's calls until twice the minimum time).
TEST(SkipDecision, FromTwoSizesPastTheBudgetOnlyFromOneTried) {
    using Seen = std::vector<std::pair<std::int64_t, double>>;
    struct Case {
        const char* what;
        Seen seen;
        std::int64_t n;
        int runs, sets;
        double budget;
        bool skipped;
        double call;
    } cases[] = {
        {"no size seen", {}, 1000000, 3, 4, 0.5, false, 0},
        {"one size, its n^2 guess far over", {{1000, 1e-3}}, 100000, 1, 4, 0.5, false, 10},
        {"two sizes, n log n-like growth over", {{1000, 2e-5}, {100000, 2e-3}}, 1000000, 1, 4, 0.05, true, 2e-2},
        {"two sizes, under the budget", {{1000, 2e-5}, {100000, 2e-3}}, 1000000, 1, 4, 0.5, false, 2e-2},
        {"two sizes, more runs pass it", {{1000, 2e-5}, {100000, 2e-3}}, 1000000, 20, 4, 0.5, true, 2e-2},
        {"two sizes, growth held at n^2.5", {{1000, 1e-6}, {10000, 1e-3}}, 100000, 1, 1, 0.5, true, 1e-3 * std::pow(10, 2.5)},
        {"two sizes, growth held at n", {{1000, 1e-3}, {10000, 1e-4}}, 100000, 1, 1, 1, false, 1e-3},
    };
    for (const Case& c : cases) {
        double call = -1;
        EXPECT_EQ(lab::predictedOverBudget(c.seen, c.n, c.runs, c.sets, 0.2, c.budget, call), c.skipped) << c.what;
        EXPECT_NEAR(call, c.call, 1e-9 + 1e-9 * c.call) << c.what;
    }
}

// End to end, only what load cannot flip: gift wrapping on convex points is n^2, at 100,000 points
// seconds a call (15 s here), so its check is stopped at the deadline (3 x 0.5 + 2 s) however busy
// the machine, and the next size is skipped for it. qhull-array's larger cells rest on times
// measured in the run (the decision above), so only their being decided is checked.
TEST_F(Answers, ACellPredictedFromOneSizeIsTriedAndStoppedAndNotRunAgain) {
    if (kSanitized) GTEST_SKIP() << "a whole run: the plain build checks it";
    const LabRun run = lab("--shapes convex --sizes 1000,100000,1000000 --algorithms gift_wrapping-array,qhull-array "
                           "--runs 1 --min-seconds 0.01 --budget 0.5 --tsv lab.tsv");
    EXPECT_EQ(run.status, 0) << run.err;
    auto c = cells();
    auto status = [&c](const char* entry, const char* n) { return c[{entry, n}]; };
    EXPECT_EQ(status("gift_wrapping-array", "convex 100000").first, "stopped") << status("gift_wrapping-array", "convex 100000").second;
    EXPECT_NE(status("gift_wrapping-array", "convex 100000").second.find("stopped after"), std::string::npos);
    EXPECT_EQ(status("gift_wrapping-array", "convex 1000000").first, "skipped");
    for (const char* n : {"convex 100000", "convex 1000000"}) {
        const std::string s = status("qhull-array", n).first;
        EXPECT_TRUE(s == "ok" || s == "skipped") << n << ": " << s << " " << status("qhull-array", n).second;
    }
}

// ---- Other work beside a run -------------------------------------------------------------------------

// A busy loop of the test's own holds a core: the run says so as it begins, and names the
// two-thread cell whose threads waited for it (copy-2t: 0.04 ms a call at 76,000 points on a quiet
// machine, 0.2 to 0.9 ms beside one such loop). Only what the loop makes certain is checked: a
// quiet machine is not.
TEST_F(Answers, ATwoThreadCellTimedBesideABusyCoreIsNamedAsTheMachines) {
    if (kSanitized) GTEST_SKIP() << "a whole run: the plain build checks it";
    const pid_t loop = fork();
    if (loop == 0) {
        for (volatile unsigned long i = 0;; i = i + 1) {
        }
    }
    ASSERT_GT(loop, 0);
    usleep(200000);
    const LabRun run = lab("--shapes square --sizes 100000 --algorithms copy,copy-2t --runs 2 --min-seconds 0.05");
    kill(loop, SIGKILL);
    waitpid(loop, nullptr, 0);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("other work keeps"), std::string::npos) << run.out;
    const std::size_t line = run.out.find("on two threads timed while other work kept");
    ASSERT_NE(line, std::string::npos) << run.out;
    EXPECT_NE(run.out.find("square 100000 copy-2t (", line), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("square 100000 copy (", line), std::string::npos) << "copy runs on one thread: " << run.out;
}

// ---- The hull a web page calls ----------------------------------------------------------------------

TEST_F(Answers, D3sPolygonHullIsWrongOnSliverAndTimedAtOneHundredThousandAfterASmallerSize) {
    if (kSanitized) GTEST_SKIP() << "it tests node's program, which the sanitizers do not reach";
    if (std::system("command -v node >/dev/null 2>&1") != 0 || !fs::exists(EXAMPLES_SOURCE "/../tools/page/node_modules/d3")) {
        GTEST_SKIP() << "no node, or no d3 (make page-libraries)";
    }
    const LabRun run = lab("--program 'node " EXAMPLES_SOURCE "/d3_hull.js' --shapes sliver,square --sizes 200,100000 "
                           "--algorithms copy --runs 1 --min-seconds 0.05 --tsv lab.tsv");
    EXPECT_EQ(run.status, 1) << run.err;
    auto c = cells();
    auto status = [&c](const char* entry, const char* n) { return c[{entry, n}]; };
    EXPECT_EQ(status("d3_hull", "sliver 200").first, "WRONG") << status("d3_hull", "sliver 200").second;
    // Judged: it refuses fewer than 3 points, and a WRONG hull of copies of one point.
    EXPECT_NE(run.out.find("refused on no-points"), std::string::npos) << run.out;
    // From one size the lab tries the larger cell: square at 100,000 points is timed.
    EXPECT_EQ(status("d3_hull", "square 100000").first, "ok") << status("d3_hull", "square 100000").second;
}

}  // namespace
