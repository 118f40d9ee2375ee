#include "platform/file_writers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace pagelift {
namespace {

bool isNumber(const char* text)
{
    if (*text == '\0') return false;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') return false;
    }
    return true;
}

// True when the descriptor's "flags:" line in /proc/PID/fdinfo/FD (octal)
// opens the file for writing.
bool openedForWriting(const std::string& fdinfoPath)
{
    std::FILE* info = std::fopen(fdinfoPath.c_str(), "re");
    if (info == nullptr) return false;
    char line[128];
    bool writing = false;
    while (std::fgets(line, sizeof line, info) != nullptr) {
        if (std::strncmp(line, "flags:", 6) != 0) continue;
        const unsigned long flags = std::strtoul(line + 6, nullptr, 8);
        writing = (flags & O_ACCMODE) == O_WRONLY || (flags & O_ACCMODE) == O_RDWR;
        break;
    }
    std::fclose(info);
    return writing;
}

}  // namespace

std::optional<FileIdentity> identityOf(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileIdentity{uint64_t(info.st_dev), uint64_t(info.st_ino)};
}

std::set<FileIdentity> filesOpenForWriting()
{
    std::set<FileIdentity> open;
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr) return open;
    const std::string self = std::to_string(::getpid());
    while (const dirent* process = ::readdir(processes)) {
        if (!isNumber(process->d_name) || self == process->d_name) continue;
        const std::string base = std::string("/proc/") + process->d_name;
        DIR* descriptors = ::opendir((base + "/fd").c_str());
        if (descriptors == nullptr) continue;  // not ours to look at, or gone
        while (const dirent* descriptor = ::readdir(descriptors)) {
            if (!isNumber(descriptor->d_name)) continue;
            struct stat info {};
            // Following the descriptor's link gives the open file itself.
            if (::stat((base + "/fd/" + descriptor->d_name).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
            const FileIdentity identity{uint64_t(info.st_dev), uint64_t(info.st_ino)};
            if (open.count(identity) != 0) continue;
            if (openedForWriting(base + "/fdinfo/" + descriptor->d_name)) open.insert(identity);
        }
        ::closedir(descriptors);
    }
    ::closedir(processes);
    return open;
}

bool writeLockHeld(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    bool held = false;
    struct flock probe {};
    probe.l_type = F_RDLCK;
    probe.l_whence = SEEK_SET;
    if (::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type == F_WRLCK) held = true;
    if (!held && ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) held = true;
    ::close(fd);  // ends the shared lock this took, if any
    return held;
}

}  // namespace pagelift
