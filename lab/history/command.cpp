// `hull-lab history`: the runs a store keeps (list), a cell's series (show), the steps in them
// (steps), a run's TSV added (add) and the gate for CI (check).

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include <CLI/CLI.hpp>

#include "history/history.h"
#include "out/exports.h"
#include "results/analysis.h"

namespace lab {

namespace {

struct CellKey {
    std::string algorithm, shape;
    std::int64_t n = 0;
    bool operator<(const CellKey& o) const { return std::tie(algorithm, shape, n) < std::tie(o.algorithm, o.shape, o.n); }
};

// A step found in a cell's series.
struct Found {
    CellKey cell;
    bool times = false;
    std::string machine;  // times: the machine of the series; counts: ""
    std::string before, after;  // the commits either side
    double ratio = 1;
    std::string moved;  // counts: which moved, and by how much
    std::string why;    // times: what the counts say moved it
};

// What the history's commands read from their command line.
struct HistoryOptions {
    std::string store, repo, branch, base, markdown, file;
    std::string build, plugin, algorithms, good, bad, range, json;
    double minChange = 0.05, fdr = 0.05;
    CellFilter filter;
};

std::vector<std::string> commaList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream list(text);
    for (std::string item; std::getline(list, item, ',');) {
        if (!item.empty()) items.push_back(item);
    }
    return items;
}

std::string shortCommit(const std::string& commit) { return commit.substr(0, 12); }

// The runs in the order their series take: the repository's first-parent history, oldest first,
// where one is given (runs of other commits left out), else the order they were recorded in.
std::vector<const StoredRun*> ordered(const std::vector<StoredRun>& runs, const std::string& repo, std::size_t& left) {
    std::vector<const StoredRun*> list;
    left = 0;
    if (repo.empty()) {
        for (const StoredRun& r : runs) list.push_back(&r);
        return list;
    }
    std::map<std::string, std::size_t> position;
    std::FILE* out = popen(("git -C '" + repo + "' rev-list --first-parent --reverse HEAD 2>/dev/null").c_str(), "r");
    if (out == nullptr) throw StoreError("cannot read the repository " + repo);
    char line[128];
    while (std::fgets(line, sizeof line, out) != nullptr) position[std::string(line, 40)] = position.size();
    if (pclose(out) != 0 || position.empty()) throw StoreError(repo + " is not a git repository with commits");
    auto place = [&](const StoredRun& r) -> long {
        for (const auto& [commit, at] : position) {
            const std::string mine = r.commit.substr(0, r.commit.find("-dirty"));
            if (!mine.empty() && commit.rfind(mine, 0) == 0) return long(at);
        }
        return -1;
    };
    std::vector<std::pair<long, const StoredRun*>> placed;
    for (const StoredRun& r : runs) {
        const long at = place(r);
        if (at < 0) ++left;
        else placed.emplace_back(at, &r);
    }
    std::stable_sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& p : placed) list.push_back(p.second);
    return list;
}

bool cellBefore(const StoredCell& c, const CellKey& key) {
    return std::tie(c.algorithm, c.shape, c.n) < std::tie(key.algorithm, key.shape, key.n);
}

// The runs as a store gives them, each run's cells in the order of their keys (cellOf's search).
std::vector<StoredRun> readRuns(const std::string& store, const CellFilter& filter) {
    std::vector<StoredRun> runs = openStore(store)->runs(filter, true);
    for (StoredRun& r : runs) {
        std::sort(r.cells.begin(), r.cells.end(), [](const StoredCell& a, const StoredCell& b) {
            return cellBefore(a, {b.algorithm, b.shape, b.n});
        });
    }
    return runs;
}

// The run's cell of `key`, or null. O(log cells): the cells are in key order (readRuns).
const StoredCell* cellOf(const StoredRun& run, const CellKey& key) {
    const auto at = std::lower_bound(run.cells.begin(), run.cells.end(), key, cellBefore);
    return at != run.cells.end() && at->algorithm == key.algorithm && at->shape == key.shape && at->n == key.n ? &*at : nullptr;
}

