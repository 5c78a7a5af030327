// Files written from a run's results (out/): the TSV, and for the tools that others use, Google
// Benchmark's JSON, Bencher's metric format and a markdown summary for a pull request's comment.
// Each is a plain function of the model (and, for the JSON, of the machine's facts) returning the
// file's text.
#pragma once

#include <string>
#include <vector>

#include "results/analysis.h"
#include "results/model.h"

namespace lab {

// What Google Benchmark's JSON says of the machine in its `context`, read by the application
// (machineFacts) and passed in, so that the writer itself reads nothing.
struct MachineFacts {
    std::string date;        // "2026-12-09T11:17:36+00:00"
    std::string hostName;
    std::string executable;  // the hull-lab that ran
    int cpus = 0;
    double mhzPerCpu = 0;    // 0: not known (written as 0, as Google Benchmark does)
    struct Cache {
        std::string type;  // "Data", "Instruction", "Unified"
        int level = 0;
        long long size = 0;  // bytes
        int sharing = 0;     // processors that share it
    };
    std::vector<Cache> caches;  // empty where Linux does not say them
    double load[3] = {0, 0, 0};
    std::string buildType;  // "release" or "debug"
};

// This machine's facts, from uname, sysconf, /proc and /sys, as Google Benchmark reads them.
MachineFacts machineFacts(const std::string& executable);

// Google Benchmark's JSON: one benchmark per run of each cell ("shape/n/entry", run_type
// "iteration", a repetition each) and the aggregates mean, median, stddev and cv, as its
// reporter writes them; a cell that failed or was skipped as one entry with error_occurred. Times
// are nanoseconds per call. Strict JSON: no NaN or Infinity. O(cells x runs).
std::string benchmarkJson(const RunModel& model, const MachineFacts& machine);

// Bencher's metric format: per cell timed right, "latency" (nanoseconds per call: the median, and
// the interval's bounds as lower_value and upper_value) and, where counted, "instructions" and
// "estimated-cycles" per call. O(cells).
std::string bencherJson(const RunModel& model);

// A markdown summary for a pull request: per shape, each row's fastest entry and fastest library
// with their times, then the run's failures; with a baseline, the cells called slower or faster
// and each entry's geometric mean of new / old instead. O(cells).
std::string markdownSummary(const RunModel& model);

// The TSV's header: the columns of every run, then with `compared` a baseline's (docs/guide/tsv.md).
std::string tsvHeader(bool compared);

// A row's lines of the TSV, a cell each, newlines included: the figures of this build, its place in
// the row (the row's fastest entry, or its fastest library, and whether that is sure), then with a
// baseline the baseline's figures, the ratio, its interval and the verdicts. O(row x runs).
std::string tsvRow(const RunModel& model, const RowRecord& row);

// With a baseline, the TSV's last lines: "# mean: ENTRY\tRATIO\tLO\tHI\tVERDICT\tCELLS" for each
// entry with a compared cell, then "all cells" (its verdict "-": no single verdict), each the
// geometric mean of new / old with the interval of the rounds' means, as the model holds them. O(entries).
std::string tsvMeans(const RunModel& model);

// The growth of the tables since the model's growth[from]: "# growth: SHAPE\tENTRY\tEXPONENT\tFROM\tTO"
// for each entry timed right at two sizes or more of a table (the exponent b of t = a n^b fitted by
// least squares of log t on log n over the sizes FROM to TO), written as the table ends. O(entries).
std::string tsvGrowth(const RunModel& model, std::size_t from);

// `text` as a JSON string, quotes included: ", \ and control characters escaped. O(length).
std::string jsonString(const std::string& text);

// `value` as a JSON number: finite values only, others as null. O(1).
std::string jsonNumber(double value);

}  // namespace lab
