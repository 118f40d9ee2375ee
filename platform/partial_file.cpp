#include "platform/partial_file.h"

#include "platform/leftovers.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace pagelift {
namespace {

std::atomic<int> failingStep{-1};
std::atomic<int> failingError{0};

// The error a test asked for at this step; 0 for none.
int injectedError(PartialFileStep step)
{
    return failingStep.load() == int(step) ? failingError.load() : 0;
}

}  // namespace

// The file's descriptor behind its stream, and the first error a write or
// the close met: the libraries that write through the stream only see that
// a write came short, and say so in words of their own.
struct PartialFile::Stream {
    int fd = -1;
    int error = 0;

    static ssize_t write(void* cookie, const char* bytes, size_t size)
    {
        auto& stream = *static_cast<Stream*>(cookie);
        if (const int injected = injectedError(PartialFileStep::Write); injected != 0) stream.error = injected;
        size_t done = 0;
        while (stream.error == 0 && done < size) {
            const ssize_t wrote = ::write(stream.fd, bytes + done, size - done);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote <= 0) {
                stream.error = wrote < 0 ? errno : EIO;
                break;
            }
            done += size_t(wrote);
        }
        // A stream takes a short count as the failure it is.
        return stream.error == 0 ? ssize_t(size) : 0;
    }

    static int close(void* cookie)
    {
        auto& stream = *static_cast<Stream*>(cookie);
        const bool closed = ::close(stream.fd) == 0;
        if (!closed && stream.error == 0) stream.error = errno;
        if (const int injected = injectedError(PartialFileStep::Close); injected != 0 && stream.error == 0) {
            stream.error = injected;
        }
        stream.fd = -1;
        return stream.error == 0 ? 0 : -1;
    }
};

PartialFile::PartialFile(std::string finalPath) : finalPath_(std::move(finalPath))
{
    partialPath_ = partialFileName(finalPath_);
    const int error = open();
    if (error != 0) failure_ = failureOfError(error, finalPath_, WriteFailure::Creating);
}

int PartialFile::open()
{
    if (const int injected = injectedError(PartialFileStep::Create); injected != 0) return injected;
    const int fd = ::open(partialPath_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) return errno;
    // A file of this name can only be left by a dead copy that had the same
    // number, and is emptied; one whose lock somebody holds is being written
    // by a live copy (another machine sharing the folder), and is not ours.
    if (!lockWhileOpen(fd)) {
        ::close(fd);
        return EBUSY;
    }
    stream_ = new Stream{fd, 0};
    if (::ftruncate(fd, 0) == 0) {
        file_ = fopencookie(stream_, "wb", cookie_io_functions_t{nullptr, &Stream::write, nullptr, &Stream::close});
    }
    if (file_ != nullptr) return 0;
    const int error = errno;
    ::close(fd);
    ::unlink(partialPath_.c_str());
    delete stream_;
    stream_ = nullptr;
    return error;
}

PartialFile::~PartialFile()
{
    if (file_ != nullptr) finish(failureOfWords(WriteFailure::Writing, finalPath_, "not finished"));
}

WriteResult PartialFile::finish(const WriteResult& incomplete)
{
    if (file_ == nullptr) return failure_.written() ? incomplete : failure_;
    std::fclose(file_);  // the stream's close records its own error
    file_ = nullptr;
    const int streamError = stream_->error;
    delete stream_;
    stream_ = nullptr;
    WriteResult result;
    if (streamError != 0) {
        result = failureOfError(streamError, finalPath_, WriteFailure::Writing);
    } else if (!incomplete.written()) {
        result = incomplete;
    } else if (const int injected = injectedError(PartialFileStep::Place); injected != 0) {
        result = failureOfError(injected, finalPath_, WriteFailure::Writing);
    } else if (std::rename(partialPath_.c_str(), finalPath_.c_str()) != 0) {
        result = failureOfError(errno, finalPath_, WriteFailure::Writing);
    }
    if (!result.written()) std::remove(partialPath_.c_str());
    return result;
}

void failPartialFilesAt(PartialFileStep step, int error)
{
    failingError.store(0);
    failingStep.store(int(step));
    failingError.store(error);
}

}  // namespace pagelift