// The cells the runs hold, of the entries `algorithms` names (empty: all).
std::set<CellKey> cellKeys(const std::vector<const StoredRun*>& runs, const std::vector<std::string>& algorithms) {
    std::set<CellKey> keys;
    for (const StoredRun* r : runs) {
        for (const StoredCell& c : r->cells) {
            if (algorithms.empty() || std::count(algorithms.begin(), algorithms.end(), c.algorithm)) keys.insert({c.algorithm, c.shape, c.n});
        }
    }
    return keys;
}

// The counted cell of `commit` in the first run that has one, or null.
const StoredCell* countedCell(const std::vector<const StoredRun*>& runs, const std::string& commit, const CellKey& key) {
    for (const StoredRun* r : runs) {
        const StoredCell* c = r->commit == commit ? cellOf(*r, key) : nullptr;
        if (c != nullptr && c->counted) return c;
    }
    return nullptr;
}

// Steps in counts: per cell and counting model (machines with the same one compare), each count.
void countStepsOf(const std::vector<const StoredRun*>& runs, const CellKey& key, std::vector<Found>& found) {
    std::map<std::string, std::vector<std::pair<const StoredRun*, const StoredCell*>>> byModel;
    for (const StoredRun* r : runs) {
        const StoredCell* c = cellOf(*r, key);
        if (c != nullptr && c->counted) byModel[r->countsModel].emplace_back(r, c);
    }
    static const char* const kNames[] = {"instructions", "l1_misses", "ll_misses", "branch_misses"};
    for (const auto& [model, points] : byModel) {
        std::map<std::size_t, std::string> moved;
        std::map<std::size_t, double> ratio;  // of the first count that moved, instructions first
        for (int k = 0; k < 4; ++k) {
            std::vector<SeriesPoint> series;
            for (const auto& [r, c] : points) {
                const double counts[] = {c->instructions, c->l1Misses, c->llMisses, c->branchMisses};
                series.push_back({r->commit, counts[k], 0});
            }
            for (const Step& s : countSteps(series, k == 0 ? 0 : kMissNoise)) {
                ratio.emplace(s.at, s.ratio);
                moved[s.at] += (moved[s.at].empty() ? "" : ", ") + std::string(kNames[k]) + " " + formatted("%+.2f%%", 100 * (s.ratio - 1));
            }
        }
        for (const auto& [at, what] : moved) {
            found.push_back({key, false, "", points[at - 1].first->commit, points[at].first->commit, ratio[at], what, ""});
        }
    }
}

// Steps in times, per machine, every candidate of every cell through one false-discovery-rate
// correction; those left that changed by at least the least change, each explained by the counts.
void timeStepsOf(const std::vector<const StoredRun*>& runs, const std::set<CellKey>& keys, const HistoryOptions& o,
                 std::vector<Found>& found) {
    std::vector<std::vector<SeriesPoint>> all;
    std::vector<std::pair<CellKey, std::vector<const StoredRun*>>> sources;
    for (const CellKey& key : keys) {
        std::map<std::string, std::vector<const StoredRun*>> byMachine;
        for (const StoredRun* r : runs) {
            const StoredCell* c = cellOf(*r, key);
            if (c != nullptr && c->median > 0) byMachine[r->machine].push_back(r);
        }
        for (const auto& [machine, list] : byMachine) {
            std::vector<SeriesPoint> series;
            for (const StoredRun* r : list) {
                const StoredCell* c = cellOf(*r, key);
                const double se = c->lo > 0 && c->hi > c->lo ? (std::log(c->hi) - std::log(c->lo)) / (2 * 1.96) : 0;
                series.push_back({r->commit, std::log(c->median), se});
            }
            all.push_back(series);
            sources.emplace_back(key, list);
        }
    }
    const std::vector<std::vector<Step>> steps = timeSteps(all, o.fdr, o.minChange);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const auto& [key, list] = sources[i];
        for (const Step& s : steps[i]) {
            const std::string before = list[s.at - 1]->commit, after = list[s.at]->commit;
            found.push_back({key, true, list[s.at]->machine, before, after, s.ratio, "",
                             explanation(countedCell(runs, before, key), countedCell(runs, after, key))});
        }
    }
}

