// The run's model made as the pass tells its cells: every figure drawn once, where it is made.

#include "results/recorder.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "results/analysis.h"

namespace lab {

void Recorder::beginShape(const Shape& shape) {
    shape_ = shape.name;
    tableRows_ = model_.rows.size();
    rowStart_ = model_.cells.size();
    printer_.beginShape(model_, shape);
}

void Recorder::baselineCell(const Outcome& old) {
    old_ = old;
    haveOld_ = true;
}

void Recorder::countNoise(double difference) { model_.countNoise = std::max(model_.countNoise, difference); }

void Recorder::cell(const Outcome& outcome) {
    CellRecord record;
    record.now = outcome;
    if (model_.compared && haveOld_) {
        record.compared = true;
        record.old = std::move(old_);
        record.countNoise = model_.countNoise;
        if (model_.times) record.time = timeChange(record, model_.verdictLevel, model_.minChange);
        if (model_.counts) record.count = countChange(record, model_.countMinChange);
    }
    haveOld_ = false;
    if (record.now.status == Status::Ok) record.aggregates = aggregatesOf(record.now.runs);
    model_.cells.push_back(std::move(record));
}

void Recorder::endRow() {
    if (model_.cells.size() == rowStart_) return;
    RowRecord row;
    row.first = rowStart_;
    row.count = model_.cells.size() - rowStart_;
    row.shape = model_.cells[rowStart_].now.shape;
    row.n = model_.cells[rowStart_].now.n;
    for (std::size_t k = row.first; k < model_.cells.size(); ++k) row.h = model_.cells[k].now.h >= 0 ? model_.cells[k].now.h : row.h;
    if (model_.times) {
        row.fastest = leaderOf(model_, row, racing);
        row.library = leaderOf(model_, row, libraryEntry);
    }
    rowStart_ = model_.cells.size();
    model_.rows.push_back(std::move(row));
    printer_.row(model_, model_.rows.back());
}

void Recorder::endShape() {
    // Each entry's growth over the table's sizes where it was timed right (a run that times,
    // without a baseline: a comparison's figures are ratios).
    if (model_.times && !model_.compared) {
        for (const std::string& entry : model_.entries) {
            std::vector<std::pair<std::int64_t, double>> figures;
            for (std::size_t r = tableRows_; r < model_.rows.size(); ++r) {
                const RowRecord& row = model_.rows[r];
                for (std::size_t k = row.first; k < row.first + row.count; ++k) {
                    const Outcome& o = model_.cells[k].now;
                    if (o.algorithm == entry && o.status == Status::Ok) figures.push_back({o.n, o.median});
                }
            }
            double exponent = 0;
            if (figures.size() >= 2 && fitGrowth(figures, exponent)) {
                model_.growth.push_back({shape_, entry, exponent, figures.front().first, figures.back().first});
            }
        }
    }
    printer_.endShape(model_, shape_);
    tableRows_ = model_.rows.size();
}

void closeRun(RunModel& model) {
    model.means.clear();
    if (model.compared && model.times) {
        for (const std::string& entry : model.entries) model.means.push_back(meanChange(model, entry));
        model.means.push_back(meanChange(model, ""));
    }
    model.timeVerdicts = timeVerdicts(model);
    model.countVerdicts = countVerdicts(model);
    model.slowest = slowestRatio(model);
    if (model.times && model.counts && !model.compared) model.countsAgainstTimes = countsAgainstTimes(model);
}

}  // namespace lab
