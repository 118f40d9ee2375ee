#include "faxdoc/fax_document.h"

namespace pagelift {

FormatDispatch dispatchFor(FaxFormat format)
{
    switch (format) {
    case Apf: return {ReaderKind::Apf, false};
    case Awd: return {ReaderKind::Tiff, true};
    case BitFax: return {ReaderKind::BitFax, false};
    case Bmp: return {ReaderKind::Bmp, false};
    case Cals: return {ReaderKind::Cals, false};
    case Dcx: return {ReaderKind::Dcx, false};
    case Ds: return {ReaderKind::Ds, false};
    case Ed: return {ReaderKind::Ed, false};
    case Fmf:
    case Tiff:
    case G3n: return {ReaderKind::Tiff, false};
    case Fx: return {ReaderKind::Fx, false};
    case PcResearch: return {ReaderKind::PcResearch, false};
    case Ig4: return {ReaderKind::Ig4, false};
    case Qfx: return {ReaderKind::Qliifax, false};
    case Sft: return {ReaderKind::SftFax, false};
    default: return {ReaderKind::RawFax, false};
    }
}

int FaxDocument::open(const std::string& path, FaxFormat format)
{
    const FormatDispatch dispatch = dispatchFor(format);
    if (dispatch.reader == ReaderKind::RawFax) {
        rawFax_.openFile(path);
        if (!rawFax_.isOpen()) return -1;
        const int pages = rawFax_.prepare(settings_, page_);
        if (pages >= 0) {
            settings_.pageCount = static_cast<uint16_t>(pages);
            pageValid_ = true;
        }
        return readPage(format, 0);
    }
    // Only the TIFF reader is part of this program so far besides raw
    // streams; the external converter of AWD files and the other containers'
    // readers are not, so those files open with no page and are reported as
    // no fax.
    if (dispatch.reader != ReaderKind::Tiff || dispatch.convertedFirst) return readPage(format, 0);

    tiff_.openFile(path);
    if (!tiff_.isOpen()) return -1;
    if (tiff_.checkHeader() == 0) {
        settings_.pageCount = tiff_.countPages();
        pageValid_ = true;
    }
    return readPage(format, 0);
}

int FaxDocument::readPage(FaxFormat format, size_t index)
{
    const FormatDispatch dispatch = dispatchFor(format);
    if (dispatch.reader == ReaderKind::RawFax) {
        // A raw stream without a working image has nothing to cut pages from.
        if (pageValid_) rawFax_.readPage(index, page_);
    } else if (dispatch.reader == ReaderKind::Tiff && !dispatch.convertedFirst) {
        tiff_.readPage(index, page_);
    } else {
        page_ = PageBitmap{};
    }
    pageValid_ = page_.hasPage();
    return 0;
}

void FaxDocument::close()
{
    tiff_.closeFile();
    rawFax_.closeFile();
}

}  // namespace pagelift
