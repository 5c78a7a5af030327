// The history: the store (made, migrated, refused, locked, written by several processes), runs read
// back from a TSV, steps found in synthetic series, and hull-lab history on a plugin's repository.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <random>

#include "history/history.h"
#include "history/series.h"
#include "results/fields.h"
#include "lab_run.h"
#include "run/counts.h"

namespace {

using testfiles::TempDir;

// A run of `cells` counted cells on square, the commit and instructions given.
lab::StoredRun someRun(const std::string& commit, int cells = 3, double instructions = 1000) {
    lab::StoredRun run;
    run.commit = commit, run.machine = "test machine", run.source = "test";
    run.context = {{"date", "2026-12-09"}, {"version", commit}};
    run.entries.push_back({"hull", "plugin", "/x/libhull.so", "fnv1a64:00ff", commit, "main", "/x"});
    for (int i = 0; i < cells; ++i) {
        lab::StoredCell c;
        c.shape = "square", c.algorithm = i == 0 ? "copy" : "hull", c.n = 1000 * (i + 1), c.status = "ok";
        c.median = 1e-3 * (i + 1), c.lo = 0.9e-3 * (i + 1), c.hi = 1.1e-3 * (i + 1), c.runs = {1e-3, 1.1e-3, 0.9e-3};
        c.counted = true, c.instructions = instructions * (i + 1), c.l1Misses = 10, c.llMisses = 1, c.branchMisses = 5;
        c.estCycles = 2 * instructions;
        run.cells.push_back(c);
    }
    return run;
}

// `writers` processes at once, each adding `runs` runs of `cells` cells to the store `where`.
void writeAtOnce(const std::string& where, int writers, int runs, int cells) {
    std::vector<pid_t> children;
    for (int w = 0; w < writers; ++w) {
        const pid_t child = fork();
        if (child == 0) {
            try {
                for (int i = 0; i < runs; ++i) lab::openStore(where)->add(someRun("w" + std::to_string(w), cells));
            } catch (const std::exception& e) {
                std::fprintf(stderr, "writer %d: %s\n", w, e.what());
                _exit(1);
            }
            _exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer of " << where << " failed";
    }
}

void setVersion(const std::string& path, int version) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, ("PRAGMA user_version = " + std::to_string(version)).c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

TEST(Store, IsMadeOnFirstUseWithItsFolderAndKeepsARunWhole) {
    TempDir dir("history");
    const std::string path = (dir.path / "a" / "b" / "h.sqlite").string();
    lab::StoredRun run = someRun("abc");
    run.cells[1].verdict = "slower", run.cells[2].counted = false;
    EXPECT_EQ(lab::openStore(path)->version(), lab::kStoreVersion);
    lab::openStore(path)->add(run);
    const std::vector<lab::StoredRun> back = lab::openStore(path)->runs({}, true);
    ASSERT_EQ(back.size(), 1u);
    const lab::StoredRun& r = back[0];
    EXPECT_EQ(r.commit, "abc");
    EXPECT_EQ(r.context, run.context);
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(r.entries[0].fileHash, "fnv1a64:00ff");
    EXPECT_EQ(r.entries[0].branch, "main");
    ASSERT_EQ(r.cells.size(), 3u);
    EXPECT_EQ(r.cells[1].runs, run.cells[1].runs);
    EXPECT_EQ(r.cells[1].verdict, "slower");
    EXPECT_DOUBLE_EQ(r.cells[2].instructions, 0);  // not counted: nothing kept
    EXPECT_FALSE(r.cells[2].counted);
    const lab::StoredRun listed = lab::openStore(path)->runs({}, false)[0];
    EXPECT_TRUE(listed.cells.empty());
    EXPECT_EQ(listed.cellCount, 3u);
    EXPECT_EQ(listed.countedCells, 2u);
    EXPECT_DOUBLE_EQ(r.cells[1].instructions, 2000);
    // A filter reads only the cells it names.
    const auto some = lab::openStore(path)->runs({{"hull"}, {"square"}, {3000}}, true);
    ASSERT_EQ(some[0].cells.size(), 1u);
    EXPECT_EQ(some[0].cells[0].n, 3000);
}

TEST(Store, MigratesAnOlderStoreAndRefusesANewerOne) {
    TempDir dir("history");
    const std::string path = (dir.path / "h.sqlite").string();
    lab::openStore(path)->add(someRun("a"));
    setVersion(path, lab::kStoreVersion + 1);
    try {
        lab::openStore(path);
        FAIL() << "a store of a newer version was opened";
    } catch (const lab::StoreError& e) {
        EXPECT_NE(std::string(e.what()).find("newer than this hull-lab's"), std::string::npos) << e.what();
    }
    setVersion(path, lab::kStoreVersion);
    EXPECT_EQ(lab::openStore(path)->runs({}, false).size(), 1u) << "refusing it lost the run";
    // From version 0 (an empty file): every migration in turn.
    const std::string empty = (dir.path / "empty.sqlite").string();
    std::ofstream{empty};
    EXPECT_EQ(lab::openStore(empty)->version(), lab::kStoreVersion);
}

TEST(Store, RefusesPlacesThatCannotHoldOneInOneLine) {
    TempDir dir("history");
    std::ofstream(dir.path / "text") << "not a database, but long enough to be read as one's header\n";
    const struct {
        const char* name;
        std::string path;
        const char* says;
    } cases[] = {
        {"a folder", dir.path.string(), "is a folder"},
        {"a text file", (dir.path / "text").string(), "not an SQLite file"},
        {"below a file", (dir.path / "text" / "h.sqlite").string(), "cannot open"},
        {"PostgreSQL unreachable", "postgresql://nobody@127.0.0.1:1/none", "127.0.0.1"},
    };
    for (const auto& c : cases) {
        try {
            lab::openStore(c.path)->add(someRun("a"));
            ADD_FAILURE() << c.name << ": no error";
        } catch (const lab::StoreError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find(c.says), std::string::npos) << c.name << ": " << what;
            EXPECT_EQ(what.find('\n'), std::string::npos) << c.name;
        }
    }
}

TEST(Store, ALockedStoreFailsAfterItsWaitAndLosesNothing) {
    TempDir dir("history");
    const std::string path = (dir.path / "h.sqlite").string();
    lab::openStore(path)->add(someRun("a"));
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    try {
        lab::openStore(path, 0.2)->add(someRun("b"));
        ADD_FAILURE() << "a locked store took a run";
    } catch (const lab::StoreError& e) {
        EXPECT_NE(std::string(e.what()).find("locked"), std::string::npos) << e.what();
    }
    sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    lab::openStore(path)->add(someRun("c"));
    const auto runs = lab::openStore(path)->runs({}, true);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].commit + runs[1].commit, "ac");
    EXPECT_EQ(runs[1].cells.size(), 3u);
}

