// hull-lab: the program's three hull functions on eight shapes of input, or on the user's own
// point files, beside CGAL, Boost.Geometry, GEOS, OpenCV and Qhull where this build has them, every
// hull checked against a reference hull. This file is the outline of a run: `main` reads the
// options and the point files, prints the context, judges the user's entries, runs the cells table
// by table (run/pass.cpp) and prints what comes after the tables.
//
// Each run of a cell (shape, size, algorithm) is a fresh process, its timed calls taking several
// point sets of the shape in turn; a cell predicted to take longer than the budget is skipped, and
// one that runs far past it is stopped. --repeat-report runs every cell R times and prints each
// cell's spread. Exit status: 0 every hull right, 1 a hull was WRONG, a library refused a point set
// or a cell crashed (in a run with entries of the user's and no --strict: one of theirs failed), 2 bad
// arguments, a bad point file, or a plugin or program that cannot start (nothing was run and no file
// was touched), or a run the history could not keep (its other outputs written).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>

#include "app/hull_lab.h"
#include "run/judge.h"
#include "run/pass.h"
#include "inputs/inputs.h"
#include "run/cell.h"
#include "run/counts.h"
#include "run/runner.h"
#include "out/tables.h"
#include "results/fields.h"
#include "results/recorder.h"
#include "results/analysis.h"
#include "out/exports.h"
#include "user/user.h"
#include "hunt/hunt.h"
#include "history/history.h"

namespace {

using namespace lab;

volatile int interrupted = 0;  // the signal that asks the lab to stop, or 0

extern "C" void onSignal(int signal) { interrupted = signal; }

// What a run works from, once its arguments and point files are read.
struct Run {
    Options options;
    std::string filesDir;  // the run's folder of point files for programs, standard input and large rows
    std::vector<Group> groups;
    std::vector<std::pair<std::string, std::string>> inputLines;  // what each point file held
    std::string command;  // the command line, as the shell reads it back
    int tsvFd = -1;
};

// Makes the run's folder of point files, where programs, standard input or the large rows need
// one, or Callgrind's output where the run counts. Throws BadArgument.
void makeFilesDir(Run& run) {
    const Options& options = run.options;
    const bool programs = std::any_of(options.entries.begin(), options.entries.end(),
                                      [](const UserEntry& e) { return e.kind == UserEntry::Program; });
    // The folder also holds the large rows' point sets, made once and read by every process.
    const bool large = !run.groups.empty() && std::any_of(options.sizes.begin(), options.sizes.end(),
                                                          [](std::int64_t n) { return n >= kSharedSetsFrom; });
    if (!programs && !large && !options.measureCounts && options.hunt == 0 && std::count(options.inputs.begin(), options.inputs.end(), "-") == 0) return;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/hull-lab-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw BadArgument{"cannot make a folder for the run's point files: " + pattern + ": " + std::strerror(errno)};
    }
    run.filesDir = pattern;
}

// The tables of one shape, a table for each of the run's number types: "square", "square (f64)"
// (a shape made only of doubles has no table of whole numbers).
void shapeGroups(const std::string& name, const Options& options, std::vector<Group>& groups) {
    for (const std::vector<Shape>* list : {&shapes(), &realShapes()}) {
        for (const Shape& s : *list) {
            if (s.name != name) continue;
            for (Coordinates type : options.shapeCoordinates) {
                if (type == Coordinates::Int && list == &realShapes()) continue;
                if (type == Coordinates::Int) {
                    groups.push_back({s, options.sizes, "", -1, false, Coordinates::Int, ""});
                    continue;
                }
                Shape typed = s;
                typed.name = s.name + " (" + coordinatesWord(type) + ")";
                typed.growth = realGrowth(s.name, type) + (type == Coordinates::F32 ? ", each coordinate its nearest float" : "");
                groups.push_back({typed, options.sizes, "", -1, false, type, s.name});
            }
        }
    }
}

