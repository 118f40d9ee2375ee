#pragma once

#include <string>

namespace pagelift {

// The window's settings file. "pagelift.ini" beside the program only when
// that file already exists there and both it and its folder are writable (a
// copy of the program kept in a folder of its own); otherwise
// $XDG_CONFIG_HOME/pagelift/pagelift.ini, with ~/.config when the variable is
// unset, empty or not an absolute path. A program folder is never written to
// unless such a file was put there on purpose.
std::string settingsFilePath(const std::string& programFolder);

// The lock file that lets one running copy per settings file convert
// automatically: the settings file's path with ".lock" added.
std::string automaticConversionLockPath(const std::string& settingsFile);

// The help page: the program's path with ".html" for its extension (beside a
// program in a build folder or a folder of its own), else the installed page
// <prefix>/share/doc/pagelift/pagelift.html for a program in <prefix>/bin.
// Empty when neither exists.
std::string helpPagePath(const std::string& programPath);

}  // namespace pagelift
