// Predicates, random point sets and point files.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <stdexcept>

#include "hullbench.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

// ---- Predicates --------------------------------------------------------------------------------

struct PredicateCase {
    const char* why;
    Point a, b, c;
    double distance;   // cross product (b - a) x (c - a)
    int orientation;   // of a -> b -> c: 1 clockwise, -1 counter-clockwise
};

const PredicateCase kPredicateCases[] = {
    {"left turn", {0, 0}, {1, 0}, {1, 1}, 1.0, -1},
    {"right turn", {0, 0}, {1, 0}, {1, -1}, -1.0, 1},
    {"collinear", {0, 0}, {1, 1}, {2, 2}, 0.0, 0},
    {"one point three times", {7, -3}, {7, -3}, {7, -3}, 0.0, 0},
    {"negative coordinates", {-2, -2}, {2, -2}, {0, 3}, 20.0, -1},
    {"whole range, left: exact value 2^64 - 1", {kMin, kMin}, {kMax, kMax}, {kMax - 1, kMax},
     18446744073709551615.0, -1},
    {"whole range, right", {kMin, kMin}, {kMax, kMax}, {kMax, kMax - 1}, -18446744073709551615.0, 1},
    {"whole range, collinear", {kMin + 1, kMin + 1}, {0, 0}, {kMax, kMax}, 0.0, 0},
    {"whole range, largest area (2^64 - 1)^2", {kMin, kMin}, {kMax, kMin}, {kMin, kMax},
     std::ldexp(1.0, 128), -1},
    {"whole range, products cancel to minus one", {kMin, kMin}, {kMax, kMax - 1}, {kMax - 1, kMax - 2},
     -1.0, 1},
};

TEST(Predicates, SignsExactnessAndEquality) {
    for (const PredicateCase& c : kPredicateCases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(distance(c.a, c.b, c.c), c.distance);
        EXPECT_EQ(orientation(c.a, c.b, c.c), c.orientation);
        EXPECT_EQ(orientation(c.a, c.c, c.b), -c.orientation) << "swapping the last two reverses the turn";
        EXPECT_TRUE(is_equal(c.b, Point{c.b.x, c.b.y}));
        EXPECT_FALSE(is_equal(c.b, Point{c.b.x, c.b.y ^ 1}) || is_equal(c.b, Point{c.b.x ^ 1, c.b.y}));
    }
}

TEST(Predicates, MatchTheSixtyFourBitFormulasWhereTheyDoNotOverflow) {
    std::mt19937_64 random(20261207);
    std::uniform_int_distribution<std::int64_t> coordinate(-(1LL << 30) + 1, (1LL << 30) - 1);
    for (int i = 0; i < 10000; ++i) {
        Point a{coordinate(random), coordinate(random)};
        Point b{coordinate(random), coordinate(random)};
        Point c{coordinate(random), coordinate(random)};
        std::int64_t d = (b.x - a.x) * (c.y - a.y) + (b.y - a.y) * (a.x - c.x);
        std::int64_t v = (b.x - a.x) * (c.y - b.y) + (b.y - a.y) * (b.x - c.x);
        ASSERT_EQ(distance(a, b, c), double(d)) << "case " << i << ": " << a << b << c;
        ASSERT_EQ(orientation(a, b, c), v < 0 ? 1 : v > 0 ? -1 : 0) << "case " << i << ": " << a << b << c;
    }
}

// ---- Random point sets -------------------------------------------------------------------------

TEST(Init, FirstDrawBecomesYAndSecondBecomesX) {
    srand(1);
    int first = rand();
    int second = rand();
    srand(1);
    PointList points = init(1000, 1000, 1);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points.front(), (Point{second % 1000, first % 1000}));
}

TEST(Init, CountsOfZeroOrLessDrawNothing) {
    srand(1);
    PointList expected = init(1000, 700, 5);
    srand(1);
    EXPECT_TRUE(init(1000, 700, 0).empty());
    EXPECT_TRUE(init(1000, 700, -5).empty());
    EXPECT_TRUE(init(0, 0, 0).empty()) << "a zero bound is not looked at when nothing is drawn";
    EXPECT_EQ(init(1000, 700, 5), expected);
}

