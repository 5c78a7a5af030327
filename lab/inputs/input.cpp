// The user's own point files: read whole, checked line by line, refused with the line that is
// wrong. Three formats, told apart by the first point line: "x;y" (the program's point files),
// "x,y" and "x y"; one header line of names may come before the points, "#" lines and blank lines
// are skipped, a line may end in "\r\n". Numbers are read with std::from_chars, never a stream.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <chrono>
#include <cstring>

#include "lab.h"
#include "inputs/inputs.h"

namespace lab {

namespace {

constexpr std::int64_t kExactLimit = kExactBound;

__extension__ typedef __int128 Wide;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

// A byte no text file holds: the control characters but tab, line feed and carriage return.
bool isControl(unsigned char c) { return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7f; }

// `word`, shortened for a message.
std::string quoted(std::string_view word) {
    std::string text(word.substr(0, 40));
    return "\"" + text + (word.size() > 40 ? "...\"" : "\"");
}

// One coordinate: a whole number, or with a scale a decimal (digits, a point, digits) times the
// scale, which must come out whole. The result lies in the exact range. Throws InputError (line 0:
// the caller adds it).
std::int64_t coordinate(std::string_view word, std::int64_t scale) {
    auto bad = [&](const std::string& what) { return InputError(0, what); };
    if (word.empty()) throw bad("a coordinate is missing");
    std::size_t at = word[0] == '-' || word[0] == '+' ? 1 : 0;
    const bool negative = word[0] == '-';
    std::size_t point = word.find('.');
    std::string_view whole = word.substr(at, point == std::string_view::npos ? std::string_view::npos : point - at);
    std::string_view fraction = point == std::string_view::npos ? std::string_view() : word.substr(point + 1);
    auto allDigits = [](std::string_view s) {
        for (char c : s) {
            if (!isDigit(c)) return false;
        }
        return true;
    };
    if ((whole.empty() && fraction.empty()) || !allDigits(whole) || !allDigits(fraction) ||
        (point != std::string_view::npos && fraction.empty() && whole.empty())) {
        throw bad(quoted(word) + " is not a number");
    }
    if (point != std::string_view::npos && scale == 0) {
        throw bad(quoted(word) + " is a decimal where whole numbers are read: --coordinates f64 reads it as a double, "
                  "--scale K multiplies decimals into whole numbers (--scale 1000000: 6 decimals)");
    }
    // The whole part: 64 bits at most, as every reader of the format would take it.
    std::uint64_t magnitude = 0;
    if (!whole.empty()) {
        auto [end, error] = std::from_chars(whole.data(), whole.data() + whole.size(), magnitude);
        if (error == std::errc::result_out_of_range || magnitude > std::uint64_t(INT64_MAX) + (negative ? 1 : 0)) {
            throw bad(quoted(word) + " does not fit in 64 bits");
        }
        (void)end;
    }
    const std::int64_t k = scale == 0 ? 1 : scale;
    Wide value = Wide(magnitude) * k;
    if (!fraction.empty()) {
        // value + fraction / 10^d * k, whole only when 10^d divides fraction * k.
        std::string_view digits = fraction;
        while (!digits.empty() && digits.back() == '0') digits.remove_suffix(1);
        std::size_t lead = 0;
        while (lead < digits.size() && digits[lead] == '0') ++lead;
        if (digits.size() - lead > 20 || digits.size() > 38) {
            throw bad(quoted(word) + " has more decimals than hull-lab reads (20 significant digits, 38 places)");
        }
        Wide f = 0, power = 1;
        for (char c : digits) {
            f = f * 10 + (c - '0');
            power *= 10;
        }
        const Wide product = f * k;  // below 10^20 * 10^18
        if (product % power != 0) {
            throw bad(quoted(word) + " times --scale " + std::to_string(scale) + " is not a whole number");
        }
        value += product / power;
    }
    if (value >= kExactLimit) {
        throw bad(quoted(word) + (scale != 0 ? " times --scale " + std::to_string(scale) : std::string()) +
                  " is outside the exact range |coordinate| < 2^30 (1073741824)");
    }
    return negative ? -std::int64_t(value) : std::int64_t(value);
}

// The fields of a point line, split by `separator` (' ' for any run of blanks), each stripped of
// the blanks around it. With ',' or ';', a field may be quoted as CSV writes it ("Washington, D.C.":
// the separator inside is text); the field is what the quotes hold (a doubled quote inside stays
// doubled). Throws InputError (line 0: the caller adds it) on a quote left open at the line's end.
std::vector<std::string_view> fields(std::string_view line, char separator) {
    std::vector<std::string_view> out;
    auto strip = [](std::string_view s) {
        while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
        while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
        return s;
    };
    line = strip(line);
    if (separator == ' ') {
        std::size_t at = 0;
        while (at < line.size()) {
            std::size_t end = at;
            while (end < line.size() && !isBlank(line[end])) ++end;
            out.push_back(line.substr(at, end - at));
            at = end;
            while (at < line.size() && isBlank(line[at])) ++at;
        }
        return out;
    }
    for (std::size_t at = 0;;) {
        while (at < line.size() && isBlank(line[at])) ++at;
        std::size_t end = 0;
        if (at < line.size() && line[at] == '"') {  // a quoted field: to its closing quote, then blanks
            std::size_t close = at + 1;
            while (close < line.size() && (line[close] != '"' || (close + 1 < line.size() && line[close + 1] == '"'))) {
                close += line[close] == '"' ? 2 : 1;
            }
            if (close >= line.size()) throw InputError(0, "a quoted field is not closed on its line: " + quoted(line.substr(at)));
            out.push_back(line.substr(at + 1, close - at - 1));
            end = line.find(separator, close + 1);
            if (!strip(line.substr(close + 1, end == std::string_view::npos ? std::string_view::npos : end - close - 1)).empty()) {
                throw InputError(0, "text follows a quoted field before its separator: " + quoted(line.substr(at)));
            }
        } else {
            end = line.find(separator, at);
            out.push_back(strip(line.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at)));
        }
        if (end == std::string_view::npos) return out;
        at = end + 1;
    }
}

// Whether a line is a header of names rather than points: it holds a letter and no field of it
// starts like a number.
bool looksLikeHeader(std::string_view line) {
    bool letter = false;
    for (char c : line) letter = letter || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    if (!letter) return false;
    for (char separator : {';', ',', ' '}) {
        std::vector<std::string_view> split;
        try {
            split = fields(line, separator);
        } catch (const InputError&) {
            continue;  // quotes that are not fields of this separator
        }
        for (std::string_view f : split) {
            std::size_t at = !f.empty() && (f[0] == '-' || f[0] == '+') ? 1 : 0;
            if (at < f.size() && (isDigit(f[at]) || f[at] == '.')) return false;
        }
    }
    return true;
}

// The common line, read at full speed: blanks, a whole number, the separator, a whole number,
// blanks, nothing else. False on anything else (a sign '+', a decimal, a comment, a control
// character, a number out of range), which the careful reading then takes or refuses with its
// reason. Sets `point`, scaled and inside the exact range.
bool quickLine(std::string_view line, char separator, std::int64_t scale, Point& point) {
    const char* p = line.data();
    const char* end = p + line.size();
    auto blanks = [&] {
        const char* start = p;
        while (p < end && isBlank(*p)) ++p;
        return p != start;
    };
    std::int64_t xy[2];
    for (int i = 0; i < 2; ++i) {
        blanks();
        auto [next, error] = std::from_chars(p, end, xy[i]);
        if (error != std::errc() || (next < end && (*next == '.' || isDigit(*next)))) return false;
        p = next;
        const bool spaced = blanks();
        if (i == 0) {
            if (separator == ' ' ? !spaced : p == end || *p++ != separator) return false;
        }
        const std::int64_t k = scale == 0 ? 1 : scale;
        if (xy[i] >= kExactLimit || xy[i] <= -kExactLimit || (k != 1 && (k >= kExactLimit || std::abs(xy[i]) * k >= kExactLimit))) {
            return false;
        }
        xy[i] *= k;
    }
    if (p != end) return false;
    point = {xy[0], xy[1]};
    return true;
}

const char* formatName(char separator) { return separator == ';' ? "x;y" : separator == ',' ? "x,y" : "x y"; }

// The separator of a line: ';' where one stands outside quotes, else ',' where one does, else blanks
// (where a quote is left open, quotes are not counted: the fields then refuse the open quote).
char separatorOf(std::string_view line) {
    bool quoted = false, semicolon = false, comma = false;
    for (char c : line) {
        quoted = quoted != (c == '"');
        semicolon = semicolon || (!quoted && c == ';');
        comma = comma || (!quoted && c == ',');
    }
    if (quoted) {
        semicolon = line.find(';') != std::string_view::npos;
        comma = line.find(',') != std::string_view::npos;
    }
    return semicolon ? ';' : comma ? ',' : ' ';
}

// The field number (from 0) that a --columns word names: a number from 1, or a name of the header
// line. Throws InputError (line 0: the caller adds it).
std::size_t columnIndex(const std::string& word, const std::vector<std::string_view>& header, bool hasHeader) {
    if (!word.empty() && std::all_of(word.begin(), word.end(), isDigit)) {
        std::size_t number = 0;
        auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), number);
        if (error != std::errc() || number == 0 || number > 1000000) {
            throw InputError(0, "--columns " + quoted(word) + ": columns are numbered from 1");
        }
        (void)end;
        return number - 1;
    }
    if (!hasHeader) {
        throw InputError(0, "--columns names " + quoted(word) + ", but the file has no header line of names before its points");
    }
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (header[i] == word) return i;
    }
    std::string names;
    for (std::string_view name : header) names += (names.empty() ? "" : ", ") + std::string(name);
    throw InputError(0, "--columns names " + quoted(word) + ", which the header line does not (it names " + names + ")");
}

}  // namespace

