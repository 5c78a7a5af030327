// An independent verdict on a hull: the reference hull of a point set, and the check of a hull
// that an algorithm produced against it. Shared by hullcheck (which reads hullbench's files) and
// hull-lab (which checks every algorithm's result); it shares no code with the algorithms.
//
// Exact for every signed 64-bit coordinate: a difference of two coordinates needs 65 bits and a
// product of two differences 129, so the turn and dot tests compare the two products of a cross or
// dot product by sign and 128-bit magnitude instead of subtracting them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace reference {

struct Pt {
    std::int64_t x, y;
    bool operator==(const Pt& o) const { return x == o.x && y == o.y; }
    bool operator!=(const Pt& o) const { return !(*this == o); }
    bool operator<(const Pt& o) const { return x < o.x || (x == o.x && y < o.y); }
};

inline std::string show(Pt p) { return std::to_string(p.x) + ";" + std::to_string(p.y); }

__extension__ typedef __int128 Wide;
__extension__ typedef unsigned __int128 UWide;

// Sign of u*v - w*z, exactly, for |u|, |v|, |w|, |z| < 2^64: each product is kept as its sign and
// its magnitude, which is below 2^128. O(1).
inline int signOfDifference(Wide u, Wide v, Wide w, Wide z) {
    auto sign = [](Wide a) { return a > 0 ? 1 : a < 0 ? -1 : 0; };
    auto magnitude = [](Wide a) { return a < 0 ? UWide(-a) : UWide(a); };
    int s1 = sign(u) * sign(v);
    int s2 = sign(w) * sign(z);
    if (s1 != s2) return s1 > s2 ? 1 : -1;  // the products differ in sign, or one is 0
    if (s1 == 0) return 0;
    UWide m1 = magnitude(u) * magnitude(v);
    UWide m2 = magnitude(w) * magnitude(z);
    if (m1 == m2) return 0;
    return (m1 > m2) == (s1 > 0) ? 1 : -1;
}

// Sign of (a - o) x (b - o): 1 when b lies left of the directed line o->a (y pointing up), -1 when
// right, 0 when the three points are collinear. O(1).
inline int turn(Pt o, Pt a, Pt b) {
    return signOfDifference(Wide(a.x) - o.x, Wide(b.y) - o.y, Wide(a.y) - o.y, Wide(b.x) - o.x);
}

// Sign of (a - o) . (b - o): negative when o lies strictly between a and b on one line. O(1).
inline int dotSign(Pt o, Pt a, Pt b) {
    return signOfDifference(Wide(a.x) - o.x, Wide(b.x) - o.x, -(Wide(a.y) - o.y), Wide(b.y) - o.y);
}

// The corners of the points' hull, clockwise from the least point (the lowest of the leftmost),
// no point on an edge; one distinct point gives it once, points on one line give its two ends.
// Monotone chain over a sorted copy: O(n log n). P is Pt, or a point of another number type with
// its own exact turn(), found beside it.
template <class P>
std::vector<P> corners(std::vector<P> points) {
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    if (points.size() <= 2) return points;
    std::vector<P> hull;
    for (int pass = 0; pass < 2; ++pass) {
        std::size_t base = hull.size();
        for (const P& p : points) {
            while (hull.size() >= base + 2 && turn(hull[hull.size() - 2], hull.back(), p) >= 0) hull.pop_back();
            hull.push_back(p);
        }
        hull.pop_back();
        std::reverse(points.begin(), points.end());
    }
    return hull;  // upper chain left to right, then lower chain right to left: clockwise
}

// What an algorithm promises about its hull.
struct Promise {
    bool clockwise;      // else counter-clockwise, y pointing up
    bool strict;         // corners only, never a point in the middle of a hull edge
    bool onePointTwice;  // a one-point set may come back as that point twice
};

// The input of a check: the reference corners, and how to find and name an input point.
template <class P>
struct InputOf {
    std::string name;                         // "points.txt", "the input"
    std::vector<P> corners;                   // corners() of the points
    std::function<bool(P)> contains;          // is p an input point?
    std::function<std::string(P)> lineOf;     // where p stands in the input, e.g. "points.txt:7"
};
using Input = InputOf<Pt>;

