#pragma once

// Changes in folders as the kernel reports them (inotify), so that a watcher
// sleeps until something happens instead of polling a local disk. Network
// folders may not report changes made on other machines: callers rescan
// those now and then.

#include <string>
#include <vector>

namespace pagelift {

class FolderEvents {
public:
    FolderEvents();
    ~FolderEvents();
    FolderEvents(const FolderEvents&) = delete;
    FolderEvents& operator=(const FolderEvents&) = delete;

    // False when the system gives no change notification (errno tells why).
    bool usable() const { return fd_ >= 0; }

    // Reports changes to the files directly in `folder` from now on: files
    // created, written, closed after writing, moved in, or given new times.
    // False when the folder cannot be watched (missing, unreadable, the
    // per-user limit of watches reached).
    bool watch(const std::string& folder);

    // What one wait brought.
    struct Changes {
        std::vector<std::string> files;    // paths of files that changed, as watched folder + "/" + name
        std::vector<std::string> folders;  // folders made or moved into a watched folder
        bool overflowed = false;           // the kernel dropped events: rescan everything
        bool woken = false;                // `wakeFd` became readable
    };

    // Waits up to `timeoutMs` (-1: no limit) for changes or for `wakeFd` (-1:
    // none) to become readable, and returns what came. An interrupted wait
    // returns with nothing.
    Changes wait(int timeoutMs, int wakeFd);

private:
    int fd_ = -1;
    std::vector<std::pair<int, std::string>> folders_;  // watch descriptor, folder
};

}  // namespace pagelift
