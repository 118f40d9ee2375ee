#pragma once

#include "batch/conversion_run.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace pagelift {

// The status line at the end of a run: "Done. <n> FAX files converted",
// followed by ", <f> failed" and ", <s> skipped" when those are not 0; a
// stopped run says "Cancelled after <finished> of <listed> files: <n> FAX
// files converted" with the same counts after it.
std::string runStatusText(const RunTally& tally);

// A text shown on one line of the window: every control character (line
// breaks, tabs; file names may hold them) becomes '?', as ls shows them.
std::string singleLine(const std::string& text);

// The destination column of a file converted to `target`: the one JPEG
// written, or for several pages the first page's path, " ... ", the last
// page's number and extension, and the count: "out/fax001.jpg ... 012.jpg
// (12 pages)". Empty when nothing was written.
std::string writtenFilesText(const std::string& target, const std::vector<std::string>& written);

// A path shortened to fit `room`, keeping its file name whole as long as it
// can: the whole path when it fits; else its folder shortened in the middle
// and the file name after it ("2025/03-M…/received/letter.tif"); else,
// when not even the name fits beside an ellipsis, the whole path shortened
// in its middle. `widthOf` measures a text; `elideMiddle` shortens a text
// in its middle to a width.
using TextWidth = std::function<int(const std::string& text)>;
using MiddleElision = std::function<std::string(const std::string& text, int room)>;
std::string shortenedPath(const std::string& path, int room, const TextWidth& widthOf,
                          const MiddleElision& elideMiddle);

// When the next automatic run is due, in local time: "next run at 14:05",
// or "next run on 2025-03-14 at 14:05" when that is not today.
std::string nextRunText(std::chrono::system_clock::time_point due, std::chrono::system_clock::time_point now);

// The status line while automatic conversion is on and no run is going:
// the last status, " - ", and when the next run is due.
std::string statusWithNextRun(const std::string& status, const std::string& nextRun);

// The tray icon's tip: the program's own tip, or while automatic conversion
// is on, that it is watching the folder and when the next run is due.
std::string trayTipText(const std::string& watchedFolder, const std::string& nextRun);

}  // namespace pagelift
