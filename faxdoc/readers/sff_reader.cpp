#include "faxdoc/readers/sff_reader.h"

#include "ccitt/ccitt_decoder.h"
#include "ccitt/coded_page.h"
#include "ccitt/mh_decoder.h"
#include "ccitt/page_setup.h"
#include "ccitt/row_writer.h"
#include "platform/little_endian.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace pagelift {
namespace {

constexpr uint8_t kPageHeaderMark = 254;
constexpr uint8_t kEscape = 255;
constexpr uint8_t kLongestShortLine = 216;
constexpr uint8_t kEndOfDocumentResolution = 255;
constexpr size_t kFirstPageField = 10;
constexpr int32_t kDefaultLineLength = 1728;

// A page header as read: where the page's records begin, and its fields.
struct SffPageHeader {
    size_t records = 0;  // offset of the first record
    uint8_t verticalResolution = 0;
    uint8_t horizontalResolution = 0;
    int32_t lineLength = 0;
};

// The page header at `at` in `bytes`: nullopt when none stands there, or
// when it ends the document (length 0, vertical resolution 255). Fields the
// header is too short to hold read as zero.
std::optional<SffPageHeader> pageHeaderAt(const std::vector<uint8_t>& bytes, size_t at)
{
    if (at + 2 > bytes.size() || bytes[at] != kPageHeaderMark) return std::nullopt;
    const size_t length = bytes[at + 1];
    if (length == 0 || at + 2 + length > bytes.size()) return std::nullopt;
    uint8_t fields[16] = {};
    std::memcpy(fields, bytes.data() + at + 2, std::min<size_t>(length, sizeof fields));
    if (fields[0] == kEndOfDocumentResolution) return std::nullopt;
    SffPageHeader header;
    header.records = at + 2 + length;
    header.verticalResolution = fields[0];
    header.horizontalResolution = fields[1];
    header.lineLength = le16(fields + 4);
    return header;
}

// One record of a page, as the walk over them reads it.
struct SffRecord {
    enum Kind { Line, WhiteLines, UnreadableLine, Skipped, PageEnd } kind = PageEnd;
    size_t data = 0;    // Line: where its bytes begin
    size_t length = 0;  // Line: its byte count; WhiteLines: the line count
    size_t next = 0;    // where the next record begins
};

// The record at `at`; PageEnd at a page header, at the end of the data, and
// at a record that runs past the end.
SffRecord recordAt(const std::vector<uint8_t>& bytes, size_t at)
{
    SffRecord record;
    if (at >= bytes.size()) return record;
    const uint8_t kind = bytes[at];
    if (kind == kPageHeaderMark) return record;
    size_t data = at + 1;
    size_t length = kind;
    if (kind == 0) {
        if (at + 3 > bytes.size()) return record;
        length = le16(bytes.data() + at + 1);
        data = at + 3;
    } else if (kind > kLongestShortLine && kind < kPageHeaderMark) {
        record.kind = SffRecord::WhiteLines;
        record.length = size_t(kind - kLongestShortLine);
        record.next = at + 1;
        return record;
    } else if (kind == kEscape) {
        if (at + 2 > bytes.size()) return record;
        const uint8_t count = bytes[at + 1];
        record.kind = count == 0 ? SffRecord::UnreadableLine : SffRecord::Skipped;
        record.next = at + 2 + count;
        if (record.next > bytes.size()) record.kind = SffRecord::PageEnd;
        return record;
    }
    if (data + length > bytes.size()) return record;
    record.kind = SffRecord::Line;
    record.data = data;
    record.length = length;
    record.next = data + length;
    return record;
}

// Calls `take` for every record of the page whose records begin at `at`;
// returns where the page ends.
template <class Take>
size_t forEachRecord(const std::vector<uint8_t>& bytes, size_t at, Take&& take)
{
    for (;;) {
        const SffRecord record = recordAt(bytes, at);
        if (record.kind == SffRecord::PageEnd) return at;
        take(record);
        at = record.next;
    }
}

// The rows a page's records make.
int64_t rowsOfPage(const std::vector<uint8_t>& bytes, size_t records)
{
    int64_t rows = 0;
    forEachRecord(bytes, records, [&](const SffRecord& record) {
        if (record.kind == SffRecord::WhiteLines) {
            rows += int64_t(record.length);
        } else if (record.kind != SffRecord::Skipped) {
            ++rows;
        }
    });
    return rows;
}

int16_t linesPerInch(uint8_t code)
{
    switch (code) {
    case 0: return 98;
    case 1: return 196;
    case 2: return 391;
    default: return 196;
    }
}

uint16_t dotsPerInch(uint8_t code) { return code == 1 ? 406 : 203; }

}  // namespace

