#!/usr/bin/python3
"""An example program for hull-lab: shapely's convex_hull (GEOS underneath) as a GIS user calls it,
on a MultiPoint of the file's doubles. Self-timed like hull.py: each round builds the MultiPoint and
takes its hull's corners, so that the figure shows what a Python caller pays. Needs Debian's
python3-shapely (hence /usr/bin/python3).

    hull-lab --program '/usr/bin/python3 examples/shapely_hull.py' --input points.txt
"""
import os
import sys
import time

import numpy as np
from shapely.geometry import MultiPoint


def corners_of(points):
    """The hull's corners as shapely gives them: a Polygon's shell without its closing point, a
    LineString's two ends, a Point, or none."""
    hull = MultiPoint(points).convex_hull
    if hull.is_empty:
        return []
    if hull.geom_type == "Polygon":
        return list(hull.exterior.coords)[:-1]
    return list(hull.coords)


def number(value):
    """A coordinate as the lab reads it back exactly: a whole number as one, any other double in
    Python's shortest decimal that reads back to the same double (repr)."""
    value = float(value)
    return str(int(value)) if value.is_integer() and abs(value) < 2.0**53 else repr(value)


def main():
    rounds = int(os.environ.get("HULL_LAB_ROUNDS", "1"))
    points = []
    if os.path.getsize(sys.argv[1]) > 0:
        points = [tuple(p) for p in np.loadtxt(sys.argv[1], delimiter=";", dtype=np.float64, ndmin=2)]
    corners = []
    for _ in range(rounds):
        start = time.perf_counter()
        corners = corners_of(points)
        print(f"time: {time.perf_counter() - start:.9f}", file=sys.stderr)
    sys.stdout.write("".join(f"{number(x)};{number(y)}\n" for x, y in corners))


if __name__ == "__main__":
    main()
