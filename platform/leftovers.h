#pragma once

// What copies of the program that were killed leave behind, and how a later
// copy recognises and removes it without ever touching the files of a copy
// that still runs.
//
// A copy's files are its own while it lives: its working folder holds a
// lock file that it keeps locked, and a partial output file is locked while
// it is written. Locks end with their process, however it ends, so a file
// whose lock can be taken (and, for names without a lock, whose process
// number no longer runs) belongs to nobody.

#include <string>

namespace pagelift {

// The name a file is written under until it is complete, beside its final
// name so that the last rename stays on one file system: NAME.part-PID.
std::string partialFileName(const std::string& finalPath);

// True when a file name has the form of a partial file's (NAME.part-PID).
bool isPartialFileName(const std::string& name);

// Takes the lock of an open file without waiting; it lasts while this
// process keeps the file open. False when another process holds it; true
// also on a file system that takes no locks (nothing can be told by them
// there, so the writer goes on).
bool lockWhileOpen(int fd);

// True when no process with this number exists (one that runs under another
// user counts as existing).
bool processIsGone(long pid);

// The lock file inside a working folder: the folder is its owner's while
// somebody holds the lock on it.
inline constexpr const char* kWorkFolderLockName = "lock";

// Removes the working folders ("pagelift-PID-XXXXXX" under `parent`, of
// this user) whose copy no longer runs: the lock file in them is not held,
// or, for a folder without one, no process of that number exists. Links and
// foreign folders are never followed or touched. Returns how many were
// removed.
int sweepDeadWorkFolders(const std::string& parent);

// Removes the partial files ("*.part-PID", regular files of this user) in
// `folder` and, with `recursive`, in its subfolders (links not followed)
// whose process no longer exists and whose lock nobody holds. Returns how
// many were removed; a folder that cannot be read removes nothing.
int sweepDeadPartialFiles(const std::string& folder, bool recursive);

}  // namespace pagelift
