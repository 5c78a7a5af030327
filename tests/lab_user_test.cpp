// hull-lab on the user's own hulls: plugins that are right or wrong in each way, programs that
// print a hull, a wrong one, garbage, nothing or never end; the judge's verdict and the exit
// status of each; plugins that cannot be taken; the examples; --columns and --input -.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../lab/lab.h"
#include "lab_run.h"
#include "inputs/inputs.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

// A small run: one shape, two sizes, the copy floor beside the user's entries.
const std::string kSmallRun = " --shapes square --sizes 200,3000 --algorithms copy --runs 1 --budget 2 --tsv lab.tsv";

class UserEntries : public testing::Test {
  protected:
    LabRun lab(const std::string& arguments) { return runLab(dir_.path, arguments); }
    // The TSV's cells of `entry`: status and note by size.
    std::map<std::string, std::pair<std::string, std::string>> cells(const std::string& entry) {
        std::map<std::string, std::pair<std::string, std::string>> result;
        for (const std::string& line : testfiles::tsvLines(testfiles::read(dir_.path / "lab.tsv"))) {
            std::vector<std::string> f;
            std::stringstream in(line);
            for (std::string field; std::getline(in, field, '\t');) f.push_back(field);
            if (f.size() >= 9 && f[3] == entry) result[f[1]] = {f[7], f[8]};
        }
        return result;
    }
    // The judge's line of `entry`.
    static std::string verdict(const LabRun& run, const std::string& entry) {
        for (const std::string& line : testfiles::lines(run.out)) {
            if (line.rfind(entry + ": right on ", 0) == 0) return line;
        }
        return "";
    }
    testfiles::TempDir dir_{"hull-lab-user"};
};

// ---- Plugins -------------------------------------------------------------------------------------

struct PluginCase {
    const char* behaviour;  // the library's name: libBEHAVIOUR.so
    const char* judged;     // in the judge's line: "right on 14 of 14" or the first failure's words
    const char* cell;       // the status of its cells
    const char* note;       // in the note of its cells ("" for right)
};

TEST_F(UserEntries, EachPluginIsJudgedAndTimedAndItsFailureNamed) {
    const std::vector<PluginCase> cases = {
        {"right-clockwise", "right on 14 of 14 hard inputs", "ok", ""},
        {"missing-corner", "WRONG on ", "WRONG", "lies outside the hull in result (beyond its edge "},
        {"repeated-corner", "WRONG on ", "WRONG", "stands twice"},
        {"not-convex", "WRONG on ", "WRONG", "the polygon is not convex"},
        {"not-an-input-point", "WRONG on ", "WRONG", "is not a point of the input"},
        {"refuses", "refused on no-points (no points): this plugin refuses every input", "refused",
         "this plugin refuses every input"},
        {"crashes", "crashed on one-point (one point): killed by SEGV", "crashed", "killed by SEGV"},
        {"hangs", "stopped on no-points (no points): stopped after 2 s", "skipped", "stopped on the hard input no-points"},
        {"count-too-large", "returned a count of 1 corners for 0 points", "WRONG", "points (out has room for n)"},
        {"writes-past-out", "wrote past the out room of 2 * n values", "crashed", "wrote past the out room"},
        {"writes-past-xy", "crashed on no-points (no points): wrote past the xy copy of 2 * n values it was given (value 0 changed)",
         "crashed", "wrote past the xy copy"},
    };
    for (const PluginCase& c : cases) {
        SCOPED_TRACE(c.behaviour);
        const std::string plugin = std::string(TEST_PLUGINS_DIR "/lib") + c.behaviour + ".so";
        const LabRun run = lab("--plugin " + plugin + kSmallRun);
        const bool right = std::string(c.cell) == "ok";
        EXPECT_EQ(run.status, right ? 0 : 1) << run.err;
        const std::string line = verdict(run, c.behaviour);
        EXPECT_NE(line.find(c.judged), std::string::npos) << line << "\n" << run.out;
        // Every failure's input is written and named, and holds that input's points.
        if (!right) {
            const std::size_t at = line.find("; input: ");
            ASSERT_NE(at, std::string::npos) << line;
            const fs::path written = dir_.path / line.substr(at + 9, line.find('\n', at) - at - 9);
            EXPECT_TRUE(fs::exists(written)) << written;
        }
        const auto cellsOf = cells(c.behaviour);
        ASSERT_EQ(cellsOf.size(), 2u) << run.out;
        for (const auto& [n, cell] : cellsOf) {
            EXPECT_EQ(cell.first, c.cell) << "n = " << n << ": " << cell.second;
            EXPECT_NE(cell.second.find(c.note), std::string::npos) << "n = " << n << ": " << cell.second;
            if (!right && cell.first != "skipped") {
                // The cell's point set was written where its note says, and reproduces the failure.
                const std::size_t at = cell.second.find("input: ");
                ASSERT_NE(at, std::string::npos) << cell.second;
                const std::string file = cell.second.substr(at + 7, cell.second.find(' ', at + 7) - at - 7);
                EXPECT_EQ(testfiles::lines(testfiles::read(dir_.path / file)).size(), std::stoul(n)) << file;
            }
        }
        // The copy floor beside it ran in every row, whatever the plugin did.
        for (const auto& [n, cell] : cells("copy")) EXPECT_EQ(cell.first, "ok") << "copy at " << n;
    }
}

