#pragma once

// A stdio stream owned by one object, closed when it goes. For files whose
// close tells nothing the owner needs (read, or checked otherwise); outputs
// are written through PartialFile, which reports its close.

#include <cstdio>
#include <memory>

namespace pagelift {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace pagelift
