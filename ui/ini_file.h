#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pagelift {

// The window's settings file: "[Section]" lines and "key=value" lines. Names
// of sections and keys match without regard to case; the first of two equal
// names counts. Values are read whole, with blanks and one pair of enclosing
// quotes trimmed. Writing changes a value in place and keeps every other
// line (unknown sections and keys, comments, blank lines) as it was; a new
// key goes after the last key of its section, a new section at the end.
class IniFile {
public:
    // A file that is missing or cannot be read gives an empty one, in which
    // every key reads as its default.
    static IniFile load(const std::string& path);
    static IniFile parse(const std::string& text);

    // The value of a key, or nothing when the section or the key is missing.
    std::optional<std::string> value(const std::string& section, const std::string& key) const;

    // The value, or `fallback` when the key is missing.
    std::string readText(const std::string& section, const std::string& key, const std::string& fallback) const;

    // The signed decimal number at the start of the value (blanks, a sign,
    // digits); a value without one reads as 0, one beyond 32 bits as the
    // nearest 32-bit limit; `fallback` when the key is missing.
    int32_t readNumber(const std::string& section, const std::string& key, int32_t fallback) const;

    // Sets a value, creating the key and its section when missing. Line
    // breaks in the value become blanks; a value that would not read back as
    // itself (blanks at its ends, or enclosed in a pair of quotes) is written
    // inside double quotes.
    void write(const std::string& section, const std::string& key, const std::string& value);
    void writeNumber(const std::string& section, const std::string& key, int32_t value);

    // The file's text, one line per line, each ended by a line feed.
    std::string text() const;

    // Writes the text to `path` in one step (a new file renamed over the old),
    // creating its folder when missing. False when that fails; the old file
    // is then unchanged.
    bool save(const std::string& path) const;

private:
    struct Line {
        std::string text;     // the line as it stands in the file
        std::string key;      // for "key=value" lines: the trimmed key
        bool isEntry = false;
    };
    struct Section {
        std::string name;             // empty for the lines before the first section
        std::vector<Line> lines;      // the header line first, except in the leading part
    };

    const Line* findEntry(const std::string& section, const std::string& key) const;
    Section& sectionFor(const std::string& name);

    std::vector<Section> sections_{Section{}};
};

// One value as it reads from the right of a "key=value" line: blanks at both
// ends removed, then one pair of matching enclosing quotes (" or ').
std::string trimIniValue(const std::string& raw);

}  // namespace pagelift
