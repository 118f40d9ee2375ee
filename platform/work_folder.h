#pragma once

#include <string>

namespace pagelift {

// A folder under the temporary folder that belongs to this process alone
// ("pagelift-<pid>-XXXXXX"), so that copies of the program running side by
// side never overwrite each other's working files. Only a run that needs a
// working file (a raw stream, an AWD document) makes it: its name is chosen
// at the first call, without touching the file system, and the folder is
// made by makeWorkFolderFor. Once made, the folder and everything in it are
// removed when the process exits normally or is ended by SIGINT, SIGTERM,
// SIGHUP or SIGQUIT. A process that was killed cannot remove its own: the
// folder holds a lock file that its process keeps locked, so that the
// programs, as they start, remove the folders of copies whose lock is free
// (sweepDeadWorkFolders, platform/leftovers.h).
//
// Returns the folder path ending in '/', the same on every call.
const std::string& privateWorkFolder();

// Makes the private folder when `path` lies in it and it is not made yet.
// True when the folder of `path` may be written now (a path elsewhere is the
// caller's own business); false, with errno set and the reason on standard
// error once, when the folder cannot be made.
bool makeWorkFolderFor(const std::string& path);

// The prefix of the working files of parallel job `job` (from 1) in the
// private folder, "job<N>-": each job writes its own. A stop by signal also
// removes the files of every job whose prefix was asked for.
std::string jobFilePrefix(int job);

// The prefix of the working files of the window's page preview ("view-"),
// which decodes beside the runs; a stop by signal removes them too once asked
// for.
std::string previewFilePrefix();

// Removes the private folder and its files now (normally done at exit).
void removePrivateWorkFolder();

}  // namespace pagelift
