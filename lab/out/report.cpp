// What hull-lab prints as a pass tells it: per shape a table of seconds per call (rows: sizes;
// columns: h, then each entry), row by row as the cells finish; a row's TSV lines (out/tsv.cpp) as
// it ends; failures, and progress when standard error is a terminal, on standard error. Every cell
// goes into the run's model (model()), from which the exports are written at the end.

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
#include "out/report.h"
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

// "filter-radix-chain 0.742 ms +-9%": an outcome's median with its interval, where it has one.
std::string named(const Outcome& o) {
    return o.algorithm + " " + withInterval(humanSeconds(o.median), o.median, o.lo, o.hi);
}

// What the line under a table says of a row: its fastest entry, floors aside, whether that is
// sure, and the row's fastest library, as sure or not; "" where nothing was timed right.
std::string fastestLine(const ResultRow& row, const Leader& any) {
    if (any.cell == nullptr) return "";
    std::string line = "fastest at " + std::to_string(row.n) + ": " + named(any.cell->now) + doubtOf(any);
    const Leader library = leaderOf(row, libraryEntry);
    if (library.cell != nullptr && library.cell != any.cell) line += "; fastest library: " + named(library.cell->now) + doubtOf(library);
    return line;
}

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

Report::Report(std::vector<std::string> algorithms, int runs, double budget, int tsvFd, std::string sets, bool tables,
               std::string relative)
    : algorithms_(std::move(algorithms)), runs_(runs), budget_(budget), sets_(std::move(sets)), tables_(tables),
      relative_(std::move(relative)), tsvFd_(tsvFd), terminal_(isatty(STDERR_FILENO) != 0), started_(wallSeconds()) {
    model_.entries = algorithms_;
    model_.runs = runs_;
}

void Report::begin(const std::vector<std::pair<std::string, std::string>>& context,
                   const std::vector<std::string>& warnings, const std::vector<std::string>& verdicts) {
    model_.context = context;
    model_.warnings = warnings;
    model_.judged = verdicts;
    std::string tsv;
    for (const auto& [name, value] : context) {
        std::cout << std::left << std::setw(24) << name + ": " << std::right << value << '\n';
        tsv += "# " + name + ": " + value + '\n';
    }
    for (const std::string& warning : warnings) {
        std::cout << "***WARNING*** " << warning << '\n';
        tsv += "# warning: " + warning + '\n';
    }
    if (!verdicts.empty()) std::cout << "\nYour entries on the hard inputs:\n";
    for (const std::string& verdict : verdicts) {
        std::cout << verdict << '\n';
        std::string line = verdict;
        for (char& c : line) c = c == '\n' ? ';' : c;
        tsv += "# judge: " + line + '\n';
    }
    std::cout << std::endl;
    // What each entry run is (its method, library, origin, ...), so that no reader guesses from names.
    tsv += "# catalogue: " + catalogueHeader() + '\n';
    for (const std::string& name : algorithms_) tsv += "# catalogue: " + catalogueLine(*findAlgorithm(name)) + '\n';
    if (tsvFd_ >= 0) writeWhole(tsvFd_, tsv + tsvHeader(compared_) + '\n');
}

bool fitGrowth(const std::vector<std::pair<std::int64_t, double>>& figures, double& exponent) {
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    int count = 0;
    for (const auto& [n, seconds] : figures) {
        if (n <= 0 || !(seconds > 0)) continue;
        const double x = std::log(double(n)), y = std::log(seconds);
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
        ++count;
    }
    const double spread = count * sxx - sx * sx;  // 0 when every n is the same
    if (count < 2 || spread <= 1e-12 * count * sxx) return false;
    exponent = (count * sxy - sx * sy) / spread;
    return true;
}

void Report::clearProgress() {
    if (progressShown_) std::cerr << "\r\033[K" << std::flush;
    progressShown_ = false;
}

