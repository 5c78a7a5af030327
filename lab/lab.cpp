// What every room of the lab shares (lab.h): the clock, the status words, point files.

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <fstream>

#include "lab.h"

namespace lab {

std::string firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string formatted(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

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

const std::vector<ProcessorCache>& processorCaches() {
    static const std::vector<ProcessorCache> caches = [] {
        std::vector<ProcessorCache> list;
        for (int index = 0; index < 16; ++index) {
            const std::string dir = "/sys/devices/system/cpu/cpu0/cache/index" + std::to_string(index) + "/";
            ProcessorCache c;
            c.type = firstLine(dir + "type");
            if (c.type.empty()) break;
            c.level = std::atoi(firstLine(dir + "level").c_str());
            c.size = firstLine(dir + "size");
            char unit = '\0';
            long long value = 0;
            if (std::sscanf(c.size.c_str(), "%lld%c", &value, &unit) >= 1) {
                c.bytes = unit == 'K' || unit == 'k' ? value << 10 : unit == 'M' || unit == 'm' ? value << 20 : unit == 'G' ? value << 30 : value;
            }
            c.ways = std::atol(firstLine(dir + "ways_of_associativity").c_str());
            c.lineBytes = std::atol(firstLine(dir + "coherency_line_size").c_str());
            // shared_cpu_list "0-1" or "0,2": the processors sharing it.
            std::stringstream shared(firstLine(dir + "shared_cpu_list"));
            for (std::string part; std::getline(shared, part, ',');) {
                int first = 0, last = 0;
                const int read = std::sscanf(part.c_str(), "%d-%d", &first, &last);
                c.sharedBy += read == 2 ? last - first + 1 : read == 1 ? 1 : 0;
            }
            list.push_back(c);
        }
        return list;
    }();
    return caches;
}

std::string shellWord(const std::string& word) {
    if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./:=,+") == std::string::npos) {
        return word;
    }
    std::string text = "'";
    for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

const char* changeWord(Change change) {
    switch (change) {
        case Change::None: return "-";
        case Change::Same: return "same";
        case Change::Slower: return "slower";
        case Change::Faster: return "faster";
    }
    return "?";
}

std::string failureKind(Status status, const Failure& failure) {
    switch (status) {
        case Status::Ok: return "right";
        case Status::Refused: return "refused";
        case Status::Stopped: return "stopped (no answer before the deadline)";
        case Status::OutOfMemory: return "out of memory";
        case Status::Skipped: return "skipped";
        case Status::Crashed:
            if (failure.signal > 0) {
                const char* name = sigabbrev_np(failure.signal);
                return "crashed, SIG" + (name != nullptr ? std::string(name) : std::to_string(failure.signal));
            }
            if (failure.overrun != Overrun::None) {
                return failure.overrun == Overrun::Wrote ? "crashed, wrote past a buffer" : "crashed, read past a buffer";
            }
            if (failure.exitCode != 0) return "crashed, exited with status " + std::to_string(failure.exitCode);
            return "crashed";
        case Status::Wrong: break;
    }
    const reference::Fault fault = failure.fault == reference::Fault::None ? reference::Fault::NotAHull : failure.fault;
    return std::string("WRONG, ") + reference::faultWords(fault).reading;
}

bool statusNamed(const std::string& word, Status& status) {
    for (Status s : {Status::Ok, Status::Wrong, Status::Refused, Status::Skipped, Status::Stopped, Status::Crashed, Status::OutOfMemory}) {
        if (word == statusWord(s)) {
            status = s;
            return true;
        }
    }
    return false;
}

namespace {

// Writes each point's line, as `line` makes it, in blocks of a megabyte. False when it cannot.
template <class P, class Line>
bool writeLines(const std::string& path, const std::vector<P>& points, Line line) {
    std::ofstream out(path, std::ios::out | std::ios::trunc);
    std::string text;
    for (const P& p : points) {
        line(p, text);
        text += '\n';
        if (text.size() > (1u << 20)) {
            out << text;
            text.clear();
        }
    }
    out << text;
    out.close();
    return bool(out);
}

}  // namespace

bool writePointFile(const std::string& path, const std::vector<Point>& points) {
    return writeLines(path, points, [](const Point& p, std::string& text) {
        text += std::to_string(p.x);
        text += ';';
        text += std::to_string(p.y);
    });
}

bool writePointFile(const std::string& path, const std::vector<RealPoint>& points) {
    return writeLines(path, points, [](const RealPoint& p, std::string& text) { text += show(p); });
}

std::vector<reference::Pt> wholePoints(const std::vector<RealPoint>& points) {
    std::vector<reference::Pt> result;
    result.reserve(points.size());
    for (const RealPoint& p : points) result.push_back({std::int64_t(p.x), std::int64_t(p.y)});
    return result;
}

std::string fileNamePart(const std::string& text) {
    std::string name = text;
    for (char& c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || c == '.';
        if (!plain) c = '_';
    }
    if (name.empty() || name[0] == '.') name = "_" + name;
    return name;
}

}  // namespace lab
