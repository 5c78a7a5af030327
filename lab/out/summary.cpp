// The text after a run's tables, each part printed from the model: a comparison's means and count
// verdicts, how the counts track the times, the repeat report's spreads, the cells left unsettled
// and those that waited for a core.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "lab.h"
#include "out/tables.h"
#include "results/analysis.h"
#include "run/pass.h"

namespace lab {

void printMeans(const RunModel& model) {
    if (!model.times) return;
    std::cout << "Geometric mean of new / old (+- the 95% interval of the rounds' geometric means):\n";
    const MeanChange* all = nullptr;
    const MeanChange* control = nullptr;
    for (const MeanChange& mean : model.means) {
        if (&mean == &model.means.back()) {
            all = &mean;
            continue;
        }
        if (mean.entry == model.control) control = &mean;
        if (!mean.have) continue;
        std::cout << "  " << std::left << std::setw(36) << mean.entry << std::right
                  << withInterval(formatted("%.3f", mean.ratio), mean.ratio, mean.lo, mean.hi) << "  " << changeWord(mean.verdict)
                  << " (" << mean.cells << (mean.cells == 1 ? " cell)" : " cells)") << (mean.entry == model.control ? ", the control" : "")
                  << '\n';
    }
    // Every cell's mean is not a verdict on any entry: it says how the run moved as a whole.
    if (all != nullptr && all->have) {
        const VerdictCounts& verdicts = model.timeVerdicts;
        std::cout << "all cells together: " << withInterval(formatted("%.3f", all->ratio), all->ratio, all->lo, all->hi)
                  << ", no single verdict (" << all->cells << " cells: " << verdicts.slower << " slower, " << verdicts.faster
                  << " faster, " << verdicts.same << " the same)\n";
    }
    if (control != nullptr && control->have) {
        const double moved = control->ratio - 1;
        if (std::fabs(moved) >= model.minChange) {
            std::cout << "***WARNING*** the control " << model.control << ", whose code the two builds share, moved by "
                      << formatted("%+.1f", 100 * moved) << "% between their runs: the machine moved, and these "
                      << "verdicts are not to be trusted\n";
        } else {
            std::cout << "the control " << model.control << ", whose code the two builds share, moved by "
                      << formatted("%+.1f", 100 * moved) << "%: within " << formatted("%g", 100 * model.minChange) << "%\n";
        }
    }
    std::cout << std::flush;
}

void printCountVerdicts(const RunModel& model) {
    const VerdictCounts& verdicts = model.countVerdicts;
    const int cells = verdicts.slower + verdicts.faster + verdicts.same;
    std::cout << "Counts (est_cycles, new / old, one counting process each): " << cells << " cells: " << verdicts.slower
              << " slower, " << verdicts.faster << " faster, " << verdicts.same << " the same; a verdict needs a change of "
              << formatted("%g", 100 * model.countMinChange) << "% and more than the counts' noise, "
              << formatted("%.2g", 100 * model.countNoise) << "% (the largest difference between two counts of one cell of this build,"
              << " each table's first size counted twice)\n"
              << std::flush;
}

void printCountsAgainstTimes(const RunModel& model) {
    const CountsAgainstTimes& paired = model.countsAgainstTimes;
    if (paired.cells.size() < 3) return;
    std::cout << "Counts against times: Spearman's rank correlation of est_cycles per point and ns per point, "
              << formatted("%.3f", paired.correlation) << " over " << paired.cells.size() << " cells\n";
    const double typical = paired.medianNsPerCycle;
    std::cout << "ns per estimated cycle: median " << formatted("%.3g", typical) << "; where times and counts part most:\n";
    const std::size_t shown = std::min<std::size_t>(3, paired.cells.size() / 2);
    auto line = [&](const CountsAgainstTimes::Cell& p) {
        std::cout << "  " << std::left << std::setw(44) << p.name << std::right << formatted("%8.3g", p.nsPerPoint) << " ns, "
                  << formatted("%8.3g", p.cyclesPerPoint) << " est. cycles a point: " << formatted("%.2f", p.nsPerPoint / p.cyclesPerPoint / typical)
                  << "x the median\n";
    };
    for (std::size_t i = 0; i < shown; ++i) line(paired.cells[i]);
    for (std::size_t i = 0; i < shown; ++i) line(paired.cells[paired.cells.size() - shown + i]);
    std::cout << std::flush;
}

namespace {

// The largest of a cell's medians over its smallest, over every pass; false where a pass did not
// time it (or not every pass ran it).
bool spreadOf(const std::vector<const Outcome*>& passes, int repeat, double& spread) {
    if (int(passes.size()) < repeat) return false;
    double least = 0, most = 0;
    for (const Outcome* o : passes) {
        if (!timedStatus(o->status)) return false;
        least = least == 0 ? o->median : std::min(least, o->median);
        most = std::max(most, o->median);
    }
    spread = least > 0 ? most / least : 0;
    return least > 0;
}

}  // namespace

void printSpreads(const RunModel& model, int repeat) {
    std::map<std::string, std::vector<const Outcome*>> passes;  // by cellKey
    std::vector<std::pair<std::string, std::vector<std::int64_t>>> tables;  // shape, sizes, as first measured
    for (const RowRecord& row : model.rows) {
        for (std::size_t k = row.first; k < row.first + row.count; ++k) {
            const Outcome& o = model.cells[k].now;
            passes[cellKey(o.shape, o.n, o.algorithm)].push_back(&o);
        }
        auto table = std::find_if(tables.begin(), tables.end(), [&](const auto& t) { return t.first == row.shape; });
        if (table == tables.end()) table = tables.insert(tables.end(), {row.shape, {}});
        if (std::find(table->second.begin(), table->second.end(), row.n) == table->second.end()) table->second.push_back(row.n);
    }
    auto width = [](const std::string& name) { return int(std::max<std::size_t>(name.size(), 6) + 2); };
    std::cout << "Spread of each cell's median over " << repeat
              << " runs, each in a fresh process: largest / smallest (- : not timed in every run)\n\n";
    std::pair<double, std::string> worstList{0, ""}, worst{0, ""};
    for (const auto& [shape, sizes] : tables) {
        std::cout << shape << ":\n" << std::setw(9) << "n";
        for (const std::string& name : model.entries) std::cout << std::setw(width(name)) << name;
        std::cout << '\n';
        for (std::int64_t n : sizes) {
            std::cout << std::setw(9) << n;
            for (const std::string& name : model.entries) {
                const std::string key = cellKey(shape, n, name);
                double spread = 0;
                char text[32] = "-";
                if (spreadOf(passes[key], repeat, spread)) {
                    std::snprintf(text, sizeof text, "%.2f", spread);
                    worst = std::max(worst, {spread, key});
                    if (n >= 100000 && findAlgorithm(name)->origin == Origin::Program) worstList = std::max(worstList, {spread, key});
                }
                std::cout << std::setw(width(name)) << text;
            }
            std::cout << '\n';
        }
        std::cout << '\n';
    }
    char line[160];
    if (!worstList.second.empty()) {
        std::snprintf(line, sizeof line, "largest spread, the program's list cells from 100,000 points: %.2f (%s)\n",
                      worstList.first, worstList.second.c_str());
        std::cout << line;
    }
    if (!worst.second.empty()) {
        std::snprintf(line, sizeof line, "largest spread, every cell: %.2f (%s)\n", worst.first, worst.second.c_str());
        std::cout << line;
    }
}

void printUnsettled(const RunModel& model, double precision, int maxRuns) {
    const std::vector<std::string>& cells = model.unsettled;
    if (cells.empty()) return;
    if (precision > 0) {
        std::cout << cells.size() << (cells.size() == 1 ? " cell" : " cells") << " did not get within +-" << 100 * precision << "% in "
                  << maxRuns << " runs or the budget:";
    } else {
        std::cout << cells.size() << (cells.size() == 1 ? " cell was" : " cells were") << " not decided in " << maxRuns
                  << " runs or the budget (new / old off 1 by " << 50 * model.minChange
                  << "% or more, called the same: the noise may hide a change):";
    }
    for (std::size_t i = 0; i < cells.size(); ++i) std::cout << (i % 3 == 0 ? "\n  " : "; ") << cells[i];
    std::cout << std::endl;
}

void printWaited(const RunModel& model) {
    const std::vector<std::string>& waited = model.waited;
    if (waited.empty()) return;
    std::cout << waited.size() << (waited.size() == 1 ? " cell" : " cells") << " on two threads timed while other work kept a "
              << "quarter of a core or more busy: their threads waited for it, and the figure is the machine's, not the entry's "
                 "(run again on a quiet machine):";
    for (std::size_t i = 0; i < waited.size(); ++i) std::cout << (i % 3 == 0 ? "\n  " : "; ") << waited[i];
    std::cout << std::endl;
}

}  // namespace lab
