#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace pagelift {

ExclusiveFileLock::~ExclusiveFileLock()
{
    release();
}

bool ExclusiveFileLock::tryAcquire(const std::string& path)
{
    return take(path, false);
}

bool ExclusiveFileLock::acquire(const std::string& path)
{
    return take(path, true);
}

bool ExclusiveFileLock::take(const std::string& path, bool wait)
{
    if (held()) return true;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    int locked = -1;
    do {
        locked = ::flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void ExclusiveFileLock::release()
{
    if (!held()) return;
    ::close(fd_);  // closing the last descriptor ends the lock
    fd_ = -1;
}

}  // namespace pagelift
