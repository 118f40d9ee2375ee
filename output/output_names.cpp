#include "output/output_names.h"

#include "platform/files.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

namespace pagelift {
namespace {

bool allDigits(const std::string& text, size_t from)
{
    return std::all_of(text.begin() + std::ptrdiff_t(from), text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// True when a document whose page base is `longer` may write a page name
// that one with the base `shorter` also writes: `longer` is `shorter`
// followed by digits that are a page number ("fax" + "001": fax001.jpg is
// the first page of fax.jpg) or begin one of four digits or more ("fax" +
// "1": fax1001.jpg is page 1001 of fax.jpg and page 1 of fax1.jpg). Names of
// one length, as fax00001 and fax00002, never meet.
bool pageNamesMayMeet(const std::string& shorter, const std::string& longer)
{
    if (longer.size() <= shorter.size() || longer.compare(0, shorter.size(), shorter) != 0) return false;
    if (!allDigits(longer, shorter.size())) return false;
    return longer.size() - shorter.size() >= 3 || longer[shorter.size()] != '0';
}

// Disjoint sets of indexes, joined by the documents whose outputs may meet.
class JoinedSets {
public:
    explicit JoinedSets(size_t count) : parent_(count)
    {
        for (size_t index = 0; index < count; ++index) parent_[index] = index;
    }
    size_t rootOf(size_t index)
    {
        while (parent_[index] != index) index = parent_[index] = parent_[parent_[index]];
        return index;
    }
    void join(size_t a, size_t b) { parent_[rootOf(a)] = rootOf(b); }

private:
    std::vector<size_t> parent_;
};

// Written no earlier than the source's last change: a status-change time
// cannot be set back, so copied file times (/l) or a fax moved in with old
// times cannot make an output look current when it is not.
bool writtenSince(const std::string& output, int64_t sourceChanged)
{
    const std::optional<FileStamp> stamp = fileStamp(output);
    return stamp && stamp->size > 0 && stamp->changedNs >= sourceChanged;
}

}  // namespace

std::string pageNameBase(const std::string& destination)
{
    const size_t slash = destination.rfind('/');
    const size_t dot = destination.rfind('.');
    const bool dotInFileName = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return dotInFileName ? destination.substr(0, dot) : destination;
}

std::string pageFileName(const OutputFormat& format, const std::string& destination, int pageNumber)
{
    char number[16];
    std::snprintf(number, sizeof number, "%03d", pageNumber);
    return pageNameBase(destination) + number + std::string(format.extension);
}

std::string textFileName(const std::string& destination) { return pageNameBase(destination) + ".txt"; }

std::vector<std::string> outputNamesOf(const OutputFormat& format, const std::string& destination, int pageCount)
{
    if (pageCount < 2 || format.layout == OutputLayout::FilePerDocument) return {destination};
    std::vector<std::string> names;
    for (int pageNumber = 1; pageNumber <= pageCount; ++pageNumber) {
        names.push_back(pageFileName(format, destination, pageNumber));
    }
    return names;
}

std::string existingOutputOf(const OutputFormat& format, const std::string& destination)
{
    // A document of several pages leaves no file under the destination name
    // itself, only its page names: its first page tells.
    if (readableFileSize(destination) > 0) return destination;
    if (format.layout == OutputLayout::FilePerPage) {
        const std::string firstPage = pageFileName(format, destination, 1);
        if (readableFileSize(firstPage) > 0) return firstPage;
    }
    return {};
}

bool outputsAreCurrent(const OutputFormat& format, const std::string& source, const std::string& destination,
                       const std::function<int()>& pageCount)
{
    return !currentOutputsOf(format, source, destination, pageCount).empty();
}

std::vector<std::string> currentOutputsOf(const OutputFormat& format, const std::string& source,
                                          const std::string& destination, const std::function<int()>& pageCount)
{
    const std::optional<FileStamp> stamp = fileStamp(source);
    if (!stamp) return {};
    if (writtenSince(destination, stamp->changedNs)) return {destination};
    if (format.layout != OutputLayout::FilePerPage) return {};
    if (!writtenSince(pageFileName(format, destination, 1), stamp->changedNs)) return {};
    // Only a count of the pages tells whether the last one was written.
    const int pages = pageCount();
    if (pages < 2) return {};
    std::vector<std::string> outputs;
    for (int page = 1; page <= pages; ++page) {
        outputs.push_back(pageFileName(format, destination, page));
        if (!writtenSince(outputs.back(), stamp->changedNs)) return {};
    }
    return outputs;
}

bool outputNamesMayMeet(const OutputFormat& format, const std::string& destination, const std::string& other)
{
    if (format.layout == OutputLayout::FilePerDocument) return destination == other;
    const std::string a = pageNameBase(destination);
    const std::string b = pageNameBase(other);
    return a == b || pageNamesMayMeet(a, b) || pageNamesMayMeet(b, a);
}

std::vector<std::vector<size_t>> outputGroupsOf(const OutputFormat& format, const std::vector<std::string>& destinations)
{
    // A file per document: only equal names meet, and the whole name tells.
    const bool perPage = format.layout == OutputLayout::FilePerPage;
    std::map<std::string, size_t> byBase;  // a page base -> the first document with it
    std::vector<std::string> bases;
    JoinedSets groups(destinations.size());
    for (size_t index = 0; index < destinations.size(); ++index) {
        bases.push_back(perPage ? pageNameBase(destinations[index]) : destinations[index]);
        const auto [at, added] = byBase.emplace(bases.back(), index);
        if (!added) groups.join(index, at->second);
    }
    for (size_t index = 0; perPage && index < destinations.size(); ++index) {
        const std::string& base = bases[index];
        // Every shorter base it may extend is base minus trailing digits.
        for (size_t cut = base.size(); cut > 0 && std::isdigit(static_cast<unsigned char>(base[cut - 1])) != 0;) {
            --cut;
            const auto shorter = byBase.find(base.substr(0, cut));
            if (shorter != byBase.end() && pageNamesMayMeet(shorter->first, base)) groups.join(index, shorter->second);
        }
    }
    std::map<size_t, size_t> groupOfRoot;
    std::vector<std::vector<size_t>> ordered;
    for (size_t index = 0; index < destinations.size(); ++index) {
        const auto [at, added] = groupOfRoot.emplace(groups.rootOf(index), ordered.size());
        if (added) ordered.emplace_back();
        ordered[at->second].push_back(index);
    }
    return ordered;
}

std::string folderOutputPath(const FolderNaming& naming, const OutputFormat& format, const std::string& sourcePath)
{
    std::string output = sourcePath;
    if (!naming.keepExtension) {
        // The extension is cut at the last dot of the file name only: a dot
        // in a folder name must not move the output into another folder.
        const size_t slash = output.rfind('/');
        const size_t dot = output.rfind('.');
        if (dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash)) output.resize(dot);
    }
    output += format.extension;

    if (naming.keepHierarchy) {
        // Only the leading source folder is the source tree's root; the same
        // text deeper in the path is an ordinary folder name and stays.
        if (!naming.source.empty() && output.compare(0, naming.source.size(), naming.source) == 0) {
            return naming.destination + output.substr(naming.source.size());
        }
        // Outside the source folder there is no tree to rebuild: the output
        // goes straight into the destination like a flat one.
    }
    const size_t slash = output.rfind('/');
    if (slash != std::string::npos && slash > 0) output = output.substr(slash + 1);
    return naming.destination + "/" + output;
}


}  // namespace pagelift
