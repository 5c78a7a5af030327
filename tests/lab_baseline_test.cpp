// Comparisons that hold on a noisy machine: verdicts, paired ratios and the A B B A schedule on
// made-up figures; hull-lab --baseline on two builds of one plugin, with its verdicts and exit
// status; and the arguments it refuses before anything runs.

#include <gtest/gtest.h>

#include <random>

#include <sstream>
#include <string>
#include <vector>

#include "../lab/lab.h"
#include "lab_run.h"
#include "run/figures.h"
#include "user/user.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

TEST(LabVerdicts, SlowerOrFasterOnlyWhereTheIntervalExcludesOneAndTheChangeIsLargeEnough) {
    struct Case {
        double ratio, lo, hi;
        const char* verdict;
    };
    const std::vector<Case> cases = {
        {1.20, 1.10, 1.30, "slower"}, {0.80, 0.70, 0.90, "faster"},
        {1.20, 0.95, 1.50, "same"},   // the interval holds 1
        {1.03, 1.01, 1.05, "same"},   // surely slower, but by less than 5%
        {0.97, 0.95, 0.99, "same"},   {1.05, 1.02, 1.08, "slower"}, {0.95, 0.92, 0.98, "faster"},
        {1.50, 0.00, 0.00, "same"},   // one pair: no interval
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(lab::changeWord(lab::verdictOf(c.ratio, c.lo, c.hi, 0.05)), c.verdict) << c.ratio << " in [" << c.lo << ", " << c.hi << "]";
    }
}

TEST(LabVerdicts, RatiosPairTheRunsOfOneRoundNotTheSortedRuns) {
    // The machine slowed down in round 2 for both builds alike: paired, the ratio is exactly 2.
    const std::vector<double> now = {2.0, 8.0, 2.2}, old = {1.0, 4.0, 1.1};
    double ratio = 0, lo = 0, hi = 0;
    ASSERT_TRUE(lab::pairedRatio(now, old, ratio, lo, hi));
    EXPECT_DOUBLE_EQ(ratio, 2.0);
    EXPECT_NEAR(lo, 2.0, 1e-9);
    EXPECT_NEAR(hi, 2.0, 1e-9);
    // Unequal counts pair the rounds both have; one pair has no interval; none, no ratio.
    ASSERT_TRUE(lab::pairedRatio({3.0, 6.0, 9.0}, {1.0, 2.0}, ratio, lo, hi));
    EXPECT_DOUBLE_EQ(ratio, 3.0);
    ASSERT_TRUE(lab::pairedRatio({3.0}, {2.0}, ratio, lo, hi));
    EXPECT_DOUBLE_EQ(ratio, 1.5);
    EXPECT_EQ(lo, 0);
    EXPECT_FALSE(lab::pairedRatio({}, {1.0}, ratio, lo, hi));
    // precise(): within the asked fraction of the centre, or not.
    lab::Outcome tight, loose;
    tight.runs = {1.00, 1.01, 0.99, 1.00};
    loose.runs = {1.0, 1.5, 0.7};
    EXPECT_TRUE(lab::precise(tight, nullptr, 0.05));
    EXPECT_FALSE(lab::precise(loose, nullptr, 0.05));
    EXPECT_TRUE(lab::precise(loose, &loose, 0.05)) << "a cell against itself: every ratio 1";
    EXPECT_FALSE(lab::precise(tight, nullptr, 0.05, 0.05)) << "the run's typical spread of 5% floors the interval";
    EXPECT_TRUE(lab::precise(tight, &tight, 0.05, 0.05)) << "a ratio's interval is its rounds' own";
}

