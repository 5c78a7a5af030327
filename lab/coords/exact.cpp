// The exact predicates on doubles past their filter. Each is the sign of p q - r s, where p, q, r
// and s are each the difference of two doubles; it is decided in three stages, each taken only
// where the one before cannot decide:
//   1. (inline, coords.h's exactSign) the plain product in doubles, accepted when it exceeds its
//      rounding error's bound (Shewchuk,
//      "Adaptive precision floating-point arithmetic and fast robust geometric predicates", 1997,
//      whose bound for this expression is (3 + 16 eps) eps (|p q| + |r s|); 4 eps here);
//   2. where the products overflowed or underflowed, the same after scaling all eight values by
//      one power of two (which changes no sign, and is exact where no value falls below the
//      normal range), and then, where the bound was not cleared, the expression summed exactly:
//      each difference as two doubles (Knuth's two-sum), each product of those as two (a fused
//      multiply-add gives the rounding error), and the sixteen terms gathered into a
//      nonoverlapping expansion whose largest term has the sign (Shewchuk's Grow-Expansion);
//   3. GMP's rationals, where a value could not be scaled exactly or a product fell below the
//      range where the fused multiply-add's error is exact.

#include <gmpxx.h>

#include <cfloat>
#include <cmath>

#include "coords/coords.h"

namespace lab {

namespace {

constexpr double kBound = 4 * 0x1p-53;  // the filter's bound, a multiple of |p q| + |r s| (as exactSign's)
constexpr double kLeast = 0x1p-900;     // below this |p q| + |r s| may hold underflowed products
constexpr double kLeastProduct = 0x1p-960;  // a product's error is exact from here up

// The sign of (v0 - v1)(v2 - v3) - (v4 - v5)(v6 - v7) where the plain doubles decide it, else 2:
// exactSign's filter (coords.h), for the scaled values.
int filtered(const double* v) {
    const double l = (v[0] - v[1]) * (v[2] - v[3]), r = (v[4] - v[5]) * (v[6] - v[7]);
    const double sum = std::fabs(l) + std::fabs(r);
    if (!(sum > kLeast && sum <= DBL_MAX)) return 2;  // NaN and infinity fail here too
    const double det = l - r, bound = kBound * sum;
    return det > bound ? 1 : det < -bound ? -1 : 2;
}

// a + b as its rounded sum and the rounding error, exactly (Knuth's two-sum). O(1).
void twoSum(double a, double b, double& sum, double& error) {
    sum = a + b;
    const double bv = sum - a, av = sum - bv;
    error = (a - av) + (b - bv);
}

// Adds `term` to the expansion e[0..n) (nonoverlapping, increasing in magnitude, no zeros) and
// keeps it so (Grow-Expansion, zeros dropped). Returns the new length. O(n).
int grow(double* e, int n, double term) {
    int out = 0;
    double q = term;
    for (int i = 0; i < n; ++i) {
        double sum, error;
        twoSum(q, e[i], sum, error);
        if (error != 0) e[out++] = error;
        q = sum;
    }
    if (q != 0) e[out++] = q;
    return out;
}

// The sign of the expression summed exactly in doubles, or 2 where a product is too small for its
// error to be exact. The values must be scaled so that no sum or product overflows. O(1).
int expanded(const double* v) {
    double d[4][2];  // each difference as its rounded value and its error
    for (int i = 0; i < 4; ++i) twoSum(v[2 * i], -v[2 * i + 1], d[i][0], d[i][1]);
    double e[32];
    int n = 0;
    for (int pair = 0; pair < 2; ++pair) {
        const double(&a)[2] = d[2 * pair];
        const double(&b)[2] = d[2 * pair + 1];
        const double sign = pair == 0 ? 1 : -1;
        for (double x : a) {
            for (double y : b) {
                if (x == 0 || y == 0) continue;
                const double product = x * y;
                if (std::fabs(product) < kLeastProduct) return 2;
                n = grow(e, n, sign * product);
                n = grow(e, n, sign * std::fma(x, y, -product));
            }
        }
    }
    return n == 0 ? 0 : e[n - 1] > 0 ? 1 : -1;
}

// The values scaled by one power of two so that the largest magnitude lies in [0.5, 1); false
// where a value would lose bits (a far smaller value falling below the normal range). O(1).
bool scaled(const double* v, double* s) {
    double largest = 0;
    for (int i = 0; i < 8; ++i) largest = std::fmax(largest, std::fabs(v[i]));
    if (largest == 0) return false;
    int exponent = 0;
    std::frexp(largest, &exponent);
    for (int i = 0; i < 8; ++i) {
        s[i] = std::ldexp(v[i], -exponent);
        if (std::ldexp(s[i], exponent) != v[i]) return false;
    }
    return true;
}

// The sign from GMP's rationals: every finite double converts exactly. O(1), some microseconds.
int rational(const double* v) {
    mpq_class d[4];
    for (int i = 0; i < 4; ++i) d[i] = mpq_class(v[2 * i]) - mpq_class(v[2 * i + 1]);
    return sgn(mpq_class(d[0] * d[1] - d[2] * d[3]));
}

}  // namespace

int signPastFilter(const double* v) {
    double s[8];
    if (!scaled(v, s)) return rational(v);
    const int filteredScaled = filtered(s);
    if (filteredScaled != 2) return filteredScaled;
    const int summed = expanded(s);
    return summed != 2 ? summed : rational(v);
}

int rationalTurn(RealPoint o, RealPoint a, RealPoint b) {
    const double v[8] = {a.x, o.x, b.y, o.y, a.y, o.y, b.x, o.x};
    return rational(v);
}

int rationalDotSign(RealPoint o, RealPoint a, RealPoint b) {
    const double v[8] = {a.x, o.x, b.x, o.x, o.y, a.y, b.y, o.y};
    return rational(v);
}

}  // namespace lab
