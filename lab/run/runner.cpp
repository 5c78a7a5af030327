// A cell in a process of its own: the parent starts `hull-lab --cell ...` (a fresh exec, so not
// even the parent's heap carries over), reads what it reports through a pipe, and stops it at the
// deadline. The child's side is cellMain.

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/personality.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <sstream>

#include "lab.h"
#include "run/cell.h"
#include "run/counts.h"
#include "run/runner.h"
#include "run/figures.h"
#include "run/report.h"
#include "user/user.h"

#include <fstream>

namespace lab {

double wallSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

const char* statusWord(Status status) {
    switch (status) {
        case Status::Ok: return "ok";
        case Status::Wrong: return "WRONG";
        case Status::Refused: return "refused";
        case Status::Skipped: return "skipped";
        case Status::Stopped: return "stopped";
        case Status::Crashed: return "crashed";
        case Status::OutOfMemory: return "out-of-memory";
    }
    return "?";
}



namespace {

// The plan of `hull-lab --cell SHAPE N ALGORITHM SEED RUNS MIN_SECONDS SETS [heap-defaults] [no-check]
// [warm-up] [keep-order] [scale=K] [columns=X,Y] [entry=WORD] [files=DIR] [input=PATH] [sets-file=PATH]
// [heap=BYTES] [threads=T]` (at least 9 words).
CellPlan planOfWords(int argc, char** argv) {
    CellPlan plan;
    plan.shape = argv[2];
    plan.n = std::strtoll(argv[3], nullptr, 10);
    plan.seed = std::strtoull(argv[5], nullptr, 10);
    plan.algorithm = argv[4];
    plan.runs = std::atoi(argv[6]);
    plan.minSeconds = std::strtod(argv[7], nullptr);
    plan.sets = std::max(1, std::atoi(argv[8]));
    for (int i = 9; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "heap-defaults") plan.heapDefaults = true;
        if (word == "no-check") plan.check = false;
        if (word == "warm-up") plan.warmUp = true;
        if (word == "keep-order") plan.keepOrder = true;
        if (word == "count") plan.count = true;
        if (word.rfind("count-launcher=", 0) == 0) plan.countLauncher = word.substr(15);
        if (word.rfind("scale=", 0) == 0) plan.scale = std::strtoll(word.c_str() + 6, nullptr, 10);
        if (word.rfind("input=", 0) == 0) plan.input = word.substr(6);
        if (word.rfind("sets-file=", 0) == 0) plan.setsFile = word.substr(10);
        if (word.rfind("heap=", 0) == 0) plan.heapBytes = std::strtod(word.c_str() + 5, nullptr);
        if (word.rfind("threads=", 0) == 0) setEntryThreads(unsigned(std::strtoul(word.c_str() + 8, nullptr, 10)));
        if (word.rfind("files=", 0) == 0) setProgramFiles(word.substr(6));
        if (word.rfind("columns=", 0) == 0) {
            const std::size_t comma = word.find(',');
            plan.columns = {word.substr(8, comma - 8), word.substr(comma + 1)};
        }
    }
    return plan;
}

// The check's report lines, as soon as the check is done: h, the sets checked and a call's time
// (a check alone), the failed set, why the hull was wrong or refused.
void reportCheck(const CellPlan& plan, const CellResult& checked) {
    if (!plan.check) return;
    std::printf("h %zu\n", checked.h);
    if (plan.runs <= 0) {
        std::printf("sets-checked %d\n", checked.setsChecked);
        std::printf("call-seconds %.6e\n", checked.checkCallSeconds);
    }
    if (checked.failedSet >= 0) std::printf("failed-set %d\n", checked.failedSet);
    if (!checked.wrong.empty()) std::printf("wrong %s\n", checked.wrong.c_str());
    if (!checked.refused.empty()) {
        std::string line = checked.refused;  // one line of the report
        for (char& c : line) c = c == '\n' || c == '\r' ? ' ' : c;
        std::printf("refused %s\n", line.c_str());
    }
    std::fflush(stdout);
}

}  // namespace