bool SffReader::loadFile() { return isOpen() && loadCodedDataWithin(0, uint64_t(fileSize())); }

int SffReader::checkHeader()
{
    if (!isOpen()) return -1;
    uint8_t header[kDocumentHeaderSize] = {};
    const bool present = readAt(0, header, sizeof header) && le32(header) == 0x66666653u;
    return acceptFirstPageHeader(present);
}

uint16_t SffReader::countPages()
{
    clearPageOffsets();
    if (loadFile()) {
        const std::vector<uint8_t>& bytes = codedData();
        size_t at = bytes.size() >= kDocumentHeaderSize ? le16(bytes.data() + kFirstPageField) : bytes.size();
        // The first page header may stand anywhere after the document header.
        at = std::max(at, kDocumentHeaderSize);
        while (const auto header = pageHeaderAt(bytes, at)) {
            if (addPageOffset(uint32_t(at)) < 0) break;
            at = forEachRecord(bytes, header->records, [](const SffRecord&) {});
        }
    }
    if (pageCount() == 0) closeFile();
    return pageCount();
}

void SffReader::readPage(size_t index, PageBitmap& page)
{
    page = PageBitmap{};
    if (!isOpen() || index >= pageCount() || !loadFile()) return;
    const std::vector<uint8_t>& bytes = codedData();
    const auto header = pageHeaderAt(bytes, pageOffset(index));
    if (!header) return;
    const int32_t width = header->lineLength > 0 ? header->lineLength : kDefaultLineLength;
    const int64_t rows = rowsOfPage(bytes, header->records);
    if (!pageGeometryFits(width, rows)) return;

    CcittDecoder geometry(nullptr, 0, 2, FaxMhByteAligned, 0);
    geometry.setGeometry(width, int32_t(rows));
    if (setUpPage(geometry, page, FaxMhByteAligned) < 0) {
        page = PageBitmap{};
        return;
    }
    const int32_t height = int32_t(rows);
    int32_t row = 0;
    const auto whiteRow = [&] {
        RowCursor cursor = startRow(page, row, height);
        fillRestWhite(cursor, width, 0);
        ++row;
    };
    forEachRecord(bytes, header->records, [&](const SffRecord& record) {
        switch (record.kind) {
        case SffRecord::Line: {
            RowCursor cursor = startRow(page, row, height);
            CcittDecoder line(bytes.data() + record.data, int32_t(record.length), 2, FaxMhByteAligned, 0);
            line.setGeometry(width, 1);
            const int32_t total = decodeMhLineToWidth(line, cursor, nullptr);
            if (total != width && total != EndAfterFullLine) fillRestWhite(cursor, width, 0);
            ++row;
            break;
        }
        case SffRecord::WhiteLines:
            for (size_t count = 0; count < record.length; ++count) whiteRow();
            break;
        case SffRecord::UnreadableLine:
            // Its place is kept with the row before it, as damaged lines are.
            if (row == 0) {
                whiteRow();
            } else {
                startRow(page, row, height);
                copyRow(page, row - 1, row, height);
                ++row;
            }
            break;
        default: break;
        }
    });
    finishPage(page, row);
    if (!page.hasPage()) {
        page = PageBitmap{};
        return;
    }
    page.resolutionUnit = 2;
    page.xResolution = dotsPerInch(header->horizontalResolution);
    page.yResolution = linesPerInch(header->verticalResolution);
}

}  // namespace pagelift
