#include "platform/files.h"

#include <cstdio>

#include "platform/leftovers.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace pagelift {
namespace {

// Owns a file descriptor for the length of one operation.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now and reports whether the close succeeded (late write errors
    // of some file systems only show up here).
    bool close()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, const char* data, size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

// Gives a complete file at `from` the name `to` unless that name exists;
// false (with `from` still there) when it does or the rename fails.
bool renameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // The file system cannot rename without replacing: a hard link fails on
    // an existing name in the same way.
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
}

// Copies `from` into a new file `to` on another file system. The copy is
// written under a partial name beside `to` (locked while written, so that
// it is swept away if this process dies meanwhile) and given its name only
// once complete on disk, never over an existing file. On any failure
// nothing is left at either name.
bool copyToNewFile(const std::string& from, const std::string& to)
{
    Descriptor source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!source.valid()) return false;
    struct stat info {};
    if (fstat(source.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    const std::string partial = partialFileName(to);
    Descriptor target(::open(partial.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, info.st_mode & 07777));
    if (!target.valid()) return false;
    if (!lockWhileOpen(target.get())) return false;  // a live copy writes it
    bool complete = ::ftruncate(target.get(), 0) == 0;
    std::vector<char> buffer(1 << 20);
    while (complete) {
        const ssize_t got = ::read(source.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            complete = false;
            break;
        }
        if (got == 0) break;
        if (!writeAll(target.get(), buffer.data(), static_cast<size_t>(got))) {
            complete = false;
            break;
        }
    }
    if (complete) {
        const struct timespec times[2] = {info.st_atim, info.st_mtim};
        futimens(target.get(), times);
        complete = fsync(target.get()) == 0;
    }
    // Renamed while still open, so the lock covers the file until it has
    // its final name.
    complete = complete && renameNoReplace(partial, to);
    if (!complete) ::unlink(partial.c_str());
    if (!target.close() && complete) {
        ::unlink(to.c_str());
        return false;
    }
    return complete;
}

}  // namespace

bool canEnterFolder(const std::string& path)
{
    return folderExists(path) && ::access(path.c_str(), X_OK) == 0;
}

bool createFolder(const std::string& path)
{
    return !path.empty() && ::mkdir(path.c_str(), 0777) == 0;
}

bool folderExists(const std::string& path)
{
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool folderIsWritable(const std::string& path)
{
    return folderExists(path) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

std::optional<FileStamp> fileStamp(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    const auto nanoseconds = [](const struct timespec& time) { return int64_t(time.tv_sec) * 1000000000 + time.tv_nsec; };
    return FileStamp{int64_t(info.st_size), nanoseconds(info.st_mtim), nanoseconds(info.st_ctim)};
}

int64_t readableFileSize(const std::string& path)
{
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) return -1;
    struct stat info {};
    if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return static_cast<int64_t>(info.st_size);
}

bool deleteFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

bool moveFileNoReplace(const std::string& from, const std::string& to)
{
    struct stat info {};
    if (::lstat(from.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if (renameNoReplace(from, to)) return true;
    if (errno != EXDEV) return false;
    // Another file system: copy, and remove the source only once the copy
    // is complete on disk.
    if (!copyToNewFile(from, to)) return false;
    if (::unlink(from.c_str()) != 0) {
        ::unlink(to.c_str());
        return false;
    }
    return true;
}

int copyFileTimes(const std::string& from, const std::string& to)
{
    Descriptor source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!source.valid()) return -1;
    struct stat info {};
    if (fstat(source.get(), &info) != 0) return -1;
    source.close();

    Descriptor target(::open(to.c_str(), O_WRONLY | O_CLOEXEC));
    if (!target.valid()) return -2;
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (futimens(target.get(), times) != 0) return -2;
    return 0;
}

namespace {

// The process's umask, read without setting it: umask(2) can only be read
// by changing it, and a file another thread creates in that moment would
// get the changed one. The kernel states it in /proc/self/status (Linux
// 4.7 and later); without that, the strictest mask usual (077) is assumed.
mode_t processUmask()
{
    std::FILE* status = std::fopen("/proc/self/status", "re");
    if (status == nullptr) return 077;
    char line[256];
    unsigned mask = 077;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
    }
    std::fclose(status);
    return mode_t(mask & 0777);
}

}  // namespace

bool replaceFileContents(const std::string& path, const std::string& contents)
{
    std::string pattern = path + ".new-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    Descriptor file(::mkstemp(name.data()));
    if (!file.valid()) return false;
    const std::string temporary(name.data());

    struct stat existing {};
    mode_t mode = 0;
    if (::stat(path.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        mode = 0666 & ~processUmask();
    }
    const bool written = writeAll(file.get(), contents.data(), contents.size()) && ::fchmod(file.get(), mode) == 0 &&
                         ::fsync(file.get()) == 0;
    if (!file.close() || !written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::optional<std::string> wholeFile(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return std::nullopt;
    return bytes;
}

}  // namespace pagelift
