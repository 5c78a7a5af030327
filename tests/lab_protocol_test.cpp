// The cell protocol, both ways: a plan's words read back as the plan, a report's lines read back as
// what was reported, and what cannot be read refused by name.

#include <gtest/gtest.h>

#include <csignal>

#include <algorithm>
#include <string>
#include <vector>

#include "../lab/run/protocol.h"

namespace {

using namespace lab;

// Every field away from its default, so that a field written and not read (or read into another)
// shows.
CellPlan everyField() {
    CellPlan p;
    p.shape = "disc";
    p.n = 123456;
    p.algorithm = "filter-vqsort-chain-2t";
    p.seed = 18446744073709551615ull >> 1;
    p.runs = 7;
    p.minSeconds = 0.125;
    p.sets = 16;
    p.heapDefaults = p.keepOrder = p.warmUp = p.count = true;
    p.check = false;
    p.scale = 1000000;
    p.columns = {"lon", "lat"};
    p.entry = "program\thull\tpython3 hull.py";
    p.filesDir = "/tmp/hull-lab-x";
    p.input = "/data/my points.csv";
    p.setsFile = "/tmp/sets";
    p.heapBytes = 4096;
    p.countLauncher = "'valgrind' '--tool=callgrind'";
    p.threads = 2;
    return p;
}

std::vector<std::string> afterCell(std::vector<std::string> words) { return {words.begin() + 2, words.end()}; }

TEST(CellProtocol, APlansWordsReadBackAsThePlanWithEveryFieldSetOrAtItsDefault) {
    for (const CellPlan& plan : {CellPlan{}, everyField()}) {
        const std::vector<std::string> words = planWords(plan);
        ASSERT_GE(words.size(), 9u);
        EXPECT_EQ(words[1], "--cell");
        const CellPlan back = planOfWords(afterCell(words));
        EXPECT_EQ(planWords(back), words);
        EXPECT_EQ(back.shape, plan.shape);
        EXPECT_EQ(back.n, plan.n);
        EXPECT_EQ(back.seed, plan.seed);
        EXPECT_EQ(back.minSeconds, plan.minSeconds);
        EXPECT_EQ(back.check, plan.check);
        EXPECT_EQ(back.warmUp, plan.warmUp);
        EXPECT_EQ(back.columns.x, plan.columns.x);
        EXPECT_EQ(back.columns.y, plan.columns.y);
        EXPECT_EQ(back.entry, plan.entry);
        EXPECT_EQ(back.input, plan.input);
        EXPECT_EQ(back.heapBytes, plan.heapBytes);
        EXPECT_EQ(back.countLauncher, plan.countLauncher);
        EXPECT_EQ(back.threads, plan.threads);
    }
    EXPECT_EQ(planWords(CellPlan{}).size(), 9u) << "a plan at its defaults is its fixed words alone";
}

TEST(CellProtocol, EveryJobReadsBackAsItselfInTheWordsOlderBuildsKnow) {
    struct Case {
        Job job;
        const char* word;  // a word the job's process must have, or ""
        const char* runs;  // its RUNS word
    };
    for (const Case& c : {Case{Job::Check, "", "0"}, Case{Job::Time, "no-check", "3"}, Case{Job::CheckAndTime, "", "3"},
                          Case{Job::Count, "count", "0"}}) {
        CellPlan plan = everyField();
        setJob(plan, c.job, 3);
        const std::vector<std::string> words = planWords(plan);
        EXPECT_EQ(jobOf(planOfWords(afterCell(words))), c.job) << int(c.job);
        EXPECT_EQ(words[6], c.runs) << int(c.job);
        if (*c.word != '\0') {
            EXPECT_NE(std::find(words.begin(), words.end(), c.word), words.end()) << int(c.job) << ": " << c.word;
        }
        EXPECT_EQ(std::find(words.begin(), words.end(), "warm-up") != words.end(), c.job == Job::Time) << int(c.job);
    }
}

TEST(CellProtocol, AWordThatCannotBeReadIsRefusedByName) {
    const std::vector<std::string> fixed = afterCell(planWords(everyField()));
    struct Case {
        const char* name;
        std::vector<std::string> words;
        std::string named;  // what the message must name
    };
    auto with = [&](std::vector<std::string> words, std::size_t at, const std::string& word) {
        if (at < words.size()) words[at] = word;
        else words.push_back(word);
        return words;
    };
    const std::vector<Case> cases = {
        {"an unknown word", with(fixed, 99, "frobnicate"), "frobnicate"},
        {"a flag given a value", with(fixed, 99, "no-check=1"), "no-check=1"},
        {"a value word without its value", with(fixed, 99, "scale"), "scale"},
        {"a size that is not a number", with(fixed, 1, "1e6x"), "n"},
        {"a scale that is not a number", with(fixed, 99, "scale=big"), "scale"},
        {"columns without a comma", with(fixed, 99, "columns=lon"), "columns"},
        {"the fixed words cut short", {"disc", "1000", "copy"}, "seed"},
    };
    for (const Case& c : cases) {
        try {
            planOfWords(c.words);
            ADD_FAILURE() << c.name << ": read without complaint";
        } catch (const ProtocolError& bad) {
            EXPECT_NE(std::string(bad.what()).find(c.named), std::string::npos) << c.name << ": " << bad.what();
        }
    }
}

TEST(CellProtocol, AReportsLinesReadBackAndOtherOutputIsPassedOver) {
    const std::string text = reportLine(ReportKey::StartBytes, "1048576") + reportLine(ReportKey::Set, "3") +
                             "a plugin's own printf\n" + reportLine(ReportKey::H, "42") +
                             reportLine(ReportKey::Wrong, "a corner missing\non two lines") +
                             reportLine(ReportKey::Time, "1.5e-03 1.6e-03 1.4e-03") + reportLine(ReportKey::Ok) +
                             reportLine(ReportKey::Try, "6") + reportLine(ReportKey::Try, "7") +
                             reportLine(ReportKey::Answer, "-1073741823;5 0;-2");
    const ProcessReport r = parseReport(text);
    EXPECT_EQ(r.startBytes, 1048576);
    EXPECT_EQ(r.lastSet, 3);
    EXPECT_EQ(r.h, 42);
    EXPECT_EQ(r.wrong, "a corner missing on two lines");
    EXPECT_TRUE(r.timed);
    EXPECT_EQ(r.times, (std::vector<double>{1.5e-3, 1.6e-3, 1.4e-3}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.failedSet, -1) << "not reported: its default";
    EXPECT_EQ(r.lastTry, 7) << "the hunt's input a crash would be pinned on";
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(r.answer, (std::vector<reference::Pt>{{-1073741823, 5}, {0, -2}}));
    for (const std::string& bad : {std::string("h many\n"), std::string("time 1e-3 soon\n"), std::string("set\n"),
                                   std::string("try next\n"), std::string("answer 1;2 3\n")}) {
        try {
            parseReport(bad);
            ADD_FAILURE() << bad << ": read without complaint";
        } catch (const ProtocolError& e) {
            EXPECT_NE(std::string(e.what()).find(bad.substr(0, bad.size() - 1)), std::string::npos) << e.what();
        }
    }
}

// A failure's values cross from a process to the lab as a "failure" line: each kind of value, alone
// and together, reads back as itself; an unknown word or value is refused by name.
TEST(CellProtocol, AFailuresValuesReadBackFromItsReportLine) {
    struct Case {
        const char* name;
        Failure failure;
    } cases[] = {
        {"each fault of the check", {}},
        {"a signal", {reference::Fault::None, SIGSEGV, 0, Overrun::None, ""}},
        {"an exit status", {reference::Fault::None, 0, 3, Overrun::None, ""}},
        {"a read past a buffer", {reference::Fault::None, 0, 0, Overrun::Read, ""}},
        {"all at once", {reference::Fault::OnEdge, SIGABRT, 7, Overrun::Wrote, "3;-4"}},
        {"a point of doubles", {reference::Fault::Outside, 0, 0, Overrun::None, "0.1;-1e-300"}},
    };
    auto same = [](const Failure& a, const Failure& b) {
        return a.fault == b.fault && a.signal == b.signal && a.exitCode == b.exitCode && a.overrun == b.overrun && a.point == b.point;
    };
    for (const Case& c : cases) {
        std::vector<Failure> failures = {c.failure};
        if (std::string(c.name) == "each fault of the check") {
            failures.clear();
            for (int f = 1; f <= int(reference::Fault::NotAHull); ++f) failures.push_back({reference::Fault(f), 0, 0, Overrun::None, ""});
        }
        for (const Failure& f : failures) {
            const ProcessReport r = parseReport(reportLine(ReportKey::Wrong, "w") + reportLine(ReportKey::Failure, failureWords(f)));
            EXPECT_TRUE(same(r.failure, f)) << c.name << ": " << failureWords(f) << " read back as " << failureWords(r.failure);
        }
    }
    for (const char* bad : {"failure fault=sideways\n", "failure signal=SEGV\n", "failure overrun=maybe\n", "failure colour=red\n"}) {
        try {
            parseReport(bad);
            ADD_FAILURE() << bad << ": read without complaint";
        } catch (const ProtocolError& e) {
            EXPECT_NE(std::string(e.what()).find(std::string(bad).substr(8, 5)), std::string::npos) << e.what();
        }
    }
}

}  // namespace
