#include "batch/shared_pages.h"

#include "imageout/intermediate_bitmap.h"
#include "imageout/jpeg_stage.h"
#include "raster/page_size.h"

#include <exception>

namespace pagelift {

PageResult convertCurrentPage(const FaxDocument& document, const std::string& jpegPath, int quality, bool optimize,
                              const std::string& bitmapPath)
{
    try {
        if (!fitsOutputLimits(document.page())) return {PageOutcome::TooLarge, pageTooLargeText(document.page())};
        if (writeIntermediateBitmap(document.page(), bitmapPath) != 0) return {PageOutcome::NotPrepared, {}};
        const int compressed = compressBitmapToJpeg(bitmapPath, jpegPath, quality, true, optimize);
        return {compressed == 0 ? PageOutcome::Converted : PageOutcome::NotCompressed, {}};
    } catch (...) {
        return {PageOutcome::Failed, {}};
    }
}

DocumentPages::DocumentPages(std::string source, FaxFormat format, std::vector<std::string> jpegNames, int quality,
                             bool optimize)
    : source_(std::move(source)),
      format_(format),
      jpegNames_(std::move(jpegNames)),
      quality_(quality),
      optimize_(optimize),
      results_(jpegNames_.size())
{
}

int DocumentPages::claim()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || nextPage_ >= pageCount()) return -1;
    ++pending_;
    return nextPage_++;
}

void DocumentPages::closeClaims()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
}

void DocumentPages::done(int index, PageResult result)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        results_[size_t(index)] = std::move(result);
        if (index > 0) --pending_;
    }
    allDone_.notify_all();
}

void DocumentPages::waitForClaimed()
{
    std::unique_lock<std::mutex> lock(mutex_);
    allDone_.wait(lock, [&] { return pending_ == 0; });
}

void DocumentPages::help(const DecodeSettings& decode)
{
    FaxDocument document;
    document.settings() = decode;
    bool opened = false;
    for (int index = claim(); index >= 0; index = claim()) {
        PageResult result;
        try {
            if (!opened) opened = document.openForPages(source_, format_);
            // A file that no longer opens gives the page as unreadable, as
            // the opening job's own reading of it would.
            if (opened) document.readPage(format_, size_t(index));
            result = convertCurrentPage(document, jpegNames_[size_t(index)], quality_, optimize_,
                                        decode.bitmapPath);
        } catch (...) {
            result = {PageOutcome::Failed, {}};
        }
        done(index, std::move(result));
    }
    document.close();
}

}  // namespace pagelift
