#!/bin/sh
# What a plugin author does on an installed hull-lab: install it into a fresh prefix, build the
# example Graham scan against the installed files twice, with CMake's find_package(HullLab) and with
# pkg-config, and run each plugin with the installed hull-lab.
#   install_test.sh BUILD_DIR SOURCE_DIR WORK_DIR
set -eu
build=$1 source=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
# The README's order: hull-lab built alone (as make lab builds it), then the install.
rm -f "$build/hullcheck"
cmake --build "$build" --target hull-lab > "$work/build.log"
cmake --install "$build" --prefix "$prefix" > "$work/install.log"
for f in bin/hull-lab bin/hullcheck include/hull_lab_plugin.h share/cmake/HullLab/HullLabConfig.cmake \
         share/pkgconfig/hull-lab.pc; do
  [ -f "$prefix/$f" ] || { echo "install_test: $f was not installed" >&2; exit 1; }
done

# A plugin's own project, outside the source tree: its CMakeLists.txt as the guide shows it.
mkdir -p "$work/plugin"
cp "$source/examples/graham.c" "$work/plugin/"
cat > "$work/plugin/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.16)
project(my_hull C)
find_package(HullLab REQUIRED)
add_library(graham SHARED graham.c)
target_link_libraries(graham PRIVATE HullLab::plugin)
CMAKE
cmake -S "$work/plugin" -B "$work/plugin/build" -DCMAKE_PREFIX_PATH="$prefix" > "$work/plugin.log"
cmake --build "$work/plugin/build" >> "$work/plugin.log"

# The same by hand with pkg-config.
cflags=$(PKG_CONFIG_PATH="$prefix/share/pkgconfig" pkg-config --cflags hull-lab)
dir=$(echo $cflags | sed 's/^-I//')
[ "$(cd "$dir" 2>/dev/null && pwd -P)" = "$(cd "$prefix/include" && pwd -P)" ] ||
  { echo "install_test: pkg-config --cflags hull-lab gave '$cflags', not the folder $prefix/include" >&2; exit 1; }
cc -O2 -shared -fPIC $cflags -o "$work/libgraham-pc.so" "$source/examples/graham.c"

# Both plugins judged and timed by the installed hull-lab: every hull right, exit 0.
for plugin in "$work/plugin/build/libgraham.so" "$work/libgraham-pc.so"; do
  (cd "$work" && "$prefix/bin/hull-lab" --plugin "$plugin" --algorithms copy --shapes square,disc --sizes 1000 \
     --runs 1 --min-seconds 0.01) > "$work/run.txt" 2>&1 ||
    { echo "install_test: the installed hull-lab failed on $plugin:" >&2; cat "$work/run.txt" >&2; exit 1; }
  grep -q "right on 14 of 14 hard inputs" "$work/run.txt" ||
    { echo "install_test: no judge line for $plugin:" >&2; cat "$work/run.txt" >&2; exit 1; }
done
echo "install_test: installed into $prefix; the example plugin built with find_package(HullLab) and pkg-config, both run"
