// A run's results as a model: the analysis on hand-made models (ties, overlaps, skipped and failed
// cells, a baseline), and each export read back by the tool that reads it (Google Benchmark's
// compare.py, a strict JSON parser), with no process of the lab started.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../lab/lab.h"
#include "../lab/out/exports.h"
#include "../lab/results/analysis.h"

namespace {

using namespace lab;

// An outcome of `entry` timed right in runs `runs` (seconds per call), its interval given.
Outcome timed(const std::string& shape, std::int64_t n, const std::string& entry, std::vector<double> runs, double lo = 0,
              double hi = 0) {
    Outcome o;
    o.shape = shape;
    o.n = n;
    o.algorithm = entry;
    o.h = 10;
    o.runs = runs;
    std::vector<double> sorted = runs;
    std::sort(sorted.begin(), sorted.end());
    o.median = sorted.empty() ? 0 : sorted[sorted.size() / 2];
    o.lo = lo;
    o.hi = hi;
    return o;
}

Outcome failed(const std::string& shape, std::int64_t n, const std::string& entry, Status status, const std::string& note) {
    Outcome o = timed(shape, n, entry, {});
    o.status = status;
    o.note = note;
    return o;
}

RunModel modelOf(std::vector<Outcome> outcomes) {
    RunModel model;
    for (Outcome& o : outcomes) {
        CellRecord cell;
        cell.now = std::move(o);
        model.cells.push_back(std::move(cell));
    }
    return model;
}

// A model of two builds: `now` against `old` cell by cell.
RunModel comparedModel(const std::vector<Outcome>& now, const std::vector<Outcome>& old) {
    RunModel model = modelOf(now);
    model.compared = true;
    model.verdictLevel = 0.95;
    for (std::size_t i = 0; i < now.size(); ++i) {
        model.cells[i].compared = true;
        model.cells[i].old = old[i];
    }
    return model;
}

TEST(LabResults, ARowsLeaderIsItsFastestTimedEntryAndSaysWhyItIsNotSure) {
    struct Case {
        const char* name;
        std::vector<Outcome> row;
        std::string leader;  // "" for none
        bool sure;
        std::string rival;   // "" for none named
    };
    const std::vector<Case> cases = {
        {"apart intervals: sure",
         {timed("disc", 1000, "qhull", {2e-3}, 1.9e-3, 2.1e-3), timed("disc", 1000, "chan", {1e-3}, 0.9e-3, 1.1e-3)},
         "chan", true, ""},
        {"overlapping intervals name the rival",
         {timed("disc", 1000, "qhull", {1.05e-3}, 0.95e-3, 1.2e-3), timed("disc", 1000, "chan", {1e-3}, 0.9e-3, 1.1e-3)},
         "chan", false, "qhull"},
        {"a tie goes to the first",
         {timed("disc", 1000, "qhull", {1e-3}, 0.9e-3, 1.1e-3), timed("disc", 1000, "chan", {1e-3}, 0.9e-3, 1.1e-3)},
         "qhull", false, "chan"},
        {"one run: unsure, no rival named",
         {timed("disc", 1000, "qhull", {2e-3}), timed("disc", 1000, "chan", {1e-3})}, "chan", false, ""},
        {"a floor does not race",
         {timed("disc", 1000, "copy", {1e-6}, 0.9e-6, 1.1e-6), timed("disc", 1000, "chan", {1e-3}, 0.9e-3, 1.1e-3)},
         "chan", true, ""},
        {"wrong, refused and skipped cells do not race",
         {failed("disc", 1000, "qhull", Status::Wrong, "a corner missing"),
          failed("disc", 1000, "gift_wrapping", Status::Skipped, ""),
          timed("disc", 1000, "chan", {1e-3}, 0.9e-3, 1.1e-3)},
         "chan", true, ""},
        {"nothing timed right: no leader", {failed("disc", 1000, "qhull", Status::Crashed, "signal 11")}, "", true, ""},
    };
    for (const Case& c : cases) {
        const RunModel model = modelOf(c.row);
        const std::vector<ResultRow> rows = rowsOf(model);
        ASSERT_EQ(rows.size(), 1u) << c.name;
        const Leader leader = leaderOf(rows[0], racing);
        EXPECT_EQ(leader.cell != nullptr ? leader.cell->now.algorithm : "", c.leader) << c.name;
        EXPECT_EQ(leader.sure, c.sure) << c.name;
        EXPECT_EQ(leader.rival != nullptr ? leader.rival->now.algorithm : "", c.rival) << c.name;
        if (!c.rival.empty()) {
            EXPECT_NE(doubtOf(leader).find(c.rival), std::string::npos) << c.name << ": " << doubtOf(leader);
        }
    }
}

TEST(LabResults, RowsFollowTheCellsOrderAndTakeTheirHFromAnyCell) {
    Outcome first = failed("square", 1000, "qhull", Status::Stopped, "");
    first.h = -1;
    Outcome second = timed("square", 1000, "chan", {1e-3});
    second.h = 17;
    const RunModel model = modelOf({first, second, timed("square", 10000, "chan", {1e-2}), timed("disc", 1000, "chan", {1e-3})});
    const std::vector<ResultRow> rows = rowsOf(model);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].h, 17);
    EXPECT_EQ(rows[0].cells.size(), 2u);
    EXPECT_EQ(rows[1].n, 10000);
    EXPECT_EQ(rows[2].shape, "disc");
}

