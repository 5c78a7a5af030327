// hull-lab: the program's three hull functions on eight shapes of input, beside CGAL,
// Boost.Geometry, GEOS, OpenCV and Qhull where this build has them, every hull checked against a
// reference hull.
//
//   hull-lab [--shapes LIST] [--sizes LIST] [--algorithms LIST] [--runs K] [--budget SECONDS]
//            [--seed S] [--sets N | --same-points] [--tsv FILE] [--write-points DIR]
//            [--repeat-report R] [--relative] [--heap-defaults]
//
// Each cell (shape, size, algorithm) runs in a fresh process, its timed calls taking several point
// sets of the shape in turn; a cell predicted to take longer than the budget is skipped, and one
// that runs far past it is stopped. --repeat-report runs every cell R times, each in a fresh
// process, and prints each cell's spread. Exit status: 0 every hull right, 1 a hull was WRONG, a
// library refused a point set or a cell crashed, 2 bad arguments (nothing was run and no file was
// touched).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>

#include "lab.h"

namespace {

using namespace lab;

volatile int interrupted = 0;  // the signal that asks the lab to stop, or 0

extern "C" void onSignal(int signal) { interrupted = signal; }

struct Options {
    std::vector<std::string> shapes;
    std::vector<std::int64_t> sizes = {1000, 10000, 100000, 1000000};
    std::vector<std::string> algorithms;
    int runs = 3;
    double budget = 10;
    std::uint64_t seed = 1;
    int sets = 0;  // point sets per cell; 0: defaultSets(n)
    int repeat = 0;  // rounds of the repeat report; 0: a plain run
    bool relative = false;  // tables in multiples of the copy floor
    bool heapDefaults = false;  // glibc's heap settings in every cell
    std::string tsv;
    std::string pointsDir;
    double minSeconds = 0.2;
};

std::string usage() {
    std::ostringstream out;
    out << "usage: hull-lab [--shapes LIST] [--sizes LIST] [--algorithms LIST] [--runs K] [--budget SECONDS]\n"
           "                [--seed S] [--sets N | --same-points] [--tsv FILE] [--write-points DIR]\n"
           "                [--repeat-report R] [--relative] [--heap-defaults]\n"
           "Times the hull algorithms on shapes of input, each cell (shape, size, algorithm) in a process of\n"
           "its own: copy + call + release in processor time, repeated for at least 0.2 s, K runs (default 3);\n"
           "prints the median seconds per call. Successive calls take the cell's point sets in turn (default\n"
           "16 sets up to 10,000 points, fewer above so that they hold 160,000 points at most, one from\n"
           "100,000), so that no branch predictor learns one input; every set's first hull is checked\n"
           "against a reference hull, and h is the first set's. --same-points: one set, every call on the\n"
           "same points. --sets N: N sets (1 to 256). --repeat-report R: runs every cell R times (2 to 100),\n"
           "each in a fresh process, and prints the spread of each cell's medians (max / min) instead of\n"
           "the tables. --relative: the tables give every figure as a multiple of the row's copy floor (the\n"
           "TSV keeps seconds). --heap-defaults: glibc's heap settings in every cell (by default the list\n"
           "cells from 100,000 points run without its fast bins and trimming, and the array cells whose copy\n"
           "is over 32 MiB without mmap and trimming, so that no call faults its copy's pages in afresh).\n"
           "LISTs are comma-separated; --algorithms all: every algorithm below. Defaults: every shape and\n"
           "algorithm not marked (named only) below,\n"
           "sizes 1000,10000,100000,1000000,\n"
           "budget 10 s per cell (a cell predicted from smaller sizes to take longer, its runs and the checks\n"
           "of its sets together, is skipped; one running past three times the budget and 2 s is stopped),\n"
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
           "on standard error), 2 bad arguments.";
    return out.str();
}

struct BadArgument {
    std::string message;
};

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

Options parse(int argc, char** argv) {
    Options o;
    for (const Shape& s : shapes()) {
        if (s.byDefault) o.shapes.push_back(s.name);
    }
    for (const Algorithm& a : algorithms()) {
        if (a.byDefault) o.algorithms.push_back(a.name);
    }
    std::map<std::string, std::string> given;
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        const char* known[] = {"--shapes", "--sizes", "--algorithms", "--runs", "--budget", "--seed", "--tsv",
                               "--write-points", "--sets", "--repeat-report"};
        bool isKnown = false;
        for (const char* k : known) isKnown = isKnown || flag == k;
        if (flag == "--same-points" || flag == "--relative" || flag == "--heap-defaults") {
            given[flag] = "";
            continue;
        }
        if (!isKnown) throw BadArgument{"unknown argument " + flag};
        if (i + 1 >= argc) throw BadArgument{flag + " needs a value"};
        given[flag] = argv[++i];
    }
    // A whole number from `least` to `most`, or a BadArgument that names the flag.
    auto whole = [&given](const std::string& flag, std::uint64_t least, std::uint64_t most) {
        std::uint64_t value = 0;
        if (!parseWhole(given[flag], value) || value < least || value > most) {
            throw BadArgument{flag + " must be a whole number from " + std::to_string(least) + " to " +
                              std::to_string(most) + ", not \"" + given[flag] + "\""};
        }
        return int(value);
    };
    if (given.count("--sets") && given.count("--same-points")) {
        throw BadArgument{"--sets and --same-points cannot be given together"};
    }
    if (given.count("--sets")) o.sets = whole("--sets", 1, 256);
    if (given.count("--same-points")) o.sets = 1;
    o.relative = given.count("--relative") > 0;
    o.heapDefaults = given.count("--heap-defaults") > 0;
    if (given.count("--repeat-report")) {
        o.repeat = whole("--repeat-report", 2, 100);
        if (given.count("--tsv")) throw BadArgument{"--repeat-report prints its own report; it takes no --tsv"};
    }
    if (given.count("--shapes")) {
        o.shapes = split(given["--shapes"]);
        for (const std::string& name : o.shapes) {
            bool found = false;
            for (const Shape& s : shapes()) found = found || s.name == name;
            if (!found) throw BadArgument{"unknown shape \"" + name + "\""};
        }
    }
    if (given.count("--algorithms") && given["--algorithms"] == "all") {
        o.algorithms.clear();
        for (const Algorithm& a : algorithms()) o.algorithms.push_back(a.name);
    } else if (given.count("--algorithms")) {
        o.algorithms = split(given["--algorithms"]);
        for (const std::string& name : o.algorithms) {
            if (findAlgorithm(name) == nullptr) {
                throw BadArgument{"unknown algorithm \"" + name + "\", or not in this build (see --help)"};
            }
        }
    }
    if (o.relative && std::find(o.algorithms.begin(), o.algorithms.end(), "copy") == o.algorithms.end()) {
        throw BadArgument{"--relative shows each figure as a multiple of the copy floor: --algorithms must name copy"};
    }
    if (given.count("--sizes")) {
        o.sizes.clear();
        const double memory = double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGESIZE));
        for (const std::string& word : split(given["--sizes"])) {
            std::uint64_t n = 0;
            if (!parseWhole(word, n) || n == 0) throw BadArgument{"size \"" + word + "\" is not a positive whole number"};
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
    if (given.count("--runs")) o.runs = whole("--runs", 1, 1000);
    if (given.count("--budget")) {
        const std::string& text = given["--budget"];
        char* end = nullptr;
        o.budget = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(o.budget) || o.budget <= 0) {
            throw BadArgument{"--budget must be a number of seconds above 0, not \"" + text + "\""};
        }
    }
    if (given.count("--seed") && !parseWhole(given["--seed"], o.seed)) {
        throw BadArgument{"--seed must be a whole number, not \"" + given["--seed"] + "\""};
    }
    o.tsv = given["--tsv"];
    o.pointsDir = given["--write-points"];
    return o;
}

