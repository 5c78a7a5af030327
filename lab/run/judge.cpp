// The judge: before any cell, every entry the user brings is run on a fixed set of hard inputs,
// each in a process of its own, and checked exactly. A failure's input is written as a point file
// so that the user can run it again at once.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <type_traits>

#include "lab.h"
#include "inputs/inputs.h"
#include "run/cell.h"
#include "run/runner.h"
#include "run/judge.h"
#include "run/protocol.h"
#include "user/user.h"

namespace lab {

namespace {

constexpr std::int64_t kEdge = kLargestCoordinate;

std::vector<Point> shuffled(std::vector<Point> points, std::uint64_t seed) { return inputOrder(points, seed); }

std::vector<HardInput> makeHardInputs() {
    std::vector<HardInput> list;
    list.push_back({"no-points", "no points", {}});
    list.push_back({"one-point", "one point", {{5, 7}}});
    list.push_back({"copies-of-one-point", "six copies of one point", std::vector<Point>(6, Point{3, -2})});
    list.push_back({"two-points", "two points", {{10, 5}, {0, 0}}});
    std::vector<Point> line;
    for (std::int64_t x = -10; x < 10; ++x) line.push_back({x, 2 * x + 1});
    list.push_back({"one-line-shuffled", "20 points on one line, shuffled", shuffled(line, 1)});
    std::vector<Point> copies;
    for (std::int64_t x = 0; x < 12; ++x) {
        for (std::int64_t k = 0; k <= x % 3; ++k) copies.push_back({3 * x, -x});
    }
    list.push_back({"one-line-with-copies", "points on one line, each once to three times, shuffled", shuffled(copies, 2)});
    std::vector<Point> vertical;
    for (std::int64_t y = 0; y < 16; ++y) vertical.push_back({4, y});
    list.push_back({"one-line-vertical", "16 points on a vertical line, shuffled", shuffled(vertical, 3)});
    std::vector<Point> square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    for (std::int64_t t = 1; t < 10; t += 2) {
        square.insert(square.end(), {{t, 0}, {10, t}, {t, 10}, {0, t}, {t, t}});
    }
    list.push_back({"square-with-edge-points", "a square with points on its edges and inside", shuffled(square, 4)});
    std::vector<Point> triangle;
    for (int k = 0; k < 4; ++k) triangle.insert(triangle.end(), {{0, 0}, {8, 1}, {3, 9}});
    list.push_back({"triangle-of-copies", "a triangle's three corners, four copies each", shuffled(triangle, 5)});
    list.push_back({"extremes", "the corners of the exact range, +-(2^30 - 1), with edge and inner points",
                    shuffled({{-kEdge, -kEdge}, {kEdge, -kEdge}, {kEdge, kEdge}, {-kEdge, kEdge}, {0, -kEdge}, {kEdge, 0},
                              {0, kEdge}, {-kEdge, 0}, {0, 0}, {kEdge - 1, kEdge - 1}, {-kEdge + 1, 3}},
                             6)});
    list.push_back({"convex", "64 points, every one a corner", makeShape("convex", 64, 1)});
    list.push_back({"disc", "1,000 random points in a disc", makeShape("disc", 1000, 1)});
    list.push_back({"sliver", "200 points of the sliver shape: near-parallel lines at coordinates near 2^30",
                    makeShape("sliver", 200, 1)});
    list.push_back({"lattice", "500 points on a 64 x 64 grid: copies and edge points", makeShape("lattice", 500, 1)});
    return list;
}

// Makes the folder where failures are written; "" or why not.
std::string makeFolder(const std::string& dir) {
    if (mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST) return "";
    return std::strerror(errno);
}

}  // namespace

const std::vector<HardInput>& hardInputs() {
    static const std::vector<HardInput> list = makeHardInputs();
    return list;
}

template <class P>
std::string verdictReport(const Algorithm& algorithm, const std::vector<P>& points, bool withAnswer) {
    constexpr bool real = std::is_same_v<P, RealPoint>;
    reference::Finding wrong;
    std::string report;
    std::vector<std::conditional_t<real, RealPoint, reference::Pt>> answer;
    try {
        std::size_t corners = 0;
        if constexpr (real) {
            std::unique_ptr<Runner> runner = algorithm.prepareReal(points);
            answer = runner->realHull();
            wrong = checkRealResult(algorithm, points, answer, corners);
            if (!runner->timing().empty()) report += reportLine(ReportKey::Timing, runner->timing());
        } else {
            std::unique_ptr<Runner> runner = algorithm.prepare(points);
            answer = runner->hull();
            wrong = checkResult(algorithm, points, answer, corners);
            if (!runner->timing().empty()) report += reportLine(ReportKey::Timing, runner->timing());
        }
    } catch (const Refused& refused) {
        return report + reportLine(ReportKey::Refused, refused.what());
    } catch (const WrongResult& notAHull) {
        wrong = {reference::Fault::NotAHull, notAHull.what()};
    }
    if (wrong.fault == reference::Fault::None) return report + reportLine(ReportKey::Ok);
    Failure failure;
    failure.fault = wrong.fault;
    failure.point = wrong.point;
    report += reportLine(ReportKey::Failure, failureWords(failure));
    if (withAnswer && wrong.fault != reference::Fault::NotAHull && answer.size() <= kAnswerMost) {
        std::string text;
        for (const auto& p : answer) {
            if constexpr (real) text += (text.empty() ? "" : " ") + show(p);
            else text += (text.empty() ? "" : " ") + reference::show(p);
        }
        report += reportLine(ReportKey::Answer, text);
    }
    return report + reportLine(ReportKey::Wrong, wrong.words);
}

template std::string verdictReport(const Algorithm&, const std::vector<Point>&, bool);
template std::string verdictReport(const Algorithm&, const std::vector<RealPoint>&, bool);

int judgeMain(int argc, char** argv) {
    // hull-lab --judge WORD INDEX FILES
    if (argc < 5) return kFailed;
    try {
        UserEntry entry = entryFromWord(argv[2]);
        entry.filesDir = argv[4];
        const Algorithm algorithm = userAlgorithm(entry);
        const HardInput& input = hardInputs().at(std::size_t(std::atoi(argv[3])));
        std::fputs(verdictReport(algorithm, input.points, false).c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : kFailed;
    } catch (const std::exception& e) {
        return reportEnd(e);
    }
}

std::vector<Verdict> judge(const UserEntry& entry, double deadline, const std::string& filesDir,
                           const std::string& failuresDir, const volatile int* interrupted) {
    std::vector<Verdict> verdicts;
    const std::string word = entryWord(entry);
    for (std::size_t i = 0; i < hardInputs().size() && !*interrupted; ++i) {
        const HardInput& input = hardInputs()[i];
        const ProcessEnd end = runLabProcess({"hull-lab", "--judge", word, std::to_string(i), filesDir}, deadline, interrupted);
        if (*interrupted) break;
        Verdict v{&input, Status::Ok, "", "", ""};
        v.status = endStatus(end, v.note);
        ProcessReport report;
        try {
            report = parseReport(end.report);
        } catch (const ProtocolError& bad) {
            v.status = Status::Crashed, v.note = bad.what();
        }
        if (!report.wrong.empty()) v.status = Status::Wrong, v.note = report.wrong;
        if (!report.refused.empty()) v.status = Status::Refused, v.note = report.refused;
        v.timing = report.timing;
        if (v.status == Status::Ok && !report.ok) v.status = Status::Crashed, v.note = "said nothing";
        if (v.status != Status::Ok) {
            const std::string why = makeFolder(failuresDir);
            const std::string path = failuresDir + "/" + fileNamePart(entry.name) + "-" + input.name + ".txt";
            if (why.empty() && writePointFile(path, input.points)) v.file = path;
            else v.note += " (its input could not be written to " + path + (why.empty() ? "" : ": " + why) + ")";
        }
        verdicts.push_back(v);
        if (v.status == Status::Stopped) break;  // a hang would cost the deadline on every input left
    }
    return verdicts;
}

std::string verdictLines(const UserEntry& entry, const std::vector<Verdict>& verdicts) {
    const std::size_t total = hardInputs().size();
    std::size_t right = 0;
    for (const Verdict& v : verdicts) right += v.status == Status::Ok ? 1 : 0;
    std::string timing;  // a program's: the last input's word on it, the largest input's
    for (const Verdict& v : verdicts) timing = v.timing.empty() ? timing : v.timing;
    std::string text = entry.name + ": right on " + std::to_string(right) + " of " + std::to_string(total) +
                       " hard inputs" + (timing.empty() ? "" : " (" + timing + ")");
    bool first = true;
    for (const Verdict& v : verdicts) {
        if (v.status == Status::Ok) continue;
        const std::string what = std::string(statusWord(v.status)) + " on " + v.input->name + " (" + v.input->what +
                                 "): " + v.note + (v.file.empty() ? "" : "; input: " + v.file);
        text += first ? "; first failure: " + what : "\n  " + what;
        first = false;
    }
    if (verdicts.size() < total && !verdicts.empty() && verdicts.back().status == Status::Stopped) {
        text += "\n  the " + std::to_string(total - verdicts.size()) + " hard inputs after it were not tried";
    }
    return text;
}

}  // namespace lab
