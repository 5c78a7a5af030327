// hull-lab's help and lists: the options in groups, one line each, and --list with every shape and
// entry of the build; the guide's option reference is the help itself, its TSV page the TSV's
// header, and its layout every source file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "lab.h"
#include "lab_run.h"
#include "inputs/inputs.h"

namespace {

namespace fs = std::filesystem;
using testfiles::lines;

class HullLabHelp : public testing::Test {
  protected:
    LabRun lab(const std::string& arguments) { return runLab(dir_.path, arguments); }
    testfiles::TempDir dir_{"lab-help"};
};

TEST_F(HullLabHelp, HelpGivesEveryOptionInItsGroupOnALineOfItsOwn) {
    const LabRun help = lab("--help");
    ASSERT_EQ(help.status, 0) << help.err;
    const std::vector<std::string> text = lines(help.out);
    EXPECT_LE(text.size(), 60u) << help.out;
    // The groups, in order, each followed by its options.
    std::size_t at = 0;
    for (const char* group : {"What to run:", "Your hull:", "How to measure:", "Comparing:", "Output:"}) {
        const auto found = std::find(text.begin() + long(at), text.end(), group);
        ASSERT_NE(found, text.end()) << group << " missing, or out of order:\n" << help.out;
        at = std::size_t(found - text.begin());
        EXPECT_EQ(text.at(at + 1).rfind("  -", 0), 0u) << group << " has no option under it";
    }
    for (const char* option : {"--shapes", "--sizes", "--algorithms", "--input", "--scale", "--coordinates", "--columns", "--list",
                               "--plugin", "--program", "--failures", "--runs", "--precision", "--max-runs", "--budget",
                               "--min-seconds", "--seed", "--sets", "--same-points", "--heap-defaults", "--repeat-report",
                               "--relative", "--baseline", "--baseline-plugin", "--min-change", "--fail-slower", "--tsv",
                               "--write-points", "--help", "--version", "--caches", "--history", "--label"}) {
        const std::regex line("^  (-h,)?" + std::string(option) + "( [^ ].*)?  +[a-z].*$");
        EXPECT_EQ(std::count_if(text.begin(), text.end(), [&](const std::string& l) { return std::regex_match(l, line); }), 1)
            << option << ": not on one line with its description";
    }
    for (const std::string& l : text) EXPECT_LE(l.size(), 110u) << l;
}

TEST_F(HullLabHelp, ListNamesEveryShapeAndEveryEntryOfTheBuildAndYours) {
    const LabRun list = lab("--list --plugin '" EXAMPLES_DIR "/libgraham.so'");
    ASSERT_EQ(list.status, 0) << list.err;
    auto listed = [&](const std::string& name) {
        return ("\n" + list.out).find("\n  " + name + " ") != std::string::npos;
    };
    for (const lab::Shape& s : lab::shapes()) EXPECT_TRUE(listed(s.name)) << s.name << "\n" << list.out;
    for (const lab::Algorithm& a : lab::algorithms()) EXPECT_TRUE(listed(a.name)) << a.name << "\n" << list.out;
    EXPECT_TRUE(listed("graham")) << "the plugin's entry\n" << list.out;
    EXPECT_FALSE(fs::exists(dir_.path / "hull-lab-failures")) << "--list judged the plugin";
}

// The guide's reference of every option opens with --help itself, word for word, and explains each
// option the help lists under a heading of its own.
TEST_F(HullLabHelp, TheGuidesOptionReferenceIsTheHelpAndExplainsEveryOption) {
    const LabRun help = lab("--help");
    ASSERT_EQ(help.status, 0) << help.err;
    const std::string page = testfiles::read(fs::path(PROJECT_SOURCE) / "docs/guide/options.md");
    const std::string open = "<!-- hull-lab --help -->\n```text\n", close = "```\n<!-- end of hull-lab --help -->";
    const std::size_t from = page.find(open), to = page.find(close);
    ASSERT_NE(from, std::string::npos) << "docs/guide/options.md has no help block";
    ASSERT_NE(to, std::string::npos) << "docs/guide/options.md: the help block has no end";
    EXPECT_EQ(page.substr(from + open.size(), to - from - open.size()), help.out)
        << "docs/guide/options.md's help block is not `hull-lab --help`: paste the new help there";
    const std::regex option("^  (-h,)?(--[a-z-]+)");
    for (const std::string& line : lines(help.out)) {
        std::smatch match;
        if (!std::regex_search(line, match, option)) continue;
        EXPECT_NE(page.find("\n### `" + match[2].str()), std::string::npos)
            << match[2] << " has no section of its own in docs/guide/options.md";
    }
}

// The names in the first column of a markdown table's rows under `heading` (up to the next "## ").
std::set<std::string> documented(const std::string& page, const std::string& heading) {
    std::set<std::string> names;
    const std::size_t from = page.find("\n" + heading + "\n");
    if (from == std::string::npos) return names;
    const std::size_t to = page.find("\n## ", from + 1);
    const std::regex row("^\\| `([^`]+)` \\|");
    for (const std::string& line : lines(page.substr(from, to == std::string::npos ? std::string::npos : to - from))) {
        std::smatch match;
        if (std::regex_search(line, match, row)) names.insert(match[1]);
    }
    return names;
}

// Every column and every "#" line's name of a plain run, a run of counts and a run against a
// baseline is explained in docs/guide/tsv.md, and every column it explains is one the lab writes.
TEST_F(HullLabHelp, TheTsvPageNamesEveryColumnAndContextLineTheLabWrites) {
    if (kSanitized) GTEST_SKIP() << "what a whole run writes is checked in the plain build";
    const std::string page = testfiles::read(fs::path(PROJECT_SOURCE) / "docs/guide/tsv.md");
    const std::set<std::string> columns = documented(page, "## Columns"), hashes = documented(page, "## `#` lines");
    ASSERT_GT(columns.size(), 20u) << "docs/guide/tsv.md: no table of columns";
    ASSERT_GT(hashes.size(), 10u) << "docs/guide/tsv.md: no table of # lines";
    const std::string common = " --shapes disc --sizes 1000 --algorithms copy --runs 2 --min-seconds 0.01 ";
    struct Case {
        const char* name;
        std::string arguments;
    };
    std::set<std::string> written;
    for (const Case& c : {Case{"a plain run", common + "--tsv run.tsv"},
                          Case{"a run of counts", common + "--measure times,counts --tsv run.tsv"},
                          Case{"a run against a baseline", common + "--baseline '" HULL_LAB_PATH "' --tsv run.tsv"}}) {
        const LabRun run = lab(c.arguments);
        ASSERT_EQ(run.status, 0) << c.name << ": " << run.err;
        for (const std::string& line : lines(testfiles::read(dir_.path / "run.tsv"))) {
            if (line.rfind("# ", 0) == 0) {
                std::string name = line.substr(2, line.find(": ") - 2);
                // A name with a part of its own: "entry graham", "baseline compiler".
                for (const char* prefix : {"entry ", "input ", "baseline "}) {
                    if (name.rfind(prefix, 0) == 0) name = std::string(prefix) + "NAME";
                }
                EXPECT_TRUE(hashes.count(name)) << c.name << ": \"# " << name << ":\" is not in docs/guide/tsv.md";
                continue;
            }
            std::stringstream header(line);
            for (std::string column; std::getline(header, column, '\t');) {
                EXPECT_TRUE(columns.count(column)) << c.name << ": column " << column << " is not in docs/guide/tsv.md";
                written.insert(column);
            }
            break;  // the header: the cells' lines follow
        }
    }
    for (const std::string& column : columns) EXPECT_TRUE(written.count(column)) << column << ": documented, never written";
}

// docs/guide/layout.md names every source file of the lab, its tools, tests and examples, by its
// name or its path.
TEST_F(HullLabHelp, TheLayoutPageNamesEverySourceFile) {
    const fs::path source = PROJECT_SOURCE;
    const std::string page = testfiles::read(source / "docs/guide/layout.md");
    const std::set<std::string> kinds = {".cpp", ".h", ".c", ".py", ".js", ".mjs", ".sh"};
    for (const char* room : {"lab", "tools", "tests", "examples", "include"}) {
        for (const fs::directory_entry& file : fs::recursive_directory_iterator(source / room)) {
            const fs::path relative = fs::relative(file.path(), source);
            const std::string path = relative.string();
            if (!file.is_regular_file() || path.find("node_modules") != std::string::npos ||
                path.rfind("tests/data", 0) == 0 || path.find("fuzz-corpus") != std::string::npos) {
                continue;
            }
            const bool executable = (fs::status(file).permissions() & fs::perms::owner_exec) != fs::perms::none;
            if (!kinds.count(relative.extension().string()) && !executable) continue;
            const std::string name = relative.filename().string();
            EXPECT_TRUE(page.find("`" + name + "`") != std::string::npos || page.find("`" + path + "`") != std::string::npos)
                << path << " is not named in docs/guide/layout.md";
        }
    }
}

// Every entry or shape docs/FINDINGS.md names in backticks is one of this build's, by its name now
// (not a former one): the findings speak of the entries a reader can run.
TEST_F(HullLabHelp, TheFindingsNameOnlyEntriesAndShapesOfThisBuild) {
    const std::string page = testfiles::read(fs::path(PROJECT_SOURCE) / "docs/FINDINGS.md");
    ASSERT_FALSE(page.empty()) << "docs/FINDINGS.md is missing";
    std::set<std::string> known;
    for (const lab::Algorithm& a : lab::algorithms()) known.insert(a.name);
    for (const lab::Shape& s : lab::shapes()) known.insert(s.name);
    for (const lab::Shape& s : lab::realShapes()) known.insert(s.name);  // the shapes of doubles only
    const std::regex word("`([a-z][a-z0-9_]*(-[a-z0-9_]+)*)`");
    std::size_t named = 0;
    for (std::sregex_iterator it(page.begin(), page.end(), word), end; it != end; ++it) {
        EXPECT_TRUE(known.count((*it)[1])) << (*it)[1] << ": named in docs/FINDINGS.md, not an entry or shape of this build";
        ++named;
    }
    EXPECT_GT(named, 10u) << "docs/FINDINGS.md names no entries";
}

}  // namespace