TEST_F(UserEntries, APluginThatCannotBeTakenStopsTheRunBeforeItStarts) {
    testfiles::writeLines(dir_.path / "lab.tsv", {"an earlier run"});
    testfiles::writeLines(dir_.path / "libtext.so", {"not a library"});
    struct Bad {
        std::string plugin, message;
    };
    const std::vector<Bad> cases = {
        {"libtext.so", "cannot load the plugin libtext.so: "},
        {"libmissing.so", "cannot load the plugin libmissing.so: "},
        {TEST_PLUGINS_DIR "/libno-functions.so", "exports neither hull_lab_hull nor hull_lab_hull_f64"},
        {TEST_PLUGINS_DIR "/libno-functions.so:not_there", "exports no function not_there"},
    };
    for (const Bad& c : cases) {
        const LabRun run = lab("--plugin " + c.plugin + kSmallRun);
        EXPECT_EQ(run.status, 2) << c.plugin;
        EXPECT_EQ(run.out, "") << c.plugin;
        EXPECT_EQ(testfiles::lines(run.err).size(), 1u) << c.plugin << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.plugin << ": " << run.err;
        EXPECT_EQ(testfiles::read(dir_.path / "lab.tsv"), "an earlier run\n") << c.plugin;
        EXPECT_FALSE(fs::exists(dir_.path / "hull-lab-failures")) << c.plugin;
    }
    // A function of another name, named: an entry named after it.
    const LabRun named = lab("--plugin " TEST_PLUGINS_DIR "/libno-functions.so:some_other_hull" + kSmallRun);
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_NE(verdict(named, "some_other_hull").find("right on 14 of 14"), std::string::npos) << named.out;
}

// ---- Programs ------------------------------------------------------------------------------------

struct ProgramCase {
    const char* script;  // tests/programs/SCRIPT.sh
    const char* judged;
    const char* cell;
    const char* note;
};

TEST_F(UserEntries, EachProgramIsJudgedAndTimedAndItsFailureNamed) {
    const std::vector<ProgramCase> cases = {
        {"wrong", "WRONG on ", "WRONG", "lies outside the hull"},
        {"garbage", "WRONG on no-points (no points): its output is not a list of points: line 1:", "WRONG",
         "its output is not a list of points"},
        {"silent", "WRONG on one-point (one point): result: empty, but the input is not", "WRONG", "empty, but"},
        {"fails", "crashed on no-points (no points): the program exited with status 3: cannot open the display",
         "crashed", "exited with status 3"},
        {"forever", "stopped on no-points (no points): stopped after 2 s", "skipped", "stopped on the hard input"},
        {"refuses", "refused on no-points (no points): this program takes no input", "refused", "this program takes no input"},
    };
    for (const ProgramCase& c : cases) {
        SCOPED_TRACE(c.script);
        // One size: a whole process costs milliseconds, and the next size would be predicted over the budget.
        const LabRun run = lab("--program 'sh " TEST_PROGRAMS_DIR "/" + std::string(c.script) +
                               ".sh' --shapes square --sizes 200 --algorithms copy --runs 1 --budget 2 --tsv lab.tsv");
        EXPECT_EQ(run.status, 1) << run.err;
        const std::string line = verdict(run, c.script);
        EXPECT_NE(line.find(c.judged), std::string::npos) << line << "\n" << run.out;
        for (const auto& [n, cell] : cells(c.script)) {
            EXPECT_EQ(cell.first, c.cell) << "n = " << n << ": " << cell.second;
            EXPECT_NE(cell.second.find(c.note), std::string::npos) << "n = " << n << ": " << cell.second;
        }
        EXPECT_EQ(cells(c.script).size(), 1u) << run.out;
    }
}

