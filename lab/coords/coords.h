// The coordinates (coords/): the number types a cell's points come in, each type's exact range,
// the exact predicates on doubles and the reading and writing of real numbers. The lowest room:
// it includes no header of the lab's.
//
// Every finite double is a rational (an integer times a power of two), so a hull of doubles has
// an exact answer. The predicates here decide each turn exactly: a floating-point filter first,
// which decides nearly every turn, then the same filter on the coordinates scaled by a power of
// two where the plain one overflowed or underflowed, and GMP's rationals where neither can.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lab {

// ---- Number types --------------------------------------------------------------------------------

// The number type of a cell's coordinates: whole numbers below 2^30 (the program's points), or
// doubles, or 32-bit floats.
enum class Coordinates { Int, F64, F32 };

// "int", "f64", "f32". O(1).
const char* coordinatesWord(Coordinates type);

// The type `word` names; false for a word that names none. O(1).
bool coordinatesNamed(std::string_view word, Coordinates& type);

// What a coordinate of the type can be: "|coordinate| < 2^30", "any finite double",
// "any finite float". O(1).
const char* coordinatesRange(Coordinates type);

// ---- Real points and their exact predicates ------------------------------------------------------

// A point of doubles (an f32 point's floats widened, which is exact). Ordered as the hulls start:
// by x, then y; -0 and 0 are the same coordinate.
struct RealPoint {
    double x, y;
    bool operator==(const RealPoint& o) const { return x == o.x && y == o.y; }
    bool operator!=(const RealPoint& o) const { return !(*this == o); }
    bool operator<(const RealPoint& o) const { return x < o.x || (x == o.x && y < o.y); }
};

// The sign of (v0 - v1)(v2 - v3) - (v4 - v5)(v6 - v7) past the plain filter (exact.cpp): where
// the filter below cannot decide it. O(1); some microseconds where GMP decides.
int signPastFilter(const double* v);

// The same sign, exactly, for any finite doubles: the plain products decide where their sum
// clears its rounding error's bound (Shewchuk's, with room to spare; inline, since nearly every
// call ends here), else signPastFilter.
inline int exactSign(const double (&v)[8]) {
    const double l = (v[0] - v[1]) * (v[2] - v[3]), r = (v[4] - v[5]) * (v[6] - v[7]);
    const double sum = (l < 0 ? -l : l) + (r < 0 ? -r : r);
    if (sum > 0x1p-900 && sum <= 0x1.fffffffffffffp+1023) {  // no underflow, no overflow, no NaN
        const double det = l - r, bound = 4 * 0x1p-53 * sum;
        if (det > bound) return 1;
        if (det < -bound) return -1;
    }
    return signPastFilter(v);
}

// Sign of (a - o) x (b - o), exactly, for every finite double: 1 when b lies left of the directed
// line o->a (y pointing up), -1 when right, 0 when the three points are collinear. O(1); GMP's
// rationals only where the filters cannot decide (exactly collinear points, or coordinates whose
// differences overflow or underflow even after scaling).
inline int turn(RealPoint o, RealPoint a, RealPoint b) {
    const double v[8] = {a.x, o.x, b.y, o.y, a.y, o.y, b.x, o.x};
    return exactSign(v);
}

// Sign of (b - a) x (d - c), exactly: turn(o, a, b) is crossSign(o, a, o, b). O(1), as turn.
inline int crossSign(RealPoint a, RealPoint b, RealPoint c, RealPoint d) {
    const double v[8] = {b.x, a.x, d.y, c.y, b.y, a.y, d.x, c.x};
    return exactSign(v);
}

// Sign of (a - o) . (b - o), exactly: negative when o lies strictly between a and b on one line.
// O(1), as turn. (a - o) . (b - o) = (ax - ox)(bx - ox) - (oy - ay)(by - oy).
inline int dotSign(RealPoint o, RealPoint a, RealPoint b) {
    const double v[8] = {a.x, o.x, b.x, o.x, o.y, a.y, b.y, o.y};
    return exactSign(v);
}

// The same sign from the rationals alone, without the filters: what the tests hold turn and
// dotSign to. O(1), some microseconds.
int rationalTurn(RealPoint o, RealPoint a, RealPoint b);
int rationalDotSign(RealPoint o, RealPoint a, RealPoint b);

// The point as a point file writes it, "x;y", each coordinate its shortest decimal. O(1).
std::string show(RealPoint p);

// The double's nearest float, widened back: the value an f32 path holds. Through a volatile float:
// GCC 12 with -frounding-math (which CGAL's build asks for) folds double(float(x)) into x, so a
// plain cast would keep every double as it was. O(1).
double nearestFloat(double value);

// ---- Real numbers as text ------------------------------------------------------------------------

// The shortest decimal that reads back as the same double ("0.1", "1e+300", "-0", "5e-324"). O(1).
std::string realText(double value);

// The shortest decimal that reads back as the same float. O(1).
std::string realText(float value);

// Reads `word` as the type's coordinate: a decimal ("-0.2", "813580.3", "1.38777878e-17", "+5",
// ".5", "1E3") to the nearest double, or with F32 to the nearest float (rounded once, from the
// decimal itself: through a double it could round twice), ties to even. Returns "" or why it
// refuses: not a number, NaN, infinity, beyond the type's largest finite value, or a nonzero
// decimal that rounds to zero. Subnormals are taken. Int is not read here. O(word).
std::string readReal(std::string_view word, Coordinates type, double& value);

// Whether a word is written as a real number rather than a whole one: it holds a decimal point
// or an exponent (or names NaN or infinity). O(word).
bool writtenAsReal(std::string_view word);

}  // namespace lab