// Reads every point file whole, a table each, before any cell runs or any file is written. Returns
// false (the message printed) on a bad file. Throws BadArgument.
bool readInputs(Run& run) {
    for (const std::string& path : run.options.inputs) {
        PointFile file;
        const std::string name = path == "-" ? "standard-input" : path;
        try {
            file = readPointFile(path, run.options.scale, run.options.columns,
                                 run.options.coordinatesGiven ? &run.options.coordinates : nullptr);
        } catch (const InputError& bad) {
            std::cerr << "hull-lab: " << (path == "-" ? "standard input" : path)
                      << (bad.line > 0 ? ":" + std::to_string(bad.line) : "") << ": " << bad.what() << '\n';
            return false;
        }
        const bool real = file.coordinates != Coordinates::Int;
        const auto n = std::int64_t(real ? file.reals.size() : file.points.size());
        const long long h = (long long)(real ? reference::corners(file.reals).size() : cornerCount(file.points));
        // A rate only where the file is long enough for one to mean anything.
        char size[96];
        const double mb = double(file.bytes) / 1e6;
        if (file.bytes < 1000000) std::snprintf(size, sizeof size, "%zu bytes", file.bytes);
        else std::snprintf(size, sizeof size, "%.1f MB read in %.3f s (%.0f MB/s)", mb, file.seconds,
                           mb / std::max(file.seconds, 1e-9));
        const std::string summary = std::to_string(n) + (n == 1 ? " point (" : " points (") + file.format +
                                    (real ? std::string(", ") + coordinatesWord(file.coordinates) : "") + "), " + size;
        const std::string table = real ? name + " (" + coordinatesWord(file.coordinates) + ")" : name;
        run.inputLines.emplace_back("input " + table, summary);
        // Standard input is read once: its points go to the run's folder, where the cells read them.
        std::string source = path;
        if (path == "-") {
            source = run.filesDir + "/standard-input.txt";
            if (!(real ? writePointFile(source, file.reals) : writePointFile(source, file.points))) {
                throw BadArgument{"cannot write " + source};
            }
        }
        run.groups.push_back({Shape{table, summary, true}, {n}, source, h, path == "-", file.coordinates, ""});
    }
    return true;
}

