#include "batch/run_record.h"

#include "batch/file_listing.h"
#include "batch/single_file.h"
#include "platform/files.h"
#include "platform/paths.h"

#include <optional>

namespace pagelift {

RunRecord::RunRecord(std::string path) : path_(std::move(path))
{
    if (path_.empty()) return;
    // Lines of two entries, the key and its value, escaped as a listing's
    // entries are.
    const std::vector<std::string> entries = readListedEntries(wholeFile(path_).value_or(""));
    for (size_t index = 0; index + 1 < entries.size(); index += 2) values_[entries[index]] = entries[index + 1];
}

std::string RunRecord::valueOf(const std::string& key) const
{
    const auto found = values_.find(key);
    return found == values_.end() ? "" : found->second;
}

bool RunRecord::save() const
{
    if (path_.empty() || !ensureFolder(folderOfPath(path_))) return false;
    std::string text;
    for (const auto& [key, value] : values_) text += listingEscaped(key) + "\t" + listingEscaped(value) + "\n";
    return replaceFileContents(path_, text);
}

std::string sourceIdentity(const std::string& path)
{
    const std::optional<FileStamp> stamp = fileStamp(path);
    if (!stamp) return path;
    return path + "|" + std::to_string(stamp->size) + "|" + std::to_string(stamp->modifiedNs);
}

}  // namespace pagelift
