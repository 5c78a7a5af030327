// What hull-lab prints: per shape a table of seconds per call (rows: sizes; columns: h, then each
// algorithm), row by row as the cells finish; one TSV line per cell, written whole; progress on
// standard error when that is a terminal.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

#include "lab.h"

namespace lab {

namespace {

std::string format(const char* pattern, double value) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string pad(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::size_t columnWidth(const std::string& name) { return std::max<std::size_t>(name.size(), 10) + 2; }

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
               bool relative)
    : algorithms_(std::move(algorithms)), runs_(runs), budget_(budget), sets_(std::move(sets)), tables_(tables),
      relative_(relative), tsvFd_(tsvFd), terminal_(isatty(STDERR_FILENO) != 0), started_(wallSeconds()) {
    if (tsvFd_ >= 0) writeWhole(tsvFd_, "shape\tn\th\talgorithm\tmedian_s\tmin_s\tmax_s\tstatus\tnote\n");
}

void Report::clearProgress() {
    if (progressShown_) std::cerr << "\r\033[K" << std::flush;
    progressShown_ = false;
}

void Report::beginShape(const Shape& shape) {
    clearProgress();
    if (!tables_) return;
    std::cout << shape.name << ": " << shape.growth << '\n'
              << (relative_ ? "multiples of the copy floor's time per call (copy: seconds per call), median of "
                            : "seconds per call, median of ")
              << runs_
              << (runs_ == 1 ? " run, " : " runs, ") << sets_ << "; h: corners of the first set's hull\n"
              << pad("n", 9) << pad("h", 9);
    for (const std::string& name : algorithms_) std::cout << pad(name, columnWidth(name));
    std::cout << std::endl;
}

void Report::progress(const CellPlan& plan, std::size_t done, std::size_t total) {
    if (!terminal_) return;
    std::cerr << "\r\033[K[" << done + 1 << '/' << total << "] " << plan.shape << ' ' << plan.n << ' '
              << plan.algorithm << " (" << format("%.0f", wallSeconds() - started_) << " s elapsed, "
              << total - done - 1 << (total - done - 1 == 1 ? " cell" : " cells") << " after this one)" << std::flush;
    progressShown_ = true;
}

void Report::cell(const Outcome& o) {
    row_.push_back(o);
    if (tsvFd_ < 0) return;
    bool timed = o.status == Status::Ok || o.status == Status::Wrong;
    auto value = [&](double v) { return timed ? format("%.6e", v) : std::string("-"); };
    std::string note = o.note;
    for (char& c : note) c = c == '\t' || c == '\n' ? ' ' : c;
    writeWhole(tsvFd_, o.shape + '\t' + std::to_string(o.n) + '\t' + (o.h >= 0 ? std::to_string(o.h) : "-") + '\t' +
                           o.algorithm + '\t' + value(o.median) + '\t' + value(o.min) + '\t' + value(o.max) + '\t' +
                           statusWord(o.status) + '\t' + note + '\n');
}

void Report::endRow() {
    if (row_.empty()) return;
    clearProgress();
    if (!tables_) {
        row_.clear();
        return;
    }
    long long h = -1;
    double floor = 0;  // the copy floor's seconds per call in this row, where --relative asks for it
    for (const Outcome& o : row_) {
        h = o.h >= 0 ? o.h : h;
        if (relative_ && o.algorithm == "copy" && o.status == Status::Ok) floor = o.median;
    }
    std::cout << pad(std::to_string(row_.front().n), 9) << pad(h >= 0 ? std::to_string(h) : "?", 9);
    for (const std::string& name : algorithms_) {
        std::string text = "";
        for (const Outcome& o : row_) {
            if (o.algorithm != name) continue;
            switch (o.status) {
                case Status::Ok:
                    text = floor > 0 && o.algorithm != "copy" ? format("%.2fx", o.median / floor) : format("%.2e", o.median);
                    break;
                case Status::Wrong: text = "WRONG"; break;
                case Status::Refused: text = "refused"; break;
                case Status::Skipped:
                    text = "skip " + format("%.0e", o.median);
                    skipped_ = true;
                    break;
                case Status::Stopped: text = "stopped"; break;
                case Status::Crashed: text = "crashed"; break;
                case Status::OutOfMemory: text = "no memory"; break;
            }
            if (o.status != Status::Ok && o.status != Status::Skipped) notes_.push_back(o.algorithm + " at " +
                                                                                   std::to_string(o.n) + ": " + o.note);
        }
        std::cout << pad(text, columnWidth(name));
    }
    std::cout << std::endl;
    row_.clear();
}

void Report::endShape() {
    clearProgress();
    if (!tables_) return;
    if (skipped_) {
        std::cout << "(skip P: not run; predicted P seconds per call, and " << runs_ << " timed calls and one check per "
                  << "point set are over the budget of " << format("%g", budget_) << " s per cell)\n";
    }
    skipped_ = false;
    for (const std::string& note : notes_) std::cout << "  " << note << '\n';
    std::cout << std::endl;
    notes_.clear();
}

void Report::finish() { clearProgress(); }

}  // namespace lab
