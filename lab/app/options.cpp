// hull-lab's command line: every option as --name value or --name=value (CLI11 reads them), each
// value checked here, with the outputs it names, before anything runs or is written.

#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <map>
#include <sstream>

#include "app/hull_lab.h"
#include "inputs/inputs.h"
#include "user/user.h"

namespace lab {

namespace {

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> words;
    std::stringstream in(list);
    for (std::string word; std::getline(in, word, ',');) words.push_back(word);
    if (list.empty() || list.back() == ',') words.push_back("");
    return words;
}

// A whole decimal number, nothing else; false when it is not one or does not fit.
bool parseWhole(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::stoull(text);
    return true;
}

// The least a cell holds per point: its points, the copy a call is handed and the check's sorted
// copy. A size that cannot hold even that is refused; a cell that holds more (a list copy, an
// algorithm's own lists: up to 400 bytes a point) is predicted from the smaller sizes and skipped
// where the machine lacks the memory.
constexpr double kBytesPerPoint = 48;

// Checks every output the options name, touching none of them: a bad argument must not cost the
// user an earlier TSV. Throws BadArgument.
void checkOutputs(const Options& o) {
    for (const std::string* file : {&o.tsv, &o.json, &o.bmf, &o.markdown}) {
        if (file->empty()) continue;
        std::string why = cannotWriteFile(*file);
        if (!why.empty()) throw BadArgument{"cannot write " + *file + ": " + why};
    }
    for (const std::string* dir : {&o.pointsDir, &o.hullsDir}) {
        if (dir->empty()) continue;
        const char* what = dir == &o.pointsDir ? "points" : "hulls";
        struct stat info {};
        if (stat(dir->c_str(), &info) == 0) {
            if (!S_ISDIR(info.st_mode) || access(dir->c_str(), W_OK | X_OK) != 0) {
                throw BadArgument{std::string("cannot write into the ") + what + " folder " + *dir};
            }
            continue;
        }
        std::string why = errno == ENOENT ? cannotWriteFile(*dir) : std::strerror(errno);
        if (!why.empty()) throw BadArgument{std::string("cannot make the ") + what + " folder " + *dir + ": " + why};
    }
}

// ---- The options, declared once: the parser and --help are both made from them --------------------

// What the command line gave, as typed: each value is checked by the steps of parseOptions.
struct Given {
    std::map<std::string, std::string> values;  // by option name
    std::vector<std::string> plugins, programs;  // each option may be given again
    bool samePoints = false, heapDefaults = false, help = false, version = false, list = false, strict = false;
    bool noJudge = false;
    std::string relative;
    const CLI::App* app = nullptr;
    bool has(const char* name) const { return app->count(name) > 0; }
    const std::string& operator[](const std::string& name) { return values[name]; }
};

// One option that takes a value: its name, the word for the value, its default as help shows it
// ("" for none) and one line on what it does.
CLI::Option* valueOption(CLI::App& app, Given& given, const char* group, const char* name, const char* value,
                         const std::string& byDefault, const char* what) {
    CLI::Option* option = app.add_option(name, given.values[name], what)->group(group)->type_name(value);
    if (!byDefault.empty()) option->default_str(byDefault);
    return option;
}

// The defaults as help shows them, from the fields of a default Options: said once, in settings.h.
std::string shown(double value) { return formatted("%g", value); }
std::string shownPercent(double value) { return formatted("%g", 100 * value) + "%"; }

// Declares every option, group by group, in the order help lists them.
void declareOptions(CLI::App& app, Given& g) {
    const Options d;
    const char* run = "What to run";
    valueOption(app, g, run, "--shapes", "LIST", "", "shapes to run (--list); default: all but those named only");
    valueOption(app, g, run, "--sizes", "LIST", "", "points per cell, 1e6 or 1000000; default: 1e3,1e4,1e5,1e6");
    valueOption(app, g, run, "--algorithms", "LIST", "", "entries or groups (--list: cgal, libraries, yours...), or all");
    valueOption(app, g, run, "--input", "FILES", "", "your point files (x;y, CSV, WKT, GeoJSON; -: stdin), a table each");
    valueOption(app, g, run, "--scale", "K", "", "decimal coordinates of --input times K, each then whole");
    valueOption(app, g, run, "--coordinates", "LIST", "",
                "int, f64, f32: the shapes in each, --input in one (default: int; its own)");
    valueOption(app, g, run, "--columns", "X,Y", "", "x and y are these fields of --input's lines (numbers from 1 or names)");
    app.add_flag("--list", g.list, "list the shapes and this build's entries, and exit")->group(run);
    const char* yours = "Your hull";
    app.add_option("--plugin", g.plugins, "your hull in a shared library (hull_lab_plugin.h); again for more")
        ->group(yours)->option_text("LIB[:SYMBOL],...")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("--program", g.programs, "your hull as a program: a point file in, its corners out; again for more")
        ->group(yours)->option_text("'COMMAND'")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    valueOption(app, g, yours, "--failures", "DIR", d.failuresDir, "where the points your entries failed on are written");
    app.add_flag("--strict", g.strict, "exit 1 on any WRONG, refused or crashed cell, not only your entries'")->group(yours);
    valueOption(app, g, yours, "--hunt", "SECONDS", "", "search your entries (and --algorithms') for inputs they fail, each shrunk");
    app.add_flag("--no-judge", g.noJudge, "run your entries on the cells without the judge's hard inputs first")->group(yours);
    const char* measure = "How to measure";
    valueOption(app, g, measure, "--measure", "WHAT", d.measureTimes && d.measureCounts ? "times,counts" : d.measureCounts ? "counts" : "times",
                "times, counts (Valgrind: instructions, misses) or times,counts");
    valueOption(app, g, measure, "--runs", "K", shown(d.runs), "rounds: a process per cell and round (with --baseline: 4, then more)");
    valueOption(app, g, measure, "--precision", "P", "", "more rounds until each interval is within +-P (0.05 or 5%)");
    valueOption(app, g, measure, "--max-runs", "M", shown(d.maxRuns), "most runs a cell gets from --precision (with --baseline: 20)");
    valueOption(app, g, measure, "--budget", "SECONDS", shown(d.budget), "a cell predicted to take longer is skipped");
    valueOption(app, g, measure, "--min-seconds", "S", shown(d.minSeconds), "each run repeats its call for at least S seconds");
    valueOption(app, g, measure, "--seed", "S", shown(double(d.seed)), "the shapes' points and the rounds' orders");
    valueOption(app, g, measure, "--caches", "MODEL", d.hostCaches ? "host" : "fixed", "caches the counts simulate: fixed (compare across machines) or host");
    valueOption(app, g, measure, "--threads", "T", "", "threads of the -2t entries, 1 or 2; default: the cores, at most 2");
    valueOption(app, g, measure, "--sets", "N", "", "point sets a cell's calls take in turn (1 to 256); default: 16 to 1");
    app.add_flag("--same-points", g.samePoints, "every call on the same points; a file's in its own order")->group(measure);
    app.add_flag("--heap-defaults", g.heapDefaults, "glibc's heap settings in every cell (default: memory kept)")->group(measure);
    valueOption(app, g, measure, "--repeat-report", "R", "", "run every cell R times and print the spread of its medians");
    const char* compare = "Comparing";
    app.add_option("--relative", g.relative, "every figure as a multiple of ENTRY's in its row and round")
        ->group(compare)->type_name("[ENTRY]")->default_str("copy")->expected(0, 1);
    valueOption(app, g, compare, "--baseline", "HULL_LAB", "", "another build of hull-lab: each cell as new / old, A B B A");
    valueOption(app, g, compare, "--baseline-plugin", "LIST", "", "the baseline's builds of --plugin's libraries, one for one");
    valueOption(app, g, compare, "--min-change", "X", shownPercent(d.minChange), "the least change a verdict calls slower or faster");
    valueOption(app, g, compare, "--fail-slower", "X", "", "exit 1 when a cell is slower than the baseline by more than X");
    const char* output = "Output";
    valueOption(app, g, output, "--tsv", "FILE", "", "every cell and run as tab-separated values (with --list: the entries)")
        ->expected(0, 1);
    valueOption(app, g, output, "--json", "FILE", "", "every cell and run as Google Benchmark's JSON (compare.py)");
    valueOption(app, g, output, "--bmf", "FILE", "", "every cell as Bencher's metric format (latency, counts)");
    valueOption(app, g, output, "--markdown", "FILE", "", "the fastest per row or the verdicts, for a pull request");
    valueOption(app, g, output, "--history", "FILE", "", "keep the run in a store (SQLite; default ~/.local/share/hull-lab/)")
        ->expected(0, 1);
    valueOption(app, g, output, "--label", "TEXT", "", "a word the history keeps the run by (hull-lab history check --base)");
    valueOption(app, g, output, "--write-points", "DIR", "", "each row's first point set as a point file");
    valueOption(app, g, output, "--write-hulls", "DIR", "", "each row's exact hull, and each WRONG entry's answer");
    app.add_flag("--help,-h", g.help, "this help, and exit")->group(output);
    app.add_flag("--version", g.version, "the build (commit, type, compiler), and exit")->group(output);
}

// The parser of hull-lab's command line, with its help's texts around the options.
void describe(CLI::App& app) {
    app.description(
        "hull-lab: checks and times convex hulls (the program's, the lab's own, the libraries', yours) on shapes\n"
        "or your point files, each run of a cell in a process of its own: each median and, as +-X%, its interval.");
    app.footer(
        "Options take --name value or --name=value; LISTs are comma-separated. Exit status: 0 every hull right; 1 a\n"
        "WRONG hull, a refused point set or a crashed cell, or --fail-slower; with entries of yours, only theirs count\n"
        "(others' are findings; --strict: all). 2: bad arguments, a bad point file, an entry that cannot start, or a\n"
        "run --history could not keep. Runs kept: hull-lab history --help. Every option: docs/guide/ in the source.");
    app.get_formatter()->column_width(36);
    app.set_help_flag();
    app.allow_extras();
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

}  // namespace

std::string usage() {
    CLI::App app{"", "hull-lab"};
    Given given;
    describe(app);
    declareOptions(app, given);
    // One blank line between groups, where CLI11 puts two.
    std::string text = app.help();
    for (std::size_t at; (at = text.find("\n\n\n")) != std::string::npos;) text.erase(at, 1);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string catalogue() {
    std::string text = catalogueHeader();
    for (const Algorithm& a : algorithms()) text += '\n' + catalogueLine(a);
    return text;
}

std::string listing() {
    std::ostringstream out;
    out << "Shapes (--shapes):\n";
    for (const Shape& s : shapes()) {
        out << "  " << s.name << std::string(10 - s.name.size(), ' ') << s.growth << (s.byDefault ? "" : " (named only)")
            << '\n';
    }
    for (const Shape& s : realShapes()) {
        out << "  " << s.name << std::string(10 - s.name.size(), ' ') << s.growth << " (doubles only: --coordinates f64)\n";
    }
    out << "  (--coordinates f64 or f32 makes every shape of doubles: a table \"square (f64)\" beside \"square\")\n";
    out << "Entries of this build (--algorithms): each of the program's beside its array form and the peers of its method\n";
    for (const Algorithm& a : algorithms()) {
        const char* origin = a.origin == Origin::Program     ? " (the program's own, on a PointList)"
                             : a.origin == Origin::ArrayForm ? " (the program's, on a std::vector: same result)"
                             : a.origin == Origin::Lab       ? " (the lab's own, on a std::vector)"
                                                             : "";
        const std::string calls = *a.calls != '\0' ? std::string(" (") + a.calls + ")" : origin;
        out << "  " << std::left << std::setw(34) << a.name << ' ' << a.method << calls
            << (a.byDefault ? "" : " (named only)") << '\n';
    }
    std::string real, floats;
    for (const Algorithm& a : algorithms()) {
        if (a.prepareReal) (a.floatsOnly ? floats : real) += (real.empty() || a.floatsOnly ? "" : ", ") + a.name;
    }
    out << "On doubles (the points of a file of real numbers, f64 and f32; every other entry takes whole numbers\n"
        << "only): " << real << (floats.empty() ? "" : "; on 32-bit floats only (f32): " + floats) << '\n';
    out << "Groups (--algorithms takes them beside names: cgal,filter-vqsort-chain):\n";
    for (const auto& [word, what] : entryGroups()) {
        std::vector<std::string> names;
        groupEntries(word, names);
        std::string list;
        for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
        out << "  " << std::left << std::setw(10) << word << ' ' << what << ": " << (!list.empty() ? list : word == "yours" ? "none; give --plugin or --program" : "none in this build")
            << '\n';
    }
    out << "A peer's call first copies the points into the form its library takes, and that copy is timed,\n"
           "as a caller pays for it. A library that gives up on a point set shows as refused; a wrong hull, as WRONG.";
    return out.str();
}

bool parseCount(const std::string& text, std::uint64_t& value) {
    const std::size_t e = text.find_first_of("eE");
    if (e == std::string::npos) return parseWhole(text, value);
    // MANTISSA e EXPONENT: digits, at most one point, digits; a whole number once scaled.
    std::string mantissa = text.substr(0, e), exponentText = text.substr(e + 1);
    if (!exponentText.empty() && exponentText[0] == '+') exponentText.erase(0, 1);
    std::uint64_t exponent = 0;
    const std::size_t point = mantissa.find('.');
    std::string digits = mantissa;
    if (point != std::string::npos) digits.erase(point, 1);
    const std::size_t decimals = point == std::string::npos ? 0 : mantissa.size() - point - 1;
    if (digits.empty() || digits.size() > 18 || digits.find_first_not_of("0123456789") != std::string::npos ||
        !parseWhole(exponentText, exponent) || exponent > 18 || exponent < decimals) {
        return false;
    }
    value = std::stoull(digits);
    for (std::uint64_t i = decimals; i < exponent; ++i) {
        if (value > 100000000000000000ull) return false;  // past 10^18
        value *= 10;
    }
    return true;
}

std::string cannotWriteFile(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return std::strerror(EISDIR);
        return access(path.c_str(), W_OK) == 0 ? "" : std::strerror(errno);
    }
    if (errno != ENOENT) return std::strerror(errno);
    std::string parent = std::filesystem::path(path).parent_path().string();
    if (parent.empty()) parent = ".";
    if (stat(parent.c_str(), &info) != 0) return std::strerror(errno);
    if (!S_ISDIR(info.st_mode)) return std::strerror(ENOTDIR);
    return access(parent.c_str(), W_OK | X_OK) == 0 ? "" : std::strerror(errno);
}

namespace {

// A whole number from `least` to `most` given for `flag`, or a BadArgument that names the flag.
std::uint64_t whole(Given& given, const std::string& flag, std::uint64_t least, std::uint64_t most) {
    std::uint64_t value = 0;
    if (!parseCount(given[flag], value) || value < least || value > most) {
        throw BadArgument{flag + " must be a whole number from " + std::to_string(least) + " to " + std::to_string(most) +
                          ", not \"" + given[flag] + "\""};
    }
    return value;
}

// A fraction given for `flag`, "0.05" or "5%", from `least` to `most`; or a BadArgument.
double fraction(Given& given, const std::string& flag, double least, double most) {
    const std::string& text = given[flag];
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (end != nullptr && *end == '%' && end[1] == '\0') value /= 100, ++end;
    if (text.empty() || end == nullptr || *end != '\0' || !std::isfinite(value) || value < least || value > most) {
        char range[64];
        std::snprintf(range, sizeof range, " must be a fraction from %g to %g", least, most);
        throw BadArgument{flag + range + " (0.05 or 5%), not \"" + text + "\""};
    }
    return value;
}

// The words of the command line split by CLI11 into `given`; nothing checked yet but the words.
void splitWords(int argc, char** argv, CLI::App& app, Given& given) {
    describe(app);
    declareOptions(app, given);
    given.app = &app;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ArgumentMismatch& e) {
        const std::string what = e.what();  // "--runs: 1 required TEXT missing"
        throw BadArgument{what.substr(0, what.find(':')) + " needs a value"};
    } catch (const CLI::ParseError& e) {
        throw BadArgument{e.what()};
    }
    if (!app.remaining().empty()) throw BadArgument{"unknown argument " + app.remaining().front()};
}

// --sets, --same-points and --repeat-report.
void takeSets(Given& g, Options& o) {
    if (g.has("--sets") && g.samePoints) throw BadArgument{"--sets and --same-points cannot be given together"};
    if (g.has("--sets")) o.sets = int(whole(g, "--sets", 1, 256));
    if (g.samePoints) o.sets = 1;
    o.samePoints = g.samePoints;
    o.heapDefaults = g.heapDefaults;
    o.strict = g.strict;
    if (g.has("--repeat-report")) {
        o.repeat = int(whole(g, "--repeat-report", 2, 100));
        for (const char* output : {"--tsv", "--json", "--bmf", "--markdown", "--history"}) {
            if (g.has(output)) throw BadArgument{std::string("--repeat-report prints its own report; it takes no ") + output};
        }
    }
}

// --coordinates LIST: the shapes' tables are made in each type; an --input file is read as the one
// type given.
void takeCoordinates(Given& g, Options& o) {
    o.shapeCoordinates.clear();
    for (const std::string& word : split(g["--coordinates"])) {
        Coordinates type = Coordinates::Int;
        if (!coordinatesNamed(word, type)) throw BadArgument{"--coordinates takes int, f64 or f32, not \"" + word + "\""};
        if (std::find(o.shapeCoordinates.begin(), o.shapeCoordinates.end(), type) == o.shapeCoordinates.end()) {
            o.shapeCoordinates.push_back(type);
        }
    }
    if (o.shapeCoordinates.empty()) throw BadArgument{"--coordinates names no type"};
    if (!o.inputs.empty() && o.shapeCoordinates.size() > 1) {
        throw BadArgument{"--coordinates names one type for --input files, not " + g["--coordinates"]};
    }
    o.coordinates = o.shapeCoordinates.front();
    o.coordinatesGiven = true;
    if (o.scale != 0 && o.coordinates != Coordinates::Int) {
        throw BadArgument{"--scale makes whole numbers of decimals; --coordinates " + g["--coordinates"] +
                          " reads them as they are: give one of the two"};
    }
}

// --input, --columns, --scale and --shapes: what the tables are of.
void takeInputs(Given& g, Options& o) {
    if (g.has("--input")) {
        o.inputs = split(g["--input"]);
        for (const std::string& path : o.inputs) {
            if (path.empty()) throw BadArgument{"--input names an empty file name"};
        }
        if (!g.has("--shapes")) {
            o.shapes.clear();
            if (g.has("--sizes")) throw BadArgument{"--sizes sets the shapes' sizes; with --input name --shapes too"};
        }
    }
    if (std::count(o.inputs.begin(), o.inputs.end(), "-") > 1) throw BadArgument{"--input names standard input (-) twice"};
    if (g.has("--columns")) {
        if (!g.has("--input")) throw BadArgument{"--columns applies to the points of --input files"};
        const std::vector<std::string> names = split(g["--columns"]);
        if (names.size() != 2 || names[0].empty() || names[1].empty() || names[0] == names[1]) {
            throw BadArgument{"--columns takes two different columns X,Y (numbers from 1, or names of the header line), not \"" +
                              g["--columns"] + "\""};
        }
        o.columns = {names[0], names[1]};
    }
    if (g.has("--scale")) {
        if (!g.has("--input")) throw BadArgument{"--scale applies to the points of --input files"};
        o.scale = std::int64_t(whole(g, "--scale", 1, 1000000000000000000ull));
    }
    if (g.has("--coordinates")) takeCoordinates(g, o);
    if (g.has("--shapes")) {
        o.shapes = split(g["--shapes"]);
        for (const std::string& name : o.shapes) {
            bool found = false, real = false;
            for (const Shape& s : shapes()) found = found || s.name == name;
            for (const Shape& s : realShapes()) real = real || s.name == name;
            if (!found && !real) throw BadArgument{"unknown shape \"" + name + "\""};
            const auto& types = o.shapeCoordinates;
            if (real && std::find_if(types.begin(), types.end(), [](Coordinates c) { return c != Coordinates::Int; }) == types.end()) {
                throw BadArgument{"--shapes " + name + " is a shape of doubles: give --coordinates f64 (or f32)"};
            }
        }
    }
}

// --plugin and --program: the user's entries, loaded now (a library that cannot be loaded stops the
// run before it starts) and added to the build's algorithms. Returns, for each plugin entry, the
// --plugin item it came from.
std::vector<std::size_t> takeEntries(Given& g, Options& o) {
    std::vector<std::string> taken;
    for (const Algorithm& a : algorithms()) taken.push_back(a.name);
    std::vector<std::size_t> pluginItem;
    std::size_t pluginItemCount = 0;
    try {
        for (const std::string& list : g.plugins) {
            for (const std::string& item : split(list)) {
                if (item.empty()) throw BadEntry("--plugin names an empty file name");
                for (UserEntry& entry : pluginEntries(item, taken)) {
                    taken.push_back(entry.name);
                    o.entries.push_back(entry);
                    pluginItem.push_back(pluginItemCount);
                }
                ++pluginItemCount;
            }
        }
    } catch (const BadEntry& bad) {
        throw BadArgument{bad.what(), false};
    }
    for (const std::string& command : g.programs) {
        if (command.find_first_not_of(" \t") == std::string::npos) throw BadArgument{"--program names an empty command"};
        const std::string why = programProblem(command);
        if (!why.empty()) throw BadArgument{"--program '" + command + "' cannot start: " + why, false};
        o.entries.push_back(programEntry(command, taken));
        taken.push_back(o.entries.back().name);
    }
    std::vector<Algorithm> added;
    for (const UserEntry& entry : o.entries) added.push_back(userAlgorithm(entry));
    addAlgorithms(std::move(added));
    return pluginItem;
}

// --algorithms and --relative: which entries run, in which order. --algorithms takes names, group
// words (cgal, libraries, yours, ...: entryGroups()) and all, in any mix; each entry runs once, where
// it is first named.
void takeAlgorithms(Given& g, Options& o) {
    if (g.has("--algorithms")) {
        std::vector<std::string> chosen;
        auto add = [&chosen](const std::string& name) {
            if (std::find(chosen.begin(), chosen.end(), name) == chosen.end()) chosen.push_back(name);
        };
        for (const std::string& word : split(g["--algorithms"])) {
            std::vector<std::string> names;
            if (word == "all") {
                for (const Algorithm& a : algorithms()) add(a.name);
            } else if (findAlgorithm(word) != nullptr) {
                add(findAlgorithm(word)->name);  // a former name runs the entry under its name now
            } else if (!groupEntries(word, names)) {
                throw BadArgument{"unknown algorithm \"" + word + "\", or not in this build (see --list)"};
            } else if (names.empty()) {
                throw BadArgument{"--algorithms " + word + ": " +
                                  (word == "yours" ? std::string("no entry of yours; give --plugin or --program")
                                                   : "this build has no such entry (its library was not found when hull-lab was built)")};
            } else {
                for (const std::string& name : names) add(name);
            }
        }
        o.algorithms = chosen;
    }
    // The user's entries run whether or not --algorithms names them, first in every table, in the
    // order given; naming them places them.
    std::vector<std::string> yours;
    for (const UserEntry& entry : o.entries) {
        if (std::find(o.algorithms.begin(), o.algorithms.end(), entry.name) == o.algorithms.end()) yours.push_back(entry.name);
    }
    o.algorithms.insert(o.algorithms.begin(), yours.begin(), yours.end());
    o.relative = g.relative;
    if (g.has("--relative") && o.relative.empty()) o.relative = "copy";
    if (!o.relative.empty() && std::find(o.algorithms.begin(), o.algorithms.end(), o.relative) == o.algorithms.end()) {
        throw BadArgument{"--relative shows each figure as a multiple of " + o.relative + "'s in the same round: " +
                          "--algorithms must name " + o.relative};
    }
}

// --sizes, smaller first, each within the machine's memory and what the shapes can make.
void takeSizes(Given& g, Options& o) {
    if (g.has("--sizes")) {
        o.sizes.clear();
        const double memory = double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGESIZE));
        for (const std::string& word : split(g["--sizes"])) {
            std::uint64_t n = 0;
            if (!parseCount(word, n) || n == 0) throw BadArgument{"size \"" + word + "\" is not a positive whole number"};
            if (double(n) * kBytesPerPoint > memory) {
                throw BadArgument{"size " + word + " needs about " + std::to_string(std::llround(double(n) * kBytesPerPoint / 1e9)) +
                                  " GB of memory; this machine has " + std::to_string(std::llround(memory / 1e9)) + " GB"};
            }
            o.sizes.push_back(std::int64_t(n));
        }
        // Smaller sizes first, so that every cell has a prediction from the cells before it.
        std::sort(o.sizes.begin(), o.sizes.end());
        o.sizes.erase(std::unique(o.sizes.begin(), o.sizes.end()), o.sizes.end());
    }
    for (const std::string& shape : o.shapes) {
        if (shape != "convex") continue;
        for (std::int64_t n : o.sizes) {
            if (!convexFits(n)) {
                throw BadArgument{"convex cannot make " + std::to_string(n) +
                                  " points in convex position inside |coordinate| < 2^30; the largest it can is " +
                                  std::to_string(convexLargest())};
            }
        }
    }
}

