// An example plugin in C++: Andrew's monotone chain (monotone_chain.h) on the lab's int64 points,
// sorted in place in the lab's copy, the hull written straight into `out`.
//   c++ -O2 -shared -fPIC -Iinclude -o libchain.so examples/chain.cpp
//   hull-lab --plugin ./libchain.so

#include "hull_lab_plugin.h"
#include "monotone_chain.h"

namespace {
struct XY {  // the layout of the lab's x0, y0, x1, y1, ... pairs
    int64_t x, y;
};
}  // namespace

extern "C" int64_t hull_lab_hull(int64_t* xy, size_t n, int64_t* out) {
    return int64_t(monotoneChain(reinterpret_cast<XY*>(xy), n, reinterpret_cast<XY*>(out)));
}
