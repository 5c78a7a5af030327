// Google Benchmark's JSON of a run: its context, then every cell's runs and their aggregates.

#include <cmath>
#include <cstdio>
#include <map>
#include <numeric>
#include <utility>

#include "out/exports.h"
#include "run/figures.h"

namespace lab {

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(static_cast<unsigned char>(c)));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + '"';
}

std::string jsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

namespace {

// "\"key\": value" lines of one JSON object, joined with commas at `indent`.
struct Fields {
    std::string indent;
    std::vector<std::string> lines;
    void add(const std::string& key, const std::string& value) { lines.push_back(indent + jsonString(key) + ": " + value); }
    std::string object() const {
        std::string out = "{\n";
        for (std::size_t i = 0; i < lines.size(); ++i) out += lines[i] + (i + 1 < lines.size() ? ",\n" : "\n");
        return out + indent.substr(0, indent.size() - 2) + "}";
    }
};

std::string contextObject(const RunModel& model, const MachineFacts& machine) {
    Fields f{"    ", {}};
    f.add("date", jsonString(machine.date));
    f.add("host_name", jsonString(machine.hostName));
    f.add("executable", jsonString(machine.executable));
    f.add("num_cpus", std::to_string(machine.cpus));
    f.add("mhz_per_cpu", jsonNumber(std::round(machine.mhzPerCpu)));
    f.add("cpu_scaling_enabled", "false");
    std::string caches = "[";
    for (std::size_t i = 0; i < machine.caches.size(); ++i) {
        const MachineFacts::Cache& c = machine.caches[i];
        caches += std::string(i == 0 ? "\n" : ",\n") + "      {\"type\": " + jsonString(c.type) + ", \"level\": " +
                  std::to_string(c.level) + ", \"size\": " + std::to_string(c.size) + ", \"num_sharing\": " +
                  std::to_string(c.sharing) + "}";
    }
    f.add("caches", caches + (machine.caches.empty() ? "]" : "\n    ]"));
    f.add("load_avg", "[" + jsonNumber(machine.load[0]) + ", " + jsonNumber(machine.load[1]) + ", " + jsonNumber(machine.load[2]) + "]");
    f.add("library_build_type", jsonString(machine.buildType));
    // What Google Benchmark has no word for, said here rather than made up.
    f.add("hull_lab_figures", jsonString("real_time and cpu_time: the seconds of one call (copy, call, release) in "
                                         "nanoseconds, timed by the processor's clock (the -2t entries: the wall "
                                         "clock), the same figure in both; each repetition is one run of the cell in "
                                         "a process of its own; iterations: 1, as the lab does not keep how many calls "
                                         "a run repeated (as many as fill --min-seconds)"));
    for (const auto& [name, value] : model.context) f.add("hull_lab " + name, jsonString(value));
    for (std::size_t i = 0; i < model.warnings.size(); ++i) f.add("hull_lab warning " + std::to_string(i + 1), jsonString(model.warnings[i]));
    return f.object();
}

// The counters every entry of a cell carries: h, the interval of another run's figure, the counts.
void addCounters(Fields& f, const Outcome& o) {
    if (o.h >= 0) f.add("h", std::to_string(o.h));
    if (o.lo > 0 && o.hi > 0) {
        f.add("interval_lo_ns", jsonNumber(o.lo * 1e9));
        f.add("interval_hi_ns", jsonNumber(o.hi * 1e9));
    }
    if (o.counts.have) {
        f.add("instructions", jsonNumber(o.counts.instructions));
        f.add("l1_misses", jsonNumber(o.counts.l1Misses));
        f.add("ll_misses", jsonNumber(o.counts.llMisses));
        f.add("branch_misses", jsonNumber(o.counts.branchMisses));
        f.add("est_cycles", jsonNumber(o.counts.estCycles));
    }
}

// One cell's entries: a repetition per run and the four aggregates, or one entry with its error.
std::vector<std::string> cellBenchmarks(const CellRecord& cell, int family, int instance, unsigned threads) {
    const Outcome& o = cell.now;
    const std::string name = o.shape + "/" + std::to_string(o.n) + "/" + o.algorithm;
    auto common = [&](Fields& f, const std::string& entryName, const char* runType, std::size_t repetitions) {
        f.add("name", jsonString(entryName));
        f.add("family_index", std::to_string(family));
        f.add("per_family_instance_index", std::to_string(instance));
        f.add("run_name", jsonString(name));
        f.add("run_type", jsonString(runType));
        f.add("repetitions", std::to_string(repetitions));
    };
    std::vector<std::string> out;
    if (o.status != Status::Ok || o.runs.empty()) {
        Fields f{"      ", {}};
        common(f, name, "iteration", 0);
        f.add("repetition_index", "0");
        f.add("threads", std::to_string(threads));
        f.add("error_occurred", "true");
        const std::string why = o.status == Status::Ok ? "not timed (a run of counts alone)"
                                : o.status == Status::Skipped && o.predicted > 0
                                    ? "skipped: predicted " + jsonNumber(o.predicted) + " s per call, over the budget"
                                    : std::string(statusWord(o.status)) + (o.note.empty() ? "" : ": " + o.note);
        f.add("error_message", jsonString(why));
        // As Google Benchmark writes a run that failed: no iterations, no time (compare.py needs the fields).
        f.add("iterations", "0");
        f.add("real_time", "0");
        f.add("cpu_time", "0");
        f.add("time_unit", "\"ns\"");
        addCounters(f, o);
        out.push_back(f.object());
        return out;
    }
    for (std::size_t r = 0; r < o.runs.size(); ++r) {
        Fields f{"      ", {}};
        common(f, name, "iteration", o.runs.size());
        f.add("repetition_index", std::to_string(r));
        f.add("threads", std::to_string(threads));
        f.add("iterations", "1");
        f.add("real_time", jsonNumber(o.runs[r] * 1e9));
        f.add("cpu_time", jsonNumber(o.runs[r] * 1e9));
        f.add("time_unit", "\"ns\"");
        addCounters(f, o);
        out.push_back(f.object());
    }
    const RunAggregates& a = cell.aggregates;
    const std::pair<const char*, double> aggregates[] = {{"mean", a.mean}, {"median", a.median}, {"stddev", a.stddev}, {"cv", a.cv}};
    for (const auto& [aggregate, value] : aggregates) {
        Fields f{"      ", {}};
        common(f, name + "_" + aggregate, "aggregate", o.runs.size());
        f.add("threads", std::to_string(threads));
        f.add("aggregate_name", jsonString(aggregate));
        const bool percentage = std::string(aggregate) == "cv";
        f.add("aggregate_unit", percentage ? "\"percentage\"" : "\"time\"");
        f.add("iterations", std::to_string(o.runs.size()));
        f.add("real_time", jsonNumber(percentage ? value : value * 1e9));
        f.add("cpu_time", jsonNumber(percentage ? value : value * 1e9));
        if (!percentage) f.add("time_unit", "\"ns\"");
        addCounters(f, o);
        out.push_back(f.object());
    }
    return out;
}

}  // namespace

std::string benchmarkJson(const RunModel& model, const MachineFacts& machine) {
    std::map<std::pair<std::string, std::string>, int> families;  // (shape, entry): its family
    std::map<int, int> instances;                                  // by family: the sizes seen so far
    std::vector<std::string> benchmarks;
    for (const CellRecord& cell : model.cells) {
        const Outcome& o = cell.now;
        const auto [it, added] = families.emplace(std::make_pair(o.shape, o.algorithm), int(families.size()));
        (void)added;
        const Algorithm* entry = findAlgorithm(o.algorithm);
        for (std::string& b : cellBenchmarks(cell, it->second, instances[it->second]++, entry != nullptr ? entry->threads : 1)) {
            benchmarks.push_back(std::move(b));
        }
    }
    std::string out = "{\n  \"context\": " + contextObject(model, machine) + ",\n  \"benchmarks\": [";
    for (std::size_t i = 0; i < benchmarks.size(); ++i) out += (i == 0 ? "\n    " : ",\n    ") + benchmarks[i];
    return out + (benchmarks.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

}  // namespace lab