// The options, the tables, the point files and the outputs, every one checked before anything runs.
// Returns -1 to run, else the exit status: 0 after --help, --version or --list, 2 on a bad argument
// or point file (its line printed, nothing left behind).
int prepare(int argc, char** argv, Run& run) {
    run.command = "hull-lab";
    for (int i = 1; i < argc; ++i) run.command += " " + shellWord(argv[i]);
    try {
        run.options = parseOptions(argc, argv);
        const Options& options = run.options;
        if (options.threads > 0) setEntryThreads(options.threads);
        if (options.list && options.listTsv && !options.tsv.empty()) {
            std::ofstream file(options.tsv);
            file << catalogue() << '\n';
            if (!file.flush()) throw BadArgument{"cannot write " + options.tsv, false};
            return 0;
        }
        if (options.help || options.version || options.list) {
            std::cout << (options.help ? usage() : options.version ? versionLine() : options.listTsv ? catalogue() : listing()) << '\n';
            return 0;
        }
        for (const std::string& name : options.shapes) shapeGroups(name, options, run.groups);
        makeFilesDir(run);
        if (!readInputs(run)) {
            if (!run.filesDir.empty()) std::filesystem::remove_all(run.filesDir);
            return 2;
        }
        const bool real = std::any_of(run.groups.begin(), run.groups.end(), [](const Group& g) { return g.coordinates != Coordinates::Int; });
        if (real && !options.baseline.empty() && !baselineTakesReals(options.baseline)) {
            throw BadArgument{"--baseline " + options.baseline + " takes whole numbers only (its --help has no --coordinates): "
                              "tables of doubles or floats are compared with a build that has"};
        }
        for (const std::string* dir : {&options.pointsDir, &options.hullsDir}) {
            if (!dir->empty() && mkdir(dir->c_str(), 0755) != 0 && errno != EEXIST) {
                throw BadArgument{"cannot make the folder " + *dir + ": " + std::strerror(errno)};
            }
        }
        if (options.record) {
            try {
                openStore(options.history);  // made now, so that a store that cannot take the run stops it before any cell
            } catch (const StoreError& bad) {
                throw BadArgument{bad.what(), false};
            }
        }
        if (!options.tsv.empty()) {
            run.tsvFd = open(options.tsv.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (run.tsvFd < 0) throw BadArgument{"cannot write " + options.tsv + ": " + std::strerror(errno)};
        }
    } catch (const BadArgument& bad) {
        std::cerr << "hull-lab: " << bad.message << '\n';
        if (bad.withUsage) std::cerr << "hull-lab --help lists the options, hull-lab --list the shapes and entries\n";
        if (!run.filesDir.empty()) std::filesystem::remove_all(run.filesDir);
        return 2;
    }
    return -1;
}

// Ctrl-C and SIGTERM stop the run between processes (the running one is killed), then end it by
// the same signal.
void catchSignals() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// How the calls take the point sets, in the tables' words.
std::string setsWords(const Options& options) {
    return options.sets == 1   ? "every call on the same points"
           : options.sets > 1 ? "each call on the next of " + std::to_string(options.sets) + " point sets"
           : options.inputs.empty() ? "each call on the next of the cell's point sets"
                                    : "each call on the next of the cell's point sets (a file's: shuffled orders)";
}

// With counts: how they are made, the caches Callgrind simulates and the processor it shows the
// code. Without Valgrind one line on standard error says that nothing is counted.
void addCountContext(std::vector<std::pair<std::string, std::string>>& context, bool hostCaches) {
    const std::string valgrind = valgrindPath();
    if (valgrind.empty()) {
        std::cerr << "hull-lab: Valgrind is not installed (no valgrind on PATH): no cell is counted; the times are "
                     "unaffected (apt-get install valgrind)\n";
        context.emplace_back(runcontext::kCounts, runcontext::countsNone());
        return;
    }
    context.emplace_back(runcontext::kCounts, runcontext::countsValue(valgrindVersion(valgrind)));
    const CacheModel caches = countingCaches(hostCaches);
    context.emplace_back(runcontext::kSimulatedCaches, caches.said.empty() ? "Valgrind's own choice (Linux does not say this machine's)" : caches.said);
    context.emplace_back("est_cycles", kEstCyclesFormula);
    context.emplace_back("processor under Valgrind",
                         "Valgrind 3.19 shows the code a processor with AVX2 and without AVX-512: what chooses its path "
                         "by the processor's features runs its AVX2 (or older) path when counted (glibc's memcpy and "
                         "memmove, in every entry's copy, where this machine has AVX-512; the fastest hull's "
                         "throw-away pass takes AVX2 in both)");
}

// The run's context: the machine and build, the point files, the rounds and the user's entries.
std::vector<std::pair<std::string, std::string>> contextLines(const Run& run) {
    const Options& options = run.options;
    std::vector<std::pair<std::string, std::string>> context = runContext();
    context.emplace_back("command", run.command);
    context.insert(context.end(), run.inputLines.begin(), run.inputLines.end());
    std::string more;  // the rounds a cell may get beyond the fixed ones
    if (options.precision > 0 || options.moreRounds) {
        char within[48];
        std::snprintf(within, sizeof within, "not yet within +-%g%%", 100 * options.precision);
        more = ", then up to " + std::to_string(options.maxRuns) + " for the cells " +
               (options.precision > 0 ? within : "not yet decided");
    }
    if (options.measureTimes) context.emplace_back("rounds", std::to_string(options.runs) + (options.runs == 1 ? " round" : " rounds") +
                                       " of a process per cell" + more +
                                       ", the cells of a row in an order shuffled each round from seed " +
                                       std::to_string(options.seed));
    if (options.measureCounts) addCountContext(context, options.hostCaches);
    const bool threaded = std::any_of(options.algorithms.begin(), options.algorithms.end(),
                                      [](const std::string& name) { return findAlgorithm(name)->threads > 1; });
    if (threaded) {
        const unsigned threads = entryThreads();
        context.emplace_back("threads", std::to_string(threads) + " for the -2t entries" +
                                            (options.threads == 0 && threads < 2 ? " (this machine has one core)" : "") +
                                            ", whose calls are timed by the wall clock; every other entry's by the processor's");
    }
    for (const UserEntry& e : options.entries) {
        context.emplace_back(runcontext::entryName(e.name), runcontext::entryValue(e));
        if (e.kind == UserEntry::Plugin) context.emplace_back(runcontext::originName(e.name), entryOrigin(e));
    }
    if (!options.label.empty()) context.emplace_back(runcontext::kLabel, options.label);
    return context;
}

// The run's model before its first cell: the context and what the run measures, by how many rounds.
RunModel modelOf(const Run& run) {
    const Options& options = run.options;
    RunModel model;
    model.context = contextLines(run);
    model.entries = options.algorithms;
    model.times = options.measureTimes;
    model.counts = options.measureCounts;
    model.runs = options.runs;
    model.minChange = options.minChange;
    model.countMinChange = options.countMinChange;
    return model;
}

// The judge, before any cell: every entry of the user's on the hard inputs. Fills the verdicts'
// lines and the entries that hung (their cells are not timed). Returns 1 when an entry failed one.
int judgeEntries(const Run& run, std::vector<std::string>& verdicts, std::map<std::string, std::string>& notTimed) {
    int status = 0;
    const double judgeDeadline = std::clamp(run.options.budget, 1.0, 10.0);
    for (const UserEntry& e : run.options.entries) {
        const std::vector<Verdict> list = judge(e, judgeDeadline, run.filesDir, run.options.failuresDir, &interrupted);
        verdicts.push_back(verdictLines(e, list));
        for (const Verdict& v : list) {
            if (v.status != Status::Ok) status = 1;
            if (v.status == Status::Stopped) notTimed[e.name] = "stopped on the hard input " + v.input->name;
        }
    }
    return status;
}

// This program as a command: "hull-lab" where that name on PATH is this file, else its path (a
// build's, before the install).
std::string selfCommand() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe", error);
    if (error) return "hull-lab";
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::filesystem::path there = std::filesystem::canonical(std::filesystem::path(folder.empty() ? "." : folder) / "hull-lab", error);
        if (!error && there == self) return "hull-lab";
    }
    return shellWord(self.string());
}