InputError::InputError(long lineNumber, const std::string& what)
    : std::runtime_error(what), line(lineNumber) {}

namespace {

// A whole-number file's reading met a word written as a real number: the file is read again as
// doubles (readPointFile, where no type was asked for).
struct RealWord {};

// The x and y words of a point line: its two fields, or the two that --columns names (field
// numbers xField and yField, from 0). Throws InputError (line 0: the caller adds it).
std::array<std::string_view, 2> pointWords(std::string_view line, char separator, const Columns& columns, std::size_t xField,
                                           std::size_t yField) {
    const std::vector<std::string_view> words = fields(line, separator);
    const std::string format = formatName(separator);
    if (columns.given()) {
        const std::size_t needed = std::max(xField, yField) + 1;
        if (words.size() < needed) {
            throw InputError(0, "an " + format + " point line holds " + std::to_string(words.size()) + " fields; --columns " +
                                    columns.x + "," + columns.y + " reads field " + std::to_string(needed) + ": " + quoted(line));
        }
        return {words[xField], words[yField]};
    }
    if (words.size() != 2) {
        throw InputError(0, "an " + format + " point line holds " + std::to_string(words.size()) +
                                (words.size() == 1 ? " field" : " fields") + " where a point has 2 (x and y): " + quoted(line) +
                                (words.size() > 2 ? " (where a line holds more fields, --columns X,Y names the two)" : ""));
    }
    return {words[0], words[1]};
}

// Calls take(x, y) with the two words of every point of a WKT or GeoJSON text, in GEOS's order.
// Throws InputError, with the line of the point it fails on.
template <class P, class Take>
void eachGeometryPoint(std::string_view text, const char* geometry, const Columns& columns, std::vector<P>& points,
                       Take take) {
    if (columns.given()) {
        throw InputError(0, std::string("--columns names fields of a line; a ") + geometry + " file's points are its coordinates");
    }
    const std::vector<CoordinateWords> words = geometryWords(text, geometry);
    points.reserve(words.size());
    for (const CoordinateWords& point : words) {
        try {
            take(point.x, point.y);
        } catch (const InputError& e) {
            throw InputError(point.line, e.what());
        }
    }
    if (points.empty()) throw InputError(1, std::string("no points in the ") + geometry + " (only empty geometries)");
}

// Calls take(x, y) with the two words of every point line, after quick(line, separator) where that
// takes the line itself; points[] is reserved for them. A WKT or GeoJSON text is read by
// eachGeometryPoint instead. Sets `format`. Throws InputError on the first line that is not a point
// line or a header, comment or blank line, and on a file of no points. O(length of the text).
template <class P, class Quick, class Take>
void eachPoint(std::string_view text, std::string* format, const Columns& columns, std::vector<P>& points, Quick quick,
               Take take) {
    if (const char* geometry = geometryFormat(text)) {
        eachGeometryPoint(text, geometry, columns, points, take);
        if (format != nullptr) *format = geometry;
        return;
    }
    // At most a point a line, and a point line holds at least 3 bytes ("1;2").
    points.reserve(std::min<std::size_t>(std::size_t(std::count(text.begin(), text.end(), '\n')) + 1, text.size() / 3 + 1));
    char separator = 0;  // chosen by the first point line
    bool headerAllowed = true;
    long number = 0;
    std::size_t at = 0;
    std::size_t xField = 0, yField = 1;  // with --columns: the two fields read
    std::vector<std::string_view> header;
    long headerLine = 0;
    while (at < text.size()) {
        ++number;
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (separator != 0 && !columns.given() && quick(line, separator)) continue;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(line[i]);
            if (isControl(c)) {
                char what[64];
                std::snprintf(what, sizeof what, "not text: byte 0x%02x at column %zu", unsigned(c), i + 1);
                throw InputError(number, what);
            }
        }
        std::size_t first = 0;
        while (first < line.size() && isBlank(line[first])) ++first;
        if (first == line.size() || line[first] == '#') continue;
        try {
            if (separator == 0) {
                if (headerAllowed && looksLikeHeader(line)) {
                    headerAllowed = false;
                    header = fields(line, separatorOf(line));
                    headerLine = number;
                    continue;
                }
                separator = separatorOf(line);
                if (columns.given()) {
                    try {
                        xField = columnIndex(columns.x, header, headerLine > 0);
                        yField = columnIndex(columns.y, header, headerLine > 0);
                    } catch (const InputError& e) {
                        throw InputError(headerLine > 0 ? headerLine : number, e.what());
                    }
                }
            }
            const std::array<std::string_view, 2> words = pointWords(line, separator, columns, xField, yField);
            take(words[0], words[1]);
        } catch (const InputError& e) {
            throw InputError(e.line != 0 ? e.line : number, e.what());
        }
    }
    if (points.empty()) {
        throw InputError(std::max(number, 1L), "no points in the file (" + std::to_string(number) +
                                                   (number == 1 ? " line" : " lines") + ", none of them a point)");
    }
    if (format != nullptr) *format = formatName(separator);
}

