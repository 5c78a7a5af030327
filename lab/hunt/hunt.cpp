// The hunt: inputs of every family tried on one entry for a given time by worker processes (a
// crash or a hang ends the worker, not the hunt, and names the input), each kind of failure kept
// once with its first input, then shrunk by further workers to a smallest input failing the same
// way, written with its picture beside it.

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <type_traits>

#include "hunt/hunt.h"
#include "run/cell.h"
#include "run/protocol.h"
#include "run/runner.h"

namespace lab {

namespace {

// What a worker's process came to: the last input it tried and how that ended.
struct Tried {
    long long last = -1;  // the last input said with "try", -1 for none
    Status status = Status::Ok;
    std::string note;
    Failure failure;  // how, as values
    bool answered = false;
    std::vector<reference::Pt> answer;
    std::string answerText;  // the answer as written: a real hull's shortest decimals
    std::string error;  // the lab's own fault: the hunt cannot go on
};

Tried triedOf(const ProcessEnd& end, double deadline) {
    Tried t;
    ProcessReport report;
    try {
        report = parseReport(end.report);
    } catch (const ProtocolError& bad) {
        t.error = bad.what();
        return t;
    }
    t.last = report.lastTry;
    if (!report.error.empty()) return t.error = report.error, t;
    if (WIFSIGNALED(end.status) && WTERMSIG(end.status) == SIGALRM) {  // the worker's own deadline for one input
        t.status = Status::Stopped;
        t.note = "no answer after " + formatted("%.0f", deadline) + " s";
    } else {
        t.status = endStatus(end, t.note, &t.failure);
    }
    if (!report.wrong.empty()) t.status = Status::Wrong, t.note = report.wrong, t.failure = report.failure;
    if (!report.refused.empty()) t.status = Status::Refused, t.note = report.refused;
    t.answered = report.answered;
    t.answer = report.answer;
    t.answerText = report.answerText;
    if (t.status != Status::Ok && t.last < 0) t.error = "the worker ended before any input: " + t.note;
    return t;
}

// A worker on `entry` with its source of inputs (`made ...` or `sets PATH`), at most `seconds`.
Tried runWorker(const std::string& word, const HuntSettings& s, std::vector<std::string> source, double seconds,
                const volatile int* interrupted) {
    std::vector<std::string> words = {"hull-lab", "--hunt-worker", word, s.filesDir, formatted("%.0f", s.deadline)};
    words.insert(words.end(), source.begin(), source.end());
    return triedOf(runLabProcess(words, seconds, interrupted), s.deadline);
}

std::string count(std::uint64_t n) {  // 48,213
    std::string digits = std::to_string(n);
    for (int at = int(digits.size()) - 3; at > 0; at -= 3) digits.insert(std::size_t(at), ",");
    return digits;
}

std::string slug(const std::string& kind) {  // "WRONG, a point outside": "wrong-a-point-outside"
    std::string text;
    for (char c : kind) {
        if (std::isalnum(static_cast<unsigned char>(c))) text += char(std::tolower(static_cast<unsigned char>(c)));
        else if (!text.empty() && text.back() != '-') text += '-';
    }
    while (!text.empty() && text.back() == '-') text.pop_back();
    return text;
}

std::string pointsText(const std::vector<reference::Pt>& points) {
    std::string text;
    for (const reference::Pt& p : points) text += (text.empty() ? "" : " ") + reference::show(p);
    return text.empty() ? "(none)" : text;
}
std::string pointsText(const std::vector<RealPoint>& points) {
    std::string text;
    for (const RealPoint& p : points) text += (text.empty() ? "" : " ") + show(p);
    return text.empty() ? "(none)" : text;
}

// The worker's word for a file of candidates of P.
template <class P>
const char* setsWord() {
    return std::is_same_v<P, RealPoint> ? "real-sets" : "sets";
}

// The points of an answer written in shortest decimals ("x;y" space-separated); those it cannot read
// are left out.
std::vector<RealPoint> realPointsOf(const std::string& text) {
    std::vector<RealPoint> points;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        const std::size_t semicolon = word.find(';');
        RealPoint p{};
        if (semicolon != std::string::npos && readReal(word.substr(0, semicolon), Coordinates::F64, p.x).empty() &&
            readReal(word.substr(semicolon + 1), Coordinates::F64, p.y).empty()) {
            points.push_back(p);
        }
    }
    return points;
}

// Shrinks the finding's input (`found`) by workers over batches of candidates, at most 64 to a
// process, until the settings' bound; fills its smallest input, note, hull and answer.
template <class P>
void shrinkFinding(const std::string& word, const HuntSettings& s, const std::vector<P>& found, const Tried& first,
                   HuntFinding& f, const volatile int* interrupted) {
    const double start = wallSeconds(), end = start + s.shrinkSeconds;
    const std::string path = s.filesDir + "/hunt-candidates.bin";
    Tried current = first;
    FirstFailingOf<P> test = [&](const std::vector<std::vector<P>>& candidates) -> long {
        for (std::size_t from = 0; from < candidates.size() && wallSeconds() < end && !*interrupted;) {
            const std::size_t to = std::min(candidates.size(), from + 64);
            const std::vector<std::vector<P>> batch(candidates.begin() + long(from), candidates.begin() + long(to));
            if (!writePointSets(path, batch)) return -1;
            const Tried t = runWorker(word, s, {setsWord<P>(), path, f.kind}, double(batch.size()) * s.deadline + 5, interrupted);
            if (!t.error.empty() || t.last < 0) return -1;
            if (t.status != Status::Ok && failureKind(t.status, t.failure) == f.kind) {
                current = t;
                return long(from) + long(t.last);
            }
            from += std::size_t(t.last) + (t.status == Status::Ok ? batch.size() - std::size_t(t.last) : 1);
        }
        return -1;
    };
    const Coordinates type = s.file != nullptr ? s.file->coordinates : s.coordinates;
    ShrunkOf<P> shrunk = shrink(found, test, s.shrinkSeconds, type == Coordinates::Int ? Coordinates::F64 : type);
    f.shrinkSeconds = wallSeconds() - start;
    f.smallestNote = current.note;
    f.smallestPoint = current.failure.point;
    f.answered = current.answered;
    if constexpr (std::is_same_v<P, RealPoint>) {
        f.real = true;
        f.realExact = reference::corners(shrunk.points);
        f.realAnswer = realPointsOf(current.answerText);
        f.realShrunk = std::move(shrunk);
    } else {
        f.answer = current.answer;
        f.exact = reference::corners(referencePoints(shrunk.points));
        f.shrunk = std::move(shrunk);
    }
}

// The picture of a failing input of doubles (SVG): the points, the exact hull and the entry's hull,
// drawn from halved coordinates, which cannot overflow where the input's span does. O(points).
std::string realPicture(const std::vector<RealPoint>& points, const std::vector<RealPoint>& exact,
                        const std::vector<RealPoint>& answer) {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (!points.empty()) x0 = x1 = points[0].x / 2, y0 = y1 = points[0].y / 2;
    for (const RealPoint& p : points) {
        x0 = std::min(x0, p.x / 2), x1 = std::max(x1, p.x / 2), y0 = std::min(y0, p.y / 2), y1 = std::max(y1, p.y / 2);
    }
    const double span = std::max({x1 - x0, y1 - y0, 1e-300});
    auto at = [&](const RealPoint& p) {
        return formatted("%.2f", 20 + 440 * (p.x / 2 - x0) / span) + "," + formatted("%.2f", 460 - 440 * (p.y / 2 - y0) / span);
    };
    auto polygon = [&](const std::vector<RealPoint>& ring, const char* style) {
        std::string text = "<polygon points=\"";
        for (const RealPoint& p : ring) text += at(p) + " ";
        return text + "\" " + style + "/>\n";
    };
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"480\" height=\"520\" viewBox=\"0 0 480 520\">\n"
                      "<rect width=\"480\" height=\"520\" fill=\"white\"/>\n";
    svg += polygon(exact, "fill=\"#2a9d8f\" fill-opacity=\"0.15\" stroke=\"#2a9d8f\" stroke-width=\"3\"");
    if (!answer.empty()) svg += polygon(answer, "fill=\"none\" stroke=\"#e63946\" stroke-width=\"2\" stroke-dasharray=\"6 4\"");
    for (const RealPoint& p : points) {
        const std::string xy = at(p);
        const std::size_t comma = xy.find(',');
        svg += "<circle cx=\"" + xy.substr(0, comma) + "\" cy=\"" + xy.substr(comma + 1) + "\" r=\"3\" fill=\"#222\"/>\n";
    }
    svg += "<text x=\"20\" y=\"490\" font-family=\"sans-serif\" font-size=\"13\"><tspan fill=\"#2a9d8f\">exact hull</tspan>"
           "  <tspan fill=\"#e63946\">the entry's hull (dashed)</tspan></text>\n<text x=\"20\" y=\"508\" "
           "font-family=\"sans-serif\" font-size=\"11\" fill=\"#555\">x " + realText(2 * x0) + " .. " + realText(2 * x1) +
           ", y " + realText(2 * y0) + " .. " + realText(2 * y1) + " (about)</text>\n";
    return svg + "</svg>\n";
}

// Writes the smallest input and its picture into the failures folder.
void writeFinding(const Algorithm& entry, const HuntSettings& s, HuntFinding& f) {
    if (mkdir(s.failuresDir.c_str(), 0755) != 0 && errno != EEXIST) return;
    const std::string stem = s.failuresDir + "/" + fileNamePart(entry.name) + "-hunt-" + slug(f.kind);
    if (f.real ? writePointFile(stem + ".txt", f.realShrunk.points) : writePointFile(stem + ".txt", f.shrunk.points)) {
        f.file = stem + ".txt";
    }
    std::ofstream picture(stem + ".svg");
    if (f.real) picture << realPicture(f.realShrunk.points, f.realExact, f.answered ? f.realAnswer : std::vector<RealPoint>{});
    else picture << huntPicture(f.shrunk.points, f.exact, f.answered ? f.answer : std::vector<reference::Pt>{}, f.smallestPoint);
    if (picture.flush()) f.picture = stem + ".svg";
    if (!reportable(entry) || (f.status != Status::Wrong && f.status != Status::Crashed)) return;
    std::vector<RealPoint> points = f.realShrunk.points;
    if (!f.real) {
        for (const Point& p : f.shrunk.points) points.push_back({double(p.x), double(p.y)});
    }
    f.report = writeReport(entry, points, f.status, f.kind, stem, s.filesDir);
}

// The size of the integer families' input number k where it is one of the shapes family's (their
// sizes follow from the input's number), else 0: only those come large.
std::size_t shapesSize(std::uint64_t k) {
    const std::size_t count = families().size();
    std::size_t shapes = 0;
    while (std::string(families()[shapes].name) != "shapes") ++shapes;
    return k % count == shapes ? std::size_t(sweptSizes()[(k / count) % sweptSizes().size()]) : 0;
}

// The inputs from number `first` to `last` that a worker left out for having more than `most`
// points: only the shapes families' come so large (the integer families' shapes, and on doubles the
// whole numbers' shapes and the real shapes), and their sizes follow from the input's number.
std::uint64_t leftOut(long long first, long long last, std::size_t most, const HuntSettings& s) {
    std::uint64_t n = 0;
    const std::size_t count = realFamilies().size();
    std::vector<std::int64_t> realSizes = sweptSizes();
    realSizes.erase(std::remove_if(realSizes.begin(), realSizes.end(), [](std::int64_t size) { return size > 100000; }), realSizes.end());
    for (long long k = first; k <= last; ++k) {
        if (s.coordinates == Coordinates::Int) {
            n += shapesSize(std::uint64_t(k)) > most;
            continue;
        }
        const std::string family = realFamilies()[std::uint64_t(k) % count].name;
        const std::uint64_t i = std::uint64_t(k) / count;
        if (family == "whole-numbers") n += shapesSize(i) > most;
        if (family == "real-shapes") n += std::size_t(realSizes[i % realSizes.size()]) > most;
    }
    return n;
}

void showProgress(const HuntSettings& s, const HuntResult& r, double elapsed) {
    if (!s.progress) return;
    std::cerr << "\r\033[Khunting " << r.entry << ": " << formatted("%.0f", elapsed) << " s of " << formatted("%.0f", s.seconds)
              << ", " << count(r.inputs) << " inputs (" << count(std::uint64_t(double(r.inputs) / std::max(elapsed, 1e-3)))
              << " a second), " << r.findings.size() << (r.findings.size() == 1 ? " kind" : " kinds") << " of failure"
              << std::flush;
}

// The part of segment a-b inside the square |x|, |y| <= w (Liang and Barsky's clipping), in
// coordinates about the square's centre; false where it misses the square.
bool clip(double ax, double ay, double bx, double by, double w, double out[4]) {
    double t0 = 0, t1 = 1;
    const double dx = bx - ax, dy = by - ay;
    const double p[4] = {-dx, dx, -dy, dy}, q[4] = {ax + w, w - ax, ay + w, w - ay};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
    out[0] = ax + t0 * dx, out[1] = ay + t0 * dy, out[2] = ax + t1 * dx, out[3] = ay + t1 * dy;
    return true;
}

// A magnified view of the 9 x 9 units about point c, in a 160-pixel square at the picture's top
// left: the hulls' edges and the points there, the lattice's points dotted. For inputs so wide that
// the whole picture cannot show a unit. O(points + hull edges).
std::string inset(const std::vector<Point>& points, const std::vector<reference::Pt>& exact,
                  const std::vector<reference::Pt>& answer, reference::Pt c) {
    constexpr double w = 4.5, size = 160, scale = size / (2 * w), left = 24, top = 24;
    auto x = [&](double u) { return formatted("%.2f", left + size / 2 + u * scale); };
    auto y = [&](double v) { return formatted("%.2f", top + size / 2 - v * scale); };
    std::string svg = "<rect x=\"" + x(-w) + "\" y=\"" + y(w) + "\" width=\"160\" height=\"160\" fill=\"#fafafa\" stroke=\"#999\"/>\n";
    for (int i = -4; i <= 4; ++i) {
        for (int j = -4; j <= 4; ++j) svg += "<circle cx=\"" + x(i) + "\" cy=\"" + y(j) + "\" r=\"1\" fill=\"#ccc\"/>\n";
    }
    auto edges = [&](const std::vector<reference::Pt>& ring, const char* style) {
        for (std::size_t i = 0; i < ring.size() && ring.size() >= 2; ++i) {
            const reference::Pt a = ring[i], b = ring[(i + 1) % ring.size()];
            double part[4];
            if (!clip(double(a.x - c.x), double(a.y - c.y), double(b.x - c.x), double(b.y - c.y), w, part)) continue;
            svg += "<line x1=\"" + x(part[0]) + "\" y1=\"" + y(part[1]) + "\" x2=\"" + x(part[2]) + "\" y2=\"" + y(part[3]) +
                   "\" " + style + "/>\n";
        }
    };
    edges(exact, "stroke=\"#2a9d8f\" stroke-width=\"3\"");
    edges(answer, "stroke=\"#e63946\" stroke-width=\"2\" stroke-dasharray=\"6 4\"");
    for (const Point& p : points) {
        if (std::abs(p.x - c.x) <= 4 && std::abs(p.y - c.y) <= 4) {
            svg += "<circle cx=\"" + x(double(p.x - c.x)) + "\" cy=\"" + y(double(p.y - c.y)) + "\" r=\"4\" fill=\"#222\"/>\n";
        }
    }
    svg += "<circle cx=\"" + x(0) + "\" cy=\"" + y(0) + "\" r=\"10\" fill=\"none\" stroke=\"#f4a261\" stroke-width=\"3\"/>\n";
    return svg + "<text x=\"24\" y=\"198\" font-family=\"sans-serif\" font-size=\"11\" fill=\"#555\">9 x 9 units about " +
           reference::show(c) + "</text>\n";
}

// Counts a failure (`t`, on `points`, made by `family`, `after` seconds into the hunt) in the
// result: the first of its kind is kept, its input in `found` and its worker's report in `firsts`.
template <class P>
void keepFailure(HuntResult& result, const Tried& t, std::vector<P> points, const std::string& family, double after,
                 std::vector<std::vector<P>>& found, std::vector<Tried>& firsts) {
    const std::string kind = failureKind(t.status, t.failure);
    auto same = std::find_if(result.findings.begin(), result.findings.end(), [&](const HuntFinding& f) { return f.kind == kind; });
    if (same != result.findings.end()) {
        ++same->inputs;
        return;
    }
    HuntFinding f;
    f.kind = kind, f.status = t.status, f.note = t.note, f.inputs = 1, f.firstAfter = after;
    f.firstInput = result.inputs;
    f.family = family, f.foundSize = points.size();
    result.findings.push_back(f);
    found.push_back(std::move(points));
    firsts.push_back(t);
}

// The hunt on a point file (settings' `file`): its points in their own order, then in shuffled
// orders, a batch to each worker, until the time is up; each kind of failure then shrunk.
template <class P>
HuntResult huntFile(const Algorithm& entry, const std::vector<P>& points, const HuntSettings& s, const volatile int* interrupted) {
    HuntResult result;
    result.entry = entry.name, result.file = s.fileName, result.coordinates = s.file->coordinates;
    const std::string word = entry.entry.empty() ? entry.name : entry.entry;
    const std::string path = s.filesDir + "/hunt-orders.bin";
    const auto perBatch = std::clamp<long long>(1000000 / std::max<long long>((long long)points.size(), 1), 1, 16);
    std::vector<std::vector<P>> found;
    std::vector<Tried> firsts;
    const double start = wallSeconds(), end = start + s.seconds;
    for (long long k = 0; !*interrupted && wallSeconds() < end;) {
        std::vector<std::vector<P>> batch;
        for (long long j = k; j < k + perBatch; ++j) batch.push_back(j == 0 ? points : inputOrder(points, s.seed + std::uint64_t(j)));
        if (!writePointSets(path, batch)) {
            result.error = "cannot write " + path;
            break;
        }
        const Tried t = runWorker(word, s, {setsWord<P>(), path}, double(perBatch) * s.deadline + 5, interrupted);
        if (*interrupted) break;
        if (!t.error.empty()) {
            result.error = t.error;
            break;
        }
        const long long tried = t.status == Status::Ok ? perBatch : t.last + 1;
        result.inputs += std::uint64_t(tried);
        showProgress(s, result, wallSeconds() - start);
        if (t.status != Status::Ok) {
            const long long order = k + t.last;
            const std::string family = order == 0 ? "the file in its own order" : "the file in order " + std::to_string(order + 1);
            keepFailure(result, t, std::move(batch[std::size_t(t.last)]), family, wallSeconds() - start, found, firsts);
        }
        k += tried;
    }
    result.seconds = wallSeconds() - start;
    if (s.progress) std::cerr << "\r\033[K" << std::flush;
    for (std::size_t i = 0; i < result.findings.size() && !*interrupted; ++i) {
        shrinkFinding(word, s, found[i], firsts[i], result.findings[i], interrupted);
        writeFinding(entry, s, result.findings[i]);
    }
    return result;
}

// The hunt on made inputs, a second's batch to each worker until the time is up; each kind of
// failure then shrunk. P is Point (the families, worker source `made`) or RealPoint (the real
// families on the settings' number type, `real-made`).
template <class P>
HuntResult huntMade(const Algorithm& entry, const HuntSettings& s, const volatile int* interrupted) {
    constexpr bool real = std::is_same_v<P, RealPoint>;
    HuntResult result;
    result.entry = entry.name;
    result.coordinates = real ? s.coordinates : Coordinates::Int;
    const std::string word = entry.entry.empty() ? entry.name : entry.entry;
    std::vector<std::vector<P>> found;  // each finding's first input
    std::vector<Tried> firsts;
    const double start = wallSeconds(), end = start + s.seconds;
    for (long long k = 0; !*interrupted && wallSeconds() < end;) {
        const double batch = std::min(1.0, end - wallSeconds());
        const std::size_t most = result.slowAt > 0 ? result.slowAt - 1 : std::size_t(-1) / 2;
        std::vector<std::string> source = {real ? "real-made" : "made", std::to_string(s.seed), std::to_string(k),
                                           formatted("%.3f", batch), std::to_string(most)};
        if (real) source.push_back(coordinatesWord(s.coordinates));
        const Tried t = runWorker(word, s, source, batch + s.deadline + 5, interrupted);
        if (*interrupted) break;
        if (!t.error.empty()) {
            result.error = t.error;
            break;
        }
        if (t.last < 0) continue;  // the batch's time was up before its first input
        result.inputs += std::uint64_t(t.last - k + 1) - leftOut(k, t.last, most, s);
        k = t.last + 1;
        showProgress(s, result, wallSeconds() - start);
        if (t.status == Status::Ok) continue;
        std::vector<P> points;
        std::string family;
        if constexpr (real) {
            RealHuntInput input = realHuntInput(s.seed, std::uint64_t(t.last), s.coordinates);
            points = std::move(input.points), family = realFamilies()[input.family].name;
        } else {
            HuntInput input = huntInput(s.seed, std::uint64_t(t.last));
            points = std::move(input.points), family = families()[input.family].name;
        }
        if (t.status == Status::Stopped && points.size() >= kSlowFrom) {
            result.slowAt = result.slowAt == 0 ? points.size() : std::min(result.slowAt, points.size());
            continue;
        }
        keepFailure(result, t, std::move(points), family, wallSeconds() - start, found, firsts);
    }
    result.seconds = wallSeconds() - start;
    if (s.progress) std::cerr << "\r\033[K" << std::flush;
    for (std::size_t i = 0; i < result.findings.size() && !*interrupted; ++i) {
        shrinkFinding(word, s, found[i], firsts[i], result.findings[i], interrupted);
        writeFinding(entry, s, result.findings[i]);
    }
    return result;
}

}  // namespace

