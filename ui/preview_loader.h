#pragma once

#include "raster/page_bitmap.h"
#include "settings/decode_settings.h"
#include "ui/page_picture.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace pagelift {

// A fax opened for the preview.
class PreviewDocument {
public:
    virtual ~PreviewDocument() = default;
    // At least 1.
    virtual int pageCount() const = 0;
    // Decodes page `index` (from 0, below pageCount); a page that cannot be
    // read comes back without pixels.
    virtual PageBitmap page(int index) = 0;
};

// What opening a fax for the preview gave: a document, or the reason there
// is none in the report's words.
struct OpenedPreview {
    std::unique_ptr<PreviewDocument> document;
    std::string failure;
};

// Opens a fax file with the decoding settings given (a stand-in in tests).
using PreviewOpener = std::function<OpenedPreview(const std::string& path, const DecodeSetup& setup)>;

// Opens a fax file of any format the program reads, decoding with `setup`
// (whose working files must be the preview's own). Without a page the
// failure is the report's "Failed : PATH - Not Fax", or for a JPEG file the
// words of a run that passes it over.
OpenedPreview openFaxForPreview(const std::string& path, const DecodeSetup& setup);

// What the loader tells its owner, on the loader's thread; the request
// number says which show() the news is about.
class PreviewEvents {
public:
    virtual ~PreviewEvents() = default;
    virtual void opened(uint64_t request, int pageCount) = 0;
    virtual void failed(uint64_t request, const std::string& reason) = 0;
    virtual void pageDecoded(uint64_t request, int index, std::shared_ptr<const PageBitmap> page) = 0;
    // The small picture of each page of a fax of several pages, in order,
    // once the page wanted is shown.
    virtual void thumbnailMade(uint64_t request, int index, std::shared_ptr<const PagePicture> picture) = 0;
};

// Decodes the faxes the preview shows on a thread of its own. Only the
// latest request counts: a file asked for while another is being decoded
// replaces it, and nothing more is told of the old one once its current
// step ends. The owner's thread never waits for a decoding.
class PreviewLoader {
public:
    // Thumbnails are `thumbnailWidth` pixels wide.
    PreviewLoader(PreviewEvents& events, PreviewOpener opener, int thumbnailWidth);
    // Waits for the step under way (a page's decoding) to end.
    ~PreviewLoader();
    PreviewLoader(const PreviewLoader&) = delete;
    PreviewLoader& operator=(const PreviewLoader&) = delete;

    // Shows the file at `path`, decoded with `setup`, from its first page;
    // an empty path shows nothing. Returns the new request's number.
    uint64_t show(const std::string& path, const DecodeSetup& setup);
    // The page of the latest request to decode next (out of range: the
    // nearest page). Nothing when `request` is no longer the latest.
    void wantPage(uint64_t request, int index);

private:
    struct Request {
        uint64_t number = 0;
        std::string path;
        DecodeSetup setup;
        int page = 0;
    };
    void work();
    bool superseded(uint64_t request);

    PreviewEvents& events_;
    PreviewOpener opener_;
    int thumbnailWidth_;
    std::mutex mutex_;
    std::condition_variable changed_;
    Request latest_;
    bool stopping_ = false;
    std::thread thread_;  // started by the first show()
};

}  // namespace pagelift
