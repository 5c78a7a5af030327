/* An example plugin in C: Graham's scan, exact in 64-bit integers (|coordinate| < 2^30, so every
 * cross product fits). The points are sorted by angle around the lowest of the bottom points, in
 * the lab's copy, and the scan's stack is `out` itself.
 *   cc -O2 -shared -fPIC -Iinclude -o libgraham.so examples/graham.c
 *   hull-lab --plugin ./libgraham.so */
#include <stdlib.h>

#include "hull_lab_plugin.h"

typedef struct {
    int64_t x, y;
} Pt;

/* (a - o) x (b - o): above 0 when o, a, b turn counter-clockwise. */
static int64_t cross(Pt o, Pt a, Pt b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

static Pt pivot; /* the sort's centre: qsort takes no context */

/* By angle around the pivot, then nearer first. */
static int byAngle(const void *pa, const void *pb) {
    const Pt *a = pa, *b = pb;
    int64_t turn = cross(pivot, *a, *b);
    if (turn != 0) return turn > 0 ? -1 : 1;
    int64_t da = (a->x - pivot.x) * (a->x - pivot.x) + (a->y - pivot.y) * (a->y - pivot.y);
    int64_t db = (b->x - pivot.x) * (b->x - pivot.x) + (b->y - pivot.y) * (b->y - pivot.y);
    return da < db ? -1 : da > db;
}

int64_t hull_lab_hull(int64_t *xy, size_t n, int64_t *out) {
    Pt *p = (Pt *)xy, *h = (Pt *)out;
    if (n == 0) return 0;
    size_t low = 0;
    for (size_t i = 1; i < n; ++i) {
        if (p[i].y < p[low].y || (p[i].y == p[low].y && p[i].x < p[low].x)) low = i;
    }
    pivot = p[low];
    /* The others, without the pivot's copies. */
    size_t m = 0;
    for (size_t i = 0; i < n; ++i) {
        if (p[i].x != pivot.x || p[i].y != pivot.y) p[m++] = p[i];
    }
    qsort(p, m, sizeof(Pt), byAngle);
    size_t k = 0;
    h[k++] = pivot;
    for (size_t i = 0; i < m; ++i) {
        /* A point on the line through the last two, or to its right, takes the last one's place. */
        while (k >= 2 && cross(h[k - 2], h[k - 1], p[i]) <= 0) --k;
        if (k == 1 || p[i].x != h[k - 1].x || p[i].y != h[k - 1].y) h[k++] = p[i];
        else h[k - 1] = p[i];
    }
    return (int64_t)k;
}