TEST(LabVerdicts, StudentsTQuantilesMatchTheTablesAtEveryLevel) {
    struct Case {
        double p;
        int df;
        double t;  // from published tables of Student's t
    };
    const std::vector<Case> cases = {
        {0.95, 1, 6.314},     {0.975, 3, 3.182},   {0.99, 2, 6.965},     {0.995, 10, 3.169},
        {0.9995, 5, 6.869},   {0.9995, 20, 3.850}, {0.9995, 120, 3.373}, {0.9999, 100000, 3.719},
        {0.9999, 11, 5.453},  {0.75, 4, 0.741},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(lab::tQuantile(c.p, c.df), c.t, 0.0015 * c.t) << "p " << c.p << ", df " << c.df;
        EXPECT_NEAR(lab::studentCdf(c.t, c.df), c.p, 2e-4 * (1 - c.p) / 0.0005 + 1e-6) << "p " << c.p << ", df " << c.df;
        EXPECT_NEAR(lab::studentCdf(-c.t, c.df), 1 - c.p, 2e-4 * (1 - c.p) / 0.0005 + 1e-6) << "p " << c.p << ", df " << c.df;
    }
    for (int df : {1, 2, 5, 30, 1000}) {
        EXPECT_NEAR(lab::studentCdf(lab::tQuantile(0.9995, df), df), 0.9995, 1e-12) << "df " << df << ": quantile and CDF agree";
    }
    EXPECT_DOUBLE_EQ(lab::studentCdf(0, 7), 0.5);
    EXPECT_NEAR(lab::verdictLevel(400), 0.999875, 1e-12);
    EXPECT_NEAR(lab::verdictLevel(400, 17), 1 - 0.05 / 6800, 1e-12);
    // The p-value of paired runs: logarithms of the ratios 0, 1, 2 (mean 1, s 1, k 3): t = sqrt 3.
    const double e = std::exp(1.0);
    EXPECT_NEAR(lab::pairedPValue({1, e, e * e}, {1, 1, 1}), 2 * lab::studentCdf(-std::sqrt(3.0), 2), 1e-12);
    EXPECT_NEAR(lab::pairedPValue({1, e, e * e}, {1, 1, 1}), 0.2254, 1e-4);
    EXPECT_EQ(lab::pairedPValue({2, 2}, {1, 1}), 0) << "every round the same ratio, not 1";
    EXPECT_EQ(lab::pairedPValue({1, 1}, {1, 1}), 1);
    EXPECT_EQ(lab::pairedPValue({2}, {1}), 1) << "one pair";
}

