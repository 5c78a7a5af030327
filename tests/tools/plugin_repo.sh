#!/bin/sh
# plugin_repo.sh DIR SOURCE_DIR: a plugin's repository of 20 commits: an extra linear pass added at
# the 7th (c6) and removed at the 14th (c13); the 11th (c10) does not build.
set -e
dir=$1; src=$2
rm -rf "$dir"; mkdir -p "$dir"; cd "$dir"
git init -q -b main .
git config user.email t@example.com; git config user.name test
cp "$src/include/hull_lab_plugin.h" "$src/examples/monotone_chain.h" .
write() {  # $1: extra pass (1/0), $2: broken (1/0)
  {
    echo '#include "hull_lab_plugin.h"'
    echo '#include "monotone_chain.h"'
    echo 'namespace { struct XY { int64_t x, y; }; }'
    echo 'extern "C" int64_t hull_lab_hull(int64_t* xy, size_t n, int64_t* out) {'
    if [ "$1" = 1 ]; then
      echo '    volatile int64_t sum = 0;'
      echo '    for (size_t i = 0; i < 2 * n; ++i) sum = sum + xy[i];  // an extra linear pass'
    fi
    if [ "$2" = 1 ]; then echo '    this does not compile'; fi
    echo '    return int64_t(monotoneChain(reinterpret_cast<XY*>(xy), n, reinterpret_cast<XY*>(out)));'
    echo '}'
  } > hull.cpp
}
for i in $(seq 0 19); do
  extra=0; broken=0
  if [ $i -ge 6 ] && [ $i -lt 13 ]; then extra=1; fi
  if [ $i = 10 ]; then broken=1; fi
  write $extra $broken
  echo "commit $i" >> NOTES
  git add -A; git commit -q -m "c$i"
done
