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

// Sign of (a - o) x (b - o), exactly, for every finite double: 1 when b lies left of the directed
// line o->a (y pointing up), -1 when right, 0 when the three points are collinear. O(1); GMP's
// rationals only where the filters cannot decide (exactly collinear points, or coordinates whose
// differences overflow or underflow even after scaling).
int turn(RealPoint o, RealPoint a, RealPoint b);

// Sign of (a - o) . (b - o), exactly: negative when o lies strictly between a and b on one line.
// O(1), as turn.
int dotSign(RealPoint o, RealPoint a, RealPoint b);

// The same sign from the rationals alone, without the filters: what the tests hold turn and
// dotSign to. O(1), some microseconds.
int rationalTurn(RealPoint o, RealPoint a, RealPoint b);
int rationalDotSign(RealPoint o, RealPoint a, RealPoint b);

// The point as a point file writes it, "x;y", each coordinate its shortest decimal. O(1).
std::string show(RealPoint p);

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