TEST(LabResults, AComparedCellsVerdictFollowsItsRoundsRatios) {
    struct Case {
        const char* name;
        std::vector<double> now, old;
        Status oldStatus;
        bool have;
        std::string verdict;
    };
    const std::vector<Case> cases = {
        {"twice as slow in every round", {2.0, 2.02, 1.98, 2.01}, {1.0, 1.0, 1.0, 1.0}, Status::Ok, true, "slower"},
        {"half the time in every round", {0.5, 0.51, 0.49, 0.5}, {1.0, 1.0, 1.0, 1.0}, Status::Ok, true, "faster"},
        {"the same runs", {1.0, 1.01, 0.99, 1.0}, {1.0, 1.01, 0.99, 1.0}, Status::Ok, true, "same"},
        {"a change below the least that counts", {1.02, 1.02, 1.02, 1.02}, {1.0, 1.0, 1.0, 1.0}, Status::Ok, true, "same"},
        {"the baseline failed: no ratio", {1.0, 1.0}, {}, Status::Crashed, false, "-"},
    };
    for (const Case& c : cases) {
        Outcome old = timed("disc", 1000, "chan", c.old);
        old.status = c.oldStatus;
        const RunModel model = comparedModel({timed("disc", 1000, "chan", c.now)}, {old});
        const TimeChange change = timeChange(model.cells[0], model.verdictLevel, 0.05);
        EXPECT_EQ(change.have, c.have) << c.name;
        EXPECT_EQ(std::string(change.verdict), c.verdict) << c.name;
    }
}

TEST(LabResults, MeansSlowestAndVerdictCountsOfAComparison) {
    const std::vector<double> one = {1.0, 1.0, 1.0, 1.0};
    const RunModel model = comparedModel(
        {timed("disc", 1000, "chan", {2.0, 2.0, 2.0, 2.0}), timed("disc", 1000, "copy", {1.0, 1.01, 0.99, 1.0}),
         timed("disc", 10000, "chan", {3.0, 3.0, 3.0, 3.0}), failed("disc", 10000, "copy", Status::Wrong, "")},
        {timed("disc", 1000, "chan", one), timed("disc", 1000, "copy", one), timed("disc", 10000, "chan", one),
         timed("disc", 10000, "copy", one)});
    const MeanChange chan = meanChange(model, "chan");
    ASSERT_TRUE(chan.have);
    EXPECT_EQ(chan.cells, 2u);
    EXPECT_NEAR(chan.ratio, std::sqrt(6.0), 1e-9);  // the geometric mean of 2 and 3
    EXPECT_EQ(std::string(chan.verdict), "slower");
    EXPECT_EQ(meanChange(model, "").cells, 3u);  // the wrong cell has no ratio
    EXPECT_FALSE(meanChange(model, "qhull").have);
    EXPECT_DOUBLE_EQ(slowestRatio(model), 3.0);
    const VerdictCounts counts = timeVerdicts(model);
    EXPECT_EQ(counts.slower, 2);
    EXPECT_EQ(counts.same, 1);
    EXPECT_EQ(counts.faster, 0);
}