std::vector<Found> stepsIn(const std::vector<const StoredRun*>& runs, const HistoryOptions& o) {
    std::vector<Found> found;
    const std::set<CellKey> keys = cellKeys(runs, o.filter.algorithms);
    for (const CellKey& key : keys) countStepsOf(runs, key, found);
    timeStepsOf(runs, keys, o, found);
    return found;
}

// The steps grouped as a person reads them: one line per kind, commit, entry and direction (and
// machine, for times), naming the sizes and shapes it showed on.
std::vector<std::string> stepLines(const std::vector<Found>& found, const std::map<std::string, std::string>& machineNames) {
    struct Group {
        std::set<std::int64_t> sizes;
        std::set<std::string> shapes, why;
        double least = INFINITY, most = 0;
        std::string moved;
    };
    std::map<std::tuple<bool, std::string, std::string, std::string, std::string, bool>, Group> groups;
    for (const Found& f : found) {
        Group& g = groups[{f.times, f.after, f.before, f.cell.algorithm, f.machine, f.ratio > 1}];
        g.sizes.insert(f.cell.n), g.shapes.insert(f.cell.shape);
        g.least = std::min(g.least, f.ratio), g.most = std::max(g.most, f.ratio);
        if (!f.why.empty()) g.why.insert(f.why);
        if (g.moved.empty()) g.moved = f.moved;
    }
    std::vector<std::string> lines;
    for (const auto& [k, g] : groups) {
        const auto& [times, after, before, entry, machine, slower] = k;
        auto listed = [](const auto& items) {
            std::ostringstream text;
            std::size_t i = 0;
            for (const auto& item : items) text << (i++ == 0 ? "" : i == items.size() ? " and " : ", ") << item;
            return text.str();
        };
        std::string line = std::string(times ? "times" : "counts") + (times ? " on " + machineNames.at(machine) : "") + ": " +
                           entry + (times ? (slower ? " slower" : " faster") : (slower ? " costlier" : " cheaper")) + " (" +
                           formatted("%.3f", g.least) + (g.most > g.least ? "-" + formatted("%.3f", g.most) : "") +
                           "x) at " + listed(g.sizes) + " points on " + listed(g.shapes) + ", at commit " + shortCommit(after) +
                           " (after " + shortCommit(before) + ")";
        if (!times) line += ": " + g.moved + (g.sizes.size() * g.shapes.size() > 1 ? " (first cell)" : "");
        else line += ": " + listed(g.why);
        lines.push_back(line);
    }
    return lines;
}

// Short names of the machines, "m1", "m2"... in the order first seen, and their lines.
std::map<std::string, std::string> machineNames(const std::vector<const StoredRun*>& runs, std::string& legend) {
    std::map<std::string, std::string> names;
    for (const StoredRun* r : runs) {
        if (names.count(r->machine)) continue;
        if (r->machine.empty()) {  // a commit that did not build ran on no machine
            names[""] = "-";
            continue;
        }
        const std::string name = "m" + std::to_string(names.size() + 1 - names.count(""));
        names[r->machine] = name;
        legend += "  " + name + ": " + r->machine + '\n';
    }
    return names;
}

