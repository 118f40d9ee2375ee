#include "output/name_template.h"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace pagelift {
namespace {

constexpr const char* kUnknown = "unknown";
constexpr const char* kReceivedFormat = "%Y-%m-%d %H:%M";

bool isFactName(std::string_view name)
{
    const std::vector<std::string_view>& names = faxFactNames();
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string textFact(const FaxFacts& facts, std::string_view name)
{
    const std::string* value = name == "sender"       ? &facts.sender
                               : name == "caller"     ? &facts.caller
                               : name == "callername" ? &facts.callerName
                               : name == "called"     ? &facts.called
                               : name == "subaddress" ? &facts.subAddress
                               : name == "source"     ? &facts.source
                               : name == "machine"    ? &facts.machine
                                                      : nullptr;
    if (name == "pages") return facts.pages ? std::to_string(*facts.pages) : kUnknown;
    return value == nullptr || value->empty() ? kUnknown : *value;
}

// The received time in `format` (strftime's); the file's time when the fax
// states none.
std::string receivedText(const FaxFacts& facts, int64_t fileSeconds, const std::string& format)
{
    std::tm time{};
    if (facts.received) {
        time.tm_year = facts.received->year - 1900;
        time.tm_mon = facts.received->month - 1;
        time.tm_mday = facts.received->day;
        time.tm_hour = facts.received->hour;
        time.tm_min = facts.received->minute;
        time.tm_sec = facts.received->second;
        time.tm_isdst = -1;
        // Fills in the weekday and the day of the year for %a, %j ...
        std::tm normalised = time;
        if (std::mktime(&normalised) != -1) time = normalised;
    } else {
        const std::time_t seconds = static_cast<std::time_t>(fileSeconds);
        if (localtime_r(&seconds, &time) == nullptr) return kUnknown;
    }
    // A format that fills no room (or more than any name can hold) gives
    // nothing, which is then the same as an unknown time.
    char text[512];
    const size_t length = format.empty() ? 0 : std::strftime(text, sizeof text, format.c_str(), &time);
    return length == 0 ? kUnknown : std::string(text, length);
}

}  // namespace

std::optional<NameTemplate> NameTemplate::parse(std::string_view text, std::string& why)
{
    NameTemplate parsed;
    std::string literal;
    for (size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if ((c == '{' || c == '}') && at + 1 < text.size() && text[at + 1] == c) {
            literal += c;
            ++at;
            continue;
        }
        if (c == '}') {
            why = "a '}' at " + std::to_string(at + 1) + " closes no field (write }} for a brace)";
            return std::nullopt;
        }
        if (c != '{') {
            literal += c;
            continue;
        }
        const size_t close = text.find('}', at);
        if (close == std::string_view::npos) {
            why = "the field opened at " + std::to_string(at + 1) + " is not closed (write {{ for a brace)";
            return std::nullopt;
        }
        const std::string_view inside = text.substr(at + 1, close - at - 1);
        const size_t colon = inside.find(':');
        Piece field{std::string(inside.substr(0, colon)), kReceivedFormat, true};
        if (colon != std::string_view::npos) {
            if (field.text != "received") {
                why = "only {received:FORMAT} takes a format, not {";
                why.append(inside).append("}");
                return std::nullopt;
            }
            field.format = std::string(inside.substr(colon + 1));
        }
        if (!isFactName(field.text)) {
            why = "{";
            why.append(inside).append("} is no fact of a fax");
            return std::nullopt;
        }
        if (!literal.empty()) parsed.pieces_.push_back({std::move(literal), {}, false});
        literal.clear();
        parsed.pieces_.push_back(std::move(field));
        at = close;
    }
    if (!literal.empty()) parsed.pieces_.push_back({std::move(literal), {}, false});
    return parsed;
}

std::string NameTemplate::fill(const FaxFacts& facts, int64_t fileSeconds) const
{
    std::string filled;
    for (const Piece& piece : pieces_) {
        if (!piece.field) {
            filled += piece.text;
        } else if (piece.text == "received") {
            filled += receivedText(facts, fileSeconds, piece.format);
        } else {
            filled += textFact(facts, piece.text);
        }
    }
    return filled;
}

std::string safeFileName(std::string_view text, size_t limit)
{
    std::string name;
    for (const char c : text.substr(0, std::min(text.size(), limit))) {
        const bool kept = std::isalnum(static_cast<unsigned char>(c)) != 0 && static_cast<unsigned char>(c) < 0x80;
        name += kept || c == '+' || c == '.' || c == '_' || c == '-' ? c : '-';
    }
    if (!name.empty() && name.front() == '.') name.front() = '-';
    return name.empty() ? std::string(kUnknown).substr(0, std::max<size_t>(limit, 1)) : name;
}

}  // namespace pagelift
