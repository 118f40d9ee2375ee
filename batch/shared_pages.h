#pragma once

// The pages of one multi-page document, converted by several jobs of a
// parallel run side by side, so that one long fax keeps every core busy.
// The job that opened the document offers its pages; a job with no file
// left to convert takes pages with a document of its own (its own working
// files) and records how each went; the opening job waits for all of them
// and writes the report, in page order, as if it had converted them alone.

#include "faxdoc/fax_document.h"
#include "faxdoc/fax_format.h"
#include "settings/decode_settings.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pagelift {

// How converting one page went.
enum class PageOutcome {
    Converted,
    TooLarge,       // beyond the limits of raster/page_size.h: nothing written
    NotPrepared,    // the intermediate bitmap could not be written
    NotCompressed,  // the JPEG step failed
    Failed,         // a failure was raised while converting it
};

struct PageResult {
    PageOutcome outcome = PageOutcome::Failed;
    std::string tooLargeText;  // "page too large: W x H" for TooLarge
};

// Writes the document's current page through the intermediate bitmap at
// `bitmapPath` into `jpegPath`. A page beyond the size limits is refused
// before anything is written, and a page whose bitmap could not be written
// is never compressed. Failures raised inside come back as Failed.
PageResult convertCurrentPage(const FaxDocument& document, const std::string& jpegPath, int quality, bool optimize,
                              const std::string& bitmapPath);

class DocumentPages {
public:
    // Page 0 is the opening job's (it is decoded already); the others may be
    // claimed. Pages are named `jpegNames[index]`.
    DocumentPages(std::string source, FaxFormat format, std::vector<std::string> jpegNames, int quality, bool optimize);

    // The next page not claimed yet (from 1); -1 when all are, or claims
    // are closed.
    int claim();

    // No page is handed out any more (the opening job gave up on the
    // document); the pages in hand still finish.
    void closeClaims();

    // Records the result of a page.
    void done(int index, PageResult result);

    // Waits until every page handed out is done; then the results of the
    // pages handed out (and page 0) are final, the rest stay Failed.
    void waitForClaimed();

    const PageResult& result(int index) const { return results_[size_t(index)]; }
    int pageCount() const { return int(jpegNames_.size()); }

    // Converts pages of the document with a document of the helping job's
    // own, opened with `decode` (its working files), until none is left to
    // claim.
    void help(const DecodeSettings& decode);

private:
    const std::string source_;
    const FaxFormat format_;
    const std::vector<std::string> jpegNames_;
    const int quality_;
    const bool optimize_;

    std::mutex mutex_;
    std::condition_variable allDone_;
    int nextPage_ = 1;
    int pending_ = 0;     // pages handed out and not done yet
    bool closed_ = false;
    std::vector<PageResult> results_;
};

// Where a document's pages are offered to the other jobs of a run.
class PageShare {
public:
    virtual ~PageShare() = default;
    virtual void offer(const std::shared_ptr<DocumentPages>& pages) = 0;
};

}  // namespace pagelift