void Report::beginShape(const Shape& shape) {
    clearProgress();
    if (!tables_) return;
    if (compared_ && !measureTimes_) {
        std::cout << shape.name << ": " << shape.growth << '\n'
                  << "C: est_cycles of a call, this build's over the baseline's, one counting process each (Callgrind);\n"
                  << "slower, faster: the change is at least " << formatted("%g", 100 * countMinChange_)
                  << "% and beyond the counts' noise; h: corners of the first set's hull\n"
                  << pad("n", 9) << pad("h", 9);
        for (const std::string& name : algorithms_) std::cout << pad(name, columnWidth(name) + 8);
        std::cout << std::endl;
        return;
    }
    if (compared_) {
        std::cout << shape.name << ": " << shape.growth << '\n'
                  << "new / old: this build's seconds per call over the baseline's, run by run in the same round (A B B A),\n"
                  << "the median of the ratios +- their 95% interval; slower, faster: the change is at least "
                  << formatted("%g", 100 * minChange_) << "% and the\ninterval at 1 - " << formatted("%.2g", 1 - model_.verdictLevel)
                  << " (5% over the run's cells and the looks at each) excludes 1; h: corners of the first set's hull\n"
                  << (measureCounts_ ? "| C: est_cycles new / old, one count each; slower, faster: the change is at least " +
                                           formatted("%g", 100 * countMinChange_) + "% and beyond the counts' noise\n"
                                     : "")
                  << pad("n", 9) << pad("h", 9);
        for (const std::string& name : algorithms_) std::cout << pad(name, comparedWidth(name, measureCounts_));
        std::cout << std::endl;
        return;
    }
    if (!measureTimes_) {
        std::cout << shape.name << ": " << shape.growth << std::endl;
        return;
    }
    std::cout << shape.name << ": " << shape.growth << '\n'
              << (!relative_.empty() ? "multiples of " + relative_ + "'s time per call in the same round (" + relative_ +
                                           ": seconds per call), median of "
                                     : std::string("seconds per call, median of "))
              << runs_ << (runs_ == 1 ? " run, " : " runs, ") << sets_ << "; h: corners of the first set's hull\n"
              << (runs_ > 1 ? "+-X%: 95% interval of another run's figure (Student's t on the logarithms of the runs, "
                              "sqrt(2) wider, their spread at least the run's median cell's" +
                                  std::string(relative_.empty() ? "" : "; of a ratio: the interval of the ratios round by round") +
                                  "); ?: wider than +-10%\n"
                            : "")
              << "*: the row's fastest, floors aside (named under the table, with the fastest library)\n"
              << pad("n", 9) << pad("h", 9);
    for (const std::string& name : algorithms_) std::cout << pad(name, columnWidth(name));
    std::cout << std::endl;
}