TEST_F(UserEntries, APythonProgramThatTimesItsRoundsIsRightAndSelfTimed) {
    // A budget of 10 s: its check process starts python 16 times, 0.35 s each on a machine whose
    // python3 starts slowly, and the small run's limit (8 s) stopped it on a loaded machine.
    const LabRun run = lab("--program 'python3 " EXAMPLES_SOURCE "/hull.py' --program 'sh " TEST_PROGRAMS_DIR
                           "/wrong.sh' --shapes square --sizes 200,3000 --algorithms copy --runs 1 --budget 10 --tsv lab.tsv");
    EXPECT_EQ(run.status, 1) << run.err;  // wrong.sh is wrong
    EXPECT_NE(verdict(run, "hull").find("right on 14 of 14"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("self-timed"), std::string::npos) << run.out;
    for (const auto& [n, cell] : cells("hull")) EXPECT_EQ(cell.first, "ok") << n << ": " << cell.second;
}

// ---- The examples ---------------------------------------------------------------------------------

TEST_F(UserEntries, TheScipyProgramRefusesWhatQhullRefusesAndIsRightOnTheRest) {
    if (std::system("/usr/bin/python3 -c 'import scipy.spatial' 2>/dev/null") != 0) {
        GTEST_SKIP() << "Debian's python3-scipy is not installed";
    }
    const LabRun run = lab("--program '/usr/bin/python3 " EXAMPLES_SOURCE "/scipy_hull.py' --shapes square --sizes 1000 "
                           "--algorithms copy --runs 1 --tsv lab.tsv");
    EXPECT_EQ(run.status, 1) << run.err;  // Qhull refuses points on one line
    const std::string line = verdict(run, "scipy_hull");
    EXPECT_NE(line.find("right on 7 of 14"), std::string::npos) << line;  // refused: 6 degenerate inputs; WRONG: sliver
    EXPECT_NE(line.find("first failure: refused on one-point (one point): Qhull: QH"), std::string::npos) << line;
    EXPECT_NE(line.find("self-timed"), std::string::npos) << line;
    EXPECT_EQ(run.out.find("crashed on"), std::string::npos) << run.out;
    EXPECT_NE(testfiles::read(dir_.path / "lab.tsv").find("scipy_hull\t"), std::string::npos);
}

TEST_F(UserEntries, TheExamplesAreRightButTheDoublesOneOnSlivers) {
    const LabRun run = lab("--plugin " EXAMPLES_DIR "/libgraham.so," EXAMPLES_DIR "/libchain.so," EXAMPLES_DIR
                           "/libfloat-chain.so --shapes square,sliver --sizes 1000 --algorithms copy --runs 1 "
                           "--tsv lab.tsv");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(verdict(run, "graham").find("right on 14 of 14"), std::string::npos) << run.out;
    EXPECT_NE(verdict(run, "chain").find("right on 14 of 14"), std::string::npos) << run.out;
    const std::string floating = verdict(run, "float-chain-f64");
    EXPECT_NE(floating.find("first failure: WRONG on sliver"), std::string::npos) << floating;
    std::map<std::string, std::string> statuses;
    for (const std::string& line : testfiles::tsvLines(testfiles::read(dir_.path / "lab.tsv"))) {
        std::vector<std::string> f;
        std::stringstream in(line);
        for (std::string field; std::getline(in, field, '\t');) f.push_back(field);
        if (f.size() >= 9) statuses[f[0] + " " + f[3]] = f[7];
    }
    for (const char* entry : {"graham", "chain", "float-chain-f64"}) {
        EXPECT_EQ(statuses[std::string("square ") + entry], "ok") << entry;
        EXPECT_EQ(statuses[std::string("sliver ") + entry], std::string(entry) == "float-chain-f64" ? "WRONG" : "ok")
            << entry;
    }
    // The written input reproduces the failure on its own.
    const fs::path written = dir_.path / "hull-lab-failures" / "float-chain-f64-sliver-1000-set1.txt";
    ASSERT_TRUE(fs::exists(written));
    const LabRun again = lab("--plugin " EXAMPLES_DIR "/libfloat-chain.so --input " + written.string() +
                             " --same-points --algorithms copy --runs 1 --tsv again.tsv --failures again");
    EXPECT_EQ(again.status, 1) << again.err;
    EXPECT_NE(testfiles::read(dir_.path / "again.tsv").find("\tWRONG\t"), std::string::npos);
}

// ---- Files as people have them --------------------------------------------------------------------

TEST(LabColumns, ReadsTheNamedOrNumberedColumnsAndRefusesWhatItCannot) {
    struct Case {
        const char* name;
        std::string text;
        lab::Columns columns;
        std::vector<Point> points;  // empty: refused
        const char* message;        // part of the refusal
        long line;
    };
    const std::vector<Case> cases = {
        {"by number", "1,2,a\n3,4,b\n", {"1", "2"}, {{1, 2}, {3, 4}}, "", 0},
        {"by number, swapped and skipping", "9;1;2\n9;3;4\n", {"3", "2"}, {{2, 1}, {4, 3}}, "", 0},
        {"by name", "name,lon,lat\nx,5,6\ny,-7,8\n", {"lon", "lat"}, {{5, 6}, {-7, 8}}, "", 0},
        {"blanks, by name", "id x y\n1 10 20\n", {"x", "y"}, {{10, 20}}, "", 0},
        {"a name the header lacks", "lon,lat,name\n1,2,a\n", {"x", "lat"}, {}, "which the header line does not", 1},
        {"a name without a header", "1,2\n", {"lon", "lat"}, {}, "has no header line", 1},
        {"a line too short", "lon,lat,name\n1,2,a\n3\n", {"lon", "lat"}, {}, "reads field 2", 3},
        {"a field that is not a number", "lon,lat,name\n1,2,a\n", {"1", "3"}, {}, "\"a\" is not a number", 2},
        {"column 0", "1,2\n", {"0", "1"}, {}, "numbered from 1", 1},
        // CSV as spreadsheets and pandas write it: a quoted field holds the separator, quotes doubled.
        {"a quoted name holding a comma", "name,lon,lat\n\"Washington, D.C.\",5,6\n\"Boston, \"\"MA\"\"\",-7,8\n",
         {"lon", "lat"}, {{5, 6}, {-7, 8}}, "", 0},
        {"quoted names and numbers", "\"name\";\"x\";\"y\"\n\"a;b\"; \"1\" ;\"2\"\n", {"x", "y"}, {{1, 2}}, "", 0},
        {"a quote left open", "name,lon,lat\n\"Washington, D.C.,5,6\n", {"lon", "lat"}, {}, "quoted field is not closed", 2},
        {"text after a quote", "name,lon,lat\n\"a\"b,5,6\n", {"lon", "lat"}, {}, "text follows a quoted field", 2},
    };
    for (const Case& c : cases) {
        try {
            EXPECT_EQ(lab::parsePoints(c.text, 0, nullptr, c.columns), c.points) << c.name;
            EXPECT_FALSE(c.points.empty()) << c.name << ": taken, but should be refused";
        } catch (const lab::InputError& e) {
            EXPECT_TRUE(c.points.empty()) << c.name << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.name << ": " << e.what();
            EXPECT_EQ(e.line, c.line) << c.name;
        }
    }
    // Without --columns, a third field is refused as before, with a hint.
    try {
        lab::parsePoints("lon,lat,name\n1,2,a\n", 0);
        ADD_FAILURE() << "three fields taken without --columns";
    } catch (const lab::InputError& e) {
        EXPECT_NE(std::string(e.what()).find("--columns"), std::string::npos) << e.what();
    }
}

TEST_F(UserEntries, ReadsStandardInputAndACsvOfMoreColumns) {
    std::vector<std::string> csv = {"name,lon,lat"};
    for (int i = 0; i < 300; ++i) csv.push_back("p" + std::to_string(i) + "," + std::to_string(i * 7 % 101) + "," + std::to_string(i * 13 % 97));
    testfiles::writeLines(dir_.path / "places.csv", csv);
    const LabRun piped = lab("--input - --columns lon,lat --algorithms incremental-array --runs 1 --tsv lab.tsv < places.csv");
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_NE(piped.out.find("standard-input:"), std::string::npos) << piped.out;
    const std::string tsv = testfiles::read(dir_.path / "lab.tsv");
    EXPECT_NE(tsv.find("standard-input\t300\t"), std::string::npos) << tsv;
    EXPECT_NE(tsv.find("\tok\t"), std::string::npos) << tsv;
    // A fault in standard input is named as such, with its line, and nothing is written.
    const LabRun bad = lab("--input - --algorithms copy --tsv bad.tsv < places.csv");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("hull-lab: standard input:2: "), std::string::npos) << bad.err;
    EXPECT_FALSE(fs::exists(dir_.path / "bad.tsv"));
}

}  // namespace
