#pragma once

// Which files of a watched folder are ready to convert. A fax server writes
// a fax while it is received, for minutes; converting it half-way would
// give short pages and, with a backup folder, move the file away from under
// its writer. So a file is due only once its stamp (size and times) has
// stayed the same for the settle time and it was not converted in that
// state already; the caller also makes sure no process holds it open for
// writing before it converts.

#include "platform/files.h"

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace pagelift {

class ArrivalTracker {
public:
    using Clock = std::chrono::steady_clock;

    explicit ArrivalTracker(Clock::duration settle) : settle_(settle) {}

    // The file was seen with this stamp at `now`. A file new to the tracker,
    // or whose stamp changed, starts its quiet time over; `alreadyQuiet` is
    // how long its times say it has been left alone already (counted up to
    // the settle time), so that files found at start-up need not wait. A
    // sighting with an unchanged stamp ends a postponement: it comes from
    // an event (the writer closing it) and is worth a new look.
    void saw(const std::string& path, const FileStamp& stamp, Clock::time_point now,
             Clock::duration alreadyQuiet = Clock::duration::zero());

    // The file is gone (or no longer a candidate).
    void forget(const std::string& path);

    // Forgets every file but these (a new listing of the folder).
    void keepOnly(const std::set<std::string>& paths);

    // The files quiet for the settle time, not postponed, and not handled in
    // their present stamp, in the order of their paths.
    std::vector<std::string> due(Clock::time_point now) const;

    // When the next waiting file becomes due; none when no file waits.
    std::optional<Clock::time_point> nextDue() const;

    // The file was converted (or tried) with this stamp: it is not due again
    // until its stamp changes. A stamp other than the one last seen means
    // it changed during the conversion: it stays due for a new one.
    void handled(const std::string& path, const FileStamp& stamp);

    // Not before `until` (a writer still holds it); a sighting may end it
    // sooner.
    void postpone(const std::string& path, Clock::time_point until);

    // Handled in this stamp, but due again at `when` (a delivery to try
    // again); sightings do not bring it forward, a new stamp does. Nothing
    // happens when the file's stamp is another by now.
    void dueAgainAt(const std::string& path, const FileStamp& stamp, Clock::time_point when);

    // The stamp last seen; none for a file the tracker does not know.
    std::optional<FileStamp> stampOf(const std::string& path) const;

private:
    struct Entry {
        FileStamp stamp;
        Clock::time_point quietSince;
        Clock::time_point notBefore;
        bool handled = false;
        Clock::time_point heldUntil{};  // dueAgainAt
    };
    Clock::time_point dueAt(const Entry& entry) const;

    Clock::duration settle_;
    std::map<std::string, Entry> files_;
};

}  // namespace pagelift
