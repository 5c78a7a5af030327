// Counts under Valgrind: Callgrind's output read back into the five counts; counts that grow with n
// as the work does and repeat exactly; verdicts on them between two builds, with the exit status;
// and what a run without Valgrind, or a cell Valgrind cannot run, still gives.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "lab_run.h"
#include "run/counts.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

TEST(CallgrindOutput, TotalsAreReadByEventAndGiveTheFiveCountsPerCall) {
    struct Case {
        const char* name;
        std::string text;
        bool readable;
        double instructions, l1, ll, branches, cycles;  // per call, of 2 calls
    };
    const std::string events = "events: Ir Dr Dw I1mr D1mr D1mw ILmr DLmr DLmw Bc Bcm Bi Bim\n";
    // Accesses 1000 + 400 + 200 = 1600; L1 misses 10 + 40 + 20 = 70; RAM 2 + 8 + 4 = 14:
    // 1530 L1 hits + 5 x 56 LL hits + 35 x 14 = 2300 cycles for two calls.
    const std::vector<Case> cases = {
        {"totals", "version: 1\ncreator: callgrind-3.19.0\n" + events + "fn=(1) f\n5 1000\ntotals: 1000 400 200 10 40 20 2 8 4 300 30 10 6\n",
         true, 500, 30, 7, 18, 1150},
        {"summary only", events + "summary: 1000 400 200 10 40 20 2 8 4 300 30 10 6\n", true, 500, 30, 7, 18, 1150},
        {"trailing zeros left out", events + "totals: 1000 400 200\n", true, 500, 0, 0, 0, 800},
        {"no events line", "totals: 1 2 3\n", false, 0, 0, 0, 0, 0},
        {"no totals", events + "fn=(1) f\n5 1000\n", false, 0, 0, 0, 0, 0},
    };
    testfiles::TempDir dir("hull-lab-callgrind");
    for (const Case& c : cases) {
        const fs::path file = dir.path / "callgrind.out";
        std::ofstream(file) << c.text;
        std::map<std::string, double> totals;
        ASSERT_EQ(lab::readCallgrindTotals(file.string(), totals), c.readable) << c.name;
        if (!c.readable) continue;
        const lab::Counts counts = lab::countsOf(totals, 2);
        EXPECT_TRUE(counts.have) << c.name;
        EXPECT_DOUBLE_EQ(counts.instructions, c.instructions) << c.name;
        EXPECT_DOUBLE_EQ(counts.l1Misses, c.l1) << c.name;
        EXPECT_DOUBLE_EQ(counts.llMisses, c.ll) << c.name;
        EXPECT_DOUBLE_EQ(counts.branchMisses, c.branches) << c.name;
        EXPECT_DOUBLE_EQ(counts.estCycles, c.cycles) << c.name;
    }
    // Two processes' files add up (a program's tree); no calls, no counts.
    std::map<std::string, double> totals;
    std::ofstream(dir.path / "a") << events << "totals: 100 0 0 0 0 0 0 0 0 0 1\n";
    std::ofstream(dir.path / "b") << events << "totals: 300 0 0 0 0 0 0 0 0 0 3\n";
    ASSERT_TRUE(lab::readCallgrindTotals((dir.path / "a").string(), totals));
    ASSERT_TRUE(lab::readCallgrindTotals((dir.path / "b").string(), totals));
    EXPECT_DOUBLE_EQ(lab::countsOf(totals, 4).instructions, 100);
    EXPECT_DOUBLE_EQ(lab::countsOf(totals, 4).branchMisses, 1);
    EXPECT_FALSE(lab::countsOf(totals, 0).have);
}

