// The user's programs, in any language: `sh -c 'CMD FILE'` on a point file of "x;y" lines, the
// hull's corners read from its standard output ("x;y", "x,y" or "x y" lines). HULL_LAB_ROUNDS=R in
// its environment asks it to compute the hull R times; one "time: SECONDS" line per round on its
// standard error makes it self-timed, and then those rounds are its figure. A program that prints
// none is timed as a whole process (wall time: start-up and reading included). A program refuses
// an input by printing "refused: REASON" on its standard error and exiting with a status other
// than 0; any other such exit, or a signal, is a crash.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <sstream>
#include <type_traits>

#include "lab.h"
#include "inputs/inputs.h"
#include "user/user.h"

namespace lab {

namespace {

// A point set's file in the run's folder, named by a 64-bit FNV-1a hash of its points, and written
// (to a temporary name, then renamed) only when no program of the run has written it yet.
// Real points are hashed by their bits and written in shortest decimals, which read back bit for
// bit: the program gets exactly the doubles.
template <class P>
std::string pointFileFor(const std::string& dir, const std::vector<P>& points) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const P& p : points) {
        for (auto coordinate : {p.x, p.y}) {
            std::uint64_t v = 0;
            std::memcpy(&v, &coordinate, sizeof v);
            for (int byte = 0; byte < 8; ++byte) hash = (hash ^ ((v >> (8 * byte)) & 0xff)) * 0x100000001b3ull;
        }
    }
    constexpr bool real = std::is_same_v<P, RealPoint>;
    char name[64];
    std::snprintf(name, sizeof name, real ? "/points-%zu-%016llx-f64.txt" : "/points-%zu-%016llx.txt", points.size(),
                  (unsigned long long)hash);
    const std::string path = dir + name;
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) return path;
    const std::string temporary = path + ".part" + std::to_string(getpid());
    if (!writePointFile(temporary, points) || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        throw std::runtime_error("cannot write the point file " + path + " for the program");
    }
    return path;
}

// The command's words, split at blanks (quotes are the shell's business: enough to find a name).
std::vector<std::string> words(const std::string& command) {
    std::vector<std::string> list;
    std::istringstream in(command);
    for (std::string word; in >> word;) list.push_back(word);
    return list;
}

// What one execution of the program gave.
struct Execution {
    std::string out, err;
    int status = 0;
    double seconds = 0;  // wall time, start to exit
};

// Runs the command on `file` with HULL_LAB_ROUNDS=rounds, under the `launcher`'s words where
// there are some; both outputs read as they come.
Execution execute(const std::string& command, const std::string& file, int rounds, const std::string& launcher) {
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
    }
    const std::string line = launcher.empty() ? command + " " + shellWord(file)
                                              : launcher + " /bin/sh -c " + shellWord(command + " " + shellWord(file));
    const std::string roundsText = std::to_string(rounds);
    Execution result;
    const double started = wallSeconds();
    const pid_t child = fork();
    if (child == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        const int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0) dup2(devNull, STDIN_FILENO);
        setenv("HULL_LAB_ROUNDS", roundsText.c_str(), 1);
        execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    if (child < 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        throw std::runtime_error(std::string("cannot start a process: ") + std::strerror(errno));
    }
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* texts[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                texts[i]->append(buffer, std::size_t(got));
            }
        }
    }
    while (waitpid(child, &result.status, 0) < 0 && errno == EINTR) {
    }
    result.seconds = wallSeconds() - started;
    return result;
}

// The last line of `text` that says something, for a message.
std::string lastLine(const std::string& text) {
    std::istringstream in(text);
    std::string last;
    for (std::string line; std::getline(in, line);) {
        if (line.find_first_not_of(" \t\r") != std::string::npos && line.rfind("time:", 0) != 0) last = line;
    }
    return last.size() > 200 ? last.substr(0, 200) + "..." : last;
}