// --runs, --precision, --max-runs, --min-change and --min-seconds.
void takeRounds(Given& g, Options& o) {
    if (g.has("--runs") && g.has("--precision")) {
        throw BadArgument{"--runs fixes the count of runs; --precision adds runs until the interval is narrow: give one"};
    }
    if (g.has("--runs")) o.runs = int(whole(g, "--runs", 1, 1000));
    if (g.has("--precision")) o.precision = fraction(g, "--precision", 0.0001, 1);
    if (g.has("--max-runs")) {
        if ((o.precision == 0 && !g.has("--baseline")) || g.has("--runs")) {
            throw BadArgument{"--max-runs bounds the runs that --precision or --baseline adds; --runs fixes them"};
        }
        o.maxRuns = int(whole(g, "--max-runs", 3, 1000));
    }
    if (g.has("--min-change")) o.minChange = fraction(g, "--min-change", 0, 1);
    if (g.has("--min-seconds")) {
        const std::string& text = g["--min-seconds"];
        char* end = nullptr;
        o.minSeconds = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !(o.minSeconds >= 0.001 && o.minSeconds <= 60)) {
            throw BadArgument{"--min-seconds must be a number of seconds from 0.001 to 60, not \"" + text + "\""};
        }
    }
}

// --measure: times, counts or both. A run of counts alone takes 10^3 to 10^5 points by default (a
// counted call runs 20 to 100 times as long as a timed one) and no rounds of timing.
void takeMeasure(Given& g, Options& o) {
    if (g.has("--measure")) {
        o.measureTimes = o.measureCounts = false;
        for (const std::string& word : split(g["--measure"])) {
            if (word == "times") o.measureTimes = true;
            else if (word == "counts") o.measureCounts = true;
            else throw BadArgument{"--measure takes times, counts or times,counts, not \"" + word + "\""};
        }
        if (!o.measureTimes && !o.measureCounts) throw BadArgument{"--measure takes times, counts or times,counts"};
    }
    if (g.has("--min-change")) o.countMinChange = o.minChange;
    if (g.has("--caches")) {
        if (!o.measureCounts) throw BadArgument{"--caches is for counts: give --measure counts or times,counts"};
        if (g["--caches"] != "fixed" && g["--caches"] != "host") {
            throw BadArgument{"--caches takes fixed or host, not \"" + g["--caches"] + "\""};
        }
        o.hostCaches = g["--caches"] == "host";
    }
    if (o.measureTimes) return;
    if (!g.has("--sizes")) o.sizes = {1000, 10000, 100000};
    for (const char* timing : {"--runs", "--precision", "--max-runs", "--min-seconds", "--relative", "--repeat-report"}) {
        if (g.has(timing)) throw BadArgument{std::string(timing) + " is for times; --measure counts times nothing: give --measure times,counts"};
    }
}

