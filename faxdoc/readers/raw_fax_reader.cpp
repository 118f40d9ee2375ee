#include "faxdoc/readers/raw_fax_reader.h"

#include "ccitt/ccitt_decoder.h"
#include "ccitt/fax_coding.h"
#include "ccitt/mmr_decoder.h"
#include "ccitt/page_heights.h"
#include "ccitt/page_setup.h"
#include "ccitt/raw_analysis.h"
#include "ccitt/raw_work_files.h"
#include "platform/work_folder.h"
#include "platform/owned_file.h"

#include <sys/types.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>

namespace pagelift {
namespace {

using File = OwnedFile;

// A header this program's writers could have made: the rows that follow it
// can be cut into pages without any size going wrong.
bool isUsableHeader(const PageBitmap& header)
{
    return header.width >= 1 && header.width <= kMaxWorkImageWidth && header.bytesPerRow == (header.width + 7) / 8 &&
           header.rows >= 0;
}

bool readHeaderBytes(std::FILE* file, std::array<uint8_t, kWorkImageHeaderSize>& bytes)
{
    return std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

}  // namespace

void RawFaxReader::takeSettings(const DecodeSetup& setup)
{
    const DecodeSettings& settings = setup.settings;
    rawImagePath_ = setup.files.rawImagePath;
    rawSegmentPath_ = setup.files.rawSegmentPath;
    threshold_ = settings.threshold;
    flagNum_ = settings.flagNum;
    minWidth_ = settings.minWidth;
    rawData_ = settings.rawData;
    totalRows_ = 0;
    rowsPerPage_ = 0;
}

int RawFaxReader::analyse(uint8_t bitOrder, bool anyWidth)
{
    // The decoders address the data with 32-bit offsets.
    if (fileSize() > std::numeric_limits<int32_t>::max() || !loadCodedData(0, size_t(fileSize()))) return -1;
    // The analysis writes its working files; the private folder they go in
    // is made only now, by the first run that needs it.
    if (!makeWorkFolderFor(rawImagePath_) || !makeWorkFolderFor(rawSegmentPath_)) return -1;
    const uint8_t* data = codedData().data();
    const int32_t size = int32_t(codedData().size());
    CcittDecoder decoder(data, size, 1, FaxMhWithEol, 0);
    MmrDecoder mmrDecoder(data, size, 1, 0, 0, 3);
    mmrDecoder.setRawStream(rawData_);

    const auto mhOrMr = [&](uint8_t order) {
        return rawToWorkFiles(decoder, rawImagePath_, rawSegmentPath_, threshold_, order, anyWidth, minWidth_);
    };
    const auto mmr = [&](uint8_t order) {
        return rawMmrToWorkFiles(mmrDecoder, rawImagePath_, rawSegmentPath_, threshold_, flagNum_, order, anyWidth,
                                 minWidth_);
    };
    int result = -1;
    if (bitOrder != 0) {
        result = mhOrMr(bitOrder);
        if (result < 0) result = mmr(bitOrder);
    } else {
        result = mhOrMr(2);
        if (result < 0) result = mhOrMr(1);
        if (result < 0) result = mmr(2);
        if (result < 0) result = mmr(1);
    }
    // The pages come from the working image; the coded bytes are done with.
    loadCodedData(0, 0);
    return result;
}

int RawFaxReader::readImageHeader(const std::string& path, PageBitmap& page)
{
    File file(std::fopen(path.c_str(), "rb"));
    std::array<uint8_t, kWorkImageHeaderSize> bytes{};
    if (!file || !readHeaderBytes(file.get(), bytes)) return -1;
    PageBitmap header;
    decodeWorkImageHeader(bytes.data(), header);
    if (!isUsableHeader(header)) return -1;
    page.copyHeaderFrom(header);
    totalRows_ = uint32_t(header.rows);
    return 0;
}

int RawFaxReader::prepare(const DecodeSetup& setup, PageBitmap& page)
{
    takeSettings(setup);
    const DecodeSettings& settings = setup.settings;
    if (analyse(settings.bitOrder, settings.anyWidth != 0) < 0 || readImageHeader(rawImagePath_, page) < 0) {
        page = PageBitmap{};
        return -1;
    }
    if (settings.resolution != 0) {
        page.yResolution = int16_t(std::min<uint16_t>(settings.resolution, std::numeric_limits<int16_t>::max()));
    }
    pageResolution_ = page.yResolution;
    rowsPerPage_ = rowsPerPageFor(page.paperSize, page.yResolution);
    return countPages();
}

uint16_t RawFaxReader::countPages() const
{
    if (rowsPerPage_ == 0) return 0;
    const uint64_t pages = (uint64_t(totalRows_) + rowsPerPage_ - 1) / rowsPerPage_;
    return uint16_t(std::min<uint64_t>(pages, std::numeric_limits<uint16_t>::max()));
}

void RawFaxReader::readPage(size_t index, PageBitmap& page)
{
    if (!isOpen()) return;
    const uint16_t previousXResolution = page.xResolution;
    // Whatever goes wrong below leaves no page rather than a stale one.
    PageBitmap cut;
    File file(std::fopen(rawImagePath_.c_str(), "rb"));
    std::array<uint8_t, kWorkImageHeaderSize> bytes{};
    if (!file || !readHeaderBytes(file.get(), bytes)) {
        page = PageBitmap{};
        return;
    }
    decodeWorkImageHeader(bytes.data(), cut);
    if (!isUsableHeader(cut) || rowsPerPage_ == 0 || fseeko(file.get(), 0, SEEK_END) != 0 || ftello(file.get()) <= 0) {
        page = PageBitmap{};
        return;
    }

    const int64_t firstRow = int64_t(rowsPerPage_) * int64_t(std::min<size_t>(index, uint32_t(-1)));
    const int64_t rows = std::min<int64_t>(rowsPerPage_, int64_t(cut.rows) - firstRow);
    cut.rows = int32_t(std::max<int64_t>(rows, 0));
    cut.xResolution = std::max<uint16_t>(previousXResolution, 200);
    cut.yResolution = resolutionOfA4PageHeight(rowsPerPage_, pageResolution_);
    const int64_t length = int64_t(cut.rows) * cut.bytesPerRow;
    if (length > kMaxPageBytes) {
        page = PageBitmap{};
        return;
    }
    try {
        cut.pixels.assign(size_t(length), 0xFF);  // white where the file has no more rows
    } catch (const std::bad_alloc&) {
        page = PageBitmap{};
        return;
    }
    const int64_t offset = int64_t(kWorkImageHeaderSize) + firstRow * cut.bytesPerRow;
    if (length > 0 && fseeko(file.get(), off_t(offset), SEEK_SET) == 0) {
        const size_t got = std::fread(cut.pixels.data(), 1, size_t(length), file.get());
        (void)got;  // a short read leaves the rest white
    }
    page.copyHeaderFrom(cut);
    page.pixels.swap(cut.pixels);
}

}  // namespace pagelift
