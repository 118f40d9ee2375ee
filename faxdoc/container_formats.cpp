#include "faxdoc/container_formats.h"

#include "faxdoc/readers/apf_reader.h"
#include "faxdoc/readers/bit_fax_reader.h"
#include "faxdoc/readers/bmp_reader.h"
#include "faxdoc/readers/cals_reader.h"
#include "faxdoc/readers/dcx_reader.h"
#include "faxdoc/readers/ds_reader.h"
#include "faxdoc/readers/ed_reader.h"
#include "faxdoc/readers/fx_reader.h"
#include "faxdoc/readers/ig4_reader.h"
#include "faxdoc/readers/jbig_reader.h"
#include "faxdoc/readers/pc_research_reader.h"
#include "faxdoc/readers/qliifax_reader.h"
#include "faxdoc/readers/raw_fax_reader.h"
#include "faxdoc/readers/sff_reader.h"
#include "faxdoc/readers/sft_fax_reader.h"
#include "faxdoc/readers/tiff_reader.h"

namespace pagelift {
namespace {

// A raw stream: its analysis writes the working image its pages are cut
// from; without one there is nothing to cut.
class RawStreamReader final : public ContainerReader {
public:
    bool open(const std::string& path) override
    {
        reader_.openFile(path);
        return reader_.isOpen();
    }

    int countPages(const DecodeSetup& setup, PageBitmap& page) override
    {
        const int pages = reader_.prepare(setup, page);
        prepared_ = pages >= 0;
        return pages;
    }

    void readPage(size_t index, const DecodeSetup&, PageBitmap& page) override
    {
        if (prepared_) reader_.readPage(index, page);
    }

    void close() override { reader_.closeFile(); }

private:
    RawFaxReader reader_;
    bool prepared_ = false;
};

std::unique_ptr<ContainerReader> makeRawStreamReader() { return std::make_unique<RawStreamReader>(); }

constexpr Opening kHeader = Opening::WithHeader;

// Tried in this order; the first candidate that matches decides. Order
// matters because the comparison is by prefix ("cals" after "cal").
const ContainerFormat kFormats[] = {
    // format, extensions, after the g3f probe, opening, reader, only with pages, pages in any order
    {Tiff, {"tif", "tiff"}, false, kHeader, makeHeaderReader<TiffReader>, false, true},
    {Fmf, {"fmf"}, false, kHeader, makeHeaderReader<TiffReader>, false, true},
    {Fx, {"fxd", "fxm", "fxr", "fxs"}, false, kHeader, makeHeaderReader<FxReader>, false, false},
    {Awd, {"awd"}, false, Opening::ConvertedToTiff, makeHeaderReader<TiffReader>, false, false},
    {Apf, {"apf"}, false, kHeader, makeHeaderReader<ApfReader>, false, false},
    {BitFax, {"bfx"}, false, kHeader, makeHeaderReader<BitFaxReader>, true, false},
    {Dcx, {"dcx"}, false, kHeader, makeHeaderReader<DcxReader>, true, false},
    {Bmp, {"bmp"}, false, kHeader, makeHeaderReader<BmpReader>, true, false},
    {Cals, {"cal", "cg4", "gp4", "img", "mil", "oda", "ras", "cals"}, false, kHeader, makeHeaderReader<CalsReader>, false, false},
    {Ig4, {"ig4"}, false, kHeader, makeHeaderReader<Ig4Reader>, false, false},
    {Qfx, {"qfx"}, false, kHeader, makeHeaderReader<QliifaxReader>, false, false},
    {G3n, {"g3n"}, false, kHeader, makeHeaderReader<TiffReader>, false, true},
    // A .g3f name is probed between these rows and the ones below.
    {PcResearch, {}, false, kHeader, makeHeaderReader<PcResearchReader>, false, false},
    {Ds, {"ds"}, true, kHeader, makeHeaderReader<DsReader>, false, false},
    {Ed, {"ed"}, true, kHeader, makeHeaderReader<EdReader>, false, false},
    {Sft, {"sft"}, true, kHeader, makeHeaderReader<SftFaxReader>, false, false},
    {Sff, {"sff"}, true, kHeader, makeHeaderReader<SffReader>, true, false},
    {Jbig, {"jbg", "jbig"}, true, kHeader, makeHeaderReader<JbigReader>, true, false},
};

// Every other file: a raw fax stream, whatever its name.
const ContainerFormat kRawStream{RawFax, {}, false, Opening::RawStream, makeRawStreamReader, false, false};

}  // namespace

std::span<const ContainerFormat> containerFormats() { return kFormats; }

const ContainerFormat& containerFormatOf(FaxFormat format)
{
    for (const ContainerFormat& row : kFormats) {
        if (row.format == format) return row;
    }
    return kRawStream;
}

}  // namespace pagelift
