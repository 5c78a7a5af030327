// The user's own entries (user/): plugins and programs, as entries of the lab.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "lab.h"

namespace lab {

// ---- The user's own entries (user/): plugins and programs ----------------------------------------

// A hull the user brings: a function of a plugin (a shared library that include/hull_lab_plugin.h
// describes) or a program run through the shell on a point file.
struct UserEntry {
    enum Kind { Plugin, Program } kind = Plugin;
    std::string name;     // "graham", "graham-f64", "hull"
    std::string path;     // the plugin's library, as given
    std::string symbol;   // the plugin's function
    bool f64 = false;     // it takes doubles
    std::string command;  // the program's command
    // Where a program finds the point files it is run on: the run's folder, one file per point set,
    // named by a hash of its points and shared by every program, round and cell that takes that
    // set. Not part of the entry's word: each process is told it with its plan.
    std::string filesDir = "/tmp";
};

// An entry that cannot be taken (a library that cannot be loaded, a symbol it lacks): one line.
struct BadEntry : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The entries of a --plugin item "PATH" (each of hull_lab_hull and hull_lab_hull_f64 that the
// library exports) or "PATH:SYMBOL". Loads the library to see. Throws BadEntry. `taken`: names in
// use, which an entry's name must not repeat.
std::vector<UserEntry> pluginEntries(const std::string& item, const std::vector<std::string>& taken);

// The entry of a --program command, named after the program or its script ("python3 hull.py":
// hull), with -2, -3 ... where that name is taken.
UserEntry programEntry(const std::string& command, const std::vector<std::string>& taken);

// Why the program of a --program command cannot start, or "": its first word (after NAME=value
// words) is a path that is not a file this user can run, or a name the shell does not find. A word
// the shell would expand is not judged here. O(one shell process).
std::string programProblem(const std::string& command);

// The entry as an algorithm of the lab: its hull is checked in whichever direction it runs and
// from any start; its runner loads the library, or runs the program, in the process it runs in.
Algorithm userAlgorithm(const UserEntry& entry);

// An entry as one word of a process's command line, and back (std::invalid_argument on a word
// that is not one). O(length).
std::string entryWord(const UserEntry& entry);
UserEntry entryFromWord(const std::string& word);

}  // namespace lab
