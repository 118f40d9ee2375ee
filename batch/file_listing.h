#pragma once

// A folder run's files written out as text and read back, so that the run
// can be spread over several machines: each machine converts some of the
// lines, and files whose JPEG names may meet stay on one line, converted
// one after the other as one folder run would.

#include "settings/conversion_options.h"

#include <string>
#include <vector>

namespace pagelift {

// One line per output group of options.fileList (outputGroupsOf, with the
// JPEG paths a folder run gives them), in the order of each group's first
// file: the group's entries, as paths relative to the source folder, joined
// by tabs. A backslash, tab or newline in a name is written \\, \t or \n.
std::string listOutputGroups(const ConversionOptions& options);

// An entry as such lines write it: a backslash, tab or newline in it as
// \\, \t or \n.
std::string listingEscaped(const std::string& name);

// The entries of such lines, in their order, whatever their grouping; empty
// lines are passed over.
std::vector<std::string> readListedEntries(const std::string& text);

}  // namespace pagelift
