#include "ui/folder_fields.h"

#include "platform/files.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace pagelift {
namespace {

// The home folder of an account; the caller's own when `name` is empty.
// Empty when it cannot be found.
std::string homeFolderOf(const std::string& name)
{
    if (name.empty()) {
        if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    }
    long bufferSize = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(bufferSize > 0 ? static_cast<size_t>(bufferSize) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    const int failed = name.empty() ? ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)
                                    : ::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found);
    if (failed != 0 || found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/') return {};
    return found->pw_dir;
}

}  // namespace

std::string expandHomeFolder(const std::string& text)
{
    if (text.empty() || text[0] != '~') return text;
    const size_t slash = text.find('/');
    const std::string account = text.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
    std::string home = homeFolderOf(account);
    if (home.empty()) return text;
    if (slash == std::string::npos) return home;
    // "/" as the home folder must not give "//faxin".
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return (home == "/" ? "" : home) + text.substr(slash);
}

std::string nearestExistingFolder(const std::string& text)
{
    std::string path = expandHomeFolder(text);
    while (!path.empty()) {
        if (folderExists(path)) return path;
        const size_t slash = path.find_last_of('/');
        if (slash == std::string::npos) return {};
        path.resize(slash == 0 ? 1 : slash);  // the root folder ends the climb
        while (path.size() > 1 && path.back() == '/') path.pop_back();
    }
    return {};
}

}  // namespace pagelift