// The command that runs `entry` again on a point file (which follows it: "--input FILE"): the entry
// alone, without the judge's inputs, on the file's own order, exiting 1 exactly when it fails.
std::string againCommand(const Options& options, const Algorithm& entry) {
    std::string text = selfCommand();
    for (const UserEntry& e : options.entries) {
        if (e.name != entry.name) continue;
        text += e.kind == UserEntry::Plugin ? " --plugin " + shellWord(e.path + ":" + e.symbol) : " --program " + shellWord(e.command);
    }
    text += " --algorithms " + (entry.origin == Origin::User ? std::string("yours") : entry.name + " --strict");
    return text + " --no-judge --same-points --runs 1";
}

// The hunt, instead of the cells: each entry in turn, its lines printed as it ends. Returns 1 where
// an entry of the user's failed (any entry with --strict); others' failures are findings.
int runHunts(const Run& run) {
    const Options& options = run.options;
    HuntSettings settings;
    settings.seconds = options.hunt;
    settings.seed = options.seed;
    settings.deadline = std::clamp(options.budget, 1.0, 10.0);
    settings.shrinkSeconds = std::clamp(options.hunt, 5.0, 60.0);
    settings.filesDir = run.filesDir;
    settings.failuresDir = options.failuresDir;
    settings.progress = isatty(STDERR_FILENO) != 0;
    PointFile file;  // with --input, the hunt's inputs are this file's orders
    if (!run.groups.empty() && !run.groups[0].input.empty()) {
        const Group& g = run.groups[0];
        file = readPointFile(g.input, g.plain ? 0 : options.scale, g.plain ? Columns{} : options.columns, &g.coordinates);
        settings.file = &file;
        settings.fileName = options.inputs[0] == "-" ? "standard input" : options.inputs[0];
    }
    std::cout << "hull-lab hunt, seed " << options.seed << ": each entry " << formatted("%g", options.hunt)
              << " s, every result checked against the exact hull; an input unanswered after "
              << formatted("%g", settings.deadline) << " s is a hang; each kind of failure shrunk for at most "
              << formatted("%g", settings.shrinkSeconds) << " s. ";
    if (settings.file != nullptr) {
        const std::size_t n = file.coordinates == Coordinates::Int ? file.points.size() : file.reals.size();
        std::cout << "Inputs: " << settings.fileName << " (" << n << " points, " << coordinatesWord(file.coordinates)
                  << "), in its own order, then in shuffled orders; a failure shrunk by removing points"
                  << (file.coordinates == Coordinates::Int ? " and moving coordinates" : " and making coordinates simpler decimals")
                  << ".\n";
    } else {
        for (Coordinates type : options.shapeCoordinates) {
            std::cout << (type == Coordinates::Int ? "Families of input, in turn:\n"
                                                   : std::string("Families of input on ") + coordinatesWord(type) + ", in turn:\n");
            for (const Family& f : type == Coordinates::Int ? families() : realFamilies()) std::cout << "  " << f.name << ": " << f.what << '\n';
        }
    }
    std::cout << std::endl;
    int status = 0;
    std::size_t findings = 0;
    // A file's own type, else each type --coordinates names (the real families on doubles and floats).
    const std::vector<Coordinates> types = settings.file != nullptr ? std::vector<Coordinates>{file.coordinates} : options.shapeCoordinates;
    for (std::size_t t = 0; t < types.size() && !interrupted; ++t) {
        settings.coordinates = settings.file != nullptr ? Coordinates::Int : types[t];
        for (const std::string& name : options.algorithms) {
            const Algorithm& entry = *findAlgorithm(name);
            std::string why;
            if (!takesCoordinates(entry, types[t], &why)) {
                std::cout << entry.name << ": not hunted" << (types.size() > 1 ? std::string(" on ") + coordinatesWord(types[t]) : "")
                          << ", " << why << "\n";
                continue;
            }
            const HuntResult result = hunt(entry, settings, &interrupted);
            if (interrupted) break;
            std::cout << huntLines(result, againCommand(options, entry)) << std::flush;
            if (result.findings.empty() && result.error.empty()) continue;
            if (entry.origin == Origin::User || options.strict) status = 1;
            else findings += result.findings.size();
        }
    }
    if (findings > 0) {
        std::cerr << "hull-lab: " << findings << (findings == 1 ? " kind" : " kinds")
                  << " of failure of entries not yours (named above) are findings: the exit status judges your entries"
                  << " (--strict counts every failure)\n";
    }
    return status;
}