// --baseline and --fail-slower: another build whose figures every cell's are compared with.
void takeBaseline(Given& g, Options& o) {
    if (g.has("--baseline")) {
        o.baseline = g["--baseline"];
        if (o.baseline.empty()) throw BadArgument{"--baseline names an empty file name"};
        if (o.repeat > 0) throw BadArgument{"--repeat-report and --baseline cannot be given together"};
        if (!o.relative.empty()) throw BadArgument{"--baseline gives every figure as new / old already; it takes no --relative"};
        struct stat info {};
        if (stat(o.baseline.c_str(), &info) != 0) throw BadArgument{"--baseline " + o.baseline + ": " + std::strerror(errno), false};
        if (!S_ISREG(info.st_mode) || access(o.baseline.c_str(), X_OK) != 0) {
            throw BadArgument{"--baseline " + o.baseline + " is not a program this user can run", false};
        }
        if (!g.has("--runs")) {
            o.runs = 4;  // two A B B A blocks at least, then more for the cells not yet decided
            o.moreRounds = !g.has("--precision") && o.measureTimes;
            if (!g.has("--max-runs")) o.maxRuns = 20;
        }
        // The control: the copy floor, whose code the two builds share.
        if (findAlgorithm("copy") != nullptr && std::find(o.algorithms.begin(), o.algorithms.end(), "copy") == o.algorithms.end()) {
            o.algorithms.push_back("copy");
        }
    }
    if (g.has("--fail-slower")) {
        if (!g.has("--baseline")) throw BadArgument{"--fail-slower compares with a baseline: give --baseline"};
        o.failSlower = fraction(g, "--fail-slower", 0, 100);
    }
}

