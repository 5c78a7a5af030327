"""The lab's rooms depend one way: no file includes a header of a room above its own.

Rooms, lowest first: coords/ (number types, exact predicates, real numbers as text), lab.h and
lab.cpp (what every room shares), inputs/, the entries (own/,
peers/, user/ and their catalogue algorithms.cpp, side by side), run/ (the engine), hunt/ (the
search for failing inputs), results/,
out/ (the writers), history/ (the runs kept across commits and machines), app/ (the command line, the context, main). Headers from outside lab/ (the
program's, the reference hull, the plugin interface, generated ones) may be included anywhere.

Usage: rooms_test.py SOURCE_DIR. Prints each include that goes up as FILE:LINE: HEADER; exit 1."""

import os
import re
import sys

ORDER = {"coords": -1, "base": 0, "inputs": 1, "entries": 2, "run": 3, "hunt": 4, "results": 5, "out": 6, "history": 7,
         "app": 8}
ENTRIES = {"own", "peers", "user"}


def room(path):
    """The room of a path inside lab/ ("run/pass.h"), or None for a header from elsewhere."""
    first = path.split("/")[0]
    if path in ("lab.h", "lab.cpp"):
        return "base"
    if path == "algorithms.cpp" or first in ENTRIES:
        return "entries"
    return first if first in ORDER else None


def main():
    lab = os.path.join(sys.argv[1], "lab")
    ups, files = [], 0
    for folder, _, names in os.walk(lab):
        for name in sorted(names):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.relpath(os.path.join(folder, name), lab)
            mine = room(path)
            if mine is None:
                ups.append(f"lab/{path}: a file in no room (add its folder to the rooms)")
                continue
            files += 1
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                for number, line in enumerate(f, 1):
                    match = re.match(r'#include "([^"]+)"', line)
                    if not match:
                        continue
                    header = os.path.normpath(os.path.join(os.path.dirname(path), match.group(1)))
                    if not os.path.exists(os.path.join(lab, header)):
                        header = match.group(1)  # "run/cell.h", as the include path finds it
                    theirs = room(header) if os.path.exists(os.path.join(lab, header)) else None
                    if theirs is not None and ORDER[theirs] > ORDER[mine]:
                        ups.append(f"lab/{path}:{number}: {match.group(1)} ({mine} includes {theirs}, a room above it)")
    for up in ups:
        print(up)
    print(f"{files} files of the lab's rooms, {len(ups)} includes that go up")
    return 1 if ups or files == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
