// How the lab talks to its own processes (run/protocol.cpp), each side defined once: the words that
// give a cell's process its plan, and the lines a cell's or a judge's process reports.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "run/cell.h"

namespace lab {

// A word or a line of the protocol that cannot be read: its message names it.
struct ProtocolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The command line of a cell's process: "hull-lab --cell SHAPE N ALGORITHM SEED RUNS MIN_SECONDS
// SETS", then a word for each other field of the plan that is not at its default ("no-check",
// "scale=K", "entry=WORD", ...). One table gives each field's word, how it is written and how it is
// read. The plan's deadline and program are the parent's alone. O(words).
std::vector<std::string> planWords(const CellPlan& plan);

// The plan of a cell's words after "--cell" (as planWords writes them). Throws ProtocolError naming
// a word it does not know or a value it cannot read, and when a fixed word is missing. O(words).
CellPlan planOfWords(const std::vector<std::string>& words);

// What a process of the lab reports, a line each: "KEY VALUE" (VALUE on one line).
enum class ReportKey {
    Set,           // set N: the check is on set N (a crash while checking came on it)
    H,             // h H: the first set's hull has H corners; the check is done
    SetsChecked,   // a check alone: the sets it checked
    CallSeconds,   // a check alone: the seconds of one of its calls
    FailedSet,     // the first set found wrong or refused
    Wrong,         // why the hull was wrong
    Refused,       // the library's message
    StartBytes,    // resident before the cell began
    CountedCalls,  // a counting process: the calls counted
    Time,          // the runs' seconds per call, space-separated
    Crashed,       // how a user's entry crashed
    Overran,       // which buffer a plugin ran past
    Error,         // what went wrong in the lab's own process
    Ok,            // the judge: the hull was right
    Timing,        // the judge: how a program's figures are timed
    Try,           // the hunt: input K is being tried (the inputs before it passed)
    Answer,        // the hunt: the entry's hull of a failing input, "x;y" points space-separated
    Failure,       // how the hull or the entry failed, as values (failureWords)
};

// A report's line for `key`, its newline included; newlines in `value` become spaces. O(length).
std::string reportLine(ReportKey key, const std::string& value = "");

// A failure's values as a report's "failure" line carries them: "fault=outside", "signal=6",
// "exit=3", "overrun=wrote", "point=X;Y", space-separated, those that are not zero; and back. failureOfWords
// throws ProtocolError naming a word it does not know. O(words).
std::string failureWords(const Failure& failure);
Failure failureOfWords(const std::string& words);

// Everything a process reported. Lines of no known key are passed over (a library or a program of
// the user's may print on the process's output); a known key with a value that cannot be read
// throws ProtocolError naming the key and the line. O(length).
struct ProcessReport {
    int lastSet = -1;          // the last set named by "set"
    long long h = -1;          // -1: the check did not end
    int setsChecked = 0;
    double callSeconds = 0;
    int failedSet = -1;
    std::string wrong, refused, crashed, overran, error, timing;
    bool ok = false;           // the judge's "ok"
    double startBytes = 0;
    long countedCalls = 0;
    bool timed = false;        // a "time" line came, with the runs in `times`
    std::vector<double> times;
    long long lastTry = -1;    // the hunt's last "try": the input a crash or a hang came on
    bool answered = false;     // an "answer" line came, with the entry's hull in `answer`
    std::vector<reference::Pt> answer;  // empty where a point of it is not whole: read `answerText`
    std::string answerText;    // the answer's points as written, "x;y" space-separated
    Failure failure;           // how the hull or the entry failed, as values
};
ProcessReport parseReport(const std::string& text);

// How a process of the lab reports the exception that ends it: a user's entry that crashed in a
// way the process survives (EntryCrashed: a "crashed" line and its "failure" line, kEntryCrashed) or
// a fault of the lab's own (an "error" line, kFailed). endReport gives the lines; reportEnd prints
// them and returns the exit status.
std::string endReport(const std::exception& e);
int reportEnd(const std::exception& e);

}  // namespace lab
