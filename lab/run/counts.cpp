// Counts from Valgrind's Callgrind: the simulated caches, the words that start it, and its output
// read back.
//
// Callgrind rather than Cachegrind: Valgrind 3.19's Cachegrind has no client requests, so it counts
// the whole process (the points made, the check, the copies of the other sets); Callgrind's
// CALLGRIND_TOGGLE_COLLECT switches the counting on and off around each call, while the simulated
// caches run all along and hold what the earlier calls left in them, as the timed calls' caches do.

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <sstream>

#include <boost/math/statistics/bivariate_statistics.hpp>

#include "run/counts.h"

namespace lab {

const char* const kEstCyclesFormula = "est_cycles = L1 hits + 5 x LL hits + 35 x RAM accesses (as iai estimates)";

namespace {

std::string sizeText(long bytes) {
    return bytes >= (1 << 20) && bytes % (1 << 20) == 0 ? std::to_string(bytes >> 20) + " MiB"
                                                       : std::to_string(bytes >> 10) + " KiB";
}

}  // namespace

CacheModel machineCaches() {
    CacheModel model;
    std::string i1Said, d1Said, llSaid;
    int lastLevel = 0;
    long line = 0;
    for (const ProcessorCache& c : processorCaches()) {
        const std::string& type = c.type;
        const int level = c.level;
        long size = long(c.bytes);
        const long ways = c.ways;
        line = c.lineBytes;
        if (size <= 0 || ways <= 0 || line <= 0) continue;
        long sets = size / (ways * line), power = 1;
        while (power * 2 <= sets) power *= 2;
        const bool rounded = power != sets;
        size = power * ways * line;
        const std::string words = std::to_string(size) + "," + std::to_string(ways) + "," + std::to_string(line);
        const std::string said = sizeText(size) + " " + std::to_string(ways) + "-way" + (rounded ? " (rounded to a power of two of sets)" : "");
        if (level == 1 && type == "Instruction") model.i1 = words, i1Said = said;
        if (level == 1 && type == "Data") model.d1 = words, d1Said = said;
        if (level > 1 && level >= lastLevel && type != "Instruction") {
            lastLevel = level;
            model.ll = words;
            llSaid = "L" + std::to_string(level) + ", " + said;
        }
    }
    if (!model.i1.empty() && !model.d1.empty() && !model.ll.empty()) {
        model.said = "I1 " + i1Said + ", D1 " + d1Said + ", LL (" + llSaid + "), " + std::to_string(line) +
                     "-byte lines; the levels between are not simulated";
    } else {
        model = CacheModel{};
    }
    return model;
}

CacheModel countingCaches(bool host) {
    if (host) return machineCaches();
    return {"32768,8,64", "32768,8,64", "33554432,16,64",
            "fixed: I1 32 KiB 8-way, D1 32 KiB 8-way, LL 32 MiB 16-way, 64-byte lines (an AMD Zen 4 core's; "
            "--caches host: this machine's)"};
}

std::string valgrindPath() {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/valgrind";
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

std::string valgrindVersion(const std::string& valgrind) {
    std::string version;
    if (std::FILE* out = popen((shellWord(valgrind) + " --version 2>/dev/null").c_str(), "r")) {
        char line[128] = {};
        if (std::fgets(line, sizeof line, out) != nullptr) version = line;
        pclose(out);
    }
    while (!version.empty() && (version.back() == '\n' || version.back() == ' ')) version.pop_back();
    return version.empty() ? "valgrind" : version;
}

std::vector<std::string> countingWords(const std::string& valgrind, const CacheModel& model, const std::string& out,
                                       const std::string& log, bool wholeTree) {
    std::vector<std::string> words = {valgrind, "--tool=callgrind", "--cache-sim=yes", "--branch-sim=yes",
                                      "--callgrind-out-file=" + out, "--log-file=" + log};
    if (!model.i1.empty()) {
        words.insert(words.end(), {"--I1=" + model.i1, "--D1=" + model.d1, "--LL=" + model.ll});
    }
    if (wholeTree) {
        words.push_back("--trace-children=yes");
    } else {
        words.push_back("--collect-atstart=no");
    }
    return words;
}

bool readCallgrindTotals(const std::string& path, std::map<std::string, double>& totals) {
    std::ifstream in(path);
    std::vector<std::string> events;
    std::string totalsLine;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("events:", 0) == 0) {
            std::istringstream names(line.substr(7));
            events.clear();
            for (std::string name; names >> name;) events.push_back(name);
        }
        if (line.rfind("totals:", 0) == 0) totalsLine = line.substr(7);
        if (line.rfind("summary:", 0) == 0 && totalsLine.empty()) totalsLine = line.substr(8);
    }
    if (events.empty() || totalsLine.empty()) return false;
    std::istringstream values(totalsLine);
    std::size_t i = 0;
    for (double value; i < events.size() && values >> value; ++i) totals[events[i]] += value;
    for (; i < events.size(); ++i) totals[events[i]] += 0;  // Callgrind leaves out trailing zeros
    return true;
}

