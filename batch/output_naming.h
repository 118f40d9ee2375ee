#pragma once

// Where a run writes each fax's outputs: after the fax's file, or by a name
// template of its facts, names that meet told apart in list order and
// names an earlier run gave a fax given to it again.

#include "batch/run_record.h"
#include "settings/conversion_options.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace pagelift {

// True when some fax of the run may be named by a template: /name=, or a
// delivery rule's name.
bool namesByTemplate(const ConversionOptions& options);

// The name template of a fax of these facts: its delivery rule's name when
// the rule that applies has one, else the run's /name=; empty: named after
// its file.
std::string nameTemplateFor(const ConversionOptions& options, const FaxFacts& facts);

// The output path of each source, in the sources' order. Without a name
// template (nameTemplateFor): folderOutputPath's. With one: in the folder folderOutputPath
// gives, the template filled with the fax's facts (readFaxFacts, the run's
// given facts over them) made a safe file name, and the format's extension;
// a name that an earlier source of the list took, that the record gives to
// another source, or whose output is there while the record names no owner
// for it, gets "-2", "-3" ... in list order. `record` maps names to the
// sources (sourceIdentity) that got them; it may be null.
std::vector<std::string> runOutputPaths(const ConversionOptions& options, const std::vector<std::string>& sources,
                                        const RunRecord* record);

}  // namespace pagelift
