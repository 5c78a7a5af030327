// hull-lab's own parts beside the cells: its command line (run/options.cpp) and the run's context
// (run/context.cpp).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "lab.h"
#include "inputs/inputs.h"
#include "user/user.h"

namespace lab {

// ---- The command line (run/options.cpp) ---------------------------------------------------------

struct Options {
    std::vector<std::string> shapes;
    std::vector<std::int64_t> sizes = {1000, 10000, 100000, 1000000};
    std::vector<std::string> algorithms;
    std::vector<std::string> inputs;  // point files, each a row group of its own
    std::int64_t scale = 0;           // --scale K for decimal coordinates; 0: none
    int runs = 3;
    double budget = 10;
    std::uint64_t seed = 1;
    int sets = 0;               // point sets per cell; 0: defaultSets(n)
    bool samePoints = false;    // one set; a point file in its own order
    int repeat = 0;             // rounds of the repeat report; 0: a plain run
    std::string relative;       // tables in multiples of this entry's figure in the same round, or ""
    bool heapDefaults = false;  // glibc's heap settings in every cell
    std::string tsv;
    std::string json, bmf, markdown;  // the exports: Google Benchmark's JSON, Bencher's metric format, markdown
    std::string pointsDir;
    double minSeconds = 0.2;
    bool help = false, version = false, list = false;
    std::vector<UserEntry> entries;  // the user's plugins' functions and programs, in the order given
    Columns columns;                 // --columns X,Y of the point files
    std::string failuresDir = "hull-lab-failures";  // where a user entry's failures are written
    bool strict = false;  // every WRONG, refused or crashed cell makes the status 1, not only the user's entries'

    double precision = 0;     // more rounds until a cell's interval is within this of its median; 0: --runs fixes them
    int maxRuns = 8;          // with a precision (or a baseline, 20 by default): the most runs of a cell
    bool moreRounds = false;  // with a baseline and no --runs: more rounds for the cells not yet decided
    std::string baseline;     // another hull-lab whose figures every cell's are compared with, or ""
    std::map<std::string, std::string> baselineEntries;  // a user entry's word for the baseline (--baseline-plugin)
    double minChange = 0.05;  // the least change a verdict calls slower or faster
    double countMinChange = 0.01;  // the same for the counts' verdicts: --min-change where given
    bool measureTimes = true;      // --measure: time the cells (the rounds)
    bool measureCounts = false;    // and/or count them under Valgrind
    double failSlower = 0;    // exit 1 when a cell is slower than the baseline by more than this; 0: never
    unsigned threads = 0;     // --threads: the -2t entries' threads; 0: the machine's cores, at most 2
};

// What an argument got wrong; nothing has been run or written.
struct BadArgument {
    std::string message;
    bool withUsage = true;  // point to --help after it (not for a plugin that cannot be loaded)
};

// The options of a command line, every value checked (the outputs too, without touching them).
// Throws BadArgument.
Options parseOptions(int argc, char** argv);

// Why `path` cannot be written as a file, or "": found without creating or emptying anything.
std::string cannotWriteFile(const std::string& path);

// The text of --help: the options in groups, one line each with its default (CLI11 formats it).
std::string usage();

// The text of --list: the shapes and this build's entries (the user's included), each with a line.
std::string listing();

// A count as people type it: "1000000", "1e6", "2.5e6"; false when it is not a whole number from
// 0 to 10^18. O(length).
bool parseCount(const std::string& text, std::uint64_t& value);

// ---- The run's context (run/context.cpp) --------------------------------------------------------

// What produced a run, as (name, value) pairs in the order printed: date, the lab's version,
// compiler and flags, build type, CPU, cores, caches, memory, load average, each library's
// version. Read once at the start. O(1).
std::vector<std::pair<std::string, std::string>> runContext();

// The warnings on that context: a build that is not optimised, and for a run that times (`timed`)
// a load average that shows other work running or a frequency that may change. Each a whole
// sentence. A run of counts alone is not moved by either.
std::vector<std::string> contextWarnings(bool timed = true);

// "hull-lab COMMIT (BUILD TYPE, COMPILER)": the line of --version.
std::string versionLine();

// Why `program` cannot serve as a baseline, or "": it must be a hull-lab that runs a cell when
// started as `PROGRAM --cell SHAPE N ALGORITHM SEED RUNS MIN_SECONDS SETS [WORDS]` and reports
// "h H" and "time SECONDS" lines (every build from the one that ran each run in a process of its
// own). Runs one small cell of it (a fraction of a second).
std::string baselineProblem(const std::string& program);

// The context of the baseline's build, as its TSV's "#" lines give it (one tiny run of it).
std::vector<std::pair<std::string, std::string>> baselineContext(const std::string& program);

}  // namespace lab