int listRuns(const HistoryOptions& o) {
    const std::vector<StoredRun> runs = openStore(o.store)->runs({}, false);
    std::vector<const StoredRun*> all;
    for (const StoredRun& r : runs) all.push_back(&r);
    std::string legend;
    const auto names = machineNames(all, legend);
    std::cout << runs.size() << (runs.size() == 1 ? " run" : " runs") << " in " << (o.store.empty() ? defaultStorePath() : o.store)
              << "\n  id  recorded              commit        branch or label       machine  cells  counted  source\n";
    for (const StoredRun& r : runs) {
        char line[512];
        std::snprintf(line, sizeof line, "%4lld  %-20s  %-12s  %-20s  %-7s  %5zu  %7ld  %s\n", (long long)r.id, r.recorded.c_str(),
                      shortCommit(r.commit).c_str(), (r.branch.empty() ? r.label : r.branch).substr(0, 20).c_str(),
                      names.at(r.machine).c_str(), r.cellCount, long(r.countedCells), r.source.c_str());
        std::cout << line;
    }
    if (!legend.empty()) std::cout << "machines:\n" << legend;
    return 0;
}

// A cell's series, a line per run: its commit, machine, time and interval, time over the run's copy
// of the same row (which compares across machines), and counts.
void printSeries(const std::vector<const StoredRun*>& runs, const CellKey& key, const std::map<std::string, std::string>& names) {
    std::cout << key.algorithm << ", " << key.shape << ", " << key.n << " points\n"
              << "  commit        date                       machine  median_s     +-%    /copy  instructions   l1_misses    "
                 "ll_misses  branch_misses\n";
    for (const StoredRun* r : runs) {
        const StoredCell* c = cellOf(*r, key);
        if (c == nullptr) continue;
        const StoredCell* copy = cellOf(*r, {"copy", key.shape, key.n});
        auto count = [&](double v) { return c->counted ? formatted("%.1f", v) : std::string("-"); };
        char line[512];
        std::snprintf(line, sizeof line, "  %-12s  %-25s  %-7s  %-11s  %5s  %6s  %12s  %10s  %11s  %13s%s\n", shortCommit(r->commit).c_str(),
                      r->date.substr(0, 25).c_str(), names.at(r->machine).c_str(),
                      c->median > 0 ? formatted("%.4e", c->median).c_str() : c->status.c_str(),
                      c->lo > 0 ? formatted("%.1f", 50 * (c->hi - c->lo) / c->median).c_str() : "-",
                      copy != nullptr && copy->median > 0 && c->median > 0 ? formatted("%.2f", c->median / copy->median).c_str() : "-",
                      count(c->instructions).c_str(), count(c->l1Misses).c_str(), count(c->llMisses).c_str(),
                      count(c->branchMisses).c_str(), r->source == "run" ? "" : ("  (" + r->source + ")").c_str());
        std::cout << line;
    }
}

// The runs the store holds with the cells the options name, in their series' order.
std::vector<StoredRun> loadRuns(const HistoryOptions& o, std::vector<const StoredRun*>& list, std::size_t& left) {
    CellFilter filter = o.filter;  // with the copy floor, which the series divide by
    if (!filter.algorithms.empty()) filter.algorithms.push_back("copy");
    std::vector<StoredRun> runs = readRuns(o.store, filter);
    list = ordered(runs, o.repo, left);
    return runs;
}

