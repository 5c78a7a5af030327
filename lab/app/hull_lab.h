// hull-lab, the application (app/): its command line (app/options.cpp) and the run's context
// (app/context.cpp), around the engine (run/) and the writers (out/).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "lab.h"
#include "inputs/inputs.h"
#include "run/settings.h"
#include "user/user.h"

namespace lab {

// ---- The command line (app/options.cpp) ---------------------------------------------------------


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

// The text of --list --tsv: the catalogue of this build's entries (the user's included), its
// header first (catalogueHeader).
std::string catalogue();

// A count as people type it: "1000000", "1e6", "2.5e6"; false when it is not a whole number from
// 0 to 10^18. O(length).
bool parseCount(const std::string& text, std::uint64_t& value);

// ---- The run's context (app/context.cpp) --------------------------------------------------------

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

// Whether the baseline's build runs cells of doubles and floats: its --help names --coordinates
// (builds before real coordinates take whole numbers only). Starts it once.
bool baselineTakesReals(const std::string& program);

// The context of the baseline's build, as its TSV's "#" lines give it (one tiny run of it).
std::vector<std::pair<std::string, std::string>> baselineContext(const std::string& program);

}  // namespace lab
