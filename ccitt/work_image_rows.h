#pragma once

// Where a page loop puts the rows of a raw stream: the working image and the
// segment file (layout in raw_work_files.h). It answers the calls PageRows
// answers (page_rows.h), so the raw-stream writers run the page loops of the
// page decoders. Only the rows held back and the row being decoded are in
// memory: each good row goes to the working image, after the rows held
// before it, as soon as it is complete.

#include "ccitt/ccitt_decoder.h"
#include "ccitt/held_lines.h"
#include "ccitt/row_writer.h"
#include "ccitt/stream_position.h"
#include "raster/page_bitmap.h"
#include "platform/owned_file.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pagelift {

// One segment: a run of good lines, from the line start of its first to the
// line start after its last.
struct SegmentRecord {
    StreamPosition start;
    StreamPosition end;
    int32_t lines = 0;
};

// Keeps the current run of good lines. Every line start is reported through
// beginLine, every kept line through keptLine; a segment ends at the start
// of the line that follows its last kept line.
class SegmentTracker {
public:
    // MH streams: the first segment covers the stream from its first byte.
    void startFirstSegmentAtOrigin() { firstFromOrigin_ = true; }
    void beginLine(StreamPosition position);
    void keptLine();
    // The open segment, if any, ended; `streamEnd` serves when no line
    // started after its last kept line.
    std::optional<SegmentRecord> close(StreamPosition streamEnd);

private:
    StreamPosition start_;
    StreamPosition lineStart_;
    StreamPosition afterLast_;
    int32_t lines_ = 0;
    bool lastLineKept_ = false;
    bool firstFromOrigin_ = false;
    bool anyClosed_ = false;
};

class WorkImageRows {
public:
    // Creates (empties) both files and writes their opening headers for the
    // decoder's width and the given coding. False when a file cannot be
    // created or written, memory runs out, or the width is outside
    // 1..kMaxWorkImageWidth.
    bool create(const std::string& imagePath, const std::string& segmentPath, const CcittDecoder& decoder,
                uint8_t coding);

    SegmentTracker& segment() { return tracker_; }
    int32_t kept() const { return header_.rows; }
    bool stopped() const { return stopped_; }

    RowCursor freshRow() { return grownRow(0x00); }
    RowCursor grownRow(uint8_t fill);
    void lineStartsAt(StreamPosition position) { tracker_.beginLine(position); }
    // Appends the held rows and the fresh one to the image; a full image or
    // a failed write stops the loop.
    void goodLine();
    // Damaged and empty lines end the current segment; held rows never
    // count in one, so the segments keep telling where the stream broke.
    // The page goes on through damaged lines that keep their place, and ends
    // at an empty line, at a break in the run of lines and where damaged
    // lines are dropped (the rows after them no longer stand in place).
    bool damagedLine();
    void mergeWithHeldLine(int32_t at);
    void emptyLine();
    void segmentBreak();
    // The data ended: rows still held are dropped.
    void endOfData();

    // Closes the open segment, rewrites the segment header, guesses the
    // vertical resolution from it and rewrites the image header. 0, or -1
    // when a file could not be written.
    int finish();

private:
    using File = OwnedFile;

    void closeSegment();
    void endPage();
    bool appendRow(const std::vector<uint8_t>& row);

    PageBitmap header_;
    File image_;
    File segments_;
    std::string segmentPath_;
    std::vector<std::vector<uint8_t>> slots_;  // the rows held back, then the row being decoded
    HeldLines held_;
    SegmentTracker tracker_;
    StreamPosition streamEnd_;
    uint32_t recordCount_ = 0;
    int32_t pageStart_ = 0;    // the image's first row of the page being decoded
    int32_t longestPage_ = 0;  // rows of the longest page so far, for the resolution guess
    int64_t maxRows_ = 0;
    bool failed_ = false;
    bool stopped_ = false;
};

}  // namespace pagelift
