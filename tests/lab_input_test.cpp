// hull-lab on the user's own points: the point-file reader on every format and every fault, the
// runs on point files (a bad one touches no output), and the lab's new arguments.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "../lab/lab.h"
#include "lab_run.h"
#include "inputs/inputs.h"
#include "run/cell.h"
#include "results/analysis.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

// ---- The reader ----------------------------------------------------------------------------------

struct Readable {
    const char* name;
    std::string text;
    std::int64_t scale;
    std::vector<Point> points;
    const char* format;
};

TEST(LabInput, ReadsEveryFormat) {
    const std::vector<Readable> cases = {
        {"the program's point file", "1;2\n-3;4\n5;-6\n", 0, {{1, 2}, {-3, 4}, {5, -6}}, "x;y"},
        {"commas", "1,2\n3,4\n", 0, {{1, 2}, {3, 4}}, "x,y"},
        {"blanks and tabs", "1 2\n3\t\t4\n  5   6  \n", 0, {{1, 2}, {3, 4}, {5, 6}}, "x y"},
        {"a CSV header", "x,y\n1,2\n", 0, {{1, 2}}, "x,y"},
        {"comments and blank lines", "# made by hand\n\n1;2\n  # indented\n\n3;4\n", 0, {{1, 2}, {3, 4}}, "x;y"},
        {"CRLF line ends", "lon,lat\r\n1,2\r\n3,4\r\n", 0, {{1, 2}, {3, 4}}, "x,y"},
        {"no line end at the end", "1;2\n3;4", 0, {{1, 2}, {3, 4}}, "x;y"},
        {"blanks around the separator", " 1 ; 2 \n", 0, {{1, 2}}, "x;y"},
        {"a plus sign", "+1;+2\n", 0, {{1, 2}}, "x;y"},
        {"the edge of the exact range", "1073741823;-1073741823\n", 0, {{1073741823, -1073741823}}, "x;y"},
        {"degrees times 10^6", "lon,lat\n12.345678,-45.5\n0.000001,-.25\n", 1000000,
         {{12345678, -45500000}, {1, -250000}}, "x,y"},
        {"whole numbers scaled too", "3 4\n", 10, {{30, 40}}, "x y"},
        {"decimals with trailing zeros", "1.50000000000000000000000;2\n", 2, {{3, 4}}, "x;y"},
    };
    for (const Readable& c : cases) {
        std::string format;
        std::vector<Point> points;
        try {
            points = lab::parsePoints(c.text, c.scale, &format);
        } catch (const lab::InputError& e) {
            ADD_FAILURE() << c.name << ": refused at line " << e.line << ": " << e.what();
            continue;
        }
        EXPECT_EQ(points, c.points) << c.name;
        EXPECT_EQ(format, c.format) << c.name;
    }
}

struct Unreadable {
    const char* name;
    std::string text;
    std::int64_t scale;
    long line;
    const char* message;
};

TEST(LabInput, RefusesEveryFaultWithItsLine) {
    const std::vector<Unreadable> cases = {
        {"a malformed number", "1;2\n3;4x\n", 0, 2, "\"4x\" is not a number"},
        {"a decimal without --scale", "1;2\n1.5;2\n", 0, 2, "is a decimal where whole numbers are read: --coordinates f64"},
        {"a decimal that does not scale to a whole", "0.0000001,1\n", 1000000, 1, "times --scale 1000000 is not a whole number"},
        {"outside the exact range", "1;2\n1073741824;0\n", 0, 2, "outside the exact range |coordinate| < 2^30"},
        {"outside once scaled", "2000;1\n", 1000000, 1, "\"2000\" times --scale 1000000 is outside the exact range"},
        {"beyond 64 bits", "1;99999999999999999999\n", 0, 1, "does not fit in 64 bits"},
        {"one coordinate", "1;2\n3\n", 0, 2, "holds 1 field where a point has 2"},
        {"three coordinates", "1,2,3\n", 0, 1, "holds 3 fields where a point has 2"},
        {"a separator changed midway", "1;2\n3,4\n", 0, 2, "holds 1 field where a point has 2"},
        {"an empty coordinate", "1;\n", 0, 1, "a coordinate is missing"},
        {"a second header", "x;y\nx;y\n", 0, 2, "not a number"},
        {"no points", "# nothing\n\n", 0, 2, "no points in the file"},
        {"an empty file", "", 0, 1, "no points in the file"},
        {"a NUL byte", std::string("1;2\n3;\0004\n", 9), 0, 2, "not text: byte 0x00 at column 3"},
        {"a control byte in a comment", "# \x01\n1;2\n", 0, 1, "not text: byte 0x01"},
    };
    for (const Unreadable& c : cases) {
        try {
            std::vector<Point> points = lab::parsePoints(c.text, c.scale);
            ADD_FAILURE() << c.name << ": read " << points.size() << " points";
        } catch (const lab::InputError& e) {
            EXPECT_EQ(e.line, c.line) << c.name << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.name << ": " << e.what();
        }
    }
}

