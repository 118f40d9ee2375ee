#include "imageout/pdf_syntax.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace pagelift {

std::string pdfNumber(double value)
{
    if (!std::isfinite(value)) value = 0;
    value = std::clamp(value, -1e9, 1e9);
    char text[64];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 4);
    std::string number(text, end.ptr);
    while (number.back() == '0') number.pop_back();
    if (number.back() == '.') number.pop_back();
    return number == "-0" ? "0" : number;
}

std::optional<std::vector<uint32_t>> utf8CodePoints(std::string_view text)
{
    std::vector<uint32_t> points;
    for (size_t at = 0; at < text.size();) {
        const uint8_t lead = uint8_t(text[at]);
        const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || at + size_t(length) > text.size()) return std::nullopt;
        uint32_t point = length == 1 ? lead : lead & (0x7Fu >> length);
        for (int index = 1; index < length; ++index) {
            const uint8_t next = uint8_t(text[at + size_t(index)]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            point = (point << 6) | (next & 0x3Fu);
        }
        static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < kLeast[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return std::nullopt;
        points.push_back(point);
        at += size_t(length);
    }
    return points;
}

void appendHexUnit(std::string& hex, uint32_t unit)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4) hex += kDigits[(unit >> shift) & 0xF];
}

void appendHexUtf16(std::string& hex, uint32_t point)
{
    if (point < 0x10000) {
        appendHexUnit(hex, point);
    } else {
        appendHexUnit(hex, 0xD800 + ((point - 0x10000) >> 10));
        appendHexUnit(hex, 0xDC00 + ((point - 0x10000) & 0x3FF));
    }
}

}  // namespace pagelift
