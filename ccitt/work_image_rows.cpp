#include "ccitt/work_image_rows.h"

#include "ccitt/page_heights.h"
#include "ccitt/page_setup.h"
#include "ccitt/raw_work_files.h"
#include "platform/little_endian.h"

#include <sys/types.h>

#include <algorithm>
#include <array>
#include <limits>
#include <new>

namespace pagelift {
namespace {

bool writeAt(std::FILE* file, int64_t offset, const uint8_t* bytes, size_t length)
{
    return fseeko(file, off_t(offset), SEEK_SET) == 0 && std::fwrite(bytes, 1, length, file) == length;
}

}  // namespace

void SegmentTracker::beginLine(StreamPosition position)
{
    if (lastLineKept_) afterLast_ = position;
    lineStart_ = position;
    lastLineKept_ = false;
}

void SegmentTracker::keptLine()
{
    if (lines_ == 0) start_ = firstFromOrigin_ && !anyClosed_ ? StreamPosition{} : lineStart_;
    if (lines_ < std::numeric_limits<int32_t>::max()) ++lines_;
    lastLineKept_ = true;
}

std::optional<SegmentRecord> SegmentTracker::close(StreamPosition streamEnd)
{
    if (lines_ == 0) return std::nullopt;
    SegmentRecord record{start_, lastLineKept_ ? streamEnd : afterLast_, lines_};
    lines_ = 0;
    anyClosed_ = true;
    return record;
}

bool WorkImageRows::create(const std::string& imagePath, const std::string& segmentPath, const CcittDecoder& decoder,
                           uint8_t coding)
{
    const int32_t width = decoder.width();
    if (width < 1 || width > kMaxWorkImageWidth) return false;
    describeDecodedPage(decoder, coding, header_);
    header_.photometric = 0;  // the working image is always stored 1 = white
    streamEnd_ = StreamPosition{int64_t(std::max(decoder.size(), 0)) * 8};
    maxRows_ = std::min<int64_t>(kMaxWorkImageRowBytes / header_.bytesPerRow, std::numeric_limits<int32_t>::max());

    image_.reset(std::fopen(imagePath.c_str(), "wb"));
    segments_.reset(std::fopen(segmentPath.c_str(), "w+b"));
    segmentPath_ = segmentPath;
    if (!image_ || !segments_) return false;
    try {
        slots_.assign(size_t(HeldLines::kMaxHeldLines) + 1, std::vector<uint8_t>(size_t(header_.bytesPerRow), 0));
    } catch (const std::bad_alloc&) {
        return false;
    }
    const std::array<uint8_t, kWorkImageHeaderSize> imageHeader = encodeWorkImageHeader(header_);
    const std::vector<uint8_t> zeroSegmentHeader(kSegmentHeaderSize, 0);
    return writeAt(image_.get(), 0, imageHeader.data(), imageHeader.size()) &&
           writeAt(segments_.get(), 0, zeroSegmentHeader.data(), zeroSegmentHeader.size());
}

RowCursor WorkImageRows::grownRow(uint8_t fill)
{
    std::vector<uint8_t>& row = slots_[size_t(held_.held())];
    std::fill(row.begin(), row.end(), fill);
    return rowCursorAt(row.data(), uint32_t(row.size()));
}

bool WorkImageRows::appendRow(const std::vector<uint8_t>& row)
{
    if (header_.rows >= maxRows_ || failed_) return false;
    if (std::fwrite(row.data(), 1, row.size(), image_.get()) != row.size()) {
        failed_ = true;
        return false;
    }
    ++header_.rows;
    return true;
}

void WorkImageRows::goodLine()
{
    const int32_t held = held_.held();
    if (header_.rows + held >= maxRows_) {
        stopped_ = true;
        return;
    }
    for (int32_t i = 0; i <= held; ++i) {
        if (!appendRow(slots_[size_t(i)])) {
            stopped_ = true;
            return;
        }
    }
    held_.goodLine();
    tracker_.keptLine();
    longestPage_ = std::max(longestPage_, header_.rows - pageStart_);
}

bool WorkImageRows::damagedLine()
{
    closeSegment();
    const bool held = held_.damagedLine();
    if (!held) endPage();
    return held;
}

void WorkImageRows::mergeWithHeldLine(int32_t at)
{
    const int32_t held = held_.held();
    if (held == 0 || at < 0 || at > header_.width) return;
    copyPixels(slots_[size_t(held)].data(), slots_[size_t(held - 1)].data(), at, header_.width - at);
}

void WorkImageRows::emptyLine()
{
    closeSegment();
    endPage();
    held_.pageBreak();
}

void WorkImageRows::segmentBreak()
{
    closeSegment();
    endPage();
}

void WorkImageRows::endPage() { pageStart_ = header_.rows; }

void WorkImageRows::endOfData() { held_.pageBreak(); }

void WorkImageRows::closeSegment()
{
    const std::optional<SegmentRecord> record = tracker_.close(streamEnd_);
    if (!record) return;
    std::array<uint8_t, kSegmentRecordSize> bytes{};
    LittleEndianWriter out(bytes.data());
    out.i32(int32_t(record->start.bits / 8));
    out.i32(int32_t(record->end.bits / 8));
    out.i32(record->lines);
    out.u8(uint32_t(record->start.bits % 8));
    out.u8(uint32_t(record->end.bits % 8));
    const int64_t offset = int64_t(kSegmentHeaderSize) + int64_t(recordCount_) * int64_t(kSegmentRecordSize);
    if (!writeAt(segments_.get(), offset, bytes.data(), bytes.size())) failed_ = true;
    ++recordCount_;
}

int WorkImageRows::finish()
{
    closeSegment();
    std::array<uint8_t, kSegmentHeaderSize> segmentHeader{};
    LittleEndianWriter out(segmentHeader.data());
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
    if (guessResolution(segmentPath_, resolution, longestPage_) == -1) return -1;
    header_.yResolution = int16_t(resolution);
    const std::array<uint8_t, kWorkImageHeaderSize> imageHeader = encodeWorkImageHeader(header_);
    if (!writeAt(image_.get(), 0, imageHeader.data(), imageHeader.size())) return -1;
    return std::fclose(image_.release()) == 0 ? 0 : -1;
}

}  // namespace pagelift