// Writes a point set as a point file, "x;y" lines.
bool writePoints(const std::string& path, const std::vector<Point>& points) {
    std::ofstream out(path, std::ios::out | std::ios::trunc);
    for (const Point& p : points) out << p.x << ';' << p.y << '\n';
    out.close();
    return bool(out);
}

// The predicted seconds per call at n, from the same shape and algorithm at smaller sizes (their
// fastest runs): the power law through the last two, its exponent held between 1 and 2.5; from
// one size alone, n^2.
double predict(const std::vector<std::pair<std::int64_t, double>>& seen, std::int64_t n) {
    if (seen.empty()) return 0;
    auto [n2, t2] = seen.back();
    double exponent = 2;
    if (seen.size() >= 2) {
        auto [n1, t1] = seen[seen.size() - 2];
        if (t1 > 0 && t2 > 0 && n2 > n1) exponent = std::log(t2 / t1) / std::log(double(n2) / double(n1));
        exponent = std::min(2.5, std::max(1.0, exponent));
    }
    return t2 * std::pow(double(n) / double(n2), exponent);
}

// The memory the system says it can give without swapping (MemAvailable), or all of it.
double availableBytes() {
    std::ifstream meminfo("/proc/meminfo");
    for (std::string name; meminfo >> name;) {
        double kib = 0;
        meminfo >> kib;
        if (name == "MemAvailable:") return kib * 1024;
        meminfo.ignore(256, '\n');
    }
    return double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGESIZE));
}

// Why `path` cannot be written as a file, or "": found without creating or emptying anything.
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

std::string cellKey(const std::string& shape, std::int64_t n, const std::string& algorithm) {
    return shape + " " + std::to_string(n) + " " + algorithm;
}

