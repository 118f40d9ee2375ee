#include "batch/shared_pages.h"

namespace pagelift {

DocumentPages::DocumentPages(std::string source, FaxFormat format, std::vector<std::string> outputNames,
                             const OutputFormat& output, OutputSettings settings)
    : source_(std::move(source)),
      format_(format),
      outputNames_(std::move(outputNames)),
      output_(output),
      settings_(settings),
      helpersDecode_(FaxDocument::readsPagesInAnyOrder(format)),
      results_(outputNames_.size())
{
    if (output_.layout == OutputLayout::FilePerDocument) encoded_.resize(outputNames_.size());
}

PageResult DocumentPages::writePage(const PageBitmap& page, int index)
{
    // Each page has a slot of its own: jobs write into different ones.
    if (output_.layout == OutputLayout::FilePerDocument) {
        return encodeOutputPage(output_, page, settings_, encoded_[size_t(index)]);
    }
    return writeOutputPage(output_, page, outputNames_[size_t(index)], settings_);
}

int DocumentPages::claim(PageBitmap& page, int below)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (helpersDecode_) {
        if (closed_ || nextPage_ >= pageCount()) return -1;
        ++pending_;
        return nextPage_++;
    }
    if (handedOver_.empty() || handedOver_.begin()->first >= below) return -1;
    const auto oldest = handedOver_.begin();
    const int index = oldest->first;
    page = std::move(oldest->second);
    handedOver_.erase(oldest);
    ++pending_;
    return index;
}

void DocumentPages::handOver(int index, PageBitmap page)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        handedOver_[index] = std::move(page);
    }
    changed_.notify_all();
}

void DocumentPages::closeClaims()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

void DocumentPages::done(int index, PageResult result)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        results_[size_t(index)] = std::move(result);
        --pending_;
    }
    changed_.notify_all();
}

void DocumentPages::ownResult(int index, PageResult result)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    results_[size_t(index)] = std::move(result);
}

void DocumentPages::waitForClaimed()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return pending_ == 0; });
}

void DocumentPages::help(const DecodeSetup& decode)
{
    FaxDocument document;
    document.setup() = decode;
    bool opened = false;
    for (;;) {
        PageBitmap page;
        const int index = claim(page);
        if (index < 0) {
            if (helpersDecode_) break;
            // Page after page: wait for the next page handed over, until the
            // opening job has read them all.
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return closed_ || !handedOver_.empty(); });
            if (handedOver_.empty()) break;
            continue;
        }
        PageResult result;
        try {
            if (helpersDecode_) {
                if (!opened) opened = document.openForPages(source_, format_);
                // A file that no longer opens gives the page as unreadable,
                // as the opening job's own reading of it would.
                if (opened) document.readPage(format_, size_t(index));
            }
            result = writePage(helpersDecode_ ? document.page() : page, index);
        } catch (...) {
            result = {PageOutcome::Failed, {}};
        }
        done(index, std::move(result));
    }
    document.close();
}

}  // namespace pagelift