// What a check finds wrong with a hull, as a value: one kind for each way a hull can be wrong.
enum class Fault {
    None,            // the hull is right
    NotEmpty,        // points there are none, but the hull has some
    NotInput,        // a point of the hull is not a point of the input
    Empty,           // no hull, but the input has points
    WrongStart,      // it does not start at the lowest of the leftmost points
    OnePoint,        // a one-point set given wrongly
    Twice,           // a point stands twice
    WrongDirection,  // it runs the other way round
    NotConvex,       // it turns the wrong way somewhere
    OnEdge,          // a point in the middle of an edge, where only corners belong
    TurnsBack,       // a point where the hull turns straight back
    Outside,         // a corner of the input lies outside it
    Order,           // every corner once, but not in hull order
    NotAHull,        // not a polygon at all (what the entry gave could not be read as one)
};

// Each fault's word, as a report between processes carries it ("outside"), and as people read it
// ("a point outside"), in Fault's order.
struct FaultWords {
    const char* word;
    const char* reading;
};
inline const FaultWords& faultWords(Fault fault) {
    static const FaultWords table[] = {
        {"none", "right"},
        {"not-empty", "a hull of no points"},
        {"not-input", "a point not in the input"},
        {"empty", "an empty hull"},
        {"start", "the wrong start"},
        {"one-point", "one point given wrongly"},
        {"twice", "a point twice"},
        {"direction", "the order is wrong"},
        {"not-convex", "not convex"},
        {"on-edge", "a point in the middle of an edge"},
        {"turns-back", "a point turning straight back"},
        {"outside", "a point outside"},
        {"order", "the order is wrong"},
        {"not-a-hull", "not a hull"},
    };
    return table[static_cast<int>(fault)];
}

// The fault of `word` (faultWords(f).word); false for a word of none. O(kinds).
inline bool faultNamed(const std::string& word, Fault& fault) {
    for (int f = 0; f <= static_cast<int>(Fault::NotAHull); ++f) {
        if (word == faultWords(static_cast<Fault>(f)).word) {
            fault = static_cast<Fault>(f);
            return true;
        }
    }
    return false;
}

// A check's verdict: the fault, the point it names ("x;y", "" where it names none), and its words
// naming the point and where it stands ("" when right).
struct Finding {
    Fault fault = Fault::None;
    std::string words;
    std::string point;
    Finding() = default;
    Finding(Fault f, std::string w, std::string p = "") : fault(f), words(std::move(w)), point(std::move(p)) {}
};