// --baseline-plugin: the baseline's builds of --plugin's libraries, one for each --plugin item,
// each loaded now. `pluginItem`: for each plugin entry, the item it came from.
void takeBaselinePlugins(Given& g, Options& o, const std::vector<std::size_t>& pluginItem) {
    if (!g.has("--baseline-plugin")) return;
    if (!g.has("--baseline") || o.entries.empty()) {
        throw BadArgument{"--baseline-plugin gives the baseline other builds of --plugin's libraries: give both"};
    }
    std::vector<std::string> items;
    for (const std::string& list : g.plugins) {
        for (const std::string& item : split(list)) items.push_back(item);
    }
    const std::vector<std::string> olds = split(g["--baseline-plugin"]);
    if (olds.size() != items.size()) {
        throw BadArgument{"--baseline-plugin names " + std::to_string(olds.size()) + " libraries for the " +
                          std::to_string(items.size()) + " of --plugin, one for one"};
    }
    try {
        for (std::size_t e = 0; e < o.entries.size(); ++e) {
            if (o.entries[e].kind != UserEntry::Plugin) continue;
            // The old library in place of the item the entry came from; the same function of it.
            std::string path = olds[pluginItem[e]];
            if (path.empty()) throw BadEntry("an empty file name");
            UserEntry old = o.entries[e];
            // An item LIBRARY:SYMBOL is matched by OLD_LIBRARY:SYMBOL; the symbol is the new one's.
            const bool named = items[pluginItem[e]] != old.path;
            old.path = named && path.rfind(':') != std::string::npos ? path.substr(0, path.rfind(':')) : path;
            pluginEntries(old.path + ":" + old.symbol, {});  // loads it: a library that cannot serve fails now
            o.baselineEntries[old.name] = entryWord(old);
        }
    } catch (const BadEntry& bad) {
        throw BadArgument{std::string("--baseline-plugin: ") + bad.what(), false};
    }
}