TEST(Store, ProcessesWritingAtOnceEachKeepEveryRunWhole) {
    TempDir dir("history");
    const std::string path = (dir.path / "h.sqlite").string();
    constexpr int kWriters = 4, kRuns = 15, kCells = 40;
    writeAtOnce(path, kWriters, kRuns, kCells);
    const auto runs = lab::openStore(path)->runs({}, true);
    EXPECT_EQ(runs.size(), std::size_t(kWriters * kRuns));
    for (const lab::StoredRun& r : runs) EXPECT_EQ(r.cells.size(), std::size_t(kCells)) << "run " << r.id;
}

// ---- A run read back from its TSV ----------------------------------------------------------------

TEST(TsvRun, TakesTheContextTheEntriesOriginAndEveryCell) {
    const std::string tsv =
        "# date: 2026-12-09T12:00:42+0000\n# version: f658ac8112cc\n# cpu: AMD EPYC\n# cores: 2\n# caches: not known\n"
        "# memory: 23.5 GiB, 23.1 GiB available\n"
        "# counts: Callgrind (valgrind-3.19.0) around each call\n# simulated caches: fixed: I1 32 KiB\n"
        "# entry hull: plugin /r/libhull.so, hull_lab_hull (int64)\n"
        "# origin of hull: fnv1a64 0123456789abcdef; commit 1234abcd; branch topic; repository /r\n"
        "# label: nightly\n# warning: the load is high\n# catalogue: entry\tmethod\n"
        "shape\tn\th\talgorithm\tmedian_s\tmin_s\tmax_s\tstatus\tnote\truns_s\tlo_s\thi_s\tinstructions\tl1_misses\t"
        "ll_misses\tbranch_misses\test_cycles\tfastest\tsure\n"
        "disc\t1000\t40\thull\t1.0e-05\t9.0e-06\t1.1e-05\tok\t\t1.0e-05,9.0e-06,1.1e-05\t9.5e-06\t1.05e-05\t12345.0\t10.0\t"
        "1.0\t30.0\t15000.0\tentry\tyes\n"
        "disc\t1000\t-\tcopy\t-\t-\t-\tskipped\tpredicted 20 s\t-\t-\t-\t\t\t\t\t\t-\t-\n"
        "# mean: hull\t1.0\t-\t-\tsame\t1\n";
    const lab::StoredRun r = lab::storedRunFromTsv(tsv, "run.tsv");
    EXPECT_EQ(r.commit, "1234abcd");
    EXPECT_EQ(r.branch, "topic");
    EXPECT_EQ(r.label, "nightly");
    EXPECT_EQ(r.labVersion, "f658ac8112cc");
    EXPECT_EQ(r.machine, "AMD EPYC, 2 cores, caches not known, 23.5 GiB");
    EXPECT_EQ(r.countsModel, "valgrind-3.19.0; fixed: I1 32 KiB");
    EXPECT_EQ(lab::contextValue(r.context, "warning"), "") << "warnings are not context";
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(r.entries[0].path, "/r/libhull.so");
    EXPECT_EQ(r.entries[0].fileHash, "fnv1a64:0123456789abcdef");
    ASSERT_EQ(r.cells.size(), 2u);
    EXPECT_TRUE(r.cells[0].counted);
    EXPECT_DOUBLE_EQ(r.cells[0].instructions, 12345);
    EXPECT_DOUBLE_EQ(r.cells[0].lo, 9.5e-6);
    EXPECT_EQ(r.cells[0].runs.size(), 3u);
    EXPECT_FALSE(r.cells[1].counted);
    EXPECT_EQ(r.cells[1].h, -1);
    EXPECT_EQ(r.cells[1].note, "predicted 20 s");
    EXPECT_THROW(lab::storedRunFromTsv("x\ty\n1\t2\n", "bad.tsv"), lab::StoreError);
    EXPECT_THROW(lab::storedRunFromTsv("", "empty.tsv"), lab::StoreError);
}

// The context as the app writes it, with the fields' own writers, reads back by name into the run a
// store keeps: each kind of entry (a path with a comma in it, doubles, a program with quotes), the
// counts' Valgrind, or none.
TEST(HistoryRecord, TheContextsFieldsWrittenByTheAppReadBackIntoTheStoredRun) {
    namespace runcontext = lab::runcontext;
    lab::UserEntry plain, doubles, program;
    plain.name = "hull", plain.path = "/r/a, b/libhull.so", plain.symbol = "hull_lab_hull";
    doubles.name = "hull-f64", doubles.path = "/r/libhull.so", doubles.symbol = "hull_lab_hull_f64", doubles.f64 = true;
    program.kind = lab::UserEntry::Program, program.name = "py", program.command = "python3 'my hull.py'";
    struct Case {
        const char* name;
        lab::UserEntry entry;
        std::string counts, countsModel;
    } cases[] = {
        {"a plugin on int64 whose path holds a comma", plain, runcontext::countsValue("valgrind-3.19.0"), "valgrind-3.19.0; fixed"},
        {"a plugin on doubles", doubles, runcontext::countsNone(), ""},
        {"a program whose command holds quotes", program, "", ""},
    };
    for (const Case& c : cases) {
        lab::RunModel model;
        model.context = {{runcontext::kDate, "2026-12-10"}, {runcontext::kCpu, "AMD EPYC"}, {runcontext::kCores, "2"},
                         {runcontext::kCaches, "not known"}, {runcontext::kMemory, "23.5 GiB, 23.1 GiB available"},
                         {runcontext::kVersion, "abc"}, {runcontext::entryName(c.entry.name), runcontext::entryValue(c.entry)},
                         {runcontext::originName(c.entry.name), "fnv1a64 0123; commit c0ffee; branch topic; repository /r"},
                         {runcontext::kLabel, "nightly"}};
        if (!c.counts.empty()) model.context.push_back({runcontext::kCounts, c.counts}), model.context.push_back({runcontext::kSimulatedCaches, "fixed"});
        const lab::StoredRun r = lab::storedRun(model);
        EXPECT_EQ(r.machine, "AMD EPYC, 2 cores, caches not known, 23.5 GiB") << c.name;
        EXPECT_EQ(r.label, "nightly") << c.name;
        EXPECT_EQ(r.commit, "c0ffee") << c.name;
        EXPECT_EQ(r.countsModel, c.countsModel) << c.name;
        ASSERT_EQ(r.entries.size(), 1u) << c.name;
        EXPECT_EQ(r.entries[0].name, c.entry.name) << c.name;
        const bool plugin = c.entry.kind == lab::UserEntry::Plugin;
        EXPECT_EQ(r.entries[0].kind, plugin ? "plugin" : "program") << c.name;
        EXPECT_EQ(r.entries[0].path, plugin ? c.entry.path : "'" + c.entry.command + "'") << c.name;
        const lab::UserEntry back = runcontext::entryOfValue(c.entry.name, runcontext::entryValue(c.entry));
        EXPECT_EQ(back.symbol, c.entry.symbol) << c.name;
        EXPECT_EQ(back.f64, c.entry.f64) << c.name;
        EXPECT_EQ(back.command, c.entry.command) << c.name;
    }
}

