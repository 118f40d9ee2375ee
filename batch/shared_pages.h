#pragma once

// The pages of one multi-page document, converted by several jobs of a
// parallel run side by side, so that one long fax keeps every core busy.
// The job that opened the document offers its pages; a job with no file
// left to convert helps with them, with working files of its own, and
// records how each page went; the opening job waits for all of them and
// writes the report, in page order, as if it had converted them alone.
//
// Files whose pages can be read in any order (TIFF) are decoded by the
// helpers too. Containers read page after page are decoded by the opening
// job alone, which hands each decoded page over and goes on with the next
// one while a helper writes and compresses it.

#include "faxdoc/fax_document.h"
#include "faxdoc/fax_format.h"
#include "output/output_format.h"
#include "raster/page_bitmap.h"
#include "settings/decode_settings.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pagelift {

class DocumentPages {
public:
    // Page `index` is written to `outputNames[index]` in `output`. Page 0
    // is always the opening job's (it is decoded already).
    DocumentPages(std::string source, FaxFormat format, std::vector<std::string> outputNames,
                  const OutputFormat& output, OutputSettings settings);

    // True when helpers decode pages themselves (the format reads pages in
    // any order); otherwise the opening job hands decoded pages over.
    bool helpersDecode() const { return helpersDecode_; }

    // Any order: the next page not claimed yet (from 1). Page after page:
    // the oldest page handed over and not taken yet, if it comes before
    // `below`, its bitmap moved into `page`. -1 when there is none now (or,
    // in any order, claims are closed).
    int claim(PageBitmap& page, int below = INT32_MAX);

    // Page after page: the opening job hands the decoded page over.
    void handOver(int index, PageBitmap page);

    // Every page that will ever be handed out is: helpers waiting for one
    // stop waiting (the opening job read the last page, or gave up).
    void closeClaims();

    // Records the result of a page taken with claim.
    void done(int index, PageResult result);

    // Records the result of a page the opening job converted without
    // claiming it (page 0, when helpers decode).
    void ownResult(int index, PageResult result);

    // Waits until every page handed out is done; the results of the pages
    // never handed out stay Failed.
    void waitForClaimed();

    const PageResult& result(int index) const { return results_[size_t(index)]; }
    int pageCount() const { return int(outputNames_.size()); }
    // Writes a decoded page as page `index` of the document: its own file,
    // or for a format of a file per document its encoding, kept here.
    PageResult writePage(const PageBitmap& page, int index);
    // A format of a file per document: the encoding of page `index`, once
    // every page handed out is done.
    const EncodedPage& encodedPage(int index) const { return encoded_[size_t(index)]; }

    // Converts pages of the document, with `decode` (the helping job's own
    // working files) and, for any-order formats, a document of its own,
    // until no page is left to take.
    void help(const DecodeSetup& decode);

private:
    const std::string source_;
    const FaxFormat format_;
    const std::vector<std::string> outputNames_;
    const OutputFormat& output_;
    const OutputSettings settings_;
    const bool helpersDecode_;

    std::mutex mutex_;
    std::condition_variable changed_;
    int nextPage_ = 1;                       // any order: the next page to hand out
    std::map<int, PageBitmap> handedOver_;   // page after page: decoded, not taken yet
    int pending_ = 0;                        // pages taken and not done yet
    bool closed_ = false;
    std::vector<PageResult> results_;
    std::vector<EncodedPage> encoded_;  // by page, for a format of a file per document
};

// Where a document's pages are offered to the other jobs of a run.
class PageShare {
public:
    virtual ~PageShare() = default;
    virtual void offer(const std::shared_ptr<DocumentPages>& pages) = 0;
};

}  // namespace pagelift
