// A history's series: the stored runs ordered, each cell's series read from them, the steps in
// them found (history/steps.cpp) and grouped, and the series as JSON for the page.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "history/series.h"
#include "out/exports.h"
#include "results/fields.h"

namespace lab {

namespace {

bool cellBefore(const StoredCell& c, const CellKey& key) {
    return std::tie(c.algorithm, c.shape, c.n) < std::tie(key.algorithm, key.shape, key.n);
}

// The counted cell of `commit` in the first run that has one, or null.
const StoredCell* countedCell(const std::vector<const StoredRun*>& runs, const std::string& commit, const CellKey& key) {
    for (const StoredRun* r : runs) {
        const StoredCell* c = r->commit == commit ? cellOf(*r, key) : nullptr;
        if (c != nullptr && c->counted) return c;
    }
    return nullptr;
}

// Steps in status: per cell, across every run (whether a hull is right does not depend on the
// machine), between neighbouring commits that judged it.
void statusStepsOf(const std::vector<const StoredRun*>& runs, const CellKey& key, std::vector<Found>& found) {
    std::string lastCommit, lastStatus;
    for (std::size_t i = 0; i < runs.size();) {
        std::size_t end = i;
        std::vector<const StoredCell*> cells;
        for (; end < runs.size() && runs[end]->commit == runs[i]->commit; ++end) {
            if (const StoredCell* c = cellOf(*runs[end], key)) cells.push_back(c);
        }
        std::string why;
        const std::string status = commitStatus(cells, why);
        if (!status.empty()) {
            if (!lastStatus.empty() && status != lastStatus) {
                found.push_back({key, StepKind::Status, "", lastCommit, runs[i]->commit, 1, status, why});
            }
            lastCommit = runs[i]->commit, lastStatus = status;
        }
        i = end;
    }
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
            found.push_back({key, StepKind::Counts, "", points[at - 1].first->commit, points[at].first->commit, ratio[at], what, ""});
        }
    }
}

// Steps in times, per machine, every candidate of every cell through one false-discovery-rate
// correction; those left that changed by at least the least change, each explained by the counts.
void timeStepsOf(const std::vector<const StoredRun*>& runs, const std::set<CellKey>& keys, double minChange, double fdr,
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
    const std::vector<std::vector<Step>> steps = timeSteps(all, fdr, minChange);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const auto& [key, list] = sources[i];
        for (const Step& s : steps[i]) {
            const std::string before = list[s.at - 1]->commit, after = list[s.at]->commit;
            found.push_back({key, StepKind::Times, list[s.at]->machine, before, after, s.ratio, "",
                             explanation(countedCell(runs, before, key), countedCell(runs, after, key))});
        }
    }
}

}  // namespace

Failure failureOfNote(Status status, const std::string& note) {
    Failure failure;
    auto has = [&note](const char* words) { return note.find(words) != std::string::npos; };
    if (status == Status::Crashed) {
        const std::size_t by = note.find("killed by ");
        if (by != std::string::npos) {
            const std::size_t from = by + 10, to = note.find_first_of(" :(", from);
            const std::string name = note.substr(from, to == std::string::npos ? to : to - from);
            for (int signal = 1; signal < 65 && failure.signal == 0; ++signal) {
                const char* abbrev = sigabbrev_np(signal);
                if (abbrev != nullptr && name == abbrev) failure.signal = signal;
            }
        } else if (has("wrote past") || has("read past")) {
            failure.overrun = has("wrote past") ? Overrun::Wrote : Overrun::Read;
        } else if (const std::size_t exited = note.find("exited with status "); exited != std::string::npos) {
            failure.exitCode = std::atoi(note.c_str() + exited + 19);
        }
        return failure;
    }
    // The reference check's words for each way a hull can be wrong.
    static const std::pair<const char*, reference::Fault> kinds[] = {
        {" lies outside the hull", reference::Fault::Outside},
        {" lies on the hull edge", reference::Fault::OnEdge},
        {" turns straight back", reference::Fault::TurnsBack},
        {" is not a point of ", reference::Fault::NotInput},
        {" stands twice", reference::Fault::Twice},
        {"not in hull order", reference::Fault::Order},
        {": runs ", reference::Fault::WrongDirection},
        {"the polygon is not convex", reference::Fault::NotConvex},
        {"not at the lowest of the leftmost", reference::Fault::WrongStart},
        {"the points are empty but the hull is not", reference::Fault::NotEmpty},
        {": empty, but ", reference::Fault::Empty},
        {"a one-point set gives", reference::Fault::OnePoint},
    };
    for (const auto& [words, fault] : kinds) {
        if (has(words)) return failure.fault = fault, failure;
    }
    return failure;
}

std::string shortCommit(const std::string& commit) { return commit.substr(0, 12); }

bool failedStatus(const std::string& status) { return status != "ok" && status != "skipped" && !status.empty(); }

