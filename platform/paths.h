#pragma once

#include <string>

namespace pagelift {

// Absolute path of the running executable; empty when the system cannot tell.
std::string programPath();

// The text before the last '/' of a path; empty when the path has none.
// "/prog" gives "" and "/usr/bin/x" gives "/usr/bin".
std::string folderOfPath(const std::string& path);

// The name after the last '/' of a path (the whole path when it has none).
std::string nameOfPath(const std::string& path);

// "$TMPDIR" when it names an existing folder, else "/tmp"; always ends in '/'.
std::string temporaryFolder();

// Joins a folder and a name with exactly one '/' between them.
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace pagelift
