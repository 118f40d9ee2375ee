#include "batch/output_naming.h"

#include "batch/file_listing.h"
#include "batch/folder_conversion.h"
#include "batch/single_file.h"
#include "faxdoc/fax_facts_reading.h"
#include "output/name_template.h"
#include "output/output_names.h"
#include "platform/files.h"
#include "platform/paths.h"

#include <cstdio>
#include <set>

namespace pagelift {
namespace {

// Room a name leaves in a file name of 255 bytes for a suffix ("-99999"),
// a page number and the longest extension.
constexpr size_t kNameLimit = 200;

std::string readWholeFile(const std::string& path)
{
    std::string text;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return text;
    char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, got);
    std::fclose(file);
    return text;
}

}  // namespace

NameRecord::NameRecord(std::string path) : path_(std::move(path))
{
    if (path_.empty()) return;
    // Lines of two entries: the name, then its owner (both escaped as a
    // listing's entries are).
    const std::vector<std::string> entries = readListedEntries(readWholeFile(path_));
    for (size_t index = 0; index + 1 < entries.size(); index += 2) owners_[entries[index]] = entries[index + 1];
}

std::string NameRecord::ownerOf(const std::string& name) const
{
    const auto found = owners_.find(name);
    return found == owners_.end() ? "" : found->second;
}

bool NameRecord::save() const
{
    if (path_.empty() || !ensureFolder(folderOfPath(path_))) return false;
    std::string text;
    for (const auto& [name, owner] : owners_) text += listingEscaped(name) + "\t" + listingEscaped(owner) + "\n";
    return replaceFileContents(path_, text);
}

std::string sourceIdentity(const std::string& path)
{
    const std::optional<FileStamp> stamp = fileStamp(path);
    if (!stamp) return path;
    return path + "|" + std::to_string(stamp->size) + "|" + std::to_string(stamp->modifiedNs);
}

std::vector<std::string> runOutputPaths(const ConversionOptions& options, const std::vector<std::string>& sources,
                                        const NameRecord* record)
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
            const std::string recorded = record != nullptr ? record->ownerOf(path) : "";
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
