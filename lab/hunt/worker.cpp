// The hunt's worker: a process of its own that tries one input after another on one entry, saying
// which before each, so that when the entry crashes or hangs the parent knows the input that did it.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <type_traits>

#include "hunt/hunt.h"
#include "run/cell.h"
#include "run/judge.h"
#include "run/protocol.h"
#include "user/user.h"

namespace lab {

template <class P>
bool writePointSets(const std::string& path, const std::vector<std::vector<P>>& sets) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    for (const std::vector<P>& points : sets) {
        const std::uint64_t n = points.size();
        file.write(reinterpret_cast<const char*>(&n), sizeof n);
        file.write(reinterpret_cast<const char*>(points.data()), std::streamsize(n * sizeof(P)));
    }
    return bool(file.flush());
}

template bool writePointSets(const std::string&, const std::vector<std::vector<Point>>&);
template bool writePointSets(const std::string&, const std::vector<std::vector<RealPoint>>&);

namespace {

// The entry a worker is told of: a user's entry by its word (which holds tabs), else a name.
Algorithm workerEntry(const std::string& word, const std::string& filesDir) {
    if (word.find('\t') == std::string::npos) {
        const Algorithm* algorithm = findAlgorithm(word);
        if (algorithm == nullptr) throw std::invalid_argument("no entry " + word);
        return *algorithm;
    }
    UserEntry entry = entryFromWord(word);
    entry.filesDir = filesDir;
    return userAlgorithm(entry);
}

// Tries `points` as input number k: true when the entry was right, or refused points whose hull
// has fewer corners than it is known to refuse (Qhull's lines, OpenCV's empty set), or failed in
// another way than `kind` where one is given. Prints "try K", then the verdict's lines where it
// failed. An input that takes more than `deadline` seconds ends the process by SIGALRM, a hang.
// Throws EntryCrashed.
template <class P>
bool tryInput(const Algorithm& algorithm, long long k, const std::vector<P>& points, unsigned deadline,
              const std::string& kind = "") {
    std::fputs(reportLine(ReportKey::Try, std::to_string(k)).c_str(), stdout);
    std::fflush(stdout);
    alarm(deadline);
    const std::string report = verdictReport(algorithm, points, true);
    alarm(0);
    const ProcessReport verdict = parseReport(report);
    if (verdict.ok) return true;
    if (!verdict.refused.empty() && algorithm.refusesBelow > 0) {
        std::size_t corners = 0;
        if constexpr (std::is_same_v<P, RealPoint>) corners = reference::corners(points).size();
        else corners = cornerCount(points);
        if (corners < algorithm.refusesBelow) return true;
    }
    const Status status = verdict.refused.empty() ? Status::Wrong : Status::Refused;
    if (!kind.empty() && failureKind(status, verdict.failure) != kind) return true;
    std::fputs(report.c_str(), stdout);
    return false;
}

// Tries the point sets of writePointSets' file `source[1]` in turn, until the first that fails
// (of the kind `source[2]`, where given).
template <class P>
void trySets(const Algorithm& algorithm, const std::vector<std::string>& source, unsigned deadline) {
    const std::string kind = source.size() == 3 ? source[2] : "";
    std::ifstream file(source[1], std::ios::binary);
    std::uint64_t n = 0;
    for (long long k = 0; file.read(reinterpret_cast<char*>(&n), sizeof n); ++k) {
        std::vector<P> points(n);
        if (!file.read(reinterpret_cast<char*>(points.data()), std::streamsize(n * sizeof(P)))) {
            throw std::invalid_argument("a point set cut short in " + source[1]);
        }
        if (!tryInput(algorithm, k, points, deadline, kind)) break;
    }
}

}  // namespace

int huntWorkerMain(int argc, char** argv) {
    // hull-lab --hunt-worker ENTRY FILES DEADLINE [real-]made SEED FIRST SECONDS MOST [TYPE] | [real-]sets PATH [KIND]
    const std::vector<std::string> words(argv + 1, argv + argc);
    try {
        if (words.size() < 5) {
            throw std::invalid_argument("--hunt-worker ENTRY FILES DEADLINE [real-]made SEED FIRST SECONDS MOST [TYPE] | [real-]sets PATH [KIND]");
        }
        const Algorithm algorithm = workerEntry(words[1], words[2]);
        const unsigned deadline = unsigned(std::max(1, std::atoi(words[3].c_str())));
        const std::vector<std::string> source(words.begin() + 4, words.end());
        if (source[0] == "made" && source.size() == 5) {
            const std::uint64_t seed = std::strtoull(source[1].c_str(), nullptr, 10);
            const double end = wallSeconds() + std::atof(source[3].c_str());
            const std::size_t most = std::strtoull(source[4].c_str(), nullptr, 10);
            for (long long k = std::atoll(source[2].c_str()); wallSeconds() < end; ++k) {
                const HuntInput input = huntInput(seed, std::uint64_t(k));
                if (input.points.size() <= most && !tryInput(algorithm, k, input.points, deadline)) break;
            }
        } else if (source[0] == "real-made" && source.size() == 6) {
            const std::uint64_t seed = std::strtoull(source[1].c_str(), nullptr, 10);
            const double end = wallSeconds() + std::atof(source[3].c_str());
            const std::size_t most = std::strtoull(source[4].c_str(), nullptr, 10);
            Coordinates type = Coordinates::F64;
            if (!coordinatesNamed(source[5], type) || type == Coordinates::Int) throw std::invalid_argument("not a real type: " + source[5]);
            for (long long k = std::atoll(source[2].c_str()); wallSeconds() < end; ++k) {
                const RealHuntInput input = realHuntInput(seed, std::uint64_t(k), type);
                if (input.points.size() <= most && !tryInput(algorithm, k, input.points, deadline)) break;
            }
        } else if (source[0] == "sets" && (source.size() == 2 || source.size() == 3)) {
            trySets<Point>(algorithm, source, deadline);
        } else if (source[0] == "real-sets" && (source.size() == 2 || source.size() == 3)) {
            trySets<RealPoint>(algorithm, source, deadline);
        } else {
            throw std::invalid_argument("not a source of inputs: " + source[0]);
        }
        return std::fflush(stdout) == 0 ? 0 : kFailed;
    } catch (const std::exception& e) {
        return reportEnd(e);
    }
}

}  // namespace lab
