// The fastest hull's throw-away pass in each of its forms (one point at a time, AVX2, AVX-512 with
// its core test and buffer) against each other: the same survivors on random and adversarial
// polygons, and every corner among them. Then its chains' thinning, against the reference.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "../lab/lab.h"
#include "../lab/inputs/inputs.h"
#include "../lab/own/fast_hull_parts.h"
#include "../lab/own/own.h"
#include "../lab/run/cell.h"
#include "reference_hull.h"

namespace {

using Points = std::vector<Point>;

struct PassForm {
    const char* name;
    bool avx2, avx512;
};

void PrintTo(const PassForm& f, std::ostream* os) { *os << f.name; }

class ThrowAwayPass : public testing::TestWithParam<PassForm> {
  protected:
    void SetUp() override {
        if (GetParam().avx2 && !lab::fastHullHasAvx2()) GTEST_SKIP() << "this processor has no AVX2";
        if (GetParam().avx512 && !lab::fastHullHasAvx512()) GTEST_SKIP() << "this processor has no AVX-512";
    }

    // The survivors of `input` by this form and by the one-point-at-a-time form, each sorted; the
    // form's run in place (its output over its input) as the second filter runs it.
    void expectSameSurvivors(const Points& input, const lab::fast::Polygon& polygon, const std::string& context) {
        lab::FastHullPaths plain, form;
        plain.avx2 = plain.avx512 = false;
        form.avx2 = GetParam().avx2, form.avx512 = GetParam().avx512;
        Points expected(input.size()), got(input.size()), inPlace = input;
        expected.resize(lab::fast::survivorsOf(input.data(), input.size(), expected.data(), polygon, plain));
        got.resize(lab::fast::survivorsOf(input.data(), input.size(), got.data(), polygon, form));
        inPlace.resize(lab::fast::survivorsOf(inPlace.data(), inPlace.size(), inPlace.data(), polygon, form));
        std::sort(expected.begin(), expected.end());
        std::sort(got.begin(), got.end());
        std::sort(inPlace.begin(), inPlace.end());
        EXPECT_EQ(got, expected) << GetParam().name << ", " << context;
        EXPECT_EQ(inPlace, expected) << GetParam().name << " in place, " << context;
        // Every corner of the input's hull survives.
        for (const reference::Pt& c : reference::corners(lab::referencePoints(input))) {
            EXPECT_TRUE(std::binary_search(got.begin(), got.end(), Point{c.x, c.y}))
                << GetParam().name << ", " << context << ": corner " << c.x << ";" << c.y << " thrown away";
        }
    }

