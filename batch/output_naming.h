#pragma once

// Where a run writes each fax's outputs: after the fax's file, or by a name
// template of its facts, names that meet told apart in list order and
// names an earlier run gave a fax given to it again.

#include "settings/conversion_options.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace pagelift {

// The names earlier runs gave by template, each with the source that got
// it: its path, size and modification time. Kept in a file, read whole and
// replaced whole.
class NameRecord {
public:
    // The record in `path`; empty when the file is missing or cannot be read.
    explicit NameRecord(std::string path);

    // The source that got `name` ("" when none did), as sourceIdentity says it.
    std::string ownerOf(const std::string& name) const;

    void add(const std::string& name, const std::string& owner) { owners_[name] = owner; }

    // Writes the record back, its folder made when missing; false when it
    // cannot be (the names stay given, only not remembered).
    bool save() const;

private:
    std::string path_;
    std::map<std::string, std::string> owners_;
};

// A source as the record names it: its path, size and modification time,
// so that a new file under an old name is another source.
std::string sourceIdentity(const std::string& path);

// The output path of each source, in the sources' order. Without a name
// template: folderOutputPath's. With one: in the folder folderOutputPath
// gives, the template filled with the fax's facts (readFaxFacts, the run's
// given facts over them) made a safe file name, and the format's extension;
// a name that an earlier source of the list took, that the record gives to
// another source, or whose output is there while the record names no owner
// for it, gets "-2", "-3" ... in list order. `record` may be null.
std::vector<std::string> runOutputPaths(const ConversionOptions& options, const std::vector<std::string>& sources,
                                        const NameRecord* record);

}  // namespace pagelift
