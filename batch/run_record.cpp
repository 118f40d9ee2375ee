#include "batch/run_record.h"

#include "batch/file_listing.h"
#include "batch/single_file.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/paths.h"

#include <optional>

namespace pagelift {

namespace {

// Lines of two entries, the key and its value, escaped as a listing's
// entries are.
std::map<std::string, std::string> recordIn(const std::string& path)
{
    std::map<std::string, std::string> values;
    const std::vector<std::string> entries = readListedEntries(wholeFile(path).value_or(""));
    for (size_t index = 0; index + 1 < entries.size(); index += 2) values[entries[index]] = entries[index + 1];
    return values;
}

}  // namespace

RunRecord::RunRecord(std::string path) : path_(std::move(path))
{
    if (!path_.empty()) values_ = recordIn(path_);
}

std::string RunRecord::valueOf(const std::string& key) const
{
    const auto found = values_.find(key);
    return found == values_.end() ? "" : found->second;
}

bool RunRecord::save()
{
    if (path_.empty() || !ensureFolder(folderOfPath(path_))) return false;
    // Without the lock (its file cannot be made) the keys are still written:
    // a record kept is worth more than none.
    ExclusiveFileLock lock;
    (void)lock.acquire(path_ + ".lock");
    return saveHoldingLock();
}

bool RunRecord::saveHoldingLock()
{
    values_ = recordIn(path_);
    for (const auto& [key, value] : changed_) values_[key] = value;
    std::string text;
    for (const auto& [key, value] : values_) text += listingEscaped(key) + "\t" + listingEscaped(value) + "\n";
    if (!replaceFileContents(path_, text)) return false;
    changed_.clear();
    return true;
}

std::string RunRecord::exchange(const std::string& path, const std::string& key,
                                const std::function<std::string(const std::string& value)>& next)
{
    if (path.empty()) return {};
    // Without the lock or the folder the value is still read and the new
    // one tried: a record kept is worth more than none.
    (void)ensureFolder(folderOfPath(path));
    ExclusiveFileLock lock;
    (void)lock.acquire(path + ".lock");
    RunRecord record(path);
    const std::string before = record.valueOf(key);
    const std::string after = next(before);
    if (after != before) {
        record.set(key, after);
        (void)record.saveHoldingLock();
    }
    return before;
}

std::string sourceIdentity(const std::string& path)
{
    const std::optional<FileStamp> stamp = fileStamp(path);
    if (!stamp) return path;
    return path + "|" + std::to_string(stamp->size) + "|" + std::to_string(stamp->modifiedNs);
}

}  // namespace pagelift
