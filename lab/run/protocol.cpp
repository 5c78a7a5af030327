// The cell protocol: a plan's words, both ways from one table, and the report's lines.

#include "run/protocol.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>

namespace lab {

namespace {

// `text` read whole as a number, or ProtocolError naming `what`.
double number(const std::string& text, const std::string& what) {
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value)) {
        throw ProtocolError(what + ": \"" + text + "\" is not a number");
    }
    return value;
}

long long whole(const std::string& text, const std::string& what) {
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0) throw ProtocolError(what + ": \"" + text + "\" is not a whole number");
    return value;
}

std::string decimal(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

// One field of the plan: its word ("no-check" for a flag, "scale" for scale=K, the position's name
// for a fixed word), how it is written ("" leaves an optional field out) and read.
struct Field {
    const char* word;
    bool fixed;  // one of the first seven words, in this order
    bool flag;   // a word alone, present when true
    std::function<std::string(const CellPlan&)> write;
    std::function<void(CellPlan&, const std::string&)> read;
};

const std::vector<Field>& fields() {
    using P = CellPlan;
    using S = const std::string&;
    auto on = [](bool value) { return value ? std::string("1") : std::string(); };
    static const std::vector<Field> table = {
        {"shape", true, false, [](const P& p) { return p.shape; }, [](P& p, S v) { p.shape = v; }},
        {"n", true, false, [](const P& p) { return std::to_string(p.n); }, [](P& p, S v) { p.n = whole(v, "n"); }},
        {"algorithm", true, false, [](const P& p) { return p.algorithm; }, [](P& p, S v) { p.algorithm = v; }},
        {"seed", true, false, [](const P& p) { return std::to_string(p.seed); },
         [](P& p, S v) { p.seed = std::uint64_t(whole(v, "seed")); }},
        {"runs", true, false, [](const P& p) { return std::to_string(p.runs); }, [](P& p, S v) { p.runs = int(whole(v, "runs")); }},
        {"min-seconds", true, false, [](const P& p) { return decimal(p.minSeconds); },
         [](P& p, S v) { p.minSeconds = number(v, "min-seconds"); }},
        {"sets", true, false, [](const P& p) { return std::to_string(p.sets); },
         [](P& p, S v) { p.sets = std::max(1, int(whole(v, "sets"))); }},
        {"heap-defaults", false, true, [on](const P& p) { return on(p.heapDefaults); }, [](P& p, S) { p.heapDefaults = true; }},
        {"no-check", false, true, [on](const P& p) { return on(!p.check); }, [](P& p, S) { p.check = false; }},
        {"warm-up", false, true, [on](const P& p) { return on(p.warmUp); }, [](P& p, S) { p.warmUp = true; }},
        {"keep-order", false, true, [on](const P& p) { return on(p.keepOrder); }, [](P& p, S) { p.keepOrder = true; }},
        {"scale", false, false, [](const P& p) { return p.scale != 0 ? std::to_string(p.scale) : ""; },
         [](P& p, S v) { p.scale = whole(v, "scale"); }},
        {"columns", false, false, [](const P& p) { return p.columns.given() ? p.columns.x + "," + p.columns.y : ""; },
         [](P& p, S v) {
             const std::size_t comma = v.find(',');
             if (comma == std::string::npos) throw ProtocolError("columns: \"" + v + "\" is not X,Y");
             p.columns = {v.substr(0, comma), v.substr(comma + 1)};
         }},
        {"entry", false, false, [](const P& p) { return p.entry; }, [](P& p, S v) { p.entry = v; }},
        {"files", false, false, [](const P& p) { return p.filesDir; }, [](P& p, S v) { p.filesDir = v; }},
        {"input", false, false, [](const P& p) { return p.input; }, [](P& p, S v) { p.input = v; }},
        {"sets-file", false, false, [](const P& p) { return p.setsFile; }, [](P& p, S v) { p.setsFile = v; }},
        {"heap", false, false, [](const P& p) { return p.heapBytes > 0 ? std::to_string(std::int64_t(p.heapBytes)) : ""; },
         [](P& p, S v) { p.heapBytes = number(v, "heap"); }},
        {"count", false, true, [on](const P& p) { return on(p.count); }, [](P& p, S) { p.count = true; }},
        {"count-launcher", false, false, [](const P& p) { return p.countLauncher; }, [](P& p, S v) { p.countLauncher = v; }},
        {"threads", false, false, [](const P& p) { return p.threads > 0 ? std::to_string(p.threads) : ""; },
         [](P& p, S v) { p.threads = unsigned(whole(v, "threads")); }},
        {"coordinates", false, false,
         [](const P& p) { return p.coordinates != Coordinates::Int ? coordinatesWord(p.coordinates) : ""; },
         [](P& p, S v) {
             if (!coordinatesNamed(v, p.coordinates)) throw ProtocolError("coordinates: \"" + v + "\" is no number type");
         }},
        {"answer-file", false, false, [](const P& p) { return p.answerFile; }, [](P& p, S v) { p.answerFile = v; }},
    };
    return table;
}

// Each report key's word, in ReportKey's order.
const char* const kReportWords[] = {"set",  "h",        "sets-checked", "call-seconds", "failed-set",
                                    "wrong", "refused", "start-bytes",  "counted-calls", "time",
                                    "crashed", "overran", "error",      "ok",           "timing",
                                    "try",     "answer",    "failure"};

}  // namespace