int cellMain(int argc, char** argv) {
    if (argc < 9) return kFailed;
    for (int i = 9; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.rfind("entry=", 0) != 0) continue;
        try {
            addAlgorithms({userAlgorithm(entryFromWord(word.substr(6)))});
        } catch (const std::exception& e) {
            std::printf("error %s\n", e.what());
            return kFailed;
        }
    }
    const Algorithm* algorithm = findAlgorithm(argv[4]);
    if (algorithm == nullptr) return kFailed;
    const CellPlan plan = planOfWords(argc, argv);
    rusage start{};  // the program and its libraries, before the cell: what does not grow with n
    getrusage(RUSAGE_SELF, &start);
    // Not in a counted process: the number's digits would vary the work before the counted calls.
    if (!plan.count) std::printf("start-bytes %ld\n", start.ru_maxrss * 1024);
    try {
        CellResult result = runCell(
            plan, *algorithm, [&plan](const CellResult& checked) { reportCheck(plan, checked); },
            [&plan](int set) {
                if (!plan.check) return;
                std::printf("set %d\n", set);
                std::fflush(stdout);
            });
        if (plan.count) {
            std::printf("counted-calls %ld\n", result.countedCalls);
        } else {
            std::printf("time");
            for (double seconds : result.secondsPerCall) std::printf(" %.9e", seconds);
            std::printf("\n");
        }
        return std::fflush(stdout) == 0 ? 0 : kFailed;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (const EntryCrashed& e) {
        std::printf("crashed %s\n", e.what());
        std::fflush(stdout);
        return kEntryCrashed;
    } catch (const std::exception& e) {
        std::printf("error %s\n", e.what());
        return kFailed;
    }
}

namespace {

// A counted process gets the few variables a program needs and nothing else: the size of the
// environment moves the stack and the heap, and with them the simulated cache misses (a variable of
// 60 bytes more moved a cell's L1 misses by 0.4% and libqhull's instructions). "NAME=value" each.
std::vector<std::string> countedEnvironment() {
    std::vector<std::string> variables;
    for (const char* name : {"PATH", "HOME", "LANG", "LC_ALL", "TMPDIR"}) {
        if (const char* value = std::getenv(name)) variables.push_back(std::string(name) + "=" + value);
    }
    return variables;
}

// The strings as exec takes them, ending in a null pointer; they must outlive the result.
std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& text : strings) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

