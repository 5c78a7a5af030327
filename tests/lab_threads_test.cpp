// The lab's entries on two threads. The fastest hull on a team of two gives the reference corners
// where a split in two is hard (halves sharing hull edges, copies across the split, a line across
// it, 0 to 10 points) and at every switch of its paths; a team of one gives them too; and each -2t
// entry's calls run as a cell's do, on doubles too. Built a second time with ThreadSanitizer (lab_threads_tsan).

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>
#include <utility>
#include <string>
#include <vector>

#include "../lab/lab.h"
#include "../lab/inputs/inputs.h"
#include "../lab/own/own.h"
#include "reference_hull.h"

namespace {

using Points = std::vector<Point>;
constexpr auto kOff = lab::FastHullPaths::Off, kOn = lab::FastHullPaths::On, kAuto = lab::FastHullPaths::Auto;

// The reference corners counter-clockwise from the least point, each once.
Points expectedCorners(const Points& input) {
    std::vector<reference::Pt> points;
    for (const Point& p : input) points.push_back({p.x, p.y});
    const std::vector<reference::Pt> clockwise = reference::corners(points);
    Points result;
    if (!clockwise.empty()) result.push_back({clockwise[0].x, clockwise[0].y});
    for (std::size_t i = clockwise.size(); i-- > 1;) result.push_back({clockwise[i].x, clockwise[i].y});
    return result;
}

std::string shown(const Points& p) {
    std::string text;
    for (std::size_t i = 0; i < p.size() && i < 40; ++i) text += " " + std::to_string(p[i].x) + ";" + std::to_string(p[i].y);
    return p.size() <= 40 ? "\n  input:" + text : "";
}

// The ways the two-thread hull is run: as it chooses, and split whatever the size, with the pass
// or without, the keys sorted by vqsort or by the radix sort, split eight at a time or one; on a
// team of two or of one, or of two taking turns on one thread (as a counted process runs it).
struct Way {
    const char* name;
    unsigned threads;
    lab::FastHullPaths paths;
    bool turns = false;
};

std::vector<Way> ways() {
    auto split = [](lab::FastHullPaths::Choice filter, lab::FastHullPaths::Choice vector) {
        lab::FastHullPaths p;
        p.split = kOn, p.filter = filter, p.vector = vector, p.quickhull = kOff;
        return p;
    };
    auto scalar = [](lab::FastHullPaths p) {
        p.avx2 = p.avx512 = false;
        return p;
    };
    return {{"as it chooses", 2, {}},
            {"split, no pass, vqsort", 2, split(kOff, kOn)},
            {"split, no pass, radix sort", 2, split(kOff, kOff)},
            {"split, no pass, one key at a time", 2, scalar(split(kOff, kOn))},
            {"split, no pass, in turns", 2, split(kOff, kAuto), true},
            {"split, the pass", 2, split(kOn, kAuto)},
            {"split, the pass, in turns", 2, split(kOn, kAuto), true},
            {"a team of one", 1, {}},
            {"a team of one, the pass", 1, split(kOn, kAuto)}};
}

lab::Team& turnsTeam() {
    lab::setTeamTurns(true);
    static lab::Team team(2);
    lab::setTeamTurns(false);
    return team;
}

Points onTeam(const Points& input, const Way& way) {
    static lab::Team one(1), two(2);
    lab::Team& team = way.turns ? turnsTeam() : way.threads == 1 ? one : two;
    const lab::Corners corners = lab::fastHull2t(input.data(), input.size(), team, way.paths);
    return Points(corners.points.get(), corners.points.get() + corners.size);
}

void expectCorners(const Points& input, const std::string& why) {
    const Points expected = expectedCorners(input);
    for (const Way& way : ways()) {
        const Points got = onTeam(input, way);
        EXPECT_EQ(got.size(), expected.size()) << why << ", " << way.name << shown(input);
        if (got.size() != expected.size()) continue;
        for (std::size_t i = 0; i < got.size(); ++i) {
            ASSERT_TRUE(got[i].x == expected[i].x && got[i].y == expected[i].y)
                << why << ", " << way.name << ": corner " << i << " is " << got[i].x << ";" << got[i].y << ", not "
                << expected[i].x << ";" << expected[i].y << shown(input);
        }
    }
}

Points concatenated(Points a, const Points& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The first half of each input is what thread 0 takes, the second thread 1's.
TEST(TwoThreads, HullsJoinedWhereTheSplitIsHard) {
    Points bottomLeft, topRight;  // a square's edge points: two edges in each half, its corners in both
    for (std::int64_t i = 0; i <= 40; ++i) {
        bottomLeft.push_back({i, 0}), bottomLeft.push_back({0, i});
        topRight.push_back({i, 40}), topRight.push_back({40, i});
    }
    Points lineLeft, lineRight, vertical, rightFirst, nested, hugging, strip;
    for (std::int64_t i = 0; i < 500; ++i) {
        lineLeft.push_back({(i * 37) % 500, 2 * ((i * 37) % 500) + 3});
        lineRight.push_back({250 + (i * 41) % 500, 2 * (250 + (i * 41) % 500) + 3});
        vertical.push_back({-7, (i * 101) % 1000 - (i < 250 ? 0 : 400)});
        strip.push_back({(i * 7919) % 100000, i % 2});
    }
    for (std::int64_t s = 1; s <= 8; ++s) {  // nested squares, every tenth point of their edges
        for (std::int64_t i = -10 * s; i <= 10 * s; i += 10) {
            nested.push_back({i, -10 * s}), nested.push_back({i, 10 * s}), nested.push_back({-10 * s, i}), nested.push_back({10 * s, i});
        }
    }
    const Points polygon = lab::makeShape("convex", 40, 3);
    for (std::size_t i = 0; i < polygon.size(); ++i) {  // on each edge and a unit inside it, in both halves
        const Point a = polygon[i], b = polygon[(i + 1) % polygon.size()];
        hugging.push_back({(a.x + b.x) / 2, (a.y + b.y) / 2});
        hugging.push_back(a);
    }
    hugging = concatenated(hugging, hugging);
    const Points disc = lab::makeShape("disc", 600, 5), square = lab::makeShape("square", 600, 6);
    Points sortedCircle = lab::makeShape("circle", 1001, 9);  // every key below the splitter in one half
    std::sort(sortedCircle.begin(), sortedCircle.end());
    for (const Point& p : lab::makeShape("square", 300, 7)) rightFirst.push_back({p.x + (std::int64_t(1) << 26), p.y});
    rightFirst = concatenated(rightFirst, lab::makeShape("square", 300, 8));
    const struct {
        const char* why;
        Points input;
    } cases[] = {
        {"halves that share hull edges and corners", concatenated(bottomLeft, topRight)},
        {"the same points in both halves", concatenated(disc, disc)},
        {"copies of one point in both halves", Points(1000, Point{5, -5})},
        {"copies of one point, then copies of another", concatenated(Points(500, Point{5, -5}), Points(500, Point{-5, 5}))},
        {"one line across the split", concatenated(lineLeft, lineRight)},
        {"a vertical line across the split", vertical},
        {"the first half to the right of the second", rightFirst},
        {"every hull point in the second half", concatenated(lab::makeShape("disc", 600, 2), lab::makeShape("circle", 600, 2))},
        {"every hull point in the first half", concatenated(lab::makeShape("circle", 600, 2), lab::makeShape("disc", 600, 2))},
        {"nested squares with points on their edges", nested},
        {"points on a polygon's edges, in both halves", hugging},
        {"a strip two points high", strip},
        {"a square's points, then their copies reversed", concatenated(square, Points(square.rbegin(), square.rend()))},
        {"copies of the least point, most of them", concatenated(Points(700, Point{-90, -90}), disc)},
        {"copies of the greatest point, most of them", concatenated(disc, Points(700, Point{1 << 29, 1 << 29}))},
        {"a circle in point order", sortedCircle},
        {"a circle in reverse point order", Points(sortedCircle.rbegin(), sortedCircle.rend())},
    };
    for (const auto& c : cases) expectCorners(c.input, c.why);
}

TEST(TwoThreads, EveryCountFromNoPointsToTen) {
    const std::uint64_t seed = 38;
    std::mt19937_64 random(seed);
    for (int round = 0; round < 200; ++round) {
        for (std::size_t n = 0; n <= 10; ++n) {
            Points input;
            const std::int64_t side = round % 3 == 0 ? 2 : 6;  // small grids: copies and lines
            for (std::size_t i = 0; i < n; ++i) input.push_back({std::int64_t(random() % side), std::int64_t(random() % side)});
            expectCorners(input, std::to_string(n) + " points, seed " + std::to_string(seed) + ", round " + std::to_string(round));
            if (HasFailure()) return;
        }
    }
}

// Each side of each switch: the sort of keys from kFastHullKeysFrom points, the sample of 64 from
// kFastHullSmallSampleBelow, the split from kFastHull2tFrom, the pass from kFastHullPassFrom, and
// the two threads' sort of what survives (a circle keeps all, a square few).
TEST(TwoThreads, EachSideOfEverySwitch) {
    const std::size_t keys = lab::kFastHullKeysFrom, split = lab::kFastHull2tFrom, pass = lab::kFastHullPassFrom;
    const std::size_t sample = lab::kFastHullSmallSampleBelow;
    for (const char* shape : {"circle", "square", "sliver", "lattice", "disc"}) {
        for (std::size_t n : {keys - 1, keys, sample - 1, sample, pass - 1, pass, split - 1, split, 3 * split}) {
            expectCorners(lab::makeShape(shape, std::int64_t(n), 4), std::string(shape) + ", " + std::to_string(n) + " points, seed 4");
        }
    }
    for (std::size_t n : {keys - 1, keys}) {  // one thread, each side of the sort of keys
        const Points input = lab::makeShape("convex", std::int64_t(n), 4);
        const Points got = lab::fastHull(input);
        EXPECT_EQ(got.size(), expectedCorners(input).size()) << "fastHull, convex, " << n << " points, seed 4";
    }
}

// A counted call (Callgrind's counting switched on around it by the cell) runs the team's two
// parts in turns on the caller's thread, between meetings the helper's first, so that one simulated
// processor sees the same accesses in the same order in every run; so does every call of a team
// made with turns on (a counted process's), whatever the parts' meetings; the results are those of a
// call not counted, and a part's exception reaches the caller.
TEST(TwoThreads, CountedCallsTakeTurnsOnTheCallersThreadAndGiveTheSameHulls) {
    lab::Team team(2);
    struct Case {
        const char* name;
        lab::Team& team;
        bool counted;
        int meetings[2];  // of part 0 and part 1: a part may end before the other's last meeting
    };
    const std::vector<Case> cases = {{"not counted", team, false, {4, 4}},     {"counted", team, true, {4, 4}},
                                     {"not counted again", team, false, {4, 4}}, {"counted again", team, true, {4, 4}},
                                     {"made in turns", turnsTeam(), false, {4, 4}}, {"made in turns, counted", turnsTeam(), true, {4, 4}},
                                     {"made in turns, helper ends first", turnsTeam(), false, {2, 1}},
                                     {"counted, caller ends first", team, true, {1, 3}}};
    for (const Case& c : cases) {
        lab::setTeamCounting(c.counted);
        std::mutex lock;
        std::vector<std::pair<unsigned, int>> order;  // (part, step)
        std::thread::id ran[2];
        c.team.run([&](unsigned t) {
            ran[t] = std::this_thread::get_id();
            for (int step = 0; step <= c.meetings[t]; ++step) {
                {
                    const std::lock_guard<std::mutex> hold(lock);
                    order.push_back({t, step});
                }
                if (step < c.meetings[t]) c.team.meet();
            }
        });
        lab::setTeamCounting(false);
        const bool turns = c.counted || &c.team != &team;
        EXPECT_EQ(ran[1] == std::this_thread::get_id(), turns) << c.name << ": the helper's part on the caller's thread";
        ASSERT_EQ(order.size(), std::size_t(c.meetings[0] + c.meetings[1] + 2)) << c.name;
        if (c.meetings[0] != c.meetings[1]) continue;
        for (int step = 0; step <= c.meetings[0]; ++step) {  // each step by both parts before the next
            const std::pair<unsigned, int> a = order[std::size_t(2 * step)], b = order[std::size_t(2 * step + 1)];
            EXPECT_TRUE(a.second == step && b.second == step && a.first != b.first) << c.name << ", step " << step;
            if (turns) {
                EXPECT_EQ(a.first, 1u) << c.name << ", step " << step << ": the helper's turn comes first";
            }
        }
    }
    for (unsigned thrower : {0u, 1u}) {
        bool thrown = false;
        try {
            turnsTeam().run([&](unsigned t) {
                turnsTeam().meet();
                if (t == thrower) throw std::runtime_error("part");
            });
        } catch (const std::runtime_error&) {
            thrown = true;
        }
        EXPECT_TRUE(thrown) << "part " << thrower << "'s exception, in turns";
        std::vector<unsigned> after;
        turnsTeam().run([&](unsigned t) { after.push_back(t); });  // the team still works
        EXPECT_EQ(after, (std::vector<unsigned>{1, 0})) << "a call after part " << thrower << " threw";
    }
    for (const char* shape : {"disc", "circle", "lattice"}) {
        const Points input = lab::makeShape(shape, 200000, 6);
        lab::FastHullPaths paths;
        lab::setTeamCounting(true);
        const lab::Corners counted = lab::fastHull2t(input.data(), input.size(), team, paths);
        lab::setTeamCounting(false);
        const lab::Corners plain = lab::fastHull2t(input.data(), input.size(), team, paths);
        ASSERT_EQ(counted.size, plain.size) << shape << ", 200000 points, seed 6";
        EXPECT_TRUE(std::equal(counted.points.get(), counted.points.get() + counted.size, plain.points.get(),
                               [](const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }))
            << shape << ", 200000 points, seed 6";
    }
}

// The -2t entries as a cell runs them: repeated calls, then the hull checked.
TEST(TwoThreads, TheEntriesCallsAsACellMakesThem) {
    std::vector<lab::Algorithm> entries;
    lab::addThreadedEntries(entries);
    ASSERT_FALSE(entries.empty());
    for (const lab::Algorithm& entry : entries) {
        for (const char* shape : {"disc", "circle"}) {
            const Points input = lab::makeShape(shape, 150000, 9);
            std::unique_ptr<lab::Runner> runner = entry.prepare(input);
            for (int call = 0; call < 3; ++call) runner->call();
            const std::vector<reference::Pt> hull = runner->hull();
            if (entry.origin == lab::Origin::Floor) {
                EXPECT_TRUE(hull.empty()) << entry.name << ", " << shape;
                continue;
            }
            const Points expected = expectedCorners(input);
            ASSERT_EQ(hull.size(), expected.size()) << entry.name << ", " << shape << ", 150000 points, seed 9";
            for (std::size_t i = 0; i < hull.size(); ++i) {
                ASSERT_TRUE(hull[i].x == expected[i].x && hull[i].y == expected[i].y) << entry.name << ", " << shape << ": corner " << i;
            }
        }
        // On doubles, where the entry takes them: each half's hull on its own thread, then joined.
        if (!entry.prepareReal || entry.origin == lab::Origin::Floor) continue;
        for (const char* shape : {"disc", "circle", "kuzmin", "huge"}) {
            const std::vector<lab::RealPoint> input = lab::makeRealShape(shape, 150000, 9);
            std::unique_ptr<lab::Runner> runner = entry.prepareReal(input);
            for (int call = 0; call < 3; ++call) runner->call();
            std::vector<lab::RealPoint> expected = reference::corners(input);
            std::reverse(expected.begin() + 1, expected.end());
            EXPECT_TRUE(runner->realHull() == expected) << entry.name << ", " << shape << " (f64), 150000 points, seed 9";
        }
    }
}

}  // namespace