// Throws Refused when the program said "refused: REASON" on its standard error and ended with a
// status other than 0, EntryCrashed when it ended so without saying that.
void requireSuccess(const Execution& e) {
    if (WIFEXITED(e.status) && WEXITSTATUS(e.status) == 0) return;
    std::istringstream lines(e.err);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("refused:", 0) == 0 && WIFEXITED(e.status)) {
            const std::size_t start = line.find_first_not_of(' ', 8);
            throw Refused(start == std::string::npos ? "refused (no reason given)" : line.substr(start));
        }
    }
    std::string what = WIFSIGNALED(e.status) ? std::string("killed by ") + sigabbrev_np(WTERMSIG(e.status))
                                             : "exited with status " + std::to_string(WEXITSTATUS(e.status));
    const std::string said = lastLine(e.err);
    Failure how;
    if (WIFSIGNALED(e.status)) how.signal = WTERMSIG(e.status);
    else how.exitCode = WEXITSTATUS(e.status);
    throw EntryCrashed("the program " + what + (said.empty() ? "" : ": " + said), how);
}

// The rounds' seconds, from the "time: SECONDS" lines of its standard error.
std::vector<double> roundTimes(const std::string& err) {
    std::vector<double> times;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("time:", 0) != 0) continue;
        char* end = nullptr;
        const double seconds = std::strtod(line.c_str() + 5, &end);
        if (end != line.c_str() + 5 && std::isfinite(seconds) && seconds >= 0) times.push_back(seconds);
    }
    return times;
}

// What the executions of one command have shown: whether it times its rounds, and how long a
// round takes. One for every set of a cell: once one set's execution has shown it, the others'
// first executions ask for as many rounds as a known program's.
struct Learned {
    bool selfTimed = false;
    double roundSeconds = 0;
};

Learned& learnedFor(const std::string& command) {
    static std::map<std::string, Learned> learned;
    return learned[command];
}

// A program on one point set.
class ProgramRunner : public Runner {
  public:
    template <class P>
    ProgramRunner(std::string command, const std::string& filesDir, const std::vector<P>& points)
        : command_(std::move(command)), file_(pointFileFor(filesDir, points)), learned_(learnedFor(command_)) {}

    void call() override { learn(execute(command_, file_, 1, launcher_), 1); }

    void runUnder(const std::string& launcher) override { launcher_ = launcher; }

    std::vector<reference::Pt> hull() override {
        std::vector<reference::Pt> result;
        for (const Point& p : output<Point>()) result.push_back({p.x, p.y});
        return result;
    }

    // On a real cell the program's lines are read as doubles (f64: its shortest decimals read back
    // to the same doubles).
    std::vector<RealPoint> realHull() override { return output<RealPoint>(); }

  private:
    // One execution's point lines, as whole numbers or doubles.
    template <class P>
    std::vector<P> output() {
        const Execution e = execute(command_, file_, 1, launcher_);
        learn(e, 1);
        std::vector<P> result;
        // Point lines only (blank and "#" lines aside): no header, nothing else.
        std::istringstream lines(e.out);
        long number = 0;
        for (std::string line; std::getline(lines, line);) {
            ++number;
            const std::size_t first = line.find_first_not_of(" \t\r");
            if (first == std::string::npos || line[first] == '#') continue;
            if (std::string("0123456789+-.").find(line[first]) == std::string::npos) {
                throw WrongResult("its output is not a list of points: line " + std::to_string(number) + ": \"" +
                                  line.substr(0, 60) + "\"");
            }
        }
        try {
            if constexpr (std::is_same_v<P, RealPoint>) result = parseRealPoints(e.out, Coordinates::F64);
            else result = parsePoints(e.out, 0);
        } catch (const InputError& bad) {
            if (std::string(bad.what()).rfind("no points", 0) == 0) return result;  // no corners
            throw WrongResult("its output is not a list of points: line " + std::to_string(bad.line) + ": " + bad.what());
        }
        return result;
    }

