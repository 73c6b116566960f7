// Numbers in the effect dialog's texts, independent of the user's locale: the dialog always
// writes and reads a decimal point.
#pragma once

#include <string>
#include <string_view>

// The leading number of a text, as the C library's atof reads it (leading white space and a
// sign allowed, decimal or "0x" hexadecimal); 0 when the text does not begin with a number.
// "inf" and "nan" read as such.
double LeadingNumber(std::string_view text);

// printf's "%*.*f": value with `precision` decimals, padded on the left with spaces to `width`.
std::string FormatFixed(double value, int width, int precision);

// printf's "%*d".
std::string FormatInt(int value, int width);
