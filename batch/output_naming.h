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

// The output path of each source, in the sources' order. Without a name
// template: folderOutputPath's. With one: in the folder folderOutputPath
// gives, the template filled with the fax's facts (readFaxFacts, the run's
// given facts over them) made a safe file name, and the format's extension;
// a name that an earlier source of the list took, that the record gives to
// another source, or whose output is there while the record names no owner
// for it, gets "-2", "-3" ... in list order. `record` maps names to the
// sources (sourceIdentity) that got them; it may be null.
std::vector<std::string> runOutputPaths(const ConversionOptions& options, const std::vector<std::string>& sources,
                                        const RunRecord* record);

}  // namespace pagelift
