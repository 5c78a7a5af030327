// Point files written as geometry: WKT (how GIS users paste points in a report) and GeoJSON. GEOS
// reads the text, so that what is taken is what a GIS library takes (and what it refuses, with its
// words); the lab then takes each coordinate's own word in the text, in the order GEOS holds them,
// so that every coordinate is read as the lab reads any point file's: each decimal the number
// type's nearest value, a bad one refused with its line and word.

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "inputs/inputs.h"

#ifdef HULL_LAB_GEOS
#include <geos_c.h>
#endif

namespace lab {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Whether `word` is `upper` in any case ("Point", "POINT").
bool sameWord(std::string_view word, const char* upper) {
    return word.size() == std::strlen(upper) &&
           std::equal(word.begin(), word.end(), upper, [](char a, char b) { return std::toupper((unsigned char)a) == b; });
}

// The geometry types of WKT.
bool isWktType(std::string_view word) {
    static const char* const types[] = {"POINT",        "MULTIPOINT",         "LINESTRING", "MULTILINESTRING", "POLYGON",
                                        "MULTIPOLYGON", "GEOMETRYCOLLECTION", "LINEARRING"};
    return std::any_of(std::begin(types), std::end(types), [&](const char* type) { return sameWord(word, type); });
}

// The words of WKT that are not coordinates: the types and their modifiers.
bool isWktKeyword(std::string_view word) {
    return isWktType(word) || sameWord(word, "EMPTY") || sameWord(word, "Z") || sameWord(word, "M") || sameWord(word, "ZM");
}

// One WKT geometry's text and the line it starts on.
struct Piece {
    std::string_view text;
    long line;
};

// Positions: each a run of coordinate words (2 to 4: x, y, then z or m, which are left), in the
// text's order; and the geometries they are in. Throws InputError on a run that is not a position.
void scanWkt(std::string_view text, std::vector<CoordinateWords>& out, std::vector<Piece>& pieces) {
    long line = 1;
    int depth = 0;
    std::size_t start = std::string_view::npos;  // of the geometry being read
    long startLine = 0;
    std::vector<std::string_view> run;
    long runLine = 0;
    auto endRun = [&] {
        if (run.empty()) return;
        if (run.size() < 2 || run.size() > 4) {
            throw InputError(runLine, "a WKT position holds " + std::to_string(run.size()) +
                                          " numbers, not 2 (x y) to 4 (x y z m): " + std::string(run.front()));
        }
        out.push_back({run[0], run[1], runLine});
        run.clear();
    };
    std::size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (c == '\n') ++line;
        if (isSpace(c)) {
            ++at;
            continue;
        }
        if (c == '#' && depth == 0 && start == std::string_view::npos) {  // a comment line between geometries
            while (at < text.size() && text[at] != '\n') ++at;
            continue;
        }
        if (c == '(' || c == ')' || c == ',') {
            if (start == std::string_view::npos) {
                throw InputError(line, std::string("a WKT file holds geometries, and '") + c + "' starts none");
            }
            endRun();
            depth += c == '(' ? 1 : c == ')' ? -1 : 0;
            ++at;
            if (depth == 0 && c == ')') {
                pieces.push_back({text.substr(start, at - start), startLine});
                start = std::string_view::npos;
            }
            continue;
        }
        std::size_t end = at;
        while (end < text.size() && !isSpace(text[end]) && text[end] != '(' && text[end] != ')' && text[end] != ',') ++end;
        const std::string_view word = text.substr(at, end - at);
        if (isWktKeyword(word)) {
            endRun();
            if (start == std::string_view::npos) {
                start = at;
                startLine = line;
            }
            if (depth == 0 && sameWord(word, "EMPTY")) {  // "POINT EMPTY"
                pieces.push_back({text.substr(start, end - start), startLine});
                start = std::string_view::npos;
            }
        } else if (depth == 0) {
            throw InputError(line, "a WKT file holds geometries, and " + std::string(word) + " is not one");
        } else {
            if (run.empty()) runLine = line;
            run.push_back(word);
        }
        at = end;
    }
    if (depth != 0 || start != std::string_view::npos) throw InputError(startLine, "a WKT geometry is not closed");
}

