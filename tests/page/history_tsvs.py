"""history_tsvs.py RUN.tsv: four runs made from one (a run with times and counts), as four commits
of a history: the third built by another compiler, `incremental` executing 10% more instructions
from the third on, `qhull-array` WRONG at the fourth; each labelled night-1 to night-4. Writes h1.tsv
to h4.tsv beside it."""

import os
import sys

source = sys.argv[1]
with open(source, encoding="utf-8") as f:
    lines = f.read().splitlines()
header = next(line for line in lines if not line.startswith("#")).split("\t")
for k, commit in enumerate(["a" * 12, "b" * 12, "c" * 12, "d" * 12]):
    out = []
    for line in lines:
        if line.startswith("# version: "):
            line = "# version: " + commit + "\n# label: night-%d" % (k + 1)
        elif line.startswith("# compiler: ") and k >= 2:
            line = "# compiler: Clang 14.0.6"
        elif not line.startswith("#") and line.split("\t")[0] != "shape":
            fields = line.split("\t")
            if fields[header.index("algorithm")] == "incremental" and k >= 2:
                column = header.index("instructions")
                fields[column] = "%.1f" % (float(fields[column]) * 1.1)
            if fields[header.index("algorithm")] == "qhull-array" and k == 3:
                fields[header.index("status")] = "WRONG"
                fields[header.index("note")] = "the point (5;5) lies on the hull edge from (0;0) to (9;9)"
            line = "\t".join(fields)
        out.append(line)
    with open(os.path.join(os.path.dirname(source) or ".", f"h{k + 1}.tsv"), "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")