// With a baseline: the model compares, and the context names the baseline's build beside this
// one's; a difference in what builds the code becomes a warning.
void addBaseline(const Run& run, RunModel& model) {
    const Options& options = run.options;
    model.compared = true;
    model.control = findAlgorithm("copy") != nullptr ? "copy" : "";
    model.verdictLevel = runVerdictLevel(options, run.groups);
    std::vector<std::pair<std::string, std::string>>& context = model.context;
    std::map<std::string, std::string> mine(context.begin(), context.end());
    context.emplace_back(runcontext::kBaseline, options.baseline);
    for (const auto& [name, value] : baselineContext(options.baseline)) {
        using namespace runcontext;
        if (name != kVersion && name != kCompiler && name != kFlags && name != kBuildType && name != kLibraries) continue;
        context.emplace_back(baselineName(name), value);
        if (name != kVersion && mine[name] != value) {
            model.warnings.push_back("the baseline differs in its " + name + " (" + value + " against " + mine[name] +
                               "): its figures measure that too");
        }
    }
}

// Every pass over the cells (one, or R for --repeat-report), their cells kept in the recorder's
// model. Returns 1 where a cell failed.
int runPasses(const Run& run, Recorder& recorder, const RunModel& model, const std::map<std::string, std::string>& notTimed,
              PassResults& results) {
    const int passes = std::max(1, run.options.repeat);
    for (const Group& group : run.groups) {
        results.total += std::size_t(passes) * group.sizes.size() * run.options.algorithms.size();
    }
    int status = 0;
    std::map<std::string, Outcome> first;
    for (int pass = 0; pass < passes && !interrupted; ++pass) {
        status |= runPass(run.options, run.groups, recorder, pass == 0 ? nullptr : &first, notTimed, run.filesDir,
                          &interrupted, results);
        if (pass == 0) {
            for (const CellRecord& cell : model.cells) first.emplace(cellKey(cell.now.shape, cell.now.n, cell.now.algorithm), cell.now);
        }
    }
    return status;
}