// --hunt: the seconds to hunt each entry, and the entries: the user's, and those --algorithms names.
void takeHunt(Given& g, Options& o) {
    o.noJudge = g.noJudge;
    if (!g.has("--hunt")) return;
    const std::string& text = g["--hunt"];
    char* end = nullptr;
    o.hunt = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(o.hunt) || o.hunt <= 0) {
        throw BadArgument{"--hunt must be a number of seconds above 0, not \"" + text + "\""};
    }
    for (const char* other : {"--shapes", "--sizes", "--measure", "--baseline", "--repeat-report", "--relative", "--tsv",
                              "--json", "--bmf", "--markdown", "--history"}) {
        if (g.has(other)) throw BadArgument{std::string("--hunt runs no cells: it cannot be given with ") + other};
    }
    if (o.inputs.size() > 1) throw BadArgument{"--hunt takes one --input file, whose orders are its inputs"};
    if (!g.has("--algorithms")) o.algorithms.clear();
    for (const UserEntry& e : o.entries) {
        if (std::find(o.algorithms.begin(), o.algorithms.end(), e.name) == o.algorithms.end()) o.algorithms.push_back(e.name);
    }
    // A floor makes no hull: nothing to hunt.
    o.algorithms.erase(std::remove_if(o.algorithms.begin(), o.algorithms.end(),
                                      [](const std::string& name) { return findAlgorithm(name)->origin == Origin::Floor; }),
                       o.algorithms.end());
    if (o.algorithms.empty()) throw BadArgument{"--hunt needs an entry that makes a hull: --plugin, --program or --algorithms"};
}

