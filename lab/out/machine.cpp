// The machine's facts for Google Benchmark's JSON, read where Google Benchmark reads them.

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "out/exports.h"

namespace lab {


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
    for (const ProcessorCache& c : processorCaches()) m.caches.push_back({c.type, c.level, c.bytes, c.sharedBy});
    if (getloadavg(m.load, 3) != 3) m.load[0] = m.load[1] = m.load[2] = 0;
#ifdef NDEBUG
    m.buildType = "release";
#else
    m.buildType = "debug";
#endif
    return m;
}

}  // namespace lab