ProcessEnd runLabProcess(std::vector<std::string> words, double deadline, const volatile int* interrupted,
                         const std::string& program, const std::vector<std::string>& launcher, bool fixedAddresses) {
    ProcessEnd end;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        end.report = std::string("error cannot make a pipe: ") + std::strerror(errno) + "\n";
        end.status = kFailed << 8;
        return end;
    }
    // The child's arguments are made before the fork: between fork and exec the child may call
    // nothing that allocates, since another thread of the parent (the checks run side by side) may
    // have held the allocator's lock at the fork. Under AddressSanitizer, whose allocator the fork
    // does not unlock, such a child hung now and then until its deadline.
    std::string path = program.empty() ? "/proc/self/exe" : program;
    if (!launcher.empty()) {
        // The launcher runs the lab as its program: this process's own file, even where a new build
        // has replaced it since it started, as every cell's process runs it.
        if (program.empty()) path = "/proc/" + std::to_string(getpid()) + "/exe";
        words.front() = path;
        words.insert(words.begin(), launcher.begin(), launcher.end());
        path = launcher.front();
    }
    std::vector<std::string> variables = countedEnvironment();
    const std::vector<char*> argv = pointersTo(words), environment = pointersTo(variables);
    const double started = wallSeconds();
    pid_t child = fork();
    if (child == 0) {
        // A group of its own, so that a program the process starts is stopped with it.
        setpgid(0, 0);
        dup2(pipeFds[1], STDOUT_FILENO);
        if (fixedAddresses) {
            // And in the root folder: the working folder's path, which Valgrind keeps, moved the
            // counts of the process it runs.
            if (!launcher.empty() && chdir("/") != 0) _exit(127);
            personality(ADDR_NO_RANDOMIZE);
            execve(path.c_str(), argv.data(), environment.data());
        }
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    if (child < 0) {
        close(pipeFds[0]);
        end.report = std::string("error cannot start a process: ") + std::strerror(errno) + "\n";
        end.status = kFailed << 8;
        return end;
    }
    setpgid(child, child);  // as the child does, whichever of the two runs first
    for (;;) {
        if (*interrupted) {
            kill(-child, SIGKILL);
            break;
        }
        double left = deadline - (wallSeconds() - started);
        if (left <= 0) {
            kill(-child, SIGKILL);
            end.stopped = true;
            break;
        }
        pollfd p{pipeFds[0], POLLIN, 0};
        int ready = poll(&p, 1, int(std::min(left, 0.25) * 1000) + 1);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        char buffer[4096];
        ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // the child is done
        end.report.append(buffer, std::size_t(got));
    }
    close(pipeFds[0]);
    rusage usage{};
    while (wait4(child, &end.status, 0, &usage) < 0 && errno == EINTR) {
    }
    kill(-child, SIGKILL);  // whatever the process left running in its group
    end.peakBytes = double(usage.ru_maxrss) * 1024;
    end.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + 1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    end.seconds = wallSeconds() - started;
    return end;
}

Status endStatus(const ProcessEnd& end, std::string& note) {
    std::istringstream lines(end.report);
    std::string overran, crashed;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("overran ", 0) == 0) overran = line.substr(8);
        if (line.rfind("crashed ", 0) == 0) crashed = line.substr(8);
        if (line.rfind("error ", 0) == 0) note = line.substr(6);
    }
    const int status = end.status;
    char text[64];
    if (end.stopped) {
        std::snprintf(text, sizeof text, "stopped after %.0f s", end.seconds);
        note = text;
        return Status::Stopped;
    }
    if (WIFSIGNALED(status)) {
        note = std::string("killed by ") + sigabbrev_np(WTERMSIG(status)) +
               (WTERMSIG(status) == SIGKILL ? " (out of memory?)" : "");
        return Status::Crashed;
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == 0) return Status::Ok;
    if (code == kOutOfMemory) {
        note = "out of memory";
        return Status::OutOfMemory;
    }
    if (code == kOverran && !overran.empty()) {
        note = overran;
    } else if (code == kEntryCrashed && !crashed.empty()) {
        note = crashed;
    } else if (note.empty()) {
        note = "exited with status " + std::to_string(code);
    }
    return Status::Crashed;
}

namespace {

// The words of the cell's process: `hull-lab --cell ...` with the plan's.
std::vector<std::string> cellWords(const CellPlan& plan) {
    // A baseline knows a renamed entry by its former name, which this build takes too.
    const Algorithm* algorithm = findAlgorithm(plan.algorithm);
    const std::string name = !plan.program.empty() && algorithm != nullptr && !algorithm->formerly.empty() ? algorithm->formerly
                                                                                                          : plan.algorithm;
    std::vector<std::string> words = {"hull-lab", "--cell", plan.shape, std::to_string(plan.n), name,
                                      std::to_string(plan.seed), std::to_string(plan.runs),
                                      std::to_string(plan.minSeconds), std::to_string(plan.sets)};
    if (plan.heapDefaults) words.push_back("heap-defaults");
    if (!plan.check) words.push_back("no-check");
    if (plan.warmUp) words.push_back("warm-up");
    if (plan.keepOrder) words.push_back("keep-order");
    if (plan.scale != 0) words.push_back("scale=" + std::to_string(plan.scale));
    if (plan.columns.given()) words.push_back("columns=" + plan.columns.x + "," + plan.columns.y);
    if (!plan.entry.empty()) words.push_back("entry=" + plan.entry);
    if (!plan.filesDir.empty()) words.push_back("files=" + plan.filesDir);
    if (!plan.input.empty()) words.push_back("input=" + plan.input);
    if (!plan.setsFile.empty()) words.push_back("sets-file=" + plan.setsFile);
    if (plan.heapBytes > 0) words.push_back("heap=" + std::to_string(std::int64_t(plan.heapBytes)));
    if (plan.count) words.push_back("count");
    if (!plan.countLauncher.empty()) words.push_back("count-launcher=" + plan.countLauncher);
    if (algorithm != nullptr && algorithm->threads > 1) words.push_back("threads=" + std::to_string(entryThreads()));
    return words;
}

}  // namespace

