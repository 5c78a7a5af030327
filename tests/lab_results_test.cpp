// A run's results as a model: the model made by the recorder from hand-made cells (ties, overlaps,
// skipped and failed cells, a baseline), the tables printed from it, and each export read back by
// the tool that reads it (Google Benchmark's compare.py, a strict JSON parser), with no process of
// the lab started.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "../lab/lab.h"
#include "../lab/out/exports.h"
#include "../lab/results/analysis.h"
#include "../lab/results/recorder.h"
#include "../lab/out/tables.h"

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

// A printer that prints nothing: the model is what is tested.
struct Silent : RunPrinter {
    void beginShape(const RunModel&, const Shape&) override {}
    void progress(const CellPlan&, std::size_t, std::size_t, int, int) override {}
    void failure(const std::string&) override {}
    void row(const RunModel&, const RowRecord&) override {}
    void endShape(const RunModel&, const std::string&) override {}
};

// A model made as the engine makes it: `settings` (its entries, where it names none, those of the
// cells in their order), then the cells told to a recorder, with the baseline's `old` beside them
// where given, a row ending at each change of size and a table at each change of shape; then closed.
RunModel made(const std::vector<Outcome>& now, const std::vector<Outcome>& old = {}, RunModel settings = {}) {
    RunModel model = std::move(settings);
    model.compared = model.compared || !old.empty();
    if (model.entries.empty()) {
        for (const Outcome& o : now) {
            if (std::find(model.entries.begin(), model.entries.end(), o.algorithm) == model.entries.end()) model.entries.push_back(o.algorithm);
        }
    }
    Silent silent;
    Recorder recorder(model, silent);
    for (std::size_t i = 0; i < now.size(); ++i) {
        const bool newShape = i == 0 || now[i].shape != now[i - 1].shape;
        if (i > 0 && (newShape || now[i].n != now[i - 1].n)) recorder.endRow();
        if (i > 0 && newShape) recorder.endShape();
        if (newShape) recorder.beginShape(Shape{now[i].shape, "", true});
        if (!old.empty()) recorder.baselineCell(old[i]);
        recorder.cell(now[i]);
    }
    if (!now.empty()) recorder.endRow(), recorder.endShape();
    closeRun(model);
    return model;
}

// A model of two builds: `now` against `old` cell by cell.
RunModel comparedModel(const std::vector<Outcome>& now, const std::vector<Outcome>& old, RunModel settings = {}) {
    settings.verdictLevel = 0.95;
    return made(now, old, std::move(settings));
}

// The model's row `r` by its entries' names, in the row's order.
std::vector<std::string> namesOf(const RunModel& model, const RowRecord& row) {
    std::vector<std::string> names;
    for (std::size_t k = row.first; k < row.first + row.count; ++k) names.push_back(model.cells[k].now.algorithm);
    return names;
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
        const RunModel model = made(c.row);
        ASSERT_EQ(model.rows.size(), 1u) << c.name;
        const Leader& leader = model.rows[0].fastest;
        auto name = [&](std::ptrdiff_t cell) { return cell >= 0 ? model.cells[std::size_t(cell)].now.algorithm : ""; };
        EXPECT_EQ(name(leader.cell), c.leader) << c.name;
        EXPECT_EQ(leader.sure, c.sure) << c.name;
        EXPECT_EQ(name(leader.rival), c.rival) << c.name;
        if (!c.rival.empty()) {
            EXPECT_NE(doubtOf(model, leader).find(c.rival), std::string::npos) << c.name << ": " << doubtOf(model, leader);
        }
    }
}

