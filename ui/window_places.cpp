#include "ui/window_places.h"

#include "platform/files.h"
#include "platform/paths.h"

#include <unistd.h>

#include <cstdlib>

namespace pagelift {
namespace {

std::string configHome()
{
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') return xdg;
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return joinPath(home, ".config");
    return temporaryFolder() + ".config";
}

}  // namespace

std::string settingsFilePath(const std::string& programFolder)
{
    if (!programFolder.empty()) {
        const std::string portable = joinPath(programFolder, "pagelift.ini");
        if (readableFileSize(portable) >= 0 && ::access(portable.c_str(), W_OK) == 0 &&
            folderIsWritable(programFolder)) {
            return portable;
        }
    }
    return joinPath(joinPath(configHome(), "pagelift"), "pagelift.ini");
}

std::string automaticConversionLockPath(const std::string& settingsFile)
{
    return settingsFile + ".lock";
}

std::string helpPagePath(const std::string& programPath)
{
    if (programPath.empty()) return {};
    const std::string folder = folderOfPath(programPath);
    std::string beside = programPath;
    const size_t dot = beside.rfind('.');
    if (dot != std::string::npos && dot > folder.size()) beside.resize(dot);
    beside += ".html";
    if (readableFileSize(beside) > 0) return beside;

    const std::string installed = joinPath(folderOfPath(folder), "share/doc/pagelift/pagelift.html");
    if (nameOfPath(folder) == "bin" && readableFileSize(installed) > 0) return installed;
    return {};
}

}  // namespace pagelift