// One pass over every cell of the options, shape by shape, smaller sizes first, each cell in a
// fresh process. `first`, on the later passes of a repeat report, holds the first pass's outcomes:
// a cell that was not timed there is not run again. Every outcome is added to `outcomes`; `hOfRow`
// keeps each row's h across passes. Returns 1 when a hull was WRONG, a library refused a point set
// or a cell crashed, else 0.
int runPass(const Options& options, Report& report, const std::map<std::string, Outcome>* first,
            std::map<std::string, std::vector<Outcome>>& outcomes, std::map<std::string, long long>& hOfRow,
            std::size_t& done, std::size_t total) {
    int status = 0;
    const std::vector<std::int64_t>& sizes = options.sizes;  // ascending, each once
    for (const std::string& shapeName : options.shapes) {
        const Shape* shape = nullptr;
        for (const Shape& s : shapes()) shape = s.name == shapeName ? &s : shape;
        report.beginShape(*shape);
        std::map<std::string, std::vector<std::pair<std::int64_t, double>>> seen;  // by algorithm
        std::map<std::string, std::pair<std::int64_t, double>> peak;               // by algorithm: n, bytes
        for (std::int64_t n : sizes) {
            // The row's h, for every cell, those that do not run included: the first point set's.
            // The children work this out again on their own, in processes that have not seen
            // these lists.
            const std::string row = shapeName + " " + std::to_string(n);
            if (!hOfRow.count(row)) {
                std::vector<Point> points = makeShape(shapeName, n, options.seed);
                hOfRow[row] = (long long)reference::corners(referencePoints(points)).size();
                std::string path = options.pointsDir + "/" + shapeName + "-" + std::to_string(n) + ".txt";
                if (!options.pointsDir.empty() && !writePoints(path, points)) {
                    std::cerr << "hull-lab: cannot write " << path << '\n';
                    status = 1;
                }
            }
            for (const std::string& name : options.algorithms) {
                const int sets = options.sets > 0 ? options.sets : defaultSets(n);
                CellPlan plan{shapeName, n, options.seed, name, options.runs, options.minSeconds, sets,
                              3 * options.budget + 2, options.heapDefaults};
                const std::string key = cellKey(shapeName, n, name);
                double predicted = predict(seen[name], n);
                // Memory grows with n: the peak of the largest size run so far, scaled, once that
                // size is large enough (100,000 points) for the points to outweigh the process's
                // own few tens of megabytes.
                const double bytes = peak.count(name) && peak[name].first >= 100000
                                         ? peak[name].second * double(n) / double(peak[name].first)
                                         : 0;
                Outcome outcome;
                if (first != nullptr && first->at(key).status != Status::Ok && first->at(key).status != Status::Wrong) {
                    outcome = first->at(key);
                } else if (first == nullptr && bytes > 0.8 * availableBytes()) {
                    // Skipped rather than killed by the system when it runs out.
                    char note[96];
                    std::snprintf(note, sizeof note, "predicted %.1f GB of memory; %.1f GB available", bytes / 1e9,
                                  availableBytes() / 1e9);
                    outcome = Outcome{shapeName, n, name, -1, Status::Skipped, predicted, 0, 0, 0, note};
                } else if (first == nullptr && predicted * (options.runs + sets) > options.budget) {
                    // A call longer than the minimum time makes a run alone, and every set's first
                    // call is checked before the timing: runs + sets calls.
                    char note[64];
                    std::snprintf(note, sizeof note, "predicted %.1e s per call", predicted);
                    outcome = Outcome{shapeName, n, name, -1, Status::Skipped, predicted, 0, 0, 0, note};
                } else {
                    report.progress(plan, done, total);
                    outcome = runChild(plan, &interrupted);
                }
                if (interrupted) return status;
                if (outcome.status == Status::Ok || outcome.status == Status::Wrong) {
                    seen[name].push_back({n, outcome.min});  // the least noisy of the runs
                }
                if (outcome.peakBytes > 0) peak[name] = {n, outcome.peakBytes};
                if (outcome.status == Status::Wrong || outcome.status == Status::Refused ||
                    outcome.status == Status::Crashed) {
                    const char* what = outcome.status == Status::Wrong     ? "WRONG hull"
                                       : outcome.status == Status::Refused ? "refused"
                                                                           : "crashed";
                    std::cerr << "hull-lab: " << what << ": "
                              << shapeName << ", " << n << " points, " << name << " (seed " << options.seed
                              << "): " << outcome.note << '\n';
                    status = 1;
                }
                if (outcome.h < 0) outcome.h = hOfRow[row];
                report.cell(outcome);
                outcomes[key].push_back(outcome);
                ++done;
            }
            report.endRow();
        }
        report.endShape();
    }
    return status;
}

