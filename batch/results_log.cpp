#include "batch/results_log.h"

#include "batch/single_file.h"
#include "platform/files.h"
#include "platform/paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace pagelift {
namespace {

bool ensureLogFolder(const std::string& logPath, LogFolderCreation creation)
{
    if (logPath.find('/') == std::string::npos) return true;
    const std::string folder = folderOfPath(logPath);
    if (folder.empty() || canEnterFolder(folder)) return true;
    if (creation == LogFolderCreation::AllParents) return ensureFolder(folder);
    return createFolder(folder);
}

void writeAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t written = ::write(fd, data.data() + done, data.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        done += static_cast<size_t>(written);
    }
}

}  // namespace

std::string formatLogRecord(const std::string& text, std::time_t when)
{
    std::tm local {};
    localtime_r(&when, &local);
    char stamp[64];
    const size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S\n", &local);
    return std::string(stamp, length) + text + std::string(50, '-') + "\n";
}

void appendToResultsLog(const std::string& logPath, const std::string& text, LogFolderCreation creation)
{
    if (logPath.empty()) return;
    if (!ensureLogFolder(logPath, creation)) return;

    const int fd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return;
    // One write of the whole record under an exclusive lock: a record from
    // another copy of the program lands before or after it, never inside.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    writeAll(fd, formatLogRecord(text, std::time(nullptr)));
    ::flock(fd, LOCK_UN);
    ::close(fd);
}

}  // namespace pagelift