TEST(TsvRun, APluginsOriginNamesItsFileAndTheCommitHoldingIt) {
    TempDir dir("history");
    std::ofstream(dir.path / "lib.so") << "first";
    lab::UserEntry e;
    e.path = (dir.path / "lib.so").string();
    const std::string outside = lab::entryOrigin(e);
    EXPECT_EQ(outside.rfind("fnv1a64 ", 0), 0u) << outside;
    EXPECT_EQ(outside.find("commit"), std::string::npos) << "no repository: " << outside;
    ASSERT_EQ(std::system(("cd '" + dir.path.string() + "' && git init -q . && git add lib.so && git -c user.name=t -c "
                           "user.email=t@t commit -q -m one")
                              .c_str()),
              0);
    const std::string inside = lab::entryOrigin(e);
    EXPECT_EQ(inside.substr(0, outside.size()), outside);
    EXPECT_NE(inside.find("; commit "), std::string::npos) << inside;
    std::ofstream(dir.path / "lib.so") << "second";
    EXPECT_NE(lab::entryOrigin(e).substr(0, 24), outside.substr(0, 24)) << "the hash did not follow the file";
}

// ---- Steps in series -----------------------------------------------------------------------------

// A series of 20 commits, one run each: log medians with the run's own interval `se`, the noise
// between runs `noise`, steps of `jumps` (relative) at their places, and a drift per commit.
std::vector<lab::SeriesPoint> series(unsigned seed, double noise, double se, std::vector<std::pair<std::size_t, double>> jumps,
                                     double drift) {
    std::mt19937 random(seed);
    std::normal_distribution<double> normal(0, 1);
    std::vector<lab::SeriesPoint> points;
    double level = std::log(1e-3);
    for (std::size_t i = 0; i < 20; ++i) {
        for (const auto& [at, jump] : jumps) level += i == at ? std::log1p(jump) : 0;
        level += drift;
        points.push_back({"c" + std::to_string(i), level + noise * normal(random), se});
    }
    return points;
}

TEST(TimeSteps, AreFoundWhereTheyAreAndNowhereElse) {
    const struct {
        const char* name;
        double noise, se;
        std::vector<std::pair<std::size_t, double>> jumps;
        double drift;
        std::vector<std::size_t> expected;
    } cases[] = {
        {"none", 0.01, 0.01, {}, 0, {}},
        {"one", 0.01, 0.01, {{10, 0.10}}, 0, {10}},
        {"two", 0.01, 0.01, {{6, 0.10}, {13, -0.10}}, 0, {6, 13}},
        {"slow drift", 0.005, 0.005, {}, 0.003, {}},
        {"noisy, none", 0.05, 0.05, {}, 0, {}},
        {"a step inside wide intervals", 0.03, 0.2, {{10, 0.10}}, 0, {}},
        {"one run far off with a wide interval", 0.01, 0.01, {}, 0, {}},
    };
    for (unsigned seed = 1; seed <= 50; ++seed) {  // each series its own noise, as cells have
        std::vector<std::vector<lab::SeriesPoint>> all;
        for (const auto& c : cases) all.push_back(series(seed * 100 + unsigned(all.size()), c.noise, c.se, c.jumps, c.drift));
        all.back()[12].value += std::log(1.3), all.back()[12].se = 0.3;  // 30% off, within its own +-60%
        const auto steps = lab::timeSteps(all, 0.05, 0.05);
        for (std::size_t k = 0; k < all.size(); ++k) {
            std::vector<std::size_t> at;
            for (const lab::Step& s : steps[k]) at.push_back(s.at);
            EXPECT_EQ(at, cases[k].expected) << cases[k].name << ", seed " << seed;
        }
    }
}

TEST(CountSteps, AnyChangeBetweenCommitsBeyondTheirOwnRepeats) {
    auto points = [](std::vector<std::pair<const char*, double>> list) {
        std::vector<lab::SeriesPoint> s;
        for (const auto& [commit, value] : list) s.push_back({commit, value, 0});
        return s;
    };
    // Exact counts: one instruction more is a step.
    auto steps = lab::countSteps(points({{"a", 1000}, {"b", 1000}, {"c", 1001}, {"d", 1001}}), 0);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].at, 2u);
    EXPECT_DOUBLE_EQ(steps[0].ratio, 1.001);
    // Misses that differ between repeats of one commit by 1%: a change of 0.5% is not a step, 5% is.
    steps = lab::countSteps(points({{"a", 100}, {"a", 101}, {"b", 100.5}, {"c", 106}}), lab::kMissNoise);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].at, 3u);
    // Misses 1e-5 apart are noise, without repeats too.
    EXPECT_TRUE(lab::countSteps(points({{"a", 1e6}, {"b", 1e6 + 10}}), lab::kMissNoise).empty());
}

