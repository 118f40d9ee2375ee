#include "platform/leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace pagelift {
namespace {

constexpr const char* kPartialMark = ".part-";
constexpr const char* kWorkFolderPrefix = "pagelift-";

// The process number at text[from...] when the rest of the text is decimal
// digits only (at most 9 of them, so no overflow); -1 otherwise.
long decimalAt(const std::string& text, size_t from, size_t end)
{
    if (from >= end || end - from > 9) return -1;
    long value = 0;
    for (size_t i = from; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value > 0 ? value : -1;
}

// The process number of a partial file's name ("x.jpg.part-123"); -1 when
// the name is no partial file's.
long partialFileOwner(const std::string& name)
{
    const size_t mark = name.rfind(kPartialMark);
    if (mark == std::string::npos || mark == 0) return -1;
    return decimalAt(name, mark + std::char_traits<char>::length(kPartialMark), name.size());
}

// The process number of a working folder's name ("pagelift-123-AbC9xz");
// -1 when the name is no working folder's.
long workFolderOwner(const std::string& name)
{
    const size_t prefix = std::char_traits<char>::length(kWorkFolderPrefix);
    if (name.compare(0, prefix, kWorkFolderPrefix) != 0) return -1;
    const size_t dash = name.find('-', prefix);
    if (dash == std::string::npos || name.size() - dash - 1 != 6) return -1;
    return decimalAt(name, prefix, dash);
}

bool ownedByThisUser(const struct stat& info)
{
    return info.st_uid == ::geteuid();
}

enum class LockOutcome { Taken, HeldByAnother, NotSupported };

// Takes the lock of an open descriptor without waiting. Some file systems
// take no locks at all (an NFS mount without its lock service): there
// nobody can be told apart by a lock, and the caller goes by what else it
// knows.
LockOutcome takeLockNow(int fd)
{
    int locked = -1;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked == 0) return LockOutcome::Taken;
    return errno == EWOULDBLOCK ? LockOutcome::HeldByAnother : LockOutcome::NotSupported;
}

// Removes one partial file when nobody owns it any more.
bool removeIfAbandoned(const std::string& path, long owner)
{
    if (!processIsGone(owner)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat info {};
    bool removed = false;
    // The lock is held while unlinking, so that no writer can take the name
    // in between.
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ownedByThisUser(info) &&
        takeLockNow(fd) != LockOutcome::HeldByAnother) {
        removed = ::unlink(path.c_str()) == 0;
    }
    ::close(fd);
    return removed;
}

// True when the working folder's copy no longer runs. The folder is opened
// as a descriptor so that a link put in its place cannot redirect the test.
bool workFolderIsAbandoned(int folderFd, long owner, int& lockFd)
{
    lockFd = ::openat(folderFd, kWorkFolderLockName, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (lockFd >= 0) {
        const LockOutcome lock = takeLockNow(lockFd);
        return lock == LockOutcome::Taken || (lock == LockOutcome::NotSupported && processIsGone(owner));
    }
    // A folder without a lock file comes from a copy that has only just
    // made it (its process then still runs) or from before locks were kept.
    return errno == ENOENT && processIsGone(owner);
}

}  // namespace

std::string partialFileName(const std::string& finalPath)
{
    return finalPath + kPartialMark + std::to_string(static_cast<long>(::getpid()));
}

bool isPartialFileName(const std::string& name)
{
    return partialFileOwner(name) > 0;
}

bool lockWhileOpen(int fd)
{
    return takeLockNow(fd) != LockOutcome::HeldByAnother;
}

bool processIsGone(long pid)
{
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

int sweepDeadWorkFolders(const std::string& parent)
{
    DIR* listing = ::opendir(parent.c_str());
    if (listing == nullptr) return 0;
    std::vector<std::string> abandoned;
    std::vector<int> heldLocks;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        const long owner = workFolderOwner(name);
        if (owner < 0 || owner == static_cast<long>(::getpid())) continue;
        const int folderFd = ::openat(::dirfd(listing), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (folderFd < 0) continue;
        struct stat info {};
        int lockFd = -1;
        if (::fstat(folderFd, &info) == 0 && ownedByThisUser(info) && workFolderIsAbandoned(folderFd, owner, lockFd)) {
            abandoned.push_back(name);
            // Kept locked until the folder is gone.
            if (lockFd >= 0) heldLocks.push_back(lockFd);
        } else if (lockFd >= 0) {
            ::close(lockFd);
        }
        ::close(folderFd);
    }
    ::closedir(listing);

    int removed = 0;
    for (const std::string& name : abandoned) {
        std::error_code ignored;
        // remove_all does not follow links inside the folder.
        if (std::filesystem::remove_all(std::filesystem::path(parent) / name, ignored) > 0) ++removed;
    }
    for (const int fd : heldLocks) ::close(fd);
    return removed;
}

int sweepDeadPartialFiles(const std::string& folder, bool recursive)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const auto options = fs::directory_options::skip_permission_denied;
    int removed = 0;
    // The name first: a destination holds thousands of JPEG files, and only
    // the few partial ones are worth a look at the file itself (which
    // removeIfAbandoned takes without following links).
    const auto consider = [&](const fs::directory_entry& entry) {
        const long owner = partialFileOwner(entry.path().filename().string());
        if (owner > 0 && removeIfAbandoned(entry.path().string(), owner)) ++removed;
    };
    if (recursive) {
        fs::recursive_directory_iterator walk(folder, options, error);
        for (const fs::recursive_directory_iterator end; !error && walk != end; walk.increment(error)) consider(*walk);
    } else {
        fs::directory_iterator walk(folder, options, error);
        for (const fs::directory_iterator end; !error && walk != end; walk.increment(error)) consider(*walk);
    }
    return removed;
}

}  // namespace pagelift