Counts countsOf(const std::map<std::string, double>& totals, long calls) {
    auto at = [&](const char* event) {
        const auto found = totals.find(event);
        return found == totals.end() ? 0.0 : found->second;
    };
    Counts counts;
    if (calls <= 0) return counts;
    const double accesses = at("Ir") + at("Dr") + at("Dw");
    const double l1Misses = at("I1mr") + at("D1mr") + at("D1mw");
    const double ram = at("ILmr") + at("DLmr") + at("DLmw");
    const double perCall = 1.0 / double(calls);
    counts.have = true;
    counts.instructions = at("Ir") * perCall;
    counts.l1Misses = (at("D1mr") + at("D1mw")) * perCall;
    counts.llMisses = ram * perCall;
    counts.branchMisses = (at("Bcm") + at("Bim")) * perCall;
    counts.estCycles = ((accesses - l1Misses) + 5 * (l1Misses - ram) + 35 * ram) * perCall;
    return counts;
}

double countDifference(const Counts& a, const Counts& b) {
    double largest = 0;
    const double pairs[5][2] = {{a.instructions, b.instructions}, {a.l1Misses, b.l1Misses}, {a.llMisses, b.llMisses},
                                {a.branchMisses, b.branchMisses}, {a.estCycles, b.estCycles}};
    for (const auto& pair : pairs) {
        const double most = std::max(pair[0], pair[1]);
        if (most > 0) largest = std::max(largest, std::fabs(pair[0] - pair[1]) / most);
    }
    return largest;
}

Change countVerdict(double ratio, double minChange, double noise) {
    const double change = std::max(minChange, noise);
    if (!(ratio > 0)) return Change::Same;
    if (ratio >= 1 + change && ratio - 1 > noise) return Change::Slower;
    if (1 / ratio >= 1 + change && 1 / ratio - 1 > noise) return Change::Faster;
    return Change::Same;
}

namespace {

// The ranks of the values, from 1; ties share their mean rank.
std::vector<double> ranks(const std::vector<double>& values) {
    std::vector<std::size_t> order(values.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
    std::vector<double> rank(values.size());
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i;
        while (j + 1 < order.size() && values[order[j + 1]] == values[order[i]]) ++j;
        for (std::size_t k = i; k <= j; ++k) rank[order[k]] = double(i + j) / 2 + 1;
        i = j + 1;
    }
    return rank;
}

}  // namespace

double rankCorrelation(const std::vector<double>& x, const std::vector<double>& y) {
    if (x.size() != y.size() || x.size() < 2) return 0;
    const double r = boost::math::statistics::correlation_coefficient(ranks(x), ranks(y));
    return std::isfinite(r) ? r : 0;
}

}  // namespace lab