TEST(Discoveries, FollowBenjaminiAndHochberg) {
    EXPECT_EQ(lab::discoveries({0.01, 0.04, 0.03, 0.005}, 0.05), std::vector<bool>({true, true, true, true}));
    EXPECT_EQ(lab::discoveries({0.01, 0.02, 0.03, 0.5}, 0.05), std::vector<bool>({true, true, true, false}));
    // 0.02 alone would pass (<= 0.05) but is the 1st of 5: 0.02 > 0.01.
    EXPECT_EQ(lab::discoveries({0.02, 0.6, 0.7, 0.8, 0.9}, 0.05), std::vector<bool>(5, false));
    EXPECT_TRUE(lab::discoveries({}, 0.05).empty());
}

TEST(Explanation, NamesWhatMovedFromTheCounts) {
    lab::StoredCell base;
    base.counted = true, base.instructions = 1000, base.l1Misses = 10, base.llMisses = 2, base.branchMisses = 30;
    lab::StoredCell code = base, layout = base, same = base, uncounted = base;
    code.instructions = 1001;
    layout.branchMisses = 33;
    same.l1Misses = 10.0001;  // within the noise allowed to misses
    uncounted.counted = false;
    EXPECT_EQ(lab::explanation(&base, &code), "the code (instructions changed)");
    EXPECT_EQ(lab::explanation(&base, &layout), "layout or data (instructions equal; misses or mispredictions changed)");
    EXPECT_EQ(lab::explanation(&base, &same), "the machine or its noise (counts equal)");
    EXPECT_EQ(lab::explanation(&base, &uncounted), "no counts of both commits");
    EXPECT_EQ(lab::explanation(nullptr, &base), "no counts of both commits");
    // A two-thread entry's misses repeat like any other's (its parts take turns on one thread).
    lab::StoredCell team = base, teamLayout = layout;
    team.algorithm = teamLayout.algorithm = "copy-2t";
    EXPECT_EQ(lab::explanation(&team, &teamLayout), "layout or data (instructions equal; misses or mispredictions changed)");
    EXPECT_TRUE(lab::countsMoved(lab::explanation(&team, &teamLayout)));
    EXPECT_FALSE(lab::countsMoved(lab::explanation(&base, &same)));
}

// ---- Status in series -----------------------------------------------------------------------------

// Runs of `commits` in order ("c1", "c1", "c2", ...), each with `hull` on square and lattice at 1000
// points, its status on lattice from `lattice` (one word per run; square stays ok).
std::vector<lab::StoredRun> statusRuns(const std::vector<std::string>& commits, const std::vector<std::string>& lattice) {
    std::vector<lab::StoredRun> runs;
    for (std::size_t i = 0; i < commits.size(); ++i) {
        lab::StoredRun r = someRun(commits[i], 1);
        r.cells.clear();
        for (const char* shape : {"lattice", "square"}) {
            lab::StoredCell c;
            c.algorithm = "hull", c.shape = shape, c.n = 1000, c.status = shape == std::string("lattice") ? lattice[i] : "ok";
            if (c.status == "WRONG") c.note = "the point (1;0) lies on the hull edge from (0;0) to (2;0)";
            if (c.status == "refused") c.note = "the library refused the points";
            r.cells.push_back(c);
        }
        runs.push_back(r);
    }
    return runs;
}

TEST(StatusSteps, EveryChangeOfStatusBetweenNeighbouringCommitsFirstAndNamed) {
    struct Case {
        const char* what;
        std::vector<std::string> commits, lattice;
        std::vector<std::string> lines;  // the status lines stepLines gives, in order
    } cases[] = {
        {"right to WRONG", {"c1", "c2", "c3"}, {"ok", "ok", "WRONG"},
         {"status: hull became WRONG at commit c3 (after c2) on lattice at 1000 points: a point in the middle of an edge"}},
        {"WRONG to right", {"c1", "c2"}, {"WRONG", "ok"}, {"status: hull right again at commit c2 (after c1) on lattice at 1000 points"}},
        {"right to refused to right", {"c1", "c2", "c3"}, {"ok", "refused", "ok"},
         {"status: hull became refused at commit c2 (after c1) on lattice at 1000 points: the library refused the points",
          "status: hull right again at commit c3 (after c2) on lattice at 1000 points"}},
        {"a failure in one run of three", {"c1", "c2", "c2", "c2"}, {"ok", "ok", "WRONG", "ok"},
         {"status: hull became WRONG at commit c2 (after c1) on lattice at 1000 points: a point in the middle of an edge, in 1 of 3 runs"}},
        {"a commit that judged nothing is passed over", {"c1", "c2", "c3"}, {"ok", "skipped", "ok"}, {}},
        {"failed alike throughout", {"c1", "c2"}, {"WRONG", "WRONG"}, {}},
    };
    for (const Case& c : cases) {
        const std::vector<lab::StoredRun> runs = statusRuns(c.commits, c.lattice);
        std::vector<const lab::StoredRun*> list;
        for (const lab::StoredRun& r : runs) list.push_back(&r);
        std::string legend;
        const std::vector<std::string> lines = lab::stepLines(lab::stepsIn(list, {}, 0.05, 0.05), lab::machineNames(list, legend));
        EXPECT_EQ(lines, c.lines) << c.what;
    }
}

TEST(StatusSteps, ComeBeforeTheCountsStepOfTheSameCommit) {
    std::vector<lab::StoredRun> runs = statusRuns({"c1", "c2"}, {"ok", "WRONG"});
    for (lab::StoredRun& r : runs) {
        for (lab::StoredCell& c : r.cells) c.counted = true, c.instructions = r.commit == "c1" ? 1000 : 1100, c.estCycles = c.instructions;
    }
    std::vector<const lab::StoredRun*> list = {&runs[0], &runs[1]};
    std::string legend;
    const std::vector<std::string> lines = lab::stepLines(lab::stepsIn(list, {}, 0.05, 0.05), lab::machineNames(list, legend));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("status: hull became WRONG at commit c2", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("counts: hull costlier", 0), 0u) << lines[1];
}

// ---- hull-lab history ------------------------------------------------------------------------------

