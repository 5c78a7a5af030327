// The example plugin's monotone chain (examples/chain.cpp) built into the lab as an entry of its
// own, `chain-builtin`, so that one run can time the same code as a plugin and built in: what a
// plugin costs beyond its code. Only in a build configured with -DHULL_LAB_CHAIN_BUILTIN=ON.

#include "lab.h"
#include "monotone_chain.h"

namespace lab {

namespace {

// As the lab's array entries: a copy of the points per call (the by-value argument), sorted in
// place; the hull written into a buffer kept from call to call, as the plugin's `out` is.
std::vector<Point> chainBuiltin(std::vector<Point> points) {
    static std::vector<Point> out;
    if (out.size() < points.size()) out.resize(points.size());
    const std::size_t h = monotoneChain(points.data(), points.size(), out.data());
    return std::vector<Point>(out.begin(), out.begin() + std::ptrdiff_t(h));
}

}  // namespace

void addChainBuiltin(std::vector<Algorithm>& list) {
    Algorithm a{"chain-builtin", "monotone chain", Origin::Lab, {false, true, false}, false, nullptr,
                "examples/chain.cpp's monotone chain built in: beside --plugin libchain.so, the cost of a plugin"};
    a.prepare = [](const std::vector<Point>& points) -> std::unique_ptr<Runner> {
        class Chain : public Runner {
          public:
            explicit Chain(const std::vector<Point>& points) : points_(points) {}
            void call() override { chainBuiltin(points_); }
            std::vector<reference::Pt> hull() override {
                std::vector<reference::Pt> result;
                for (const Point& p : chainBuiltin(points_)) result.push_back({p.x, p.y});
                return result;
            }

          private:
            std::vector<Point> points_;
        };
        return std::make_unique<Chain>(points);
    };
    list.push_back(std::move(a));
}

}  // namespace lab
