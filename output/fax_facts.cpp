#include "output/fax_facts.h"

#include "platform/plain_text.h"

#include <algorithm>
#include <cctype>

namespace pagelift {
namespace {

// Line `index` (from 0) of the text, lines ending at '\n' (a '\r' before it
// goes as a blank); empty past the last.
std::string lineOf(std::string_view text, size_t index)
{
    for (size_t line = 0; line < index; ++line) {
        const size_t end = text.find('\n');
        if (end == std::string_view::npos) return {};
        text.remove_prefix(end + 1);
    }
    return std::string(trimmedBlanks(text.substr(0, std::min(text.find('\n'), text.size()))));
}

}  // namespace

FaxFacts faxFactsOfContainer(std::string_view description, std::string_view dateTime, std::string_view make,
                             std::string_view model, std::string_view subAddress)
{
    FaxFacts facts;
    facts.sender = lineOf(description, 0);
    facts.caller = lineOf(description, 1);
    facts.callerName = lineOf(description, 2);
    facts.subAddress = std::string(trimmedBlanks(subAddress));
    facts.machine = std::string(trimmedBlanks(make));
    const std::string_view modelName = trimmedBlanks(model);
    if (!modelName.empty()) {
        if (!facts.machine.empty()) facts.machine += ' ';
        facts.machine.append(modelName);
    }
    facts.received = parseFaxDateTime(dateTime);
    return facts;
}

std::string faxSourceName(std::string_view path)
{
    const size_t slash = path.rfind('/');
    std::string name(slash == std::string_view::npos ? path : path.substr(slash + 1));
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

const std::vector<std::string_view>& faxFactNames()
{
    static const std::vector<std::string_view> names = {"sender",   "caller", "callername", "called", "subaddress",
                                                        "received", "pages",  "source",     "machine"};
    return names;
}

std::string setFaxFact(FaxFacts& facts, std::string_view name, const std::string& value)
{
    const auto named = [name](std::string_view fact) { return equalNoCase(name, fact); };
    if (named("received")) {
        const std::optional<FaxDateTime> received = parseFaxDateTime(value);
        if (!received) return "received takes a date and time such as 2026:12:01 09:15:00 or 2026/12/01 09:15:00";
        facts.received = received;
        return {};
    }
    if (named("pages")) {
        const bool digits = !value.empty() && value.size() <= 6 &&
                            std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
        const int pages = digits ? std::stoi(value) : 0;
        if (pages < 1 || pages > 100000) return "pages takes a whole number from 1 to 100000";
        facts.pages = pages;
        return {};
    }
    std::string* const texts[] = {&facts.sender, &facts.caller, &facts.callerName, &facts.called,
                                  &facts.subAddress, &facts.source, &facts.machine};
    const std::string_view textNames[] = {"sender", "caller", "callername", "called", "subaddress", "source", "machine"};
    for (size_t index = 0; index < std::size(texts); ++index) {
        if (named(textNames[index])) {
            *texts[index] = value;
            return {};
        }
    }
    std::string why = "\"";
    why.append(name).append("\" is no fact of a fax; the facts are ");
    for (const std::string_view fact : faxFactNames()) {
        if (fact != faxFactNames().front()) why += ", ";
        why.append(fact);
    }
    return why;
}

void setGivenFaxFacts(FaxFacts& facts, const GivenFaxFacts& given)
{
    for (const auto& [name, value] : given) (void)setFaxFact(facts, name, value);
}

}  // namespace pagelift