std::vector<std::string> planWords(const CellPlan& plan) {
    std::vector<std::string> words = {"hull-lab", "--cell"};
    for (const Field& f : fields()) {
        const std::string value = f.write(plan);
        if (f.fixed) words.push_back(value);
        else if (!value.empty()) words.push_back(f.flag ? std::string(f.word) : std::string(f.word) + "=" + value);
    }
    return words;
}

CellPlan planOfWords(const std::vector<std::string>& words) {
    CellPlan plan;
    std::size_t at = 0;
    for (const Field& f : fields()) {
        if (!f.fixed) continue;
        if (at >= words.size()) throw ProtocolError(std::string("the cell's words end before its ") + f.word);
        f.read(plan, words[at++]);
    }
    for (; at < words.size(); ++at) {
        const std::string& word = words[at];
        const std::size_t equals = word.find('=');
        const std::string key = word.substr(0, equals);
        const Field* field = nullptr;
        for (const Field& f : fields()) {
            if (!f.fixed && key == f.word && f.flag == (equals == std::string::npos)) field = &f;
        }
        if (field == nullptr) throw ProtocolError("not a word of a cell's plan: \"" + word + "\"");
        field->read(plan, field->flag ? "" : word.substr(equals + 1));
    }
    return plan;
}

std::string reportLine(ReportKey key, const std::string& value) {
    std::string line = kReportWords[int(key)];
    if (!value.empty()) line += ' ' + value;
    for (char& c : line) c = c == '\n' || c == '\r' ? ' ' : c;
    return line + '\n';
}

