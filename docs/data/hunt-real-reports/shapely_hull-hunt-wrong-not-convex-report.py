#!/usr/bin/env python3
# shapely's convex_hull on 5 points: WRONG, not convex.
# Found and shrunk by hull-lab's hunt (entry shapely_hull). Run:
#   python3 report.py
# It prints the hull the library returns and the exact hull, and exits 1 where they differ.
import sys

points = [
    (0.0, 1e+153),
    (0.0, 0.0),
    (3e+305, 0.0),
    (5e+199, -3e+306),
    (2e+199, 0.0),
]
# The exact hull's corners, clockwise from the lowest of the leftmost (hull-lab's exact check).
exact = [
    (0.0, 0.0),
    (0.0, 1e+153),
    (3e+305, 0.0),
    (5e+199, -3e+306),
]


def library_hull():
    from shapely.geometry import MultiPoint
    hull = MultiPoint(points).convex_hull
    if hull.is_empty:
        return []
    coords = list(hull.exterior.coords)[:-1] if hull.geom_type == "Polygon" else list(hull.coords)
    return [(float(x), float(y)) for x, y in coords]


def same_cycle(got, want):
    """Whether got is want's cycle of corners, from any corner, in either direction."""
    if len(got) != len(want):
        return False
    turns = [got[r:] + got[:r] for r in range(len(got))] or [got]
    return any(t == want or t == want[::-1] for t in turns)


def main():
    try:
        got = library_hull()
    except Exception as e:  # a refusal, or the library missing: not a wrong hull
        print(f"no hull: {type(e).__name__}: {e}")
        return 2
    print("shapely: ", got)
    print("exact:   ", exact)
    print("the same hull" if same_cycle(got, exact) else "not the exact hull")
    return 0 if same_cycle(got, exact) else 1


sys.exit(main())
