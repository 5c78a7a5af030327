#!/usr/bin/python3
"""An example program for hull-lab: scipy.spatial.ConvexHull (Qhull underneath) as a Python caller
uses it, reading the point file with numpy (doubles, read exactly: numpy rounds each decimal to
its nearest double) and writing each corner as it came back. Self-timed like hull.py: each round is the call on the
array and turning its vertices into corners, so that the figure shows what a Python caller pays
beyond the library. Needs Debian's python3-scipy (hence /usr/bin/python3).

    hull-lab --program '/usr/bin/python3 examples/scipy_hull.py'
"""
import os
import sys
import time

import numpy as np
from scipy.spatial import ConvexHull, QhullError


def main():
    rounds = int(os.environ.get("HULL_LAB_ROUNDS", "1"))
    if os.path.getsize(sys.argv[1]) == 0:  # no points: no corners
        for _ in range(rounds):
            print("time: 0", file=sys.stderr)
        return
    points = np.loadtxt(sys.argv[1], delimiter=";", dtype=np.float64, ndmin=2)
    corners = []
    for _ in range(rounds):
        start = time.perf_counter()
        try:
            # Qhull's corners of a 2-d hull come counter-clockwise; "Qc" off, so no edge points.
            corners = points[ConvexHull(points).vertices]
        except (QhullError, ValueError) as e:
            # Fewer than 3 points, or all on one line: Qhull gives up, as it does in C.
            print(f"time: {time.perf_counter() - start:.9f}", file=sys.stderr)
            print(f"refused: Qhull: {str(e).splitlines()[0]}", file=sys.stderr)
            sys.exit(3)
        print(f"time: {time.perf_counter() - start:.9f}", file=sys.stderr)
    sys.stdout.write("".join(f"{number(x)};{number(y)}\n" for x, y in corners))


def number(value):
    """A coordinate as the lab reads it back exactly: a whole number as one, any other double in
    Python's shortest decimal that reads back to the same double (repr)."""
    value = float(value)
    return str(int(value)) if value.is_integer() and abs(value) < 2.0**53 else repr(value)


if __name__ == "__main__":
    main()