ProcessReport parseReport(const std::string& text) {
    ProcessReport r;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t space = line.find(' ');
        const std::string word = line.substr(0, space), value = space == std::string::npos ? "" : line.substr(space + 1);
        int key = -1;
        for (int k = 0; k < int(std::size(kReportWords)); ++k) key = word == kReportWords[k] ? k : key;
        const std::string what = "the report's line \"" + line + "\"";
        switch (ReportKey(key)) {
            case ReportKey::Set: r.lastSet = int(whole(value, what)); break;
            case ReportKey::H: r.h = whole(value, what); break;
            case ReportKey::SetsChecked: r.setsChecked = int(whole(value, what)); break;
            case ReportKey::CallSeconds: r.callSeconds = number(value, what); break;
            case ReportKey::FailedSet: r.failedSet = int(whole(value, what)); break;
            case ReportKey::Wrong: r.wrong = value; break;
            case ReportKey::Refused: r.refused = value; break;
            case ReportKey::StartBytes: r.startBytes = number(value, what); break;
            case ReportKey::CountedCalls: r.countedCalls = long(whole(value, what)); break;
            case ReportKey::Time: {
                r.timed = true;
                std::istringstream values(value);
                for (std::string figure; values >> figure;) r.times.push_back(number(figure, what));
                break;
            }
            case ReportKey::Crashed: r.crashed = value; break;
            case ReportKey::Overran: r.overran = value; break;
            case ReportKey::Error: r.error = value; break;
            case ReportKey::Ok: r.ok = true; break;
            case ReportKey::Timing: r.timing = value; break;
            case ReportKey::Try: r.lastTry = whole(value, what); break;
            case ReportKey::Failure: r.failure = failureOfWords(value); break;
            case ReportKey::Answer: {
                r.answered = true;
                r.answer.clear();
                r.answerText = value;
                std::istringstream points(value);
                for (std::string point; points >> point;) {
                    const std::size_t semicolon = point.find(';');
                    if (semicolon == std::string::npos) throw ProtocolError("not a point in " + what + ": " + point);
                    try {
                        r.answer.push_back({whole(point.substr(0, semicolon), what), whole(point.substr(semicolon + 1), what)});
                    } catch (const ProtocolError&) {  // a real point: the caller reads answerText
                        r.answer.clear();
                        break;
                    }
                }
                break;
            }
            default: break;  // a line of no known key: the process's own output, not the lab's
        }
    }
    return r;
}

std::string failureWords(const Failure& failure) {
    std::string words;
    auto add = [&](const std::string& word) { words += (words.empty() ? "" : " ") + word; };
    if (failure.fault != reference::Fault::None) add(std::string("fault=") + reference::faultWords(failure.fault).word);
    if (failure.signal != 0) add("signal=" + std::to_string(failure.signal));
    if (failure.exitCode != 0) add("exit=" + std::to_string(failure.exitCode));
    if (failure.overrun != Overrun::None) add(failure.overrun == Overrun::Wrote ? "overrun=wrote" : "overrun=read");
    if (!failure.point.empty()) add("point=" + failure.point);
    return words;
}

Failure failureOfWords(const std::string& words) {
    Failure failure;
    std::istringstream list(words);
    for (std::string word; list >> word;) {
        const std::size_t equals = word.find('=');
        const std::string key = word.substr(0, equals), value = equals == std::string::npos ? "" : word.substr(equals + 1);
        const std::string what = "the failure's word \"" + word + "\"";
        if (key == "fault" && reference::faultNamed(value, failure.fault)) continue;
        if (key == "signal") failure.signal = int(whole(value, what));
        else if (key == "exit") failure.exitCode = int(whole(value, what));
        else if (key == "overrun" && (value == "wrote" || value == "read")) failure.overrun = value == "wrote" ? Overrun::Wrote : Overrun::Read;
        else if (key == "point" && value.find(';') != std::string::npos) failure.point = value;
        else throw ProtocolError("no such failure: " + what);
    }
    return failure;
}

std::string endReport(const std::exception& e) {
    const EntryCrashed* crashed = dynamic_cast<const EntryCrashed*>(&e);
    if (crashed == nullptr) return reportLine(ReportKey::Error, e.what());
    const std::string how = failureWords(crashed->failure);
    return reportLine(ReportKey::Crashed, e.what()) + (how.empty() ? "" : reportLine(ReportKey::Failure, how));
}

int reportEnd(const std::exception& e) {
    std::fputs(endReport(e).c_str(), stdout);
    std::fflush(stdout);
    return dynamic_cast<const EntryCrashed*>(&e) != nullptr ? kEntryCrashed : kFailed;
}

}  // namespace lab