// A cell gets another round while its ratio is off 1 by half the smallest change that counts or more
// and the strict interval does not yet decide it.
TEST(LabVerdicts, UndecidedCellsAreThoseOffOneThatTheStrictIntervalCannotCall) {
    struct Case {
        const char* name;
        std::vector<double> now, old;
        bool undecided;
    };
    const double level = lab::verdictLevel(400);
    const std::vector<Case> cases = {
        {"the same to within 1%", {1.00, 1.01, 0.99, 1.00}, {1.00, 1.00, 1.00, 1.00}, false},
        {"4% slower, noisy", {1.10, 0.98, 1.08, 1.02}, {1.00, 1.00, 1.00, 1.00}, true},
        {"4% off, but the rounds do not lean that way", {1.40, 0.80, 1.04, 1.04, 0.70, 1.30}, {1, 1, 1, 1, 1, 1}, false},
        {"20% slower in every round", {1.20, 1.20, 1.20, 1.20, 1.20}, {1.00, 1.00, 1.00, 1.00, 1.00}, false},
        {"10% faster, noisy", {0.80, 1.00, 0.85, 0.95}, {1.00, 1.00, 1.00, 1.00}, true},
        {"one pair, 50% slower", {1.5}, {1.0}, false},
        {"no pair", {}, {1.0}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(lab::undecided(c.now, c.old, level, 0.05), c.undecided) << c.name;
}

// The rule as a run applies it, on simulated cells with multiplicative noise of 4% a run: 4 rounds,
// then more up to 20 while undecided, each verdict at the level of 400 cells and 17 looks. Two
// equal builds over 400 cells: a run with any cell called different is rare (5% at most). A build
// 10% slower: called slower in at least 85% of its cells.
TEST(LabVerdicts, VerdictsRarelyCallEqualBuildsDifferentAndFindATenPercentChange) {
    std::mt19937_64 random(2026);
    std::normal_distribution<double> noise(0.0, 0.04);
    const double level = lab::verdictLevel(400, 17);
    auto verdict = [&](double change) {
        std::vector<double> now, old;
        while (true) {
            now.push_back((1 + change) * std::exp(noise(random)));
            old.push_back(std::exp(noise(random)));
            if (now.size() >= 4 && (now.size() >= 20 || !lab::undecided(now, old, level, 0.05))) break;
        }
        double ratio = 0, lo = 0, hi = 0;
        lab::pairedRatio(now, old, ratio, lo, hi, level);
        return std::string(lab::changeWord(lab::verdictOf(ratio, lo, hi, 0.05)));
    };
    int runsWithAFalseCall = 0;
    const int runs = 100;
    for (int run = 0; run < runs; ++run) {
        int called = 0;
        for (int cell = 0; cell < 400; ++cell) called += verdict(0) != "same";
        runsWithAFalseCall += called > 0;
    }
    EXPECT_LE(runsWithAFalseCall, 5) << "of " << runs << " runs of 400 cells of two equal builds";
    int slower = 0;
    for (int cell = 0; cell < 400; ++cell) slower += verdict(0.10) == "slower";
    EXPECT_GE(slower, 340) << "of 400 cells 10% slower";
}

TEST(LabVerdicts, EachRoundRunsBothBuildsOfACellTogetherInABBAOrder) {
    const std::vector<std::size_t> cells = {0, 2, 3, 5, 6};
    for (int round = 0; round < 4; ++round) {
        const auto plain = lab::roundSchedule(cells, 1, "disc 10000", round, false);
        ASSERT_EQ(plain.size(), cells.size());
        for (const auto& [cell, old] : plain) EXPECT_FALSE(old) << "round " << round;
        const auto compared = lab::roundSchedule(cells, 1, "disc 10000", round, true);
        ASSERT_EQ(compared.size(), 2 * cells.size());
        for (std::size_t k = 0; k < compared.size(); k += 2) {
            EXPECT_EQ(compared[k].first, compared[k + 1].first) << "a cell's two builds run one after the other";
            EXPECT_EQ(compared[k].first, plain[k / 2].first) << "in the round's order of cells";
            EXPECT_NE(compared[k].second, compared[k + 1].second);
            EXPECT_EQ(compared[k].second, round % 2 == 1) << "round " << round << ": A B in even rounds, B A in odd ones";
        }
    }
}

// ---- hull-lab --baseline -----------------------------------------------------------------------------

class Baseline : public testing::Test {
  protected:
    LabRun lab(const std::string& arguments) { return runLab(dir_.path, arguments); }
    // The compared TSV's cells: verdict and ratio by entry.
    std::map<std::string, std::pair<std::string, double>> verdicts() {
        std::map<std::string, std::pair<std::string, double>> result;
        const std::vector<std::string> lines = testfiles::tsvLines(testfiles::read(dir_.path / "b.tsv"));
        EXPECT_FALSE(lines.empty());
        if (lines.empty()) return result;
        // Every run's columns, then the baseline's.
        EXPECT_EQ(lines[0], "shape\tn\th\talgorithm\tmedian_s\tmin_s\tmax_s\tstatus\tnote\truns_s\tlo_s\thi_s\tinstructions\t"
                            "l1_misses\tll_misses\tbranch_misses\test_cycles\tfastest\tsure\told_median_s\told_runs_s\tratio\tratio_lo\t"
                            "ratio_hi\tverdict\tcount_old\tcount_ratio\tcount_verdict");
        std::vector<std::string> header;
        std::stringstream names(lines[0]);
        for (std::string name; std::getline(names, name, '\t');) header.push_back(name);
        for (std::size_t i = 1; i < lines.size(); ++i) {
            std::map<std::string, std::string> f;
            std::stringstream in(lines[i]);
            std::size_t k = 0;
            for (std::string field; std::getline(in, field, '\t'); ++k) f[k < header.size() ? header[k] : "?"] = field;
            EXPECT_EQ(k, header.size()) << lines[i];
            if (k != header.size()) continue;
            EXPECT_EQ(f["status"], "ok") << lines[i];
            // The ratio within its interval, and the paired runs: one of each build per round.
            EXPECT_LT(std::stod(f["ratio_lo"]), std::stod(f["ratio"])) << lines[i];
            EXPECT_GT(std::stod(f["ratio_hi"]), std::stod(f["ratio"])) << lines[i];
            EXPECT_EQ(std::count(f["runs_s"].begin(), f["runs_s"].end(), ','),
                      std::count(f["old_runs_s"].begin(), f["old_runs_s"].end(), ',')) << lines[i];
            result[f["algorithm"]] = {f["verdict"], std::stod(f["ratio"])};
        }
        return result;
    }
    testfiles::TempDir dir_{"hull-lab-baseline"};
};

// Two builds of one plugin, one of them doing its work three times over: a difference no noise
// hides, so that the verdicts and the exit status are what is tested, not the machine.
TEST_F(Baseline, CallsTheSlowerBuildSlowerAndFailsOnlyPastFailSlower) {
    const std::string plugins = TEST_PLUGINS_DIR;
    const std::string common = " --baseline " HULL_LAB_PATH " --algorithms copy --shapes disc --sizes 20000 --runs 4 --tsv b.tsv";
    const LabRun slower = lab("--plugin " + plugins + "/libthree-times-slower.so --baseline-plugin " + plugins +
                              "/libright-clockwise.so --fail-slower 50%" + common);
    EXPECT_EQ(slower.status, 1) << slower.err;
    EXPECT_NE(slower.err.find("slower than the baseline, more than --fail-slower 50%"), std::string::npos) << slower.err;
    auto cells = verdicts();
    EXPECT_EQ(cells["three-times-slower"].first, "slower");
    EXPECT_GT(cells["three-times-slower"].second, 2.0);
    EXPECT_TRUE(cells.count("copy")) << "the control runs though --algorithms names only copy and the plugin";
    EXPECT_NE(slower.out.find("Geometric mean of new / old"), std::string::npos) << slower.out;
    EXPECT_NE(slower.out.find("the control copy"), std::string::npos) << slower.out;
    EXPECT_NE(slower.out.find("baseline version:"), std::string::npos) << slower.out;

    const LabRun faster = lab("--plugin " + plugins + "/libright-clockwise.so --baseline-plugin " + plugins +
                              "/libthree-times-slower.so --fail-slower 50%" + common);
    EXPECT_EQ(faster.status, 0) << faster.err;
    cells = verdicts();
    EXPECT_EQ(cells["right-clockwise"].first, "faster");
    EXPECT_LT(cells["right-clockwise"].second, 0.5);
}

// --precision adds rounds, up to --max-runs, to the cells whose interval is wider, and lists those
// that did not get there (+-0.01% is beyond any cell of 0.2 s runs).
TEST_F(Baseline, PrecisionAddsRoundsUpToTheMostAndNamesTheCellsThatFellShort) {
    const LabRun run = lab("--shapes disc --sizes 1000 --algorithms copy,chan --precision 0.01% --max-runs 4 --tsv b.tsv");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("2 cells did not get within +-0.01% in 4 runs or the budget:"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("disc 1000 chan (+-"), std::string::npos) << run.out;
    for (const std::string& line : testfiles::tsvLines(testfiles::read(dir_.path / "b.tsv"))) {
        if (line.rfind("disc\t", 0) != 0) continue;
        std::vector<std::string> f;
        std::stringstream in(line);
        for (std::string field; std::getline(in, field, '\t');) f.push_back(field);
        ASSERT_EQ(std::count(line.begin(), line.end(), '\t'), 18) << line;
        EXPECT_EQ(std::count(f[9].begin(), f[9].end(), ','), 3) << "4 runs: " << line;
    }
}

TEST_F(Baseline, RefusesWhatCannotServeBeforeAnythingRuns) {
    testfiles::writeLines(dir_.path / "b.tsv", {"an earlier run"});
    testfiles::writeLines(dir_.path / "notes.txt", {"not a program"});
    // A build from before real coordinates: it runs cells, and its --help knows no --coordinates.
    testfiles::writeLines(dir_.path / "old.sh", {"#!/bin/sh", "[ \"$1\" = --help ] && { echo 'hull-lab, an older build'; exit 0; }",
                                                 "exec '" HULL_LAB_PATH "' \"$@\""});
    fs::permissions(dir_.path / "old.sh", fs::perms::owner_all);
    struct Bad {
        std::string arguments, message;
    };
    const std::vector<Bad> cases = {
        {"--baseline nowhere/hull-lab", "--baseline nowhere/hull-lab: No such file or directory"},
        {"--baseline notes.txt", "--baseline notes.txt is not a program this user can run"},
        {"--baseline /bin/true", "--baseline /bin/true is not a hull-lab that runs cells as this one does"},
        {"--baseline /bin/echo", "is not a hull-lab that runs cells as this one does (it printed \"--cell square"},
        {"--precision 0", "--precision must be a fraction"},
        {"--precision 5% --runs 3", "--runs fixes the count of runs; --precision adds runs"},
        {"--fail-slower 10%", "--fail-slower compares with a baseline: give --baseline"},
        {"--baseline " HULL_LAB_PATH " --baseline-plugin x.so", "--baseline-plugin gives the baseline other builds"},
        {"--baseline " HULL_LAB_PATH " --relative", "it takes no --relative"},
        {"--baseline " HULL_LAB_PATH " --runs 3 --max-runs 6", "--max-runs bounds the runs that --precision or --baseline adds"},
        {"--max-runs 6", "--max-runs bounds the runs that --precision or --baseline adds"},
        {"--baseline ./old.sh --coordinates int,f64", "--baseline ./old.sh takes whole numbers only"},
    };
    for (const Bad& c : cases) {
        const LabRun run = lab(c.arguments + " --shapes disc --sizes 1000 --tsv b.tsv");
        EXPECT_EQ(run.status, 2) << c.arguments;
        const std::string first = run.err.substr(0, run.err.find('\n'));
        EXPECT_NE(first.find(c.message), std::string::npos) << c.arguments << ": " << run.err;
        EXPECT_EQ(run.out, "") << c.arguments;
        EXPECT_EQ(testfiles::read(dir_.path / "b.tsv"), "an earlier run\n") << c.arguments;
    }
}

// A table of doubles is compared as one of whole numbers is: both builds run each cell (here the
// same build, so every verdict is "same" or undecided, never a change past its interval).
TEST_F(Baseline, ComparesTablesOfDoublesCellByCell) {
    const LabRun run = lab("--baseline " HULL_LAB_PATH " --shapes disc --coordinates f64 --sizes 1000 "
                           "--algorithms incremental-array,qhull-array --tsv b.tsv");
    EXPECT_EQ(run.status, 0) << run.err;
    const auto cells = verdicts();
    EXPECT_EQ(cells.size(), 3u) << "the two and copy, the floor a baseline run adds";
    EXPECT_EQ(cells.count("copy"), 1u);
    for (const auto& [entry, verdict] : cells) EXPECT_NE(verdict.first, "slower") << entry;
    EXPECT_NE(testfiles::read(dir_.path / "b.tsv").find("disc (f64)\t1000\t"), std::string::npos);
}

}  // namespace