TEST(Init, EachPointDrawsTwoValues) {
    srand(1);
    for (int i = 0; i < 6; ++i) rand();
    int seventh = rand();
    srand(1);
    EXPECT_EQ(init(1, 1, 3), (PointList{{0, 0}, {0, 0}, {0, 0}}));
    EXPECT_EQ(rand(), seventh);
}

TEST(Init, PointsLieInsideTheBoundsAndNegativeBoundsActLikeTheirSize) {
    srand(1);
    PointList positive = init(37, 11, 500);
    srand(1);
    EXPECT_EQ(init(-37, -11, 500), positive);
    for (const Point& p : positive) {
        ASSERT_TRUE(p.x >= 0 && p.x < 37 && p.y >= 0 && p.y < 11) << p;
    }
}

TEST(Init, ZeroBoundThrowsNamingTheBound) {
    struct {
        std::int64_t maxX, maxY;
        const char* named;
    } cases[] = {{0, 10, "maxX"}, {10, 0, "maxY"}};
    for (const auto& c : cases) {
        try {
            init(c.maxX, c.maxY, 1);
            ADD_FAILURE() << "no exception for bounds " << c.maxX << ", " << c.maxY;
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
        }
    }
}

// ---- Point files -------------------------------------------------------------------------------

class PointFiles : public testing::Test {
  protected:
    std::string path(const char* name) const { return (dir_.path / name).string(); }
    static std::string read(const std::string& file) { return testfiles::read(file); }

    testfiles::TempDir dir_{"hullbench-points"};
};

TEST_F(PointFiles, WritesOneLinePerPointWithSemicolons) {
    EXPECT_EQ(printPoints({{3, 4}, {-5, 12}, {0, 0}}, path("three.txt")), 0);
    EXPECT_EQ(read(path("three.txt")), "3;4\n-5;12\n0;0\n");
    EXPECT_EQ(fs::file_size(path("three.txt")), 14u);
}

TEST_F(PointFiles, WritesTheWholeSixtyFourBitRange) {
    EXPECT_EQ(printPoints({{kMin, kMax}}, path("wide.txt")), 0);
    EXPECT_EQ(read(path("wide.txt")), "-9223372036854775808;9223372036854775807\n");
}

TEST_F(PointFiles, EmptyListGivesAnEmptyFile) {
    EXPECT_EQ(printPoints({}, path("empty.txt")), 0);
    ASSERT_TRUE(fs::exists(path("empty.txt")));
    EXPECT_EQ(fs::file_size(path("empty.txt")), 0u);
}

TEST_F(PointFiles, LongerOlderContentIsTruncated) {
    std::ofstream(path("old.txt")) << "1;1\n2;2\n3;3\n4;4\n5;5\n";
    EXPECT_EQ(printPoints({{9, 9}}, path("old.txt")), 0);
    EXPECT_EQ(read(path("old.txt")), "9;9\n");
}

TEST_F(PointFiles, FailuresAreNamedOnStandardErrorAndReturnNonZero) {
    fs::create_directory(path("a-directory"));
    struct {
        std::string file;
        std::string message;
    } cases[] = {
        {path("missing/dir.txt"), "hullbench: cannot write " + path("missing/dir.txt") + ": No such file or directory\n"},
        {path("a-directory"), "hullbench: cannot write " + path("a-directory") + ": Is a directory\n"},
        {"/dev/full", "hullbench: cannot write /dev/full: No space left on device\n"},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        int result = printPoints({{1, 2}, {3, 4}}, c.file);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_NE(result, 0) << c.file;
    }
    EXPECT_FALSE(fs::exists(path("missing"))) << "nothing is created for a missing directory";
}

TEST(PointFilesOnStandardOutput, WritesTabSeparatedLines) {
    testing::internal::CaptureStdout();
    int result = printPoints(PointList{{3, 4}, {-5, 12}, {0, 0}});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "3\t4\n-5\t12\n0\t0\n");
    EXPECT_EQ(result, 0);
}

}  // namespace
