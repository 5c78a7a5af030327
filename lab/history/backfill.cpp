// The user's commits measured after the fact: each built in a worktree of its own (their checkout
// is never touched), its plugin run by this hull-lab and the run recorded. Backfill walks a range
// newest first and resumes where it stopped (a commit the store has is not measured again); bisect
// finds the first commit whose counts moved, in log2 steps.

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "history/history.h"
#include "history/series.h"

namespace lab {

namespace {

// Lines a shell command prints; throws StoreError where it fails.
std::vector<std::string> outputLines(const std::string& command, const std::string& what) {
    std::vector<std::string> lines;
    std::FILE* out = popen((command + " 2>/dev/null").c_str(), "r");
    if (out == nullptr) throw StoreError("cannot run git for " + what);
    char line[4096];
    while (std::fgets(line, sizeof line, out) != nullptr) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        lines.push_back(text);
    }
    if (pclose(out) != 0) throw StoreError("git cannot read " + what);
    return lines;
}

// The first line of a log that names an error, else its last line.
std::string lastLine(const std::string& path) {
    std::ifstream in(path);
    std::string last;
    for (std::string line; std::getline(in, line);) {
        if (line.find("error") != std::string::npos) {
            last = line;
            break;
        }
        if (!line.empty()) last = line;
    }
    return last.size() > 200 ? last.substr(0, 200) + "..." : last;
}

// True where a shell command's status says it was stopped by Ctrl-C or SIGTERM.
bool stoppedBySignal(int status) {
    return (WIFSIGNALED(status) && (WTERMSIG(status) == SIGINT || WTERMSIG(status) == SIGTERM)) ||
           (WIFEXITED(status) && WEXITSTATUS(status) >= 128 + SIGINT && WEXITSTATUS(status) <= 128 + SIGTERM);
}

// The run of `commit` in the store, or null.
const StoredRun* runOf(const std::vector<StoredRun>& runs, const std::string& commit) {
    const StoredRun* found = nullptr;
    for (const StoredRun& r : runs) {
        if (r.commit == commit) found = &r;
    }
    return found;
}

// Whether two runs' counted cells are equal (instructions exactly, misses within their noise), and
// what moved where they are not.
bool sameCounts(const StoredRun& a, const StoredRun& b, std::string& moved) {
    bool same = true;
    for (const StoredCell& x : a.cells) {
        for (const StoredCell& y : b.cells) {
            if (!x.counted || !y.counted || x.algorithm != y.algorithm || x.shape != y.shape || x.n != y.n) continue;
            const std::string why = explanation(&x, &y);
            if (!countsMoved(why)) continue;
            if (same) {
                moved = y.algorithm + " on " + y.shape + " at " + std::to_string(y.n) + ": instructions " +
                        formatted("%+.3f%%", 100 * (y.instructions / x.instructions - 1)) + ", l1_misses " +
                        formatted("%+.3f%%", 100 * (y.l1Misses / std::max(x.l1Misses, 1.0) - 1)) + ", branch_misses " +
                        formatted("%+.3f%%", 100 * (y.branchMisses / std::max(x.branchMisses, 1.0) - 1)) + " (" + why + ")";
            }
            same = false;
        }
    }
    return same;
}

// Whether two runs judged their common cells alike (each right, or each failed the same way), and
// where they did not, what changed: "mine became WRONG on lattice at 1000 points: a point in the
// middle of an edge". Only cells both judged (not skipped) compare.
bool sameStatus(const StoredRun& a, const StoredRun& b, std::string& changed) {
    bool same = true;
    for (const StoredCell& x : a.cells) {
        for (const StoredCell& y : b.cells) {
            if (x.algorithm != y.algorithm || x.shape != y.shape || x.n != y.n || x.status == "skipped" || y.status == "skipped") continue;
            if (x.status == y.status) continue;
            if (same) {
                std::string why;
                const std::string now = commitStatus({&y}, why);
                changed = y.algorithm + (now == "ok" ? " right again" : " became " + now) + " on " + y.shape + " at " +
                          std::to_string(y.n) + " points" + (why.empty() ? "" : ": " + why);
            }
            same = false;
        }
    }
    return same;
}

// The cells a run failed, as "WRONG on lattice at 1000 points, ..."; "" where none.
std::string failedCells(const StoredRun& r) {
    std::string text;
    for (const StoredCell& c : r.cells) {
        if (!failedStatus(c.status)) continue;
        text += (text.empty() ? "" : ", ") + c.status + " " + c.algorithm + " on " + c.shape + " at " + std::to_string(c.n);
    }
    return text;
}

// The run of `commit` the store holds now (read again after a measurement), or "" for none.
std::string failedCellsOf(const std::string& store, const std::string& commit) {
    const std::vector<StoredRun> runs = openStore(store)->runs({}, true);
    const StoredRun* r = runOf(runs, commit);
    return r != nullptr ? failedCells(*r) : "";
}

}  // namespace