TEST(HistoryCommand, CheckGatesOnCountsAndFailsInOneLineOnABadStore) {
    TempDir dir("history");
    const std::string store = (dir.path / "h.sqlite").string();
    lab::StoredRun base = someRun("b1"), same = someRun("t1"), changed = someRun("t2", 3, 1003);
    base.branch = "main", same.branch = "topic", changed.branch = "other";
    base.countsModel = same.countsModel = changed.countsModel = "valgrind; fixed";
    for (const auto* r : {&base, &same, &changed}) lab::openStore(store)->add(*r);
    LabRun run = runLab(dir.path, "history check --history h.sqlite --base main --branch topic");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("no step"), std::string::npos) << run.out;
    run = runLab(dir.path, "history check --history h.sqlite --base main --branch other --markdown gate.md");
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_NE(run.out.find("| counts | hull | square | 2000 |"), std::string::npos) << run.out;
    EXPECT_NE(testfiles::read(dir.path / "gate.md").find("the code (instructions changed)"), std::string::npos);
    setVersion(store, lab::kStoreVersion + 1);
    for (const char* arguments : {"history --history h.sqlite", "history --history postgresql://127.0.0.1:1/x",
                                  "--history . --shapes square --sizes 100 --algorithms copy --tsv t.tsv"}) {
        run = runLab(dir.path, arguments);
        EXPECT_EQ(run.status, 2) << arguments << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << arguments << ": " << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path / "t.tsv")) << "a run that cannot be kept ran";
}

// The gate on a store of hand-made runs: a base on main, then one branch per case, each checked
// against main with its options.
TEST(HistoryCommand, CheckFailsOnACellThatFailedAndOnCountsPastTheLeastChangeInTheirDirection) {
    TempDir dir("history");
    const std::string store = (dir.path / "h.sqlite").string();
    auto run = [](const std::string& branch, const std::string& lattice, double instructions) {
        lab::StoredRun r = statusRuns({branch}, {lattice})[0];
        for (lab::StoredCell& c : r.cells) {
            c.counted = c.status == "ok", c.instructions = instructions, c.estCycles = 2 * instructions;
            c.l1Misses = 10, c.llMisses = 1, c.branchMisses = 5;
        }
        r.branch = branch, r.countsModel = "valgrind; fixed";
        return r;
    };
    lab::openStore(store)->add(run("main", "ok", 100000));
    struct Case {
        const char* what;
        lab::StoredRun run;
        const char* options;
        int status;
        const char* says;
    } cases[] = {
        {"WRONG on lattice, counts of square equal", run("wrong", "WRONG", 100000), "", 1, "| WRONG | hull | lattice | 1000 | ok to WRONG |"},
        {"crashed on lattice", run("crash", "crashed", 100000), "", 1, "| crashed | hull | lattice | 1000 | ok to crashed |"},
        {"0.5% faster, default", run("faster", "ok", 99500), "", 1, "| counts | hull | square | 1000 | 0.9950 est_cycles"},
        {"0.5% faster, --slower-only", run("faster2", "ok", 99500), "--slower-only", 0, "(cheaper: not gated)"},
        {"0.5% slower, --slower-only", run("slower", "ok", 100500), "--slower-only", 1, "| counts | hull | square | 1000 | 1.0050"},
        {"0.1% slower, default", run("tiny", "ok", 100100), "", 0, "(within --min-change)"},
        {"0.1% slower, --min-change 0.0005", run("tiny2", "ok", 100100), "--min-change 0.0005", 1, "1.0010 est_cycles"},
    };
    for (const Case& c : cases) lab::openStore(store)->add(c.run);
    for (const Case& c : cases) {
        const LabRun r = runLab(dir.path, std::string("history check --history h.sqlite --base main --branch ") + c.run.branch + " " +
                                              c.options + " --markdown gate.md");
        EXPECT_EQ(r.status, c.status) << c.what << ":\n" << r.out << r.err;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.what << ":\n" << r.out;
    }
    // Failures are named before the steps in the summary and its markdown.
    lab::openStore(store)->add(run("both", "WRONG", 102000));
    LabRun both = runLab(dir.path, "history check --history h.sqlite --base main --branch both --markdown gate.md");
    EXPECT_EQ(both.status, 1) << both.out << both.err;
    const std::string markdown = testfiles::read(dir.path / "gate.md");
    EXPECT_EQ(markdown.rfind("## hull-lab history check: 1 failure, 1 step", 0), 0u) << markdown;
    ASSERT_NE(markdown.find("### Steps"), std::string::npos) << markdown;
    EXPECT_LT(markdown.find("### Failures"), markdown.find("### Steps")) << markdown;
    // A base that fails alike: the cell did not become WRONG on this branch.
    lab::StoredRun wrongBase = run("main", "WRONG", 100000), still = run("still", "WRONG", 100000);
    lab::openStore(store)->add(wrongBase);
    lab::openStore(store)->add(still);
    const LabRun r = runLab(dir.path, "history check --history h.sqlite --base main --branch still");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("(failed in the base too)"), std::string::npos) << r.out;
}

// A run's branch for the gate: its --label first (a detached checkout's entries are on branch
// "HEAD", which names none), else its entries' branch.
TEST(TsvRun, ALabelNamesTheBranchOverTheCheckoutAndADetachedHeadNamesNone) {
    struct Case {
        const char* what;
        const char* branch;
        const char* label;
        const char* stored;  // the run's branch as kept
        const char* found;   // the name check --branch finds it by
    } cases[] = {
        {"detached, labelled", "HEAD", "pr-42", "", "pr-42"},
        {"detached, no label", "HEAD", "", "", ""},
        {"on a branch, labelled", "topic", "pr-42", "topic", "pr-42"},
        {"on a branch, no label", "topic", "", "topic", "topic"},
    };
    for (const Case& c : cases) {
        TempDir dir("history");
        const std::string tsv = std::string("# date: 2026-12-10\n# version: v1\n# cpu: x\n# cores: 2\n# caches: -\n# memory: 1 GiB\n") +
                                "# entry hull: plugin /r/libhull.so, hull_lab_hull (int64)\n" +
                                "# origin of hull: fnv1a64 00; commit 1234abcd; branch " + c.branch + "; repository /r\n" +
                                (c.label[0] ? std::string("# label: ") + c.label + "\n" : "") +
                                "shape\tn\th\talgorithm\tmedian_s\tmin_s\tmax_s\tstatus\tnote\truns_s\tlo_s\thi_s\tinstructions\t"
                                "l1_misses\tll_misses\tbranch_misses\test_cycles\n"
                                "square\t1000\t4\thull\t1e-05\t1e-05\t1e-05\tok\t\t1e-05\t-\t-\t\t\t\t\t\n";
        const lab::StoredRun r = lab::storedRunFromTsv(tsv, "run.tsv");
        EXPECT_EQ(r.branch, c.stored) << c.what;
        lab::openStore((dir.path / "h.sqlite").string())->add(r);
        lab::StoredRun base = r;
        base.label = "main";
        lab::openStore((dir.path / "h.sqlite").string())->add(base);
        if (c.found[0] == 0) continue;
        const LabRun check = runLab(dir.path, std::string("history check --history h.sqlite --base main --branch ") + c.found);
        EXPECT_EQ(check.status, 0) << c.what << ": " << check.out << check.err;
    }
}

