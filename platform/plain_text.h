#pragma once

// Small pieces of text handling that readers of settings, rules and
// command lines share. ASCII only: letters beyond it are left as they are.

#include <string>
#include <string_view>

namespace pagelift {

// The text without the blanks (spaces, tabs, line ends) at either end.
std::string_view trimmedBlanks(std::string_view text);

// The text with ASCII capitals made small.
std::string lowerAscii(std::string text);

// True when the two texts are equal but for the case of ASCII letters.
bool equalNoCase(std::string_view a, std::string_view b);

}  // namespace pagelift
