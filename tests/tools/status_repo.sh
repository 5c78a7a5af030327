#!/bin/sh
# status_repo.sh DIR SOURCE_DIR: a plugin's repository whose hull turns WRONG and back. main: c0
# right; c1 adds an extra linear pass (costlier); c2 docs; c3 keeps points in the middle of the lower
# edge (WRONG on lattice, right on square's random points); c4, c5 docs; c6 fixes it; c7 docs. Branch
# bug (from c7) brings the fault back; branch faster (from c7) drops the extra pass. A Makefile
# builds libhull.so.
set -e
dir=$1; src=$2
rm -rf "$dir"; mkdir -p "$dir"; cd "$dir"
git init -q -b main .
git config user.email t@example.com; git config user.name test
cp "$src/include/hull_lab_plugin.h" "$src/examples/monotone_chain.h" .
printf 'libhull.so: hull.cpp monotone_chain.h\n\tc++ -O2 -shared -fPIC -I. hull.cpp -o libhull.so\n' > Makefile
write() {  # $1: extra pass (1/0), $2: WRONG (1/0)
  {
    echo '#include "hull_lab_plugin.h"'
    echo '#include "monotone_chain.h"'
    echo 'namespace { struct XY { int64_t x, y; }; }'
    echo 'extern "C" int64_t hull_lab_hull(int64_t* xy, size_t n, int64_t* out) {'
    if [ "$1" = 1 ]; then
      echo '    volatile int64_t sum = 0;'
      echo '    for (size_t i = 0; i < 2 * n; ++i) sum = sum + xy[i];  // an extra linear pass'
    fi
    echo '    return int64_t(monotoneChain(reinterpret_cast<XY*>(xy), n, reinterpret_cast<XY*>(out)));'
    echo '}'
  } > hull.cpp
  cp "$src/examples/monotone_chain.h" .
  # The fault: the lower chain keeps a point where three are collinear.
  if [ "$2" = 1 ]; then sed -i 's/cross(out\[k - 2\], out\[k - 1\], p\[i\]) <= 0/cross(out[k - 2], out[k - 1], p[i]) < 0/' monotone_chain.h; fi
  if [ "$2" = 1 ] && ! grep -q 'p\[i\]) < 0' monotone_chain.h; then echo "status_repo.sh: the fault was not written" >&2; exit 1; fi
}
commit() { git add -A; git commit -q -m "$1"; }
write 0 0; commit c0
write 1 0; commit c1
echo "docs" >> NOTES; commit c2
write 1 1; commit c3
echo "docs" >> NOTES; commit c4
echo "docs" >> NOTES; commit c5
write 1 0; commit c6
echo "docs" >> NOTES; commit c7
git checkout -q -b bug; write 1 1; commit "bug: the fault again"
git checkout -q main; git checkout -q -b faster; write 0 0; commit "faster: no extra pass"
git checkout -q main
