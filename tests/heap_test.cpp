// The heap under the benchmark's timed loops. Where a loop repeats on large lists (100,000 to
// 5,000,000 points), the benchmark turns glibc's fast bins and its trimming by free() off, so that
// the copy each repetition makes is laid out in address order, as for a first call, however many
// repetitions came before. These tests check that premise on the C library the program runs on,
// for each algorithm: with those settings the next copy is in address order after ten
// repetitions; with glibc's defaults it is not (which is why the settings are there, and which
// shows that the measure of order can tell the two apart). Each case runs in a child process of
// its own, since the settings last for the whole process.

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>

#include "hullbench.h"

#if defined(__SANITIZE_ADDRESS__)
#define HULLBENCH_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HULLBENCH_OWN_ALLOCATOR 1
#endif
#endif

namespace {

struct Algorithm {
    const char* name;
    PointList (*run)(PointList);
};

void PrintTo(const Algorithm& algorithm, std::ostream* os) { *os << algorithm.name; }

class TimedLoopHeap : public testing::TestWithParam<Algorithm> {
protected:
    void SetUp() override {
#ifdef HULLBENCH_OWN_ALLOCATOR
        GTEST_SKIP() << "the sanitizer replaces glibc's allocator";
#endif
    }
};

// Share of the steps along a fresh copy of `points` that go to a node at most 64 bytes further up
// in memory, at the heap settings in force, after a few repetitions of the incremental hull (whose
// sorted copies leave the free nodes scattered) and then ten of the benchmark's loop.
double inOrderAfterTenRepetitions(const Algorithm& algorithm, const PointList& points) {
    PointList hull;
    for (int i = 0; i < 3; ++i) {
        hull = incremental(points);
        hull.clear();
    }
    for (int i = 0; i < 10; ++i) {
        hull = algorithm.run(points);
        hull.clear();
    }
    PointList probe = points;
    std::size_t inOrder = 0;
    const char* previous = nullptr;
    for (const Point& p : probe) {
        const char* here = reinterpret_cast<const char*>(&p);
        if (previous != nullptr && here > previous && here - previous <= 64) ++inOrder;
        previous = here;
    }
    return double(inOrder) / double(probe.size() - 1);
}

TEST_P(TimedLoopHeap, WithoutFastBinsTheNextCopyIsInAddressOrder) {
    const Algorithm algorithm = GetParam();
    EXPECT_EXIT(
        {
            mallopt(M_MXFAST, 0);
            mallopt(M_TRIM_THRESHOLD, -1);
            const double share = inOrderAfterTenRepetitions(algorithm, init(10000000, 10000000, 100000));
            std::fprintf(stderr, "%s: %.3f of the steps in address order\n", algorithm.name, share);
            std::exit(share >= 0.99 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "")
        << algorithm.name << ", 100000 points, fast bins and trimming off";
}

TEST_P(TimedLoopHeap, WithGlibcDefaultsTheNextCopyIsNot) {
    const Algorithm algorithm = GetParam();
    EXPECT_EXIT(
        {
            const double share = inOrderAfterTenRepetitions(algorithm, init(10000000, 10000000, 100000));
            std::fprintf(stderr, "%s: %.3f of the steps in address order\n", algorithm.name, share);
            std::exit(share < 0.9 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "")
        << algorithm.name << ", 100000 points, glibc's defaults";
}

INSTANTIATE_TEST_SUITE_P(AllThree, TimedLoopHeap,
                         testing::Values(Algorithm{"incremental", incremental},
                                         Algorithm{"gift_wrapping", gift_wrapping},
                                         Algorithm{"qhull", qhull}),
                         [](const testing::TestParamInfo<Algorithm>& param) { return std::string(param.param.name); });

}  // namespace