TEST(LabResults, ACountsVerdictNeedsTheLeastChangeAndMoreThanTheNoise) {
    struct Case {
        const char* name;
        double now, old, noise;
        std::string verdict;
    };
    const std::vector<Case> cases = {
        {"3% more cycles, no noise", 103, 100, 0, "slower"},
        {"3% fewer cycles", 97, 100, 0, "faster"},
        {"equal counts", 100, 100, 0, "same"},
        {"3% more within 5% noise", 103, 100, 0.05, "same"},
        {"0.5%: below the least change", 100.5, 100, 0, "same"},
    };
    for (const Case& c : cases) {
        Outcome now = timed("disc", 1000, "chan", {}), old = now;
        now.counts.have = old.counts.have = true;
        now.counts.estCycles = c.now;
        old.counts.estCycles = c.old;
        RunModel model = comparedModel({now}, {old});
        model.counts = true;
        model.cells[0].countNoise = c.noise;
        EXPECT_EQ(std::string(countChange(model.cells[0], 0.01).verdict), c.verdict) << c.name;
    }
}

TEST(LabResults, TheExitStatusIsTwoForARunNotKeptElseOneForAnyFailureNeverThree) {
    struct Case {
        const char* what;
        RunEnd end;
        int status;
    } cases[] = {
        {"all well", {}, 0},
        {"a hull failed", {true, false, false, false}, 1},
        {"an export lost", {false, true, false, false}, 1},
        {"too slow", {false, false, true, false}, 1},
        {"not kept", {false, false, false, true}, 2},
        {"not kept and too slow", {false, false, true, true}, 2},
        {"everything", {true, true, true, true}, 2},
    };
    for (const Case& c : cases) EXPECT_EQ(exitStatus(c.end), c.status) << c.what;
}

// ---- The exports, read back ------------------------------------------------------------------------

std::string scratch(const std::string& name) {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr ? tmp : "/tmp") + "/lab_results_" + std::to_string(getpid()) + "_" + name;
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
}

