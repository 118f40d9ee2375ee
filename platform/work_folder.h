#pragma once

#include <string>

namespace pagelift {

// A folder under the temporary folder that belongs to this process alone
// ("pagelift-<pid>-XXXXXX"), so that copies of the program running side by
// side never overwrite each other's working files. The folder and everything
// in it are removed when the process exits normally or is ended by SIGINT,
// SIGTERM, SIGHUP or SIGQUIT. A process that was killed cannot remove its
// own: the folder holds a lock file that its process keeps locked, and the
// first call removes the folders of copies whose lock is free (see
// platform/leftovers.h) before making this one.
//
// Returns the folder path ending in '/', the same on every call; an empty
// string when it cannot be created (errno tells why).
const std::string& privateWorkFolder();

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
