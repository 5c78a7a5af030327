// hull-lab's help and lists: the options in groups, one line each, and --list with every shape and
// entry of the build; the guide's option reference is the help itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
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
    for (const char* option : {"--shapes", "--sizes", "--algorithms", "--input", "--scale", "--columns", "--list",
                               "--plugin", "--program", "--failures", "--runs", "--precision", "--max-runs", "--budget",
                               "--min-seconds", "--seed", "--sets", "--same-points", "--heap-defaults", "--repeat-report",
                               "--relative", "--baseline", "--baseline-plugin", "--min-change", "--fail-slower", "--tsv",
                               "--write-points", "--help", "--version"}) {
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

}  // namespace