// The series and steps as JSON, for the page (tools/lab-page --history): per cell its points (a
// run each: commit, date, machine, median and interval, the copy's median, counts, compiler and
// libraries) and its steps.
std::string seriesJson(const std::vector<const StoredRun*>& runs, const std::set<CellKey>& keys, const std::vector<Found>& found,
                       const std::map<std::string, std::string>& names, const std::string& order) {
    auto field = [](const char* name, const std::string& value) { return std::string("\"") + name + "\":" + jsonString(value); };
    auto number = [](const char* name, double value) { return std::string("\"") + name + "\":" + (value > 0 ? jsonNumber(value) : "null"); };
    std::string text = "{" + field("order", order) + ",\"machines\":[";
    std::size_t m = 0;
    for (const auto& [key, name] : names) text += std::string(m++ ? "," : "") + "{" + field("name", name) + "," + field("key", key) + "}";
    text += "],\"cells\":[";
    std::size_t k = 0;
    for (const CellKey& key : keys) {
        text += std::string(k++ ? "," : "") + "{" + field("algorithm", key.algorithm) + "," + field("shape", key.shape) + "," +
                number("n", double(key.n)) + ",\"points\":[";
        std::size_t p = 0;
        for (const StoredRun* r : runs) {
            const StoredCell* c = cellOf(*r, key);
            if (c == nullptr) continue;
            const StoredCell* copy = cellOf(*r, {"copy", key.shape, key.n});
            text += std::string(p++ ? "," : "") + "{" + number("run", double(r->id)) + "," + field("commit", r->commit) + "," +
                    field("date", r->date) + "," + field("machine", names.at(r->machine)) + "," + field("status", c->status) + "," +
                    number("median", c->median) + "," + number("lo", c->lo) + "," + number("hi", c->hi) + "," +
                    number("copy", copy != nullptr ? copy->median : 0) + "," + number("instructions", c->counted ? c->instructions : 0) +
                    "," + number("est_cycles", c->counted ? c->estCycles : 0) + "," + field("compiler", contextValue(r->context, "compiler")) +
                    "," + field("libraries", contextValue(r->context, "libraries")) + "}";
        }
        text += "],\"steps\":[";
        std::size_t s = 0;
        for (const Found& f : found) {
            if (f.cell.algorithm != key.algorithm || f.cell.shape != key.shape || f.cell.n != key.n) continue;
            text += std::string(s++ ? "," : "") + "{" + field("kind", f.times ? "times" : "counts") + "," + field("commit", f.after) +
                    "," + field("before", f.before) + "," + field("machine", f.times ? names.at(f.machine) : "") + "," +
                    number("ratio", f.ratio) + "," + field("why", f.times ? f.why : f.moved) + "}";
        }
        text += "]}";
    }
    return text + "]}\n";
}

int showSeries(const HistoryOptions& o, bool series) {
    std::vector<const StoredRun*> list;
    std::size_t left = 0;
    const std::vector<StoredRun> runs = loadRuns(o, list, left);
    std::string legend;
    const auto names = machineNames(list, legend);
    if (series) {
        for (const CellKey& key : cellKeys(list, o.filter.algorithms)) {
            printSeries(list, key, names);
            std::cout << '\n';
        }
    }
    if (left > 0) std::cout << left << " runs of commits outside " << o.repo << "'s first-parent history are left out\n";
    const std::vector<Found> found = stepsIn(list, o);
    const std::vector<std::string> lines = stepLines(found, names);
    if (!o.json.empty()) {
        std::ofstream out(o.json);
        out << seriesJson(list, cellKeys(list, o.filter.algorithms), found, names,
                          o.repo.empty() ? "recorded" : "first-parent history of " + o.repo);
        if (!out.flush()) throw StoreError("cannot write " + o.json);
    }
    std::cout << "Steps (counts: any change beyond their repeat noise; times: tested on each run's interval and the noise "
                 "between runs, false discovery rate "
              << formatted("%g", o.fdr) << ", at least " << formatted("%g", 100 * o.minChange) << "%): " << lines.size() << '\n';
    for (const std::string& line : lines) std::cout << "  " << line << '\n';
    if (!legend.empty()) std::cout << "machines:\n" << legend;
    return 0;
}

int addFile(const HistoryOptions& o) {
    std::ifstream in(o.file);
    if (!in) throw StoreError("cannot read " + o.file);
    std::stringstream text;
    text << in.rdbuf();
    StoredRun run = storedRunFromTsv(text.str(), o.file);
    const std::int64_t id = openStore(o.store)->add(run);
    std::cout << "added " << o.file << " as run " << id << " (" << run.cells.size() << " cells, commit "
              << shortCommit(run.commit) << ")\n";
    return 0;
}

// Whether a run belongs to `branch`: its entries' branch, else its label.
bool onBranch(const StoredRun& r, const std::string& branch) { return (r.branch.empty() ? r.label : r.branch) == branch; }

