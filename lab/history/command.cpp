// `hull-lab history`: the runs a store keeps (list), a cell's series (show), the steps in them
// (steps), a run's TSV added (add) and the gate for CI (check).

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include <CLI/CLI.hpp>

#include "history/history.h"
#include "history/series.h"

namespace lab {

namespace {

// What the history's commands read from their command line.
struct HistoryOptions {
    std::string store, repo, branch, base, markdown, file;
    std::string build, plugin, algorithms, good, bad, range, json;
    double minChange = 0.05, fdr = 0.05;
    double gateMinChange = 0.002;  // check: the least change in est_cycles that fails it
    bool slowerOnly = false;       // check: only costlier counts fail it
    bool includeFirst = false;     // backfill: the range's first commit too
    CellFilter filter;
};

// The items of a comma-separated list, empty ones left out.
std::vector<std::string> commaList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream list(text);
    for (std::string item; std::getline(list, item, ',');) {
        if (!item.empty()) items.push_back(item);
    }
    return items;
}

// `hull-lab history`: a line per run (without reading its cells), then the machines. Returns 0.
int listRuns(const HistoryOptions& o) {
    const std::vector<StoredRun> runs = openStore(o.store)->runs({}, false);
    std::vector<const StoredRun*> all;
    for (const StoredRun& r : runs) all.push_back(&r);
    std::string legend;
    const auto names = machineNames(all, legend);
    std::cout << runs.size() << (runs.size() == 1 ? " run" : " runs") << " in " << (o.store.empty() ? defaultStorePath() : o.store)
              << "\n  id  recorded              commit        label or branch       machine  cells  counted  source\n";
    for (const StoredRun& r : runs) {
        char line[512];
        std::snprintf(line, sizeof line, "%4lld  %-20s  %-12s  %-20s  %-7s  %5zu  %7ld  %s\n", (long long)r.id, r.recorded.c_str(),
                      shortCommit(r.commit).c_str(), (r.label.empty() ? r.branch : r.label).substr(0, 20).c_str(),
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
              << "  commit        date                       machine  status   median_s     +-%    /copy  instructions   "
                 "l1_misses    ll_misses  branch_misses\n";
    for (const StoredRun* r : runs) {
        const StoredCell* c = cellOf(*r, key);
        if (c == nullptr) continue;
        const StoredCell* copy = cellOf(*r, {"copy", key.shape, key.n});
        auto count = [&](double v) { return c->counted ? formatted("%.1f", v) : std::string("-"); };
        char line[512];
        // A failed cell says so in its own column (a WRONG hull is timed: its median is still shown).
        std::snprintf(line, sizeof line, "  %-12s  %-25s  %-7s  %-7s  %-11s  %5s  %6s  %12s  %10s  %11s  %13s%s\n",
                      shortCommit(r->commit).c_str(), r->date.substr(0, 25).c_str(), names.at(r->machine).c_str(), c->status.c_str(),
                      c->median > 0 ? formatted("%.4e", c->median).c_str() : "-",
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

// `show` (each cell's series, then the steps) and `steps` (the steps alone); --json writes both for
// the page. Returns 0.
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
    const std::vector<Found> found = stepsIn(list, o.filter.algorithms, o.minChange, o.fdr);
    const std::vector<std::string> lines = stepLines(found, names);
    if (!o.json.empty()) {
        std::ofstream out(o.json);
        out << seriesJson(list, cellKeys(list, o.filter.algorithms), found, names,
                          o.repo.empty() ? "recorded" : "first-parent history of " + o.repo);
        if (!out.flush()) throw StoreError("cannot write " + o.json);
        std::cout << "wrote " << o.json << " (tools/lab-page --history " << o.json << " -o history.html draws it)\n";
    }
    std::cout << "Steps (status: any change between neighbouring commits, listed first; counts: any change beyond their repeat noise; times: tested on each run's interval and the noise "
                 "between runs, false discovery rate "
              << formatted("%g", o.fdr) << ", at least " << formatted("%g", 100 * o.minChange) << "%): " << lines.size() << '\n';
    for (const std::string& line : lines) std::cout << "  " << line << '\n';
    if (!legend.empty()) std::cout << "machines:\n" << legend;
    return 0;
}

// `add FILE`: a run's TSV into the store. Returns 0.
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

// Whether a run belongs to `branch`: its label where it has one (CI names a detached checkout so),
// else its entries' branch.
bool onBranch(const StoredRun& r, const std::string& branch) { return (r.label.empty() ? r.branch : r.label) == branch; }

// "1 run", "3 runs".
std::string counted(std::size_t n, const std::string& what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); }

// What `check` found in the latest run against its base: failures (a cell that became WRONG,
// refused, crashed or stopped), steps in counts past the least change (costlier only with
// --slower-only) and in times (a baseline's verdict), and what it left ungated.
struct Gate {
    std::vector<std::string> failures, steps, ungated;
    std::size_t judged = 0, counted = 0, timed = 0;
};

// The newest of the base runs' cells of `key` that judged it (status not "skipped"), or null.
const StoredCell* baseCell(const std::vector<const StoredRun*>& base, const StoredRun* latest, const CellKey& key, const char* model) {
    const StoredCell* found = nullptr;
    for (const StoredRun* b : base) {
        if (b == latest || (model != nullptr && b->countsModel != model)) continue;
        const StoredCell* bc = cellOf(*b, key);
        if (bc != nullptr && bc->status != "skipped" && (model == nullptr || bc->counted)) found = bc;
    }
    return found;
}

// The latest run's cells gated against the base runs.
Gate gate(const HistoryOptions& o, const StoredRun& latest, const std::vector<const StoredRun*>& base) {
    Gate g;
    for (const StoredCell& c : latest.cells) {
        const CellKey key{c.algorithm, c.shape, c.n};
        const std::string cell = " | " + c.algorithm + " | " + c.shape + " | " + std::to_string(c.n) + " | ";
        if (c.status != "skipped") ++g.judged;
        if (failedStatus(c.status)) {
            const StoredCell* was = baseCell(base, &latest, key, nullptr);
            std::string why;
            const std::string status = commitStatus({&c}, why);
            const std::string line = "| " + status + cell + (was == nullptr ? "not judged by the base" : was->status) + " to " + status +
                                     " | " + why + " |";
            if (was != nullptr && was->status == c.status) g.ungated.push_back(line.substr(0, line.size() - 2) + " (failed in the base too) |");
            else g.failures.push_back(line);
            continue;
        }
        const StoredCell* old = baseCell(base, &latest, key, latest.countsModel.c_str());
        if (c.counted && old != nullptr) {
            ++g.counted;
            const std::string why = explanation(old, &c);
            const double ratio = old->estCycles > 0 && c.estCycles > 0 ? c.estCycles / old->estCycles
                                 : old->instructions > 0              ? c.instructions / old->instructions
                                                                      : 1;
            if (countsMoved(why)) {
                const bool past = std::fabs(ratio - 1) > o.gateMinChange, gated = past && (!o.slowerOnly || ratio > 1);
                (gated ? g.steps : g.ungated)
                    .push_back("| counts" + cell + formatted("%.4f", ratio) + " est_cycles | " + why +
                               (gated ? "" : past ? " (cheaper: not gated)" : " (within --min-change)") + " |");
            }
        }
        if (!c.verdict.empty() && c.verdict != "-") {
            ++g.timed;
            if (c.verdict == "slower") {
                g.steps.push_back("| times" + cell + "slower against the baseline, confirmed by the run's A B B A rounds | |");
            }
        }
    }
    return g;
}

// `check`: the latest run of --branch against the base's runs: a cell that failed where the base's
// newest run of it did not, counts against the newest base run that counted the cell with the same
// caches (exactly, past --min-change), and its own baseline verdicts (times); the summary printed
// and written to --markdown, failures first. Returns 1 where a failure or a step was found, else 0.
int check(const HistoryOptions& o) {
    const std::vector<StoredRun> runs = readRuns(o.store, o.filter);
    const StoredRun* latest = nullptr;
    for (const StoredRun& r : runs) {
        if (o.branch.empty() || onBranch(r, o.branch)) latest = &r;
    }
    if (latest == nullptr) throw StoreError("no run of the branch " + o.branch + " in the history (a run's --label names its branch)");
    // The base's runs oldest first: those of the checked commit's first-parent ancestors in their
    // order, where its repository (--repo, else the one its plugin was built in) is at hand (a
    // backfill records newest first); else in the order they were recorded.
    std::string repo = o.repo;
    for (const StoredEntry& e : latest->entries) {
        if (repo.empty() && !e.repository.empty() && std::filesystem::exists(e.repository + "/.git")) repo = e.repository;
    }
    std::size_t left = 0;
    std::vector<const StoredRun*> base, list;
    try {
        list = ordered(runs, repo, left, latest->commit.substr(0, latest->commit.find("-dirty")));
    } catch (const StoreError&) {
        if (!o.repo.empty()) throw;
        list = ordered(runs, "", left);  // the plugin's repository is gone, or the commit not in it
    }
    for (const StoredRun* r : list) {
        if (onBranch(*r, o.base)) base.push_back(r);
    }
    if (base.empty()) {
        throw StoreError("no run of the base " + o.base + (repo.empty() ? "" : " among the checked commit's ancestors") +
                         " in the history (a run's --label names its branch)");
    }
    const Gate g = gate(o, *latest, base);
    const std::string verdict = g.failures.empty() && g.steps.empty() ? "no failure, no step"
                                : g.failures.empty()                  ? counted(g.steps.size(), "step")
                                                                      : counted(g.failures.size(), "failure") +
                                                         (g.steps.empty() ? "" : ", " + counted(g.steps.size(), "step"));
    std::string summary = "## hull-lab history check: " + verdict + "\n\nRun " + std::to_string(latest->id) + " (commit " +
                          shortCommit(latest->commit) + ") against " + counted(base.size(), "run") + " of " + o.base + ": " +
                          counted(g.judged, "cell") + " judged, " + std::to_string(g.counted) +
                          (g.counted == 1 ? " cell's" : " cells'") + " counts compared exactly (a step past " + formatted("%g", 100 * o.gateMinChange) + "% of est_cycles" +
                          (o.slowerOnly ? ", costlier only" : "") + "), " + std::to_string(g.timed) +
                          (g.timed == 1 ? " cell's" : " cells'") + " times confirmed by a baseline run" + (g.timed == 0 ? " (none: times gate only a --baseline run)" : "") +
                          ".\n";
    auto table = [&summary](const char* title, const char* head, const std::vector<std::string>& lines) {
        if (lines.empty()) return;
        summary += std::string("\n### ") + title + "\n\n" + head + "\n|---|---|---|---|---|---|\n";
        for (const std::string& line : lines) summary += line + '\n';
    };
    table("Failures: cells whose hull is no longer right", "| status | entry | shape | n | change | why |", g.failures);
    table("Steps", "| measure | entry | shape | n | change | what moved it |", g.steps);
    table("Not gated", "| measure | entry | shape | n | change | what moved it |", g.ungated);
    std::cout << summary;
    if (!o.markdown.empty()) {
        std::ofstream out(o.markdown);
        out << summary;
        if (!out.flush()) throw StoreError("cannot write " + o.markdown);
    }
    return g.failures.empty() && g.steps.empty() ? 0 : 1;
}

// The settings of backfill and bisect: the store, this hull-lab, and the cells' options.
BackfillSettings backfillSettings(const HistoryOptions& o, const std::string& measure, const std::string& shapes,
                                  const std::string& sizes) {
    BackfillSettings s{o.repo, o.build, o.plugin, o.store.empty() ? defaultStorePath() : o.store, "", {"--measure", measure}, o.branch};
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    s.self = length > 0 ? std::string(self, std::size_t(length)) : "hull-lab";
    s.runWords.insert(s.runWords.end(), {"--algorithms", o.algorithms.empty() ? "yours" : o.algorithms});
    s.runWords.insert(s.runWords.end(), {"--shapes", shapes.empty() ? "square,disc,circle" : shapes});
    s.runWords.insert(s.runWords.end(), {"--sizes", sizes.empty() ? "1e4" : sizes});
    openStore(s.store);  // made now: a store that cannot take the runs stops it before any build
    return s;
}

// The options every history command shares.
void shared(CLI::App& command, HistoryOptions& o, std::string& algorithms, std::string& shapes, std::string& sizes) {
    command.add_option("--history", o.store, "the store: an SQLite file or postgresql://...; default ~/.local/share/hull-lab/")
        ->type_name("FILE");
    command.add_option("--algorithms", algorithms, "entries whose cells to read (default: all)")->type_name("LIST");
    command.add_option("--shapes", shapes, "shapes whose cells to read (default: all)")->type_name("LIST");
    command.add_option("--sizes", sizes, "sizes whose cells to read (default: all)")->type_name("LIST");
}

}  // namespace

int historyMain(int argc, char** argv, const volatile int* interrupted) {
    CLI::App app{"hull-lab history: the runs kept with --history, their cells' series and the steps in them", "hull-lab history"};
    app.footer("Without a subcommand: the runs, a line each. Each subcommand's --help gives its options.\n"
               "The guide: docs/guide/history.md in hull-lab's source.");
    HistoryOptions o;
    std::string algorithms, shapes, sizes;
    shared(app, o, algorithms, shapes, sizes);
    CLI::App* show = app.add_subcommand("show", "each cell's series across commits (--repo: in its first-parent order) or days");
    CLI::App* steps = app.add_subcommand("steps", "the steps in every cell's series, grouped, each explained by the counts");
    CLI::App* add = app.add_subcommand("add", "add a run's TSV (written by --tsv) to the store");
    CLI::App* gate = app.add_subcommand("check", "exit 1 when the latest run of a branch has a step against its base's runs");
    std::vector<CLI::Option*> json;
    for (CLI::App* command : {show, steps}) {
        command->add_option("--repo", o.repo, "order the runs by this git repository's first-parent history");
        command->add_option("--min-change", o.minChange, "the least change in times called a step (default 0.05)");
        json.push_back(command->add_option("--json", o.json, "write the series and steps as JSON to FILE (default history.json; "
                                                             "tools/lab-page --history draws them)")
                           ->expected(0, 1)->type_name("[FILE]"));
    }
    add->add_option("FILE", o.file, "the run's TSV")->required();
    gate->add_option("--branch", o.branch, "the branch (or --label) of the run to check (default: the latest run)");
    gate->add_option("--base", o.base, "the branch (or --label) whose runs it is checked against")->required();
    gate->add_option("--markdown", o.markdown, "write the summary to FILE too");
    gate->add_option("--repo", o.repo, "compare with the base's run of the nearest first-parent ancestor of the checked commit "
                                       "in this git repository (default: the plugin's own repository, else the base's newest recorded run)")->type_name("DIR");
    gate->add_option("--min-change", o.gateMinChange, "the least change in a cell's counted est_cycles that fails it (default 0.002)");
    gate->add_flag("--slower-only", o.slowerOnly, "fail on costlier counts only (cheaper ones are listed, not gated)");
    CLI::App* fill = app.add_subcommand("backfill", "build each commit of RANGE (A..B) of your repository and record its run");
    CLI::App* search = app.add_subcommand("bisect", "find the first commit after GOOD whose counts differ from GOOD's");
    std::string measure = "counts";
    for (CLI::App* command : {fill, search}) {
        command->add_option("--repo", o.repo, "your git repository (each commit built in a worktree of its own)")
            ->required()->type_name("DIR");
        command->add_option("--build", o.build, "the shell command that builds your plugin, run in the worktree")
            ->required()->type_name("'COMMAND'");
        command->add_option("--plugin", o.plugin, "the plugin's library, relative to the worktree")->required()->type_name("LIB");
        command->add_option("--measure", measure, "counts (default), times or times,counts")->type_name("WHAT");
        command->footer("Also --history FILE, and the cells: --shapes (default square,disc,circle), --sizes (1e4),\n"
                        "--algorithms (yours). The guide: docs/guide/history.md.");
    }
    fill->add_option("RANGE", o.range, "the commits, as git names them: A..B (A left out), or B alone (from the root)")->required();
    fill->add_flag("--include-first", o.includeFirst, "measure A of A..B too");
    for (CLI::App* command : {fill, search}) {
        command->add_option("--branch", o.branch, "the branch the runs are recorded along (default: RANGE's or BAD's end where it "
                                                  "names a branch), as --label records it");
    }
    search->add_option("GOOD", o.good, "a commit whose counts are the old ones")->required();
    search->add_option("BAD", o.bad, "a later commit whose counts differ")->required();
    for (CLI::App* command : {show, steps, add, gate}) command->footer("Also --history FILE, --algorithms, --shapes, --sizes.");
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
    for (CLI::Option* option : json) {
        if (option->count() > 0 && o.json.empty()) o.json = "history.json";
    }
    o.filter.algorithms = commaList(algorithms), o.filter.shapes = commaList(shapes);
    o.algorithms = algorithms;
    for (const std::string& size : commaList(sizes)) o.filter.sizes.push_back(std::int64_t(std::strtod(size.c_str(), nullptr)));
    try {
        if (*fill) return backfill(backfillSettings(o, measure, shapes, sizes), o.range, o.includeFirst, interrupted);
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

int recordRun(const StoredRun& run, const std::string& where, const std::string& tsv) {
    try {
        openStore(where)->add(run);
        return 0;
    } catch (const StoreError& e) {
        std::cerr << "hull-lab: the run is not recorded: " << e.what()
                  << (tsv.empty() ? std::string() : "; " + tsv + " holds it: hull-lab history add " + tsv + " adds it later") << '\n';
        return 2;
    }
}

}  // namespace lab
