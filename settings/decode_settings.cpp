#include "settings/decode_settings.h"

namespace pagelift {
namespace {

// `path` with `prefix` before its file name. A path left unset stays unset:
// a prefix alone would name a file in the current folder.
std::string prefixedPath(const std::string& path, const std::string& prefix)
{
    if (path.empty()) return path;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? prefix + path : path.substr(0, slash + 1) + prefix + path.substr(slash + 1);
}

}  // namespace

DecodeSetup withFilePrefix(const DecodeSetup& decode, const std::string& prefix)
{
    DecodeSetup setup = decode;
    for (std::string* path : {&setup.files.rawImagePath, &setup.files.rawSegmentPath, &setup.files.tempTiffPath}) {
        *path = prefixedPath(*path, prefix);
    }
    return setup;
}

}  // namespace pagelift