// Checks `hull` (named `name`, each point numbered from 1 in messages as "name:N: ") against the
// input: only input points, the least point first, no point twice, the promised turn at every
// vertex (straight only for a point on a hull edge, where allowed), every corner of the input on
// it, once round. Returns no fault when it passes, else the first failure. Fills `found` with the
// polygon's corners once its turns have passed. O(h log h) beyond the input's lookups. P as for
// corners().
template <class P>
Finding checkFinding(const Promise& e, const std::string& name, const std::vector<P>& h, const InputOf<P>& input,
                     std::vector<P>& found) {
    const std::vector<P>& reference = input.corners;
    auto at = [&](std::size_t i) { return name + ":" + std::to_string(i + 1) + ": "; };
    if (reference.empty()) return h.empty() ? Finding{} : Finding{Fault::NotEmpty, at(0) + "the points are empty but the hull is not"};
    for (std::size_t i = 0; i < h.size(); ++i) {
        if (!input.contains(h[i])) return {Fault::NotInput, at(i) + show(h[i]) + " is not a point of " + input.name, show(h[i])};
    }
    if (h.empty()) return {Fault::Empty, name + ": empty, but " + input.name + " is not"};
    const P start = reference.front();
    if (h[0] != start) {
        return {Fault::WrongStart, at(0) + "starts at " + show(h[0]) + ", not at the lowest of the leftmost points " + show(start),
                show(h[0])};
    }
    if (reference.size() == 1) {
        found = {start};
        bool twice = h.size() == 2 && h[1] == start && e.onePointTwice;
        if (h.size() == 1 || twice) return {};
        return {Fault::OnePoint, at(1) + "a one-point set gives that point " + (e.onePointTwice ? "once or twice" : "once")};
    }
    std::map<P, std::size_t> seen;
    for (std::size_t i = 0; i < h.size(); ++i) {
        auto [it, fresh] = seen.emplace(h[i], i);
        if (!fresh) return {Fault::Twice, at(i) + show(h[i]) + " stands twice (first at line " + std::to_string(it->second + 1) + ")", show(h[i])};
    }
    // Turns: the sign that the promised direction asks for, at every vertex.
    const int want = e.clockwise ? -1 : 1;
    const std::size_t n = h.size();
    std::vector<P> strictCorners;
    std::optional<std::size_t> firstWrong;
    Finding straight;
    for (std::size_t i = 0; n >= 3 && i < n; ++i) {
        P a = h[(i + n - 1) % n], b = h[i], c = h[(i + 1) % n];
        int sign = turn(a, b, c);
        if (sign == want) {
            strictCorners.push_back(b);
        } else if (sign == -want) {
            if (!firstWrong) firstWrong = i;
        } else if (straight.fault == Fault::None) {
            bool onEdge = dotSign(b, a, c) < 0;  // b strictly between a and c
            if (e.strict || !onEdge) {
                straight = {onEdge ? Fault::OnEdge : Fault::TurnsBack,
                            at(i) + show(b) +
                                (onEdge ? " lies on the hull edge " + show(a) + " - " + show(c) + "; only corners belong here"
                                        : " turns straight back"),
                            show(b)};
            }
        }
    }
    const char* other = e.clockwise ? "counter-clockwise" : "clockwise";
    if (firstWrong && strictCorners.empty()) {
        return {Fault::WrongDirection, name + ": runs " + other + "; it must run " +
                                           (e.clockwise ? "clockwise" : "counter-clockwise") + " (y pointing up)"};
    }
    if (firstWrong) {
        return {Fault::NotConvex, at(*firstWrong) + "turns " + other + " at " + show(h[*firstWrong]) + ": the polygon is not convex",
                show(h[*firstWrong])};
    }
    if (straight.fault != Fault::None) return straight;
    found = n == 2 ? h : strictCorners;
    // Containment: the polygon's points are input points and its turns are right, so it lies
    // inside the hull; it covers every point exactly when every reference corner is on it.
    for (const P& corner : reference) {
        if (!seen.count(corner)) return {Fault::Outside, input.lineOf(corner) + ": " + show(corner) + " lies outside the hull in " + name, show(corner)};
    }
    // Each corner once and each turn right, yet the corners could still wind round twice.
    std::vector<P> expected = reference;
    if (!e.clockwise) std::reverse(expected.begin() + 1, expected.end());
    if (found != expected) return {Fault::Order, name + ": the corners are not in hull order (the polygon winds round more than once)"};
    return {};
}

// The words of checkFinding's verdict: "" when the hull is right.
template <class P>
std::string checkHull(const Promise& e, const std::string& name, const std::vector<P>& h, const InputOf<P>& input,
                      std::vector<P>& found) {
    return checkFinding(e, name, h, input, found).words;
}

// ---- Quick acceptance, for large inputs ---------------------------------------------------------