TEST(LabResults, RowsFollowTheCellsOrderAndTakeTheirHFromAnyCell) {
    Outcome first = failed("square", 1000, "qhull", Status::Stopped, "");
    first.h = -1;
    Outcome second = timed("square", 1000, "chan", {1e-3});
    second.h = 17;
    const RunModel model = made({first, second, timed("square", 10000, "chan", {1e-2}), timed("disc", 1000, "chan", {1e-3})});
    const std::vector<RowRecord>& rows = model.rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].h, 17);
    EXPECT_EQ(namesOf(model, rows[0]), (std::vector<std::string>{"qhull", "chan"}));
    EXPECT_EQ(rows[1].n, 10000);
    EXPECT_EQ(namesOf(model, rows[1]), (std::vector<std::string>{"chan"}));
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
        const TimeChange& change = model.cells[0].time;  // as the model keeps it: at the run's level and least change
        EXPECT_EQ(change.have, c.have) << c.name;
        EXPECT_STREQ(changeWord(change.verdict), c.verdict.c_str()) << c.name;
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
    EXPECT_EQ(chan.verdict, Change::Slower);
    ASSERT_EQ(model.means.size(), 3u) << "chan, copy, then every cell";
    EXPECT_EQ(model.means[0].entry, "chan");
    EXPECT_DOUBLE_EQ(model.means[0].ratio, chan.ratio);
    EXPECT_EQ(model.means[2].cells, 3u);  // the wrong cell has no ratio
    EXPECT_FALSE(meanChange(model, "qhull").have);
    EXPECT_DOUBLE_EQ(model.slowest, 3.0);
    const VerdictCounts counts = model.timeVerdicts;
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
        RunModel settings;
        settings.counts = true;
        settings.countNoise = c.noise;  // the noise known when the cell is judged
        const RunModel model = comparedModel({now}, {old}, settings);
        EXPECT_STREQ(changeWord(model.cells[0].count.verdict), c.verdict.c_str()) << c.name;
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
    Outcome skipped = failed("disc", 1000, "gift_wrapping", Status::Skipped, "");
    skipped.predicted = 12.5;  // a skipped cell's prediction
    RunModel model = made({timed("disc", 1000, "chan", {1.0e-4, 1.02e-4, 0.99e-4}, 0.95e-4, 1.05e-4),
                              timed("disc", 1000, "yours", {2.0e-4 * slowFactor, 2.02e-4 * slowFactor, 1.98e-4 * slowFactor}),
                              failed("disc", 1000, "boost", Status::Wrong, "a corner \"missing\"\tat set 3"),
                              skipped});
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
    Outcome now = timed("disc", 1000, "chan", {2e-3, 2.1e-3, 1.9e-3, 2e-3}), old = timed("disc", 1000, "chan", {1e-3, 1e-3, 1.1e-3, 0.9e-3});
    now.counts = {true, 0, 0, 0, 0, 110, ""};
    old.counts = {true, 0, 0, 0, 0, 100, ""};
    RunModel counts;
    counts.counts = true;
    const RunModel model = comparedModel({now}, {old}, counts);
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
    RunModel control;
    control.control = "copy";
    const RunModel compared = comparedModel({timed("disc", 1000, "chan", {2e-3, 2e-3, 2e-3, 2e-3}), timed("disc", 1000, "copy", one)},
                                            {timed("disc", 1000, "chan", one), timed("disc", 1000, "copy", one)}, control);
    Outcome now = timed("disc", 1000, "chan", {}), old = now;
    now.counts = {true, 0, 0, 0, 0, 110, ""};
    old.counts = {true, 0, 0, 0, 0, 100, ""};
    RunModel countsAlone;
    countsAlone.times = false;
    countsAlone.counts = true;
    const RunModel counted = comparedModel({now}, {old}, countsAlone);
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

// ---- The tables, printed from hand-made models ------------------------------------------------

// What the tables print of `model` as the engine would tell it (every row, then the table, then the
// end), and the TSV it writes, in `tsv`.
std::string printed(const RunModel& model, const Options& options, std::string& tsv) {
    const std::string path = scratch("tables.tsv");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Tables tables(options, fd, "each call on the next of the cell's point sets");
    testing::internal::CaptureStdout();
    tables.begin(model);
    std::string shape;
    for (const RowRecord& row : model.rows) {
        if (row.shape != shape) {
            if (!shape.empty()) tables.endShape(model, shape);
            shape = row.shape;
            tables.beginShape(model, Shape{shape, "h grows like n^(1/3)", true});
        }
        tables.row(model, row);
    }
    if (!shape.empty()) tables.endShape(model, shape);
    tables.finish(model, false);
    const std::string out = testing::internal::GetCapturedStdout();
    ::close(fd);
    std::ifstream in(path);
    tsv.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return out;
}

// Whether `text` has a line holding every one of `words` in turn.
bool hasLine(const std::string& text, const std::vector<std::string>& words) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::size_t at = 0;
        bool all = true;
        for (const std::string& w : words) {
            at = line.find(w, at);
            if (at == std::string::npos) {
                all = false;
                break;
            }
            at += w.size();
        }
        if (all) return true;
    }
    return false;
}

