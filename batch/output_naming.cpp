#include "batch/output_naming.h"

#include "batch/folder_conversion.h"
#include "batch/single_file.h"
#include "faxdoc/fax_facts_reading.h"
#include "output/name_template.h"
#include "output/output_names.h"
#include "platform/files.h"
#include "platform/paths.h"

#include <set>

namespace pagelift {
namespace {

// Room a name leaves in a file name of 255 bytes for a suffix ("-99999"),
// a page number and the longest extension.
constexpr size_t kNameLimit = 200;

}  // namespace

std::vector<std::string> runOutputPaths(const ConversionOptions& options, const std::vector<std::string>& sources,
                                        const RunRecord* record)
{
    std::vector<std::string> paths;
    for (const std::string& source : sources) paths.push_back(folderOutputPath(options, source));
    std::string why;
    const std::optional<NameTemplate> nameTemplate =
        options.nameTemplate.empty() ? std::nullopt : NameTemplate::parse(options.nameTemplate, why);
    if (!nameTemplate) return paths;

    const OutputFormat& format = *options.outputFormat;
    std::set<std::string> given;  // this run's names
    for (size_t index = 0; index < sources.size(); ++index) {
        const std::string& source = sources[index];
        FaxFacts facts = readFaxFacts(source);
        setGivenFaxFacts(facts, options.givenFacts);
        const std::optional<FileStamp> stamp = fileStamp(source);
        const std::string name =
            safeFileName(nameTemplate->fill(facts, stamp ? stamp->modifiedNs / 1000000000 : 0), kNameLimit);
        const std::string folder = folderOfPath(paths[index]);
        const std::string owner = sourceIdentity(source);
        const auto taken = [&](const std::string& path) {
            if (given.count(path) != 0) return true;
            const std::string recorded = record != nullptr ? record->valueOf(path) : "";
            if (!recorded.empty()) return recorded != owner;
            return !existingOutputOf(format, path).empty();
        };
        std::string path = joinPath(folder, name + std::string(format.extension));
        for (int suffix = 2; taken(path); ++suffix) {
            path = joinPath(folder, name + "-" + std::to_string(suffix) + std::string(format.extension));
        }
        given.insert(path);
        paths[index] = path;
    }
    return paths;
}

}  // namespace pagelift