// The number of corners of `h` when it is exactly the hull of `points` as `e` promises, else 0:
// the lowest of the leftmost points first, the promised turn at every vertex (a point strictly
// inside a hull edge only where allowed), one turn round, every vertex an input point and every
// input point inside or on the polygon. A convex polygon of input points lies inside their hull,
// and one that holds every input point holds their hull, so such a polygon is the hull. 0 says
// nothing about why: checkHull names the fault. Hulls of fewer than two distinct corners are left
// to it. `points` holds anything with x and y. O(n log h), no copy of the points; exact for every
// 64-bit coordinate, in 64-bit products while every |coordinate| < 2^30.
template <class P>
std::size_t quickCorners(const Promise& e, const std::vector<Pt>& h, const std::vector<P>& points) {
    if (points.empty() || h.size() < 2) return 0;
    constexpr std::int64_t kSmall = std::int64_t(1) << 30;
    auto small = [&](std::int64_t x, std::int64_t y) { return x > -kSmall && x < kSmall && y > -kSmall && y < kSmall; };
    bool bounded = true;
    Pt least{points.front().x, points.front().y};
    for (const P& p : points) {
        const Pt q{p.x, p.y};
        if (q < least) least = q;
        bounded = bounded && small(q.x, q.y);
    }
    for (const Pt& q : h) bounded = bounded && small(q.x, q.y);
    if (h[0] != least) return 0;

    // The polygon's corners, counter-clockwise from the least point; the points on its edges.
    const std::size_t n = h.size();
    std::vector<Pt> c, onEdges;
    if (n == 2) {
        if (h[1] == h[0]) return 0;
        c = h;
    } else {
        const int want = e.clockwise ? -1 : 1;
        for (std::size_t i = 0; i < n; ++i) {
            const Pt a = h[(i + n - 1) % n], b = h[i], d = h[(i + 1) % n];
            const int sign = turn(a, b, d);
            if (sign == want) {
                c.push_back(b);
            } else if (sign == 0 && !e.strict && i > 0 && dotSign(b, a, d) < 0) {
                onEdges.push_back(b);
            } else {
                return 0;
            }
        }
        if (c.size() < 3 || c[0] != least) return 0;
        // Turning one way at every corner, the edges' directions go round; they cross the vertical
        // twice per turn round, so the sign of dx changes twice for a polygon that winds once.
        std::vector<int> dx;  // the sign of each edge's dx, vertical edges left out
        for (std::size_t i = 0; i < c.size(); ++i) {
            const std::int64_t a = c[i].x, b = c[(i + 1) % c.size()].x;
            if (a != b) dx.push_back(b > a ? 1 : -1);
        }
        int changes = 0;
        for (std::size_t i = 0; i < dx.size(); ++i) changes += dx[i] != dx[(i + 1) % dx.size()];
        if (changes != 2) return 0;
        if (e.clockwise) std::reverse(c.begin() + 1, c.end());
    }
    std::sort(onEdges.begin(), onEdges.end());
    if (std::adjacent_find(onEdges.begin(), onEdges.end()) != onEdges.end()) return 0;

    // Every input point inside or on the polygon, and every vertex met among them.
    const std::size_t m = c.size();
    std::vector<char> met(m, 0), metOnEdge(onEdges.size(), 0);
    auto scan = [&](auto side) {  // side(o, a, p) has the sign of turn(o, a, p)
        for (const P& point : points) {
            const Pt p{point.x, point.y};
            if (p == c[0]) {
                met[0] = 1;
                continue;
            }
            if (m == 2) {  // a segment: every point on it
                if (side(c[0], c[1], p) != 0 || dotSign(p, c[0], c[1]) > 0) return false;
                if (p == c[1]) met[1] = 1;
                continue;
            }
            const auto first = side(c[0], c[1], p), last = side(c[0], c[m - 1], p);
            if (first < 0 || last > 0) return false;
            // The wedge c[0], c[lo], c[lo + 1] that holds p: lo the last of 1 .. m - 2 with p on
            // or left of c[0] -> c[lo] (a search without branches: p's side is not predictable).
            std::size_t lo = 1;
            for (std::size_t count = m - 2; count > 1;) {
                const std::size_t half = count / 2;
                lo = side(c[0], c[lo + half], p) >= 0 ? lo + half : lo;
                count -= half;
            }
            const auto edge = side(c[lo], c[lo + 1], p);
            if (edge < 0) return false;
            if (p == c[lo]) met[lo] = 1;
            if (p == c[lo + 1]) met[lo + 1] = 1;
            if (!onEdges.empty() && (edge == 0 || first == 0 || last == 0)) {
                auto at = std::lower_bound(onEdges.begin(), onEdges.end(), p);
                if (at != onEdges.end() && *at == p) metOnEdge[std::size_t(at - onEdges.begin())] = 1;
            }
        }
        return true;
    };
    auto product = [](Pt o, Pt a, Pt p) { return (a.x - o.x) * (p.y - o.y) - (a.y - o.y) * (p.x - o.x); };
    if (!(bounded ? scan(product) : scan(turn))) return 0;
    const bool all = std::count(met.begin(), met.end(), 1) == std::ptrdiff_t(m) &&
                     std::count(metOnEdge.begin(), metOnEdge.end(), 1) == std::ptrdiff_t(onEdges.size());
    return all ? m : 0;
}

}  // namespace reference