Outcome runChild(const CellPlan& plan, const volatile int* interrupted) {
    Outcome outcome;
    outcome.shape = plan.shape;
    outcome.n = plan.n;
    outcome.algorithm = plan.algorithm;
    outcome.status = Status::Crashed;
    const std::vector<std::string> words = cellWords(plan);
    const ProcessEnd end = runLabProcess(words, plan.deadline, interrupted, plan.program);
    outcome.peakBytes = end.peakBytes;
    outcome.wall = end.seconds;

    std::istringstream lines(end.report);
    std::vector<double> times;
    bool timed = false, checkedAll = false;
    std::string refused;
    int lastSet = -1;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("set ", 0) == 0) lastSet = std::atoi(line.c_str() + 4);
        if (line.rfind("failed-set ", 0) == 0) outcome.failedSet = std::atoi(line.c_str() + 11);
        if (line.rfind("sets-checked ", 0) == 0) outcome.setsChecked = std::atoi(line.c_str() + 13);
        if (line.rfind("call-seconds ", 0) == 0) outcome.checkCall = std::strtod(line.c_str() + 13, nullptr);
        if (line.rfind("start-bytes ", 0) == 0) outcome.startBytes = std::strtod(line.c_str() + 12, nullptr);
        if (line.rfind("h ", 0) == 0) {
            outcome.h = std::atoll(line.c_str() + 2);
            checkedAll = true;
        }
        if (line.rfind("wrong ", 0) == 0) outcome.note = line.substr(6);
        if (line.rfind("refused ", 0) == 0) refused = line.substr(8);
        if (line.rfind("time", 0) == 0) {
            timed = true;
            std::istringstream values(line.substr(4));
            for (double t; values >> t;) times.push_back(t);
        }
    }
    // A crash while the sets were checked came on the last set named; later, on any of them.
    if (outcome.failedSet < 0 && !checkedAll) outcome.failedSet = lastSet;
    std::string note;
    const Status ended = endStatus(end, note);
    if (ended != Status::Ok) {
        outcome.status = ended;
        if (!note.empty() || outcome.note.empty()) outcome.note = note;
    } else if (!refused.empty()) {
        outcome.status = Status::Refused;
        outcome.note = refused;
    } else if (timed && !times.empty()) {
        outcome.runs = times;
        summarise(outcome);
        outcome.status = outcome.note.empty() ? Status::Ok : Status::Wrong;
    } else if (timed && plan.runs == 0) {  // a process that only checks
        outcome.status = outcome.note.empty() ? Status::Ok : Status::Wrong;
    } else if (outcome.note.empty()) {
        outcome.note = "exited with status 0 without its figures";
    }
    return outcome;
}

namespace {

// Sums Callgrind's totals over the files in `dir` whose names start with `prefix` (one per
// process counted), and removes them. False where none could be read.
bool sumCallgrindFiles(const std::string& dir, const std::string& prefix, std::map<std::string, double>& totals) {
    bool any = false;
    DIR* folder = opendir(dir.c_str());
    if (folder == nullptr) return false;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    closedir(folder);
    for (const std::string& name : names) {
        const std::string path = dir + "/" + name;
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".log") != 0) any |= readCallgrindTotals(path, totals);
        std::remove(path.c_str());
    }
    return any;
}