void Report::progress(const CellPlan& plan, std::size_t done, std::size_t total, int round, int rounds) {
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

void Report::failure(const std::string& line) {
    clearProgress();
    std::cerr << line << '\n';
}

void Report::setBaseline(double minChange, std::string control, double level) {
    compared_ = model_.compared = true;
    minChange_ = model_.minChange = minChange;
    model_.verdictLevel = level;
    control_ = model_.control = std::move(control);
}

void Report::baselineCell(const Outcome& old) { oldRow_.push_back(old); }

void Report::setMeasure(bool times, bool counts, double countMinChange) {
    measureTimes_ = model_.times = times;
    measureCounts_ = model_.counts = counts;
    countMinChange_ = model_.countMinChange = countMinChange;
}

// A shape's counts under its times (or alone): est_cycles and instructions per point, a table each.
// Estimated cycles track the time best of the counts; instructions are what a change to the code
// changes, whatever the caches do. The misses are in the TSV and on the page.
void Report::printCountTables() {
    if (!measureCounts_ || countRows_.empty()) return;
    const std::pair<const char*, double Counts::*> tables[] = {
        {"estimated cycles per point (Callgrind's counts of a call / n; est_cycles: L1 hits + 5 x LL hits + 35 x RAM accesses)",
         &Counts::estCycles},
        {"instructions per point (Callgrind: instructions executed by a call / n)", &Counts::instructions}};
    for (const auto& [title, field] : tables) {
        std::cout << title << '\n' << pad("n", 9) << pad("h", 9);
        for (const std::string& name : algorithms_) std::cout << pad(name, columnWidth(name));
        std::cout << '\n';
        for (const std::vector<Outcome>& row : countRows_) {
            long long h = -1;
            for (const Outcome& o : row) h = o.h >= 0 ? o.h : h;
            std::cout << pad(std::to_string(row.front().n), 9) << pad(h >= 0 ? std::to_string(h) : "?", 9);
            for (const std::string& name : algorithms_) {
                std::string text;
                for (const Outcome& o : row) {
                    if (o.algorithm != name) continue;
                    text = o.counts.have ? formatted("%.4g", o.counts.*field / double(std::max<std::int64_t>(o.n, 1)))
                           : o.status == Status::Ok ? "-" : o.status == Status::Skipped ? "not run" : statusWord(o.status);
                }
                std::cout << pad(text, columnWidth(name));
            }
            std::cout << '\n';
        }
    }
    for (const std::vector<Outcome>& row : countRows_) {
        for (const Outcome& o : row) {
            const std::string where = o.algorithm + " at " + std::to_string(o.n) + ": ";
            if (!o.counts.why.empty()) notes_.push_back(where + "not counted, " + o.counts.why);
            if (!measureTimes_ && o.status != Status::Ok && !o.note.empty()) notes_.push_back(where + o.note);
        }
    }
    countRows_.clear();
}

// "| C 1.0213 slower": a compared cell's counts, est_cycles new / old with its verdict ("| C -" where
// either build has no counts).
std::string Report::countText(const CellRecord& cell) {
    if (!measureCounts_) return "";
    const Outcome& now = cell.now;
    const CountChange change = countChange(cell, countMinChange_);
    if (!change.have) {
        const std::string& why = !now.counts.why.empty() ? now.counts.why : cell.compared ? cell.old.counts.why : "";
        if (!why.empty() && now.status == Status::Ok) notes_.push_back(now.algorithm + " at " + std::to_string(now.n) + ": not counted, " + why);
        return now.status == Status::Ok ? "| C -" : "";
    }
    const std::string verdict = change.verdict;
    return "| C " + formatted("%.4f", change.ratio) + (verdict == "same" ? "" : " " + verdict);
}

// The count verdicts of a compared run, together, with the noise they were judged against.
void Report::printCountVerdicts() {
    const VerdictCounts verdicts = countVerdicts(model_);
    const int cells = verdicts.slower + verdicts.faster + verdicts.same;
    std::cout << "Counts (est_cycles, new / old, one counting process each): " << cells << " cells: " << verdicts.slower
              << " slower, " << verdicts.faster << " faster, " << verdicts.same << " the same; a verdict needs a change of "
              << formatted("%g", 100 * countMinChange_) << "% and more than the counts' noise, "
              << formatted("%.2g", 100 * model_.countNoise) << "% (the largest difference between two counts of one cell of this build,"
              << " each table's first size counted twice)\n"
              << std::flush;
}

// How well the counts track the times on this machine: the rank correlation of est_cycles per
// point and nanoseconds per point over the cells that have both, and the cells where the two part
// most (the most and the fewest nanoseconds per estimated cycle).
void Report::printCountsAgainstTimes() {
    if (paired_.size() < 3) return;
    std::vector<double> cycles, ns;
    for (const Paired& p : paired_) cycles.push_back(p.cyclesPerPoint), ns.push_back(p.nsPerPoint);
    std::cout << "Counts against times: Spearman's rank correlation of est_cycles per point and ns per point, "
              << formatted("%.3f", rankCorrelation(cycles, ns)) << " over " << paired_.size() << " cells\n";
    std::vector<Paired> order = paired_;
    std::sort(order.begin(), order.end(), [](const Paired& a, const Paired& b) {
        return a.nsPerPoint / a.cyclesPerPoint > b.nsPerPoint / b.cyclesPerPoint;
    });
    std::vector<double> perCycle;
    for (const Paired& p : order) perCycle.push_back(p.nsPerPoint / p.cyclesPerPoint);
    const double typical = medianOf(perCycle);
    std::cout << "ns per estimated cycle: median " << formatted("%.3g", typical) << "; where times and counts part most:\n";
    const std::size_t shown = std::min<std::size_t>(3, order.size() / 2);
    auto line = [&](const Paired& p) {
        std::cout << "  " << std::left << std::setw(44) << p.cell << std::right << formatted("%8.3g", p.nsPerPoint) << " ns, "
                  << formatted("%8.3g", p.cyclesPerPoint) << " est. cycles a point: " << formatted("%.2f", p.nsPerPoint / p.cyclesPerPoint / typical)
                  << "x the median\n";
    };
    for (std::size_t i = 0; i < shown; ++i) line(order[i]);
    for (std::size_t i = 0; i < shown; ++i) line(order[order.size() - shown + i]);
    std::cout << std::flush;
}

void Report::cell(const Outcome& o) {
    row_.push_back(o);
    CellRecord result;
    result.now = o;
    if (compared_ && oldRow_.size() == row_.size()) {
        result.compared = true;
        result.old = oldRow_.back();
        result.countNoise = model_.countNoise;
    }
    model_.cells.push_back(std::move(result));
    if (compared_) return;  // its line, with the baseline's, at the row's end
    if (o.status == Status::Ok && measureTimes_) growth_[o.algorithm].push_back({o.n, o.median});
    if (o.status == Status::Ok && measureTimes_ && o.counts.have && o.n > 0) {
        paired_.push_back({o.shape + " " + std::to_string(o.n) + " " + o.algorithm, o.counts.estCycles / double(o.n),
                           o.median * 1e9 / double(o.n)});
    }
}

void Report::endRow() {
    if (row_.empty()) return;
    clearProgress();
    if (compared_) {
        endComparedRow();
        return;
    }
    const ResultRow row = rowsOf(model_).back();
    if (tsvFd_ >= 0) writeWhole(tsvFd_, tsvRow(model_, row));  // the row's lines whole, as it ends
    if (measureCounts_) countRows_.push_back(row_);
    if (!tables_ || !measureTimes_) {
        row_.clear();
        return;
    }
    long long h = -1;
    const Outcome* base = nullptr;  // the entry --relative divides by, where it was timed in this row
    for (const Outcome& o : row_) {
        h = o.h >= 0 ? o.h : h;
        if (!relative_.empty() && o.algorithm == relative_ && o.status == Status::Ok) base = &o;
    }
    const Leader any = leaderOf(row, racing);
    const Outcome* fastest = any.cell != nullptr ? &any.cell->now : nullptr;
    const std::string line = fastestLine(row, any);
    if (!line.empty()) fastest_.push_back(line);
    std::cout << pad(std::to_string(row_.front().n), 9) << pad(h >= 0 ? std::to_string(h) : "?", 9);
    for (const std::string& name : algorithms_) {
        std::string text = "";
        for (const Outcome& o : row_) {
            if (o.algorithm != name) continue;
            switch (o.status) {
                case Status::Ok:
                    if (base != nullptr && o.algorithm != relative_) {
                        // Runs of one round pair up: the ratio of each pair, then their interval.
                        double ratio = o.median / base->median, lo = 0, hi = 0;
                        pairedRatio(o.runs, base->runs, ratio, lo, hi);
                        text = withInterval(timesText(ratio), ratio, lo, hi);
                    } else {
                        text = withInterval(formatted("%.2e", o.median), o.median, o.lo, o.hi);
                    }
                    break;
                case Status::Wrong: text = "WRONG"; break;
                case Status::Refused: text = "refused"; break;
                case Status::Skipped:
                    if (o.predicted > 0) {
                        text = "skip " + formatted("%.0e", o.predicted);
                        skipped_ = true;
                    } else {  // not predicted: skipped for what the note says
                        text = "not run";
                        notes_.push_back(o.algorithm + " at " + std::to_string(o.n) + ": not run, " + o.note);
                    }
                    break;
                case Status::Stopped: text = "stopped"; break;
                case Status::Crashed: text = "crashed"; break;
                case Status::OutOfMemory: text = "no memory"; break;
            }
            if (o.status != Status::Ok && o.status != Status::Skipped) notes_.push_back(o.algorithm + " at " +
                                                                                   std::to_string(o.n) + ": " + o.note);
            if (fastest != nullptr && o.algorithm == fastest->algorithm) text += "*";
        }
        std::cout << pad(text, columnWidth(name));
    }
    std::cout << std::endl;
    row_.clear();
}

void Report::endComparedRow() {
    const ResultRow row = rowsOf(model_).back();
    const long long h = row.h;
    if (tables_) std::cout << pad(std::to_string(row.n), 9) << pad(h >= 0 ? std::to_string(h) : "?", 9);
    for (const std::string& name : algorithms_) {
        const CellRecord* cell = nullptr;
        for (const CellRecord* c : row.cells) cell = c->now.algorithm == name ? c : cell;
        if (cell == nullptr) continue;
        const Outcome* now = &cell->now;
        std::string text;
        const TimeChange change = timeChange(*cell, model_.verdictLevel, minChange_);
        if (change.have) {
            const std::string verdict = change.verdict;
            text = withInterval(formatted("%.3f", change.ratio), change.ratio, change.lo, change.hi) +
                   (verdict == "same" ? "" : " " + verdict);
        } else if (now->status != Status::Ok || measureTimes_) {
            text = now->status == Status::Skipped ? "not run" : statusWord(now->status);
            if (now->status != Status::Skipped || now->predicted == 0) notes_.push_back(name + " at " + std::to_string(now->n) + ": " + now->note);
        }
        const std::string counted = countText(*cell);
        text = text.empty() ? counted.substr(std::min<std::size_t>(2, counted.size())) : text + (counted.empty() ? "" : " " + counted);
        if (tables_) std::cout << pad(text, measureTimes_ ? comparedWidth(name, measureCounts_) : columnWidth(name) + 8);
    }
    if (tsvFd_ >= 0) writeWhole(tsvFd_, tsvRow(model_, row));
    if (tables_) std::cout << std::endl;
    row_.clear();
    oldRow_.clear();
}

// The geometric mean of new / old per entry and over every compared cell, each with the interval
// of the round-by-round geometric means; the control's word on the machine.
void Report::printMeans() {
    if (!measureTimes_) return;
    std::cout << "Geometric mean of new / old (+- the 95% interval of the rounds' geometric means):\n";
    for (const std::string& name : algorithms_) {
        const MeanChange mean = meanChange(model_, name);
        if (!mean.have) continue;
        std::cout << "  " << std::left << std::setw(36) << name << std::right
                  << withInterval(formatted("%.3f", mean.ratio), mean.ratio, mean.lo, mean.hi) << "  " << mean.verdict << " ("
                  << mean.cells << (mean.cells == 1 ? " cell)" : " cells)") << (name == control_ ? ", the control" : "") << '\n';
    }
    // Every cell's mean is not a verdict on any entry: it says how the run moved as a whole.
    if (const MeanChange all = meanChange(model_, ""); all.have) {
        const VerdictCounts verdicts = timeVerdicts(model_);
        std::cout << "all cells together: " << withInterval(formatted("%.3f", all.ratio), all.ratio, all.lo, all.hi)
                  << ", no single verdict (" << all.cells << " cells: " << verdicts.slower << " slower, " << verdicts.faster
                  << " faster, " << verdicts.same << " the same)\n";
    }
    const MeanChange control = control_.empty() ? MeanChange{} : meanChange(model_, control_);
    if (control.have) {
        const double moved = control.ratio - 1;
        if (std::fabs(moved) >= minChange_) {
            std::cout << "***WARNING*** the control " << control_ << ", whose code the two builds share, moved by "
                      << formatted("%+.1f", 100 * moved) << "% between their runs: the machine moved, and these "
                      << "verdicts are not to be trusted\n";
        } else {
            std::cout << "the control " << control_ << ", whose code the two builds share, moved by "
                      << formatted("%+.1f", 100 * moved) << "%: within " << formatted("%g", 100 * minChange_) << "%\n";
        }
    }
    std::cout << std::flush;
}

void Report::endShape() {
    clearProgress();
    if (!tables_) {
        growth_.clear();
        return;
    }
    if (skipped_) {
        std::cout << "(skip P: not run; predicted P seconds per call, and " << runs_ << " timed calls, " << runs_ - 1
                  << " untimed and the check's calls are over the budget of " << formatted("%g", budget_)
                  << " s per cell)\n";
    }
    skipped_ = false;
    for (const std::string& line : fastest_) std::cout << line << '\n';
    fastest_.clear();
    printGrowth();
    printCountTables();
    for (const std::string& note : notes_) std::cout << "  " << note << '\n';
    std::cout << std::endl;
    notes_.clear();
}

void Report::printGrowth() {
    // The sizes most algorithms were timed at; an algorithm timed at others says which.
    std::map<std::pair<std::int64_t, std::int64_t>, int> ranges;
    for (const auto& [name, figures] : growth_) {
        if (figures.size() >= 2) ++ranges[{figures.front().first, figures.back().first}];
    }
    if (ranges.empty()) {
        growth_.clear();
        return;
    }
    std::pair<std::int64_t, std::int64_t> common{};
    int most = 0;
    for (const auto& [range, count] : ranges) {
        if (count > most) common = range, most = count;
    }
    std::string line = "growth, fitted over n = " + std::to_string(common.first) + " to " + std::to_string(common.second) +
                       " (least squares of log time on log n):";
    std::vector<std::string> parts;
    for (const std::string& name : algorithms_) {
        const auto& figures = growth_[name];
        double exponent = 0;
        if (!fitGrowth(figures, exponent)) continue;
        std::string part = name + " ~ n^" + formatted("%.2f", exponent);
        if (std::make_pair(figures.front().first, figures.back().first) != common) {
            part += " (" + std::to_string(figures.front().first) + " to " + std::to_string(figures.back().first) + ")";
        }
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
    growth_.clear();
}

void Report::finish() {
    clearProgress();
    if (compared_ && measureTimes_ && tsvFd_ >= 0) writeWhole(tsvFd_, tsvMeans(model_));
    if (compared_ && tables_) printMeans();
    if (compared_ && tables_ && measureCounts_) printCountVerdicts();
    if (!compared_ && tables_ && measureCounts_ && measureTimes_) printCountsAgainstTimes();
}

}  // namespace lab
