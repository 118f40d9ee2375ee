#include "ccitt/raw_work_files.h"

#include "ccitt/fax_coding.h"
#include "ccitt/page_heights.h"
#include "ccitt/page_loops.h"
#include "ccitt/stream_position.h"
#include "ccitt/two_d_decoder.h"
#include "ccitt/work_image_rows.h"
#include "platform/little_endian.h"
#include "platform/owned_file.h"

#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace pagelift {
namespace {

using File = OwnedFile;

bool writeAt(std::FILE* file, int64_t offset, const uint8_t* bytes, size_t length)
{
    return fseeko(file, off_t(offset), SEEK_SET) == 0 && std::fwrite(bytes, 1, length, file) == length;
}

bool readAt(std::FILE* file, int64_t offset, uint8_t* bytes, size_t length)
{
    return fseeko(file, off_t(offset), SEEK_SET) == 0 && std::fread(bytes, 1, length, file) == length;
}

}  // namespace

std::array<uint8_t, kWorkImageHeaderSize> encodeWorkImageHeader(const PageBitmap& page)
{
    std::array<uint8_t, kWorkImageHeaderSize> bytes{};
    LittleEndianWriter out(bytes.data());
    out.i32(page.reserved);
    out.i32(page.width);
    out.i32(page.rows);
    out.i32(page.bytesPerRow);
    out.i16(page.planes);
    out.i16(page.bitsPerPixel);
    out.u32(page.codedLength);
    out.u16(page.xResolution);
    out.i16(page.yResolution);
    out.u8(page.resolutionUnit);
    out.u8(page.fillOrder);
    out.u8(page.coding);
    out.u8(page.paperSize);
    out.u8(page.photometric);
    out.u32(0);  // reserved
    return bytes;
}

void decodeWorkImageHeader(const uint8_t* bytes, PageBitmap& page)
{
    page.reserved = int32_t(le32(bytes));
    page.width = int32_t(le32(bytes + 4));
    page.rows = int32_t(le32(bytes + 8));
    page.bytesPerRow = int32_t(le32(bytes + 12));
    page.planes = int16_t(le16(bytes + 16));
    page.bitsPerPixel = int16_t(le16(bytes + 18));
    page.codedLength = le32(bytes + 20);
    page.xResolution = le16(bytes + 24);
    page.yResolution = int16_t(le16(bytes + 26));
    page.resolutionUnit = bytes[28];
    page.fillOrder = bytes[29];
    page.coding = bytes[30];
    page.paperSize = bytes[31];
    page.photometric = bytes[32];
}

int writeMhWorkFiles(CcittDecoder& decoder, const std::string& imagePath, const std::string& segmentPath)
{
    WorkImageRows rows;
    if (!rows.create(imagePath, segmentPath, decoder, FaxMhWithEol)) return -1;
    rows.segment().startFirstSegmentAtOrigin();
    int invalidCodes = 0;
    if (decoder.findEol() >= 0) {
        rows.lineStartsAt(openingOfLine(decoder, kEolBits));
        invalidCodes = decodeMhEolRows(decoder, rows, EolLineRules{true, false}).invalidCodes;
    }
    return rows.finish() < 0 ? -1 : invalidCodes;
}

int writeMrWorkFiles(CcittDecoder& decoder, const std::string& imagePath, const std::string& segmentPath)
{
    WorkImageRows rows;
    if (!rows.create(imagePath, segmentPath, decoder, FaxMr)) return -1;
    std::optional<RunBuffers> buffers = makeRunBuffers(decoder);
    if (!buffers || !seekOneDimensionalLine(decoder)) return -1;
    // Bad lines count the damaged ones, not the lines lost after them.
    const int damaged = decodeMrRows(decoder, rows, *buffers).damaged;
    return rows.finish() < 0 ? -1 : damaged;
}

int writeMmrWorkFiles(MmrDecoder& decoder, const std::string& imagePath, const std::string& segmentPath)
{
    WorkImageRows rows;
    if (!rows.create(imagePath, segmentPath, decoder, FaxMmr)) return -1;
    std::optional<RunBuffers> buffers = makeRunBuffers(decoder);
    if (!buffers) return -1;
    int result = decodeMmrRows(decoder, rows, *buffers);
    // Rows were kept: the stream simply ended (in damage, perhaps).
    if (rows.kept() > 0) result = 0;
    return rows.finish() < 0 ? -1 : result;
}

int guessResolution(const std::string& segmentPath, uint16_t& resolution, int32_t longestPage)
{
    File file(std::fopen(segmentPath.c_str(), "r+b"));
    if (!file) return -1;
    std::array<uint8_t, 16> header{};
    if (!readAt(file.get(), 0, header.data(), header.size())) return -1;
    const uint32_t recordCount = le32(header.data());
    const uint8_t paperSize = header[14];

    // Records are read one by one: their count comes from the file, which
    // may be shorter than it says.
    if (fseeko(file.get(), off_t(kSegmentHeaderSize), SEEK_SET) != 0) return -1;
    uint32_t records = 0;
    int32_t longest = 0;
    std::array<uint8_t, kSegmentRecordSize> record{};
    while (records < recordCount && std::fread(record.data(), 1, record.size(), file.get()) == record.size()) {
        longest = std::max(longest, int32_t(le32(record.data() + 8)));
        ++records;
    }
    if (records == 0) return -2;

    resolution = resolutionForPageLines(paperSize, std::max(longest, longestPage), resolution);
    std::array<uint8_t, 6> guess{};
    LittleEndianWriter out(guess.data());
    out.u32(uint32_t(longest));
    out.u16(resolution);
    if (!writeAt(file.get(), 16, guess.data(), guess.size())) return -1;
    return std::fclose(file.release()) == 0 ? 0 : -1;
}

}  // namespace pagelift