int check(const HistoryOptions& o) {
    const std::vector<StoredRun> runs = readRuns(o.store, o.filter);
    const StoredRun* latest = nullptr;
    std::vector<const StoredRun*> base;
    for (const StoredRun& r : runs) {
        if (o.branch.empty() || onBranch(r, o.branch)) latest = &r;
        if (onBranch(r, o.base)) base.push_back(&r);
    }
    if (latest == nullptr) throw StoreError("no run of the branch " + o.branch + " in the history");
    if (base.empty()) throw StoreError("no run of the base " + o.base + " in the history");
    std::vector<std::string> lines;
    std::size_t counted = 0, timed = 0;
    for (const StoredCell& c : latest->cells) {
        // Counts: against the newest base run that counted the cell on the same model.
        const StoredCell* old = nullptr;
        for (const StoredRun* b : base) {
            const StoredCell* bc = b->countsModel == latest->countsModel && b != latest ? cellOf(*b, {c.algorithm, c.shape, c.n}) : nullptr;
            if (bc != nullptr && bc->counted) old = bc;
        }
        if (c.counted && old != nullptr) {
            ++counted;
            const std::string why = explanation(old, &c);
            if (why.rfind("the machine", 0) != 0) {
                lines.push_back("| counts | " + c.algorithm + " | " + c.shape + " | " + std::to_string(c.n) + " | " +
                                formatted("%.4f", old->estCycles > 0 ? c.estCycles / old->estCycles : 1) + " est_cycles | " + why + " |");
            }
        }
        if (!c.verdict.empty() && c.verdict != "-") {
            ++timed;
            if (c.verdict == "slower") {
                lines.push_back("| times | " + c.algorithm + " | " + c.shape + " | " + std::to_string(c.n) +
                                " | slower against the baseline, confirmed by the run's A B B A rounds | |");
            }
        }
    }
    std::string summary = "## hull-lab history check: " + std::string(lines.empty() ? "no step" : std::to_string(lines.size()) + " steps") +
                          "\n\nRun " + std::to_string(latest->id) + " (commit " + shortCommit(latest->commit) + ") against " +
                          std::to_string(base.size()) + " runs of " + o.base + ": " + std::to_string(counted) +
                          " cells' counts compared exactly, " + std::to_string(timed) +
                          " cells' times confirmed by a baseline run" +
                          (timed == 0 ? " (none: times gate only a --baseline run)" : "") + ".\n";
    if (!lines.empty()) {
        summary += "\n| measure | entry | shape | n | change | what moved it |\n|---|---|---|---|---|---|\n";
        for (const std::string& line : lines) summary += line + '\n';
    }
    std::cout << summary;
    if (!o.markdown.empty()) {
        std::ofstream out(o.markdown);
        out << summary;
        if (!out.flush()) throw StoreError("cannot write " + o.markdown);
    }
    return lines.empty() ? 0 : 1;
}

// The settings of backfill and bisect: the store, this hull-lab, and the cells' options.
BackfillSettings backfillSettings(const HistoryOptions& o, const std::string& measure, const std::string& shapes,
                                  const std::string& sizes) {
    BackfillSettings s{o.repo, o.build, o.plugin, o.store.empty() ? defaultStorePath() : o.store, "", {"--measure", measure}};
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    s.self = length > 0 ? std::string(self, std::size_t(length)) : "hull-lab";
    if (!o.algorithms.empty()) throw StoreError("backfill and bisect run your plugin's entries (yours): they take no --algorithms");
    s.runWords.insert(s.runWords.end(), {"--shapes", shapes.empty() ? "square,disc,circle" : shapes});
    s.runWords.insert(s.runWords.end(), {"--sizes", sizes.empty() ? "1e4" : sizes});
    openStore(s.store);  // made now: a store that cannot take the runs stops it before any build
    return s;
}

// The options every history command shares.
void shared(CLI::App& command, HistoryOptions& o, std::string& algorithms, std::string& shapes, std::string& sizes) {
    command.add_option("--history", o.store, "the store: an SQLite file (default: " + defaultStorePath() + ")");
    command.add_option("--algorithms", algorithms, "entries whose cells to read (default: all)");
    command.add_option("--shapes", shapes, "shapes whose cells to read (default: all)");
    command.add_option("--sizes", sizes, "sizes whose cells to read (default: all)");
}

}  // namespace

