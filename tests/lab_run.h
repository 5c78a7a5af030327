// Runs the real hull-lab in a directory, its output caught: what the lab's end-to-end tests share.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "test_files.h"

// Whether this build runs under the sanitizers: a test of what a whole run prints, which the plain
// build checks already, skips there, where it costs several times as long and checks no more.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

struct LabRun {
    int status;  // the exit status, -1 when killed
    std::string out, err;
};

// `hull-lab ARGUMENTS` run in `dir` (HULL_LAB_PATH, from the build).
inline LabRun runLab(const std::filesystem::path& dir, const std::string& arguments) {
    const std::string command = "cd '" + dir.string() + "' && '" HULL_LAB_PATH "' " + arguments + " >stdout 2>stderr";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testfiles::read(dir / "stdout"), testfiles::read(dir / "stderr")};
}