TEST(HistoryCommand, ARunRecordedIsReadBackAndItsTsvAddsTheSame) {
    if (kSanitized) GTEST_SKIP() << "a whole run: the plain build checks it";
    TempDir dir("history");
    LabRun run = runLab(dir.path, "--shapes square --sizes 100,1000 --algorithms copy,incremental-array --runs 2 "
                                  "--history h.sqlite --label nightly --tsv run.tsv");
    ASSERT_EQ(run.status, 0) << run.err;
    run = runLab(dir.path, "history add run.tsv --history h.sqlite");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto runs = lab::openStore((dir.path / "h.sqlite").string())->runs({}, true);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].label, "nightly");
    EXPECT_EQ(runs[0].source, "run");
    EXPECT_EQ(runs[1].source, "run.tsv");
    for (const lab::StoredRun& r : runs) {
        EXPECT_EQ(r.machine, runs[0].machine);
        EXPECT_EQ(r.commit, runs[0].commit);
        ASSERT_EQ(r.cells.size(), 4u) << r.source;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(runs[1].cells[i].algorithm, runs[0].cells[i].algorithm);
        EXPECT_NEAR(runs[1].cells[i].median, runs[0].cells[i].median, 1e-6 * runs[0].cells[i].median) << i;
    }
    run = runLab(dir.path, "history show --history h.sqlite --algorithms incremental-array --sizes 1000");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("incremental-array, square, 1000 points"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("copy, square"), std::string::npos) << "copy was not asked for: " << run.out;
}

// The plugin's repository of tests/tools/plugin_repo.sh: 20 commits, an extra linear pass added at
// c6 and removed at c13, c10 does not build.
class PluginHistory : public ::testing::Test {
  protected:
    void SetUp() override {
        if (kSanitized) GTEST_SKIP() << "Valgrind does not run a sanitized build";
        if (lab::valgrindPath().empty()) GTEST_SKIP() << "Valgrind is not installed (make test installs it)";
        ASSERT_EQ(std::system(("sh '" PROJECT_SOURCE "/tests/tools/plugin_repo.sh' '" + repo() + "' '" PROJECT_SOURCE "' >/dev/null").c_str()), 0);
    }
    std::string repo() const { return (dir_.path / "repo").string(); }
    // The commit c`i`.
    std::string commit(int i) {
        const LabRun r = sh("git -C repo rev-parse HEAD~" + std::to_string(19 - i));
        return r.out.substr(0, 40);
    }
    LabRun sh(const std::string& command) {
        const int status = std::system(("cd '" + dir_.path.string() + "' && " + command + " >stdout 2>stderr").c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testfiles::read(dir_.path / "stdout"), testfiles::read(dir_.path / "stderr")};
    }
    LabRun lab(const std::string& arguments) {
        return runLab(dir_.path, arguments + " --repo repo --build 'c++ -O2 -shared -fPIC -I. hull.cpp -o libhull.so' "
                                             "--plugin libhull.so --shapes square --sizes 1e3");
    }
    TempDir dir_{"history"};
};

TEST_F(PluginHistory, BackfillFindsBothStepsAtTheirCommitsAndResumesAfterCtrlC) {
    // Ctrl-C (SIGINT to its process group) once three commits are kept, then the whole range again.
    const std::string store = (dir_.path / "h.sqlite").string();
    const pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        if (chdir(dir_.path.c_str()) != 0) _exit(127);
        const std::string command = "'" HULL_LAB_PATH "' history backfill --history h.sqlite HEAD~19..HEAD --repo repo --build "
                                    "'c++ -O2 -shared -fPIC -I. hull.cpp -o libhull.so' --plugin libhull.so --shapes square --sizes 1e3 "
                                    ">first.out 2>&1";
        execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
        _exit(127);
    }
    std::size_t kept = 0;
    for (int wait = 0; wait < 1200 && kept < 3; ++wait) {
        usleep(100000);
        if (std::filesystem::exists(store)) kept = lab::openStore(store)->runs({}, false).size();
    }
    kill(-child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    kept = lab::openStore(store)->runs({}, false).size();
    ASSERT_GE(kept, 3u) << testfiles::read(dir_.path / "first.out");
    ASSERT_LT(kept, 19u) << "it was not interrupted";
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << testfiles::read(dir_.path / "first.out");
    EXPECT_EQ(sh("git -C repo worktree list").out.find('\n'), sh("git -C repo worktree list").out.size() - 1)
        << "a worktree left behind:\n" << sh("git -C repo worktree list").out;
    LabRun run = lab("history backfill --history h.sqlite HEAD~19..HEAD");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("19 commits in HEAD~19..HEAD: " + std::to_string(18 - kept) + " measured, 1 that do not build, " +
                           std::to_string(kept) + " already in the history"),
              std::string::npos) << run.out;
    EXPECT_EQ(lab::openStore(store)->runs({}, false).size(), 19u) << "a commit measured twice, or one lost";
    run = runLab(dir_.path, "history steps --history h.sqlite --repo repo");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("): 2\n"), std::string::npos) << run.out;
    const std::string added = "at commit " + commit(6).substr(0, 12) + " (after " + commit(5).substr(0, 12) + "): instructions +";
    const std::string removed = "at commit " + commit(13).substr(0, 12) + " (after " + commit(12).substr(0, 12) + "): instructions -";
    EXPECT_NE(run.out.find(added), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(removed), std::string::npos) << run.out;
    const auto runs = lab::openStore((dir_.path / "h.sqlite").string())->runs({}, true);
    const auto broken = std::find_if(runs.begin(), runs.end(), [&](const lab::StoredRun& r) { return r.commit == commit(10); });
    ASSERT_NE(broken, runs.end());
    EXPECT_EQ(broken->source, "backfill: the build failed");
    EXPECT_NE(lab::contextValue(broken->context, "build failed").find("error"), std::string::npos);
    EXPECT_TRUE(sh("git -C repo status --porcelain").out.empty()) << "the user's checkout was touched";
}

