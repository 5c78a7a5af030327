// Andrew's monotone chain on an array of points with members x and y (whole numbers, |coordinate|
// < 2^30, so that every cross product is exact in 64 bits): sorts the points in place, writes the
// hull's corners counter-clockwise from the least point (the lowest of the leftmost) to `out`,
// which has room for n points, and returns their number. No point on an edge, each corner once;
// copies of one point give it once, points on one line their two ends. O(n log n), no memory
// beyond the two arrays: the upper chain is built in the sorted array's tail.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

template <class P>
std::size_t monotoneChain(P* p, std::size_t n, P* out) {
    std::sort(p, p + n, [](const P& a, const P& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    n = std::size_t(std::unique(p, p + n, [](const P& a, const P& b) { return a.x == b.x && a.y == b.y; }) - p);
    if (n <= 2) {
        std::copy(p, p + n, out);
        return n;
    }
    // (a - o) x (b - o): above 0 when o, a, b turn left (counter-clockwise).
    auto cross = [](const P& o, const P& a, const P& b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); };
    std::size_t k = 0;  // the lower chain, least to greatest, in out
    for (std::size_t i = 0; i < n; ++i) {
        while (k >= 2 && cross(out[k - 2], out[k - 1], p[i]) <= 0) --k;
        out[k++] = p[i];
    }
    // The upper chain, greatest to least, as a stack in p[t..n): p[n - 1] at its bottom, p[t] on
    // top. It never holds more points than have been read, so p[t - 1] is never one still to read.
    std::size_t t = n;
    for (std::size_t i = n; i-- > 0;) {
        const P q = p[i];
        while (n - t >= 2 && cross(p[t + 1], p[t], q) <= 0) ++t;
        p[--t] = q;
    }
    for (std::size_t i = n - 1; i-- > t + 1;) out[k++] = p[i];  // without its two ends, which the lower chain has
    return k;
}
