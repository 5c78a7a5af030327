// A run as the store keeps it: from the model of a run that just ended, or from the TSV a run wrote
// (a machine without the store hands its files on). Both read the same context lines.

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "history/history.h"
#include "results/analysis.h"
#include "results/fields.h"

namespace lab {

std::string contextValue(const std::vector<std::pair<std::string, std::string>>& context, const std::string& name) {
    for (const auto& [key, value] : context) {
        if (key == name) return value;
    }
    return "";
}

namespace {

// What `command` prints on its first line, or "" where it fails.
std::string firstOutputLine(const std::string& command) {
    std::string line;
    if (std::FILE* out = popen(command.c_str(), "r")) {
        char text[4096] = {};
        if (std::fgets(text, sizeof text, out) != nullptr) line = text;
        if (pclose(out) != 0) line.clear();
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

// The fields of an origin line: "fnv1a64 H; commit C; branch B; repository R".
std::map<std::string, std::string> originFields(const std::string& line) {
    std::map<std::string, std::string> fields;
    std::stringstream parts(line);
    for (std::string part; std::getline(parts, part, ';');) {
        const std::size_t start = part.find_first_not_of(' ');
        if (start == std::string::npos) continue;
        part = part.substr(start);
        const std::size_t space = part.find(' ');
        if (space != std::string::npos) fields[part.substr(0, space)] = part.substr(space + 1);
    }
    return fields;
}

// The run's fields that its context gives: date, machine, build, counts' model, entries, label;
// its commit and branch from the first entry with a repository, else the lab's version.
void readContext(StoredRun& run) {
    const auto& c = run.context;
    run.date = contextValue(c, runcontext::kDate);
    const std::string memory = contextValue(c, runcontext::kMemory);
    run.machine = contextValue(c, runcontext::kCpu) + ", " + contextValue(c, runcontext::kCores) + " cores, caches " +
                  contextValue(c, runcontext::kCaches) + ", " + memory.substr(0, memory.find(','));
    run.labVersion = contextValue(c, runcontext::kVersion);
    run.label = contextValue(c, runcontext::kLabel);
    const std::string valgrind = runcontext::valgrindOfCounts(contextValue(c, runcontext::kCounts));
    if (!valgrind.empty()) run.countsModel = valgrind + "; " + contextValue(c, runcontext::kSimulatedCaches);
    for (const auto& [name, value] : c) {
        const std::string entryName = runcontext::entryOfName(name);
        if (entryName.empty()) continue;
        const UserEntry entry = runcontext::entryOfValue(entryName, value);
        StoredEntry e;
        e.name = entryName;
        e.kind = entry.kind == UserEntry::Plugin ? "plugin" : "program";
        e.path = entry.kind == UserEntry::Plugin ? entry.path : "'" + entry.command + "'";  // as stores have kept it
        std::map<std::string, std::string> origin = originFields(contextValue(c, runcontext::originName(e.name)));
        e.fileHash = origin.count("fnv1a64") ? "fnv1a64:" + origin["fnv1a64"] : "";
        e.commit = origin["commit"], e.branch = origin["branch"], e.repository = origin["repository"];
        if (e.branch == "HEAD") e.branch.clear();  // a detached checkout is on no branch: its --label names one
        if (run.commit.empty() && !e.commit.empty()) run.commit = e.commit, run.branch = e.branch;
        run.entries.push_back(e);
    }
    if (run.commit.empty()) run.commit = run.labVersion;
}

// Figures comma-separated as the TSV writes them, "-" for none.
std::vector<double> figures(const std::string& text) {
    std::vector<double> values;
    if (text == "-" || text.empty()) return values;
    std::stringstream list(text);
    for (std::string item; std::getline(list, item, ',');) values.push_back(std::strtod(item.c_str(), nullptr));
    return values;
}

double figure(const std::string& text) { return text.empty() || text == "-" ? 0 : std::strtod(text.c_str(), nullptr); }

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream parts(line);
    for (std::string field; std::getline(parts, field, '\t');) out.push_back(field);
    if (!line.empty() && line.back() == '\t') out.emplace_back();
    return out;
}

}  // namespace

std::string entryOrigin(const UserEntry& entry) {
    std::ifstream file(entry.path, std::ios::binary);
    std::uint64_t hash = 14695981039346656037ull;
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        for (std::streamsize i = 0; i < file.gcount(); ++i) hash = (hash ^ (unsigned char)buffer[i]) * 1099511628211ull;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%016llx", (unsigned long long)hash);
    std::string origin = std::string("fnv1a64 ") + text;
    std::error_code error;
    const std::string dir = std::filesystem::absolute(entry.path, error).parent_path().string();
    const std::string git = "git -C " + shellWord(dir) + " ";
    const std::string commit = firstOutputLine(git + "rev-parse HEAD 2>/dev/null");
    if (commit.empty()) return origin;
    const std::string branch = firstOutputLine(git + "rev-parse --abbrev-ref HEAD 2>/dev/null");
    const std::string top = firstOutputLine(git + "rev-parse --show-toplevel 2>/dev/null");
    return origin + "; commit " + commit + "; branch " + branch + "; repository " + top;
}

StoredRun storedRun(const RunModel& model) {
    StoredRun run;
    run.source = "run";
    run.context = model.context;
    readContext(run);
    for (const CellRecord& record : model.cells) {
        const Outcome& o = record.now;
        StoredCell cell;
        cell.shape = o.shape, cell.algorithm = o.algorithm, cell.n = o.n, cell.h = o.h;
        cell.status = statusWord(o.status);
        cell.note = o.note;
        const bool timed = model.times && timedStatus(o.status);
        if (timed) cell.median = o.median, cell.lo = o.lo, cell.hi = o.hi, cell.runs = o.runs;
        const Counts& k = o.counts;
        cell.counted = k.have;
        cell.instructions = k.instructions, cell.l1Misses = k.l1Misses, cell.llMisses = k.llMisses;
        cell.branchMisses = k.branchMisses, cell.estCycles = k.estCycles;
        if (model.compared) {
            cell.verdict = changeWord(record.time.verdict);
            if (model.counts) cell.countVerdict = changeWord(record.count.verdict);
        }
        run.cells.push_back(cell);
    }
    return run;
}

StoredRun storedRunFromTsv(const std::string& text, const std::string& source) {
    StoredRun run;
    run.source = source;
    std::stringstream lines(text);
    std::vector<std::string> header;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("# ", 0) == 0) {
            const std::size_t colon = line.find(": ");
            const std::string name = colon == std::string::npos ? "" : line.substr(2, colon - 2);
            if (header.empty() && !name.empty() && name != "warning" && name != "judge" && name != "catalogue") {
                run.context.emplace_back(name, line.substr(colon + 2));
            }
            continue;
        }
        if (line.empty()) continue;
        if (header.empty()) {
            header = fields(line);
            if (header.size() < 17 || header[0] != "shape" || header[3] != "algorithm") {
                throw StoreError(source + " is not a hull-lab TSV (its first line after the context is not the header)");
            }
            continue;
        }
        const std::vector<std::string> f = fields(line);
        std::map<std::string, std::string> at;
        for (std::size_t i = 0; i < header.size() && i < f.size(); ++i) at[header[i]] = f[i];
        if (f.size() < 17) throw StoreError(source + ": a line of " + std::to_string(f.size()) + " fields, not a cell");
        StoredCell cell;
        cell.shape = at["shape"], cell.algorithm = at["algorithm"], cell.status = at["status"], cell.note = at["note"];
        cell.n = std::atoll(at["n"].c_str());
        cell.h = at["h"] == "-" ? -1 : std::atoll(at["h"].c_str());
        cell.median = figure(at["median_s"]), cell.lo = figure(at["lo_s"]), cell.hi = figure(at["hi_s"]);
        cell.runs = figures(at["runs_s"]);
        cell.counted = !at["instructions"].empty();
        cell.instructions = figure(at["instructions"]), cell.l1Misses = figure(at["l1_misses"]);
        cell.llMisses = figure(at["ll_misses"]), cell.branchMisses = figure(at["branch_misses"]);
        cell.estCycles = figure(at["est_cycles"]);
        cell.verdict = at.count("verdict") ? at["verdict"] : "";
        cell.countVerdict = at.count("count_verdict") ? at["count_verdict"] : "";
        run.cells.push_back(cell);
    }
    if (header.empty() || run.context.empty()) throw StoreError(source + " is not a hull-lab TSV (no context or no header)");
    readContext(run);
    return run;
}

}  // namespace lab
