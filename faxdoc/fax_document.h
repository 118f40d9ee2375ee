#pragma once

#include "settings/decode_settings.h"
#include "faxdoc/fax_format.h"
#include "raster/page_bitmap.h"
#include "faxdoc/readers/apf_reader.h"
#include "faxdoc/readers/bit_fax_reader.h"
#include "faxdoc/readers/bmp_reader.h"
#include "faxdoc/readers/cals_reader.h"
#include "faxdoc/readers/dcx_reader.h"
#include "faxdoc/readers/ds_reader.h"
#include "faxdoc/readers/ed_reader.h"
#include "faxdoc/readers/fx_reader.h"
#include "faxdoc/readers/ig4_reader.h"
#include "faxdoc/readers/pc_research_reader.h"
#include "faxdoc/readers/qliifax_reader.h"
#include "faxdoc/readers/raw_fax_reader.h"
#include "faxdoc/readers/sft_fax_reader.h"
#include "faxdoc/readers/tiff_reader.h"

#include <string>

namespace pagelift {

// The reader that serves each container format.
enum class ReaderKind {
    Tiff,
    Fx,
    BitFax,
    Bmp,
    Dcx,
    Qliifax,
    Cals,
    Apf,
    PcResearch,
    Ig4,
    Ds,
    Ed,
    SftFax,
    RawFax,
};

struct FormatDispatch {
    ReaderKind reader;
    bool convertedFirst;  // AWD: an external converter makes a TIFF file first
};

// The reader for a format: every value outside the assigned ones (RawFax,
// NotFax, 2, 15 ...) is read as a raw fax stream.
FormatDispatch dispatchFor(FaxFormat format);

// One fax file being converted: opens it with the reader of its format,
// counts its pages and decodes one page at a time into page().
class FaxDocument {
public:
    FaxDocument() = default;
    FaxDocument(const FaxDocument&) = delete;
    FaxDocument& operator=(const FaxDocument&) = delete;

    // The copy of the process's decoding settings this document works with.
    DecodeSettings& settings() { return settings_; }

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

    uint16_t pageCount() const { return settings_.pageCount; }

    // Decodes page `index` (from 0) into page(); an unreadable page leaves
    // it empty. Always 0.
    int readPage(FaxFormat format, size_t index);

    // Closes the source file (so that it can be moved afterwards).
    void close();

    const PageBitmap& page() const { return page_; }

private:
    // The open steps of every reader with a header: open, check the header,
    // count the pages.
    template <class Reader>
    int countWithHeader(Reader& reader, const std::string& path);
    template <class Reader>
    int openWithHeader(Reader& reader, const std::string& path, FaxFormat format);
    // Runs the AWD converter on `path` and opens the TIFF file it wrote.
    int openConvertedAwd(const std::string& path, FaxFormat format);

    TiffReader tiff_;
    FxReader fx_;
    BitFaxReader bitFax_;
    BmpReader bmp_;
    DcxReader dcx_;
    QliifaxReader qliifax_;
    CalsReader cals_;
    ApfReader apf_;
    PcResearchReader pcResearch_;
    Ig4Reader ig4_;
    DsReader ds_;
    EdReader ed_;
    SftFaxReader sftFax_;
    RawFaxReader rawFax_;
    bool pageValid_ = false;
    DecodeSettings settings_;
    PageBitmap page_;
};

}  // namespace pagelift