std::string branchAlong(const std::string& repo, const std::string& given, const std::string& end) {
    if (!given.empty()) return given;
    std::vector<std::string> name;
    try {
        name = outputLines("git -C " + shellWord(repo) + " rev-parse --symbolic-full-name " + shellWord(end.empty() ? "HEAD" : end), end);
    } catch (const StoreError&) {
        return "";
    }
    const std::string heads = "refs/heads/";
    return !name.empty() && name[0].rfind(heads, 0) == 0 ? name[0].substr(heads.size()) : "";
}

MeasuredCommit measureCommit(const BackfillSettings& s, const std::string& commit, const volatile int* interrupted) {
    char pattern[] = "/tmp/hull-lab-backfill-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw StoreError("cannot make a folder for a worktree in /tmp");
    const std::string dir = pattern, tree = dir + "/tree", git = "git -C " + shellWord(s.repo) + " ";
    MeasuredCommit result;
    // Each step in a shell; Ctrl-C kills the step (this process ignores it meanwhile), which stops
    // the rest.
    auto step = [&](const std::string& command) {
        const int status = std::system(command.c_str());
        result.stopped = result.stopped || stoppedBySignal(status) || *interrupted;
        return status;
    };
    if (step(git + "worktree add --quiet --detach " + shellWord(tree) + " " + commit + " >" + dir + "/git.log 2>&1") != 0) {
        const std::string why = lastLine(dir + "/git.log");
        std::filesystem::remove_all(dir);
        step(git + "worktree prune >/dev/null 2>&1");  // a worktree Ctrl-C stopped half made
        if (result.stopped) return result;
        throw StoreError("cannot check out " + commit + " in a worktree of " + s.repo + ": " + why);
    }
    const int built = result.stopped ? 0 : step("cd " + shellWord(tree) + " && sh -c " + shellWord(s.build) + " >" + dir + "/build.log 2>&1");
    if (!result.stopped && built != 0) {
        result.built = false;
        result.failure = lastLine(dir + "/build.log");
        StoredRun failed;
        failed.commit = commit;
        failed.source = "backfill: the build failed";
        failed.context = {{"build", s.build}, {"build failed", result.failure}};
        openStore(s.store)->add(failed);
    } else if (!result.stopped) {
        std::string command = shellWord(s.self) + " --plugin " + shellWord(tree + "/" + s.plugin) +
                              " --no-judge --history " + shellWord(s.store) + (s.branch.empty() ? "" : " --label " + shellWord(s.branch));
        for (const std::string& word : s.runWords) command += " " + shellWord(word);
        const int ran = step(command + " >" + dir + "/run.log 2>&1");
        if (!result.stopped && (!WIFEXITED(ran) || WEXITSTATUS(ran) > 1)) {
            result.failure = "hull-lab failed on it: " + lastLine(dir + "/run.log");
        }
    }
    const std::string remove = git + "worktree remove --force " + shellWord(tree) + " >/dev/null 2>&1";
    if (step(remove) != 0) std::system(remove.c_str());  // once more where Ctrl-C stopped it
    std::filesystem::remove_all(dir);
    // Ctrl-C can stop the removal after the folder went and before git forgot it: git forgets it now.
    // A step like the others: std::system ignores Ctrl-C in this process while it runs, and only the
    // step's status tells that it came.
    step(git + "worktree prune >/dev/null 2>&1");
    return result;
}

int backfill(const BackfillSettings& settings, const std::string& range, bool includeFirst, const volatile int* interrupted) {
    const std::string git = "git -C " + shellWord(settings.repo) + " ";
    std::vector<std::string> commits = outputLines(git + "rev-list --first-parent " + shellWord(range), range);
    const std::size_t dots = range.find("..");
    if (includeFirst && dots != std::string::npos) {
        const std::string first = range.substr(0, dots);
        commits.push_back(outputLines(git + "rev-parse " + shellWord((first.empty() ? "HEAD" : first) + "^{commit}"), first).at(0));
    }
    BackfillSettings s = settings;
    s.branch = branchAlong(s.repo, s.branch, dots == std::string::npos ? range : range.substr(dots + 2));
    std::system(("git -C " + shellWord(s.repo) + " worktree prune >/dev/null 2>&1").c_str());  // a run killed outright
    const std::vector<StoredRun> known = openStore(s.store)->runs({}, false);
    std::size_t measured = 0, skipped = 0, broken = 0;
    for (const std::string& commit : commits) {
        if (runOf(known, commit) != nullptr) {
            ++skipped;
            continue;
        }
        const MeasuredCommit m = *interrupted ? MeasuredCommit{true, true, ""} : measureCommit(s, commit, interrupted);
        if (m.stopped) {
            std::cout << "stopped before " << commit.substr(0, 12) << ": run it again to go on\n";
            return 130;
        }
        if (!m.failure.empty() && m.built) throw StoreError(commit.substr(0, 12) + ": " + m.failure);
        const std::string failed = m.built ? failedCellsOf(s.store, commit) : "";
        std::cout << commit.substr(0, 12) << (!m.built ? " does not build: " + m.failure : failed.empty() ? " measured" : " measured, FAILED: " + failed)
                  << std::endl;
        ++(m.built ? measured : broken);
    }
    std::cout << commits.size() << (commits.size() == 1 ? " commit in " : " commits in ") << range << (includeFirst ? " and its first" : "")
              << ": " << measured << " measured, " << broken << " that do not build, " << skipped << " already in the history"
              << (s.branch.empty() ? "" : "; recorded along " + s.branch) << "\n";
    return 0;
}

