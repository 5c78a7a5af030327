// One cell of the lab: one shape, one size, one algorithm. The runner starts each cell in a fresh
// process, so the heap and caches it times have seen nothing but this cell.

#include <time.h>

#include <algorithm>

#include "lab.h"

namespace lab {

namespace {

double processorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

}  // namespace

std::vector<reference::Pt> referencePoints(const std::vector<Point>& points) {
    std::vector<reference::Pt> result;
    result.reserve(points.size());
    for (const Point& p : points) result.push_back({p.x, p.y});
    return result;
}

std::string checkResult(const Algorithm& algorithm, const std::vector<Point>& points,
                        std::vector<reference::Pt> hull, std::size_t& corners) {
    const std::vector<reference::Pt> input = referencePoints(points);
    std::vector<reference::Pt> sorted(input);
    std::sort(sorted.begin(), sorted.end());
    const reference::Input reference{
        "the input", reference::corners(input),
        [&](reference::Pt p) { return std::binary_search(sorted.begin(), sorted.end(), p); },
        [&](reference::Pt p) {
            return "the input's point " + std::to_string(std::find(input.begin(), input.end(), p) - input.begin() + 1);
        }};
    corners = reference.corners.size();
    if (algorithm.anyStart && !hull.empty() && !reference.corners.empty()) {
        auto least = std::find(hull.begin(), hull.end(), reference.corners.front());
        if (least != hull.end()) std::rotate(hull.begin(), least, hull.end());
    }
    std::vector<reference::Pt> found;
    return reference::checkHull(algorithm.promise, "result", hull, reference, found);
}

CellResult runCell(const std::string& shape, std::int64_t n, std::uint64_t seed, const Algorithm& algorithm,
                   int runs, double minSeconds, const std::function<void(const CellResult&)>& checked) {
    CellResult result;
    std::vector<Point> points = makeShape(shape, n, seed);
    std::unique_ptr<Runner> runner = algorithm.prepare(points);
    result.wrong = checkResult(algorithm, points, runner->hull(), result.h);
    std::vector<Point>().swap(points);  // the runner holds its own copy
    checked(result);
    // No malloc_trim between runs, unlike the benchmark's loops: the pages it gives back are
    // faulted in again by the next call, which here doubled the peers' figures at 1,000,000
    // points and tripled qhull's. The runs measure the steady state of repeated calls.
    for (int run = 0; run < runs; ++run) {
        long calls = 0;
        const double start = processorSeconds();
        double elapsed = 0;
        do {
            runner->call();
            ++calls;
            elapsed = processorSeconds() - start;
        } while (elapsed < minSeconds);
        result.secondsPerCall.push_back(elapsed / double(calls));
    }
    return result;
}

}  // namespace lab