TEST(HistoryCommand, ARunAStoreLockedPastItsWaitCannotKeepLosesNothing) {
    if (kSanitized) GTEST_SKIP() << "a whole run: the plain build checks it";
    TempDir dir("history");
    const std::string store = (dir.path / "h.sqlite").string();
    lab::openStore(store)->add(someRun("before"));
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(store.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);  // a writer that does not let go
    LabRun run = runLab(dir.path, "--shapes square --sizes 100 --algorithms copy --runs 1 --history h.sqlite --tsv run.tsv");
    sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find("locked"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("history add run.tsv"), std::string::npos) << run.err;
    run = runLab(dir.path, "history add run.tsv --history h.sqlite");
    EXPECT_EQ(run.status, 0) << run.err;
    const auto runs = lab::openStore(store)->runs({}, true);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].commit, "before");
    EXPECT_EQ(runs[1].cells.size(), 1u);
}

TEST_F(PluginHistory, BisectFindsTheFirstChangeInLog2Builds) {
    // The good and bad commits recorded already (as CI records them); bisect builds the others.
    ASSERT_EQ(lab("history backfill --history h.sqlite 'HEAD~19^!'").status, 0);
    ASSERT_EQ(lab("history backfill --history h.sqlite 'HEAD~7^!'").status, 0);
    const LabRun run = lab("history bisect --history h.sqlite HEAD~19 HEAD~7");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("first commit whose counts changed: " + commit(6)), std::string::npos) << run.out;
    const std::size_t builds = run.out.find(" builds, ");
    ASSERT_NE(builds, std::string::npos) << run.out;
    EXPECT_LE(std::stoi(run.out.substr(run.out.rfind('(', builds) + 1)), 5) << run.out;
}

// The repository of tests/tools/status_repo.sh: c1 costlier, c3 WRONG on lattice, c6 right again.
class StatusHistory : public PluginHistory {
  protected:
    void SetUp() override {
        if (kSanitized) GTEST_SKIP() << "Valgrind does not run a sanitized build";
        if (lab::valgrindPath().empty()) GTEST_SKIP() << "Valgrind is not installed (make test installs it)";
        ASSERT_EQ(std::system(("sh '" PROJECT_SOURCE "/tests/tools/status_repo.sh' '" + repo() + "' '" PROJECT_SOURCE "' >/dev/null").c_str()), 0);
    }
    std::string commitOf(const std::string& name) { return sh("git -C repo rev-parse " + name).out.substr(0, 40); }
    LabRun lab(const std::string& arguments) {
        return runLab(dir_.path, arguments + " --repo repo --build 'make libhull.so' --plugin libhull.so --shapes square,lattice --sizes 1e3");
    }
};

TEST_F(StatusHistory, BackfillFromTheRootNamesTheWrongCommitFirstAndTheSlowdown) {
    LabRun run = lab("history backfill --history h.sqlite main");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::string c3 = commitOf("main~4").substr(0, 12), c6 = commitOf("main~1").substr(0, 12);
    EXPECT_NE(run.out.find(c3 + " measured, FAILED: WRONG hull on lattice at 1000"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("8 commits in main: 8 measured"), std::string::npos) << "from the root: " << run.out;
    EXPECT_NE(run.out.find("recorded along main"), std::string::npos) << run.out;
    run = runLab(dir_.path, "history steps --history h.sqlite --repo repo");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::size_t wrong = run.out.find("status: hull became WRONG at commit " + c3), right = run.out.find("status: hull right again at commit " + c6),
                      costlier = run.out.find("counts: hull costlier");
    EXPECT_NE(wrong, std::string::npos) << run.out;
    EXPECT_NE(run.out.find("on lattice at 1000 points: a point in the middle of an edge"), std::string::npos) << run.out;
    EXPECT_NE(costlier, std::string::npos) << run.out;
    EXPECT_LT(wrong, right) << run.out;
    EXPECT_LT(right, costlier) << "status before cost: " << run.out;
    EXPECT_NE(run.out.find("at commit " + commitOf("main~6").substr(0, 12)), std::string::npos) << "the slowdown's commit: " << run.out;
    run = runLab(dir_.path, "history show --history h.sqlite --repo repo --shapes lattice");
    EXPECT_NE(run.out.find(c3 + "  "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("WRONG"), std::string::npos) << "show marks the WRONG cells: " << run.out;
    // A backfilled main is a base: the branch that brings the fault back fails the gate on every
    // choice of cells that holds lattice, and the branch only cheaper passes with --slower-only.
    ASSERT_EQ(lab("history backfill --history h.sqlite main..bug").status, 0);
    ASSERT_EQ(lab("history backfill --history h.sqlite main..faster").status, 0);
    struct Case {
        const char* branch;
        const char* cells;
        const char* options;
        int status;
    } cases[] = {{"bug", "", "", 1},         {"bug", "--shapes lattice", "", 1}, {"bug", "--shapes square", "", 0},
                 {"faster", "", "", 1},      {"faster", "", "--slower-only", 0}};
    for (const Case& c : cases) {
        run = runLab(dir_.path, std::string("history check --history h.sqlite --repo repo --base main --branch ") + c.branch + " " + c.cells +
                                    " " + c.options);
        EXPECT_EQ(run.status, c.status) << c.branch << " " << c.cells << " " << c.options << ":\n" << run.out << run.err;
    }
}

TEST_F(StatusHistory, BisectSearchesForTheChangeOfStatusBeforeTheCounts) {
    LabRun run = lab("history bisect --history h.sqlite main~7 main~2");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("first commit whose status changed: " + commitOf("main~4")), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("hull became WRONG on lattice at 1000 points"), std::string::npos) << run.out;
    run = lab("history bisect --history h.sqlite main~7 main");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("first commit whose counts changed: " + commitOf("main~6")), std::string::npos) << run.out;
    run = lab("history bisect --history h.sqlite main~4 main~2");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find("equal main~4's"), std::string::npos) << "a commit with a failed cell called equal: " << run.out;
    EXPECT_NE(run.out.find("both failed alike: WRONG hull on lattice at 1000"), std::string::npos) << run.out;
}

