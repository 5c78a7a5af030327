// Real numbers as text: read with std::from_chars (correctly rounded, ties to even, in any
// locale), written with std::to_chars in the shortest form that reads back to the same bits.

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "coords/coords.h"

namespace lab {

namespace {

// `word`, shortened for a message.
std::string quotedWord(std::string_view word) {
    std::string text(word.substr(0, 40));
    return "\"" + text + (word.size() > 40 ? "...\"" : "\"");
}

// The power of ten of a decimal's first nonzero digit ("813580.3": 5, "1.38e-17": -17), which
// tells a decimal too large for the type from one too small. O(word).
long leadingPower(std::string_view word) {
    const std::size_t e = word.find_first_of("eE");
    const std::string_view digits = word.substr(0, e);
    long exponent = 0;
    if (e != std::string_view::npos) {
        std::string_view text = word.substr(e + 1);
        if (!text.empty() && text[0] == '+') text.remove_prefix(1);
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), exponent);
        if (error == std::errc::result_out_of_range) exponent = text[0] == '-' ? -1000000000L : 1000000000L;
        (void)end;
    }
    const std::size_t point = std::min(digits.find('.'), digits.size());
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (digits[i] < '1' || digits[i] > '9') continue;
        return exponent + (i < point ? long(point - i) - 1 : -long(i - point));
    }
    return 0;
}

template <class T>
std::string shortest(T value) {
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("?");
}

// Each number type's word and range, in Coordinates' order.
struct TypeFacts {
    Coordinates type;
    const char* word;
    const char* range;
};
constexpr TypeFacts kTypes[] = {{Coordinates::Int, "int", "|coordinate| < 2^30"},
                                {Coordinates::F64, "f64", "any finite double"},
                                {Coordinates::F32, "f32", "any finite float"}};

}  // namespace

const char* coordinatesWord(Coordinates type) { return kTypes[int(type)].word; }

bool coordinatesNamed(std::string_view word, Coordinates& type) {
    for (const TypeFacts& facts : kTypes) {
        if (word == facts.word) return type = facts.type, true;
    }
    return false;
}

const char* coordinatesRange(Coordinates type) { return kTypes[int(type)].range; }

double nearestFloat(double value) {
    const volatile float narrow = float(value);
    return narrow;
}

std::string realText(double value) { return shortest(value); }
std::string realText(float value) { return shortest(value); }

std::string show(RealPoint p) { return realText(p.x) + ";" + realText(p.y); }

bool writtenAsReal(std::string_view word) {
    for (char c : word) {
        if (c == '.' || c == 'e' || c == 'E' || c == 'n' || c == 'N' || c == 'i' || c == 'I') return true;
    }
    return false;
}

std::string readReal(std::string_view word, Coordinates type, double& value) {
    if (word.empty()) return "a coordinate is missing";
    std::string_view text = word;
    if (text[0] == '+' && text.size() > 1 && text[1] != '-') text.remove_prefix(1);
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    const bool wide = type != Coordinates::F32;
    float narrow = 0;
    const auto [stop, error] = wide ? std::from_chars(begin, end, value) : std::from_chars(begin, end, narrow);
    if (stop != end || error == std::errc::invalid_argument) return quotedWord(word) + " is not a number";
    const char* typeName = wide ? "double" : "float";
    if (error == std::errc::result_out_of_range) {
        if (leadingPower(text) > 0) {
            return quotedWord(word) + " lies beyond the largest " + typeName + " (" +
                   (wide ? "1.7976931348623157e+308" : "3.4028235e+38") + ")";
        }
        return quotedWord(word) + " is not zero but rounds to zero as a " + typeName + " (the least is " +
               (wide ? "5e-324" : "1e-45") + ")";
    }
    if (!wide) value = narrow;
    if (std::isnan(value)) return quotedWord(word) + " is not a number (NaN): a point needs two finite coordinates";
    if (std::isinf(value)) return quotedWord(word) + " is infinite: a point needs two finite coordinates";
    return "";
}

}  // namespace lab
