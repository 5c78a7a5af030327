// The lab's own hulls (own/): the program's three functions on arrays, Chan's algorithm and the
// fastest exact hull.
#pragma once

#include <cstddef>
#include <vector>

#include "lab.h"

namespace lab {

// The program's three functions on arrays (own/ours_array.cpp). Each makes the decisions of its list
// form in main.cpp and returns the same points in the same order on every input: the hull from
// the lowest of the leftmost points, incremental and gift wrapping clockwise, quickhull
// counter-clockwise; see main.cpp for their edge points and degenerate results. O(n log n),
// O(n h), O(n h) at worst; one copy of the points per call.
std::vector<Point> incrementalArray(std::vector<Point> points);
std::vector<Point> giftWrappingArray(std::vector<Point> points);
std::vector<Point> qhullArray(std::vector<Point> points);

// Chan's algorithm (own/chan.cpp): the hull's corners counter-clockwise (y pointing up) from the
// lowest of the leftmost points, no point on a hull edge, each corner once. Copies of one point
// give it once; points all on one line give its two ends; no points give none. O(n log h) for h
// corners; O(n) memory beyond the copy. Exact for |coordinate| < 2^30. The first round's group
// size is 2^(2^firstRound): 256 by default; 1 gives Chan's own schedule, from groups of 4.
std::vector<Point> chan(std::vector<Point> points, unsigned firstRound = 3);

// The lab's fastest exact hull (own/fast_hull.cpp): the corners counter-clockwise from the lowest of the
// leftmost points, none on an edge, each once (as chan). A sample of the points chooses the path:
// where its hull has few corners and the input is small or thin, the array quickhull, reduced to
// the corners; from kFastHullPassFrom points, a throw-away pass drops the points inside a polygon
// of the sample hull's corners; what is left, a radix sort (from kFastHullRadixFrom points) or
// std::sort orders for a monotone chain, and the result is written into the copy it was handed.
// O(n) but for m survivors sorted by comparison, O(m log m), and the quickhull path's O(n h).
// Exact for |coordinate| < 2^30. `paths` forces each path for the tests: the quickhull path, the
// pass, the radix sort, and the pass's AVX2 code where the processor has it.
struct FastHullPaths {
    enum Choice { Auto, Off, On };
    Choice filter = Auto, radix = Auto, quickhull = Auto;
    bool avx2 = true;
};
constexpr std::size_t kFastHullDecideFrom = 512, kFastHullPassFrom = 32768, kFastHullRadixFrom = 4096;
std::vector<Point> fastHull(std::vector<Point> points, FastHullPaths paths = {});
bool fastHullHasAvx2();  // whether this processor runs the pass's AVX2 code

}  // namespace lab
