#include "platform/fax_time.h"

namespace pagelift {
namespace {

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<FaxDateTime> parseFaxDateTime(std::string_view text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
    if (text.size() != 19) return std::nullopt;
    // The date's two separators must be alike: both ':' or both '/'.
    const char dateSeparator = text[4];
    if ((dateSeparator != ':' && dateSeparator != '/') || text[7] != dateSeparator || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    const auto field = [text](size_t at, size_t length) {
        int value = 0;
        for (size_t index = at; index < at + length; ++index) {
            if (text[index] < '0' || text[index] > '9') return -1;
            value = value * 10 + (text[index] - '0');
        }
        return value;
    };
    const FaxDateTime time{field(0, 4), field(5, 2), field(8, 2), field(11, 2), field(14, 2), field(17, 2)};
    if (time.year < 1 || time.month < 1 || time.month > 12 || time.day < 1 ||
        time.day > daysInMonth(time.year, time.month) || time.hour < 0 || time.hour > 23 || time.minute < 0 ||
        time.minute > 59 || time.second < 0 || time.second > 59) {
        return std::nullopt;
    }
    return time;
}

}  // namespace pagelift