// --budget, --seed and the outputs: --tsv, --write-points, --write-hulls, --failures, each checked
// untouched.
void takeBudgetAndOutputs(Given& g, Options& o) {
    if (g.has("--budget")) {
        const std::string& text = g["--budget"];
        char* end = nullptr;
        o.budget = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(o.budget) || o.budget <= 0) {
            throw BadArgument{"--budget must be a number of seconds above 0, not \"" + text + "\""};
        }
    }
    if (g.has("--seed") && !parseWhole(g["--seed"], o.seed)) {
        throw BadArgument{"--seed must be a whole number, not \"" + g["--seed"] + "\""};
    }
    if (g.has("--threads")) {
        std::uint64_t threads = 0;
        if (!parseWhole(g["--threads"], threads) || threads < 1 || threads > 2) {
            throw BadArgument{"--threads must be 1 or 2 (the -2t entries split their work in two), not \"" + g["--threads"] + "\""};
        }
        o.threads = unsigned(threads);
    }
    o.tsv = g["--tsv"];
    if (g.has("--tsv") && o.tsv.empty()) throw BadArgument{"--tsv needs a FILE (with --list alone it prints the entries)"};
    o.json = g["--json"];
    o.bmf = g["--bmf"];
    o.markdown = g["--markdown"];
    o.pointsDir = g["--write-points"];
    o.hullsDir = g["--write-hulls"];
    o.record = g.has("--history");
    o.history = g["--history"];
    o.label = g["--label"];
    if (g.has("--label") && (o.label.empty() || !o.record)) throw BadArgument{"--label names the run in the history: give --history and a TEXT"};
    if (g.has("--failures")) {
        o.failuresDir = g["--failures"];
        if (o.failuresDir.empty()) throw BadArgument{"--failures names an empty folder name"};
    }
    checkOutputs(o);
}

}  // namespace

