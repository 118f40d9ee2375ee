#pragma once

// Pieces of PDF syntax that the document and its text layer share.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagelift {

// A number as PDF writes reals: at most four decimals, no exponent, and a
// point whatever the process's locale (the window sets the user's). Values
// past a billion in size are written as a billion; one that is not finite
// as 0.
std::string pdfNumber(double value);

// The code points of valid UTF-8 (no overlong forms, surrogates or values
// past U+10FFFF); none for anything else.
std::optional<std::vector<uint32_t>> utf8CodePoints(std::string_view text);

// Appends a 16-bit unit as four hex digits.
void appendHexUnit(std::string& hex, uint32_t unit);

// Appends a code point as UTF-16 units in hex, a surrogate pair beyond the
// Basic Multilingual Plane.
void appendHexUtf16(std::string& hex, uint32_t point);

}  // namespace pagelift
