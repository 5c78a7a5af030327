// The user's entries as algorithms of the lab: a plugin's function (plugin.cpp) or a program
// (program.cpp), checked like any other entry but in either direction and from any start, and
// handed to each cell's process as one word of its command line.

#include <fstream>

#include "lab.h"
#include "user/user.h"

namespace lab {

template <class P>
std::unique_ptr<Runner> preparePlugin(const UserEntry& entry, const std::vector<P>& points);
template <class P>
std::unique_ptr<Runner> prepareProgram(const UserEntry& entry, const std::vector<P>& points);

Algorithm userAlgorithm(const UserEntry& entry) {
    // Corners only, each once; any start, any direction.
    Algorithm a{entry.name, entry.kind == UserEntry::Plugin ? "plugin" : "program", Origin::User, {false, true, false},
                true, nullptr};
    a.anyDirection = true;
    a.entry = entryWord(entry);
    a.exact = false;  // not known: the judge and the checks tell
    if (entry.kind == UserEntry::Plugin) {
        a.prepare = [entry](const std::vector<Point>& points) { return preparePlugin(entry, points); };
        // A function on doubles gets real cells' doubles as they are; one on int64, none.
        if (entry.f64) a.prepareReal = [entry](const std::vector<RealPoint>& points) { return preparePlugin(entry, points); };
    } else {
        a.prepare = [entry](const std::vector<Point>& points) { return prepareProgram(entry, points); };
        // A program reads text: real cells' doubles go to it in shortest decimals, exactly.
        a.prepareReal = [entry](const std::vector<RealPoint>& points) { return prepareProgram(entry, points); };
    }
    return a;
}

// "plugin\tNAME\tSYMBOL\tf64|int64\tPATH" or "program\tNAME\tCOMMAND": tabs never stand in a name
// or a symbol, and the path or command comes last, whatever it holds.
std::string entryWord(const UserEntry& e) {
    if (e.kind == UserEntry::Plugin) {
        return "plugin\t" + e.name + '\t' + e.symbol + '\t' + (e.f64 ? "f64" : "int64") + '\t' + e.path;
    }
    return "program\t" + e.name + '\t' + e.command;
}

UserEntry entryFromWord(const std::string& word) {
    std::vector<std::string> parts;
    std::size_t at = 0;
    const std::size_t fields = word.rfind("plugin\t", 0) == 0 ? 5 : 3;
    while (parts.size() + 1 < fields) {
        const std::size_t tab = word.find('\t', at);
        if (tab == std::string::npos) throw std::invalid_argument("not an entry: " + word);
        parts.push_back(word.substr(at, tab - at));
        at = tab + 1;
    }
    parts.push_back(word.substr(at));
    UserEntry e;
    if (parts[0] == "plugin") {
        e = {UserEntry::Plugin, parts[1], parts[4], parts[2], parts[3] == "f64", ""};
    } else if (parts[0] == "program") {
        e = {UserEntry::Program, parts[1], "", "", false, parts[2]};
    } else {
        throw std::invalid_argument("not an entry: " + word);
    }
    return e;
}

}  // namespace lab
