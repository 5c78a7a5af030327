// The run's context fields whose values are read back: each value's words written and read here.

#include "results/fields.h"

namespace lab::runcontext {

namespace {

constexpr const char* kPlugin = "plugin ";
constexpr const char* kProgram = "program '";
constexpr const char* kCountsBy = "Callgrind (";

}  // namespace

std::string entryName(const std::string& entry) { return "entry " + entry; }
std::string originName(const std::string& entry) { return "origin of " + entry; }
std::string baselineName(const std::string& field) { return std::string(kBaseline) + " " + field; }
std::string entryOfName(const std::string& name) { return name.rfind("entry ", 0) == 0 ? name.substr(6) : ""; }

std::string entryValue(const UserEntry& entry) {
    if (entry.kind == UserEntry::Program) return kProgram + entry.command + "'";
    return kPlugin + entry.path + ", " + entry.symbol + (entry.f64 ? " (doubles)" : " (int64)");
}

UserEntry entryOfValue(const std::string& name, const std::string& value) {
    UserEntry entry;
    entry.name = name;
    if (value.rfind(kPlugin, 0) == 0) {
        const std::string rest = value.substr(std::string(kPlugin).size());
        const std::size_t comma = rest.rfind(", ");
        entry.path = rest.substr(0, comma);
        if (comma != std::string::npos) {
            const std::string symbol = rest.substr(comma + 2);
            const std::size_t space = symbol.find(' ');
            entry.symbol = symbol.substr(0, space);
            entry.f64 = symbol.find("(doubles)") != std::string::npos;
        }
        return entry;
    }
    entry.kind = UserEntry::Program;
    entry.command = value.rfind(kProgram, 0) == 0 ? value.substr(std::string(kProgram).size()) : value;
    if (!entry.command.empty() && entry.command.back() == '\'') entry.command.pop_back();
    entry.path = entry.command;
    return entry;
}

std::string countsValue(const std::string& valgrindVersion) {
    return kCountsBy + valgrindVersion +
           ") around each call (copy, call, release), one call on each of the cell's sets after an uncounted one, in a "
           "process of its own with fixed addresses; a program's processes counted whole, start-up included";
}

std::string countsNone() { return "none: Valgrind is not installed"; }

std::string valgrindOfCounts(const std::string& value) {
    if (value.rfind(kCountsBy, 0) != 0) return "";
    const std::size_t open = std::string(kCountsBy).size() - 1, close = value.find(')', open);
    return close == std::string::npos ? value.substr(open + 1) : value.substr(open + 1, close - open - 1);
}

}  // namespace lab::runcontext
