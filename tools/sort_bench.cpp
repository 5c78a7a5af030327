// sort-bench: the fastest hull's sorts of 62-bit keys against each other, by number of keys: the
// radix sort, vqsort (Highway, from its library), and std::sort of the same keys, in nanoseconds a
// key. Each timed sort is on a fresh copy of one of 16 point sets of the shape, taken in turn (no
// input the branch predictor learns); the best of five interleaved rounds.
//   build/sort-bench [SHAPE]   (default circle; convex stops at its largest size)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "inputs/inputs.h"
#include "own/fast_hull_parts.h"
#include "own/own.h"

namespace {

// Seconds a key of one sort (`how`: 0 radix, 1 vqsort, 2 std::sort) of a copy of `points` into
// `buffer`.
double sortOnce(int how, const std::vector<Point>& points, std::vector<Point>& buffer) {
    const std::size_t n = points.size();
    std::memcpy(buffer.data(), points.data(), n * sizeof(Point));
    const auto start = std::chrono::steady_clock::now();
    if (how < 2) {
        volatile const std::uint64_t* sorted = lab::sortedKeys(buffer.data(), n, how == 0 ? lab::KeySort::Radix : lab::KeySort::Vector);
        (void)sorted;
    } else {
        std::uint64_t* keys = reinterpret_cast<std::uint64_t*>(buffer.data());
        for (std::size_t i = 0; i < n; ++i) keys[i] = lab::fast::keyOf(buffer[i]);  // key i over point i / 2: read already
        std::sort(keys, keys + n);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string shape = argc > 1 ? argv[1] : "circle";
    std::printf("%-8s %9s %12s %12s %12s   (ns a key, best of 5 rounds)\n", "shape", "keys", "radix", "vqsort", "std::sort");
    for (std::size_t n : {256, 512, 1024, 4096, 16384, 65536, 262144, 1000000, 10000000}) {
        if (shape == "convex" && !lab::convexFits(std::int64_t(n))) break;
        std::vector<std::vector<Point>> sets;
        for (std::uint64_t seed = 1; seed <= 16; ++seed) sets.push_back(lab::makeShape(shape, std::int64_t(n), seed));
        std::vector<Point> buffer(n);
        const std::size_t sorts = std::max<std::size_t>(16, 8000000 / n);
        double best[3] = {1e9, 1e9, 1e9};
        for (int round = 0; round < 5; ++round) {
            for (int how = 0; how < 3; ++how) {
                double total = 0;
                for (std::size_t s = 0; s < sorts; ++s) total += sortOnce(how, sets[s % 16], buffer);
                best[how] = std::min(best[how], total / double(sorts) / double(n) * 1e9);
            }
        }
        std::printf("%-8s %9zu %12.2f %12.2f %12.2f\n", shape.c_str(), n, best[0], best[1], best[2]);
    }
}
