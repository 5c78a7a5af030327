// Counts that no noisy machine moves (run/counts.cpp): a cell's calls run under Valgrind's
// Callgrind, which executes them on a simulated processor and counts instructions, cache misses and
// mispredicted branches of the calls alone.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "lab.h"

namespace lab {

// The caches Callgrind simulates: the machine's first-level instruction and data caches and its
// last level, as Linux describes them (/sys/devices/system/cpu/cpu0/cache), each as Valgrind's
// "size,associativity,line" ("32768,8,64"). A level whose number of sets is not a power of two
// (which Valgrind cannot simulate) keeps its line and associativity with the largest power of two
// of sets below; `said` names the three as people read them. Empty where Linux does not say.
struct CacheModel {
    std::string i1, d1, ll;
    std::string said;  // "I1 32 KiB 8-way, D1 32 KiB 8-way, LL (L3) 32 MiB 16-way, 64-byte lines"
};
CacheModel machineCaches();

// The caches counted by default, whatever the machine, so that counts compare across machines: an
// AMD Zen 4 core's first levels (I1 and D1 32 KiB 8-way) and its L3 as the last level (32 MiB
// 16-way), 64-byte lines. `host`: this machine's (machineCaches), Valgrind's own choice where
// Linux does not say them.
CacheModel countingCaches(bool host);

// The path of valgrind on PATH, or "" where it is not installed.
std::string valgrindPath();

// What `valgrind --version` prints ("valgrind-3.19.0"), or "valgrind" where it says nothing.
std::string valgrindVersion(const std::string& valgrind);

// Valgrind's words that count a cell: Callgrind with the cache and branch simulation on, the
// caches of `model`, its output to `out` ("%p" in it: the process id), its messages to `log`.
// `wholeTree`: every process counted from its start (a program, its children too); else nothing is
// counted until the process switches counting on around its calls.
std::vector<std::string> countingWords(const std::string& valgrind, const CacheModel& model, const std::string& out,
                                       const std::string& log, bool wholeTree);

// Callgrind's totals in the output file at `path`, by event ("Ir", "D1mr", "Bcm", ...); false where
// the file has no "events:" line or no "totals:" (or "summary:") line. O(file).
bool readCallgrindTotals(const std::string& path, std::map<std::string, double>& totals);

// The five counts of `calls` calls from Callgrind's totals (summed over a process tree), per call:
// instructions (Ir), l1_misses (D1mr + D1mw), ll_misses (ILmr + DLmr + DLmw), branch_misses
// (Bcm + Bim), est_cycles = L1 hits + 5 x LL hits + 35 x RAM accesses, where every instruction
// fetch and data access is an access, an L1 hit one that does not miss I1 or D1, a RAM access one
// that misses the last level. That is the estimate of iai and iai-callgrind, which CI benchmarks
// report; it leaves the mispredictions out (they stand beside it).
Counts countsOf(const std::map<std::string, double>& totals, long calls);

// What est_cycles is, in one line for the output and the TSV's context.
extern const char* const kEstCyclesFormula;

// The largest relative difference between two countings of the same cell, over the five counts
// (0 where they are equal). O(1).
double countDifference(const Counts& a, const Counts& b);

// The verdict on a count's ratio new / old: slower or faster where it moved by at least `minChange`
// and by more than `noise` (the counts' own measured spread), else the same.
Change countVerdict(double ratio, double minChange, double noise);

// Spearman's rank correlation of two equally long lists (ties ranked by their mean rank); 0 for
// fewer than two values. O(n log n).
double rankCorrelation(const std::vector<double>& x, const std::vector<double>& y);

}  // namespace lab
