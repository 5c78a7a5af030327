// libFuzzer target for hull-lab's point-file reader: any bytes are either read as points or
// refused with a line of the text, never a crash or a hang; points read come back the same when
// written out as "x;y" lines and read again. Build with -DHULLBENCH_FUZZ=ON and clang++.
//
// Input: the first byte chooses --scale (0: none, else 10^(byte % 8)); the rest is the file.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "../lab/lab.h"
#include "../lab/inputs/inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::int64_t scale = 0;
    if (data[0] != 0) {
        scale = 1;
        for (int i = 0; i < data[0] % 8; ++i) scale *= 10;
    }
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const long lines = long(std::count(text.begin(), text.end(), '\n')) + 1;
    std::vector<Point> points;
    try {
        points = lab::parsePoints(text, scale);
    } catch (const lab::InputError& refused) {
        if (refused.line < 1 || refused.line > lines) {
            std::fprintf(stderr, "refused at line %ld of %ld lines: %s\n", refused.line, lines, refused.what());
            std::abort();
        }
        return 0;
    }
    if (points.empty() || long(points.size()) > lines) std::abort();
    std::string again;
    for (const Point& p : points) {
        if (std::abs(p.x) >= (std::int64_t(1) << 30) || std::abs(p.y) >= (std::int64_t(1) << 30)) std::abort();
        again += std::to_string(p.x) + ";" + std::to_string(p.y) + "\n";
    }
    if (lab::parsePoints(again, 0) != points) std::abort();
    return 0;
}
