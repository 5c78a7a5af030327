// The companion tools: hullcheck on real and broken hull files, the two plot scripts, lab-page's
// refusals, and lab-compare on two runs made up here.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "hullbench.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

using testfiles::lines;
using testfiles::read;
using testfiles::writeLines;

std::vector<std::string> readLines(const fs::path& file) { return lines(read(file)); }

struct Outcome {
    int status;
    std::string out, err;
};

// Runs a command with its standard output and error caught in files under `dir`.
Outcome run(const std::string& command, const fs::path& dir) {
    std::string full = command + " >'" + (dir / "stdout").string() + "' 2>'" + (dir / "stderr").string() + "'";
    int status = std::system(full.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read(dir / "stdout"), read(dir / "stderr")};
}

class Tools : public testing::Test {
  protected:
    // A fresh directory holding the four point files of a correctness run.
    void SetUp() override {
        files_ = top_ / "files";
        fs::create_directory(files_);
        fs::path here = fs::current_path();
        fs::current_path(files_);
        srand(1);
        EXPECT_EQ(test(1000, 1000, 100), 0);
        fs::current_path(here);
    }
    Outcome hullcheck() { return run("'" HULLCHECK_PATH "' '" + files_.string() + "'", top_); }

    testfiles::TempDir dir_{"hullbench-tools"};
    const fs::path top_ = dir_.path;
    fs::path files_;
};

TEST_F(Tools, HullcheckAcceptsTheFilesOfARealRun) {
    Outcome result = hullcheck();
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(result.out,
              "inc.txt: ok, 10 points\ngift.txt: ok, 10 points\nqhull.txt: ok, 10 points\n"
              "hullcheck: all 3 hulls of 100 points pass, with the same 10 corners\n");
}

TEST_F(Tools, HullcheckAcceptsTheDegenerateHullsOfOnePoint) {
    writeLines(files_ / "points.txt", {"5;5", "5;5"});
    writeLines(files_ / "inc.txt", {"5;5", "5;5"});
    writeLines(files_ / "gift.txt", {"5;5"});
    writeLines(files_ / "qhull.txt", {"5;5", "5;5"});
    Outcome result = hullcheck();
    EXPECT_EQ(result.status, 0) << result.out;
}

// Each case breaks one file of a real run and names the line and reason the checker must give.
TEST_F(Tools, HullcheckRejectsEachKindOfBrokenHull) {
    using Lines = std::vector<std::string>;
    struct Case {
        const char* why;
        const char* file;
        std::function<void(Lines&)> breakIt;
        std::string expected;  // part of the failure line
    };
    const Case cases[] = {
        {"corner missing", "gift.txt", [](Lines& l) { l.erase(l.begin() + 2); }, "lies outside the hull in gift.txt"},
        {"point not in points.txt", "inc.txt", [](Lines& l) { l[1] = "999999;5"; },
         "inc.txt:2: 999999;5 is not a point of points.txt"},
        {"reversed direction", "inc.txt", [](Lines& l) { std::reverse(l.begin() + 1, l.end()); },
         "inc.txt: runs counter-clockwise; it must run clockwise"},
        {"reversed direction", "qhull.txt", [](Lines& l) { std::reverse(l.begin() + 1, l.end()); },
         "qhull.txt: runs clockwise; it must run counter-clockwise"},
        {"wrong start point", "qhull.txt", [](Lines& l) { std::rotate(l.begin(), l.begin() + 1, l.end()); },
         "qhull.txt:1: starts at"},
        {"repeated point", "gift.txt", [](Lines& l) { l.push_back(l[2]); }, "stands twice (first at line 3)"},
        {"non-convex turn", "inc.txt", [](Lines& l) { std::swap(l[3], l[4]); }, "turns counter-clockwise at"},
        {"malformed line", "qhull.txt", [](Lines& l) { l[1] = "3;x"; }, "qhull.txt:2: malformed line \"3;x\""},
        {"leading zero", "gift.txt", [](Lines& l) { l[0] = "0" + l[0]; }, "gift.txt:1: malformed line"},
    };
    const fs::path original = top_ / "original";
    fs::copy(files_, original);
    for (const Case& c : cases) {
        fs::remove_all(files_);
        fs::copy(original, files_);
        Lines lines = readLines(files_ / c.file);
        c.breakIt(lines);
        writeLines(files_ / c.file, lines);
        Outcome result = hullcheck();
        EXPECT_EQ(result.status, 1) << c.why << ": " << result.out;
        EXPECT_NE(result.out.find(c.expected), std::string::npos) << c.why << ": expected \"" << c.expected
                                                                   << "\" in:\n" << result.out;
    }
}