HuntResult hunt(const Algorithm& entry, const HuntSettings& s, const volatile int* interrupted) {
    if (s.file != nullptr && s.file->coordinates == Coordinates::Int) return huntFile(entry, s.file->points, s, interrupted);
    if (s.file != nullptr) return huntFile(entry, s.file->reals, s, interrupted);
    if (s.coordinates != Coordinates::Int) return huntMade<RealPoint>(entry, s, interrupted);
    return huntMade<Point>(entry, s, interrupted);
}

std::string huntLines(const HuntResult& r, const std::string& again) {
    const bool realFamily = r.file.empty() && r.coordinates != Coordinates::Int;
    std::string text = r.entry + (realFamily ? std::string(" on ") + coordinatesWord(r.coordinates) : "") + ": hunted " +
                       formatted("%.0f", r.seconds) + " s, " + count(r.inputs) + " inputs (" +
                       count(std::uint64_t(double(r.inputs) / std::max(r.seconds, 1e-3))) + " a second)";
    if (r.findings.empty() && !r.file.empty()) text += ", no failure in the orders of " + r.file;
    if (r.findings.empty() && r.file.empty()) {
        text += ", no failure; families:";
        for (const Family& f : realFamily ? realFamilies() : families()) text += std::string(" ") + f.name;
    }
    text += "\n";
    if (!r.error.empty()) text += "  the hunt stopped: " + r.error + "\n";
    if (r.slowAt > 0) {
        text += "  slow, not a failure: an input of " + count(r.slowAt) +
                " points had no answer before the deadline; inputs as large were left out\n";
    }
    for (const HuntFinding& f : r.findings) {
        const std::size_t n = f.real ? f.realShrunk.points.size() : f.shrunk.points.size();
        const std::size_t tests = f.real ? f.realShrunk.tests : f.shrunk.tests;
        const bool timedOut = f.real ? f.realShrunk.timedOut : f.shrunk.timedOut;
        const std::size_t corners = f.real ? f.realExact.size() : f.exact.size(), answer = f.real ? f.realAnswer.size() : f.answer.size();
        text += "  " + f.kind + " (" + count(f.inputs) + (f.inputs == 1 ? " input" : " inputs") + "; the first was input " +
                count(f.firstInput) + ", after " + formatted("%.2g", f.firstAfter) + " s: " + f.family + ", " + count(f.foundSize) +
                " points); smallest failing input: " +
                count(n) + (n == 1 ? " point" : " points") + " (shrunk in " + formatted("%.1f", f.shrinkSeconds) + " s, " +
                count(tests) + " tries" + (timedOut ? ", stopped at its time bound" : "") + ")\n";
        if (n <= 12) {
            text += "    points:     " + (f.real ? pointsText(f.realShrunk.points) : pointsText(referencePoints(f.shrunk.points))) + "\n";
        }
        text += "    exact hull: " + (corners > 12 ? count(corners) + " corners" : f.real ? pointsText(f.realExact) : pointsText(f.exact)) + "\n";
        if (f.answered) {
            text += "    its answer: " + (answer > 12 ? count(answer) + " points" : f.real ? pointsText(f.realAnswer) : pointsText(f.answer)) + "\n";
        }
        text += "    why:        " + f.smallestNote + "\n";
        if (!f.file.empty()) {
            text += "    file:       " + f.file + (f.picture.empty() ? "" : " (picture: " + f.picture + ")") + "\n";
            text += "    again:      " + again + " --input " + f.file +
                    (r.coordinates != Coordinates::Int ? std::string(" --coordinates ") + coordinatesWord(r.coordinates) : "") + "\n";
        }
        if (!f.report.file.empty()) text += "    report:     " + f.report.file + " (" + f.report.said + "): " + f.report.command + "\n";
        else if (!f.report.said.empty()) text += "    report:     " + f.report.said + "\n";
    }
    return text;
}