TEST(LabInput, ShuffledOrdersHoldTheSamePointsAndDifferBySeed) {
    std::vector<Point> points = lab::makeShape("disc", 1000, 3);
    std::vector<Point> a = lab::inputOrder(points, 1), b = lab::inputOrder(points, 1), c = lab::inputOrder(points, 2);
    EXPECT_EQ(a, b) << "the same seed gives the same order";
    EXPECT_NE(a, c) << "another seed gives another order";
    EXPECT_NE(a, points);
    std::sort(a.begin(), a.end());
    std::sort(points.begin(), points.end());
    EXPECT_EQ(a, points) << "a shuffle neither drops nor adds a point";
}

// ---- The growth fit ------------------------------------------------------------------------------

TEST(LabGrowth, FitsTheExponentOfMadeUpFigures) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::int64_t, double>> figures;
        bool fits;
        double exponent;
    };
    auto power = [](double a, double b, std::vector<std::int64_t> sizes) {
        std::vector<std::pair<std::int64_t, double>> figures;
        for (std::int64_t n : sizes) figures.push_back({n, a * std::pow(double(n), b)});
        return figures;
    };
    const std::vector<Case> cases = {
        {"linear", power(3e-9, 1, {1000, 10000, 100000, 1000000}), true, 1.0},
        {"quadratic", power(1e-10, 2, {1000, 10000, 100000}), true, 2.0},
        {"n^1.5 at two sizes", power(1e-9, 1.5, {300, 3000}), true, 1.5},
        {"constant", power(5e-6, 0, {10, 100, 1000}), true, 0.0},
        // Made-up noise: factors 1.1 and 1/1.1 at the ends tilt the fit by log(1.21)/log(1000).
        {"noisy n^2", {{1000, 1.1e-4}, {10000, 1e-2}, {100000, 1e0 / 1.1}}, true, 2.0 - std::log(1.21) / std::log(100.0)},
        {"one size", power(1e-9, 1, {5000}), false, 0},
        {"one size twice", {{5000, 1e-3}, {5000, 2e-3}}, false, 0},
        {"no figures", {}, false, 0},
        {"a zero figure is left out", {{1000, 0.0}, {2000, 1e-3}}, false, 0},
    };
    for (const Case& c : cases) {
        double exponent = -1;
        EXPECT_EQ(lab::fitGrowth(c.figures, exponent), c.fits) << c.name;
        if (c.fits) {
            EXPECT_NEAR(exponent, c.exponent, 1e-9) << c.name;
        }
    }
}

// ---- hull-lab on point files ---------------------------------------------------------------------

class LabFiles : public testing::Test {
  protected:
    LabRun lab(const std::string& arguments) { return runLab(dir_.path, arguments); }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir_.path / name, std::ios::binary) << text;
    }
    testfiles::TempDir dir_{"hull-lab-files"};
};

// Two files of the same points in two formats: each its own table, the same h, every order right.
TEST_F(LabFiles, TimesEveryAlgorithmOnEachFile) {
    std::string semicolons, csv = "x,y\r\n";
    for (const Point& p : lab::makeShape("disc", 400, 9)) {
        semicolons += std::to_string(p.x) + ";" + std::to_string(p.y) + "\n";
        csv += std::to_string(p.x) + "," + std::to_string(p.y) + "\r\n";
    }
    write("mine.txt", semicolons);
    write("mine.csv", csv);
    const std::size_t h = reference::corners(lab::referencePoints(lab::makeShape("disc", 400, 9))).size();
    for (const char* order : {"", " --same-points"}) {
        LabRun run = lab(std::string("--input mine.txt,mine.csv --algorithms incremental,qhull,gift_wrapping,chan --runs 2 "
                                  "--tsv lab.tsv") + order);
        ASSERT_EQ(run.status, 0) << order << ": " << run.err;
        EXPECT_NE(run.out.find("\ninput mine.csv: "), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(" 400 points (x,y), "), std::string::npos) << run.out;
        std::vector<std::string> rows = testfiles::tsvLines(testfiles::read(dir_.path / "lab.tsv"));
        ASSERT_EQ(rows.size(), 1u + 2 * 4) << order;
        for (std::size_t i = 1; i < rows.size(); ++i) {
            const std::string file = i <= 4 ? "mine.txt" : "mine.csv";
            EXPECT_EQ(rows[i].rfind(file + "\t400\t" + std::to_string(h) + "\t", 0), 0u) << order << ": " << rows[i];
            EXPECT_NE(rows[i].find("\tok\t"), std::string::npos) << order << ": " << rows[i];
        }
    }
}

