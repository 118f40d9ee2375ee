#include "platform/folder_events.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pagelift {
namespace {

constexpr uint32_t kFileChanges = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_ATTRIB;

}  // namespace

FolderEvents::FolderEvents() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

FolderEvents::~FolderEvents()
{
    if (fd_ >= 0) ::close(fd_);
}

bool FolderEvents::watch(const std::string& folder)
{
    if (fd_ < 0) return false;
    const int descriptor = ::inotify_add_watch(fd_, folder.c_str(), kFileChanges | IN_ONLYDIR | IN_DONT_FOLLOW);
    if (descriptor < 0) return false;
    // The same folder watched twice gets the same descriptor: keep one entry.
    const auto known = std::find_if(folders_.begin(), folders_.end(),
                                    [&](const auto& entry) { return entry.first == descriptor; });
    if (known == folders_.end()) folders_.emplace_back(descriptor, folder);
    return true;
}

FolderEvents::Changes FolderEvents::wait(int timeoutMs, int wakeFd)
{
    Changes changes;
    pollfd waits[2] = {{fd_, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const nfds_t count = wakeFd >= 0 ? 2 : 1;
    if (::poll(waits, count, timeoutMs) <= 0) return changes;
    changes.woken = count == 2 && (waits[1].revents & POLLIN) != 0;
    if ((waits[0].revents & POLLIN) == 0) return changes;

    // Events are read whole: the buffer is aligned for inotify_event and
    // holds many of them, each with a name of at most NAME_MAX bytes.
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got <= 0) break;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= got;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            const char* name = buffer + at + sizeof(inotify_event);
            at += ssize_t(sizeof(inotify_event) + event.len);
            if ((event.mask & IN_Q_OVERFLOW) != 0) changes.overflowed = true;
            const int watchDescriptor = event.wd;
            const auto folder = std::find_if(folders_.begin(), folders_.end(),
                                             [&](const auto& entry) { return entry.first == watchDescriptor; });
            if (folder == folders_.end()) continue;
            if ((event.mask & IN_IGNORED) != 0) {
                folders_.erase(folder);  // the folder is gone
                continue;
            }
            if (event.len == 0 || at > got) continue;
            const std::string path = folder->second + "/" + std::string(name, strnlen(name, event.len));
            if ((event.mask & IN_ISDIR) != 0) {
                if ((event.mask & (IN_CREATE | IN_MOVED_TO)) != 0) changes.folders.push_back(path);
            } else {
                changes.files.push_back(path);
            }
        }
    }
    return changes;
}

}  // namespace pagelift
