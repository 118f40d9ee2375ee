#include "batch/output_naming.h"

#include "batch/folder_conversion.h"
#include "batch/fax_facts_reading.h"
#include "output/name_template.h"
#include "output/output_names.h"
#include "platform/files.h"
#include "platform/paths.h"

#include <algorithm>
#include <set>

namespace pagelift {
namespace {

// Room a name leaves in a file name of 255 bytes for a suffix ("-99999"),
// a page number and the longest extension.
constexpr size_t kNameLimit = 200;

}  // namespace

bool namesByTemplate(const ConversionOptions& options)
{
    if (!options.nameTemplate.empty()) return true;
    if (options.delivery == nullptr) return false;
    const std::vector<DeliveryRule>& rules = options.delivery->rules.rules;
    return std::any_of(rules.begin(), rules.end(), [](const DeliveryRule& rule) { return !rule.nameTemplate.empty(); });
}

std::string nameTemplateFor(const ConversionOptions& options, const FaxFacts& facts)
{
    if (options.delivery != nullptr) {
        const DeliveryRule* rule = deliveryRuleFor(options.delivery->rules, facts);
        if (rule != nullptr && !rule->nameTemplate.empty()) return rule->nameTemplate;
    }
    return options.nameTemplate;
}

std::vector<std::string> runOutputPaths(const ConversionOptions& options, const std::vector<std::string>& sources,
                                        const RunRecord* record)
{
    std::vector<std::string> paths;
    for (const std::string& source : sources) paths.push_back(folderOutputPath(options, source));
    if (!namesByTemplate(options)) return paths;

    const OutputFormat& format = *options.outputFormat;
    std::set<std::string> given;  // this run's names
    for (size_t index = 0; index < sources.size(); ++index) {
        const std::string& source = sources[index];
        FaxFacts facts = readFaxFacts(source);
        setGivenFaxFacts(facts, options.givenFacts);
        const std::string text = nameTemplateFor(options, facts);
        std::string why;
        const std::optional<NameTemplate> nameTemplate =
            text.empty() ? std::nullopt : NameTemplate::parse(text, why);
        if (!nameTemplate) continue;  // this fax is named after its file
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