TEST(CountVerdicts, AChangeIsCalledOnlyAtTheLeastChangeAndBeyondTheNoise) {
    struct Case {
        double ratio, minChange, noise;
        const char* verdict;
    };
    const std::vector<Case> cases = {
        {1.0, 0.01, 0, "same"},      {1.02, 0.01, 0, "slower"},  {0.98, 0.01, 0, "faster"},
        {1.009, 0.01, 0, "same"},    // under the least change
        {1.02, 0.01, 0.03, "same"},  // within the counts' noise
        {1.05, 0.01, 0.03, "slower"}, {1 / 1.05, 0.01, 0.03, "faster"}, {0, 0.01, 0, "same"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(lab::changeWord(lab::countVerdict(c.ratio, c.minChange, c.noise)), c.verdict)
            << "ratio " << c.ratio << ", least change " << c.minChange << ", noise " << c.noise;
    }
    lab::Counts a, b;
    a.instructions = 1000, b.instructions = 1000, a.llMisses = 10, b.llMisses = 11;
    EXPECT_NEAR(lab::countDifference(a, b), 1.0 / 11, 1e-12);
    EXPECT_EQ(lab::countDifference(a, a), 0);
}

TEST(CountVerdicts, RankCorrelationIsSpearmansWithTiesAtTheirMeanRank) {
    EXPECT_DOUBLE_EQ(lab::rankCorrelation({1, 2, 3, 4}, {10, 200, 3000, 40000}), 1.0);  // any rising function
    EXPECT_DOUBLE_EQ(lab::rankCorrelation({1, 2, 3, 4}, {4, 3, 2, 1}), -1.0);
    EXPECT_NEAR(lab::rankCorrelation({1, 2, 2, 3}, {1, 2, 3, 4}), 0.9486832980505138, 1e-12);  // scipy.stats.spearmanr
    EXPECT_EQ(lab::rankCorrelation({1}, {1}), 0);
    EXPECT_EQ(lab::rankCorrelation({1, 1, 1}, {1, 2, 3}), 0);  // no spread: no correlation
}

// The runs under Valgrind: a sanitized hull-lab cannot run under it.
class Counting : public ::testing::Test {
  protected:
    void SetUp() override {
        if (kSanitized) GTEST_SKIP() << "Valgrind does not run a sanitized build";
        if (lab::valgrindPath().empty()) GTEST_SKIP() << "Valgrind is not installed (make test installs it)";
    }
    LabRun lab(const std::string& arguments) { return runLab(dir_.path, arguments); }
    // The TSV's cells by "shape n algorithm": each column by name.
    std::map<std::string, std::map<std::string, std::string>> cells(const std::string& file) {
        std::map<std::string, std::map<std::string, std::string>> result;
        const std::vector<std::string> lines = testfiles::tsvLines(testfiles::read(dir_.path / file));
        std::vector<std::string> header;
        for (const std::string& line : lines) {
            std::vector<std::string> fields;
            std::size_t at = 0;
            for (std::size_t tab; (tab = line.find('\t', at)) != std::string::npos; at = tab + 1) fields.push_back(line.substr(at, tab - at));
            fields.push_back(line.substr(at));
            if (header.empty()) {
                header = fields;
                continue;
            }
            EXPECT_EQ(fields.size(), header.size()) << line;
            std::map<std::string, std::string> cell;
            for (std::size_t i = 0; i < fields.size() && i < header.size(); ++i) cell[header[i]] = fields[i];
            result[cell["shape"] + " " + cell["n"] + " " + cell["algorithm"]] = cell;
        }
        return result;
    }
    testfiles::TempDir dir_{"hull-lab-counts"};
};

// A linear entry (the copy floor) executes the same instructions per point at 10^4 and 10^5, and
// twice the points take twice its instructions; a hull's count grows at least with n. Every count
// repeats exactly in another process, the two-thread entries' too (their team at 10^5, where the
// work is split: after the pass on `square`, split by a splitter on `circle`; before their parts
// took turns on one thread, their misses differed by a few).
TEST_F(Counting, CountsGrowWithTheWorkAndRepeatExactly) {
    const std::string run = "--measure counts --shapes square,circle --sizes 10000,20000,100000 --sets 1 "
                            "--algorithms copy,incremental-array,copy-2t,filter-vqsort-chain-2t";
    const LabRun first = lab(run + " --tsv one.tsv");
    ASSERT_EQ(first.status, 0) << first.err;
    const LabRun second = lab(run + " --tsv two.tsv");
    ASSERT_EQ(second.status, 0) << second.err;
    auto one = cells("one.tsv"), two = cells("two.tsv");
    auto per = [&](const std::string& cell, const char* count) { return std::stod(one[cell][count]); };
    for (const char* count : {"instructions", "l1_misses", "ll_misses", "branch_misses", "est_cycles"}) {
        for (const auto& [cell, fields] : one) {
            EXPECT_FALSE(fields.at(count).empty()) << cell << " " << count << ": " << fields.at("note");
            EXPECT_EQ(fields.at(count), two[cell][count]) << cell << " " << count << " in two processes";
        }
    }
    const double at10k = per("square 10000 copy", "instructions") / 10000, at100k = per("square 100000 copy", "instructions") / 100000;
    EXPECT_NEAR(at100k / at10k, 1.0, 0.01) << at10k << " and " << at100k << " instructions a point";
    EXPECT_NEAR(per("square 20000 copy", "instructions") / per("square 10000 copy", "instructions"), 2.0, 0.02);
    EXPECT_GT(per("square 20000 incremental-array", "instructions"), 2 * per("square 10000 incremental-array", "instructions"));
    EXPECT_NE(first.out.find("instructions per point"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("simulated caches:"), std::string::npos) << first.out;
    EXPECT_EQ(first.out.find("seconds per call"), std::string::npos) << "counts alone time nothing:\n" << first.out;
}

// Two builds of one plugin, counted: the one with an extra sort is slower in every cell, the one
// with an extra linear pass (some 3% more) too, the same build the same; --fail-slower judges
// the counts' verdicts.
TEST_F(Counting, BaselineCountsCallEveryChangeAndTheExitStatusFollows) {
    const std::string plugins = TEST_PLUGINS_DIR;
    const std::string common = " --baseline-plugin " + plugins + "/libright.so --baseline " HULL_LAB_PATH
                               " --measure counts --algorithms copy --shapes square,disc --sizes 1000,10000 --tsv b.tsv";
    struct Case {
        const char* plugin;
        const char* failSlower;
        int status;
        const char* verdict;
    };
    const std::vector<Case> cases = {{"right-but-slower", "2%", 1, "slower"},
                                     {"extra-pass", "50%", 0, "slower"},
                                     {"right", "0.1%", 0, "same"}};
    for (const Case& c : cases) {
        const LabRun run = lab("--plugin " + plugins + "/lib" + c.plugin + ".so --fail-slower " + c.failSlower + common);
        EXPECT_EQ(run.status, c.status) << c.plugin << "\n" << run.out << run.err;
        for (const auto& [cell, fields] : cells("b.tsv")) {
            const std::string expected = fields.at("algorithm") == "copy" ? "same" : c.verdict;
            EXPECT_EQ(fields.at("count_verdict"), expected) << c.plugin << ": " << cell << ", ratio " << fields.at("count_ratio");
            if (fields.at("algorithm") == "copy") {
                EXPECT_EQ(fields.at("count_ratio"), "1.000000") << cell;
            }
        }
        EXPECT_NE(run.out.find("Counts (est_cycles, new / old"), std::string::npos) << run.out;
    }
}

// Without Valgrind the times are taken and every cell says why it has no counts; a cell that
// Valgrind cannot run (an instruction it does not know) is timed, and its counts say why not.
TEST_F(Counting, WhatCannotBeCountedIsSaidAndTheTimesStay) {
    const std::string empty = (dir_.path / "no-valgrind").string();
    fs::create_directory(empty);
    const int status = std::system(("cd '" + dir_.path.string() + "' && PATH='" + empty + "' '" HULL_LAB_PATH
                                     "' --measure times,counts --shapes square --sizes 1000 --algorithms copy,qhull-array "
                                     "--runs 1 --tsv m.tsv >stdout 2>stderr").c_str());
    const LabRun missing{WIFEXITED(status) ? WEXITSTATUS(status) : -1, testfiles::read(dir_.path / "stdout"),
                         testfiles::read(dir_.path / "stderr")};
    ASSERT_EQ(missing.status, 0) << missing.err;
    EXPECT_NE(missing.err.find("Valgrind is not installed"), std::string::npos) << missing.err;
    for (const auto& [cell, fields] : cells("m.tsv")) {
        EXPECT_EQ(fields.at("status"), "ok") << cell;
        EXPECT_FALSE(fields.at("median_s").empty() || fields.at("median_s") == "-") << cell;
        EXPECT_EQ(fields.at("instructions"), "") << cell;
        EXPECT_NE(fields.at("note").find("not counted: Valgrind is not installed"), std::string::npos) << cell;
    }
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx512f")) GTEST_SKIP() << "no AVX-512 here: the plugin that uses it cannot run";
    const LabRun unknown = lab("--measure times,counts --shapes square --sizes 1000 --runs 1 --algorithms copy --plugin " TEST_PLUGINS_DIR
                               "/libuses-avx512.so --tsv u.tsv");
    ASSERT_EQ(unknown.status, 0) << unknown.err;
    auto u = cells("u.tsv");
    EXPECT_NE(u["square 1000 uses-avx512"]["note"].find("Valgrind cannot run an instruction of it"), std::string::npos)
        << u["square 1000 uses-avx512"]["note"];
    EXPECT_EQ(u["square 1000 uses-avx512"]["status"], "ok");
    EXPECT_EQ(u["square 1000 uses-avx512"]["est_cycles"], "");
    EXPECT_FALSE(u["square 1000 copy"]["est_cycles"].empty()) << "the other cells are counted";
}

}  // namespace