// Hulls whose coordinates span the whole 64-bit range, where a difference needs 65 bits and a
// product 129: each is accepted as written, and rejected reversed or with a dent one unit deep.
TEST_F(Tools, HullcheckIsExactAtTheEndsOfThe64BitRange) {
    using Lines = std::vector<std::string>;
    const std::string lo = std::to_string(INT64_MIN), hi = std::to_string(INT64_MAX);
    const std::string big = std::to_string(std::int64_t(1) << 62), minusBig = "-" + big;
    const std::string hiLess = std::to_string(INT64_MAX - 1);
    struct Case {
        const char* why;
        std::vector<std::string> points, clockwise;  // the hull clockwise from the least point
        std::string dent;                            // an input point just inside the first edge
    };
    const Case cases[] = {
        {"triangle at +-2^62", {"0;1", big + ";0", "0;" + big, minusBig + ";0"}, {minusBig + ";0", "0;" + big, big + ";0"},
         "-1;" + std::to_string((std::int64_t(1) << 62) - 2)},
        {"square at -2^63 and 2^63-1", {"0;0", hi + ";" + lo, lo + ";" + lo, hi + ";" + hi, lo + ";" + hi},
         {lo + ";" + lo, lo + ";" + hi, hi + ";" + hi, hi + ";" + lo}, std::to_string(INT64_MIN + 1) + ";0"},
        {"diamond on the axes", {"0;" + hi, lo + ";0", "0;" + lo, hi + ";0", "1;1"},
         {lo + ";0", "0;" + hi, hi + ";0", "0;" + lo}, "-1;" + hiLess},
    };
    for (const Case& c : cases) {
        Lines counterClockwise(c.clockwise);
        std::reverse(counterClockwise.begin() + 1, counterClockwise.end());
        Lines points(c.points);
        points.push_back(c.dent);
        writeLines(files_ / "points.txt", points);
        auto writeHulls = [&](const Lines& clockwise, const Lines& counter) {
            writeLines(files_ / "inc.txt", clockwise);
            writeLines(files_ / "gift.txt", clockwise);
            writeLines(files_ / "qhull.txt", counter);
            return hullcheck();
        };
        Outcome right = writeHulls(c.clockwise, counterClockwise);
        EXPECT_EQ(right.status, 0) << c.why << ":\n" << right.out;

        Outcome reversed = writeHulls(counterClockwise, c.clockwise);
        EXPECT_EQ(reversed.status, 1) << c.why;
        EXPECT_NE(reversed.out.find("inc.txt: runs counter-clockwise"), std::string::npos) << c.why << ":\n" << reversed.out;
        EXPECT_NE(reversed.out.find("qhull.txt: runs clockwise"), std::string::npos) << c.why << ":\n" << reversed.out;

        Lines dented(c.clockwise);
        dented.insert(dented.begin() + 1, c.dent);
        Lines dentedCounter(dented);
        std::reverse(dentedCounter.begin() + 1, dentedCounter.end());
        Outcome dent = writeHulls(dented, dentedCounter);
        EXPECT_EQ(dent.status, 1) << c.why;
        EXPECT_NE(dent.out.find("inc.txt:2: turns counter-clockwise at " + c.dent), std::string::npos)
            << c.why << ":\n" << dent.out;
    }
}

TEST_F(Tools, HullcheckNamesAMissingFileWithStatusTwo) {
    fs::remove(files_ / "qhull.txt");
    Outcome result = hullcheck();
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "hullcheck: cannot read " + (files_ / "qhull.txt").string() + ": No such file or directory\n");
}