int bisect(const BackfillSettings& settings, const std::string& good, const std::string& bad, const volatile int* interrupted) {
    BackfillSettings s = settings;
    s.branch = branchAlong(s.repo, s.branch, bad);
    const std::string git = "git -C " + shellWord(s.repo) + " ";
    std::vector<std::string> list = outputLines(git + "rev-list --first-parent --reverse " + shellWord(good + ".." + bad), good + ".." + bad);
    const std::string goodCommit = outputLines(git + "rev-parse " + shellWord(good + "^{commit}"), good).at(0);
    list.insert(list.begin(), goodCommit);
    int builds = 0;
    // The run of the commit at `i`, measured where the store has none; null where it does not build.
    auto runAt = [&](std::size_t i) -> std::unique_ptr<StoredRun> {
        std::vector<StoredRun> runs = openStore(s.store)->runs({}, true);
        if (runOf(runs, list[i]) == nullptr) {
            if (*interrupted) throw StoreError("stopped");
            ++builds;
            const MeasuredCommit m = measureCommit(s, list[i], interrupted);
            if (m.stopped) throw StoreError("stopped");
            if (!m.failure.empty() && m.built) throw StoreError(list[i].substr(0, 12) + ": " + m.failure);
            const std::string failed = m.built ? failedCellsOf(s.store, list[i]) : "";
            std::cout << "  " << list[i].substr(0, 12) << (!m.built ? " does not build" : failed.empty() ? " measured" : " measured, FAILED: " + failed)
                      << std::endl;
            runs = openStore(s.store)->runs({}, true);
        }
        const StoredRun* r = runOf(runs, list[i]);
        return r != nullptr && !r->cells.empty() ? std::make_unique<StoredRun>(*r) : nullptr;
    };
    const std::unique_ptr<StoredRun> base = runAt(0), last = runAt(list.size() - 1);
    if (base == nullptr || last == nullptr) throw StoreError("the good and the bad commit must both build");
    // Status first: where GOOD and BAD judged a cell differently, the search is for that change.
    std::string moved;
    const bool byStatus = !sameStatus(*base, *last, moved);
    auto same = [&](const StoredRun& r, std::string& why) { return byStatus ? sameStatus(*base, r, why) : sameCounts(*base, r, why); };
    if (!byStatus && sameCounts(*base, *last, moved)) {
        const std::string failed = failedCells(*last);
        if (failed.empty()) std::cout << "no change: the status and the counts of " << bad << " equal " << good << "'s";
        else std::cout << "no change in status (both failed alike: " << failed << "), and the counts of the cells right in both equal";
        std::cout << " (" << builds << " builds)\n";
        return 0;
    }
    // Invariant: list[lo] counts as `good` does, list[hi] does not; commits that do not build are
    // passed over by trying their nearest neighbour towards `hi`.
    std::size_t lo = 0, hi = list.size() - 1;
    while (hi - lo > 1) {
        std::size_t mid = lo + (hi - lo) / 2;
        std::unique_ptr<StoredRun> r;
        while (mid < hi && (r = runAt(mid)) == nullptr) ++mid;
        if (mid == hi) {  // everything from the middle up does not build: look below it
            mid = lo + (hi - lo) / 2;
            while (mid > lo && (r = runAt(mid)) == nullptr) --mid;
            if (mid == lo) {  // none between builds: the step lies among them or at `hi`
                std::cout << "the commits between " << list[lo].substr(0, 12) << " and " << list[hi].substr(0, 12)
                          << " do not build: the change is at one of them or at the second\n";
                break;
            }
        }
        std::string why;
        if (same(*r, why)) lo = mid;
        else hi = mid, moved = why;
    }
    std::cout << "searched for the first commit whose " << (byStatus ? "status" : "counts") << " changed from " << good << "'s\n"
              << "first commit whose " << (byStatus ? "status" : "counts") << " changed: " << list[hi] << "\n  " << moved << "\n  ("
              << builds << " builds, " << list.size() - 1 << " commits after " << good << ")\n";
    return 0;
}

}  // namespace lab
