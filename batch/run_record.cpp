#include "batch/run_record.h"

#include "batch/file_listing.h"
#include "batch/single_file.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/paths.h"

#include <filesystem>
#include <optional>
#include <system_error>

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

// A source's path, size and modification time, as records hold them.
std::string identityOf(const std::string& path, const FileStamp& stamp)
{
    return path + "|" + std::to_string(stamp.size) + "|" + std::to_string(stamp.modifiedNs);
}

std::string recordText(const std::map<std::string, std::string>& values)
{
    std::string text;
    for (const auto& [key, value] : values) text += listingEscaped(key) + "\t" + listingEscaped(value) + "\n";
    return text;
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
    if (!replaceFileContents(path_, recordText(values_))) return false;
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

size_t RunRecord::removeWhere(const std::string& path,
                              const std::function<bool(const std::string& key, const std::string& value)>& drop)
{
    if (path.empty()) return 0;
    ExclusiveFileLock lock;
    (void)lock.acquire(path + ".lock");
    RunRecord record(path);
    size_t removed = 0;
    for (auto entry = record.values_.begin(); entry != record.values_.end();) {
        if (drop(entry->first, entry->second)) {
            entry = record.values_.erase(entry);
            ++removed;
        } else {
            ++entry;
        }
    }
    if (removed == 0) return 0;
    return replaceFileContents(path, recordText(record.values_)) ? removed : 0;
}

std::string sourceIdentity(const std::string& path)
{
    const std::optional<FileStamp> stamp = fileStamp(path);
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
    const std::string name = error || resolved.empty() ? path : resolved.string();
    return stamp ? identityOf(name, *stamp) : name;
}

bool sourceIdentityIsStale(const std::string& identity)
{
    const size_t timeAt = identity.rfind('|');
    if (timeAt == std::string::npos || timeAt == 0) return false;
    const size_t sizeAt = identity.rfind('|', timeAt - 1);
    if (sizeAt == std::string::npos) return false;
    const std::string path = identity.substr(0, sizeAt);
    if (const std::optional<FileStamp> stamp = fileStamp(path)) {
        return identity != identityOf(path, *stamp);
    }
    std::error_code error;
    const bool exists = std::filesystem::exists(path, error);
    return !error && !exists && folderExists(folderOfPath(path));
}

}  // namespace pagelift
