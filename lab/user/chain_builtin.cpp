// The example plugin's monotone chain (examples/chain.cpp) built into the lab as an entry of its
// own, `chain-builtin`, so that one run can time the same code as a plugin and built in: what a
// plugin costs beyond its code. Only in a build configured with -DHULL_LAB_CHAIN_BUILTIN=ON.

#include "lab.h"
#include "peers/peers.h"
#include "monotone_chain.h"

namespace lab {

std::vector<Point> chainBuiltin(std::vector<Point> points) {
    static std::vector<Point> out;  // kept from call to call, as the plugin's `out` is
    if (out.size() < points.size()) out.resize(points.size());
    const std::size_t h = monotoneChain(points.data(), points.size(), out.data());
    return std::vector<Point>(out.begin(), out.begin() + std::ptrdiff_t(h));
}

}  // namespace lab
