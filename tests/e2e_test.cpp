// End to end: runs the real hullbench in a fresh directory and checks everything it prints and
// writes, in a whole run, with outputs it cannot write, out of memory and interrupted. A whole run
// takes a couple of minutes (these tests are labelled `slow`).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hull_check.h"
#include "hullbench.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

using testfiles::lines;
using testfiles::read;

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

// Runs `command` (hullbench last, given one argument) in `dir`, its standard output and error
// caught in files beside it. With a signal, sends it once the table's first row is out. With
// `stdoutTo`, standard output goes there instead (and is not read back).
Outcome runIn(const fs::path& dir, std::vector<std::string> command, int signal = 0,
              const char* stdoutTo = nullptr) {
    command.push_back("--ignored-argument");
    const fs::path out = stdoutTo != nullptr ? fs::path(stdoutTo) : dir / "../stdout", err = dir / "../stderr";
    pid_t child = fork();
    if (child == 0) {
        int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (chdir(dir.c_str()) != 0 || outFd < 0 || errFd < 0) _exit(127);
        dup2(outFd, 1);
        dup2(errFd, 2);
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        std::vector<char*> argv;
        for (std::string& word : command) argv.push_back(word.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (signal != 0) {
        for (int waited = 0; lines(read(out)).size() < 3 && waited < 600000; waited += 20) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        kill(child, signal);
    }
    int status = 0;
    waitpid(child, &status, 0);
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    return {code, stdoutTo != nullptr ? "" : read(out), read(err)};
}

Outcome runHullbench(const fs::path& dir) { return runIn(dir, {HULLBENCH_PATH}); }

// The table: two header lines and `rows` rows in order, each value in the %e format; without the
// header and with one tab between the columns, the rows of "times.txt".
void expectTable(const std::string& out, std::size_t rows = 13, bool header = true) {
    std::vector<std::string> table = lines(out);
    const std::size_t top = header ? 2 : 0;
    ASSERT_EQ(table.size(), top + rows) << out;
    if (header) {
        EXPECT_EQ(out.substr(0, out.find('\n', out.find('\n') + 1) + 1),
                  "Points\tIncremental\tGift Wrapping\tQuick Hull\n"
                  "-------------------------------------------------------- \n");
    }
    const char* sizes[] = {"10",     "50",     "100",     "500",     "1000",    "5000",    "10000",
                           "50000",  "100000", "500000",  "1000000", "5000000", "10000000"};
    const std::string value = R"(\d\.\d{6}e[-+]\d{2,3})";
    const std::string tab = header ? "\t\t" : "\t";
    for (std::size_t k = 0; k < rows; ++k) {
        std::regex row(std::string(sizes[k]) + tab + value + tab + value + tab + value);
        EXPECT_TRUE(std::regex_match(table[k + top], row)) << "row " << k << ": " << table[k + top];
    }
}

class EndToEnd : public testing::Test {
  protected:
    void SetUp() override { fs::create_directory(dir_); }

    testfiles::TempDir top_{"hullbench-e2e"};
    const fs::path dir_ = top_.path / "run";
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

// The table is lost, but the run goes on: the files are written, and "times.txt" holds the results.
TEST_F(EndToEnd, UnwritableStandardOutputIsNamedAndTheFilesStillHoldTheResults) {
    Outcome run = runIn(dir_, {HULLBENCH_PATH}, 0, "/dev/full");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "hullbench: cannot write standard output: No space left on device\n");
    expectTable(testfiles::read(dir_ / "times.txt"), 13, /*header=*/false);
    ExpectedFiles expected = expectedFiles();
    EXPECT_EQ(read(dir_ / "points.txt"), expected.points);
    EXPECT_EQ(read(dir_ / "inc.txt"), expected.clockwise);
    EXPECT_EQ(read(dir_ / "gift.txt"), expected.clockwise);
    EXPECT_EQ(read(dir_ / "qhull.txt"), expected.counterClockwise);
}

// ---- Faults: memory, signals, a full disk ----------------------------------------------------

TEST_F(EndToEnd, OutOfMemoryEndsWithAMessageAndLeavesTimesTxtAlone) {
    std::ofstream(dir_ / "times.txt") << "an older times.txt\n";
    // 100 MB of address space: enough for the correctness run and the first sizes, not for all.
    Outcome run = runIn(dir_, {"/usr/bin/prlimit", "--as=100000000", "--core=0", HULLBENCH_PATH});
    EXPECT_EQ(run.status, 1) << "a clean exit, not a signal";
    EXPECT_EQ(run.err, "hullbench: out of memory\n");
    std::size_t rows = lines(run.out).size() - 2;
    EXPECT_TRUE(rows >= 1 && rows < 13) << run.out;
    expectTable(run.out, rows);
    EXPECT_EQ(read(dir_ / "times.txt"), "an older times.txt\n");
    EXPECT_EQ(read(dir_ / "points.txt"), expectedFiles().points);
}

TEST_F(EndToEnd, InterruptedRunLeavesTimesTxtAloneAndThePointFilesComplete) {
    for (int signal : {SIGINT, SIGTERM}) {
        std::ofstream(dir_ / "times.txt") << "an older times.txt\n";
        Outcome run = runIn(dir_, {HULLBENCH_PATH}, signal);
        EXPECT_EQ(run.status, 128 + signal) << strsignal(signal);
        EXPECT_EQ(read(dir_ / "times.txt"), "an older times.txt\n") << strsignal(signal);
        ExpectedFiles expected = expectedFiles();
        EXPECT_EQ(read(dir_ / "points.txt"), expected.points) << strsignal(signal);
        EXPECT_EQ(read(dir_ / "inc.txt"), expected.clockwise) << strsignal(signal);
        EXPECT_EQ(read(dir_ / "gift.txt"), expected.clockwise) << strsignal(signal);
        EXPECT_EQ(read(dir_ / "qhull.txt"), expected.counterClockwise) << strsignal(signal);
    }
}

TEST_F(EndToEnd, PointFileOnAFullDiskIsNamed) {
    fs::create_symlink("/dev/full", dir_ / "inc.txt");
    Outcome run = runIn(dir_, {HULLBENCH_PATH}, SIGTERM);
    EXPECT_EQ(run.err, "hullbench: cannot write inc.txt: No space left on device\n");
    ExpectedFiles expected = expectedFiles();
    EXPECT_EQ(read(dir_ / "points.txt"), expected.points);
    EXPECT_EQ(read(dir_ / "gift.txt"), expected.clockwise);
    EXPECT_EQ(read(dir_ / "qhull.txt"), expected.counterClockwise);
}

}  // namespace
