#include "ccitt/raw_work_files.h"

#include "ccitt/code_tree.h"
#include "ccitt/held_lines.h"
#include "ccitt/mh_decoder.h"
#include "ccitt/page_setup.h"
#include "ccitt/run_list.h"
#include "ccitt/two_d_decoder.h"
#include "platform/little_endian.h"

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

// --- little-endian fields -------------------------------------------------

// Appends fields to a byte buffer, least significant byte first.
class FieldWriter {
public:
    explicit FieldWriter(uint8_t* out) : out_(out) {}
    void u8(uint32_t value) { out_[at_++] = uint8_t(value & 0xFFu); }
    void u16(uint32_t value)
    {
        u8(value);
        u8(value >> 8);
    }
    void u32(uint32_t value)
    {
        u16(value & 0xFFFFu);
        u16(value >> 16);
    }
    void i16(int16_t value) { u16(uint16_t(value)); }
    void i32(int32_t value) { u32(uint32_t(value)); }

private:
    uint8_t* out_;
    size_t at_ = 0;
};

// --- files -----------------------------------------------------------------

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool writeAt(std::FILE* file, int64_t offset, const uint8_t* bytes, size_t length)
{
    return fseeko(file, off_t(offset), SEEK_SET) == 0 && std::fwrite(bytes, 1, length, file) == length;
}

bool readAt(std::FILE* file, int64_t offset, uint8_t* bytes, size_t length)
{
    return fseeko(file, off_t(offset), SEEK_SET) == 0 && std::fread(bytes, 1, length, file) == length;
}

// --- positions in the coded stream ----------------------------------------

// A bit offset from the start of the coded data.
struct StreamPosition {
    int64_t bits = 0;
};

// Where the reader stands. A reader past the end stands at the end.
StreamPosition positionOf(const CcittDecoder& decoder)
{
    const int64_t end = int64_t(std::max(decoder.size(), 0)) * 8;
    const int64_t here = int64_t(decoder.bytePos()) * 8 + decoder.bitPos();
    return {std::clamp<int64_t>(here, 0, end)};
}

// The position `bits` before where the reader stands: the EOL (and tag bit)
// that opened the line the reader has just entered.
StreamPosition openingOfLine(const CcittDecoder& decoder, int bits)
{
    return {std::max<int64_t>(positionOf(decoder).bits - bits, 0)};
}

constexpr int kEolBits = 12;
constexpr int kEolAndTagBits = 13;

// --- the frame the three writers share -------------------------------------

struct SegmentRecord {
    StreamPosition start;
    StreamPosition end;  // where the line after the segment starts
    int32_t lines = 0;
};

// Keeps the current run of good lines. Every line start is reported through
// beginLine, every kept line through keptLine; a segment ends at the start
// of the line that follows its last kept line.
class SegmentTracker {
public:
    // MH streams: the first segment covers the stream from its first byte.
    void startFirstSegmentAtOrigin() { firstFromOrigin_ = true; }

    void beginLine(StreamPosition position)
    {
        if (lastLineKept_) afterLast_ = position;
        lineStart_ = position;
        lastLineKept_ = false;
    }

    void keptLine()
    {
        if (lines_ == 0) {
            start_ = firstFromOrigin_ && !anyClosed_ ? StreamPosition{} : lineStart_;
        }
        if (lines_ < std::numeric_limits<int32_t>::max()) ++lines_;
        lastLineKept_ = true;
    }

    // The open segment, if any, ended; `streamEnd` serves when no line
    // started after its last kept line.
    std::optional<SegmentRecord> close(StreamPosition streamEnd)
    {
        if (lines_ == 0) return std::nullopt;
        SegmentRecord record{start_, lastLineKept_ ? streamEnd : afterLast_, lines_};
        lines_ = 0;
        anyClosed_ = true;
        return record;
    }

private:
    StreamPosition start_;
    StreamPosition lineStart_;
    StreamPosition afterLast_;
    int32_t lines_ = 0;
    bool lastLineKept_ = false;
    bool firstFromOrigin_ = false;
    bool anyClosed_ = false;
};

