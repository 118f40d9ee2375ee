#include "faxdoc/fax_document.h"

#include "platform/awd_converter.h"
#include "platform/work_folder.h"

#include <algorithm>

namespace pagelift {

ContainerReader& FaxDocument::readerFor(FaxFormat format)
{
    const ContainerFormat& row = containerFormatOf(format);
    if (reader_ == nullptr || readerFormat_ != &row) {
        if (reader_ != nullptr) reader_->close();
        reader_ = row.makeReader();
        readerFormat_ = &row;
    }
    return *reader_;
}

int FaxDocument::openWithReader(const std::string& path, FaxFormat format)
{
    ContainerReader& reader = *reader_;
    if (!reader.open(path)) return -1;
    const int pages = reader.countPages(setup_, page_);
    if (pages >= 0) {
        pageCount_ = static_cast<uint16_t>(pages);
        pageValid_ = pages > 0 || !containerFormatOf(format).validOnlyWithPages;
        texts_ = reader.faxTexts();
    }
    return readPage(format, 0);
}

int FaxDocument::countPages(const std::string& path, FaxFormat format)
{
    if (containerFormatOf(format).opening == Opening::WithHeader) {
        ContainerReader& reader = readerFor(format);
        int pages = 0;
        if (reader.open(path)) pages = std::max(reader.countPages(setup_, page_), 0);
        reader.close();
        return pages;
    }
    open(path, format);
    const int pages = hasPage() ? pageCount() : 0;
    close();
    return pages;
}

bool FaxDocument::readsPagesInAnyOrder(FaxFormat format) { return containerFormatOf(format).pagesInAnyOrder; }

bool FaxDocument::openForPages(const std::string& path, FaxFormat format)
{
    page_ = PageBitmap{};
    if (!readsPagesInAnyOrder(format)) return false;
    ContainerReader& reader = readerFor(format);
    if (!reader.open(path)) return false;
    const int pages = reader.countPages(setup_, page_);
    if (pages < 0) return false;
    pageCount_ = static_cast<uint16_t>(pages);
    pageValid_ = pages > 0;
    texts_ = reader.faxTexts();
    return pageValid_;
}

int FaxDocument::openConvertedAwd(const std::string& path, FaxFormat format)
{
    // Without a converted file the document has no page.
    if (!makeWorkFolderFor(setup_.files.tempTiffPath) || !convertAwd(path, setup_.files.tempTiffPath)) {
        return readPage(format, 0);
    }
    return openWithReader(setup_.files.tempTiffPath, format);
}

int FaxDocument::open(const std::string& path, FaxFormat format)
{
    ContainerReader& reader = readerFor(format);
    reader.close();
    texts_ = FaxTexts{};
    if (containerFormatOf(format).opening == Opening::ConvertedToTiff) return openConvertedAwd(path, format);
    return openWithReader(path, format);
}

int FaxDocument::readPage(FaxFormat format, size_t index)
{
    readerFor(format).readPage(index, setup_, page_);
    pageValid_ = page_.hasPage();
    return 0;
}

void FaxDocument::close()
{
    if (reader_ != nullptr) reader_->close();
}

}  // namespace pagelift
