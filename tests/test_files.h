// File helpers shared by the tests: whole-file reads, lines, and a temporary directory.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace testfiles {

namespace fs = std::filesystem;

inline std::string read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

// The lines of a hull-lab TSV below its "#" lines of context: its header first.
inline std::vector<std::string> tsvLines(const std::string& text) {
    std::vector<std::string> result;
    for (const std::string& line : lines(text)) {
        if (line.rfind("#", 0) != 0) result.push_back(line);
    }
    return result;
}

inline void writeLines(const fs::path& file, const std::vector<std::string>& lines) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) out << line << '\n';
}

// A fresh directory under /tmp, removed with everything in it when the object goes.
struct TempDir {
    fs::path path;
    explicit TempDir(const std::string& prefix) {
        std::string pattern = "/tmp/" + prefix + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
        path = pattern;
    }
    ~TempDir() { fs::remove_all(path); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
};

}  // namespace testfiles