// The working image and the segment file while a writer runs: headers first,
// rows and records as they come, headers again at the end.
class WorkFiles {
public:
    // Creates (empties) both files and writes their opening headers. False
    // when a file cannot be created or written, or the decoder's width is
    // outside 1..kMaxWorkImageWidth.
    bool create(const std::string& imagePath, const std::string& segmentPath, const CcittDecoder& decoder,
                uint8_t coding)
    {
        const int32_t width = decoder.width();
        if (width < 1 || width > kMaxWorkImageWidth) return false;
        describeDecodedPage(decoder, coding, header_);
        header_.photometric = 0;  // the working image is always stored 1 = white
        streamEnd_ = StreamPosition{int64_t(std::max(decoder.size(), 0)) * 8};
        maxRows_ = std::min<int64_t>(kMaxWorkImageRowBytes / header_.bytesPerRow,
                                     std::numeric_limits<int32_t>::max());

        image_.reset(std::fopen(imagePath.c_str(), "wb"));
        segments_.reset(std::fopen(segmentPath.c_str(), "w+b"));
        segmentPath_ = segmentPath;
        if (!image_ || !segments_) return false;
        try {
            slots_.assign(size_t(HeldLines::kMaxHeldLines) + 1, std::vector<uint8_t>(size_t(header_.bytesPerRow), 0));
            lastRow_.assign(size_t(header_.bytesPerRow), 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        const std::array<uint8_t, kWorkImageHeaderSize> imageHeader = encodeWorkImageHeader(header_);
        const std::vector<uint8_t> zeroSegmentHeader(kSegmentHeaderSize, 0);
        return writeAt(image_.get(), 0, imageHeader.data(), imageHeader.size()) &&
               writeAt(segments_.get(), 0, zeroSegmentHeader.data(), zeroSegmentHeader.size());
    }

    int32_t width() const { return header_.width; }
    int32_t rows() const { return header_.rows; }
    SegmentTracker& segment() { return tracker_; }

    // A cleared row for the next line, after the rows held back, and a
    // cursor at its start.
    RowCursor freshRow()
    {
        std::vector<uint8_t>& row = slots_[size_t(held_.held())];
        std::fill(row.begin(), row.end(), uint8_t(0));
        return rowCursorAt(row.data(), uint32_t(row.size()));
    }

    // The line in the fresh row was good: the rows held back and then it are
    // appended to the image, and it counts in the current segment (held rows
    // never do, so the segments keep telling where the stream broke). False
    // when the image is full or cannot be written; the writer then ends as
    // if the data had run out.
    bool keepRow()
    {
        const int32_t held = held_.held();
        if (header_.rows + held >= maxRows_ || failed_) return false;
        for (int32_t i = 0; i <= held; ++i) {
            const std::vector<uint8_t>& row = slots_[size_t(i)];
            if (std::fwrite(row.data(), 1, row.size(), image_.get()) != row.size()) {
                failed_ = true;
                return false;
            }
        }
        header_.rows += held + 1;
        lastRow_.swap(slots_[size_t(held)]);
        held_.goodLine();
        tracker_.keptLine();
        return true;
    }

    // The line in the fresh row was damaged: held back (see HeldLines).
    void holdRow() { held_.damagedLine(); }

    // A line lost after an error: held back as a copy of the last row kept.
    void holdCopyOfLastRow()
    {
        slots_[size_t(held_.held())] = lastRow_;
        held_.damagedLine();
    }

    // An empty line: the rows held back are dropped.
    void dropHeldRows() { held_.pageBreak(); }

    // Ends the current segment, if one is open, with a record.
    void closeSegment()
    {
        const std::optional<SegmentRecord> record = tracker_.close(streamEnd_);
        if (!record) return;
        std::array<uint8_t, kSegmentRecordSize> bytes{};
        FieldWriter out(bytes.data());
        out.i32(int32_t(record->start.bits / 8));
        out.i32(int32_t(record->end.bits / 8));
        out.i32(record->lines);
        out.u8(uint32_t(record->start.bits % 8));
        out.u8(uint32_t(record->end.bits % 8));
        const int64_t offset = int64_t(kSegmentHeaderSize) + int64_t(recordCount_) * int64_t(kSegmentRecordSize);
        if (!writeAt(segments_.get(), offset, bytes.data(), bytes.size())) failed_ = true;
        ++recordCount_;
    }

    // Closes the open segment, rewrites the segment header, guesses the
    // vertical resolution from it and rewrites the image header. 0, or -1
    // when a file could not be written.
    int finish()
    {
        closeSegment();
        std::array<uint8_t, kSegmentHeaderSize> segmentHeader{};
        FieldWriter out(segmentHeader.data());
        out.u32(recordCount_);
        out.u32(uint32_t(header_.rows));
        out.i32(header_.width);
        out.u8(header_.fillOrder);
        out.u8(header_.coding);
        out.u8(header_.paperSize);
        out.u8(0);
        if (!writeAt(segments_.get(), 0, segmentHeader.data(), segmentHeader.size())) failed_ = true;
        if (std::fclose(segments_.release()) != 0) failed_ = true;
        if (failed_) return -1;

        uint16_t resolution = 100;
        if (guessResolution(segmentPath_, resolution) == -1) return -1;
        header_.yResolution = int16_t(resolution);
        const std::array<uint8_t, kWorkImageHeaderSize> imageHeader = encodeWorkImageHeader(header_);
        if (!writeAt(image_.get(), 0, imageHeader.data(), imageHeader.size())) return -1;
        return std::fclose(image_.release()) == 0 ? 0 : -1;
    }

private:
    PageBitmap header_;
    File image_;
    File segments_;
    std::string segmentPath_;
    std::vector<std::vector<uint8_t>> slots_;  // the rows held back, then the row being decoded
    std::vector<uint8_t> lastRow_;             // the last row kept
    HeldLines held_;
    SegmentTracker tracker_;
    StreamPosition streamEnd_;
    uint32_t recordCount_ = 0;
    int64_t maxRows_ = 0;
    bool failed_ = false;
};

// The state of the MH line being decoded: the colour of the next run, the
// make-up lengths not yet written, the pixels written so far.
struct MhLine {
    int colour = 0;
    int32_t pending = 0;
    int32_t sum = 0;
};

}  // namespace

std::array<uint8_t, kWorkImageHeaderSize> encodeWorkImageHeader(const PageBitmap& page)
{
    std::array<uint8_t, kWorkImageHeaderSize> bytes{};
    FieldWriter out(bytes.data());
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
    WorkFiles files;
    if (!files.create(imagePath, segmentPath, decoder, FaxMhWithEol)) return -1;
    SegmentTracker& segment = files.segment();
    segment.startFirstSegmentAtOrigin();
    const int32_t width = files.width();
    const int polarity = decoder.polarity();
    int badLines = 0;

    // Called once the reader stands after an EOL: a new line begins, white.
    MhLine line;
    RowCursor cursor = files.freshRow();
    const auto startLine = [&]() {
        segment.beginLine(openingOfLine(decoder, kEolBits));
        line = MhLine{};
        cursor = files.freshRow();
    };

    if (decoder.findEol() >= 0) {
        startLine();
        for (;;) {
            const int32_t leaf = decoder.readLeaf(line.colour != 0 ? kBlackTree : kWhiteTree);
            if (leaf < 0) break;  // a line still open here has no EOL and is not kept
            if (leaf == LeafInvalid) {
                // The line keeps what it decoded, white after it.
                ++badLines;
                if (line.sum == width) {
                    if (!files.keepRow()) break;
                } else {
                    fillRestWhite(cursor, width, uint8_t(polarity));
                    files.holdRow();
                }
                if (decoder.findEol() < 0) break;
                startLine();
                files.closeSegment();
                continue;
            }
            if (isEolLeaf(leaf)) {
                if (leaf != LeafEol) decoder.unreadBits(1);
                if (line.sum == width) {
                    if (!files.keepRow()) break;
                } else {
                    if (line.sum > 0 || line.pending > 0) {
                        fillRestWhite(cursor, width, uint8_t(polarity));
                        files.holdRow();
                    } else {
                        files.dropHeldRows();
                    }
                    files.closeSegment();
                }
                startLine();
                continue;
            }
            line.pending = saturatingAdd(line.pending, leafRunLength(uint16_t(leaf)));
            if (!isTerminatingLeaf(uint16_t(leaf))) continue;
            putRun(cursor, line.pending, line.colour ^ polarity);
            line.sum = saturatingAdd(line.sum, line.pending);
            line.pending = 0;
            line.colour ^= 1;
            if (line.sum > width) {
                // Too long for this stream: keep what fits and skip the rest
                // of the line, up to its EOL.
                files.holdRow();
                files.closeSegment();
                if (decoder.findEol() < 0) break;
                startLine();
            }
        }
    }
    return files.finish() < 0 ? -1 : badLines;
}

int writeMrWorkFiles(CcittDecoder& decoder, const std::string& imagePath, const std::string& segmentPath)
{
    WorkFiles files;
    if (!files.create(imagePath, segmentPath, decoder, FaxMr)) return -1;
    std::optional<RunBuffers> buffers = makeRunBuffers(decoder);
    if (!buffers || !seekOneDimensionalLine(decoder)) return -1;
    SegmentTracker& segment = files.segment();
    const int32_t width = files.width();
    int badLines = 0;
    int16_t tag = 1;
    segment.beginLine(openingOfLine(decoder, kEolAndTagBits));
    // Reads the tag of the next line; false when the data end.
    const auto nextTag = [&]() {
        tag = decoder.readBits(1);
        if (tag < 0) return false;
        segment.beginLine(openingOfLine(decoder, kEolAndTagBits));
        return true;
    };

    for (;;) {
        RowCursor cursor = files.freshRow();
        const int32_t result = decodeMrLine(decoder, cursor, *buffers, tag);
        if (result == EndOfData) break;
        if (result == EndAfterFullLine) {
            files.keepRow();
            break;
        }
        if (result == width) {
            if (!files.keepRow()) break;
            buffers->promoteCurrent();
            if (!nextTag()) break;
            continue;
        }
        files.closeSegment();
        if (result == 0) {  // an EOL right after the tag: the end-of-page EOLs
            files.dropHeldRows();
            if (!nextTag()) break;
            continue;
        }
        // A damaged line keeps what it decoded; the reference stays as it
        // was, so only a one-dimensional line may follow, and the
        // two-dimensional lines up to it are lost: they become copies of the
        // last row kept. A line that reached its EOL leaves the reader on the
        // next tag.
        ++badLines;
        fillRestWhite(cursor, width, decoder.polarity());
        files.holdRow();
        int32_t lost = 0;
        if (result > 0) {
            if (!nextTag()) break;
            if (tag == 1) continue;
            lost = 1;
        }
        int32_t skipped = 0;
        const bool found = seekOneDimensionalLine(decoder, &skipped);
        for (lost += skipped; lost > 0; --lost) files.holdCopyOfLastRow();  // bad lines count the damaged one only
        if (!found) break;
        tag = 1;
        segment.beginLine(openingOfLine(decoder, kEolAndTagBits));
    }
    return files.finish() < 0 ? -1 : badLines;
}

int writeMmrWorkFiles(MmrDecoder& decoder, const std::string& imagePath, const std::string& segmentPath)
{
    WorkFiles files;
    if (!files.create(imagePath, segmentPath, decoder, FaxMmr)) return -1;
    std::optional<RunBuffers> buffers = makeRunBuffers(decoder);
    if (!buffers) return -1;
    SegmentTracker& segment = files.segment();
    const int32_t width = files.width();
    int result = 0;
    for (;;) {
        segment.beginLine(positionOf(decoder));
        RowCursor cursor = files.freshRow();
        int32_t total = 0;
        const int32_t line = decodeMmrLine(decoder, cursor, buffers->current(), buffers->reference(), total);
        if (line == EndOfData) break;
        if (line == EndAfterFullLine) {
            files.keepRow();
            break;
        }
        if (line == EolCode) {
            // EOFB (or a stray EOL) ends the page's run of lines.
            files.closeSegment();
            buffers->resetReferenceToWhite(width);
            continue;
        }
        if (line == BadCode) {
            files.closeSegment();
            if (findFlag(decoder, 2) < 0) {
                result = BadCode;
                break;
            }
            buffers->resetReferenceToWhite(width);
            continue;
        }
        if (!files.keepRow()) break;
        buffers->promoteCurrent();
    }
    // Rows were kept: the stream simply ended (in damage, perhaps).
    if (files.rows() > 0) result = 0;
    if (files.rows() == 0 && result == 0) result = EndOfData;
    return files.finish() < 0 ? -1 : result;
}

int guessResolution(const std::string& segmentPath, uint16_t& resolution)
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

    struct Limits {
        int32_t upTo100, upTo200, upTo300;
    };
    static constexpr Limits kLimits[] = {{1144, 2288, 3432}, {1363, 2726, 4089}, {1617, 3234, 4851}};
    if (paperSize >= 1 && paperSize <= 3) {
        const Limits& limits = kLimits[paperSize - 1];
        resolution = uint16_t(longest <= limits.upTo100   ? 100
                              : longest <= limits.upTo200 ? 200
                              : longest <= limits.upTo300 ? 300
                                                          : 400);
    }
    std::array<uint8_t, 6> guess{};
    FieldWriter out(guess.data());
    out.u32(uint32_t(longest));
    out.u16(resolution);
    if (!writeAt(file.get(), 16, guess.data(), guess.size())) return -1;
    return std::fclose(file.release()) == 0 ? 0 : -1;
}

}  // namespace pagelift
