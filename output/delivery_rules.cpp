#include "output/delivery_rules.h"

#include "output/name_template.h"
#include "platform/files.h"
#include "platform/folder_search.h"
#include "platform/plain_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

namespace pagelift {
namespace {

std::string trimmed(std::string_view text) { return std::string(trimmedBlanks(text)); }

// The lines of a file; none when it cannot be read.
std::optional<std::vector<std::string>> linesOfFile(const std::string& path)
{
    const std::optional<std::string> contents = wholeFile(path);
    if (!contents) return std::nullopt;
    const std::string& text = *contents;
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

}  // namespace

bool isPlainMailAddress(const std::string& address)
{
    return !address.empty() && address.front() != '-' &&
           std::none_of(address.begin(), address.end(), [](char c) {
               const auto byte = static_cast<unsigned char>(c);
               return byte <= 0x20 || byte == 0x7F || c == ',';
           });
}

std::string setDeliveryRuleKey(DeliveryRule& rule, const std::string& key, const std::string& value)
{
    if (key == "called" || key == "subaddress" || key == "sender" || key == "caller") {
        rule.conditions.emplace_back(key, value);
        return {};
    }
    if (key == "mailto") {
        size_t start = 0;
        while (start <= value.size()) {
            const size_t comma = std::min(value.find(',', start), value.size());
            const std::string address = trimmed(value.substr(start, comma - start));
            if (!isPlainMailAddress(address)) return "mailto takes addresses separated by commas, not \"" + address + "\"";
            rule.mailTo.push_back(address);
            start = comma + 1;
        }
        return {};
    }
    if (key == "subject" || key == "body" || key == "name") {
        std::string why;
        if (!value.empty() && !NameTemplate::parse(value, why)) return key + ": " + why;
        (key == "subject" ? rule.subject : key == "body" ? rule.body : rule.nameTemplate) = value;
        return {};
    }
    if (key == "attach") {
        const std::string answer = lowerAscii(value);
        if (answer != "yes" && answer != "no") return "attach takes yes or no";
        rule.attach = answer == "yes";
        return {};
    }
    if (key == "maxattach") {
        char* end = nullptr;
        const double megabytes = std::strtod(value.c_str(), &end);
        if (value.empty() || end == nullptr || *end != '\0' || !(megabytes > 0) || megabytes > 1e6) {
            return "maxattach takes megabytes, a number above 0";
        }
        rule.maxAttachMegabytes = megabytes;
        return {};
    }
    if (key == "hook") {
        if (value.empty()) return "hook takes a program";
        rule.hook = value;
        return {};
    }
    return "unknown key \"" + key + "\"";
}

std::optional<DeliveryRules> readDeliveryRules(const std::string& path, std::string& why)
{
    const std::optional<std::vector<std::string>> lines = linesOfFile(path);
    if (!lines) {
        why = path + ": cannot be read";
        return std::nullopt;
    }
    DeliveryRules rules;
    std::set<std::string> sections;
    std::set<std::string> keysOfSection;
    for (size_t index = 0; index < lines->size(); ++index) {
        const std::string line = trimmed((*lines)[index]);
        const std::string where = path + ":" + std::to_string(index + 1) + ": ";
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                why = where + "a section's name stands in brackets: [name]";
                return std::nullopt;
            }
            const std::string name = trimmed(line.substr(1, line.size() - 2));
            if (!sections.insert(lowerAscii(name)).second) {
                why = where + "a second section [" + name + "]";
                return std::nullopt;
            }
            rules.rules.push_back({});
            rules.rules.back().name = name;
            rules.rules.back().line = int(index + 1);
            keysOfSection.clear();
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            why = where + "a line of a rule is key = value";
            return std::nullopt;
        }
        const std::string key = lowerAscii(trimmed(line.substr(0, equals)));
        if (rules.rules.empty()) {
            why = where + "key \"" + key + "\" before the first [section]";
            return std::nullopt;
        }
        if (!keysOfSection.insert(key).second) {
            why = where + "key \"" + key + "\" a second time in [" + rules.rules.back().name + "]";
            return std::nullopt;
        }
        if (const std::string fault = setDeliveryRuleKey(rules.rules.back(), key, trimmed(line.substr(equals + 1)));
            !fault.empty()) {
            why = where + fault;
            return std::nullopt;
        }
    }
    return rules;
}

const DeliveryRule* deliveryRuleFor(const DeliveryRules& rules, const FaxFacts& facts)
{
    const auto valueOf = [&facts](const std::string& fact) -> const std::string& {
        return fact == "called" ? facts.called : fact == "subaddress" ? facts.subAddress
                                           : fact == "sender"       ? facts.sender
                                                                    : facts.caller;
    };
    for (const DeliveryRule& rule : rules.rules) {
        const bool holds = std::all_of(rule.conditions.begin(), rule.conditions.end(), [&](const auto& condition) {
            return matchesWildcard(condition.second, valueOf(condition.first));
        });
        if (holds) return &rule;
    }
    return nullptr;
}

}  // namespace pagelift
