#pragma once

// When a fax was received, as the files that hold it state it: fax servers
// write the time in the receiving machine's local time, without a zone.

#include <optional>
#include <string_view>

namespace pagelift {

struct FaxDateTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to the month's last
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// A date and time written "YYYY:MM:DD hh:mm:ss" (TIFF's form, HylaFAX's) or
// "YYYY/MM/DD hh:mm:ss" (spandsp's), blanks and zero bytes after it
// ignored; none when the text is of neither form or names no possible time
// (a month's 30th February, the year 0, an hour 24 or a second 60).
std::optional<FaxDateTime> parseFaxDateTime(std::string_view text);

}  // namespace pagelift
