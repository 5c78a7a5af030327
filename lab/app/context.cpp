// The run's context, as a benchmark report opens: what machine, build and libraries produced the
// figures, and the load the machine was under when the run began.

#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "app/hull_lab.h"
#include "peers/peers.h"
#include "results/fields.h"
#include "run/runner.h"
#include "lab_build.h"
#include "lab_version.h"

namespace lab {

namespace {

// The value of a "name : value" line of /proc/cpuinfo or /proc/meminfo, or "".
std::string procValue(const std::string& path, const std::string& name) {
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string key = line.substr(0, colon);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
        if (key != name) continue;
        std::size_t start = line.find_first_not_of(" \t", colon + 1);
        return start == std::string::npos ? "" : line.substr(start);
    }
    return "";
}

// "L1d 48 KiB, L1i 32 KiB, L2 1024 KiB, L3 32768 KiB (shared by 2)", from the first processor's
// caches.
std::string caches() {
    std::string out;
    for (const ProcessorCache& c : processorCaches()) {
        std::string size = c.size;
        if (!size.empty() && size.back() == 'K') size = size.substr(0, size.size() - 1) + " KiB";
        const std::string name = "L" + std::to_string(c.level) + (c.type == "Data" ? "d" : c.type == "Instruction" ? "i" : "");
        out += (out.empty() ? "" : ", ") + name + " " + size + (c.sharedBy > 1 ? " (shared by " + std::to_string(c.sharedBy) + ")" : "");
    }
    return out.empty() ? "not known" : out;
}

std::string gibibytes(const std::string& kibText) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GiB", std::atof(kibText.c_str()) / 1048576.0);
    return text;
}

std::string loadAverage(double load[3]) {
    char text[64];
    if (getloadavg(load, 3) != 3) return "not known";
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f (1, 5, 15 minutes)", load[0], load[1], load[2]);
    return text;
}

bool optimised() {
#if defined(__OPTIMIZE__) && defined(NDEBUG)
    return true;
#else
    return false;
#endif
}

bool sanitized() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

}  // namespace

std::string versionLine() {
    return std::string("hull-lab ") + HULL_LAB_COMMIT + " (" + HULL_LAB_BUILD_TYPE + " build, " + HULL_LAB_COMPILER + ")";
}

std::vector<std::pair<std::string, std::string>> runContext() {
    std::vector<std::pair<std::string, std::string>> context;
    char date[64];
    const std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S%z", std::localtime(&now));
    context.emplace_back(runcontext::kDate, date);
    context.emplace_back(runcontext::kVersion, HULL_LAB_COMMIT);
    context.emplace_back(runcontext::kCompiler, HULL_LAB_COMPILER);
    context.emplace_back(runcontext::kFlags, HULL_LAB_FLAGS);
    context.emplace_back(runcontext::kBuildType, HULL_LAB_BUILD_TYPE);
    utsname system{};
    if (uname(&system) == 0) context.emplace_back("system", std::string(system.sysname) + " " + system.release);
    const std::string model = procValue("/proc/cpuinfo", "model name");
    context.emplace_back(runcontext::kCpu, model.empty() ? "not known" : model);
    context.emplace_back(runcontext::kCores, std::to_string(sysconf(_SC_NPROCESSORS_ONLN)));
    context.emplace_back(runcontext::kCaches, caches());
    context.emplace_back(runcontext::kMemory, gibibytes(procValue("/proc/meminfo", "MemTotal")) + ", " +
                                       gibibytes(procValue("/proc/meminfo", "MemAvailable")) + " available");
    double load[3] = {0, 0, 0};
    context.emplace_back("load average", loadAverage(load));
    const std::string governor = firstLine("/sys/devices/system/cpu/cpu0/cpufreq/scaling_governor");
    if (!governor.empty()) context.emplace_back("cpu frequency governor", governor);
    std::string libraryList;
    for (const auto& [name, version] : libraries()) libraryList += (libraryList.empty() ? "" : ", ") + name + " " + version;
    context.emplace_back(runcontext::kLibraries, libraryList.empty() ? "none (no peer library in this build)" : libraryList);
    return context;
}

std::vector<std::string> contextWarnings(bool timed) {
    std::vector<std::string> warnings;
    if (!optimised() || sanitized()) {
        warnings.push_back(std::string("this hull-lab is a ") + HULL_LAB_BUILD_TYPE +
                           (sanitized() ? " build with sanitizers" : " build without optimisation") +
                           ": its figures do not show what the algorithms cost (make lab builds a Release one)");
    }
    // Other work now, not a minute ago: the processors' busy time over a fifth of a second while
    // this process sleeps (the load average still counts a run that ended: 0.79 after the lab's own).
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    const double before = timed ? busySeconds() : -1;
    if (before >= 0) {
        constexpr double kSample = 0.2;
        usleep(useconds_t(kSample * 1e6));
        const double other = (busySeconds() - before) / kSample;
        if (other >= kBusyCores) {
            char text[220];
            std::snprintf(text, sizeof text,
                          "other work keeps %.1f of %ld cores busy as the run begins: the figures may be slower and noisier "
                          "than the machine's own, and the two-thread entries' figures wait for it",
                          other, cores);
            warnings.push_back(text);
        }
    }
    const std::string governor = firstLine("/sys/devices/system/cpu/cpu0/cpufreq/scaling_governor");
    if (timed && !governor.empty() && governor != "performance") {
        warnings.push_back("the processors' frequency follows the \"" + governor +
                           "\" governor: a run's first cells may be timed at a lower frequency");
    }
    return warnings;
}

std::string baselineProblem(const std::string& program) {
    static const volatile int never = 0;
    const ProcessEnd end = runLabProcess({"hull-lab", "--cell", "square", "100", "copy", "1", "1", "0.001", "1"}, 20, &never,
                                         program);
    const bool ran = WIFEXITED(end.status) && WEXITSTATUS(end.status) == 0;
    const bool spoke = end.report.rfind("h ", 0) == 0 || end.report.find("\nh ") != std::string::npos;
    if (ran && spoke && end.report.find("\ntime ") != std::string::npos) return "";
    std::string said = end.report.substr(0, end.report.find('\n'));
    if (said.size() > 60) said = said.substr(0, 60) + "...";
    return "is not a hull-lab that runs cells as this one does (" +
           (end.stopped ? std::string("it did not end") : said.empty() ? "it printed nothing of a cell" : "it printed \"" + said + "\"") +
           "); a baseline must be a build of hull-lab from the one that ran each run of a cell in a process of its own";
}

bool baselineTakesReals(const std::string& program) {
    static const volatile int never = 0;
    return runLabProcess({"hull-lab", "--help"}, 60, &never, program).report.find("--coordinates") != std::string::npos;
}

std::vector<std::pair<std::string, std::string>> baselineContext(const std::string& program) {
    std::vector<std::pair<std::string, std::string>> context;
    char path[] = "/tmp/hull-lab-baseline-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return context;
    close(fd);
    static const volatile int never = 0;
    runLabProcess({"hull-lab", "--shapes", "square", "--sizes", "100", "--algorithms", "copy", "--runs", "1", "--tsv", path},
                  60, &never, program);
    std::ifstream tsv(path);
    for (std::string line; std::getline(tsv, line) && line.rfind("# ", 0) == 0;) {
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos) context.emplace_back(line.substr(2, colon - 2), line.substr(colon + 2));
    }
    unlink(path);
    return context;
}

}  // namespace lab
