/* hull-lab's plugin interface: a shared library that exports one or both of these functions is
 * judged and timed by `hull-lab --plugin PATH` beside the lab's own hulls and the libraries'.
 * Plain C, so that C, C++, Rust or anything with a C ABI can implement it; this header is a
 * contract with code the lab never sees, and changes only in ways that keep older plugins working.
 *
 * Build a plugin:   cc -O2 -shared -fPIC -Iinclude -o libgraham.so graham.c
 * Run it:           hull-lab --plugin ./libgraham.so
 * The entries are named after the file: libgraham.so gives `graham` (hull_lab_hull) and
 * `graham-f64` (hull_lab_hull_f64). A library with several functions of these types names each:
 * --plugin ./libmine.so:my_hull,./libmine.so:my_hull_f64 (a symbol ending in _f64 takes doubles).
 *
 * What the lab does with a plugin: every call gets a fresh copy of the points, made by the lab
 * and timed with the call, as every entry of the lab pays for its copy. The result is checked
 * exactly against a reference hull on every point set before the timing, and on a fixed set of
 * hard inputs (no points, one point, copies, points on one line, ...) before any cell runs. A
 * plugin that returns a wrong hull, refuses, crashes, hangs, returns a count larger than n or
 * writes past `out` ends its own cell only; the run goes on and says what happened. */
#ifndef HULL_LAB_PLUGIN_H
#define HULL_LAB_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* xy: n points as x0, y0, x1, y1, ...; every |coordinate| < 2^30. It is the lab's copy for this
   call: the function may reorder or overwrite it. out: room for 2 * n values (n points).
   Writes the hull's corners to out as x, y pairs, in order around the hull (either direction,
   any start), each corner once, no point in the middle of an edge; returns their number, or a
   negative number to refuse the input. */
int64_t hull_lab_hull(int64_t *xy, size_t n, int64_t *out);

/* The same on doubles. On the lab's whole-number cells (every shape): the same integer
   coordinates, each exactly representable. On a point file of real numbers (f64: any finite
   doubles, subnormals and -0 among them; f32: floats, widened exactly): the file's doubles
   themselves, and the corners written to out must be those doubles, bit for bit (the check is
   exact on them). A function written for whole numbers keeps working where it did. */
int64_t hull_lab_hull_f64(double *xy, size_t n, double *out);

/* Optional: why the last call refused, one line. */
const char *hull_lab_message(void);

/* The types of the two, for a plugin with functions of other names (PATH:SYMBOL). */
typedef int64_t (*hull_lab_hull_fn)(int64_t *xy, size_t n, int64_t *out);
typedef int64_t (*hull_lab_hull_f64_fn)(double *xy, size_t n, double *out);
typedef const char *(*hull_lab_message_fn)(void);

#ifdef __cplusplus
}
#endif

#endif /* HULL_LAB_PLUGIN_H */