// The whole-number points of a file; with `realWords`, a word written as a real number (and no
// scale) throws RealWord instead of being refused.
std::vector<Point> wholePointsOf(std::string_view text, std::int64_t scale, std::string* format, const Columns& columns,
                                 bool realWords) {
    std::vector<Point> points;
    auto quick = [&](std::string_view line, char separator) {
        Point point{};
        if (!quickLine(line, separator, scale, point)) return false;
        points.push_back(point);
        return true;
    };
    auto take = [&](std::string_view x, std::string_view y) {
        if (realWords && scale == 0 && (writtenAsReal(x) || writtenAsReal(y))) throw RealWord{};
        points.push_back({coordinate(x, scale), coordinate(y, scale)});
    };
    eachPoint(text, format, columns, points, quick, take);
    return points;
}

}  // namespace

std::vector<Point> parsePoints(std::string_view text, std::int64_t scale, std::string* format, const Columns& columns) {
    return wholePointsOf(text, scale, format, columns, false);
}

std::vector<RealPoint> parseRealPoints(std::string_view text, Coordinates type, std::string* format, const Columns& columns) {
    std::vector<RealPoint> points;
    auto take = [&](std::string_view x, std::string_view y) {
        RealPoint p{};
        for (auto [word, value] : {std::pair{x, &p.x}, std::pair{y, &p.y}}) {
            const std::string why = readReal(word, type, *value);
            if (!why.empty()) throw InputError(0, why);
        }
        points.push_back(p);
    };
    eachPoint(text, format, columns, points, [](std::string_view, char) { return false; }, take);
    return points;
}