int historyMain(int argc, char** argv, const volatile int* interrupted) {
    CLI::App app{"hull-lab history: the runs kept with --history, their cells' series and the steps in them", "hull-lab history"};
    HistoryOptions o;
    std::string algorithms, shapes, sizes;
    shared(app, o, algorithms, shapes, sizes);
    CLI::App* show = app.add_subcommand("show", "each cell's series across commits (--repo: in its first-parent order) or days");
    CLI::App* steps = app.add_subcommand("steps", "the steps in every cell's series, grouped, each explained by the counts");
    CLI::App* add = app.add_subcommand("add", "add a run's TSV (written by --tsv) to the store");
    CLI::App* gate = app.add_subcommand("check", "exit 1 when the latest run of a branch has a step against its base's runs");
    for (CLI::App* command : {show, steps}) {
        command->add_option("--repo", o.repo, "order the runs by this git repository's first-parent history");
        command->add_option("--min-change", o.minChange, "the least change in times called a step (default 0.05)");
        command->add_option("--json", o.json, "write the series and steps as JSON (tools/lab-page --history draws them)");
    }
    add->add_option("FILE", o.file, "the run's TSV")->required();
    gate->add_option("--branch", o.branch, "the branch (or --label) of the run to check (default: the latest run)");
    gate->add_option("--base", o.base, "the branch (or --label) whose runs it is checked against")->required();
    gate->add_option("--markdown", o.markdown, "write the summary to FILE too");
    CLI::App* fill = app.add_subcommand("backfill", "build each commit of RANGE (A..B) of your repository and record its run");
    CLI::App* search = app.add_subcommand("bisect", "find the first commit after GOOD whose counts differ from GOOD's");
    std::string measure = "counts";
    for (CLI::App* command : {fill, search}) {
        command->add_option("--repo", o.repo, "your git repository (each commit built in a worktree of its own)")->required();
        command->add_option("--build", o.build, "the shell command that builds your plugin, run in the worktree")->required();
        command->add_option("--plugin", o.plugin, "the plugin's library, relative to the worktree")->required();
        command->add_option("--measure", measure, "counts (default), times or times,counts");
    }
    fill->add_option("RANGE", o.range, "the commits, as git names them: A..B")->required();
    search->add_option("GOOD", o.good, "a commit whose counts are the old ones")->required();
    search->add_option("BAD", o.bad, "a later commit whose counts differ")->required();
    for (CLI::App* command : {show, steps, add, gate, fill, search}) command->fallthrough();
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::ParseError& e) {
        std::cerr << "hull-lab history: " << e.what() << '\n';
        return 2;
    }
    o.filter.algorithms = commaList(algorithms), o.filter.shapes = commaList(shapes);
    o.algorithms = algorithms;
    for (const std::string& size : commaList(sizes)) o.filter.sizes.push_back(std::int64_t(std::strtod(size.c_str(), nullptr)));
    try {
        if (*fill) return backfill(backfillSettings(o, measure, shapes, sizes), o.range, interrupted);
        if (*search) return bisect(backfillSettings(o, measure, shapes, sizes), o.good, o.bad, interrupted);
        if (*add) return addFile(o);
        if (*gate) return check(o);
        if (*show || *steps) return showSeries(o, bool(*show));
        return listRuns(o);
    } catch (const StoreError& e) {
        std::cerr << "hull-lab history: " << e.what() << '\n';
        return 2;
    }
}

int recordRun(const StoredRun& run, const std::string& where) {
    try {
        openStore(where)->add(run);
        return 0;
    } catch (const StoreError& e) {
        std::cerr << "hull-lab: the run is not recorded: " << e.what() << '\n';
        return 2;
    }
}

}  // namespace lab