// Why a counting process gave no counts: Valgrind's own words where it could not run an
// instruction, else how the process ended.
std::string countFailure(const ProcessEnd& end, const std::string& log) {
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        const std::size_t at = line.find("unhandled instruction bytes");
        if (at != std::string::npos) return "Valgrind cannot run an instruction of it (" + line.substr(at) + ")";
    }
    std::string note;
    const Status status = endStatus(end, note);
    return "its counting process " + (status == Status::Ok ? std::string("reported no counts") : note);
}

std::string shellWords(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) {
        line += line.empty() ? "'" : " '";
        for (char c : word) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += "'";
    }
    return line;
}

}  // namespace

CountSetup countSetup(const std::string& dir, const std::string& baseline) {
    CountSetup setup{valgrindPath(), machineCaches(), dir, dir + "/lab-new", ""};
    std::remove(setup.self.c_str());
    std::remove((dir + "/lab-old").c_str());
    if (symlink(("/proc/" + std::to_string(getpid()) + "/exe").c_str(), setup.self.c_str()) != 0) setup.self.clear();
    if (!baseline.empty()) {
        char* absolute = realpath(baseline.c_str(), nullptr);
        setup.baseline = dir + "/lab-old";
        if (absolute == nullptr || symlink(absolute, setup.baseline.c_str()) != 0) setup.baseline = baseline;
        std::free(absolute);
    }
    return setup;
}

Counts runCounted(CellPlan plan, const CountSetup& setup, const std::string& tag, const volatile int* interrupted,
                  double& seconds) {
    Counts counts;
    seconds = 0;
    if (setup.valgrind.empty()) {
        counts.why = "Valgrind is not installed";
        return counts;
    }
    const std::string prefix = "count-" + tag + ".";
    const std::string log = setup.dir + "/" + prefix + "log";
    plan.program = plan.program.empty() ? setup.self : setup.baseline;
    plan.count = true;
    plan.check = false;
    plan.runs = 0;
    plan.warmUp = false;
    plan.heapBytes = 0;
    // The process runs in the root folder: the files it reads by their full paths.
    auto absolute = [](const std::string& path) {
        char* full = path.empty() ? nullptr : realpath(path.c_str(), nullptr);
        const std::string result = full != nullptr ? full : path;
        std::free(full);
        return result;
    };
    plan.input = absolute(plan.input);
    bool whole = false;  // a program: counted as a whole process tree
    if (!plan.entry.empty()) {
        UserEntry entry = entryFromWord(plan.entry);
        whole = entry.kind == UserEntry::Program;
        if (!whole) entry.path = absolute(entry.path);
        plan.entry = entryWord(entry);
    }
    const std::vector<std::string> words =
        countingWords(setup.valgrind, setup.caches, setup.dir + "/" + prefix + "%p", log, whole);
    if (whole) plan.countLauncher = shellWords(words);
    const ProcessEnd end =
        runLabProcess(cellWords(plan), plan.deadline, interrupted, plan.program, whole ? std::vector<std::string>{} : words, true);
    seconds = end.cpuSeconds;
    long calls = 0;
    std::istringstream lines(end.report);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("counted-calls ", 0) == 0) calls = std::atol(line.c_str() + 14);
    }
    std::string note;
    const bool ended = endStatus(end, note) == Status::Ok;
    const std::string why = countFailure(end, log);  // read before the log is removed
    std::map<std::string, double> totals;
    const bool read = sumCallgrindFiles(setup.dir, prefix, totals);
    if (ended && read && calls > 0) return countsOf(totals, calls);
    counts.why = why;
    return counts;
}

}  // namespace lab
