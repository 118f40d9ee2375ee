#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pagelift {

// True when the path names a folder the process could make its current
// folder (it exists and may be entered). The current folder itself is left
// alone: relative paths given by the user must keep their meaning for the
// whole run.
bool canEnterFolder(const std::string& path);

// Creates one folder (its parent must exist). False when it cannot be made,
// including when something of that name already exists.
bool createFolder(const std::string& path);

// True when the path names an existing folder.
bool folderExists(const std::string& path);

// True when the process may create files in the folder.
bool folderIsWritable(const std::string& path);

// What changes when a file is written, moved in or touched: its size, its
// modification time and its status-change time (nanoseconds since 1970).
struct FileStamp {
    int64_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of a regular file (links followed); none when there is no such
// file or it cannot be looked at.
std::optional<FileStamp> fileStamp(const std::string& path);

// Size in bytes of a regular file that can be opened for reading; -1 when
// it does not exist, is not a regular file or cannot be read.
int64_t readableFileSize(const std::string& path);

// The whole contents of a file; none when it cannot be opened or read.
std::optional<std::string> wholeFile(const std::string& path);

// Removes a file; false when it cannot (missing files included).
bool deleteFile(const std::string& path);

// Moves a file to a new name without ever replacing an existing file, also
// across file systems: there the file is copied to a new file, and the source
// is removed only once the copy is complete. The copy is written under a
// partial name (see platform/leftovers.h) and takes its final name only when
// complete, so a process killed halfway leaves no truncated file under the
// real name, only a partial file that the next start sweeps away. Any
// failure leaves the source where it was (and no partial copy behind). True
// when the move happened.
bool moveFileNoReplace(const std::string& from, const std::string& to);

// Replaces the contents of a file as one step: the text goes to a new file
// beside it, which is flushed to disk and then renamed over the old one, so a
// reader sees either the old contents or the new ones, never a mix, and a
// failure leaves the old file as it was (and no new file behind). A new
// file gets the permissions 0666 less the umask, an existing one keeps its
// own. False when any step fails.
bool replaceFileContents(const std::string& path, const std::string& contents);

// Gives `to` the last-access and last-write times of `from` (this system has
// no settable creation time). 0 on success; -1 when `from` cannot be opened
// for reading; -2 when `to` cannot be opened for writing or takes no times.
int copyFileTimes(const std::string& from, const std::string& to);

}  // namespace pagelift