// A PNG file: its eight-byte signature and a size a real picture has.
void expectPng(const fs::path& file) {
    ASSERT_TRUE(fs::exists(file)) << file;
    EXPECT_EQ(read(file).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << file;
    EXPECT_GT(fs::file_size(file), 10000u) << file;
}

TEST_F(Tools, PlotsDrawPngPictures) {
    writeLines(files_ / "times.txt", {"10\t1.000000e-06\t0.000000e+00\t2.000000e-06",
                                      "100\t1.000000e-05\t3.000000e-06\t2.000000e-05",
                                      "1000\t1.000000e-04\t3.000000e-05\t2.000000e-04"});
    Outcome times = run("'" TOOLS_DIR "/plot-times' '" + (files_ / "times.txt").string() + "' -o '" +
                            (top_ / "times.png").string() + "'", top_);
    EXPECT_EQ(times.status, 0) << times.err;
    expectPng(top_ / "times.png");
    Outcome hulls = run("'" TOOLS_DIR "/plot-hulls' '" + files_.string() + "' -o '" + (top_ / "hulls.png").string() + "'", top_);
    EXPECT_EQ(hulls.status, 0) << hulls.err;
    expectPng(top_ / "hulls.png");
}

TEST_F(Tools, PlotsFailCleanlyOnMissingOrMalformedInput) {
    fs::remove(files_ / "gift.txt");
    writeLines(files_ / "times.txt", {"10\t1.0\tabc\t2.0"});
    writeLines(files_ / "short.tsv", {"# cpu: x", "shape\tn\th\talgorithm\tmedian_s\tmin_s\tmax_s\tstatus\tnote",
                                      "square\t1000\t16\tqhull\t1e-4\t1e-4"});
    writeLines(files_ / "words.tsv", {"shape\tn\th\talgorithm\tmedian_s\tmin_s\tmax_s\tstatus\tnote",
                                      "square\tmany\t16\tqhull\t1e-4\t1e-4\t1e-4\tok\t"});
    struct {
        std::string command, message;
    } cases[] = {
        {"plot-times '" + (files_ / "none.txt").string() + "'", "plot-times: fatal: cannot read"},
        {"plot-times '" + (files_ / "times.txt").string() + "'", "times.txt:1: not a row of times.txt"},
        {"plot-hulls '" + files_.string() + "'", "plot-hulls: fatal: cannot read " + (files_ / "gift.txt").string()},
        {"plot-times --bogus", "usage: plot-times"},
        {"lab-page '" + (files_ / "times.txt").string() + "' -o '" + (top_ / "lab.html").string() + "'",
         "lab-page: fatal: " + (files_ / "times.txt").string() + ":1: not a hull-lab TSV"},
        {"lab-page '" + (files_ / "short.tsv").string() + "' -o '" + (top_ / "lab.html").string() + "'", "short.tsv:3: 6 fields, expected 9"},
        {"lab-page '" + (files_ / "words.tsv").string() + "' -o '" + (top_ / "lab.html").string() + "'", "words.tsv:2: n is not a number: 'many'"},
        {"lab-page '" + (files_ / "none.tsv").string() + "' -o '" + (top_ / "lab.html").string() + "'", "lab-page: fatal: cannot read"},
    };
    for (const auto& c : cases) {
        Outcome result = run("cd '" + top_.string() + "' && '" TOOLS_DIR "/'" + c.command, top_);
        EXPECT_NE(result.status, 0) << c.command;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.command << ": " << result.err;
    }
    EXPECT_FALSE(fs::exists(top_ / "times.png"));
    EXPECT_FALSE(fs::exists(top_ / "hulls.png"));
    EXPECT_FALSE(fs::exists(top_ / "lab.html"));
}

// ---- lab-compare -------------------------------------------------------------------------------

// A hull-lab TSV: context lines, the header, then per cell "shape n algorithm status runs".
std::string labTsv(const std::string& cpu, const std::vector<std::vector<std::string>>& cells) {
    std::string text = "# date: 2026-12-07T10:00:00+0000\n# cpu: " + cpu + "\n# compiler: GNU 12.2.0\n"
                       "shape\tn\th\talgorithm\tmedian_s\tmin_s\tmax_s\tstatus\tnote\truns_s\n";
    for (const auto& c : cells) {
        const bool timed = c[3] == "ok";
        std::vector<double> sorted;
        std::stringstream list(c[4]);
        for (std::string r; timed && std::getline(list, r, ',');) sorted.push_back(std::stod(r));
        std::sort(sorted.begin(), sorted.end());
        const std::string median = timed ? std::to_string(sorted[sorted.size() / 2]) : "-";
        const std::string least = timed ? std::to_string(sorted.front()) : "-", most = timed ? std::to_string(sorted.back()) : "-";
        text += c[0] + "\t" + c[1] + "\t4\t" + c[2] + "\t" + median + "\t" + least + "\t" + most + "\t" + c[3] + "\t\t" +
                (timed ? c[4] : "-") + "\n";
    }
    return text;
}

TEST(LabCompare, GivesRatiosVerdictsMeansAndTheCellsOfOneRunOnly) {
    testfiles::TempDir dir("lab-compare");
    // Each row: shape, n, algorithm, status, the runs' seconds.
    const std::vector<std::vector<std::string>> before = {
        {"square", "1000", "qhull", "ok", "1.00,1.01,0.99"},       // 1.5 times slower, tight runs
        {"square", "1000", "chan", "ok", "1.00,1.01,0.99"},        // twice as fast, tight runs
        {"square", "1000", "incremental", "ok", "1.0,1.3,0.8"},    // noisy both times
        {"square", "1000", "copy", "ok", "1.000,1.001,0.999"},     // clearly different, but by 2%
        {"square", "2000", "qhull", "ok", "2.0"},                  // one run: nothing to test
        {"square", "1000", "gift_wrapping", "skipped", "-"},
        {"disc", "1000", "qhull", "ok", "1,1,1"},
    };
    const std::vector<std::vector<std::string>> after = {
        {"square", "1000", "qhull", "ok", "1.50,1.51,1.49"},
        {"square", "1000", "chan", "ok", "0.50,0.505,0.495"},
        {"square", "1000", "incremental", "ok", "1.1,0.9,1.25"},
        {"square", "1000", "copy", "ok", "1.020,1.021,1.019"},
        {"square", "2000", "qhull", "ok", "2.0"},
        {"square", "1000", "gift_wrapping", "ok", "3,3,3"},
        {"disc", "1000", "chan", "ok", "1,1,1"},
    };
    std::ofstream(dir.path / "old.tsv") << labTsv("AMD EPYC", before);
    std::ofstream(dir.path / "new.tsv") << labTsv("AMD EPYC", after);
    std::ofstream(dir.path / "other.tsv") << labTsv("Intel Xeon", after);
    const std::string tool = "'" TOOLS_DIR "/lab-compare' ";
    const std::string old = "'" + (dir.path / "old.tsv").string() + "' ";
    Outcome same = run(tool + old + "'" + (dir.path / "new.tsv").string() + "'", dir.path);
    ASSERT_EQ(same.status, 0) << same.err;
    struct Verdict {
        std::string n, algorithm;
        double ratio;
        std::string word;
    };
    const std::vector<Verdict> verdicts = {{"1000", "qhull", 1.50, "slower"}, {"1000", "chan", 0.50, "faster"},
                                           {"1000", "incremental", 1.10, "same"}, {"1000", "copy", 1.02, "same"},
                                           {"2000", "qhull", 1.00, "?"}};
    double logSum = 0;
    for (const Verdict& v : verdicts) {
        logSum += std::log(v.ratio);
        bool found = false;
        for (const std::string& line : lines(same.out)) {
            std::istringstream in(line);
            std::string n, algorithm, oldMedian, newMedian, ratio, p, word;
            if (!(in >> n >> algorithm >> oldMedian >> newMedian >> ratio >> p >> word)) continue;
            if (n != v.n || algorithm != v.algorithm) continue;
            found = true;
            EXPECT_NEAR(std::stod(ratio), v.ratio, 0.0015) << line;
            EXPECT_EQ(word, v.word) << line;
        }
        EXPECT_TRUE(found) << v.n << " " << v.algorithm << ": " << same.out;
    }
    char mean[64];
    std::snprintf(mean, sizeof mean, "every cell: %.3f (5 cells: 1 faster, 1 slower, 2 the same", std::exp(logSum / 5));
    EXPECT_NE(same.out.find(mean), std::string::npos) << mean << "\n" << same.out;
    EXPECT_NE(same.out.find("only in OLD (1): disc 1000 qhull"), std::string::npos) << same.out;
    EXPECT_NE(same.out.find("only in NEW (1): disc 1000 chan"), std::string::npos) << same.out;
    EXPECT_NE(same.out.find("not timed in both (1): square 1000 gift_wrapping (skipped -> ok)"), std::string::npos)
        << same.out;
    EXPECT_EQ(same.out.find("warning"), std::string::npos) << "one machine: " << same.out;

    // The machine ran 10% faster for the second file: the floor says so (above, its 2% did not).
    std::vector<std::vector<std::string>> faster = before;
    faster[3][4] = "0.90,0.901,0.899";  // copy
    std::ofstream(dir.path / "faster.tsv") << labTsv("AMD EPYC", faster);
    Outcome drift = run(tool + old + "'" + (dir.path / "faster.tsv").string() + "'", dir.path);
    EXPECT_NE(drift.out.find("warning: the floors (copy), whose code no change to a hull touches, moved by 0.900 over 1 cells"),
              std::string::npos)
        << drift.out;

    Outcome machines = run(tool + old + "'" + (dir.path / "other.tsv").string() + "'", dir.path);
    EXPECT_NE(machines.out.find("warning: the runs differ in cpu: \"AMD EPYC\" against \"Intel Xeon\""), std::string::npos)
        << machines.out;

    // --markdown: a pull request's comment, the cell that failed first, then the cells called.
    std::vector<std::vector<std::string>> broken = after;
    broken[6] = {"disc", "1000", "qhull", "WRONG", "-"};
    std::ofstream(dir.path / "broken.tsv") << labTsv("AMD EPYC", broken);
    Outcome markdown = run(tool + old + "'" + (dir.path / "broken.tsv").string() + "' --markdown '" + (dir.path / "pr.md").string() + "'", dir.path);
    ASSERT_EQ(markdown.status, 0) << markdown.err;
    const std::string comment = testfiles::read(dir.path / "pr.md");
    const std::size_t failure = comment.find("| disc | 1000 | `qhull` | **WRONG** |"), slower = comment.find("| square | 1000 | `qhull` |");
    EXPECT_NE(failure, std::string::npos) << comment;
    EXPECT_NE(slower, std::string::npos) << comment;
    EXPECT_LT(failure, slower) << "the failure first: " << comment;
    EXPECT_NE(comment.find("| faster |"), std::string::npos) << comment;
    EXPECT_EQ(comment.find("| same |"), std::string::npos) << "only the cells called: " << comment;

    // --fail-slower: exit 1 only for a cell slower by more than the limit.
    const std::map<std::string, int> limits = {{"0.4", 1}, {"40%", 1}, {"0.6", 0}};
    for (const auto& [limit, status] : limits) {
        Outcome ci = run(tool + old + "'" + (dir.path / "new.tsv").string() + "' --fail-slower " + limit, dir.path);
        EXPECT_EQ(ci.status, status) << limit << ": " << ci.err;
        EXPECT_EQ(ci.err.find("square 1000 qhull (1.500)") != std::string::npos, status == 1) << limit << ": " << ci.err;
    }
    // Unreadable input: fatal, status 2.
    std::ofstream(dir.path / "not.tsv") << "hello\n";
    for (const std::string& bad : {"'" + (dir.path / "none.tsv").string() + "'", "'" + (dir.path / "not.tsv").string() + "'"}) {
        Outcome refused = run(tool + old + bad, dir.path);
        EXPECT_EQ(refused.status, 2) << bad;
        EXPECT_EQ(refused.err.rfind("lab-compare: fatal: ", 0), 0u) << refused.err;
    }
}

}  // namespace
