/* An example plugin on doubles: the monotone chain most people write, every turn decided by a
 * cross product in double precision. Right on ordinary points; on points whose coordinates are
 * near 2^30 and whose turns are nearly straight (hull-lab's `sliver`), the products lose their
 * low bits and the hull goes wrong. The lab shows where.
 *   cc -O2 -shared -fPIC -Iinclude -o libfloat-chain.so examples/float_chain.c
 *   hull-lab --plugin ./libfloat-chain.so --shapes square,sliver */
#include <stdlib.h>

#include "hull_lab_plugin.h"

typedef struct {
    double x, y;
} Pt;

static double cross(Pt o, Pt a, Pt b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

static int byXY(const void *pa, const void *pb) {
    const Pt *a = pa, *b = pb;
    if (a->x != b->x) return a->x < b->x ? -1 : 1;
    return a->y < b->y ? -1 : a->y > b->y;
}

int64_t hull_lab_hull_f64(double *xy, size_t n, double *out) {
    Pt *p = (Pt *)xy, *h = (Pt *)out;
    qsort(p, n, sizeof(Pt), byXY);
    size_t m = 0; /* without copies */
    for (size_t i = 0; i < n; ++i) {
        if (m == 0 || p[i].x != p[m - 1].x || p[i].y != p[m - 1].y) p[m++] = p[i];
    }
    if (m <= 2) {
        for (size_t i = 0; i < m; ++i) h[i] = p[i];
        return (int64_t)m;
    }
    size_t k = 0;
    for (size_t i = 0; i < m; ++i) { /* lower chain into out */
        while (k >= 2 && cross(h[k - 2], h[k - 1], p[i]) <= 0) --k;
        h[k++] = p[i];
    }
    size_t t = m; /* upper chain as a stack in the sorted copy's tail */
    for (size_t i = m; i-- > 0;) {
        Pt q = p[i];
        while (m - t >= 2 && cross(p[t + 1], p[t], q) <= 0) ++t;
        p[--t] = q;
    }
    for (size_t i = m - 1; i-- > t + 1;) h[k++] = p[i];
    return (int64_t)k;
}
