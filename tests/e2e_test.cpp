// End to end: runs the real hullbench in a fresh directory and checks everything it prints and
// writes. Each test takes as long as a whole run of the program (labelled `slow`).

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "hull_check.h"
#include "hullbench.h"

namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

std::string pointFile(const std::vector<Point>& points) {
    std::string text;
    for (const Point& p : points) text += std::to_string(p.x) + ";" + std::to_string(p.y) + "\n";
    return text;
}

// What the four point files must hold, worked out here: the correctness run's 100 points from
// the C library's default sequence, and their hull from the brute force in each file's direction.
struct ExpectedFiles {
    std::string points, clockwise, counterClockwise;
};

ExpectedFiles expectedFiles() {
    srand(1);
    PointList points;
    for (int i = 0; i < 100; ++i) {
        int first = rand();
        int second = rand();
        points.push_back({second % 1000, first % 1000});
    }
    std::vector<Point> corners = hullcheck::bruteCorners(points);
    EXPECT_EQ(corners.size(), 10u) << "this point set has ten corners and no point on an edge";
    std::vector<Point> reversed(corners);
    std::reverse(reversed.begin() + 1, reversed.end());
    return {pointFile({points.begin(), points.end()}), pointFile(corners), pointFile(reversed)};
}

struct Outcome {
    int status;
    std::string out, err;
};

// Runs hullbench with one argument in `dir`, standard output and error caught in files beside it.
Outcome runHullbench(const fs::path& dir) {
    std::string command = "cd '" + dir.string() + "' && '" HULLBENCH_PATH "' --ignored-argument >'" +
                          (dir / "../stdout").string() + "' 2>'" + (dir / "../stderr").string() + "'";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read(dir / "../stdout"), read(dir / "../stderr")};
}

// The table: two header lines and 13 rows in order, each value in the %e format.
void expectTable(const std::string& out) {
    std::vector<std::string> table = lines(out);
    ASSERT_EQ(table.size(), 15u) << out;
    EXPECT_EQ(out.substr(0, out.find('\n', out.find('\n') + 1) + 1),
              "Points\tIncremental\tGift Wrapping\tQuick Hull\n"
              "-------------------------------------------------------- \n");
    const char* sizes[] = {"10",     "50",     "100",     "500",     "1000",    "5000",    "10000",
                           "50000",  "100000", "500000",  "1000000", "5000000", "10000000"};
    const std::string value = R"(\d\.\d{6}e[-+]\d{2,3})";
    for (int k = 0; k < 13; ++k) {
        std::regex row(std::string(sizes[k]) + "\t\t" + value + "\t\t" + value + "\t\t" + value);
        EXPECT_TRUE(std::regex_match(table[k + 2], row)) << "row " << k << ": " << table[k + 2];
    }
}

class EndToEnd : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/hullbench-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        top_ = pattern;
        dir_ = top_ / "run";
        fs::create_directory(dir_);
    }
    void TearDown() override { fs::remove_all(top_); }

    fs::path top_, dir_;
};

TEST_F(EndToEnd, WholeRunWritesTheTableAndFiveFiles) {
    Outcome run = runHullbench(dir_);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    expectTable(run.out);

    std::string rows = run.out.substr(run.out.find(" \n") + 2);
    EXPECT_EQ(read(dir_ / "times.txt"), std::regex_replace(rows, std::regex("\t\t"), "\t"));

    ExpectedFiles expected = expectedFiles();
    EXPECT_EQ(read(dir_ / "points.txt"), expected.points);
    EXPECT_EQ(lines(expected.points)[0], "886;383") << "glibc's first two values, y then x";
    EXPECT_EQ(read(dir_ / "inc.txt"), expected.clockwise);
    EXPECT_EQ(read(dir_ / "gift.txt"), expected.clockwise);
    EXPECT_EQ(read(dir_ / "qhull.txt"), expected.counterClockwise);
}

TEST_F(EndToEnd, UnwritableFilesAreNamedAndTheRunEndsWithStatusOne) {
    fs::create_directory(dir_ / "points.txt");
    fs::create_symlink("/dev/full", dir_ / "times.txt");
    Outcome run = runHullbench(dir_);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "hullbench: cannot write points.txt: Is a directory\n"
              "hullbench: cannot write times.txt: No space left on device\n");
    expectTable(run.out);

    ExpectedFiles expected = expectedFiles();
    EXPECT_TRUE(fs::is_directory(dir_ / "points.txt"));
    EXPECT_EQ(read(dir_ / "inc.txt"), expected.clockwise);
    EXPECT_EQ(read(dir_ / "gift.txt"), expected.clockwise);
    EXPECT_EQ(read(dir_ / "qhull.txt"), expected.counterClockwise);
}

}  // namespace