// Runs a shell command; its standard output, and its exit status in `status`.
std::string run(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "";
    char buffer[4096];
    for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
    const int raw = pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

// Python's json module, refusing NaN and Infinity: prints what `script` prints of the parsed `data`.
std::string strictJson(const std::string& path, const std::string& script, int& status) {
    const std::string program = "import json,sys\n"
                                "def bad(word): raise ValueError('not strict JSON: ' + word)\n"
                                "data = json.load(open(sys.argv[1]), parse_constant=bad)\n" + script;
    writeFile(path + ".py", program);
    return run("python3 " + path + ".py " + path + " 2>&1", status);
}

MachineFacts someMachine() {
    MachineFacts m;
    m.date = "2026-12-09T11:00:00+00:00";
    m.hostName = "test \"host\"";
    m.executable = "build/hull-lab";
    m.cpus = 2;
    m.caches.push_back({"Data", 1, 32768, 1});
    m.buildType = "release";
    return m;
}

// A plain run of two entries on one row, a wrong cell and a skipped one.
RunModel plainRun(double slowFactor) {
    RunModel model = modelOf({timed("disc", 1000, "chan", {1.0e-4, 1.02e-4, 0.99e-4}, 0.95e-4, 1.05e-4),
                              timed("disc", 1000, "yours", {2.0e-4 * slowFactor, 2.02e-4 * slowFactor, 1.98e-4 * slowFactor}),
                              failed("disc", 1000, "boost", Status::Wrong, "a corner \"missing\"\tat set 3"),
                              failed("disc", 1000, "gift_wrapping", Status::Skipped, "")});
    model.cells[3].now.predicted = 12.5;  // a skipped cell's prediction
    model.context = {{"version", "abc123"}, {"cpu", "Test CPU"}};
    model.warnings = {"the load average is 1.5"};
    return model;
}

TEST(LabExports, GoogleBenchmarksJsonIsStrictAndHoldsEveryRunAndAggregate) {
    const std::string path = scratch("plain.json");
    writeFile(path, benchmarkJson(plainRun(1), someMachine()));
    int status = 0;
    const std::string out = strictJson(path,
        "b = data['benchmarks']\n"
        "print(len(b), data['context']['num_cpus'], data['context']['host_name'])\n"
        "print(' '.join(x['name'] for x in b if x['run_type'] == 'aggregate' and x['run_name'] == 'disc/1000/chan'))\n"
        "print(sum(1 for x in b if x.get('error_occurred')), [x['error_message'] for x in b if x.get('error_occurred')])\n"
        "print([float(x['real_time']) for x in b if x['name'] == 'disc/1000/chan_median'], "
        "[x['repetitions'] for x in b if x['name'] == 'disc/1000/chan'][0])\n", status);
    EXPECT_EQ(status, 0) << out;
    std::istringstream lines(out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "16 2 test \"host\"") << "3 runs + 4 aggregates, twice, and 2 failed cells";
    std::getline(lines, line);
    EXPECT_EQ(line, "disc/1000/chan_mean disc/1000/chan_median disc/1000/chan_stddev disc/1000/chan_cv");
    std::getline(lines, line);
    EXPECT_NE(line.find("2 ["), std::string::npos) << line;
    EXPECT_NE(line.find("WRONG: a corner \"missing\"\\tat set 3"), std::string::npos) << line;
    EXPECT_NE(line.find("skipped: predicted 12.5 s per call"), std::string::npos) << line;
    std::getline(lines, line);
    EXPECT_EQ(line, "[100000.0] 3") << "the median in nanoseconds per call";
}

TEST(LabExports, CompareDotPyReadsTwoExportsAsUnchangedOrAsTwiceAsSlow) {
    const char* comparePy = "/usr/share/benchmark/compare.py";
    if (access(comparePy, R_OK) != 0) GTEST_SKIP() << "Google Benchmark's compare.py is not installed (libbenchmark-tools)";
    const std::string a = scratch("a.json"), b = scratch("b.json"), slow = scratch("slow.json"), dump = scratch("dump.json");
    writeFile(a, benchmarkJson(plainRun(1), someMachine()));
    writeFile(b, benchmarkJson(plainRun(1), someMachine()));
    writeFile(slow, benchmarkJson(plainRun(2), someMachine()));
    struct Case {
        const char* name;
        std::string other;
        double chan, yours;  // the relative change compare.py reports for each entry's median
    };
    for (const Case& c : {Case{"one build twice", b, 0, 0}, Case{"yours twice as slow", slow, 0, 1}}) {
        int status = 0;
        const std::string out = run("/usr/bin/python3 " + std::string(comparePy) + " --no-color -d " + dump + " benchmarks " +
                                        a + " " + c.other + " 2>&1", status);
        ASSERT_EQ(status, 0) << c.name << ": " << out;
        const std::string changes = strictJson(dump,
            "for x in data:\n"
            "    if x['name'] in ('disc/1000/chan_median', 'disc/1000/yours_median'):\n"
            "        print(x['name'], round(x['measurements'][0]['time'], 6))\n", status);
        EXPECT_NE(changes.find("disc/1000/chan_median " + std::to_string(c.chan).substr(0, 3)), std::string::npos)
            << c.name << ":\n" << changes << out;
        EXPECT_NE(changes.find("disc/1000/yours_median " + std::to_string(c.yours).substr(0, 3)), std::string::npos)
            << c.name << ":\n" << changes << out;
    }
}

TEST(LabExports, BencherMetricsHoldLatencyWithinItsIntervalAndCountsWhereCounted) {
    RunModel model = plainRun(1);
    model.cells[0].now.counts.have = true;
    model.cells[0].now.counts.instructions = 12345;
    model.cells[0].now.counts.estCycles = 23456;
    const std::string path = scratch("bmf.json");
    writeFile(path, bencherJson(model));
    int status = 0;
    const std::string out = strictJson(path,
        "for name, measures in data.items():\n"
        "    l = measures['latency']\n"
        "    assert l.get('lower_value', l['value']) <= l['value'] <= l.get('upper_value', l['value']), name\n"
        "    print(name, sorted(measures), float(l['value']))\n", status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out, "disc/1000/chan ['estimated-cycles', 'instructions', 'latency'] 100000.0\n"
                   "disc/1000/yours ['latency'] 200000.0\n") << "failed and skipped cells have no measure";
}

TEST(LabExports, BencherMetricsOfABaselineRunHoldTheBaselinesFiguresAndTheRatioInItsInterval) {
    RunModel model = comparedModel({timed("disc", 1000, "chan", {2e-3, 2.1e-3, 1.9e-3, 2e-3})},
                                   {timed("disc", 1000, "chan", {1e-3, 1e-3, 1.1e-3, 0.9e-3})});
    model.cells[0].now.counts = {true, 0, 0, 0, 0, 110, ""};
    model.cells[0].old.counts = {true, 0, 0, 0, 0, 100, ""};
    const std::string path = scratch("bmf-baseline.json");
    writeFile(path, bencherJson(model));
    int status = 0;
    const std::string out = strictJson(path,
        "m = data['disc/1000/chan']\n"
        "r = m['latency-ratio']\n"
        "assert r['lower_value'] <= r['value'] <= r['upper_value'], r\n"
        "print(sorted(m), round(m['baseline-latency']['value']), round(r['value'], 2), m['estimated-cycles-ratio']['value'])\n",
        status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out, "['baseline-estimated-cycles', 'baseline-latency', 'estimated-cycles', 'estimated-cycles-ratio', 'instructions', "
                   "'latency', 'latency-ratio'] 1000000 2.05 1.1\n") << "the ratio: the median of the rounds' 2, 2.1, 1.73, 2.22";
}

TEST(LabExports, MarkdownTablesHaveAsManyCellsAsTheirHeaderAndNameTheFindings) {
    struct Case {
        const char* name;
        RunModel model;
        std::vector<std::string> says;
    };
    const std::vector<double> one = {1e-3, 1e-3, 1e-3, 1e-3};
    RunModel compared = comparedModel({timed("disc", 1000, "chan", {2e-3, 2e-3, 2e-3, 2e-3}), timed("disc", 1000, "copy", one)},
                                      {timed("disc", 1000, "chan", one), timed("disc", 1000, "copy", one)});
    compared.entries = {"chan", "copy"};
    compared.control = "copy";
    RunModel counted = comparedModel({timed("disc", 1000, "chan", {})}, {timed("disc", 1000, "chan", {})});
    counted.times = false;
    counted.counts = true;
    counted.cells[0].now.counts = {true, 0, 0, 0, 0, 110, ""};
    counted.cells[0].old.counts = {true, 0, 0, 0, 0, 100, ""};
    const std::vector<Case> cases = {
        {"a plain run", plainRun(1), {"### disc", "`chan` 100 us +-", "**WRONG** disc, 1000 points, `boost`"}},
        {"a baseline run of counts alone", counted, {"by counts (est_cycles) 1 slower, 0 faster, 0 the same.", "1.1000 slower"}},
        {"a baseline run", compared, {"| `chan` | 2.000", "| slower | 1 |", "`copy` (the control) | 1.000", "| disc | 1000 | `chan` |"}},
    };
    for (const Case& c : cases) {
        const std::string text = markdownSummary(c.model);
        if (!c.model.times) {
            EXPECT_EQ(text.find("by time"), std::string::npos) << c.name << ": no times\n" << text;
        }
        for (const std::string& said : c.says) EXPECT_NE(text.find(said), std::string::npos) << c.name << ": " << said << "\n" << text;
        std::istringstream lines(text);
        std::size_t columns = 0;
        for (std::string line; std::getline(lines, line);) {
            if (line.empty() || line[0] != '|') {
                columns = 0;
                continue;
            }
            const std::size_t bars = std::count(line.begin(), line.end(), '|');
            if (columns == 0) columns = bars;
            EXPECT_EQ(bars, columns) << c.name << ": " << line;
        }
    }
}

}  // namespace
