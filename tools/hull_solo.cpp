// hull-solo ALGORITHM N: times one hull algorithm alone, in a fresh process, on the point set the
// benchmark uses for size N, and prints the seconds per repetition as the benchmark's table does.
// It skips the random values that the correctness run and the smaller sizes draw first, so the
// points are the same; then it repeats copy, call, assignment and release 10,000,000 / N times,
// timed in processor time exactly like the benchmark, with the benchmark's allocator settings:
// where the loop repeats, from 100,000 points on, no fast bins and no trimming by free().

#include <malloc.h>

#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>

#include "hullbench.h"

int main(int argc, char** argv) {
    const std::int64_t sizes[13] = {10,     50,     100,     500,     1000,    5000,    10000,
                                    50000,  100000, 500000, 1000000, 5000000, 10000000};
    const std::string usage = "usage: hull-solo incremental|gift_wrapping|qhull N  (N one of the benchmark's sizes)";
    if (argc == 2 && std::string(argv[1]) == "--help") {
        std::cout << usage << '\n';
        return 0;
    }
    if (argc != 3) {
        std::cerr << usage << '\n';
        return 2;
    }
    const std::string name = argv[1];
    PointList (*algorithm)(PointList) = name == "incremental"     ? incremental
                                        : name == "gift_wrapping" ? gift_wrapping
                                        : name == "qhull"         ? qhull
                                                                  : nullptr;
    char* end = nullptr;
    const std::int64_t n = std::strtoll(argv[2], &end, 10);
    std::int64_t drawn = 200;  // the correctness run's 100 points
    bool known = false;
    for (std::int64_t size : sizes) {
        if (size == n) {
            known = true;
            break;
        }
        drawn += 2 * size;
    }
    if (algorithm == nullptr || *end != '\0' || !known) {
        std::cerr << "hull-solo: unknown algorithm or size: " << argv[1] << ' ' << argv[2] << '\n' << usage << '\n';
        return 2;
    }

    if (n >= 100000 && 10000000 / n > 1) {  // as the benchmark does for this size
        mallopt(M_MXFAST, 0);
        mallopt(M_TRIM_THRESHOLD, -1);
    }
    for (std::int64_t i = 0; i < drawn; ++i) rand();
    PointList points = init(10000000, 10000000, n);
    PointList hull;
    const std::int64_t repetitions = 10000000 / n;
    std::clock_t start = std::clock();
    for (std::int64_t i = 0; i < repetitions; ++i) {
        hull = algorithm(points);
        hull.clear();
    }
    std::clock_t stop = std::clock();
    double seconds = double(stop - start) / 1000000.0;
    std::cout.precision(6);
    std::cout << std::scientific << (double(n) * seconds) / 10000000.0 << '\n';
    return 0;
}
