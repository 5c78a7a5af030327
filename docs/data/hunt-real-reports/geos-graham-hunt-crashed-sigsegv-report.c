/* GEOS's GEOSConvexHull_r on 17 points: crashed, SIGSEGV.
 * Found and shrunk by hull-lab's hunt (entry geos-graham). Run:
 *   cc -O2 -o report report.c -lgeos_c && ./report
 * The library's call crashes here. Where it returns, the program prints the hull the library returns and the exact hull, and exits 1 where they differ.
 * The input as WKT:
 *   MULTIPOINT ((7e+306 -9e+306), (0 0), (0 2e+306), (0 1e+200), (0 2e+153), (0 3e+153), (7e+306 0), (3e+199 0), (9e+306 -6e+306), (7e+306 2e+153), (7e+306 3e+153), (0 8e+306), (7e+306 8e+306), (0 4e+153), (4e+197 0), (0 -7e+306), (0 -8e+153))
 */
#include <geos_c.h>
#include <stdio.h>
#include <stdlib.h>

static const double points[][2] = {
    {7e+306, -9e+306},
    {0.0, 0.0},
    {0.0, 2e+306},
    {0.0, 1e+200},
    {0.0, 2e+153},
    {0.0, 3e+153},
    {7e+306, 0.0},
    {3e+199, 0.0},
    {9e+306, -6e+306},
    {7e+306, 2e+153},
    {7e+306, 3e+153},
    {0.0, 8e+306},
    {7e+306, 8e+306},
    {0.0, 4e+153},
    {4e+197, 0.0},
    {0.0, -7e+306},
    {0.0, -8e+153},
};
/* The exact hull's corners, clockwise from the lowest of the leftmost (hull-lab's exact check). */
static const double exact[][2] = {
    {0.0, -7e+306},
    {0.0, 8e+306},
    {7e+306, 8e+306},
    {9e+306, -6e+306},
    {7e+306, -9e+306},
};

int main(void) {
    const unsigned n = sizeof points / sizeof points[0], h = sizeof exact / sizeof exact[0];
    GEOSContextHandle_t c = GEOS_init_r();
    GEOSGeometry **each = malloc(n * sizeof *each);
    for (unsigned i = 0; i < n; ++i) each[i] = GEOSGeom_createPointFromXY_r(c, points[i][0], points[i][1]);
    GEOSGeometry *multiPoint = GEOSGeom_createCollection_r(c, GEOS_MULTIPOINT, each, n);
    GEOSGeometry *hull = GEOSConvexHull_r(c, multiPoint);
    if (hull == NULL) {  /* GEOS raised an exception: no hull, not a wrong one */
        printf("GEOS:   no hull (an exception)\n");
        return 2;
    }
    /* What GEOS returned, its coordinates in full (GEOS's WKT writer rounds 1e-300 to 0). */
    const int polygon = GEOSGeomTypeId_r(c, hull) == GEOS_POLYGON;
    const GEOSCoordSequence *shell = GEOSGeom_getCoordSeq_r(c, polygon ? GEOSGetExteriorRing_r(c, hull) : hull);
    char *type = GEOSGeomType_r(c, hull);
    unsigned size = 0;
    if (shell != NULL) GEOSCoordSeq_getSize_r(c, shell, &size);
    printf("GEOS:   %s (", type);
    for (unsigned i = 0; i < size; ++i) {
        double x, y;
        GEOSCoordSeq_getXY_r(c, shell, i, &x, &y);
        printf("%s%.17g %.17g", i ? ", " : "", x, y);
    }
    printf(")\n");
    const unsigned corners = polygon && size > 0 ? size - 1 : size;  /* a shell repeats its first point */
    int same = 0;
    for (unsigned r = 0; corners == h && r < h && !same; ++r) {
        same = 1;
        for (unsigned i = 0; i < h && same; ++i) {
            double x, y;
            GEOSCoordSeq_getXY_r(c, shell, (r + i) % h, &x, &y);
            same = x == exact[i][0] && y == exact[i][1];
        }
    }
    printf("exact:  (");
    for (unsigned i = 0; i < h; ++i) printf("%s%.17g %.17g", i ? ", " : "", exact[i][0], exact[i][1]);
    printf(")\n%s\n", same ? "the same hull" : "not the exact hull");
    GEOSFree_r(c, type);
    GEOSGeom_destroy_r(c, hull);
    GEOSGeom_destroy_r(c, multiPoint);
    free(each);
    GEOS_finish_r(c);
    return same ? 0 : 1;
}
