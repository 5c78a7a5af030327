// The run's model made as the pass goes (results/recorder.cpp): each cell kept with its baseline's
// outcome and its changes, each row with its leaders, each table with its growth, the run's means
// and tallies as it ends. What prints the run (out/tables.h) is told the model after each row and
// table and computes nothing of its own.
#pragma once

#include <cstddef>
#include <string>

#include "inputs/inputs.h"
#include "results/model.h"
#include "run/cell.h"
#include "run/pass.h"

namespace lab {

// What shows a run as it is made: the tables row by row, the TSV, the progress line.
class RunPrinter {
  public:
    virtual ~RunPrinter() = default;
    virtual void beginShape(const RunModel& model, const Shape& shape) = 0;
    // The running process: its cell, the processes done and in all, its round (see PassListener).
    virtual void progress(const CellPlan& plan, std::size_t done, std::size_t total, int round, int rounds) = 0;
    virtual void failure(const std::string& line) = 0;  // a failure's line, at once
    virtual void row(const RunModel& model, const RowRecord& row) = 0;  // the row just made, model.rows.back()
    virtual void endShape(const RunModel& model, const std::string& shape) = 0;  // its growth made
};

// The pass's listener that makes the model: it keeps what the pass tells in `model` (whose
// settings are made before the pass), draws each row's and table's figures as they end, and tells
// `printer`. O(1) a cell, O(row) a row, O(table) a table.
class Recorder : public PassListener {
  public:
    Recorder(RunModel& model, RunPrinter& printer) : model_(model), printer_(printer) {}
    void beginShape(const Shape& shape) override;
    void progress(const CellPlan& plan, std::size_t done, std::size_t total, int round, int rounds) override {
        printer_.progress(plan, done, total, round, rounds);
    }
    void failure(const std::string& line) override { printer_.failure(line); }
    void baselineCell(const Outcome& old) override;
    void cell(const Outcome& outcome) override;
    void countNoise(double difference) override;
    void endRow() override;
    void endShape() override;

  private:
    RunModel& model_;
    RunPrinter& printer_;
    std::string shape_;             // the table's
    std::size_t tableRows_ = 0;     // the model's rows before the table's first
    std::size_t rowStart_ = 0;      // the model's cells before the row's first
    bool haveOld_ = false;
    Outcome old_;                   // the baseline's outcome of the cell given next
};

// The figures of the whole run, drawn as it ends: the means, the verdicts' tallies, the largest
// slowdown, the counts against the times. O(cells x rounds).
void closeRun(RunModel& model);

}  // namespace lab
