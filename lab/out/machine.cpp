// The machine's facts for Google Benchmark's JSON, read where Google Benchmark reads them.

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "out/exports.h"

namespace lab {

namespace {

// "32K", "1024K", "32M" as bytes; 0 when it is none of these.
long long cacheBytes(const std::string& text) {
    char unit = '\0';
    long long value = 0;
    if (std::sscanf(text.c_str(), "%lld%c", &value, &unit) < 1) return 0;
    return unit == 'K' ? value << 10 : unit == 'M' ? value << 20 : unit == 'G' ? value << 30 : value;
}

// The processors in a list such as "0-1,4": how many.
int processorsIn(const std::string& list) {
    int count = 0;
    std::stringstream in(list);
    for (std::string part; std::getline(in, part, ',');) {
        int first = 0, last = 0;
        const int read = std::sscanf(part.c_str(), "%d-%d", &first, &last);
        count += read == 2 ? last - first + 1 : read == 1 ? 1 : 0;
    }
    return count;
}

}  // namespace

MachineFacts machineFacts(const std::string& executable) {
    MachineFacts m;
    const std::time_t now = std::time(nullptr);
    char date[40];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S%z", std::localtime(&now));
    m.date = date;
    if (m.date.size() > 5) m.date.insert(m.date.size() - 2, ":");  // +0000 as +00:00
    struct utsname system {};
    if (uname(&system) == 0) m.hostName = system.nodename;
    m.executable = executable;
    m.cpus = int(sysconf(_SC_NPROCESSORS_ONLN));
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("cpu MHz", 0) == 0 && line.find(':') != std::string::npos) {
            m.mhzPerCpu = std::atof(line.c_str() + line.find(':') + 1);
            break;
        }
    }
    for (int index = 0;; ++index) {
        const std::string dir = "/sys/devices/system/cpu/cpu0/cache/index" + std::to_string(index) + "/";
        const std::string type = firstLine(dir + "type");
        if (type.empty()) break;
        m.caches.push_back({type, std::atoi(firstLine(dir + "level").c_str()), cacheBytes(firstLine(dir + "size")),
                            processorsIn(firstLine(dir + "shared_cpu_list"))});
    }
    if (getloadavg(m.load, 3) != 3) m.load[0] = m.load[1] = m.load[2] = 0;
#ifdef NDEBUG
    m.buildType = "release";
#else
    m.buildType = "debug";
#endif
    return m;
}

}  // namespace lab
