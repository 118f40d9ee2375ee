#include "faxdoc/fax_format.h"

#include "faxdoc/container_formats.h"

#include "platform/paths.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

namespace pagelift {
namespace {

// Prefix comparison over the candidate's length, ignoring case.
bool extensionMatches(const std::string& extension, const char* candidate)
{
    const size_t length = std::strlen(candidate);
    if (extension.size() < length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (std::tolower(static_cast<unsigned char>(extension[i])) != candidate[i]) return false;
    }
    return true;
}

// Names that are never faxes, tried after every container.
const char* const kNotFax[] = {"sys", "dll", "bat", "lnk", "txt", "zip", "rar", "db"};

bool anyCandidateMatches(const ContainerFormat& row, const std::string& extension)
{
    for (const char* candidate : row.extensions) {
        if (candidate != nullptr && extensionMatches(extension, candidate)) return true;
    }
    return false;
}

// The first row, of those tried before or after the .g3f probe, whose
// extensions match; RawFax when none does.
FaxFormat matchRows(const std::string& extension, bool afterG3fProbe)
{
    for (const ContainerFormat& row : containerFormats()) {
        if (row.afterG3fProbe == afterG3fProbe && anyCandidateMatches(row, extension)) return row.format;
    }
    return RawFax;
}

}  // namespace

std::string extensionOf(const std::string& path)
{
    const std::string name = nameOfPath(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

FaxFormat identifyFormat(const std::string& path)
{
    const std::string extension = extensionOf(path);
    if (extension.empty()) return RawFax;
    const FaxFormat early = matchRows(extension, false);
    if (early != RawFax) return early;
    if (extensionMatches(extension, "g3f")) return probeG3f(path);
    const FaxFormat late = matchRows(extension, true);
    if (late != RawFax) return late;
    for (const char* candidate : kNotFax) {
        if (extensionMatches(extension, candidate)) return NotFax;
    }
    return RawFax;
}

FaxFormat probeG3f(const std::string& path)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return RawFax;
    unsigned char head[18] = {};
    const size_t got = std::fread(head, 1, sizeof head, file.get());
    (void)got;  // a short file leaves zeros, which match neither signature
    if (head[2] == 0x2A && head[3] == 0x00) return G3n;
    if (std::memcmp(head + 1, "PC Research, Inc", 16) == 0) return PcResearch;
    return RawFax;
}

}  // namespace pagelift