    // The polygon the sample of `input` gives (the pass forced, as on a small input).
    static bool polygonOf(const Points& input, lab::fast::Polygon& polygon) {
        lab::FastHullPaths forced;
        forced.filter = lab::FastHullPaths::On;
        return lab::fast::choosePath(input.data(), input.size(), forced, polygon) == lab::fast::Path::Filter;
    }
};

// Points on the polygon's edges (every lattice point of each), at its corners, one unit either
// side of both, and at the corners of its core (the box, the diamond and the octagon about its
// centre, where the vector form throws points away without the polygon's test) and one unit
// beyond, each twice.
Points adversarial(const lab::fast::Polygon& q) {
    Points points;
    for (int e = 0; e < q.edges; ++e) {
        const Point a = q.corner[e];
        const std::int64_t g = std::max<std::int64_t>(1, std::gcd(std::abs(q.u[e]), std::abs(q.w[e])));
        const std::int64_t du = q.u[e] / g, dw = q.w[e] / g, steps = std::min<std::int64_t>(g, 40);
        for (std::int64_t t = 0; t <= steps; ++t) {
            const Point p{a.x + du * t, a.y + dw * t};
            for (const Point& d : {Point{0, 0}, Point{1, 0}, Point{-1, 0}, Point{0, 1}, Point{0, -1}}) points.push_back({p.x + d.x, p.y + d.y});
        }
    }
    for (std::int64_t r : {q.box, q.box + 1, q.diamond, q.diamond + 1}) {
        if (r < 0) continue;
        for (const Point& d : {Point{r, r}, Point{-r, r}, Point{r, -r}, Point{-r, -r}, Point{r, 0}, Point{0, r}, Point{-r, 0}, Point{0, -r}}) {
            points.push_back({q.cx + d.x, q.cy + d.y});
        }
    }
    for (std::int64_t r : {q.octagon, q.octagon + 1}) {  // the octagon's corners, on and one unit beyond
        if (q.octagon < 0) continue;
        const std::int64_t s = q.octagonSum - q.octagon + (r - q.octagon);
        for (const Point& d : {Point{r, s}, Point{s, r}, Point{-s, r}, Point{-r, s}, Point{-r, -s}, Point{-s, -r}, Point{s, -r}, Point{r, -s}}) {
            points.push_back({q.cx + d.x, q.cy + d.y});
        }
    }
    Points twice = points;
    twice.insert(twice.end(), points.begin(), points.end());
    return twice;
}

TEST_P(ThrowAwayPass, SameSurvivorsOnEveryShape) {
    for (const char* shape : {"square", "disc", "normal", "lattice", "circle", "convex", "sliver"}) {
        for (std::size_t n : {600, 5000, 70000}) {
            const Points input = lab::makeShape(shape, std::int64_t(n), 3);
            lab::fast::Polygon polygon;
            if (!polygonOf(input, polygon)) continue;  // no polygon of three corners: no pass
            expectSameSurvivors(input, polygon, std::string(shape) + ", " + std::to_string(n) + " points, seed 3");
        }
    }
}

TEST_P(ThrowAwayPass, SameSurvivorsOnEdgesCornersAndTheCore) {
    for (const char* shape : {"square", "disc", "normal", "lattice"}) {
        const Points sampled = lab::makeShape(shape, 4000, 5);
        lab::fast::Polygon polygon;
        ASSERT_TRUE(polygonOf(sampled, polygon)) << shape;
        Points input = adversarial(polygon);
        std::mt19937_64 random(5);
        std::shuffle(input.begin(), input.end(), random);
        expectSameSurvivors(input, polygon, std::string("points on the polygon of ") + shape + ", 4000 points, seed 5");
        input.insert(input.end(), sampled.begin(), sampled.end());
        expectSameSurvivors(input, polygon, std::string("those and ") + shape + ", 4000 points, seed 5");
    }
}

// Counts on each side of the vector forms' groups (8 and 4 points, the rest one at a time) and of
// the buffer's flush (some 1,016 points the core cannot place): points near the hull's edge, none
// in the core, so that every one of them goes to the buffer.
TEST_P(ThrowAwayPass, EachSideOfTheGroupsAndTheBuffer) {
    const Points ring = lab::makeShape("circle", 5000, 7);
    lab::fast::Polygon polygon;
    ASSERT_TRUE(polygonOf(ring, polygon));
    for (std::size_t n : {0, 1, 3, 4, 5, 7, 8, 9, 15, 16, 17, 1015, 1016, 1017, 1024, 1025, 2040, 2049, 5000}) {
        const Points input(ring.begin(), ring.begin() + std::ptrdiff_t(n));
        expectSameSurvivors(input, polygon, "circle, first " + std::to_string(n) + " of 5000 points, seed 7");
    }
}

// The chains thin their lists before the stack where the list is long (some 4,096 points) and a
// probe finds it dented: on either side of that length, on `circle` (dents everywhere), with every
// point twice or three times (a copy must not take its point's place as a dent), with points on
// the hull's edges, and on `convex` (no dents: not thinned). The fastest hull by keys, one thread.
TEST(ChainsThinned, CornersOnEachSideOfTheThinningWithCopiesAndEdgePoints) {
    lab::FastHullPaths keys;
    keys.filter = lab::FastHullPaths::Off, keys.radix = lab::FastHullPaths::On, keys.quickhull = lab::FastHullPaths::Off;
    for (const char* shape : {"circle", "convex"}) {
        for (std::size_t n : {7800, 8300, 9000, 40000}) {
            const Points base = lab::makeShape(shape, std::int64_t(n), 8);
            Points twice = base, thrice;
            twice.insert(twice.end(), base.begin(), base.end());
            for (int copy = 0; copy < 3; ++copy) thrice.insert(thrice.end(), base.begin(), base.begin() + std::ptrdiff_t(n / 2));
            Points edges = base;  // the midpoints of pairs of points, on edges or inside
            for (std::size_t i = 0; i + 1 < n; i += 2) {
                if ((base[i].x + base[i + 1].x) % 2 == 0 && (base[i].y + base[i + 1].y) % 2 == 0)
                    edges.push_back({(base[i].x + base[i + 1].x) / 2, (base[i].y + base[i + 1].y) / 2});
            }
            for (const auto& [name, input] : {std::pair<const char*, const Points&>{"as drawn", base}, {"every point twice", twice},
                                              {"half of them three times", thrice}, {"with midpoints", edges}}) {
                std::vector<reference::Pt> clockwise = reference::corners(lab::referencePoints(input));
                Points expected;
                if (!clockwise.empty()) expected.push_back({clockwise[0].x, clockwise[0].y});
                for (std::size_t i = clockwise.size(); i-- > 1;) expected.push_back({clockwise[i].x, clockwise[i].y});
                const Points got = lab::fastHull(input, keys);
                ASSERT_EQ(got.size(), expected.size()) << shape << ", " << n << " points, seed 8, " << name;
                EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin(), [](const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }))
                    << shape << ", " << n << " points, seed 8, " << name;
            }
        }
    }
}

