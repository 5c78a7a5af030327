// What a run is asked to do (run/settings.h): the engine's settings, as the command line gives
// them (app/options.cpp reads them).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "inputs/inputs.h"
#include "user/user.h"

namespace lab {

struct Options {
    std::vector<std::string> shapes;
    std::vector<std::int64_t> sizes = {1000, 10000, 100000, 1000000};
    std::vector<std::string> algorithms;
    std::vector<std::string> inputs;  // point files, each a row group of its own
    std::int64_t scale = 0;           // --scale K for decimal coordinates; 0: none
    bool coordinatesGiven = false;    // --coordinates: the number type of --input's points, else each file's own
    Coordinates coordinates = Coordinates::Int;
    std::vector<Coordinates> shapeCoordinates = {Coordinates::Int};  // the shapes' tables are made in each
    int runs = 3;
    double budget = 10;
    std::uint64_t seed = 1;
    int sets = 0;               // point sets per cell; 0: defaultSets(n)
    bool samePoints = false;    // one set; a point file in its own order
    int repeat = 0;             // rounds of the repeat report; 0: a plain run
    std::string relative;       // tables in multiples of this entry's figure in the same round, or ""
    bool heapDefaults = false;  // glibc's heap settings in every cell
    std::string tsv;
    std::string json, bmf, markdown;  // the exports: Google Benchmark's JSON, Bencher's metric format, markdown
    std::string pointsDir;      // --write-points: each row's first point set
    std::string hullsDir;       // --write-hulls: each row's exact hull, each WRONG cell's answer
    double minSeconds = 0.2;
    bool help = false, version = false, list = false;
    bool listTsv = false;  // --list --tsv: the catalogue of entries, to `tsv` or standard output
    std::vector<UserEntry> entries;  // the user's plugins' functions and programs, in the order given
    Columns columns;                 // --columns X,Y of the point files
    std::string failuresDir = "hull-lab-failures";  // where a user entry's failures are written
    double hunt = 0;       // --hunt: seconds to hunt each entry for failing inputs, instead of the cells; 0: no hunt
    bool noJudge = false;  // the user's entries go to the cells without the judge's hard inputs first
    bool strict = false;  // every WRONG, refused or crashed cell makes the status 1, not only the user's entries'

    double precision = 0;     // more rounds until a cell's interval is within this of its median; 0: --runs fixes them
    int maxRuns = 8;          // with a precision (or a baseline, 20 by default): the most runs of a cell
    bool moreRounds = false;  // with a baseline and no --runs: more rounds for the cells not yet decided
    std::string baseline;     // another hull-lab whose figures every cell's are compared with, or ""
    std::map<std::string, std::string> baselineEntries;  // a user entry's word for the baseline (--baseline-plugin)
    double minChange = 0.05;  // the least change a verdict calls slower or faster
    double countMinChange = 0.01;  // the same for the counts' verdicts: --min-change where given
    bool measureTimes = true;      // --measure: time the cells (the rounds)
    bool measureCounts = false;    // and/or count them under Valgrind
    double failSlower = 0;    // exit 1 when a cell is slower than the baseline by more than this; 0: never
    unsigned threads = 0;     // --threads: the -2t entries' threads; 0: the machine's cores, at most 2
    bool hostCaches = false;  // --caches host: Callgrind simulates this machine's caches, not the fixed model
    bool record = false;      // --history: the run is kept in a store
    std::string history;      // that store ("": the default one)
    std::string label;        // --label: a word the run is kept and found by
};

}  // namespace lab
