#include "ui/run_texts.h"

#include "output/output_names.h"

#include <ctime>

namespace pagelift {
namespace {

std::tm localTimeOf(std::chrono::system_clock::time_point point)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(point);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    return local;
}

std::string formatted(const std::tm& time, const char* format)
{
    char text[64] = {};
    const size_t length = std::strftime(text, sizeof text, format, &time);
    return std::string(text, length);
}

}  // namespace

std::string runStatusText(const RunTally& tally)
{
    std::string text = std::to_string(tally.converted) + " FAX files converted";
    if (tally.failed != 0) text += ", " + std::to_string(tally.failed) + " failed";
    if (tally.skipped != 0) text += ", " + std::to_string(tally.skipped) + " skipped";
    if (!tally.stopped) return "Done. " + text;
    return "Cancelled after " + std::to_string(tally.finished()) + " of " + std::to_string(tally.listed) +
           " files: " + text;
}

std::string singleLine(const std::string& text)
{
    std::string shown = text;
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return shown;
}

std::string writtenFilesText(const std::string& target, const std::vector<std::string>& written)
{
    if (written.empty()) return {};
    if (written.size() == 1) return written.front();
    // Page names are the target's base, the page number and the extension.
    const std::string base = pageNameBase(target);
    const std::string& last = written.back();
    const size_t slash = last.rfind('/');
    const std::string tail = last.compare(0, base.size(), base) == 0
                                 ? last.substr(base.size())
                                 : last.substr(slash == std::string::npos ? 0 : slash + 1);
    return written.front() + " ... " + tail + " (" + std::to_string(written.size()) + " pages)";
}

std::string shortenedPath(const std::string& path, int room, const TextWidth& widthOf,
                          const MiddleElision& elideMiddle)
{
    if (widthOf(path) <= room) return path;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return elideMiddle(path, room);
    const std::string tail = path.substr(slash);  // "/name"
    const int folderRoom = room - widthOf(tail);
    // A folder shortened to less than an ellipsis and a letter or two tells
    // nothing: then the path as a whole is shortened.
    const std::string folder = elideMiddle(path.substr(0, slash), folderRoom);
    if (folderRoom <= 0 || folder.empty() || widthOf(folder) > folderRoom) return elideMiddle(path, room);
    return folder + tail;
}

std::string nextRunText(std::chrono::system_clock::time_point due, std::chrono::system_clock::time_point now)
{
    const std::tm dueTime = localTimeOf(due);
    const std::tm today = localTimeOf(now);
    const bool sameDay = dueTime.tm_year == today.tm_year && dueTime.tm_yday == today.tm_yday;
    return sameDay ? "next run at " + formatted(dueTime, "%H:%M")
                   : "next run on " + formatted(dueTime, "%Y-%m-%d at %H:%M");
}

std::string statusWithNextRun(const std::string& status, const std::string& nextRun)
{
    return status.empty() ? nextRun : status + " - " + nextRun;
}

std::string trayTipText(const std::string& watchedFolder, const std::string& nextRun)
{
    if (nextRun.empty()) return "Zoziv Pagelift\nConvert ALL fax documents to jpg";
    return "Zoziv Pagelift\nWatching " + singleLine(watchedFolder) + " - " + nextRun;
}

}  // namespace pagelift