// The chains' split and thinning eight keys at a time (AVX-512) against one at a time: the same
// two chains, key for key, on each side of the groups' and the thinning's lengths, with copies.
TEST(ChainsThinned, EightKeysAtATimeAsOneAtATime) {
    if (!lab::fastHullHasAvx512()) GTEST_SKIP() << "this processor has no AVX-512";
    for (const char* shape : {"circle", "convex", "disc"}) {
        for (std::size_t n : {2, 3, 9, 10, 11, 17, 18, 25, 4095, 4096, 4097, 8200, 8201, 20000}) {
            Points input = lab::makeShape(shape, std::int64_t(n), 11);
            input.insert(input.end(), input.begin(), input.begin() + std::ptrdiff_t(n / 3));  // a third twice
            std::vector<std::uint64_t> keys;
            for (const Point& p : input) keys.push_back(lab::fast::keyOf(p));
            std::sort(keys.begin(), keys.end());
            std::vector<std::uint64_t> one = keys, eight = keys, spareOne(keys.size()), spareEight(keys.size());
            const lab::fast::Chains a = lab::fast::chainsOfKeys(one.data(), one.size(), spareOne.data(), false);
            const lab::fast::Chains b = lab::fast::chainsOfKeys(eight.data(), eight.size(), spareEight.data(), true);
            const std::string context = std::string(shape) + ", " + std::to_string(n) + " points and a third of them again, seed 11";
            ASSERT_EQ(std::vector<std::uint64_t>(a.lower, a.lower + a.k), std::vector<std::uint64_t>(b.lower, b.lower + b.k)) << "lower chain, " << context;
            ASSERT_EQ(std::vector<std::uint64_t>(a.upper, a.upper + a.u), std::vector<std::uint64_t>(b.upper, b.upper + b.u)) << "upper chain, " << context;
        }
    }
}

