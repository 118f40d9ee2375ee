#include "faxdoc/fax_format.h"

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

struct ExtensionRule {
    const char* candidates[8];
    FaxFormat format;
};

// Tried in this order; the first candidate that matches decides. Order
// matters because the comparison is by prefix ("cals" after "cal").
const ExtensionRule kRules[] = {
    {{"tif", "tiff"}, Tiff},
    {{"fmf"}, Fmf},
    {{"fxd", "fxm", "fxr", "fxs"}, Fx},
    {{"awd"}, Awd},
    {{"apf"}, Apf},
    {{"bfx"}, BitFax},
    {{"dcx"}, Dcx},
    {{"bmp"}, Bmp},
    {{"cal", "cg4", "gp4", "img", "mil", "oda", "ras", "cals"}, Cals},
    {{"ig4"}, Ig4},
    {{"qfx"}, Qfx},
    {{"g3n"}, G3n},
};

const ExtensionRule kLaterRules[] = {
    {{"ds"}, Ds},
    {{"ed"}, Ed},
    {{"sft"}, Sft},
    {{"sys", "dll", "bat", "lnk", "txt", "zip", "rar", "db"}, NotFax},
};

bool anyCandidateMatches(const ExtensionRule& rule, const std::string& extension)
{
    for (const char* candidate : rule.candidates) {
        if (candidate != nullptr && extensionMatches(extension, candidate)) return true;
    }
    return false;
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
    for (const ExtensionRule& rule : kRules) {
        if (anyCandidateMatches(rule, extension)) return rule.format;
    }
    if (extensionMatches(extension, "g3f")) return probeG3f(path);
    for (const ExtensionRule& rule : kLaterRules) {
        if (anyCandidateMatches(rule, extension)) return rule.format;
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
