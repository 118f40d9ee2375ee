#pragma once

// Whether a file is still being written by another process: a fax server
// receiving a fax keeps its file open (and often locked) until the call ends.

#include <compare>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace pagelift {

// A file as the system knows it, whatever names lead to it.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

// The identity of the file a path names (links followed); none when it
// cannot be looked at.
std::optional<FileIdentity> identityOf(const std::string& path);

// Every file that another process has open for writing, as far as this
// process may look (the open files of processes it may inspect under
// /proc). Costs a look at every open file of those processes, so callers
// take one snapshot for many files.
std::set<FileIdentity> filesOpenForWriting();

// True when another process holds a lock for writing on the file: an
// exclusive flock or a POSIX write lock. False also when it cannot be opened.
bool writeLockHeld(const std::string& path);

}  // namespace pagelift