// Writes the exports the options name (--json, --bmf, --markdown) from the run's results. Returns 1
// when one could not be written (said on standard error), else 0.
int writeExports(const Options& options, const RunModel& model, const char* executable) {
    int status = 0;
    auto write = [&](const std::string& path, const std::string& text) {
        if (path.empty()) return;
        std::FILE* file = std::fopen(path.c_str(), "w");
        const bool wrote = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
        if (file == nullptr || std::fclose(file) != 0 || !wrote) {
            std::cerr << "hull-lab: cannot write " << path << ": " << std::strerror(errno) << '\n';
            status = 1;
        }
    };
    if (!options.json.empty()) write(options.json, benchmarkJson(model, machineFacts(executable)));
    write(options.bmf, options.bmf.empty() ? "" : bencherJson(model));
    write(options.markdown, options.markdown.empty() ? "" : markdownSummary(model));
    return status;
}

// Closes the TSV and applies --fail-slower: whether the TSV was lost, and whether a cell was slower
// than --fail-slower allows, into `end`.
void endRun(const Run& run, const RunModel& model, RunEnd& end) {
    const Options& options = run.options;
    if (run.tsvFd >= 0 && close(run.tsvFd) != 0) {
        std::cerr << "hull-lab: cannot write " << options.tsv << ": " << std::strerror(errno) << '\n';
        end.outputLost = true;
    }
    const double slowest = model.slowest;
    if (options.failSlower > 0 && slowest > 1 + options.failSlower) {
        char line[160];
        std::snprintf(line, sizeof line, "hull-lab: a cell is %.1f%% slower than the baseline, more than --fail-slower %g%%\n",
                      100 * (slowest - 1), 100 * options.failSlower);
        std::cerr << line;
        end.tooSlow = true;
    }
    if (!run.filesDir.empty()) std::filesystem::remove_all(run.filesDir);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--cell") return cellMain(argc, argv);
    if (argc >= 2 && std::string(argv[1]) == "--judge") return judgeMain(argc, argv);
    if (argc >= 2 && std::string(argv[1]) == "--hunt-worker") return huntWorkerMain(argc, argv);
    if (argc >= 2 && std::string(argv[1]) == "history") {
        catchSignals();  // backfill and bisect stop between commits, their worktrees removed
        const int status = historyMain(argc - 1, argv + 1, &interrupted);
        if (interrupted) std::signal(interrupted, SIG_DFL), std::raise(interrupted);
        return status;
    }
    Run run;
    if (const int status = prepare(argc, argv, run); status >= 0) return status;
    catchSignals();
    const Options& options = run.options;
    if (options.hunt > 0) {
        const int status = runHunts(run);
        std::filesystem::remove_all(run.filesDir);
        if (interrupted) std::signal(interrupted, SIG_DFL), std::raise(interrupted);
        return status;
    }
    RunModel model = modelOf(run);
    std::map<std::string, std::string> notTimed;
    RunEnd end;
    end.hullFailed = !options.noJudge && judgeEntries(run, model.judged, notTimed) != 0;
    model.warnings = contextWarnings(options.measureTimes);
    if (!options.baseline.empty()) addBaseline(run, model);
    Tables tables(options, run.tsvFd, setsWords(options));
    tables.begin(model);
    Recorder recorder(model, tables);
    PassResults results;
    end.hullFailed |= runPasses(run, recorder, model, notTimed, results) != 0;
    model.unsettled = results.imprecise;
    model.waited = results.waited;
    model.findings = results.findings;
    closeRun(model);
    tables.finish(model, interrupted != 0);
    if (model.findings > 0 && !interrupted) {
        std::cerr << "hull-lab: " << model.findings << (model.findings == 1 ? " failure" : " failures")
                  << " of entries not yours (named above) are findings: the exit status judges your entries"
                  << (end.hullFailed ? "" : ", which were right on every input") << " (--strict counts every failure)\n";
    }
    end.outputLost = writeExports(options, model, argv[0]) != 0;
    end.notKept = options.record && !interrupted && recordRun(storedRun(model), options.history, options.tsv) != 0;
    endRun(run, model, end);
    if (interrupted) {
        std::signal(interrupted, SIG_DFL);
        std::raise(interrupted);
    }
    return exitStatus(end);
}
