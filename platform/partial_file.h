#pragma once

// A file written under its partial name (NAME.part-PID, beside its final
// name) and given its final name only once complete, locked while it is
// written so that no other copy sweeps it away (see platform/leftovers.h).
// Every writer writes through one, so that each tells a failure the same
// way: the step, the path and the system's words.

#include "platform/write_result.h"

#include <cstdio>
#include <string>

namespace pagelift {

class PartialFile {
public:
    // Creates (or empties) and locks the partial file for `finalPath`. When
    // it cannot, file() is null and the failure is kept for finish().
    explicit PartialFile(std::string finalPath);
    // A file never finished is removed.
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // The stream to write to (binary); null when the file could not be made.
    std::FILE* file() const { return file_; }

    // Closes the file and, when the writer says it is complete and no write
    // failed, gives it its final name (replacing a file there). In every
    // other case the partial file is removed, so that nothing is left but a
    // whole file under the final name. Returns written, or the first
    // failure: making the file, a write (the system's words), the close,
    // the naming, else `incomplete` as the writer gave it.
    WriteResult finish(const WriteResult& incomplete = {});

private:
    struct Stream;
    // Makes the file and its stream; the system error when it cannot.
    int open();

    std::string finalPath_;
    std::string partialPath_;
    Stream* stream_ = nullptr;
    std::FILE* file_ = nullptr;
    WriteResult failure_;
};

// For tests: every partial file made from now on fails at `step` with the
// system error `error` (0 for none), as a full disk or a read-only folder
// would make it fail, on any machine and for any user.
enum class PartialFileStep { Create, Write, Close, Place };
void failPartialFilesAt(PartialFileStep step, int error);

}  // namespace pagelift