Options parseOptions(int argc, char** argv) {
    Options o;
    for (const Shape& s : shapes()) {
        if (s.byDefault) o.shapes.push_back(s.name);
    }
    for (const Algorithm& a : algorithms()) {
        if (a.byDefault) o.algorithms.push_back(a.name);
    }
    CLI::App app{"", "hull-lab"};
    Given given;
    splitWords(argc, argv, app, given);
    o.help = given.help;
    o.version = given.version;
    if (o.help || o.version) return o;
    takeSets(given, o);
    takeInputs(given, o);
    const std::vector<std::size_t> pluginItem = takeEntries(given, o);
    o.list = given.list;
    if (o.list) {  // the entries of --plugin and --program listed too
        o.listTsv = given.has("--tsv");
        o.tsv = given["--tsv"];
        if (!o.tsv.empty()) checkOutputs(o);
        return o;
    }
    takeAlgorithms(given, o);
    takeSizes(given, o);
    takeRounds(given, o);
    takeMeasure(given, o);
    takeBaseline(given, o);
    takeBaselinePlugins(given, o, pluginItem);
    if (given.has("--baseline")) {
        const std::string why = baselineProblem(o.baseline);
        if (!why.empty()) throw BadArgument{"--baseline " + o.baseline + " " + why, false};
    }
    takeBudgetAndOutputs(given, o);
    takeHunt(given, o);
    return o;
}

}  // namespace lab
