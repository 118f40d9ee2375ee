#pragma once

// What became of writing one file, as every writer tells it: whether the
// file stands whole under its name and, when not, what failed, on which
// path, in the system's or the encoder's own words. The report, the log and
// the window show it.

#include <string>

namespace pagelift {

enum class WriteFailure {
    None,
    Creating,         // the file (or its folder) could not be made: a name too long, a file in the way
    Writing,          // writing, closing or naming it failed for another reason
    NoSpace,          // the file system (or the user's quota) is full
    ReadOnly,         // the file system, the folder or the file may not be written
    NothingToEncode,  // the page or document holds nothing to write
    Encoding,         // the encoder failed; its words say why
};

struct WriteResult {
    WriteFailure failure = WriteFailure::None;
    std::string path;   // the file it is about
    std::string words;  // why, as the system or the encoder says it ("No space left on device")

    bool written() const { return failure == WriteFailure::None; }
    // "No space left on device: out/fax001.jpg"; empty when written.
    std::string cause() const;
};

// The result of a failure with system error `error` on `path`: a full file
// system, a read-only one (or no permission) by their numbers, any other
// number as `otherwise`; the words are the system's.
WriteResult failureOfError(int error, const std::string& path, WriteFailure otherwise);

// A failure in words of its own (an encoder's message, "empty page").
WriteResult failureOfWords(WriteFailure failure, const std::string& path, std::string words);

}  // namespace pagelift
