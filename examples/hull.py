#!/usr/bin/env python3
"""An example program for hull-lab, in pure Python: Andrew's monotone chain, exact on Python's
integers. Reads a point file ("x;y" lines), prints the hull's corners counter-clockwise, one
"x;y" line each. Times itself: computes the hull HULL_LAB_ROUNDS times (1 when it is not set) and
prints "time: SECONDS" for each round on standard error, so that the lab times the hull alone,
not Python's start-up or the reading.

    hull-lab --program 'python3 examples/hull.py'
"""
import os
import sys
import time


def hull(points):
    """The corners counter-clockwise from the least point; O(n log n)."""
    pts = sorted(set(points))
    if len(pts) <= 2:
        return pts

    def cross(o, a, b):
        return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0])

    lower, upper = [], []
    for p in pts:
        while len(lower) >= 2 and cross(lower[-2], lower[-1], p) <= 0:
            lower.pop()
        lower.append(p)
    for p in reversed(pts):
        while len(upper) >= 2 and cross(upper[-2], upper[-1], p) <= 0:
            upper.pop()
        upper.append(p)
    return lower[:-1] + upper[:-1]


def main():
    with open(sys.argv[1]) as f:
        points = [tuple(int(v) for v in line.split(";")) for line in f if line.strip()]
    rounds = int(os.environ.get("HULL_LAB_ROUNDS", "1"))
    for _ in range(rounds):
        start = time.perf_counter()
        result = hull(points)
        print(f"time: {time.perf_counter() - start:.9f}", file=sys.stderr)
    sys.stdout.write("".join(f"{x};{y}\n" for x, y in result))


if __name__ == "__main__":
    main()
