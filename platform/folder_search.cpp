#include "platform/folder_search.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <memory>

namespace pagelift {
namespace {

char lowerAscii(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

bool matchesWildcard(const std::string& pattern, const std::string& name)
{
    if (pattern == "*.*") return true;
    // Iterative matching with one backtrack point: linear in practice and
    // never recursive, whatever the pattern.
    size_t p = 0;
    size_t n = 0;
    size_t starAt = std::string::npos;
    size_t resumeName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeName = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || lowerAscii(pattern[p]) == lowerAscii(name[n]))) {
            ++p;
            ++n;
        } else if (starAt != std::string::npos) {
            p = starAt + 1;
            n = ++resumeName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::vector<FolderEntry> searchFolder(const std::string& folderAndPattern)
{
    const size_t slash = folderAndPattern.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : folderAndPattern.substr(0, slash + 1);
    const std::string pattern = slash == std::string::npos ? folderAndPattern : folderAndPattern.substr(slash + 1);

    std::vector<FolderEntry> entries;
    std::unique_ptr<DIR, int (*)(DIR*)> directory(opendir(folder.c_str()), closedir);
    if (!directory) return entries;
    while (const dirent* entry = readdir(directory.get())) {
        const std::string name = entry->d_name;
        if (!matchesWildcard(pattern, name)) continue;
        FolderEntry found;
        found.name = name;
        const std::string path = folder + name;
        struct stat info {};
        if (lstat(path.c_str(), &info) == 0) {
            found.isLink = S_ISLNK(info.st_mode);
            if (found.isLink && stat(path.c_str(), &info) != 0) info = {};
            found.isFolder = S_ISDIR(info.st_mode);
        }
        entries.push_back(std::move(found));
    }
    return entries;
}

}  // namespace pagelift
