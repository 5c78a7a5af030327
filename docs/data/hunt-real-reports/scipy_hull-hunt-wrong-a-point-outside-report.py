#!/usr/bin/env python3
# scipy.spatial.ConvexHull on 4 points: WRONG, a point outside.
# Found and shrunk by hull-lab's hunt (entry scipy_hull). Run:
#   python3 report.py
# It prints the hull the library returns and the exact hull, and exits 1 where they differ.
import sys

points = [
    (-338508.98, 0.26873681),
    (0.0, 0.2958411161),
    (0.0, 0.0),
    (-338508.9798, 0.2687368091),
]
# The exact hull's corners, clockwise from the lowest of the leftmost (hull-lab's exact check).
exact = [
    (-338508.98, 0.26873681),
    (0.0, 0.2958411161),
    (0.0, 0.0),
    (-338508.9798, 0.2687368091),
]


def library_hull():
    import numpy as np
    from scipy.spatial import ConvexHull
    array = np.array(points, dtype=np.float64)
    return [(float(array[i][0]), float(array[i][1])) for i in ConvexHull(array).vertices]


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
    print("scipy:  ", got)
    print("exact:   ", exact)
    print("the same hull" if same_cycle(got, exact) else "not the exact hull")
    return 0 if same_cycle(got, exact) else 1


sys.exit(main())
