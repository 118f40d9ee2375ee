#include "platform/plain_text.h"

#include <algorithm>

namespace pagelift {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

char lowerAsciiOf(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

}  // namespace

std::string_view trimmedBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string lowerAscii(std::string text)
{
    for (char& c : text) c = lowerAsciiOf(c);
    return text;
}

bool equalNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAsciiOf(x) == lowerAsciiOf(y); });
}

}  // namespace pagelift
