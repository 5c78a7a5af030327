// The run's context as named fields (results/fields.cpp): the names of the context's lines that
// more than one room reads (the app writes them; the exports, the store and the history read them),
// and the values whose parts are read back, each written and read in one place.
#pragma once

#include <string>

#include "user/user.h"

namespace lab::runcontext {

inline constexpr const char* kDate = "date";
inline constexpr const char* kVersion = "version";
inline constexpr const char* kCompiler = "compiler";
inline constexpr const char* kFlags = "flags";
inline constexpr const char* kBuildType = "build type";
inline constexpr const char* kCpu = "cpu";
inline constexpr const char* kCores = "cores";
inline constexpr const char* kCaches = "caches";
inline constexpr const char* kMemory = "memory";
inline constexpr const char* kLibraries = "libraries";
inline constexpr const char* kLabel = "label";
inline constexpr const char* kCounts = "counts";
inline constexpr const char* kSimulatedCaches = "simulated caches";
inline constexpr const char* kBaseline = "baseline";

// "entry NAME", "origin of NAME", "baseline NAME": the lines named after an entry or a field of
// the baseline's build.
std::string entryName(const std::string& entry);
std::string originName(const std::string& entry);
std::string baselineName(const std::string& field);
// The entry an "entry NAME" line names ("" where `name` is no such line's).
std::string entryOfName(const std::string& name);

// An "entry NAME" line's value: "plugin PATH, SYMBOL (doubles)" or "(int64)", "program 'COMMAND'";
// and the entry read back from it (name, kind, and the path, symbol and number type, or the
// command). O(length).
std::string entryValue(const UserEntry& entry);
UserEntry entryOfValue(const std::string& name, const std::string& value);

// The "counts" line's value where Valgrind counts (its version, then how it counts), and where it
// is not installed; the version read back from it ("" from the second). O(length).
std::string countsValue(const std::string& valgrindVersion);
std::string countsNone();
std::string valgrindOfCounts(const std::string& value);

}  // namespace lab::runcontext