// Positions of GeoJSON: every array of numbers inside a "coordinates" member, in the text's order.
// A value there that is not a number (null, a string) is a coordinate word too, which the reading
// refuses by its word.
void scanGeoJson(std::string_view text, std::vector<CoordinateWords>& out) {
    long line = 1;
    int inCoordinates = 0;  // the depth of arrays inside a "coordinates" member, or 0
    bool coordinatesNext = false;
    std::vector<std::string_view> run;
    long runLine = 0;
    std::string_view lastString;
    std::size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (c == '\n') ++line;
        if (isSpace(c) || c == ':' || c == ',' || c == '{' || c == '}') {
            if (c == ':') coordinatesNext = lastString == "coordinates";
            if (c == ',' || c == '{' || c == '}') lastString = {};
            ++at;
            continue;
        }
        if (c == '"') {  // a string: a member's name, or a value
            std::size_t end = at + 1;
            while (end < text.size() && text[end] != '"') end += text[end] == '\\' ? 2 : 1;
            lastString = text.substr(at + 1, std::min(end, text.size()) - at - 1);
            if (inCoordinates > 0) run.push_back(text.substr(at, end + 1 - at));
            at = end + 1;
            continue;
        }
        if (c == '[') {
            if (inCoordinates > 0 || coordinatesNext) ++inCoordinates;
            coordinatesNext = false;
            run.clear();
            runLine = line;
            ++at;
            continue;
        }
        if (c == ']') {
            if (inCoordinates > 0 && !run.empty()) {
                if (run.size() < 2) throw InputError(runLine, "a GeoJSON position holds 1 number, not 2 or more: " + std::string(run[0]));
                out.push_back({run[0], run[1], runLine});
            }
            run.clear();
            inCoordinates = std::max(0, inCoordinates - 1);
            ++at;
            continue;
        }
        std::size_t end = at + 1;  // a word of one byte at least (a NUL byte too: strchr finds the terminator)
        while (end < text.size() && !isSpace(text[end]) && text[end] != ',' && text[end] != ']' && text[end] != '}' &&
               text[end] != ':') {
            ++end;
        }
        if (inCoordinates > 0) {
            if (run.empty()) runLine = line;
            run.push_back(text.substr(at, end - at));
        }
        coordinatesNext = false;
        at = end;
    }
}

#ifdef HULL_LAB_GEOS
extern "C" void keepGeosMessage(const char* message, void* userdata) { *static_cast<std::string*>(userdata) = message; }

// The number of coordinates GEOS reads in `text` (one WKT geometry, or a GeoJSON document). Throws
// InputError at `line` with GEOS's own words where it refuses the text.
std::size_t geosCoordinates(const std::string& text, bool wkt, long line) {
    std::string message;
    GEOSContextHandle_t context = GEOS_init_r();
    GEOSContext_setErrorMessageHandler_r(context, keepGeosMessage, &message);
    GEOSGeometry* geometry = nullptr;
    if (wkt) {
        GEOSWKTReader* reader = GEOSWKTReader_create_r(context);
        geometry = GEOSWKTReader_read_r(context, reader, text.c_str());
        GEOSWKTReader_destroy_r(context, reader);
    } else {
        GEOSGeoJSONReader* reader = GEOSGeoJSONReader_create_r(context);
        geometry = GEOSGeoJSONReader_readGeometry_r(context, reader, text.c_str());
        GEOSGeoJSONReader_destroy_r(context, reader);
    }
    const int count = geometry != nullptr ? GEOSGetNumCoordinates_r(context, geometry) : -1;
    if (geometry != nullptr) GEOSGeom_destroy_r(context, geometry);
    GEOS_finish_r(context);
    if (count < 0) {
        throw InputError(line, std::string("GEOS cannot read this ") + (wkt ? "WKT" : "GeoJSON") + ": " +
                                   (message.empty() ? "no reason given" : message));
    }
    return std::size_t(count);
}
#endif

}  // namespace

const char* geometryFormat(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {  // past blanks and "#" comment lines
        if (isSpace(text[at])) {
            ++at;
        } else if (text[at] == '#') {
            while (at < text.size() && text[at] != '\n') ++at;
        } else {
            break;
        }
    }
    if (at < text.size() && text[at] == '{') return "GeoJSON";
    std::size_t end = at;
    while (end < text.size() && std::isalpha((unsigned char)text[end])) ++end;
    const std::string_view word = text.substr(at, end - at);
    return isWktType(word) ? "WKT" : nullptr;
}

std::vector<CoordinateWords> geometryWords(std::string_view text, const char* format) {
    const bool wkt = std::strcmp(format, "WKT") == 0;
    std::vector<CoordinateWords> words;
    std::vector<Piece> pieces;
    if (wkt) {
        scanWkt(text, words, pieces);
    } else {
        scanGeoJson(text, words);
        pieces.push_back({text, 1});
    }
#ifdef HULL_LAB_GEOS
    std::size_t expected = 0;
    for (const Piece& piece : pieces) expected += geosCoordinates(std::string(piece.text), wkt, piece.line);
    if (expected != words.size()) {
        throw InputError(1, "GEOS reads " + std::to_string(expected) + " coordinates in this " + format + " where the lab finds " +
                                std::to_string(words.size()) + ": the lab cannot tell which words are the points");
    }
#else
    throw InputError(1, std::string(format) + " is read by GEOS, which this build lacks (libgeos-dev)");
#endif
    return words;
}

}  // namespace lab
