// Highway's vqsort behind a library of its own, libhull-lab-vqsort.so, which the fastest hull loads
// at its first sort by vqsort. A process that never sorts by vqsort never loads Highway.
//
// The sort is vqsort's own (Highway's vqsort-inl.h, compiled here for each x86 target, the widest
// the processor runs chosen at the first call) with one change: its pivots are drawn from a generator
// seeded with a constant, where Highway's library seeds it for every sort from a timer read
// (RDTSCP, which Valgrind cannot run on some processors) and the keys' address. The same keys are
// then sorted by the same instructions in every process, so the fastest hull counts exactly. The
// random pivots guard against inputs crafted to make a quicksort quadratic; vqsort still bounds
// its depth and sorts what is left there by heapsort, so a fixed seed costs at most O(n log n).

#include <cstddef>
#include <cstdint>

#include <algorithm>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "own/vqsort_library.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>
// (after highway.h, as Highway's per-target headers want)
#include <hwy/contrib/sort/traits-inl.h>
#include <hwy/contrib/sort/traits128-inl.h>
#include <hwy/contrib/sort/vqsort-inl.h>

HWY_BEFORE_NAMESPACE();
namespace hull_lab_vqsort {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// vqsort's Sort for ascending 64-bit keys, its generator seeded with a constant. O(n log n).
void SortAscending(std::uint64_t* HWY_RESTRICT keys, std::size_t n) {
#if VQSORT_ENABLED
    const hn::SortTag<std::uint64_t> d;
    const hn::detail::SharedTraits<hn::detail::TraitsLane<hn::detail::OrderAscending<std::uint64_t>>> st;
    // x86's vectors are of fixed width: the sort's buffer fits on the stack, as in Highway's Sort.
    HWY_ALIGN std::uint64_t buf[hwy::SortConstants::BufNum<std::uint64_t>(HWY_LANES(std::uint64_t))] = {};
    if (n < 2 || hn::detail::HandleSpecialCases(d, st, keys, n)) return;
    hn::detail::Generator rng(std::uint64_t{0x9E3779B97F4A7C15});
    const std::size_t levels = 2 * hwy::CeilLog2(n) + 4;  // then heapsort, as Highway's Sort
    hn::detail::Recurse(d, st, keys, keys + n, n, buf, rng, levels);
#else  // a processor without vectors that vqsort takes
    std::sort(keys, keys + n);
#endif
}

// The same for 128-bit keys, each two 64-bit lanes, the second the more significant (Highway's
// uint128_t): keys[0, 2 n). O(n log n).
void SortAscending128(std::uint64_t* HWY_RESTRICT keys, std::size_t n) {
#if VQSORT_ENABLED
    const hn::SortTag<std::uint64_t> d;
    const hn::detail::SharedTraits<hn::detail::Traits128<hn::detail::OrderAscending128>> st;
    HWY_ALIGN std::uint64_t buf[hwy::SortConstants::BufNum<std::uint64_t>(HWY_LANES(std::uint64_t))] = {};
    if (n < 2 || hn::detail::HandleSpecialCases(d, st, keys, 2 * n)) return;
    hn::detail::Generator rng(std::uint64_t{0x9E3779B97F4A7C15});
    const std::size_t levels = 2 * hwy::CeilLog2(n) + 4;
    hn::detail::Recurse(d, st, keys, keys + 2 * n, 2 * n, buf, rng, levels);
#else
    struct Key {
        std::uint64_t low, high;
    };
    Key* k = reinterpret_cast<Key*>(keys);
    std::sort(k, k + n, [](const Key& a, const Key& b) { return a.high != b.high ? a.high < b.high : a.low < b.low; });
#endif
}

}  // namespace HWY_NAMESPACE
}  // namespace hull_lab_vqsort
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
// The widest of the targets compiled above that this processor runs, chosen once by the processor's
// own word (cpuid), not by Highway's library: loading that runs a timer's calibration, with RDTSCP.
using SortFunction = void (*)(std::uint64_t*, std::size_t);
struct Sorts {
    SortFunction keys64, keys128;
};
#define HULL_LAB_SORTS(target) Sorts{hull_lab_vqsort::target::SortAscending, hull_lab_vqsort::target::SortAscending128}
static Sorts chosenSorts() {
    __builtin_cpu_init();
#if HWY_TARGETS & HWY_AVX3
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512bw"))
        return HULL_LAB_SORTS(N_AVX3);
#endif
#if HWY_TARGETS & HWY_AVX2
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
        __builtin_cpu_supports("fma"))
        return HULL_LAB_SORTS(N_AVX2);
#endif
#if HWY_TARGETS & HWY_SSE4
    if (__builtin_cpu_supports("sse4.2") && __builtin_cpu_supports("popcnt")) return HULL_LAB_SORTS(N_SSE4);
#endif
#if HWY_TARGETS & HWY_SSSE3
    if (__builtin_cpu_supports("ssse3")) return HULL_LAB_SORTS(N_SSSE3);
#endif
    return Sorts{[](std::uint64_t* keys, std::size_t n) { std::sort(keys, keys + n); },
                 [](std::uint64_t* keys, std::size_t n) {
                     struct Key {
                         std::uint64_t low, high;
                     };
                     Key* k = reinterpret_cast<Key*>(keys);
                     std::sort(k, k + n, [](const Key& a, const Key& b) { return a.high != b.high ? a.high < b.high : a.low < b.low; });
                 }};
}

// Sorts keys[0, n) ascending in place: vqsort in the widest vectors this processor has (AVX-512,
// AVX2, SSE4), its pivots from a fixed seed. No allocation, and no thread_local (LeakSanitizer's
// check at exit crashed on one in a library loaded at run time). O(n log n).
extern "C" __attribute__((visibility("default"))) void hullLabVqsort(std::uint64_t* keys, std::size_t n) {
    static const SortFunction sort = chosenSorts().keys64;
    sort(keys, n);
}

// The same for n 128-bit keys in keys[0, 2 n), each its low lane first. O(n log n).
extern "C" __attribute__((visibility("default"))) void hullLabVqsort128(std::uint64_t* keys, std::size_t n) {
    static const SortFunction sort = chosenSorts().keys128;
    sort(keys, n);
}
#endif
