#include "effects/NumberText.h"

#include <charconv>
#include <cmath>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string PadLeft(std::string text, int width) {
    if (width > 0 && static_cast<int>(text.size()) < width) text.insert(0, static_cast<size_t>(width) - text.size(), ' ');
    return text;
}

}  // namespace

double LeadingNumber(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    // A second sign is not part of a number.
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) return 0.0;
    // "0x" starts a hexadecimal number (digits, point, binary exponent after p); with no hex digit
    // after it only the 0 counts.
    const bool hex = pos + 1 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X');
    if (hex) {
        pos += 2;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) return negative ? -0.0 : 0.0;
    }
    double value = 0.0;
    const auto result = std::from_chars(text.data() + pos, text.data() + text.size(), value,
                                        hex ? std::chars_format::hex : std::chars_format::general);
    if (result.ec == std::errc::invalid_argument) return 0.0;
    // Out of range: atof gives infinity for an overflow and 0 (or a tiny value) for an underflow;
    // the exponent's sign tells them apart.
    if (result.ec == std::errc::result_out_of_range) {
        const std::string_view number = text.substr(pos, static_cast<size_t>(result.ptr - (text.data() + pos)));
        const size_t e = number.find_first_of(hex ? "pP" : "eE");
        const bool underflow = e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-';
        value = underflow ? 0.0 : HUGE_VAL;
    }
    return negative ? -value : value;
}

std::string FormatFixed(double value, int width, int precision) {
    char buf[400];
    const auto result = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::fixed, precision);
    if (result.ec != std::errc()) return PadLeft("0", width);
    return PadLeft(std::string(buf, result.ptr), width);
}

std::string FormatInt(int value, int width) {
    char buf[16];
    const auto result = std::to_chars(buf, buf + sizeof(buf), value);
    return PadLeft(std::string(buf, result.ptr), width);
}
