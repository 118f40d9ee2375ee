#pragma once

#include <string>
#include <vector>

namespace pagelift {

struct FolderEntry {
    std::string name;
    bool isFolder = false;  // a folder, or a link to one
    bool isLink = false;    // a symbolic link (walks do not descend into linked folders)
};

// True when `name` matches the wildcard `pattern`: '*' any run of characters,
// '?' exactly one, letters compared without regard to case; "*.*" matches
// every name, with or without a dot.
bool matchesWildcard(const std::string& pattern, const std::string& name);

// Lists the entries of a folder whose names match a pattern given as
// "folder/pattern", in the order the directory returns them; "." and ".."
// are listed like any entry. Folders are matched like files. An empty list
// when the folder cannot be read or nothing matches.
std::vector<FolderEntry> searchFolder(const std::string& folderAndPattern);

}  // namespace pagelift
