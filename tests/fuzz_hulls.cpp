// libFuzzer target: turns bytes into a point list and checks every algorithm's hull with the same
// brute-force checker as the stress test. Build with -DHULLBENCH_FUZZ=ON and clang++.
//
// Input: the first byte chooses the coordinates; the rest are read as points, at most 48.
//   even first byte: one byte per coordinate, 0 to 15 (a 16x16 grid: copies and collinear runs);
//   odd first byte: four bytes per coordinate, anywhere strictly between -2^30 and 2^30 (the range
//   in which the algorithms promise exact results).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hull_check.h"
#include "hullbench.h"

namespace {

PointList decode(const std::uint8_t* data, std::size_t size) {
    PointList points;
    if (size == 0) return points;
    const bool wide = data[0] & 1;
    const std::size_t width = wide ? 4 : 1;
    const std::int64_t limit = (std::int64_t(1) << 30) - 1;
    for (std::size_t at = 1; at + 2 * width <= size && points.size() < 48; at += 2 * width) {
        std::int64_t coordinate[2];
        for (int c = 0; c < 2; ++c) {
            std::uint32_t raw = 0;
            std::memcpy(&raw, data + at + c * width, width);
            coordinate[c] = wide ? std::int64_t(raw % (2 * std::uint32_t(limit) + 1)) - limit : raw % 16;
        }
        points.push_back({coordinate[0], coordinate[1]});
    }
    return points;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using hullcheck::Direction;
    struct {
        const char* name;
        PointList (*run)(PointList);
        hullcheck::Promise promise;
    } const algorithms[] = {
        {"gift_wrapping", gift_wrapping, {Direction::Clockwise, true, 1, true}},
        {"qhull", qhull, {Direction::CounterClockwise, true, 2, false}},
        {"incremental", incremental, {Direction::Clockwise, false, 2, true}},
    };
    const PointList input = decode(data, size);
    for (const auto& algorithm : algorithms) {
        PointList result = algorithm.run(input);
        std::string error = hullcheck::checkHull(input, result, algorithm.promise);
        if (!error.empty()) {
            std::fprintf(stderr, "%s: %s\n  input:  %s\n  result: %s\n", algorithm.name, error.c_str(),
                         hullcheck::show(input).c_str(), hullcheck::show(result).c_str());
            std::abort();
        }
    }
    return 0;
}
