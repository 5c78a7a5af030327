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

#include "hull_lab.h"

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

// About what a cell holds per point at most: the points, a list copy, an algorithm's own lists.
constexpr double kBytesPerPoint = 400;

// Checks every output the options name, touching none of them: a bad argument must not cost the
// user an earlier TSV. Throws BadArgument.
void checkOutputs(const Options& o) {
    if (!o.tsv.empty()) {
        std::string why = cannotWriteFile(o.tsv);
        if (!why.empty()) throw BadArgument{"cannot write " + o.tsv + ": " + why};
    }
    if (o.pointsDir.empty()) return;
    const std::string& dir = o.pointsDir;
    struct stat info {};
    if (stat(dir.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode) || access(dir.c_str(), W_OK | X_OK) != 0) {
            throw BadArgument{"cannot write into the points folder " + dir};
        }
        return;
    }
    std::string why = errno == ENOENT ? cannotWriteFile(dir) : std::strerror(errno);
    if (!why.empty()) throw BadArgument{"cannot make the points folder " + dir + ": " + why};
}

}  // namespace

std::string usage() {
    std::ostringstream out;
    out << "usage: hull-lab [--shapes LIST] [--sizes LIST] [--algorithms LIST] [--runs K] [--budget SECONDS]\n"
           "                [--seed S] [--sets N | --same-points] [--tsv FILE] [--write-points DIR]\n"
           "                [--repeat-report R] [--relative [ENTRY]] [--heap-defaults]\n"
           "                [--input FILES [--scale K] [--columns X,Y]]\n"
           "                [--plugin LIBRARY[:SYMBOL],...] [--program 'COMMAND'] [--failures DIR]\n"
           "                [--precision P [--max-runs M] | --runs K] [--baseline OTHER_HULL_LAB [--baseline-plugin LIST]\n"
           "                 [--min-change X] [--fail-slower X]] [--min-seconds S]\n"
           "       hull-lab --version | --help\n"
           "Times the hull algorithms on shapes of input, each run of a cell (shape, size, algorithm) in a\n"
           "process of its own: copy + call + release in processor time, repeated for at least 0.2 s, K runs\n"
           "(default 3) in K rounds: round r runs the r-th process of every cell of a row (shape, size), in an\n"
           "order shuffled afresh each round from the seed, so that a slow spell of the machine falls on the\n"
           "whole row. Prints the median seconds per call over the runs and, as +-X%, the 95% interval in\n"
           "which another run of the lab would put it (Student's t on the runs' logarithms, sqrt(2) wider for\n"
           "the other run's own noise, their spread at least that of the run's median cell); \"?\" marks an\n"
           "interval wider than +-10%. --precision P (0.05 or 5%): after the K rounds, more rounds for the cells whose interval is\n"
           "wider than +-P, up to --max-runs M (default 8) and within the budget; the run lists those that did not\n"
           "get there. A process before the rounds checks the hulls, untimed. Successive calls take the cell's point sets in\n"
           "turn (default\n"
           "16 sets up to 10,000 points, fewer above so that they hold 160,000 points at most, one from\n"
           "100,000), so that no branch predictor learns one input; every set's first hull is checked\n"
           "against a reference hull, and h is the first set's. --same-points: one set, every call on the\n"
           "same points. --sets N: N sets (1 to 256). --repeat-report R: runs every cell R times (2 to 100),\n"
           "each in a fresh process, and prints the spread of each cell's medians (max / min) instead of\n"
           "the tables. --relative [ENTRY]: the tables give every figure as a multiple of ENTRY's in the same\n"
           "row (default copy, the floor), with the 95% interval of the ratios of runs made in the same round,\n"
           "so that what the machine did in a round divides out (the TSV keeps seconds). --heap-defaults: glibc's heap settings in every cell (by default no\n"
           "cell gives memory back to the system, glibc's mmap and trimming off, so that no call faults its\n"
           "copy's pages in afresh, and the list cells from 100,000 points run without its fast bins).\n"
           "--input FILE[,FILE...]: the points of each file instead of the shapes (shapes run too when named),\n"
           "each file a table of its own; a file holds \"x;y\", \"x,y\" or \"x y\" per line (one header line of\n"
           "names, \"#\" lines and blank lines allowed), whole numbers with |coordinate| < 2^30. --scale K: decimal\n"
           "coordinates times K, each of which must come out whole (degrees with 6 decimals: --scale 1000000).\n"
           "The calls take copies of the file's points in shuffled orders, as many as the sets of a shape of\n"
           "that size, every one of them checked; --same-points: the file's own order, every call.\n"
           "--input -: the points of standard input. --columns X,Y: x and y are these two fields of each line\n"
           "(numbers from 1, or names of the header line), the others ignored (a CSV of lon,lat,name: --columns 1,2).\n"
           "--plugin LIBRARY: your own hull in a shared library (include/hull_lab_plugin.h): an entry for each of\n"
           "hull_lab_hull and hull_lab_hull_f64 it exports, named after the file (libgraham.so: graham,\n"
           "graham-f64); LIBRARY:SYMBOL for a function of another name (one ending in _f64 takes doubles).\n"
           "--program 'COMMAND': your own hull as a program in any language, run through the shell with a point\n"
           "file's path (\"x;y\" lines) appended; it prints the corners (\"x;y\", \"x,y\" or \"x y\" lines). It may\n"
           "compute the hull $HULL_LAB_ROUNDS times and print \"time: SECONDS\" for each round on standard error\n"
           "(self-timed); else it is timed as a whole process, start-up and reading included; it refuses an\n"
           "input with \"refused: REASON\" on standard error and a status other than 0. Your entries are\n"
           "first judged on 14 hard inputs, each in a process of its own, and every hull of theirs is checked in\n"
           "either direction and from any start; each failure's input is written to a point file in --failures DIR\n"
           "(default hull-lab-failures). A wrong hull, refusal, crash, hang or overrun ends that cell only.\n"
           "--baseline OTHER_HULL_LAB: every cell is run by another build of hull-lab too, A B B A within each\n"
           "round, and given as new / old with the 95% interval of the ratios of the same round; a cell is\n"
           "called slower or faster when it changed by --min-change (default 5%) or more and the interval at\n"
           "1 - 0.05 / (C x L) excludes 1 (C: the run's cells, L: the looks at each), so that two equal builds\n"
           "see any cell called different with a chance of 5% at most. 4 rounds, then more up to --max-runs\n"
           "(default 20) for the cells off 1 by half --min-change or more whose rounds lean that way (p < 0.3)\n"
           "and that are not yet called (--runs K: K rounds, no more, one look).\n"
           "--fail-slower X: exit 1 when a cell is slower by more than X. --baseline-plugin LIST: the\n"
           "baseline's builds of --plugin's libraries. The copy floor, whose code both builds share, is the control.\n"
           "Every option takes --name value or --name=value; sizes may be written 1000000 or 1e6.\n"
           "The output opens with the run's context (date, version, compiler, CPU, caches, memory, load,\n"
           "libraries); the TSV starts with the same as \"#\" lines and gives every run's figure.\n"
           "LISTs are comma-separated; --algorithms all: every algorithm below. Defaults: every shape and\n"
           "algorithm not marked (named only) below,\n"
           "sizes 1000,10000,100000,1000000,\n"
           "budget 10 s per cell (a cell predicted from smaller sizes to take longer, its runs and the checks\n"
           "of its sets together, is skipped; one whose check shows that its runs would take more than three\n"
           "times the budget is not timed; a process running past three times the budget and 2 s is stopped),\n"
           "seed 1.\n"
           "Shapes:\n";
    for (const Shape& s : shapes()) {
        out << "  " << s.name << std::string(10 - s.name.size(), ' ') << s.growth << (s.byDefault ? "" : " (named only)")
            << '\n';
    }
    out << "Algorithms in this build (each of the program's beside its array form and the peers of its method):\n";
    for (const Algorithm& a : algorithms()) {
        const char* origin = a.origin == Origin::Program     ? " (the program's own, on a PointList)"
                             : a.origin == Origin::ArrayForm ? " (the program's, on a std::vector: same result)"
                             : a.origin == Origin::Lab       ? " (the lab's own, on a std::vector)"
                                                             : "";
        const std::string calls = *a.calls != '\0' ? std::string(" (") + a.calls + ")" : origin;
        out << "  " << std::left << std::setw(34) << a.name << ' ' << a.method << calls
            << (a.byDefault ? "" : " (named only)") << '\n';
    }
    out << "Each peer's call first copies the points into the form its library takes (GEOS: a MultiPoint\n"
           "geometry, a Point each; Qhull: an array of doubles; the others a std::vector), and that copy is\n"
           "timed, as a caller pays for it. A library that gives up on a point set shows as refused, with its\n"
           "message; one whose hull is not right, as WRONG.\n"
           "Exit status: 0 every hull right, 1 a WRONG hull, a refused point set or a crashed cell (each named\n"
           "on standard error) or an entry of yours that failed a hard input, 2 bad arguments, a bad point file\n"
           "or a plugin that cannot be loaded (nothing run, no file touched).";
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

Options parseOptions(int argc, char** argv) {
    Options o;
    for (const Shape& s : shapes()) {
        if (s.byDefault) o.shapes.push_back(s.name);
    }
    for (const Algorithm& a : algorithms()) {
        if (a.byDefault) o.algorithms.push_back(a.name);
    }
    // CLI11 splits the words (--name value, --name=value); the values are checked below, so that
    // each message names the option and what it takes.
    CLI::App app{"hull-lab"};
    app.set_help_flag();
    app.allow_extras();
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    std::map<std::string, std::string> given;
    for (const char* name : {"--shapes", "--sizes", "--algorithms", "--runs", "--budget", "--seed", "--tsv",
                             "--write-points", "--sets", "--repeat-report", "--input", "--scale", "--columns",
                             "--failures", "--precision", "--max-runs", "--baseline", "--baseline-plugin", "--min-change",
                             "--fail-slower", "--min-seconds"}) {
        app.add_option(name, given[name]);
    }
    std::vector<std::string> plugins, programs;  // each may be given again
    app.add_option("--plugin", plugins)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("--program", programs)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    bool samePoints = false;
    app.add_flag("--same-points", samePoints);
    app.add_option("--relative", o.relative)->expected(0, 1);
    app.add_flag("--heap-defaults", o.heapDefaults);
    app.add_flag("--help,-h", o.help);
    app.add_flag("--version", o.version);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ArgumentMismatch& e) {
        const std::string what = e.what();  // "--runs: 1 required TEXT missing"
        throw BadArgument{what.substr(0, what.find(':')) + " needs a value"};
    } catch (const CLI::ParseError& e) {
        throw BadArgument{e.what()};
    }
    if (!app.remaining().empty()) throw BadArgument{"unknown argument " + app.remaining().front()};
    if (o.help || o.version) return o;
    auto has = [&app](const char* name) { return app.count(name) > 0; };
    // A whole number from `least` to `most`, or a BadArgument that names the flag.
    auto whole = [&given](const std::string& flag, std::uint64_t least, std::uint64_t most) {
        std::uint64_t value = 0;
        if (!parseCount(given[flag], value) || value < least || value > most) {
            throw BadArgument{flag + " must be a whole number from " + std::to_string(least) + " to " +
                              std::to_string(most) + ", not \"" + given[flag] + "\""};
        }
        return value;
    };
    if (has("--sets") && samePoints) throw BadArgument{"--sets and --same-points cannot be given together"};
    if (has("--sets")) o.sets = int(whole("--sets", 1, 256));
    if (samePoints) o.sets = 1;
    o.samePoints = samePoints;
    if (has("--repeat-report")) {
        o.repeat = int(whole("--repeat-report", 2, 100));
        if (has("--tsv")) throw BadArgument{"--repeat-report prints its own report; it takes no --tsv"};
    }
    if (has("--input")) {
        o.inputs = split(given["--input"]);
        for (const std::string& path : o.inputs) {
            if (path.empty()) throw BadArgument{"--input names an empty file name"};
        }
        if (!has("--shapes")) {
            o.shapes.clear();
            if (has("--sizes")) throw BadArgument{"--sizes sets the shapes' sizes; with --input name --shapes too"};
        }
    }
    if (std::count(o.inputs.begin(), o.inputs.end(), "-") > 1) throw BadArgument{"--input names standard input (-) twice"};
    if (has("--columns")) {
        if (!has("--input")) throw BadArgument{"--columns applies to the points of --input files"};
        const std::vector<std::string> names = split(given["--columns"]);
        if (names.size() != 2 || names[0].empty() || names[1].empty() || names[0] == names[1]) {
            throw BadArgument{"--columns takes two different columns X,Y (numbers from 1, or names of the header line), not \"" +
                              given["--columns"] + "\""};
        }
        o.columns = {names[0], names[1]};
    }
    if (has("--scale")) {
        if (!has("--input")) throw BadArgument{"--scale applies to the points of --input files"};
        o.scale = std::int64_t(whole("--scale", 1, 1000000000000000000ull));
    }
    if (has("--shapes")) {
        o.shapes = split(given["--shapes"]);
        for (const std::string& name : o.shapes) {
            bool found = false;
            for (const Shape& s : shapes()) found = found || s.name == name;
            if (!found) throw BadArgument{"unknown shape \"" + name + "\""};
        }
    }
    // The user's entries, loaded now: a library that cannot be loaded stops the run before it starts.
    std::vector<std::string> taken;
    for (const Algorithm& a : algorithms()) taken.push_back(a.name);
    std::vector<std::size_t> pluginItem;  // for each plugin entry, the --plugin item it came from
    std::size_t pluginItemCount = 0;
    try {
        for (const std::string& list : plugins) {
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
    for (const std::string& command : programs) {
        if (command.find_first_not_of(" \t") == std::string::npos) throw BadArgument{"--program names an empty command"};
        o.entries.push_back(programEntry(command, taken));
        taken.push_back(o.entries.back().name);
    }
    std::vector<Algorithm> added;
    for (const UserEntry& entry : o.entries) added.push_back(userAlgorithm(entry));
    addAlgorithms(std::move(added));
    if (has("--algorithms") && given["--algorithms"] == "all") {
        o.algorithms.clear();
        for (const Algorithm& a : algorithms()) o.algorithms.push_back(a.name);
    } else if (has("--algorithms")) {
        o.algorithms = split(given["--algorithms"]);
        for (const std::string& name : o.algorithms) {
            if (findAlgorithm(name) == nullptr) {
                throw BadArgument{"unknown algorithm \"" + name + "\", or not in this build (see --help)"};
            }
        }
    }
    // The user's entries run whether or not --algorithms names them; naming them places them.
    for (const UserEntry& entry : o.entries) {
        if (std::find(o.algorithms.begin(), o.algorithms.end(), entry.name) == o.algorithms.end()) {
            o.algorithms.push_back(entry.name);
        }
    }
    if (has("--relative") && o.relative.empty()) o.relative = "copy";
    if (!o.relative.empty() && std::find(o.algorithms.begin(), o.algorithms.end(), o.relative) == o.algorithms.end()) {
        throw BadArgument{"--relative shows each figure as a multiple of " + o.relative + "'s in the same round: " +
                          "--algorithms must name " + o.relative};
    }
    if (has("--sizes")) {
        o.sizes.clear();
        const double memory = double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGESIZE));
        for (const std::string& word : split(given["--sizes"])) {
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
    // A fraction: "0.05" or "5%".
    auto fraction = [&given](const std::string& flag, double least, double most) {
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
    };
    if (has("--runs") && has("--precision")) {
        throw BadArgument{"--runs fixes the count of runs; --precision adds runs until the interval is narrow: give one"};
    }
    if (has("--runs")) o.runs = int(whole("--runs", 1, 1000));
    if (has("--precision")) o.precision = fraction("--precision", 0.0001, 1);
    if (has("--max-runs")) {
        if (o.precision == 0 && !has("--baseline")) {
            throw BadArgument{"--max-runs bounds the runs that --precision or --baseline adds; --runs fixes them"};
        }
        if (has("--runs")) throw BadArgument{"--max-runs bounds the runs that --precision or --baseline adds; --runs fixes them"};
        o.maxRuns = int(whole("--max-runs", 3, 1000));
    }
    if (has("--min-change")) o.minChange = fraction("--min-change", 0, 1);
    if (has("--min-seconds")) {
        const std::string& text = given["--min-seconds"];
        char* end = nullptr;
        o.minSeconds = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !(o.minSeconds >= 0.001 && o.minSeconds <= 60)) {
            throw BadArgument{"--min-seconds must be a number of seconds from 0.001 to 60, not \"" + text + "\""};
        }
    }
    if (has("--baseline")) {
        o.baseline = given["--baseline"];
        if (o.baseline.empty()) throw BadArgument{"--baseline names an empty file name"};
        if (o.repeat > 0) throw BadArgument{"--repeat-report and --baseline cannot be given together"};
        if (!o.relative.empty()) throw BadArgument{"--baseline gives every figure as new / old already; it takes no --relative"};
        struct stat info {};
        if (stat(o.baseline.c_str(), &info) != 0) throw BadArgument{"--baseline " + o.baseline + ": " + std::strerror(errno), false};
        if (!S_ISREG(info.st_mode) || access(o.baseline.c_str(), X_OK) != 0) {
            throw BadArgument{"--baseline " + o.baseline + " is not a program this user can run", false};
        }
        if (!has("--runs")) {
            o.runs = 4;  // two A B B A blocks at least, then more for the cells not yet decided
            o.moreRounds = !has("--precision");
            if (!has("--max-runs")) o.maxRuns = 20;
        }
        // The control: the copy floor, whose code the two builds share.
        if (findAlgorithm("copy") != nullptr && std::find(o.algorithms.begin(), o.algorithms.end(), "copy") == o.algorithms.end()) {
            o.algorithms.push_back("copy");
        }
    }
    if (has("--fail-slower")) {
        if (!has("--baseline")) throw BadArgument{"--fail-slower compares with a baseline: give --baseline"};
        o.failSlower = fraction("--fail-slower", 0, 100);
    }
    if (has("--baseline-plugin")) {
        if (!has("--baseline") || o.entries.empty()) {
            throw BadArgument{"--baseline-plugin gives the baseline other builds of --plugin's libraries: give both"};
        }
        std::vector<std::string> items;
        for (const std::string& list : plugins) {
            for (const std::string& item : split(list)) items.push_back(item);
        }
        const std::vector<std::string> olds = split(given["--baseline-plugin"]);
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
    if (has("--baseline")) {
        const std::string why = baselineProblem(o.baseline);
        if (!why.empty()) throw BadArgument{"--baseline " + o.baseline + " " + why, false};
    }
    if (has("--budget")) {
        const std::string& text = given["--budget"];
        char* end = nullptr;
        o.budget = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(o.budget) || o.budget <= 0) {
            throw BadArgument{"--budget must be a number of seconds above 0, not \"" + text + "\""};
        }
    }
    if (has("--seed") && !parseWhole(given["--seed"], o.seed)) {
        throw BadArgument{"--seed must be a whole number, not \"" + given["--seed"] + "\""};
    }
    o.tsv = given["--tsv"];
    o.pointsDir = given["--write-points"];
    if (has("--failures")) {
        o.failuresDir = given["--failures"];
        if (o.failuresDir.empty()) throw BadArgument{"--failures names an empty folder name"};
    }
    checkOutputs(o);
    return o;
}

}  // namespace lab
