// Plugins that the tests load into hull-lab, one library per BEHAVIOUR: a right hull given
// clockwise from another start, and each way of going wrong that the lab must catch and name.

#include <cstring>

#include "hull_lab_plugin.h"
#include "monotone_chain.h"

namespace {

struct XY {
    int64_t x, y;
};

// The right hull, counter-clockwise from the least point: its number of corners.
size_t rightHull(int64_t* xy, size_t n, int64_t* out) {
    return monotoneChain(reinterpret_cast<XY*>(xy), n, reinterpret_cast<XY*>(out));
}

[[maybe_unused]] void swapCorners(int64_t* out, size_t i, size_t j) {
    std::swap(out[2 * i], out[2 * j]);
    std::swap(out[2 * i + 1], out[2 * j + 1]);
}

}  // namespace

#if BEHAVIOUR != 99  // 99: a library with neither function, only one of another name
#if BEHAVIOUR == 11 || BEHAVIOUR == 12 || BEHAVIOUR == 13 || BEHAVIOUR == 18  // extra work: a pass, or a look for copies
#include <algorithm>
#include <vector>
[[maybe_unused]] volatile int64_t sink;
#endif

extern "C" int64_t hull_lab_hull(int64_t* xy, size_t n, int64_t* out) {
#if BEHAVIOUR == 12  // right, three times over: far slower than any noise
    for (int again = 0; again < 2; ++again) {
        std::vector<XY> copy(reinterpret_cast<XY*>(xy), reinterpret_cast<XY*>(xy) + n);
        rightHull(reinterpret_cast<int64_t*>(copy.data()), n, out);
    }
#endif
#if BEHAVIOUR == 11
    std::vector<XY> part(reinterpret_cast<XY*>(xy), reinterpret_cast<XY*>(xy) + n / 6);
    std::sort(part.begin(), part.end(), [](const XY& a, const XY& b) { return a.y < b.y || (a.y == b.y && a.x < b.x); });
    sink = part.empty() ? 0 : part.front().x;
#endif
#if BEHAVIOUR == 13  // right, with one extra linear pass over every other point's x: some 2% more instructions
    int64_t sum = 0;
    for (size_t i = 0; i < n; i += 2) sum += xy[2 * i] ^ int64_t(i);
    sink = sum;
#elif BEHAVIOUR == 14  // right, after an AVX-512 instruction, which Valgrind 3.19 does not know
    __asm__ volatile("vpxord %%zmm0, %%zmm0, %%zmm0" ::: "xmm0");
#elif BEHAVIOUR == 15  // right: the same hull as the others' without their extra work
#elif BEHAVIOUR == 17  // crashes on three points, and only there
    if (n == 3) *static_cast<volatile int*>(nullptr) = 1;
#elif BEHAVIOUR == 18  // never returns when a point comes twice
    std::vector<XY> sorted(reinterpret_cast<XY*>(xy), reinterpret_cast<XY*>(xy) + n);
    std::sort(sorted.begin(), sorted.end(), [](const XY& a, const XY& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    for (size_t i = 1; i < n; ++i) {
        while (sorted[i].x == sorted[i - 1].x && sorted[i].y == sorted[i - 1].y) sink = sink + 1;
    }
#endif
    size_t h = rightHull(xy, n, out);
#if BEHAVIOUR == 0  // right, but clockwise and from the second corner
    for (size_t i = 1, j = h - 1; h > 0 && i < j; ++i, --j) swapCorners(out, i, j);
    if (h >= 2) {
        XY* p = reinterpret_cast<XY*>(out);
        XY first = p[0];
        std::memmove(p, p + 1, (h - 1) * sizeof(XY));
        p[h - 1] = first;
    }
#elif BEHAVIOUR == 1  // a corner left out
    if (h >= 3) --h;
#elif BEHAVIOUR == 2  // a corner twice
    if (h >= 1 && h < n) {
        out[2 * h] = out[0], out[2 * h + 1] = out[1];
        ++h;
    }
#elif BEHAVIOUR == 3  // two corners swapped: not convex
    if (h >= 4) swapCorners(out, 1, 2);
#elif BEHAVIOUR == 4  // a point that is not one of the input's
    if (h >= 1) out[0] += 1;
#elif BEHAVIOUR == 5  // refuses, with a message
    (void)h;
    return -1;
#elif BEHAVIOUR == 6  // crashes
    if (n > 0) *static_cast<volatile int*>(nullptr) = 1;
#elif BEHAVIOUR == 7  // never returns
    for (volatile unsigned long spin = 0;; spin = spin + 1) {
    }
#elif BEHAVIOUR == 8  // a count larger than n
    return int64_t(n) + 1;
#elif BEHAVIOUR == 9  // writes one value past the room of 2 * n values
    out[2 * n] = 0;
#elif BEHAVIOUR == 10  // writes one value past its copy of the points
    xy[2 * n] = 0;
#elif BEHAVIOUR == 16  // a corner left out above 1,000 points: code that changes path at a size
    if (n > 1000 && h >= 3) --h;
#endif
    return int64_t(h);
}

extern "C" const char* hull_lab_message(void) { return "this plugin refuses every input"; }
#else
extern "C" int64_t some_other_hull(int64_t* xy, size_t n, int64_t* out) { return int64_t(rightHull(xy, n, out)); }
#endif