// A bad file stops the run before any cell and before any output is made or emptied.
TEST_F(LabFiles, ABadFileIsNamedWithItsLineAndTouchesNoOutput) {
    write("good.txt", "1;2\n5;6\n3;9\n");
    write("decimal.csv", "x,y\n1,2\n1.5,2\n1e39,2\n");
    write("far.txt", "1;2\n2000000000;1\n");
    write("empty.txt", "# no points\n");
    fs::create_directory(dir_.path / "folder");
    struct Case {
        std::string arguments, message;
    };
    const std::vector<Case> cases = {
        {"--input good.txt,decimal.csv --coordinates int", "hull-lab: decimal.csv:3: \"1.5\" is a decimal"},
        {"--input good.txt,decimal.csv --coordinates f32", "hull-lab: decimal.csv:4: \"1e39\" lies beyond the largest float"},
        {"--input decimal.csv --scale 3", "hull-lab: decimal.csv:3: \"1.5\" times --scale 3 is not a whole number"},
        {"--input far.txt", "hull-lab: far.txt:2: \"2000000000\" is outside the exact range |coordinate| < 2^30"},
        {"--input empty.txt", "hull-lab: empty.txt:1: no points in the file"},
        {"--input missing.txt", "hull-lab: missing.txt: cannot be read: No such file or directory"},
        {"--input folder", "hull-lab: folder: cannot be read: Is a directory"},
    };
    const std::string earlier = "# an earlier run\nshape\tn\th\talgorithm\tmedian_s\tmin_s\tmax_s\tstatus\tnote\truns_s\n";
    for (const Case& c : cases) {
        write("results.tsv", earlier);
        fs::remove_all(dir_.path / "points");
        LabRun run = lab(c.arguments + " --tsv results.tsv --write-points points");
        EXPECT_EQ(run.status, 2) << c.arguments;
        EXPECT_EQ(testfiles::lines(run.err).at(0).rfind(c.message, 0), 0u) << c.arguments << ": " << run.err;
        EXPECT_EQ(run.out, "") << c.arguments << ": something ran";
        EXPECT_EQ(testfiles::read(dir_.path / "results.tsv"), earlier) << c.arguments << ": the TSV was touched";
        EXPECT_FALSE(fs::exists(dir_.path / "points")) << c.arguments << ": the points folder was made";
    }
}

// The arguments as people type them.
TEST_F(LabFiles, TakesNameEqualsValueAndSizesLike1e3) {
    LabRun run = lab("--shapes=square --sizes=1e3,2.5e3 --algorithms=qhull --runs=1 --tsv=lab.tsv");
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> rows = testfiles::tsvLines(testfiles::read(dir_.path / "lab.tsv"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].rfind("square\t1000\t", 0), 0u) << rows[1];
    EXPECT_EQ(rows[2].rfind("square\t2500\t", 0), 0u) << rows[2];
    // The context, in the text and as the TSV's first lines; the growth under the table.
    const std::string tsv = testfiles::read(dir_.path / "lab.tsv");
    for (const char* name : {"date", "version", "compiler", "flags", "build type", "cpu", "cores", "caches", "memory",
                             "load average", "libraries"}) {
        EXPECT_NE(("\n" + run.out).find(std::string("\n") + name + ": "), std::string::npos) << name << ": " << run.out;
        EXPECT_NE(tsv.find(std::string("# ") + name + ": "), std::string::npos) << name << ": " << tsv;
    }
    EXPECT_NE(run.out.find("growth, fitted over n = 1000 to 2500 (least squares of log time on log n): qhull ~ n^"),
              std::string::npos) << run.out;

    LabRun version = lab("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("hull-lab ", 0), 0u) << version.out;
    EXPECT_NE(run.out.find(testfiles::lines(version.out).at(0).substr(9, 7)), std::string::npos)
        << "the version names the same commit as the run's context";

    for (const char* bad : {"--sizes 1.55e1", "--sizes=abc", "--scale 10", "--input a.txt --sizes 1000", "--input="}) {
        LabRun refused = lab(bad);
        EXPECT_EQ(refused.status, 2) << bad;
        EXPECT_EQ(refused.err.rfind("hull-lab: ", 0), 0u) << bad << ": " << refused.err;
    }
}

}  // namespace
