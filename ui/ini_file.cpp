#include "ui/ini_file.h"

#include "batch/single_file.h"
#include "platform/files.h"
#include "platform/paths.h"

#include <fstream>
#include <limits>
#include <sstream>

namespace pagelift {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string trimBlanks(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

bool equalNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string> sectionHeaderName(const std::string& line)
{
    const std::string trimmed = trimBlanks(line);
    if (trimmed.empty() || trimmed.front() != '[') return std::nullopt;
    const size_t close = trimmed.find(']');
    if (close == std::string::npos) return std::nullopt;
    return trimBlanks(trimmed.substr(1, close - 1));
}

bool isComment(const std::string& line)
{
    const std::string trimmed = trimBlanks(line);
    return !trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '#');
}

std::string valueOfLine(const std::string& line)
{
    return trimIniValue(line.substr(line.find('=') + 1));
}

// The text that reads back as `value`.
std::string valueForWriting(std::string value)
{
    for (char& c : value) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    const bool blankAtEnd = !value.empty() && (isBlank(value.front()) || isBlank(value.back()));
    if (blankAtEnd || trimIniValue(value) != value) return '"' + value + '"';
    return value;
}

}  // namespace

std::string trimIniValue(const std::string& raw)
{
    std::string value = trimBlanks(raw);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

IniFile IniFile::parse(const std::string& text)
{
    IniFile file;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (const std::optional<std::string> name = sectionHeaderName(line)) {
            file.sections_.push_back(Section{*name, {Line{line, {}, false}}});
            continue;
        }
        Line entry{line, {}, false};
        const size_t equals = line.find('=');
        if (!isComment(line) && equals != std::string::npos) {
            entry.key = trimBlanks(line.substr(0, equals));
            entry.isEntry = !entry.key.empty();
        }
        file.sections_.back().lines.push_back(std::move(entry));
    }
    return file;
}

IniFile IniFile::load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return IniFile{};
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return IniFile{};
    return parse(text.str());
}

const IniFile::Line* IniFile::findEntry(const std::string& section, const std::string& key) const
{
    for (const Section& candidate : sections_) {
        if (candidate.lines.empty() || candidate.name.empty() || !equalNoCase(candidate.name, section)) continue;
        for (const Line& line : candidate.lines) {
            if (line.isEntry && equalNoCase(line.key, key)) return &line;
        }
        return nullptr;  // only the first section of a name counts
    }
    return nullptr;
}

std::optional<std::string> IniFile::value(const std::string& section, const std::string& key) const
{
    const Line* line = findEntry(section, key);
    if (line == nullptr) return std::nullopt;
    return valueOfLine(line->text);
}

std::string IniFile::readText(const std::string& section, const std::string& key, const std::string& fallback) const
{
    return value(section, key).value_or(fallback);
}

int32_t IniFile::readNumber(const std::string& section, const std::string& key, int32_t fallback) const
{
    const std::optional<std::string> text = value(section, key);
    if (!text) return fallback;
    size_t i = 0;
    while (i < text->size() && isBlank((*text)[i])) ++i;
    bool negative = false;
    if (i < text->size() && ((*text)[i] == '-' || (*text)[i] == '+')) negative = (*text)[i++] == '-';
    int64_t number = 0;
    constexpr int64_t kBeyond = int64_t{std::numeric_limits<int32_t>::max()} + 2;
    for (; i < text->size() && (*text)[i] >= '0' && (*text)[i] <= '9'; ++i) {
        number = std::min(kBeyond, number * 10 + ((*text)[i] - '0'));
    }
    if (negative) number = -number;
    if (number > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (number < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(number);
}

IniFile::Section& IniFile::sectionFor(const std::string& name)
{
    for (Section& section : sections_) {
        if (!section.name.empty() && equalNoCase(section.name, name)) return section;
    }
    // A blank line sets a new section off from the text before it.
    const Section& last = sections_.back();
    const bool fileHasText = sections_.size() > 1 || !last.lines.empty();
    if (fileHasText && !last.lines.empty() && !trimBlanks(last.lines.back().text).empty()) {
        sections_.back().lines.push_back(Line{"", {}, false});
    }
    sections_.push_back(Section{name, {Line{"[" + name + "]", {}, false}}});
    return sections_.back();
}

void IniFile::write(const std::string& section, const std::string& key, const std::string& value)
{
    Section& target = sectionFor(section);
    const std::string text = valueForWriting(value);
    size_t lastEntry = 0;  // the header line when the section holds no key yet
    for (size_t i = 0; i < target.lines.size(); ++i) {
        Line& line = target.lines[i];
        if (!line.isEntry) continue;
        if (equalNoCase(line.key, key)) {
            line.text = line.key + "=" + text;
            return;
        }
        lastEntry = i;
    }
    target.lines.insert(target.lines.begin() + static_cast<std::ptrdiff_t>(lastEntry + 1), Line{key + "=" + text, key, true});
}

void IniFile::writeNumber(const std::string& section, const std::string& key, int32_t value)
{
    write(section, key, std::to_string(value));
}

std::string IniFile::text() const
{
    std::string text;
    for (const Section& section : sections_) {
        for (const Line& line : section.lines) text += line.text + "\n";
    }
    return text;
}

bool IniFile::save(const std::string& path) const
{
    const std::string folder = folderOfPath(path);
    if (!folder.empty() && !ensureFolder(folder)) return false;
    return replaceFileContents(path, text());
}

}  // namespace pagelift
