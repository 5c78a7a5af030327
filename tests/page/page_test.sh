#!/bin/sh
# The lab's page in a real browser: a small run of hull-lab (one plugin that returns WRONG hulls),
# a comparison of two builds (one entry three times slower), the same run's TSV cut to the oldest columns, a made-up large
# run, a run with counts, a comparison by counts alone and a history of four commits made from the counted run,
# each made into a page by tools/lab-page and checked in headless Chromium by page_test.mjs.
# usage: page_test.sh HULL_LAB PLUGINS_DIR SOURCE_DIR WORK_DIR
set -eu
lab=$1 plugins=$2 source=$3 work=$4
for need in node "${CHROMIUM:-/usr/bin/chromium}" "$source/tools/page/node_modules/playwright-core"; do
  command -v "$need" >/dev/null || [ -e "$need" ] || { echo "missing $need: make page-libraries and the chromium package (make test installs both)"; exit 1; }
done
rm -rf "$work" && mkdir -p "$work" && cd "$work"
small="--shapes square,circle --sizes 1000,4000 --algorithms incremental,qhull-array,cgal-quickhull,cgal-eddy-quickhull,chan,copy --runs 3 --min-seconds 0.02"
# A plugin that misses a corner: hull-lab exits 1 after timing its cells as WRONG.
status=0
"$lab" $small --plugin "$plugins/libmissing-corner.so" --failures failures --tsv run.tsv > run.txt || status=$?
[ "$status" -eq 1 ] || { echo "hull-lab with a WRONG plugin exited $status, expected 1"; cat run.txt; exit 1; }
# Two builds of one plugin, the new one three times slower: its cells are called slower.
"$lab" --plugin "$plugins/libthree-times-slower.so" --baseline "$lab" --baseline-plugin "$plugins/libright-clockwise.so" \
  --shapes square --sizes 1000,4000 --algorithms incremental,copy --runs 4 --min-seconds 0.02 --tsv baseline.tsv > baseline.txt
# Counts beside times, and two builds compared by their counts alone (Valgrind).
"$lab" --measure times,counts --shapes square --sizes 1000,4000 --algorithms incremental,qhull-array,copy --runs 2 \
  --min-seconds 0.02 --tsv counts.tsv > counts.txt
"$lab" --measure counts --plugin "$plugins/libthree-times-slower.so" --baseline "$lab" \
  --baseline-plugin "$plugins/libright-clockwise.so" --shapes square --sizes 1000,4000 --algorithms copy \
  --tsv counted-baseline.tsv > counted-baseline.txt
cut -f1-9 run.tsv > old.tsv
python3 "$source/tests/page/large_tsv.py" > large.tsv
for name in run baseline old large counts counted-baseline; do "$source/tools/lab-page" "$name.tsv" -o "$name.html"; done
# A history of four commits made from the counted run: a compiler change and a step in counts.
python3 "$source/tests/page/history_tsvs.py" counts.tsv
for k in 1 2 3 4; do "$lab" history add "h$k.tsv" --history history.sqlite > /dev/null; done
"$lab" history show --history history.sqlite --json history.json > history.txt
"$source/tools/lab-page" --history history.json -o history.html
exec node "$source/tests/page/page_test.mjs" "$source" "$work"
