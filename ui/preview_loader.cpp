#include "ui/preview_loader.h"

#include "batch/single_file.h"
#include "faxdoc/fax_document.h"
#include "faxdoc/fax_format.h"
#include "output/output_names.h"

#include <algorithm>
#include <system_error>

namespace pagelift {
namespace {

class FaxPreview final : public PreviewDocument {
public:
    FaxPreview(std::string path, FaxFormat format, const DecodeSetup& setup)
        : path_(std::move(path)), format_(format)
    {
        document_.setup() = setup;
    }

    // False when no page is found.
    bool open()
    {
        document_.open(path_, format_);
        if (!document_.hasPage()) return false;
        first_ = document_.page();
        nextIndex_ = 1;
        return true;
    }

    int pageCount() const override { return std::max<int>(document_.pageCount(), 1); }

    PageBitmap page(int index) override
    {
        if (index == 0) return first_;
        // Containers read front to back are opened again to go back.
        if (index < nextIndex_ && !FaxDocument::readsPagesInAnyOrder(format_) && !open()) return {};
        document_.readPage(format_, size_t(index));
        nextIndex_ = index + 1;
        return document_.page();
    }

private:
    std::string path_;
    FaxFormat format_;
    FaxDocument document_;
    PageBitmap first_;  // kept: the page shown first is wanted most often
    int nextIndex_ = 1;
};

}  // namespace

OpenedPreview openFaxForPreview(const std::string& path, const DecodeSetup& setup)
{
    OpenedPreview opened;
    try {
        auto document = std::make_unique<FaxPreview>(path, identifyFormat(path), setup);
        if (document->open()) {
            opened.document = std::move(document);
            return opened;
        }
    } catch (...) {
        // A failure inside the decoding reads as a file without a page.
    }
    // An output in the list (a JPEG file) is one the run passed over.
    const OutputFormat* output = outputFormatOfOwnFile(path);
    opened.failure = output != nullptr ? passedOverText(path, *output) : notFaxText(path);
    return opened;
}

PreviewLoader::PreviewLoader(PreviewEvents& events, PreviewOpener opener, int thumbnailWidth)
    : events_(events), opener_(std::move(opener)), thumbnailWidth_(thumbnailWidth)
{
}

PreviewLoader::~PreviewLoader()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

uint64_t PreviewLoader::show(const std::string& path, const DecodeSetup& setup)
{
    uint64_t number = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        latest_.number += 1;
        latest_.path = path;
        latest_.setup = setup;
        latest_.page = 0;
        number = latest_.number;
    }
    // A window whose preview is never opened starts no thread.
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { work(); });
        } catch (const std::system_error&) {
            return number;  // no thread to be had: the preview stays as it is
        }
    }
    changed_.notify_all();
    return number;
}

void PreviewLoader::wantPage(uint64_t request, int index)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (request != latest_.number) return;
        latest_.page = std::max(index, 0);
    }
    changed_.notify_all();
}

bool PreviewLoader::superseded(uint64_t request)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return stopping_ || latest_.number != request;
}

void PreviewLoader::work()
{
    uint64_t openRequest = 0;
    std::unique_ptr<PreviewDocument> document;
    int pageCount = 0;
    int shownPage = -1;
    std::shared_ptr<const PageBitmap> shown;  // page shownPage: its thumbnail needs no second decoding
    int nextThumbnail = 0;
    for (;;) {
        Request wanted;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] {
                return stopping_ || latest_.number != openRequest ||
                       (document != nullptr &&
                        (std::min(latest_.page, pageCount - 1) != shownPage || nextThumbnail < pageCount));
            });
            if (stopping_) return;
            wanted = latest_;
        }
        try {
            if (wanted.number != openRequest) {
                openRequest = wanted.number;
                document.reset();
                pageCount = 0;
                shownPage = -1;
                shown.reset();
                nextThumbnail = 0;
                if (wanted.path.empty()) continue;
                OpenedPreview opened = opener_(wanted.path, wanted.setup);
                if (superseded(openRequest)) continue;
                if (opened.document == nullptr) {
                    events_.failed(openRequest, opened.failure);
                    continue;
                }
                document = std::move(opened.document);
                pageCount = std::max(document->pageCount(), 1);
                // One page needs no strip of thumbnails.
                nextThumbnail = pageCount > 1 ? 0 : pageCount;
                events_.opened(openRequest, pageCount);
                continue;
            }
            const int index = std::min(wanted.page, pageCount - 1);
            if (index != shownPage) {
                shown = std::make_shared<const PageBitmap>(document->page(index));
                shownPage = index;
                if (!superseded(openRequest)) events_.pageDecoded(openRequest, index, shown);
                continue;
            }
            const PageBitmap decoded = nextThumbnail == shownPage ? PageBitmap{} : document->page(nextThumbnail);
            const PageBitmap& page = nextThumbnail == shownPage ? *shown : decoded;
            const PageShape shape = trueShapeOf(page);
            auto picture = std::make_shared<const PagePicture>(
                pictureOf(page, thumbnailWidth_, heightAtWidth(shape, thumbnailWidth_)));
            if (!superseded(openRequest)) events_.thumbnailMade(openRequest, nextThumbnail, std::move(picture));
            ++nextThumbnail;
        } catch (...) {
            // Memory ran out on a page: this fax shows no more of it.
            document.reset();
            if (!superseded(openRequest)) events_.failed(openRequest, notFaxText(wanted.path));
        }
    }
}

}  // namespace pagelift