TEST(LabTables, EachKindOfRunPrintsItsCellsFiguresVerdictsAndNotesFromTheModel) {
    Outcome skipped = failed("disc", 10000, "gift_wrapping", Status::Skipped, "");
    skipped.predicted = 12.5;
    Outcome notRun = failed("disc", 1000, "boost-monotone-chain", Status::Skipped, "it does not take this input");
    const RunModel plain = made({timed("disc", 1000, "chan", {1.0e-4, 1.02e-4, 0.99e-4}, 0.95e-4, 1.05e-4),
                                 timed("disc", 1000, "gift_wrapping", {4e-4, 4e-4, 4e-4}, 3.9e-4, 4.1e-4),
                                 failed("disc", 1000, "incremental", Status::Wrong, "a corner missing"), notRun,
                                 timed("disc", 10000, "chan", {1.0e-3, 1.0e-3, 1.0e-3}, 0.95e-3, 1.05e-3), skipped,
                                 failed("disc", 10000, "incremental", Status::OutOfMemory, "out of memory at 2 GB"),
                                 timed("disc", 10000, "boost-monotone-chain", {2e-3, 2e-3, 2e-3}, 1.9e-3, 2.1e-3)});
    const std::vector<double> one = {1e-3, 1e-3, 1e-3, 1e-3};
    RunModel control;
    control.control = "copy";
    const RunModel compared = comparedModel(
        {timed("disc", 1000, "chan", {2e-3, 2.02e-3, 1.98e-3, 2e-3}), timed("disc", 1000, "copy", one),
         failed("disc", 1000, "incremental", Status::Crashed, "signal 11")},
        {timed("disc", 1000, "chan", one), timed("disc", 1000, "copy", one), timed("disc", 1000, "incremental", one)}, control);
    Outcome counted = timed("disc", 1000, "chan", {1e-3, 1e-3, 1e-3}, 0.9e-3, 1.1e-3);
    counted.counts = {true, 5000, 10, 2, 3, 8000, ""};
    Outcome notCounted = timed("disc", 1000, "copy", {1e-6, 1e-6, 1e-6}, 0.9e-6, 1.1e-6);
    notCounted.counts.why = "over the budget";
    RunModel counts;
    counts.counts = true;
    const RunModel timesAndCounts = made({counted, notCounted}, {}, counts);
    struct Case {
        const char* name;
        const RunModel& model;
        std::vector<std::vector<std::string>> lines;  // each a line's words in turn
        std::vector<std::string> tsvHas;
    };
    const std::vector<Case> cases = {
        {"a plain run",
         plain,
         {{"1000", "1.00e-04 +-6%*", "4.00e-04 +-3%", "WRONG", "not run"},
          {"10000", "1.00e-03 +-6%*", "skip 1e+01", "no memory", "2.00e-03 +-6%"},
          {"(skip P: not run; predicted P seconds per call"},
          {"fastest at 10000: chan 1 ms +-6%; fastest library: boost-monotone-chain 2 ms +-6%"},
          {"growth, fitted over n = 1000 to 10000", "chan ~ n^1.00"},
          {"incremental at 1000: a corner missing"},
          {"boost-monotone-chain at 1000: not run, it does not take this input"},
          {"incremental at 10000: out of memory at 2 GB"}},
         {"# growth: disc\tchan\t1.000000\t1000\t10000\n", "\tWRONG\ta corner missing\t", "\tentry\tyes\n"}},
        {"a run against a baseline",
         compared,
         {{"1000", "2.000", "slower", "1.000", "crashed"},
          {"chan", "2.000", "slower (1 cell)"},
          {"all cells together: 1.414", "no single verdict (2 cells: 1 slower, 0 faster, 1 the same)"},
          {"the control copy, whose code the two builds share, moved by +0.0%: within 5%"},
          {"incremental at 1000: signal 11"}},
         {"\tslower\t", "# mean: chan\t2.000000\t", "# mean: all cells\t"}},
        {"a run of times and counts",
         timesAndCounts,
         {{"estimated cycles per point"}, {"1000", "8", "-"}, {"instructions per point"}, {"1000", "5", "-"},
          {"copy at 1000: not counted, over the budget"}},
         {"\t5000.0\t10.0\t2.0\t3.0\t8000.0\t", "not counted: over the budget"}},
    };
    for (const Case& c : cases) {
        std::string tsv;
        const std::string out = printed(c.model, Options{}, tsv);
        for (const auto& words : c.lines) {
            std::string all;
            for (const std::string& w : words) all += "[" + w + "] ";
            EXPECT_TRUE(hasLine(out, words)) << c.name << ": no line with " << all << "in\n" << out;
        }
        for (const std::string& part : c.tsvHas) EXPECT_NE(tsv.find(part), std::string::npos) << c.name << ": " << part << "\n" << tsv;
        EXPECT_EQ(std::count(tsv.begin(), tsv.end(), '\n') - std::count(tsv.begin(), tsv.end(), '#'),
                  std::ptrdiff_t(c.model.cells.size()) + 1)
            << c.name << ": a line per cell and the header, beside the # lines\n" << tsv;
    }
}

TEST(LabTables, AGrowthLineNamesTheSizesOfAnEntryFittedOverOthers) {
    const RunModel model = made({timed("disc", 1000, "chan", {1e-4}), timed("disc", 1000, "gift_wrapping", {1e-3}),
                                 timed("disc", 10000, "chan", {1e-3}), timed("disc", 10000, "gift_wrapping", {1e-1}),
                                 timed("disc", 100000, "chan", {1e-2}), failed("disc", 100000, "gift_wrapping", Status::Skipped, "")});
    ASSERT_EQ(model.growth.size(), 2u);
    EXPECT_NEAR(model.growth[0].exponent, 1.0, 1e-9);
    EXPECT_NEAR(model.growth[1].exponent, 2.0, 1e-9);
    std::string tsv;
    const std::string out = printed(model, Options{}, tsv);
    // A tie between the two ranges goes to the first; the other entry's range is named.
    EXPECT_TRUE(hasLine(out, {"growth, fitted over n = 1000 to 10000 "})) << out;
    EXPECT_TRUE(hasLine(out, {"chan ~ n^1.00 (1000 to 100000), gift_wrapping ~ n^2.00"})) << out;
}

}  // namespace