// The two-thread hull's split of keys by a splitter, eight at a time (AVX-512) and one at a time:
// every key once, those below the splitter first and counted, on each side of the groups' length,
// with copies of the splitter's own point, and splitters below, among and above all the keys.
TEST(KeysSplit, EightAtATimeAndOneAtATimeKeepEveryKeyOnItsSide) {
    const std::uint64_t seed = 12;
    std::mt19937_64 random(seed);
    for (std::size_t n : {0, 1, 7, 8, 9, 16, 17, 1000, 1001}) {
        Points input;
        for (std::size_t i = 0; i < n; ++i) input.push_back({std::int64_t(random() % 5) - 2, std::int64_t(random() % 5) - 2});
        const Points circle = lab::makeShape("circle", std::int64_t(n), seed);
        Points sorted = circle;
        std::sort(sorted.begin(), sorted.end());
        for (const Points* points : std::vector<const Points*>{&input, &circle, &sorted}) {
            std::vector<std::uint64_t> keys;
            for (const Point& p : *points) keys.push_back(lab::fast::keyOf(p));
            std::vector<std::uint64_t> splitters = {0, lab::fast::keyOf({0, 0}), ~std::uint64_t(0)};
            if (n > 0) splitters.push_back(keys[n / 2]), splitters.push_back(*std::max_element(keys.begin(), keys.end()));
            for (std::uint64_t splitter : splitters) {
                for (bool avx512 : {false, true}) {
                    const char* what = points == &input ? " on a 5 x 5 grid" : points == &circle ? " of a circle" : " of a circle, sorted";
                    const std::string context = std::to_string(n) + " points" + what + ", splitter " + std::to_string(splitter) +
                                                (avx512 ? ", eight at a time" : ", one at a time") + ", seed " + std::to_string(seed);
                    std::vector<std::uint64_t> out(n);
                    const std::size_t below = lab::fast::partitionKeys(points->data(), n, out.data(), splitter, avx512);
                    ASSERT_EQ(below, std::size_t(std::count_if(keys.begin(), keys.end(), [&](std::uint64_t k) { return k < splitter; }))) << context;
                    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + std::ptrdiff_t(below), [&](std::uint64_t k) { return k < splitter; })) << context;
                    EXPECT_TRUE(std::all_of(out.begin() + std::ptrdiff_t(below), out.end(), [&](std::uint64_t k) { return k >= splitter; })) << context;
                    std::vector<std::uint64_t> all = keys;
                    std::sort(all.begin(), all.end()), std::sort(out.begin(), out.end());
                    ASSERT_EQ(out, all) << "every key once, " << context;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lab, ThrowAwayPass,
                         testing::Values(PassForm{"plain", false, false}, PassForm{"avx2", true, false}, PassForm{"avx512", false, true}),
                         [](const testing::TestParamInfo<PassForm>& param) { return std::string(param.param.name); });

}  // namespace

// Below 4,096 points the corners of a sample of 32 decide: half of it or fewer, quickhull (its few
// passes); more, the sort and chains. The sample is every (n / 32)-th point: here c of them on a
// circle, the rest at its centre, as are the points between; copies of one point and a line count
// one and two corners. Each side of 16 corners, and of 512 and 4,096 points.
TEST(PathChosen, BySampleCornersBelowTheSampleSwitch) {
    auto input = [](std::size_t n, std::size_t corners) {
        Points points(n, Point{0, 0});
        const std::size_t step = n / 32;
        for (std::size_t i = 0; i < corners; ++i) {
            const double a = 6.283185307179586 * double(i) / double(corners);
            points[i * step] = {std::int64_t(std::lround(1e6 * std::cos(a))), std::int64_t(std::lround(1e6 * std::sin(a)))};
        }
        return points;
    };
    Points line(1000);
    for (std::size_t i = 0; i < line.size(); ++i) line[i] = {std::int64_t(i % 97), 3 * std::int64_t(i % 97)};
    struct Case {
        std::string name;
        Points points;
        lab::fast::Path path;
    };
    const auto quick = lab::fast::Path::Quickhull, plain = lab::fast::Path::Plain;
    std::vector<Case> cases = {{"15 corners, 1000 points", input(1000, 15), quick},
                               {"16 corners, 1000 points", input(1000, 16), quick},
                               {"17 corners, 1000 points", input(1000, 17), plain},
                               {"32 corners, 512 points", input(512, 32), plain},
                               {"16 corners, 4095 points", input(4095, 16), quick},
                               {"17 corners, 4095 points", input(4095, 17), plain},
                               {"copies of one point", Points(1000, Point{5, -5}), quick},
                               {"a line", line, quick}};
    for (const Case& c : cases) {
        lab::fast::Polygon polygon;
        EXPECT_EQ(int(lab::fast::choosePath(c.points.data(), c.points.size(), {}, polygon)), int(c.path)) << c.name;
        std::vector<Point> corners = lab::fastHull(c.points);  // and the hull is right on that path
        EXPECT_EQ(corners.size(), reference::corners(lab::referencePoints(c.points)).size()) << c.name;
    }
}
