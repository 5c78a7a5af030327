// What every room of the lab shares (lab.h): the clock, the status words, point files.

#include <time.h>

#include <cstdio>
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

std::string shellWord(const std::string& word) {
    if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./:=,+") == std::string::npos) {
        return word;
    }
    std::string text = "'";
    for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
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

bool writePointFile(const std::string& path, const std::vector<Point>& points) {
    std::ofstream out(path, std::ios::out | std::ios::trunc);
    std::string text;
    for (const Point& p : points) {
        text += std::to_string(p.x);
        text += ';';
        text += std::to_string(p.y);
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