std::string commitStatus(const std::vector<const StoredCell*>& cells, std::string& why) {
    const StoredCell* first = nullptr;
    std::size_t judged = 0, failed = 0;
    for (const StoredCell* c : cells) {
        if (c->status == "skipped" || c->status.empty()) continue;
        ++judged;
        if (!failedStatus(c->status)) continue;
        ++failed;
        if (first == nullptr) first = c;
    }
    why.clear();
    if (first == nullptr) return judged > 0 ? "ok" : "";
    Status status = Status::Wrong;
    const std::string kind = statusNamed(first->status, status) ? failureKind(status, failureOfNote(status, first->note)) : first->status;
    // The kind without its status word: "a point in the middle of an edge", "SIGSEGV".
    const std::size_t comma = kind.rfind(first->status + ", ", 0) == 0 ? first->status.size() + 2 : std::string::npos;
    why = comma != std::string::npos ? kind.substr(comma) : status == Status::Refused ? first->note.substr(0, 120) : "";
    if (kind.rfind(first->status + " (", 0) == 0) why = kind.substr(first->status.size() + 2, kind.size() - first->status.size() - 3);
    if (failed < judged) {
        why += (why.empty() ? "" : ", ") + std::string("in ") + std::to_string(failed) + " of " + std::to_string(judged) + " runs";
    }
    return first->status;
}

// The runs in the order their series take: the repository's first-parent history, oldest first,
// where one is given (runs of other commits left out), else the order they were recorded in.
std::vector<const StoredRun*> ordered(const std::vector<StoredRun>& runs, const std::string& repo, std::size_t& left,
                                      const std::string& tip) {
    std::vector<const StoredRun*> list;
    left = 0;
    if (repo.empty()) {
        for (const StoredRun& r : runs) list.push_back(&r);
        return list;
    }
    std::map<std::string, std::size_t> position;
    std::FILE* out = popen(("git -C " + shellWord(repo) + " rev-list --first-parent --reverse " + shellWord(tip) + " 2>/dev/null").c_str(), "r");
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




std::vector<Found> stepsIn(const std::vector<const StoredRun*>& runs, const std::vector<std::string>& algorithms, double minChange,
                           double fdr) {
    std::vector<Found> found;
    const std::set<CellKey> keys = cellKeys(runs, algorithms);
    for (const CellKey& key : keys) statusStepsOf(runs, key, found);
    for (const CellKey& key : keys) countStepsOf(runs, key, found);
    timeStepsOf(runs, keys, minChange, fdr, found);
    for (Found& f : found) {
        while (f.order < runs.size() && runs[f.order]->commit != f.after) ++f.order;
    }
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
    auto listed = [](const auto& items, const char* last = " and ") {
        std::ostringstream text;
        std::size_t i = 0;
        for (const auto& item : items) text << (i++ == 0 ? "" : i == items.size() ? last : ", ") << item;
        return text.str();
    };
    // Status first (the map's order: its kind), then counts, then times; each oldest commit first.
    std::map<std::tuple<StepKind, std::size_t, std::string, std::string, std::string, std::string, std::string>, Group> groups;
    for (const Found& f : found) {
        const std::string direction = f.kind == StepKind::Status ? f.moved : f.ratio > 1 ? "up" : "down";
        Group& g = groups[{f.kind, f.order, f.after, f.before, f.cell.algorithm, f.machine, direction}];
        g.sizes.insert(f.cell.n), g.shapes.insert(f.cell.shape);
        g.least = std::min(g.least, f.ratio), g.most = std::max(g.most, f.ratio);
        if (!f.why.empty()) g.why.insert(f.why);
        if (g.moved.empty()) g.moved = f.moved;
    }
    std::vector<std::string> lines;
    for (const auto& [k, g] : groups) {
        const auto& [kind, order, after, before, entry, machine, direction] = k;
        const std::string where = " at commit " + shortCommit(after) + " (after " + shortCommit(before) + ") on " + listed(g.shapes) +
                                  " at " + listed(g.sizes) + " points";
        if (kind == StepKind::Status) {
            lines.push_back("status: " + entry + (direction == "ok" ? " right again" : " became " + direction) + where +
                            (g.why.empty() ? "" : ": " + listed(g.why, "; ")));
            continue;
        }
        const bool times = kind == StepKind::Times, slower = direction == "up";
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
                    field("date", r->date) + "," + field("label", r->label) + "," + field("machine", names.at(r->machine)) + "," +
                    field("status", c->status) + "," +
                    number("median", c->median) + "," + number("lo", c->lo) + "," + number("hi", c->hi) + "," +
                    number("copy", copy != nullptr ? copy->median : 0) + "," + number("instructions", c->counted ? c->instructions : 0) +
                    "," + number("est_cycles", c->counted ? c->estCycles : 0) + "," + field("compiler", contextValue(r->context, runcontext::kCompiler)) +
                    "," + field("libraries", contextValue(r->context, runcontext::kLibraries)) + "}";
        }
        text += "],\"steps\":[";
        std::size_t s = 0;
        for (const Found& f : found) {
            if (f.cell.algorithm != key.algorithm || f.cell.shape != key.shape || f.cell.n != key.n) continue;
            const bool times = f.kind == StepKind::Times;
            const char* kind = f.kind == StepKind::Status ? "status" : times ? "times" : "counts";
            text += std::string(s++ ? "," : "") + "{" + field("kind", kind) + "," + field("commit", f.after) + "," +
                    field("before", f.before) + "," + field("machine", times ? names.at(f.machine) : "") + "," +
                    number("ratio", f.ratio) + "," + field("why", f.kind == StepKind::Counts ? f.moved : f.why) +
                    (f.kind == StepKind::Status ? "," + field("status", f.moved) : "") + "}";
        }
        text += "]}";
    }
    return text + "]}\n";
}

}  // namespace lab
