#include "batch/file_listing.h"

#include "batch/folder_conversion.h"
#include "batch/output_naming.h"
#include "output/output_names.h"
#include "batch/parallel_conversion.h"

namespace pagelift {

std::string listingEscaped(const std::string& name)
{
    std::string text;
    for (const char c : name) {
        if (c == '\\') {
            text += "\\\\";
        } else if (c == '\t') {
            text += "\\t";
        } else if (c == '\n') {
            text += "\\n";
        } else {
            text += c;
        }
    }
    return text;
}

std::string listOutputGroups(const ConversionOptions& options)
{
    std::vector<std::string> sources;
    for (const std::string& entry : options.fileList) sources.push_back(options.source + "/" + entry);
    const RunRecord record(namesByTemplate(options) ? options.nameRecord : "");
    const std::vector<std::string> destinations = runOutputPaths(options, sources, &record);
    std::string text;
    for (const std::vector<size_t>& group : outputGroupsOf(*options.outputFormat, destinations)) {
        for (size_t i = 0; i < group.size(); ++i) {
            if (i > 0) text += '\t';
            text += listingEscaped(options.fileList[group[i]]);
        }
        text += '\n';
    }
    return text;
}

std::vector<std::string> readListedEntries(const std::string& text)
{
    std::vector<std::string> entries;
    std::string entry;
    const auto endEntry = [&] {
        if (!entry.empty()) entries.push_back(entry);
        entry.clear();
    };
    for (size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '\t' || c == '\n') {
            endEntry();
        } else if (c == '\\' && at + 1 < text.size()) {
            const char next = text[++at];
            entry += next == 't' ? '\t' : next == 'n' ? '\n' : next;
        } else {
            entry += c;
        }
    }
    endEntry();
    return entries;
}

}  // namespace pagelift
