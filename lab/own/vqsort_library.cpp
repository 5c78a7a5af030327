// Highway's vqsort behind a library of its own, libhull-lab-vqsort.so, which the fastest hull loads
// at its first sort by vqsort. A process that never sorts by vqsort never loads Highway, whose
// start-up (a timer's calibration) runs a varying count of instructions and leaves the heap a
// little different in each process: the counts of every entry would no longer repeat.

#include <cstddef>
#include <cstdint>

#include <hwy/contrib/sort/vqsort.h>

// Sorts keys[0, n) ascending in place: vqsort in the widest vectors this processor has, a sorter
// (a buffer of a few kilobytes) per thread, made at its first call. O(n log n).
extern "C" __attribute__((visibility("default"))) void hullLabVqsort(std::uint64_t* keys, std::size_t n) {
    static thread_local const hwy::Sorter sorter;
    sorter(keys, n, hwy::SortAscending());
}
