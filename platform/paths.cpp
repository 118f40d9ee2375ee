#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace pagelift {

std::string programPath()
{
    // readlink does not tell the length of the target up front, so grow
    // the buffer until the answer fits.
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

std::string folderOfPath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string nameOfPath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string temporaryFolder()
{
    std::string folder = "/tmp";
    if (const char* fromEnvironment = std::getenv("TMPDIR"); fromEnvironment != nullptr && *fromEnvironment != '\0') {
        struct stat info {};
        if (stat(fromEnvironment, &info) == 0 && S_ISDIR(info.st_mode)) folder = fromEnvironment;
    }
    if (folder.back() != '/') folder += '/';
    return folder;
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

}  // namespace pagelift