  public:
    // One execution: with rounds asked for where the program times its rounds, enough of them to
    // last about kExecutionSeconds; else one, timed whole.
    bool timedExecution(double& seconds, long& calls) override {
        constexpr double kExecutionSeconds = 0.1;
        const int rounds = learned_.selfTimed ? int(std::clamp(std::ceil(kExecutionSeconds / std::max(learned_.roundSeconds, 1e-9)), 1.0, 1000.0)) : 1;
        const Execution e = execute(command_, file_, rounds, launcher_);
        learn(e, rounds);
        if (learned_.selfTimed) {
            const std::vector<double> times = roundTimes(e.err);
            seconds = 0;
            for (double t : times) seconds += t;
            calls = long(times.size());
        } else {
            seconds = e.seconds;
            calls = 1;
        }
        return true;
    }

    std::string timing() const override {
        return learned_.selfTimed ? "self-timed: its own rounds, from its time: lines"
                          : "timed as a whole process: no time: lines, so start-up and reading included";
    }

  private:
    // Whether the execution timed its rounds (one "time:" line for each of them), and how long a
    // round took.
    void learn(const Execution& e, int rounds) {
        requireSuccess(e);
        const std::vector<double> times = roundTimes(e.err);
        learned_.selfTimed = int(times.size()) == rounds;
        double total = 0;
        for (double t : times) total += t;
        learned_.roundSeconds = learned_.selfTimed ? total / rounds : e.seconds;
    }

    std::string command_, file_;
    std::string launcher_;  // runUnder's words, or ""
    Learned& learned_;
};

}  // namespace


std::string programProblem(const std::string& command) {
    std::istringstream words(command);
    std::string word;
    while (words >> word && word.find('=') != std::string::npos && word.find('=') > 0 &&
           word.find_first_of("'\"$`\\") == std::string::npos) {
    }  // past the NAME=value words before the program
    if (word.empty() || word.find_first_of("'\"$`\\(){}<>|;&*?[]~") != std::string::npos) return "";  // the shell's to tell
    if (word.find('/') != std::string::npos) {
        struct stat info {};
        if (stat(word.c_str(), &info) != 0) return word + ": " + std::strerror(errno);
        if (!S_ISREG(info.st_mode) || access(word.c_str(), X_OK) != 0) return word + ": not a program this user can run";
        return "";
    }
    // A builtin, a function or a program on PATH, as the shell that runs the command finds it.
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 1), dup2(null, 2);
        execl("/bin/sh", "sh", "-c", "command -v -- \"$0\"", word.c_str(), static_cast<char*>(nullptr));
        _exit(126);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return "";  // not known: the cells will tell
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : word + ": not found";
}

UserEntry programEntry(const std::string& command, const std::vector<std::string>& taken) {
    // The program's or its script's name: the first word that is not an interpreter, an option or
    // a variable, without its folder and its extension.
    static const char* interpreters[] = {"python", "python3", "python2", "pypy", "pypy3", "node", "ruby", "perl",
                                         "sh", "bash", "Rscript", "julia", "java", "env", "exec", "time", "nice"};
    std::string name;
    for (const std::string& word : words(command)) {
        std::string base = word.substr(word.find_last_of('/') + 1);
        if (word[0] == '-' || word.find('=') != std::string::npos) continue;
        if (std::find(std::begin(interpreters), std::end(interpreters), base) != std::end(interpreters)) continue;
        name = base.substr(0, base.rfind('.') == 0 || base.rfind('.') == std::string::npos ? base.size() : base.rfind('.'));
        break;
    }
    name = fileNamePart(name.empty() ? "program" : name);
    std::string unique = name;
    for (int k = 2; std::find(taken.begin(), taken.end(), unique) != taken.end(); ++k) unique = name + "-" + std::to_string(k);
    return {UserEntry::Program, unique, "", "", false, command};
}

template <class P>
std::unique_ptr<Runner> prepareProgram(const UserEntry& entry, const std::vector<P>& points) {
    return std::make_unique<ProgramRunner>(entry.command, entry.filesDir, points);
}

template std::unique_ptr<Runner> prepareProgram(const UserEntry&, const std::vector<Point>&);
template std::unique_ptr<Runner> prepareProgram(const UserEntry&, const std::vector<RealPoint>&);

}  // namespace lab
