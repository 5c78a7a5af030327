// hull-lab: the program's three hull functions on six shapes of input, beside CGAL and
// Boost.Geometry where this build has them, every hull checked against a reference hull.
//
//   hull-lab [--shapes LIST] [--sizes LIST] [--algorithms LIST] [--runs K] [--budget SECONDS]
//            [--seed S] [--tsv FILE] [--write-points DIR]
//
// Each cell (shape, size, algorithm) runs in a fresh process; a cell predicted to take longer than
// the budget is skipped, and one that runs far past it is stopped. Exit status: 0 every hull right,
// 1 a hull was WRONG or a cell crashed, 2 bad arguments (nothing was run).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
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
    std::string tsv;
    std::string pointsDir;
    double minSeconds = 0.2;
};

std::string usage() {
    std::ostringstream out;
    out << "usage: hull-lab [--shapes LIST] [--sizes LIST] [--algorithms LIST] [--runs K] [--budget SECONDS]\n"
           "                [--seed S] [--tsv FILE] [--write-points DIR]\n"
           "Times the hull algorithms on shapes of input, each cell (shape, size, algorithm) in a process of\n"
           "its own: copy + call + release in processor time, repeated for at least 0.2 s, K runs (default 3);\n"
           "prints the median seconds per call. Every cell's first hull is checked against a reference hull.\n"
           "LISTs are comma-separated. Defaults: every shape and algorithm, sizes 1000,10000,100000,1000000,\n"
           "budget 10 s per cell (a cell predicted from smaller sizes to take longer is skipped; one running\n"
           "past three times the budget and 2 s is stopped), seed 1.\n"
           "Shapes:\n";
    for (const Shape& s : shapes()) out << "  " << s.name << std::string(10 - s.name.size(), ' ') << s.growth << '\n';
    out << "Algorithms in this build (each of the program's beside its array form and the peers of its method):\n";
    for (const Algorithm& a : algorithms()) {
        const char* origin = a.origin == Origin::Program     ? " (the program's own, on a PointList)"
                             : a.origin == Origin::ArrayForm ? " (the program's, on a std::vector: same result)"
                             : a.origin == Origin::Lab       ? " (the lab's own, on a std::vector)"
                                                             : " (a library's, on a std::vector)";
        out << "  " << a.name << std::string(22 - a.name.size(), ' ') << a.method << origin << '\n';
    }
    out << "Exit status: 0 every hull right, 1 a WRONG hull or a crashed cell, 2 bad arguments.";
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
    for (const Shape& s : shapes()) o.shapes.push_back(s.name);
    for (const Algorithm& a : algorithms()) o.algorithms.push_back(a.name);
    std::map<std::string, std::string> given;
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        const char* known[] = {"--shapes", "--sizes", "--algorithms", "--runs", "--budget", "--seed", "--tsv",
                               "--write-points"};
        bool isKnown = false;
        for (const char* k : known) isKnown = isKnown || flag == k;
        if (!isKnown) throw BadArgument{"unknown argument " + flag};
        if (i + 1 >= argc) throw BadArgument{flag + " needs a value"};
        given[flag] = argv[++i];
    }
    if (given.count("--shapes")) {
        o.shapes = split(given["--shapes"]);
        for (const std::string& name : o.shapes) {
            bool found = false;
            for (const Shape& s : shapes()) found = found || s.name == name;
            if (!found) throw BadArgument{"unknown shape \"" + name + "\""};
        }
    }
    if (given.count("--algorithms")) {
        o.algorithms = split(given["--algorithms"]);
        for (const std::string& name : o.algorithms) {
            if (findAlgorithm(name) == nullptr) {
                throw BadArgument{"unknown algorithm \"" + name + "\", or not in this build (see --help)"};
            }
        }
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
    if (given.count("--runs")) {
        std::uint64_t runs = 0;
        if (!parseWhole(given["--runs"], runs) || runs < 1 || runs > 1000) {
            throw BadArgument{"--runs must be a whole number from 1 to 1000, not \"" + given["--runs"] + "\""};
        }
        o.runs = int(runs);
    }
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
        if (!options.tsv.empty()) {
            tsvFd = open(options.tsv.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (tsvFd < 0) throw BadArgument{"cannot write " + options.tsv + ": " + std::strerror(errno)};
        }
        if (!options.pointsDir.empty()) {
            const std::string& dir = options.pointsDir;
            if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
                throw BadArgument{"cannot make the points folder " + dir + ": " + std::strerror(errno)};
            }
            struct stat info {};
            if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || access(dir.c_str(), W_OK | X_OK) != 0) {
                throw BadArgument{"cannot write into the points folder " + dir};
            }
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

    Report report(options.algorithms, options.runs, options.budget, tsvFd);
    const std::size_t total = options.shapes.size() * options.sizes.size() * options.algorithms.size();
    std::size_t done = 0;
    int status = 0;
    // Smaller sizes first, so that every cell has a prediction from the cells before it.
    std::vector<std::int64_t> sizes = options.sizes;
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    for (const std::string& shapeName : options.shapes) {
        const Shape* shape = nullptr;
        for (const Shape& s : shapes()) shape = s.name == shapeName ? &s : shape;
        report.beginShape(*shape);
        std::map<std::string, std::vector<std::pair<std::int64_t, double>>> seen;  // by algorithm
        for (std::int64_t n : sizes) {
            // The row's h, for every cell, those that do not run included. The children work this
            // out again on their own, in processes that have not seen these lists.
            long long h = -1;
            {
                std::vector<Point> points = makeShape(shapeName, n, options.seed);
                h = (long long)reference::corners(referencePoints(points)).size();
                std::string path = options.pointsDir + "/" + shapeName + "-" + std::to_string(n) + ".txt";
                if (!options.pointsDir.empty() && !writePoints(path, points)) {
                    std::cerr << "hull-lab: cannot write " << path << '\n';
                    status = 1;
                }
            }
            for (const std::string& name : options.algorithms) {
                CellPlan plan{shapeName, n, options.seed, name, options.runs, options.minSeconds,
                              3 * options.budget + 2};
                double predicted = predict(seen[name], n);
                Outcome outcome;
                if (predicted * options.runs > options.budget) {
                    char note[64];
                    std::snprintf(note, sizeof note, "predicted %.1e s per call", predicted);
                    outcome = Outcome{shapeName, n, name, -1, Status::Skipped, predicted, 0, 0, note};
                } else {
                    report.progress(plan, done, total);
                    outcome = runChild(plan, &interrupted);
                }
                if (interrupted) break;
                if (outcome.status == Status::Ok || outcome.status == Status::Wrong) {
                    seen[name].push_back({n, outcome.min});  // the least noisy of the runs
                }
                if (outcome.status == Status::Wrong || outcome.status == Status::Crashed) {
                    std::cerr << "hull-lab: " << (outcome.status == Status::Wrong ? "WRONG hull" : "crashed") << ": "
                              << shapeName << ", " << n << " points, " << name << " (seed " << options.seed
                              << "): " << outcome.note << '\n';
                    status = 1;
                }
                if (outcome.h < 0) outcome.h = h;
                report.cell(outcome);
                ++done;
            }
            if (interrupted) break;
            report.endRow();
        }
        if (interrupted) break;
        report.endShape();
    }
    report.finish();
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
