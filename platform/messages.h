#pragma once

#include <string>

namespace pagelift {

// The results box of a command-line run: the text goes to standard output,
// CR LF line ends shown as the terminal's LF.
void showResultsMessage(const std::string& text);

// An error box: the caption, then the text, on standard error.
void showErrorMessage(const std::string& text, const std::string& caption);

// CR LF pairs become LF; every other character stays.
std::string toTerminalLineEnds(const std::string& text);

}  // namespace pagelift