std::string huntPicture(const std::vector<Point>& points, const std::vector<reference::Pt>& exact,
                        const std::vector<reference::Pt>& answer, const std::string& point) {
    std::int64_t x0 = 0, y0 = 0, x1 = 1, y1 = 1;
    if (!points.empty()) x0 = x1 = points[0].x, y0 = y1 = points[0].y;
    for (const Point& p : points) x0 = std::min(x0, p.x), x1 = std::max(x1, p.x), y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
    const double span = double(std::max<std::int64_t>({x1 - x0, y1 - y0, 1}));
    auto at = [&](std::int64_t x, std::int64_t y) {  // the page's coordinates, y pointing up
        return formatted("%.2f", 20 + 440 * double(x - x0) / span) + "," + formatted("%.2f", 460 - 440 * double(y - y0) / span);
    };
    auto polygon = [&](const std::vector<reference::Pt>& ring, const char* style) {
        std::string text = "<polygon points=\"";
        for (const reference::Pt& p : ring) text += at(p.x, p.y) + " ";
        return text + "\" " + style + "/>\n";
    };
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"480\" height=\"520\" viewBox=\"0 0 480 520\">\n"
                      "<rect width=\"480\" height=\"520\" fill=\"white\"/>\n";
    svg += polygon(exact, "fill=\"#2a9d8f\" fill-opacity=\"0.15\" stroke=\"#2a9d8f\" stroke-width=\"3\"");
    if (!answer.empty()) svg += polygon(answer, "fill=\"none\" stroke=\"#e63946\" stroke-width=\"2\" stroke-dasharray=\"6 4\"");
    for (const Point& p : points) {
        const std::string xy = at(p.x, p.y);
        const std::size_t comma = xy.find(',');
        svg += "<circle cx=\"" + xy.substr(0, comma) + "\" cy=\"" + xy.substr(comma + 1) + "\" r=\"3\" fill=\"#222\"/>\n";
    }
    if (const std::size_t semicolon = point.find(';'); semicolon != std::string::npos) {
        const reference::Pt c{std::stoll(point.substr(0, semicolon)), std::stoll(point.substr(semicolon + 1))};
        const std::string xy = at(c.x, c.y);
        const std::size_t comma = xy.find(',');
        svg += "<circle cx=\"" + xy.substr(0, comma) + "\" cy=\"" + xy.substr(comma + 1) +
               "\" r=\"9\" fill=\"none\" stroke=\"#f4a261\" stroke-width=\"3\"/>\n";
        if (span > 200) svg += inset(points, exact, answer, c);
    }
    svg += "<text x=\"20\" y=\"490\" font-family=\"sans-serif\" font-size=\"13\"><tspan fill=\"#2a9d8f\">exact hull</tspan>"
           "  <tspan fill=\"#e63946\">the entry's hull (dashed)</tspan>  <tspan fill=\"#f4a261\">the point its fault names</tspan>"
           "</text>\n<text x=\"20\" y=\"508\" font-family=\"sans-serif\" font-size=\"11\" fill=\"#555\">x " +
           std::to_string(x0) + " .. " + std::to_string(x1) + ", y " + std::to_string(y0) + " .. " + std::to_string(y1) + "</text>\n";
    return svg + "</svg>\n";
}

}  // namespace lab
