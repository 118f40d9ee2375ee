#pragma once

#include "settings/decode_settings.h"
#include "faxdoc/fax_format.h"
#include "raster/page_bitmap.h"
#include "faxdoc/container_formats.h"

#include <memory>
#include <string>

namespace pagelift {

// One fax file being converted: opens it with the reader of its format,
// counts its pages and decodes one page at a time into page().
class FaxDocument {
public:
    FaxDocument() = default;
    FaxDocument(const FaxDocument&) = delete;
    FaxDocument& operator=(const FaxDocument&) = delete;

    // The decoding settings and working files this document works with.
    DecodeSetup& setup() { return setup_; }
    DecodeSettings& settings() { return setup_.settings; }
    WorkingFiles& workingFiles() { return setup_.files; }

    // Opens the file and decodes page 0. -1 when the file cannot be opened
    // (no page then); otherwise the result of readPage(format, 0). A file
    // whose header is not of its format has no page. A raw fax stream is
    // analysed first and its pages cut from the working image that the
    // settings name. An AWD document is first turned into the settings'
    // temporary TIFF file by the external converter (convertAwd), which is
    // then read as a TIFF file; when the conversion fails it has no page.
    int open(const std::string& path, FaxFormat format);

    // The pages a conversion of the file goes through, as its container's
    // header counts them, without decoding any page where the container
    // allows (raw streams and AWD documents are opened whole, as open does).
    // 0 when the file cannot be opened or holds no fax. The document is
    // closed again.
    int countPages(const std::string& path, FaxFormat format);

    // True for formats whose pages can be read in any order, each alone
    // (TIFF files): several documents opened on one file may then decode
    // different pages of it side by side.
    static bool readsPagesInAnyOrder(FaxFormat format);

    // Opens such a file and counts its pages as open does, but decodes no
    // page: readPage fetches the ones wanted. False (no page) when the file
    // cannot be opened, its header is not of its format, or the format is
    // not one of those.
    bool openForPages(const std::string& path, FaxFormat format);

    // True when page() holds a page (width and rows above 0).
    bool hasPage() const { return page_.hasPage(); }

    uint16_t pageCount() const { return pageCount_; }

    // Decodes page `index` (from 0) into page(); an unreadable page leaves
    // it empty. Always 0.
    int readPage(FaxFormat format, size_t index);

    // Closes the source file (so that it can be moved afterwards).
    void close();

    const PageBitmap& page() const { return page_; }

    // What the file opened last says of the fax as a whole.
    const FaxTexts& texts() const { return texts_; }

private:
    // The reader of `format`, made anew unless the one at hand is its.
    ContainerReader& readerFor(FaxFormat format);
    // Opens `path` with the current reader and counts its pages.
    int openWithReader(const std::string& path, FaxFormat format);
    // Runs the AWD converter on `path` and opens the TIFF file it wrote.
    int openConvertedAwd(const std::string& path, FaxFormat format);

    std::unique_ptr<ContainerReader> reader_;
    const ContainerFormat* readerFormat_ = nullptr;  // the row reader_ was made from
    bool pageValid_ = false;
    DecodeSetup setup_;
    uint16_t pageCount_ = 0;
    PageBitmap page_;
    FaxTexts texts_;
};

}  // namespace pagelift
