// What hull-lab prints as the model of a run is made: per shape a table of seconds per call (rows:
// sizes; columns: h, then each entry), row by row as the cells finish; a row's TSV lines (out/tsv.cpp)
// as it ends; failures, and progress when standard error is a terminal, on standard error. Every
// figure printed is the model's.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <map>

#include "lab.h"
#include "inputs/inputs.h"
#include "run/cell.h"
#include "run/counts.h"
#include "run/figures.h"
#include "out/tables.h"
#include "results/analysis.h"
#include "out/exports.h"

namespace lab {

namespace {

// `text` right-aligned in `width`; one that does not fit still gets a space before it ("+-1202%?").
std::string pad(const std::string& text, std::size_t width) {
    return text.size() >= width ? " " + text : std::string(width - text.size(), ' ') + text;
}

// A compared column: wide enough for "1.023 +-12%? slower | C 1.0213 slower".
std::size_t comparedWidth(const std::string& name, bool counts) {
    return std::max<std::size_t>(name.size(), 22) + 2 + (counts ? 17 : 0);
}

// A multiple with three significant digits: "1.52x", "0.0123x", "152x". O(1).
std::string timesText(double ratio) {
    const int decimals = ratio > 0 ? std::clamp(2 - int(std::floor(std::log10(ratio))), 0, 9) : 2;
    char text[40];
    std::snprintf(text, sizeof text, "%.*fx", decimals, ratio);
    return text;
}

// Wide enough for "2.01e-03 +-12%?".
std::size_t columnWidth(const std::string& name) { return std::max<std::size_t>(name.size(), 15) + 2; }

// "filter-radix-chain 0.742 ms +-9%": a leader's median with its interval, where it has one.
std::string named(const RunModel& model, const Leader& leader) {
    const Outcome& o = model.cells[std::size_t(leader.cell)].now;
    return o.algorithm + " " + withInterval(humanSeconds(o.median), o.median, o.lo, o.hi) + doubtOf(model, leader);
}

// What the line under a table says of a row: its fastest entry, floors aside, whether that is
// sure, and the row's fastest library, as sure or not; "" where nothing was timed right.
std::string fastestLine(const RunModel& model, const RowRecord& row) {
    if (row.fastest.cell < 0) return "";
    std::string line = "fastest at " + std::to_string(row.n) + ": " + named(model, row.fastest);
    if (row.library.cell >= 0 && row.library.cell != row.fastest.cell) line += "; fastest library: " + named(model, row.library);
    return line;
}

// A table's word for a cell that has no figure: its status's, "no memory" where a column is narrow.
std::string failedWord(Status status) { return status == Status::OutOfMemory ? "no memory" : statusWord(status); }

// Writes all of `line` with as few write calls as it takes; a signal cannot cut it short.
void writeWhole(int fd, const std::string& line) {
    std::size_t done = 0;
    while (done < line.size()) {
        ssize_t wrote = write(fd, line.data() + done, line.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return;
        done += std::size_t(wrote);
    }
}

}  // namespace


Tables::Tables(const Options& options, int tsvFd, std::string sets)
    : options_(options), sets_(std::move(sets)), tables_(options.repeat == 0), tsvFd_(tsvFd),
      terminal_(isatty(STDERR_FILENO) != 0), started_(wallSeconds()) {}

void Tables::begin(const RunModel& model) {
    std::string tsv;
    for (const auto& [name, value] : model.context) {
        std::cout << std::left << std::setw(24) << name + ": " << std::right << value << '\n';
        tsv += "# " + name + ": " + value + '\n';
    }
    for (const std::string& warning : model.warnings) {
        std::cout << "***WARNING*** " << warning << '\n';
        tsv += "# warning: " + warning + '\n';
    }
    if (!model.judged.empty()) std::cout << "\nYour entries on the hard inputs:\n";
    for (const std::string& verdict : model.judged) {
        std::cout << verdict << '\n';
        std::string line = verdict;
        for (char& c : line) c = c == '\n' ? ';' : c;
        tsv += "# judge: " + line + '\n';
    }
    std::cout << std::endl;
    // What each entry run is (its method, library, origin, ...), so that no reader guesses from names.
    tsv += "# catalogue: " + catalogueHeader() + '\n';
    for (const std::string& name : model.entries) tsv += "# catalogue: " + catalogueLine(*findAlgorithm(name)) + '\n';
    if (tsvFd_ >= 0) writeWhole(tsvFd_, tsv + tsvHeader(model.compared) + '\n');
}

void Tables::clearProgress() {
    if (progressShown_) std::cerr << "\r\033[K" << std::flush;
    progressShown_ = false;
}

void Tables::beginShape(const RunModel& model, const Shape& shape) {
    clearProgress();
    tableRows_.clear();
    if (!tables_) return;
    const int runs = model.runs;
    const std::string& relative = options_.relative;
    std::cout << shape.name << ": " << shape.growth << '\n';
    if (model.compared && !model.times) {
        std::cout << "C: est_cycles of a call, this build's over the baseline's, one counting process each (Callgrind);\n"
                  << "slower, faster: the change is at least " << formatted("%g", 100 * model.countMinChange)
                  << "% and beyond the counts' noise; h: corners of the first set's hull\n";
    } else if (model.compared) {
        std::cout << "new / old: this build's seconds per call over the baseline's, run by run in the same round (A B B A),\n"
                  << "the median of the ratios +- their 95% interval; slower, faster: the change is at least "
                  << formatted("%g", 100 * model.minChange) << "% and the\ninterval at 1 - " << formatted("%.2g", 1 - model.verdictLevel)
                  << " (5% over the run's cells and the looks at each) excludes 1; h: corners of the first set's hull\n"
                  << (model.counts ? "| C: est_cycles new / old, one count each; slower, faster: the change is at least " +
                                         formatted("%g", 100 * model.countMinChange) + "% and beyond the counts' noise\n"
                                   : "");
    } else if (!model.times) {
        std::cout << std::flush;
        return;
    } else {
        std::cout << (!relative.empty() ? "multiples of " + relative + "'s time per call in the same round (" + relative +
                                              ": seconds per call), median of "
                                        : std::string("seconds per call, median of "))
                  << runs << (runs == 1 ? " run, " : " runs, ") << sets_ << "; h: corners of the first set's hull\n"
                  << (runs > 1 ? "+-X%: 95% interval of another run's figure (Student's t on the logarithms of the runs, "
                                 "sqrt(2) wider, their spread at least the run's median cell's" +
                                     std::string(relative.empty() ? "" : "; of a ratio: the interval of the ratios round by round") +
                                     "); ?: wider than +-10%\n"
                               : "")
                  << "*: the row's fastest, floors aside (named under the table, with the fastest library)\n";
    }
    std::cout << pad("n", 9) << pad("h", 9);
    for (const std::string& name : model.entries) {
        const std::size_t width = !model.compared ? columnWidth(name)
                                  : model.times   ? comparedWidth(name, model.counts)
                                                  : columnWidth(name) + 8;
        std::cout << pad(name, width);
    }
    std::cout << std::endl;
}

void Tables::progress(const CellPlan& plan, std::size_t done, std::size_t total, int round, int rounds) {
    if (!terminal_) return;
    const Job job = jobOf(plan);
    const std::string stage = job == Job::Count   ? "counting under Valgrind"
                              : job == Job::Check ? "checking"
                                                  : "round " + std::to_string(round + 1) + '/' + std::to_string(rounds);
    std::cerr << "\r\033[K[" << done + 1 << '/' << total << ", " << stage << "] " << plan.shape
              << ' ' << plan.n << ' ' << plan.algorithm << " (" << formatted("%.0f", wallSeconds() - started_) << " s elapsed)"
              << std::flush;
    progressShown_ = true;
}

void Tables::failure(const std::string& line) {
    clearProgress();
    std::cerr << line << '\n';
}

// A shape's counts under its times (or alone): est_cycles and instructions per point, a table each.
// Estimated cycles track the time best of the counts; instructions are what a change to the code
// changes, whatever the caches do. The misses are in the TSV and on the page.
void Tables::printCountTables(const RunModel& model) {
    if (!model.counts || tableRows_.empty()) return;
    const std::pair<const char*, double Counts::*> tables[] = {
        {"estimated cycles per point (Callgrind's counts of a call / n; est_cycles: L1 hits + 5 x LL hits + 35 x RAM accesses)",
         &Counts::estCycles},
        {"instructions per point (Callgrind: instructions executed by a call / n)", &Counts::instructions}};
    for (const auto& [title, field] : tables) {
        std::cout << title << '\n' << pad("n", 9) << pad("h", 9);
        for (const std::string& name : model.entries) std::cout << pad(name, columnWidth(name));
        std::cout << '\n';
        for (std::size_t r : tableRows_) {
            const RowRecord& row = model.rows[r];
            std::cout << pad(std::to_string(row.n), 9) << pad(row.h >= 0 ? std::to_string(row.h) : "?", 9);
            for (const std::string& name : model.entries) {
                std::string text;
                for (std::size_t k = row.first; k < row.first + row.count; ++k) {
                    const Outcome& o = model.cells[k].now;
                    if (o.algorithm != name) continue;
                    text = o.counts.have ? formatted("%.4g", o.counts.*field / double(std::max<std::int64_t>(o.n, 1)))
                           : o.status == Status::Ok ? "-" : o.status == Status::Skipped ? "not run" : statusWord(o.status);
                }
                std::cout << pad(text, columnWidth(name));
            }
            std::cout << '\n';
        }
    }
    for (std::size_t r : tableRows_) {
        const RowRecord& row = model.rows[r];
        for (std::size_t k = row.first; k < row.first + row.count; ++k) {
            const Outcome& o = model.cells[k].now;
            const std::string where = o.algorithm + " at " + std::to_string(o.n) + ": ";
            if (!o.counts.why.empty()) notes_.push_back(where + "not counted, " + o.counts.why);
            if (!model.times && o.status != Status::Ok && !o.note.empty()) notes_.push_back(where + o.note);
        }
    }
}

// "| C 1.0213 slower": a compared cell's counts, est_cycles new / old with its verdict ("| C -" where
// either build has no counts); "" without counts.
std::string Tables::countText(const CellRecord& cell, bool counts) {
    if (!counts) return "";
    const Outcome& now = cell.now;
    const CountChange& change = cell.count;
    if (!change.have) {
        const std::string& why = !now.counts.why.empty() ? now.counts.why : cell.compared ? cell.old.counts.why : "";
        if (!why.empty() && now.status == Status::Ok) notes_.push_back(now.algorithm + " at " + std::to_string(now.n) + ": not counted, " + why);
        return now.status == Status::Ok ? "| C -" : "";
    }
    return "| C " + formatted("%.4f", change.ratio) + (change.verdict == Change::Same ? "" : " " + std::string(changeWord(change.verdict)));
}

void Tables::row(const RunModel& model, const RowRecord& row) {
    clearProgress();
    tableRows_.push_back(std::size_t(&row - model.rows.data()));
    if (tsvFd_ >= 0) writeWhole(tsvFd_, tsvRow(model, row));  // the row's lines whole, as it ends
    if (model.compared) comparedRow(model, row);
    else if (tables_ && model.times) plainRow(model, row);
}

void Tables::plainRow(const RunModel& model, const RowRecord& row) {
    const Outcome* base = nullptr;  // the entry --relative divides by, where it was timed in this row
    for (std::size_t k = row.first; k < row.first + row.count; ++k) {
        const Outcome& o = model.cells[k].now;
        if (!options_.relative.empty() && o.algorithm == options_.relative && o.status == Status::Ok) base = &o;
    }
    const std::string line = fastestLine(model, row);
    if (!line.empty()) fastest_.push_back(line);
    std::cout << pad(std::to_string(row.n), 9) << pad(row.h >= 0 ? std::to_string(row.h) : "?", 9);
    for (const std::string& name : model.entries) {
        std::string text = "";
        for (std::size_t k = row.first; k < row.first + row.count; ++k) {
            const Outcome& o = model.cells[k].now;
            if (o.algorithm != name) continue;
            if (o.status == Status::Ok && base != nullptr && o.algorithm != options_.relative) {
                // Runs of one round pair up: the ratio of each pair, then their interval.
                double ratio = o.median / base->median, lo = 0, hi = 0;
                pairedRatio(o.runs, base->runs, ratio, lo, hi);
                text = withInterval(timesText(ratio), ratio, lo, hi);
            } else if (o.status == Status::Ok) {
                text = withInterval(formatted("%.2e", o.median), o.median, o.lo, o.hi);
            } else if (o.status == Status::Skipped && o.predicted > 0) {
                text = "skip " + formatted("%.0e", o.predicted);
                skipped_ = true;
            } else if (o.status == Status::Skipped) {  // not predicted: skipped for what the note says
                text = "not run";
                notes_.push_back(o.algorithm + " at " + std::to_string(o.n) + ": not run, " + o.note);
            } else {
                text = failedWord(o.status);
                notes_.push_back(o.algorithm + " at " + std::to_string(o.n) + ": " + o.note);
            }
            if (std::ptrdiff_t(k) == row.fastest.cell) text += "*";
        }
        std::cout << pad(text, columnWidth(name));
    }
    std::cout << std::endl;
}

void Tables::comparedRow(const RunModel& model, const RowRecord& row) {
    if (tables_) std::cout << pad(std::to_string(row.n), 9) << pad(row.h >= 0 ? std::to_string(row.h) : "?", 9);
    for (const std::string& name : model.entries) {
        const CellRecord* cell = nullptr;
        for (std::size_t k = row.first; k < row.first + row.count; ++k) cell = model.cells[k].now.algorithm == name ? &model.cells[k] : cell;
        if (cell == nullptr) continue;
        const Outcome* now = &cell->now;
        std::string text;
        const TimeChange& change = cell->time;
        if (change.have) {
            text = withInterval(formatted("%.3f", change.ratio), change.ratio, change.lo, change.hi) +
                   (change.verdict == Change::Same ? "" : " " + std::string(changeWord(change.verdict)));
        } else if (now->status != Status::Ok || model.times) {
            text = now->status == Status::Skipped ? "not run" : statusWord(now->status);
            if (now->status != Status::Skipped || now->predicted == 0) notes_.push_back(name + " at " + std::to_string(now->n) + ": " + now->note);
        }
        const std::string counted = countText(*cell, model.counts);
        text = text.empty() ? counted.substr(std::min<std::size_t>(2, counted.size())) : text + (counted.empty() ? "" : " " + counted);
        if (tables_) std::cout << pad(text, model.times ? comparedWidth(name, model.counts) : columnWidth(name) + 8);
    }
    if (tables_) std::cout << std::endl;
}

void Tables::endShape(const RunModel& model, const std::string&) {
    clearProgress();
    if (tsvFd_ >= 0) writeWhole(tsvFd_, tsvGrowth(model, growthSeen_));
    if (!tables_) {
        growthSeen_ = model.growth.size();
        tableRows_.clear();
        return;
    }
    if (skipped_) {
        std::cout << "(skip P: not run; predicted P seconds per call, and " << model.runs << " timed calls, " << model.runs - 1
                  << " untimed and the check's calls are over the budget of " << formatted("%g", options_.budget)
                  << " s per cell)\n";
    }
    skipped_ = false;
    for (const std::string& line : fastest_) std::cout << line << '\n';
    fastest_.clear();
    printGrowth(model);
    if (!model.compared) printCountTables(model);
    tableRows_.clear();
    for (const std::string& note : notes_) std::cout << "  " << note << '\n';
    std::cout << std::endl;
    notes_.clear();
}

// Under a table: each entry's fitted growth exponent, over the sizes most were timed at (an entry
// timed at others says which).
void Tables::printGrowth(const RunModel& model) {
    const std::vector<Growth> table(model.growth.begin() + std::ptrdiff_t(growthSeen_), model.growth.end());
    growthSeen_ = model.growth.size();
    std::map<std::pair<std::int64_t, std::int64_t>, int> ranges;
    for (const Growth& g : table) ++ranges[{g.from, g.to}];
    if (ranges.empty()) return;
    std::pair<std::int64_t, std::int64_t> common{};
    int most = 0;
    for (const auto& [range, count] : ranges) {
        if (count > most) common = range, most = count;
    }
    std::string line = "growth, fitted over n = " + std::to_string(common.first) + " to " + std::to_string(common.second) +
                       " (least squares of log time on log n):";
    std::vector<std::string> parts;
    for (const Growth& g : table) {
        std::string part = g.entry + " ~ n^" + formatted("%.2f", g.exponent);
        if (std::make_pair(g.from, g.to) != common) part += " (" + std::to_string(g.from) + " to " + std::to_string(g.to) + ")";
        parts.push_back(part);
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string piece = parts[i] + (i + 1 < parts.size() ? "," : "");
        if (line.size() + 1 + piece.size() > 100) {
            std::cout << line << '\n';
            line = "   ";
        }
        line += ' ' + piece;
    }
    std::cout << line << '\n';
}

void Tables::finish(const RunModel& model, bool interrupted) {
    clearProgress();
    if (model.compared && model.times && tsvFd_ >= 0) writeWhole(tsvFd_, tsvMeans(model));
    if (model.compared && tables_) printMeans(model);
    if (model.compared && tables_ && model.counts) printCountVerdicts(model);
    if (!model.compared && tables_ && model.counts && model.times) printCountsAgainstTimes(model);
    if (interrupted) return;
    if (options_.repeat > 0) printSpreads(model, options_.repeat);
    printUnsettled(model, options_.precision, options_.maxRuns);
    printWaited(model);
}

}  // namespace lab
