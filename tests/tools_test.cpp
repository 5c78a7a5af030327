// The companion tools: hullcheck on real and broken hull files, and the two plot scripts.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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
    struct {
        std::string command, message;
    } cases[] = {
        {"plot-times '" + (files_ / "none.txt").string() + "'", "plot-times: fatal: cannot read"},
        {"plot-times '" + (files_ / "times.txt").string() + "'", "times.txt:1: not a row of times.txt"},
        {"plot-hulls '" + files_.string() + "'", "plot-hulls: fatal: cannot read " + (files_ / "gift.txt").string()},
        {"plot-times --bogus", "usage: plot-times"},
    };
    for (const auto& c : cases) {
        Outcome result = run("cd '" + top_.string() + "' && '" TOOLS_DIR "/'" + c.command, top_);
        EXPECT_NE(result.status, 0) << c.command;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.command << ": " << result.err;
    }
    EXPECT_FALSE(fs::exists(top_ / "times.png"));
    EXPECT_FALSE(fs::exists(top_ / "hulls.png"));
}

}  // namespace
