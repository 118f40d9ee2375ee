#pragma once

// What runs must remember between them, kept in a file of the run's state
// folder: which source got which name, which fax had which delivery.

#include <functional>
#include <map>
#include <string>

namespace pagelift {

// Keys and values, read whole and replaced whole. Several processes may
// keep one record (the watcher and a manual run): each saves only the keys
// it set, over what the file holds by then.
class RunRecord {
public:
    // The record in `path`; empty when the file is missing or cannot be read,
    // or `path` is empty.
    explicit RunRecord(std::string path);

    // The value of `key`; "" when it has none.
    std::string valueOf(const std::string& key) const;

    // Hands each key and its value to `take`, in the order of the keys.
    void forEach(const std::function<void(const std::string& key, const std::string& value)>& take) const
    {
        for (const auto& [key, value] : values_) take(key, value);
    }

    void set(const std::string& key, const std::string& value)
    {
        values_[key] = value;
        changed_[key] = value;
    }

    // Writes the keys set since it was read into the file as it stands now,
    // its folder made when missing, while holding the record's lock (a file
    // beside it) so that no other process's keys are lost; the record then
    // holds what the file does. False when it cannot be written.
    bool save();

    // Under the lock of the record in `path`: reads the value of `key` and,
    // when `next` makes another of it, stores that, so that no other process
    // comes between. Returns the value it had ("" for none, and with no
    // `path`). A record that cannot be written keeps nothing; the caller
    // goes on as if it had.
    static std::string exchange(const std::string& path, const std::string& key,
                                const std::function<std::string(const std::string& value)>& next);

    // Under the lock of the record in `path`: removes the keys `drop` holds
    // for, and writes the record only when it removed one. Returns how many
    // it removed (0 as well when the record cannot be written).
    static size_t removeWhere(const std::string& path,
                              const std::function<bool(const std::string& key, const std::string& value)>& drop);

private:
    bool saveHoldingLock();

    std::string path_;
    std::map<std::string, std::string> values_;
    std::map<std::string, std::string> changed_;
};

// A source as records name it: its absolute path (links resolved, so that
// a run given a relative path or a linked folder names it as the watcher
// does), size and modification time, so that a new file under an old name
// is another source.
std::string sourceIdentity(const std::string& path);

// True when the source an identity names can never be met again: its file
// was replaced or removed while its folder is still there. A folder that is
// gone (a share not mounted) proves nothing, so false then.
bool sourceIdentityIsStale(const std::string& identity);

}  // namespace pagelift
