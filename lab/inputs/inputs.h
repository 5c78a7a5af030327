// hull-lab's inputs (inputs/): the shapes of points it makes and the point files it reads.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "lab.h"

namespace lab {

// ---- Random numbers -----------------------------------------------------------------------------

// SplitMix64 (Steele, Lea and Flood, 2014): 64 random bits per step.
struct SplitMix64 {  // the shapes' points, the shuffled orders of a point file
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, bound), bound > 0 (the high half of a 128-bit product).
    std::int64_t below(std::int64_t bound) {
        __extension__ typedef unsigned __int128 U;
        return std::int64_t((U(next()) * U(bound)) >> 64);
    }
    // Uniform in [-1, 1), a multiple of 2^-52.
    double signedUnit() { return double(std::int64_t(next() >> 11) - (std::int64_t(1) << 52)) / 4503599627370496.0; }
};

// ---- Shapes (inputs/shapes.cpp) -----------------------------------------------------------------

struct Shape {
    std::string name;    // "square"
    std::string growth;  // how its hull size grows, for --list and the guide
    bool byDefault = true;  // in a run that names no shapes
};

// The eight shapes, in the lab's order.
const std::vector<Shape>& shapes();

// A size that a shape cannot make (std::invalid_argument's message says why and what it can).
struct ShapeError : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// n points of the named shape, a function of (shape, n, seed) alone: the same on every run and
// machine. Every coordinate lies strictly between -2^30 and 2^30, where the hull functions are
// exact. Throws ShapeError for a size the shape cannot make, std::invalid_argument for an unknown
// shape. O(n) (convex: O(n log n)).
std::vector<Point> makeShape(const std::string& shape, std::int64_t n, std::uint64_t seed);

// The shapes made only of doubles (--coordinates f64 or f32), after the eight: `offset`, `huge`,
// `tiny`, `ulp`, `kuzmin`.
const std::vector<Shape>& realShapes();

// How the named shape is made as doubles (or, with F32, for floats) and how its hull grows there,
// for a table's heading. Throws std::invalid_argument for an unknown shape.
std::string realGrowth(const std::string& shape, Coordinates type = Coordinates::F64);

// n points of the named shape as doubles, a function of (shape, n, seed) alone: the eight shapes
// continuous where they are random (`square` [-1, 1)^2, `disc` and `circle` of radius 1, `normal`
// of sigma 1; `lattice` on steps of 0.1; `line` on y = 0.1 + 0.3 x rounded), `convex` and `sliver`
// as their whole numbers times 2^-30 (exact, so `convex` is exactly convex), and realShapes(); with
// type F32, `huge`, `tiny` and `ulp` at the floats' scale (radius 1e38, 1e-38 with float
// subnormals, float units in the last place), which the caller rounds to floats. Throws
// std::invalid_argument for an unknown shape or a size the shape cannot make. O(n).
std::vector<RealPoint> makeRealShape(const std::string& shape, std::int64_t n, std::uint64_t seed,
                                     Coordinates type = Coordinates::F64);

// Whether `convex` can make n points inside the exact range. O(n log n).
bool convexFits(std::int64_t n);

// The largest size `convex` can make inside the exact range. O(m log m), m about that size (a
// second or so).
std::int64_t convexLargest();

// ---- The user's point files (inputs/input.cpp) --------------------------------------------------

// A point file that cannot be taken: the line it fails on (0: the whole file, as one that cannot
// be read) and what is wrong there.
struct InputError : std::runtime_error {
    InputError(long line, const std::string& what);
    long line;
};

// The points of a point file's text: "x;y", "x,y" or "x y" per line, told apart by the first point
// line; one header line of names allowed before it; "#" lines and blank lines skipped; "\r\n" line
// ends taken. Coordinates are whole numbers; with `scale` K > 0, decimals too, each multiplied by
// K, which must make it whole. Every coordinate lies in |coordinate| < 2^30. Throws InputError
// (with the line) on the first thing wrong: nothing is skipped or rounded. Sets `format` to the
// format found. O(length of the text).
//
// With `columns`, a point line may hold more fields than two: x and y are the fields that columns
// names, by number from 1 or by the header line's names, and the others are ignored.
struct Columns {
    std::string x, y;  // "2" or "lon"; both empty: a point line holds exactly two fields
    bool given() const { return !x.empty(); }
};
std::vector<Point> parsePoints(std::string_view text, std::int64_t scale, std::string* format = nullptr,
                               const Columns& columns = {});

// The real points of a point file's text, each coordinate read as the type's nearest value
// (readReal), in the formats, headers and columns of parsePoints. Throws InputError with the line
// and the word on the first thing wrong: NaN, infinity, a value beyond the type's range or one that
// rounds to zero from a nonzero decimal, a word that is not a number. O(length of the text).
std::vector<RealPoint> parseRealPoints(std::string_view text, Coordinates type, std::string* format = nullptr,
                                       const Columns& columns = {});

// Point files of geometry (inputs/geometry.cpp): WKT and GeoJSON.

// A point's two coordinate words in a text, and the line they are on.
struct CoordinateWords {
    std::string_view x, y;
    long line;
};

// "WKT" where the text's first word (past blanks and "#" lines) is a WKT geometry type (POINT,
// MULTIPOINT, LINESTRING, POLYGON, GEOMETRYCOLLECTION, ...), "GeoJSON" where it starts with "{",
// otherwise nullptr. O(1) past the blanks.
const char* geometryFormat(std::string_view text);

// Every point of a WKT text (one geometry or more, blanks between) or of a GeoJSON document (every
// position of every "coordinates" member: a geometry, a Feature, a FeatureCollection): its x and y
// words, in the order GEOS holds them (z and m are left). GEOS reads the text first; throws
// InputError with GEOS's words where it refuses it, or where a position is not one. The words are
// read by the caller, as every point file's are. O(length of the text).
std::vector<CoordinateWords> geometryWords(std::string_view text, const char* format);

struct PointFile {
    std::vector<Point> points;  // a whole-number file's
    Coordinates coordinates = Coordinates::Int;
    std::vector<RealPoint> reals;  // a real file's (f64, f32: each float widened exactly)
    std::string format;      // "x;y", "x,y", "x y", "WKT" or "GeoJSON"
    std::size_t bytes = 0;   // the file's length
    double seconds = 0;      // wall time to open, read and parse it
};

// Reads and parses a whole point file ("-": standard input) in the number type `type` points to;
// without one, as whole numbers unless a coordinate is written as a real number ("0.5", "1e3"),
// which makes it an f64 file (a --scale reads decimals as whole numbers instead). Throws
// InputError. O(length of the file).
PointFile readPointFile(const std::string& path, std::int64_t scale, const Columns& columns = {},
                        const Coordinates* type = nullptr);

// The points in the order of `seed`: a shuffle that is the same on every machine. O(n). For Point
// and RealPoint.
template <class P>
std::vector<P> inputOrder(const std::vector<P>& points, std::uint64_t seed);

}  // namespace lab
