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
#include <fstream>
#include <iostream>
#include <new>
#include <sstream>

#include "lab.h"
#include "run/cell.h"
#include "run/counts.h"
#include "run/protocol.h"
#include "run/runner.h"
#include "run/figures.h"
#include "user/user.h"

#include <fstream>

namespace lab {



namespace {

// The check's report lines, as soon as the check is done: h, the sets checked and a call's time
// (a check alone), the failed set, why the hull was wrong or refused.
void reportCheck(const CellPlan& plan, const CellResult& checked) {
    if (!plan.check) return;
    std::string report = reportLine(ReportKey::H, std::to_string(checked.h));
    if (jobOf(plan) == Job::Check) {
        report += reportLine(ReportKey::SetsChecked, std::to_string(checked.setsChecked));
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.6e", checked.checkCallSeconds);
        report += reportLine(ReportKey::CallSeconds, seconds);
    }
    if (checked.failedSet >= 0) report += reportLine(ReportKey::FailedSet, std::to_string(checked.failedSet));
    if (!checked.wrong.empty()) report += reportLine(ReportKey::Wrong, checked.wrong);
    if (checked.failure.fault != reference::Fault::None) report += reportLine(ReportKey::Failure, failureWords(checked.failure));
    if (!checked.refused.empty()) report += reportLine(ReportKey::Refused, checked.refused);
    std::fputs(report.c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace

int cellMain(int argc, char** argv) {
    CellPlan plan;
    try {
        plan = planOfWords(std::vector<std::string>(argv + std::min(argc, 2), argv + argc));
        if (!plan.entry.empty()) {
            UserEntry entry = entryFromWord(plan.entry);
            if (!plan.filesDir.empty()) entry.filesDir = plan.filesDir;
            addAlgorithms({userAlgorithm(entry)});
        }
    } catch (const std::exception& e) {
        std::fputs(reportLine(ReportKey::Error, e.what()).c_str(), stdout);
        return kFailed;
    }
    if (plan.threads > 0) setEntryThreads(plan.threads);
    const Algorithm* algorithm = findAlgorithm(plan.algorithm);
    if (algorithm == nullptr) return kFailed;
    rusage start{};  // the program and its libraries, before the cell: what does not grow with n
    getrusage(RUSAGE_SELF, &start);
    // Not in a counted process: the number's digits would vary the work before the counted calls.
    if (!plan.count) std::fputs(reportLine(ReportKey::StartBytes, std::to_string(start.ru_maxrss * 1024)).c_str(), stdout);
    try {
        CellResult result = runCell(
            plan, *algorithm, [&plan](const CellResult& checked) { reportCheck(plan, checked); },
            [&plan](int set) {
                if (!plan.check) return;
                std::fputs(reportLine(ReportKey::Set, std::to_string(set)).c_str(), stdout);
                std::fflush(stdout);
            });
        if (plan.count) {
            std::fputs(reportLine(ReportKey::CountedCalls, std::to_string(result.countedCalls)).c_str(), stdout);
        } else {
            std::string times;
            for (double seconds : result.secondsPerCall) {
                char figure[32];
                std::snprintf(figure, sizeof figure, "%s%.9e", times.empty() ? "" : " ", seconds);
                times += figure;
            }
            std::fputs(reportLine(ReportKey::Time, times).c_str(), stdout);
        }
        return std::fflush(stdout) == 0 ? 0 : kFailed;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (const std::exception& e) {
        return reportEnd(e);
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

double busySeconds() {
    std::ifstream stat("/proc/stat");
    std::string cpu;
    double user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
    if (!(stat >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal) || cpu != "cpu") return -1;
    return (user + nice + system + irq + softirq + steal) / double(sysconf(_SC_CLK_TCK));
}

namespace {

// The cores other work kept busy, on average, while a process ran: the machine's busy time since
// `busyBefore` less the process's own, over its wall time; 0 where /proc/stat cannot be read.
double otherCoresSince(double busyBefore, const ProcessEnd& end) {
    const double busyAfter = busySeconds();
    if (busyBefore < 0 || busyAfter < 0 || end.seconds <= 0) return 0;
    return std::max(0.0, busyAfter - busyBefore - end.cpuSeconds) / end.seconds;
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
    const double started = wallSeconds(), busyBefore = busySeconds();
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
    end.otherCores = otherCoresSince(busyBefore, end);
    return end;
}

namespace {

// endStatus on a report already read; `how` gains the signal or the exit status.
Status endStatusOf(const ProcessEnd& end, const ProcessReport& report, std::string& note, Failure& how) {
    const std::string &overran = report.overran, &crashed = report.crashed;
    if (!report.error.empty()) note = report.error;
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
        how.signal = WTERMSIG(status);
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
        how.exitCode = code;
    }
    return Status::Crashed;
}

}  // namespace

Status endStatus(const ProcessEnd& end, std::string& note, Failure* failure) {
    ProcessReport report;
    try {
        report = parseReport(end.report);
    } catch (const ProtocolError& bad) {
        report.error = bad.what();
    }
    Failure how = report.failure;
    const Status status = endStatusOf(end, report, note, how);
    if (failure != nullptr) *failure = how;
    return status;
}

namespace {

// The words of the cell's process: `hull-lab --cell ...` with the plan's. A baseline knows a
// renamed entry by its former name, which this build takes too; the -2t entries are told their
// threads.
std::vector<std::string> cellWords(CellPlan plan) {
    const Algorithm* algorithm = findAlgorithm(plan.algorithm);
    if (!plan.program.empty() && algorithm != nullptr && !algorithm->formerly.empty()) plan.algorithm = algorithm->formerly;
    if (algorithm != nullptr && algorithm->threads > 1) plan.threads = entryThreads();
    return planWords(plan);
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

    ProcessReport report;
    try {
        report = parseReport(end.report);
    } catch (const ProtocolError& bad) {
        outcome.note = bad.what();
        return outcome;  // crashed: its report cannot be read
    }
    outcome.failedSet = report.failedSet;
    outcome.setsChecked = report.setsChecked;
    outcome.checkCall = report.callSeconds;
    outcome.startBytes = report.startBytes;
    outcome.h = report.h;
    outcome.note = report.wrong;
    const std::string& refused = report.refused;
    const std::vector<double>& times = report.times;
    const bool timed = report.timed;
    // A crash while the sets were checked came on the last set named; later, on any of them.
    if (outcome.failedSet < 0 && report.h < 0) outcome.failedSet = report.lastSet;
    std::string note;
    const Status ended = endStatus(end, note, &outcome.failure);
    if (ended != Status::Ok) {
        outcome.status = ended;
        if (!note.empty() || outcome.note.empty()) outcome.note = note;
    } else if (!refused.empty()) {
        outcome.status = Status::Refused;
        outcome.note = refused;
    } else if (timed && !times.empty()) {
        outcome.runs = times;
        outcome.busyRuns = end.otherCores >= kBusyCores ? 1 : 0;
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
    for (const std::string& word : words) line += (line.empty() ? "" : " ") + shellWord(word);
    return line;
}

}  // namespace

CountSetup countSetup(const std::string& dir, const std::string& baseline, const CacheModel& caches) {
    CountSetup setup{valgrindPath(), caches, dir, dir + "/lab-new", ""};
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
    setJob(plan, Job::Count);
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
    try {
        calls = parseReport(end.report).countedCalls;
    } catch (const ProtocolError&) {
        calls = 0;  // no counts: countFailure says how the process ended
    }
    std::string note;
    const bool ended = endStatus(end, note) == Status::Ok;
    const std::string why = countFailure(end, log);  // read before the log is removed
    std::map<std::string, double> totals;
    const bool read = sumCallgrindFiles(setup.dir, prefix, totals);
    if (ended && read && calls > 0) return countsOf(totals, calls);
    counts.why = why;
    counts.stopped = end.stopped;
    return counts;
}

}  // namespace lab