TEST_F(StatusHistory, BackfillTakesTheRangesFirstCommitWhenAskedAndItsBranchName) {
    LabRun run = lab("history backfill --history h.sqlite main~2..main --include-first --branch trunk");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("3 commits in main~2..main and its first: 3 measured"), std::string::npos) << run.out;
    const auto runs = lab::openStore((dir_.path / "h.sqlite").string())->runs({}, false);
    ASSERT_EQ(runs.size(), 3u);
    for (const lab::StoredRun& r : runs) EXPECT_EQ(r.label, "trunk") << r.commit;
}

}  // namespace

// ---- A team's store: a PostgreSQL server of the test's own --------------------------------------

namespace {

// Debian's PostgreSQL server (initdb, pg_ctl) in a temporary folder, reached by its socket there;
// run as the user postgres where the test runs as root (the server refuses root).
class Postgres : public ::testing::Test {
  protected:
    void SetUp() override {
#ifndef HULL_LAB_POSTGRES
        GTEST_SKIP() << "this hull-lab is built without PostgreSQL's client (make test installs libpq-dev)";
#endif
        bin_ = firstOutput("ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1");
        if (bin_.empty()) GTEST_SKIP() << "PostgreSQL's server is not installed (make test installs postgresql)";
        std::string as;
        if (geteuid() == 0) {
            ASSERT_EQ(std::system(("chown postgres '" + dir_.path.string() + "'").c_str()), 0);
            as = "runuser -u postgres -- ";
        }
        const std::string d = dir_.path.string(), port = std::to_string(20000 + getpid() % 20000);
        ASSERT_EQ(std::system((as + bin_ + "/initdb -D " + d + "/data -U lab --auth=trust -E UTF8 >" + d + "/init.log 2>&1").c_str()), 0)
            << testfiles::read(dir_.path / "init.log");
        stop_ = as + bin_ + "/pg_ctl -D " + d + "/data -m immediate stop >/dev/null 2>&1";
        ASSERT_EQ(std::system((as + bin_ + "/pg_ctl -D " + d + "/data -w -l " + d + "/server.log -o \"-c listen_addresses='' -p " +
                               port + " -c unix_socket_directories='" + d + "'\" start >/dev/null 2>&1").c_str()),
                  0)
            << testfiles::read(dir_.path / "server.log");
        address_ = "postgresql:///postgres?host=" + d + "&port=" + port + "&user=lab";
    }
    void TearDown() override {
        if (!stop_.empty()) std::system(stop_.c_str());
    }
    static std::string firstOutput(const std::string& command) {
        std::string text;
        if (std::FILE* out = popen(command.c_str(), "r")) {
            char line[512] = {};
            if (std::fgets(line, sizeof line, out) != nullptr) text = line;
            pclose(out);
        }
        while (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }
    TempDir dir_{"history-postgres"};
    std::string bin_, stop_, address_;
};

TEST_F(Postgres, KeepsWhatSQLiteKeepsWithWritersAtOnce) {
    constexpr int kWriters = 3, kRuns = 5;
    writeAtOnce(address_, kWriters, kRuns, 20);  // each migrates an empty database at once: one must win
    const auto runs = lab::openStore(address_)->runs({}, true);
    ASSERT_EQ(runs.size(), std::size_t(kWriters * kRuns));
    EXPECT_EQ(lab::openStore(address_)->version(), lab::kStoreVersion);
    // The same run through both stores reads back the same.
    lab::StoredRun run = someRun("same");
    run.cells[2].counted = false, run.cells[1].verdict = "faster";
    const std::string sqlite = (dir_.path / "h.sqlite").string();
    lab::openStore(sqlite)->add(run);
    lab::openStore(address_)->add(run);
    const lab::StoredRun a = lab::openStore(sqlite)->runs({{"hull"}, {}, {}}, true).back();
    const lab::StoredRun b = lab::openStore(address_)->runs({{"hull"}, {}, {}}, true).back();
    EXPECT_EQ(a.context, b.context);
    ASSERT_EQ(a.cells.size(), b.cells.size());
    ASSERT_EQ(b.cells.size(), 2u);
    for (std::size_t i = 0; i < a.cells.size(); ++i) {
        EXPECT_EQ(a.cells[i].runs, b.cells[i].runs) << i;
        EXPECT_EQ(a.cells[i].counted, b.cells[i].counted) << i;
        EXPECT_DOUBLE_EQ(a.cells[i].instructions, b.cells[i].instructions) << i;
        EXPECT_DOUBLE_EQ(a.cells[i].lo, b.cells[i].lo) << i;
        EXPECT_EQ(a.cells[i].verdict, b.cells[i].verdict) << i;
    }
    EXPECT_EQ(a.entries[0].fileHash, b.entries[0].fileHash);
}

TEST_F(Postgres, RefusesANewerStoreAndAServerItCannotReachInOneLine) {
    lab::openStore(address_)->add(someRun("a"));
    ASSERT_EQ(std::system(("'" + bin_ + "/psql' -q '" + address_ + "' -c 'UPDATE hull_lab_schema SET version = 99' >/dev/null").c_str()), 0);
    LabRun run = runLab(dir_.path, "history --history '" + address_ + "'");
    EXPECT_EQ(run.status, 2) << run.out;
    EXPECT_NE(run.err.find("newer than this hull-lab's"), std::string::npos) << run.err;
    run = runLab(dir_.path, "history --history 'postgresql:///postgres?host=" + dir_.path.string() + "&port=1&user=lab'");
    EXPECT_EQ(run.status, 2) << run.out;
    EXPECT_NE(run.err.find("cannot reach the history"), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

}  // namespace
