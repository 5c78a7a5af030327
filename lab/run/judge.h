// The judge (run/judge.cpp): before any cell, every entry of the user's on a fixed set of hard
// inputs, each in a process of its own, checked exactly.
#pragma once

#include <string>
#include <vector>

#include "lab.h"
#include "user/user.h"

namespace lab {

// The hard inputs every user entry is judged on before any cell: no points, one point, copies,
// lines, edge points, the extremes of the exact range, a small sliver and lattice.
struct HardInput {
    std::string name;  // "one-line-shuffled", a file name too
    std::string what;  // "points on one line, shuffled"
    std::vector<Point> points;
};
const std::vector<HardInput>& hardInputs();

// One hard input's verdict on an entry.
struct Verdict {
    const HardInput* input;
    Status status;     // Ok, Wrong, Refused, Crashed, Stopped
    std::string note;  // what was wrong
    std::string file;  // where the input was written, for a failure
    std::string timing;  // a program's: self-timed or timed as a whole process
};

// Runs the entry on every hard input, each in a process of its own stopped after `deadline` s;
// after a hang, the inputs left are not tried. Each failure's input is written into
// `failuresDir` (made when first needed). O(hard inputs) processes.
std::vector<Verdict> judge(const UserEntry& entry, double deadline, const std::string& filesDir,
                           const std::string& failuresDir, const volatile int* interrupted);

// The one line of an entry's verdicts: "graham: right on 14 of 14 hard inputs", or the count and
// the first failure; then a line for each other failure.
std::string verdictLines(const UserEntry& entry, const std::vector<Verdict>& verdicts);

// The verdict on one input, as the report's lines of a judge's process: "ok", or "wrong NOTE" (with
// `withAnswer`, after an "answer" line with the entry's hull where it has at most kAnswerMost
// points), or "refused NOTE"; a program's "timing" line first. Throws EntryCrashed where the entry
// crashed in a way the process survives. O(the entry's call and the check).
constexpr std::size_t kAnswerMost = 4096;
// For Point, and RealPoint (the answer's coordinates in shortest decimals).
template <class P>
std::string verdictReport(const Algorithm& algorithm, const std::vector<P>& points, bool withAnswer);

// The hidden `--judge WORD INDEX FILES` mode: the entry on one hard input. Returns the exit status.
int judgeMain(int argc, char** argv);

}  // namespace lab
