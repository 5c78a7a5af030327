// A cell's processes (run/runner.cpp): the parent's side, which runs a cell or a judge's call in a
// child process and reads its report, and the child's, `cellMain`.
#pragma once

#include <string>
#include <vector>

#include "lab.h"
#include "run/cell.h"
#include "run/counts.h"

namespace lab {

// How a process of the lab (a cell, a judge's call) ended: what it printed, and how it exited.
struct ProcessEnd {
    std::string report;  // its standard output
    int status = 0;      // as waitpid gives it
    bool stopped = false;  // killed at the deadline
    double seconds = 0;    // wall time
    double cpuSeconds = 0;  // processor time, user and system (its children that it waited for included)
    double peakBytes = 0;  // resident at its largest
    double otherCores = 0;  // the cores other work kept busy meanwhile, on average: the machine's busy
                            // time (/proc/stat) less the process's own, over its wall time
};

// A timed run during which other work kept this much of a core busy or more: an entry timed by the
// wall clock on two threads waits for a core another process holds (copy-2t at 76,000 points: 0.04
// ms a call on a quiet machine, 0.2 to 0.9 ms beside one busy loop).
constexpr double kBusyCores = 0.25;

// The seconds all processors have been busy since boot (/proc/stat's first line: every state but
// idle and iowait), or -1 where it cannot be read. O(1).
double busySeconds();

// Runs `hull-lab WORDS...` as a fresh process in a process group of its own, reads what it prints,
// and kills the group (programs it started included) at `deadline` wall seconds or when
// `*interrupted` is set.
// `program`: another hull-lab (a baseline build) instead of this one. `launcher`: words that run the
// lab as their program (Valgrind's). `fixedAddresses`: the address space's randomisation off and
// an environment of PATH, HOME, LANG, LC_ALL and TMPDIR alone, so that the heap and the stack lie
// where they lay in the last such process.
ProcessEnd runLabProcess(std::vector<std::string> words, double deadline, const volatile int* interrupted,
                         const std::string& program = "", const std::vector<std::string>& launcher = {},
                         bool fixedAddresses = false);

// The status and note of a process that did not end well (a signal, a deadline, an exit status
// of the lab's own), or Ok when it exited with 0 and said nothing of that kind; in `failure`, where
// given, how as values: the report's "failure" line (the check's fault, how the user's entry crashed)
// with the signal or the exit status that ended the process.
Status endStatus(const ProcessEnd& end, std::string& note, Failure* failure = nullptr);

// Runs one cell as a fresh process of this program (`hull-lab --cell ...`) and waits for it, at
// most until the plan's deadline, or until `*interrupted` is set by a signal (then the child is
// killed and the outcome does not count).
Outcome runChild(const CellPlan& plan, const volatile int* interrupted);

// Where and how a run counts its cells.
struct CountSetup {
    std::string valgrind;  // its path, or "" where it is not installed
    CacheModel caches;     // what Callgrind simulates
    std::string dir;       // where Callgrind's output is written, read back and removed
    // The two builds as the counted processes run them: names of one length in `dir` (linked to
    // this process's file and the baseline's), so that the two builds' processes start with the
    // same bytes of arguments and environment; a longer path shifted the heap and moved the
    // copy's counts by 0.02%.
    std::string self, baseline;
};

// The setup of a run's counts: Valgrind found on PATH, the caches it simulates, the two builds
// linked into `dir` (`baseline`: its path, or "").
CountSetup countSetup(const std::string& dir, const std::string& baseline, const CacheModel& caches);

// Counts one cell (the plan's shape, size, entry, sets and build) under Callgrind, in a process of
// its own with fixed addresses, at most until the plan's deadline: an entry's calls alone, a
// program's processes whole (start-up included). `tag` names its files in the setup's folder (one
// per process counting at once). Counts::why says why there are none (Valgrind missing, a process
// that Valgrind could not run, with its message). Sets `seconds` to the process's processor time,
// which, unlike its wall time, another process on the machine does not stretch.
Counts runCounted(CellPlan plan, const CountSetup& setup, const std::string& tag, const volatile int* interrupted,
                  double& seconds);

// The hidden `--cell` mode of hull-lab: runs the cell and reports to standard output. Returns the
// exit status.
int cellMain(int argc, char** argv);

}  // namespace lab