namespace {

// The file's points in the type asked for, or (none asked for) whole numbers unless a coordinate is
// written as a real number, which makes the file's points doubles.
void parseFile(std::string_view text, std::int64_t scale, const Columns& columns, const Coordinates* type, PointFile& file) {
    if (type != nullptr && *type != Coordinates::Int) {
        file.coordinates = *type;
        file.reals = parseRealPoints(text, *type, &file.format, columns);
        return;
    }
    try {
        file.points = wholePointsOf(text, scale, &file.format, columns, type == nullptr);
    } catch (const RealWord&) {
        file.coordinates = Coordinates::F64;
        file.reals = parseRealPoints(text, Coordinates::F64, &file.format, columns);
    }
}

}  // namespace

PointFile readPointFile(const std::string& path, std::int64_t scale, const Columns& columns, const Coordinates* type) {
    PointFile file;
    const auto started = std::chrono::steady_clock::now();
    const int fd = path == "-" ? dup(STDIN_FILENO) : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int error = fd < 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : errno;
        if (fd >= 0) close(fd);
        throw InputError(0, std::string("cannot be read: ") + std::strerror(error));
    }
    // A regular file is mapped, not copied: its pages come straight from the page cache.
    if (S_ISREG(info.st_mode) && info.st_size > 0) {
        const std::size_t size = std::size_t(info.st_size);
        void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        const int error = errno;
        close(fd);
        if (mapped == MAP_FAILED) throw InputError(0, std::string("cannot be read: ") + std::strerror(error));
        madvise(mapped, size, MADV_SEQUENTIAL);
        try {
            parseFile(std::string_view(static_cast<const char*>(mapped), size), scale, columns, type, file);
        } catch (...) {
            munmap(mapped, size);
            throw;
        }
        munmap(mapped, size);
        file.bytes = size;
    } else {  // a pipe, a device, or a file that says it is empty: read until its end
        std::string text;
        std::size_t got = 0;
        for (;;) {
            if (got == text.size()) text.resize(text.size() + 65536);
            ssize_t n = read(fd, text.data() + got, text.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                const int error = errno;
                close(fd);
                throw InputError(0, std::string("cannot be read: ") + std::strerror(error));
            }
            if (n == 0) break;
            got += std::size_t(n);
        }
        close(fd);
        text.resize(got);
        parseFile(text, scale, columns, type, file);
        file.bytes = got;
    }
    file.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return file;
}

template <class P>
std::vector<P> inputOrder(const std::vector<P>& points, std::uint64_t seed) {
    std::vector<P> order(points);
    // Fisher-Yates with SplitMix64: the same order on every machine and library.
    SplitMix64 random{seed ^ 0x5851F42D4C957F2Dull};
    for (std::size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[std::size_t(random.below(std::int64_t(i)))]);
    return order;
}

template std::vector<Point> inputOrder(const std::vector<Point>&, std::uint64_t);
template std::vector<RealPoint> inputOrder(const std::vector<RealPoint>&, std::uint64_t);

}  // namespace lab
