#include "faxdoc/fax_document.h"

#include "platform/awd_converter.h"

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

namespace {

// Formats whose documents count as valid only with at least one page.
bool validOnlyWithPages(FaxFormat format)
{
    return format == BitFax || format == Bmp || format == Dcx;
}

}  // namespace

template <class Reader>
int FaxDocument::openWithHeader(Reader& reader, const std::string& path, FaxFormat format)
{
    reader.openFile(path);
    if (!reader.isOpen()) return -1;
    if (reader.checkHeader() == 0) {
        settings_.pageCount = reader.countPages();
        pageValid_ = settings_.pageCount > 0 || !validOnlyWithPages(format);
    }
    return readPage(format, 0);
}

template <class Reader>
int FaxDocument::countWithHeader(Reader& reader, const std::string& path)
{
    reader.openFile(path);
    const int pages = reader.isOpen() && reader.checkHeader() == 0 ? reader.countPages() : 0;
    reader.closeFile();
    return pages;
}

int FaxDocument::countPages(const std::string& path, FaxFormat format)
{
    const FormatDispatch dispatch = dispatchFor(format);
    switch (dispatch.reader) {
    case ReaderKind::Tiff:
        if (dispatch.convertedFirst) break;
        return countWithHeader(tiff_, path);
    case ReaderKind::Fx: return countWithHeader(fx_, path);
    case ReaderKind::BitFax: return countWithHeader(bitFax_, path);
    case ReaderKind::Qliifax: return countWithHeader(qliifax_, path);
    case ReaderKind::Apf: return countWithHeader(apf_, path);
    case ReaderKind::PcResearch: return countWithHeader(pcResearch_, path);
    case ReaderKind::SftFax: return countWithHeader(sftFax_, path);
    case ReaderKind::Bmp: return countWithHeader(bmp_, path);
    case ReaderKind::Dcx: return countWithHeader(dcx_, path);
    case ReaderKind::Cals: return countWithHeader(cals_, path);
    case ReaderKind::Ds: return countWithHeader(ds_, path);
    case ReaderKind::Ed: return countWithHeader(ed_, path);
    case ReaderKind::Ig4: return countWithHeader(ig4_, path);
    case ReaderKind::RawFax: break;
    }
    open(path, format);
    const int pages = hasPage() ? pageCount() : 0;
    close();
    return pages;
}

bool FaxDocument::readsPagesInAnyOrder(FaxFormat format)
{
    const FormatDispatch dispatch = dispatchFor(format);
    return dispatch.reader == ReaderKind::Tiff && !dispatch.convertedFirst;
}

bool FaxDocument::openForPages(const std::string& path, FaxFormat format)
{
    page_ = PageBitmap{};
    if (!readsPagesInAnyOrder(format)) return false;
    tiff_.openFile(path);
    if (!tiff_.isOpen() || tiff_.checkHeader() != 0) return false;
    settings_.pageCount = tiff_.countPages();
    pageValid_ = settings_.pageCount > 0;
    return pageValid_;
}

int FaxDocument::openConvertedAwd(const std::string& path, FaxFormat format)
{
    tiff_.closeFile();
    // Without a converted file the document has no page.
    if (!convertAwd(path, settings_.tempTiffPath)) return readPage(format, 0);
    return openWithHeader(tiff_, settings_.tempTiffPath, format);
}

int FaxDocument::open(const std::string& path, FaxFormat format)
{
    const FormatDispatch dispatch = dispatchFor(format);
    switch (dispatch.reader) {
    case ReaderKind::RawFax: {
        rawFax_.openFile(path);
        if (!rawFax_.isOpen()) return -1;
        const int pages = rawFax_.prepare(settings_, page_);
        if (pages >= 0) {
            settings_.pageCount = static_cast<uint16_t>(pages);
            pageValid_ = true;
        }
        return readPage(format, 0);
    }
    case ReaderKind::Tiff:
        return dispatch.convertedFirst ? openConvertedAwd(path, format) : openWithHeader(tiff_, path, format);
    case ReaderKind::Fx: return openWithHeader(fx_, path, format);
    case ReaderKind::BitFax: return openWithHeader(bitFax_, path, format);
    case ReaderKind::Qliifax: return openWithHeader(qliifax_, path, format);
    case ReaderKind::Apf: return openWithHeader(apf_, path, format);
    case ReaderKind::PcResearch: return openWithHeader(pcResearch_, path, format);
    case ReaderKind::SftFax: return openWithHeader(sftFax_, path, format);
    case ReaderKind::Bmp: return openWithHeader(bmp_, path, format);
    case ReaderKind::Dcx: return openWithHeader(dcx_, path, format);
    case ReaderKind::Cals: return openWithHeader(cals_, path, format);
    case ReaderKind::Ds: return openWithHeader(ds_, path, format);
    case ReaderKind::Ed: return openWithHeader(ed_, path, format);
    case ReaderKind::Ig4: return openWithHeader(ig4_, path, format);
    }
    return readPage(format, 0);
}

int FaxDocument::readPage(FaxFormat format, size_t index)
{
    const FormatDispatch dispatch = dispatchFor(format);
    switch (dispatch.reader) {
    case ReaderKind::RawFax:
        // A raw stream without a working image has nothing to cut pages from.
        if (pageValid_) rawFax_.readPage(index, page_);
        break;
    case ReaderKind::Tiff: tiff_.readPage(index, page_); break;
    case ReaderKind::Fx:
        fx_.readPage(index, page_);
        fx_.readPageText(index, page_);
        break;
    case ReaderKind::BitFax:
        bitFax_.setProbeSettings(settings_.threshold, settings_.flagNum);
        bitFax_.readPage(index, page_);
        break;
    case ReaderKind::Qliifax:
        qliifax_.setProbeSettings(settings_.threshold, settings_.flagNum);
        qliifax_.readPage(index, page_);
        break;
    case ReaderKind::Apf: apf_.readPage(index, page_); break;
    case ReaderKind::PcResearch:
        pcResearch_.setProbeSettings(settings_.threshold, settings_.flagNum);
        pcResearch_.readPage(index, page_);
        break;
    case ReaderKind::SftFax: sftFax_.readPage(index, page_); break;
    case ReaderKind::Bmp: bmp_.readPage(index, page_); break;
    case ReaderKind::Dcx: dcx_.readPage(index, page_); break;
    case ReaderKind::Cals: cals_.readPage(index, page_); break;
    case ReaderKind::Ds: ds_.readPage(index, page_); break;
    case ReaderKind::Ed: ed_.readPage(index, page_); break;
    case ReaderKind::Ig4: ig4_.readPage(index, page_); break;
    }
    pageValid_ = page_.hasPage();
    return 0;
}

void FaxDocument::close()
{
    tiff_.closeFile();
    fx_.closeFile();
    bitFax_.closeFile();
    qliifax_.closeFile();
    apf_.closeFile();
    pcResearch_.closeFile();
    sftFax_.closeFile();
    bmp_.closeFile();
    dcx_.closeFile();
    cals_.closeFile();
    ds_.closeFile();
    ed_.closeFile();
    ig4_.closeFile();
    rawFax_.closeFile();
}

}  // namespace pagelift