// The repeat report: per shape a table of each cell's spread, the largest of its medians over the
// smallest, then the largest spreads.
void printSpreads(const Options& options, const std::map<std::string, std::vector<Outcome>>& outcomes) {
    const std::vector<std::int64_t>& sizes = options.sizes;  // ascending, each once
    auto spreadOf = [&](const std::string& key, double& spread) {
        double least = 0, most = 0;
        auto it = outcomes.find(key);
        if (it == outcomes.end() || int(it->second.size()) < options.repeat) return false;
        for (const Outcome& o : it->second) {
            if (o.status != Status::Ok && o.status != Status::Wrong) return false;
            least = least == 0 ? o.median : std::min(least, o.median);
            most = std::max(most, o.median);
        }
        spread = least > 0 ? most / least : 0;
        return least > 0;
    };
    auto width = [](const std::string& name) { return int(std::max<std::size_t>(name.size(), 6) + 2); };
    std::cout << "Spread of each cell's median over " << options.repeat
              << " runs, each in a fresh process: largest / smallest (- : not timed in every run)\n\n";
    std::pair<double, std::string> worstList{0, ""}, worst{0, ""};
    for (const std::string& shape : options.shapes) {
        std::cout << shape << ":\n" << std::setw(9) << "n";
        for (const std::string& name : options.algorithms) std::cout << std::setw(width(name)) << name;
        std::cout << '\n';
        for (std::int64_t n : sizes) {
            std::cout << std::setw(9) << n;
            for (const std::string& name : options.algorithms) {
                const std::string key = cellKey(shape, n, name);
                double spread = 0;
                char text[32] = "-";
                if (spreadOf(key, spread)) {
                    std::snprintf(text, sizeof text, "%.2f", spread);
                    worst = std::max(worst, {spread, key});
                    if (n >= 100000 && findAlgorithm(name)->origin == Origin::Program) worstList = std::max(worstList, {spread, key});
                }
                std::cout << std::setw(width(name)) << text;
            }
            std::cout << '\n';
        }
        std::cout << '\n';
    }
    char line[160];
    if (!worstList.second.empty()) {
        std::snprintf(line, sizeof line, "largest spread, the program's list cells from 100,000 points: %.2f (%s)\n",
                      worstList.first, worstList.second.c_str());
        std::cout << line;
    }
    if (!worst.second.empty()) {
        std::snprintf(line, sizeof line, "largest spread, every cell: %.2f (%s)\n", worst.first, worst.second.c_str());
        std::cout << line;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--cell") return cellMain(argc, argv);
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::cout << usage() << '\n';
        return 0;
    }
    Options options;
    int tsvFd = -1;
    try {
        options = parse(argc, argv);
        checkOutputs(options);  // every argument is checked before anything is written
        if (!options.pointsDir.empty() && mkdir(options.pointsDir.c_str(), 0755) != 0 && errno != EEXIST) {
            throw BadArgument{"cannot make the points folder " + options.pointsDir + ": " + std::strerror(errno)};
        }
        if (!options.tsv.empty()) {
            tsvFd = open(options.tsv.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (tsvFd < 0) throw BadArgument{"cannot write " + options.tsv + ": " + std::strerror(errno)};
        }
    } catch (const BadArgument& bad) {
        std::cerr << "hull-lab: " << bad.message << '\n' << usage() << '\n';
        return 2;
    }

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const std::string sets = options.sets == 1   ? "every call on the same points"
                             : options.sets > 1 ? "each call on the next of " + std::to_string(options.sets) + " point sets"
                                                : "each call on the next of the cell's point sets";
    Report report(options.algorithms, options.runs, options.budget, tsvFd, sets, options.repeat == 0, options.relative);
    const int passes = std::max(1, options.repeat);
    const std::size_t total = std::size_t(passes) * options.shapes.size() * options.sizes.size() * options.algorithms.size();
    std::size_t done = 0;
    int status = 0;
    std::map<std::string, std::vector<Outcome>> outcomes;
    std::map<std::string, long long> hOfRow;
    std::map<std::string, Outcome> first;
    for (int pass = 0; pass < passes && !interrupted; ++pass) {
        status |= runPass(options, report, pass == 0 ? nullptr : &first, outcomes, hOfRow, done, total);
        if (pass == 0) {
            for (const auto& [key, list] : outcomes) first[key] = list.front();
        }
    }
    report.finish();
    if (options.repeat > 0 && !interrupted) printSpreads(options, outcomes);
    if (tsvFd >= 0 && close(tsvFd) != 0) {
        std::cerr << "hull-lab: cannot write " << options.tsv << ": " << std::strerror(errno) << '\n';
        status = 1;
    }
    if (interrupted) {
        std::signal(interrupted, SIG_DFL);
        std::raise(interrupted);
    }
    return status;
}
