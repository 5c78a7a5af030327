// Highway's vqsort behind a library of its own, libhull-lab-vqsort.so, which the fastest hull loads
// at its first sort by vqsort. A process that never sorts by vqsort never loads Highway, whose
// start-up (a timer's calibration) runs a varying count of instructions and leaves the heap a
// little different in each process: the counts of every entry would no longer repeat.

#include <cstddef>
#include <cstdint>

#include <hwy/contrib/sort/vqsort.h>

// Sorts keys[0, n) ascending in place: vqsort in the widest vectors this processor has, a sorter
// made for the call (one small allocation; x86's fixed-width vectors sort in a buffer on the
// stack). No thread_local in a library loaded at run time: LeakSanitizer's check at exit crashed
// on one. O(n log n).
extern "C" __attribute__((visibility("default"))) void hullLabVqsort(std::uint64_t* keys, std::size_t n) {
    const hwy::Sorter sorter;
    sorter(keys, n, hwy::SortAscending());
}
