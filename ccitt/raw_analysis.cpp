#include "ccitt/raw_analysis.h"

#include "ccitt/fax_coding.h"
#include "ccitt/mh_decoder.h"
#include "ccitt/raw_work_files.h"
#include "ccitt/row_writer.h"
#include "ccitt/run_list.h"
#include "ccitt/two_d_decoder.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <optional>

namespace pagelift {
namespace {

constexpr size_t kProbeRowBytes = (kMaxProbeWidth + 7) / 8;  // 608
// Run arrays of one probe line: a line of kMaxProbeWidth pixels has at most
// one run more than pixels, plus the white run of 0 that opens a black start.
constexpr uint32_t kProbeRuns = uint32_t(kMaxProbeWidth) + 2;

bool isStandardWidth(int32_t total)
{
    return std::find(kStandardWidths.begin(), kStandardWidths.end(), total) != kStandardWidths.end();
}

uint16_t atLeastOne(uint16_t threshold) { return threshold == 0 ? 1 : threshold; }

// The decoder started afresh at byte 0 with another bit order; its other
// settings stay.
void restartWithBitOrder(CcittDecoder& decoder, uint8_t bitOrder)
{
    const uint8_t rawStream = decoder.rawStream();
    const int32_t width = decoder.width();
    const int32_t height = decoder.height();
    decoder = CcittDecoder(decoder.data(), decoder.size(), bitOrder, decoder.coding(), decoder.polarity());
    decoder.setRawStream(rawStream);
    decoder.setGeometry(width, height);
}

void restartMmr(MmrDecoder& decoder, uint8_t bitOrder, uint8_t flagCount)
{
    const uint8_t rawStream = decoder.rawStream();
    const int32_t width = decoder.width();
    const int32_t height = decoder.height();
    decoder = MmrDecoder(decoder.data(), decoder.size(), bitOrder, decoder.t6Options(), decoder.polarity(), flagCount);
    decoder.setRawStream(rawStream);
    decoder.setGeometry(width, height);
}

void setWidth(CcittDecoder& decoder, int32_t width) { decoder.setGeometry(width, decoder.height()); }

// Every probe ends here: back to byte 0, so that the next step starts there.
int endProbe(CcittDecoder& decoder, int result)
{
    decoder.init(decoder.data(), decoder.size());
    return result;
}

// A row for the lines a probe decodes; they are looked at, never kept.
class ProbeRow {
public:
    RowCursor fresh()
    {
        row_.fill(0);
        return rowCursorAt(row_.data(), uint32_t(row_.size()));
    }

private:
    std::array<uint8_t, kProbeRowBytes> row_{};
};

std::optional<RunBuffers> probeRunBuffers()
{
    try {
        return std::optional<RunBuffers>(std::in_place, kProbeRuns);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

// One MR line into the probe's scratch row.
int32_t decodeMrLine(CcittDecoder& decoder, ProbeRow& row, RunBuffers& buffers, int16_t tag)
{
    RowCursor cursor = row.fresh();
    return decodeMrLine(decoder, cursor, buffers, tag);
}

// True when the line just decoded has the runs of its reference line.
bool repeatsReference(const RunList& current, const RunList& reference)
{
    return current.next == reference.count && std::equal(current.runs, current.runs + current.next, reference.runs);
}

bool dataEnded(int32_t result) { return result == EndOfData || result == EndAfterFullLine; }

// Line widths an any-width probe takes as a candidate. A line wider than a
// 16-bit signed width could state is no candidate (so never overflows later).
bool isCandidateWidth(int32_t total, uint16_t minWidth, int32_t widest)
{
    return total > int32_t(minWidth) && total <= widest;
}

bool emptyFile(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    return file != nullptr && std::fclose(file) == 0;
}

// Puts the reader where the MMR writer starts: at byte 0 for a stream that
// begins with its data, else on the coded data that follow the flag run at
// markPos.
void placeAtMmrData(MmrDecoder& decoder)
{
    if (decoder.rawStream() != 0) {
        decoder.seekByte(0);
        return;
    }
    placeAfterFlagRun(decoder, decoder.markPos());
}

// A line of a standard width: one more that agrees with the width guessed,
// or the first of a new guess.
void countAgreeingLine(CcittDecoder& decoder, int32_t total, uint16_t& agreeing)
{
    if (total == decoder.width()) {
        ++agreeing;
    } else {
        setWidth(decoder, total);
        agreeing = 1;
    }
}

}  // namespace

int probeMhWidth(CcittDecoder& decoder, uint8_t bitOrder, uint16_t threshold)
{
    restartWithBitOrder(decoder, bitOrder);
    setWidth(decoder, -1);
    const uint16_t needed = atLeastOne(threshold);
    ProbeRow row;
    if (decoder.findEol() < 0) return endProbe(decoder, kProbeNotFound);
    uint16_t agreeing = 0;
    while (agreeing < needed) {
        RowCursor cursor = row.fresh();
        const int32_t total = decodeMhLine(decoder, cursor, nullptr);
        if (total == EndOfData) return endProbe(decoder, kProbeNotFound);
        if (isStandardWidth(total)) {
            countAgreeingLine(decoder, total, agreeing);
            continue;
        }
        // Damaged, empty, short or unusual: start counting again. The line
        // after a complete one is skipped with it.
        if (decoder.findEol() < 0) return endProbe(decoder, kProbeNotFound);
        agreeing = 0;
    }
    return endProbe(decoder, kProbeFound);
}

int probeMhAnyWidth(CcittDecoder& decoder, uint8_t bitOrder, uint16_t threshold, uint16_t minWidth)
{
    restartWithBitOrder(decoder, bitOrder);
    setWidth(decoder, -1);
    const uint16_t needed = atLeastOne(threshold);
    ProbeRow row;
    if (decoder.findEol() < 0) return endProbe(decoder, kProbeNotFound);
    int32_t candidate = -1;
    uint16_t agreeing = 0;
    while (agreeing < needed) {
        RowCursor cursor = row.fresh();
        const int32_t total = decodeMhLine(decoder, cursor, nullptr);
        if (dataEnded(total)) return endProbe(decoder, kProbeNotFound);
        if (total == BadCode) {
            if (decoder.findEol() < 0) return endProbe(decoder, kProbeNotFound);
            candidate = -1;
            agreeing = 0;
            continue;
        }
        if (!isCandidateWidth(total, minWidth, kMaxWorkImageWidth)) continue;  // empty and short lines
        if (total == candidate) {
            ++agreeing;
            continue;
        }
        if (candidate > 0 && decoder.findEol() < 0) return endProbe(decoder, kProbeNotFound);
        candidate = total;
        agreeing = 1;
    }
    setWidth(decoder, candidate);
    return endProbe(decoder, kProbeFound);
}

int probeMrWidth(CcittDecoder& decoder, uint8_t bitOrder, uint16_t threshold)
{
    restartWithBitOrder(decoder, bitOrder);
    std::optional<RunBuffers> buffers = probeRunBuffers();
    if (!buffers) return kProbeNoMemory;
    setWidth(decoder, kMaxProbeWidth);  // the first standard width found replaces it
    const uint16_t needed = atLeastOne(threshold);
    ProbeRow row;
    if (!seekOneDimensionalLine(decoder)) return endProbe(decoder, kProbeNotFound);
    int16_t tag = 1;
    uint16_t agreeing = 0;
    while (agreeing < needed) {
        const int32_t total = decodeMrLine(decoder, row, *buffers, tag);
        if (total == EndOfData) return endProbe(decoder, kProbeNotFound);
        if (isStandardWidth(total)) {
            countAgreeingLine(decoder, total, agreeing);
            buffers->promoteCurrent();
            tag = decoder.readBits(1);
            if (tag < 0) return endProbe(decoder, kProbeNotFound);
            continue;
        }
        if (!seekOneDimensionalLine(decoder)) return endProbe(decoder, kProbeNotFound);
        tag = 1;
        agreeing = 0;
    }
    return endProbe(decoder, kProbeFound);
}

int probeMrAnyWidth(CcittDecoder& decoder, uint8_t bitOrder, uint16_t threshold, uint16_t minWidth)
{
    restartWithBitOrder(decoder, bitOrder);
    std::optional<RunBuffers> buffers = probeRunBuffers();
    if (!buffers) return kProbeNoMemory;
    setWidth(decoder, kMaxProbeWidth);
    const uint16_t needed = atLeastOne(threshold);
    ProbeRow row;
    if (!seekOneDimensionalLine(decoder)) return endProbe(decoder, kProbeNotFound);
    int16_t tag = 1;
    int32_t candidate = -1;
    uint16_t agreeing = 0;
    const auto keepAsReference = [&]() {
        buffers->promoteCurrent();
        tag = decoder.readBits(1);
        return tag >= 0;
    };
    while (agreeing < needed) {
        const int32_t total = decodeMrLine(decoder, row, *buffers, tag);
        if (dataEnded(total)) return endProbe(decoder, kProbeNotFound);
        if (total == BadCode || total > kMaxProbeWidth) {
            if (!seekOneDimensionalLine(decoder)) return endProbe(decoder, kProbeNotFound);
            tag = 1;
            candidate = -1;
            agreeing = 0;
            continue;
        }
        if (!isCandidateWidth(total, minWidth, kMaxProbeWidth)) {
            // Too narrow to count, yet decoded whole: a two-dimensional line
            // that follows is coded against it. (Against the older reference
            // it would reach the placeholder width and seem to agree.)
            if (total > 0) {
                if (!keepAsReference()) return endProbe(decoder, kProbeNotFound);
                continue;
            }
            tag = decoder.readBits(1);
            if (tag < 0) return endProbe(decoder, kProbeNotFound);
            continue;
        }
        if (total == candidate) {
            ++agreeing;
            if (!keepAsReference()) return endProbe(decoder, kProbeNotFound);
            continue;
        }
        if (candidate > 0) {
            if (!seekOneDimensionalLine(decoder)) return endProbe(decoder, kProbeNotFound);
            tag = 1;
        } else if (!keepAsReference()) {
            return endProbe(decoder, kProbeNotFound);
        }
        candidate = total;
        agreeing = 1;
    }
    setWidth(decoder, candidate);
    return endProbe(decoder, kProbeFound);
}

int probeMmrWidth(MmrDecoder& decoder, uint8_t bitOrder, int32_t width, uint16_t threshold, uint8_t flagCount)
{
    restartMmr(decoder, bitOrder, flagCount);
    setWidth(decoder, width);
    if (width < 1 || width > kMaxProbeWidth) return endProbe(decoder, kProbeNotFound);
    std::optional<RunBuffers> buffers = probeRunBuffers();
    if (!buffers) return kProbeNoMemory;
    buffers->resetReferenceToWhite(width);
    const uint16_t needed = atLeastOne(threshold);
    ProbeRow row;
    if (findFlag(decoder, 0) < 0) return endProbe(decoder, kProbeNotFound);
    // A line that repeats its reference is V0 codes only, one 1 bit each: it
    // decodes to the width of any reference in either bit order, so it
    // proves nothing and neither counts nor breaks the count. Only lines of
    // their own ("telling") count: in the wrong bit order a stray line can
    // reach the width, and the white rows after it would repeat it cleanly.
    uint16_t telling = 0;
    // A page too sparse to reach the threshold is accepted when it decodes
    // cleanly from its flag to its end. A raw stream has no flag to
    // resynchronise on: once a line failed, no later run starts at a page start.
    bool runStartsAtFlag = true;
    for (;;) {
        RowCursor cursor = row.fresh();
        int32_t total = 0;
        const int32_t line = decodeMmrLine(decoder, cursor, buffers->current(), buffers->reference(), total);
        const bool wholeLine = line != BadCode && line != EolCode && line != EndOfData && total == width;
        if (wholeLine) {
            if (!repeatsReference(buffers->current(), buffers->reference())) ++telling;
            buffers->promoteCurrent();
            if (telling >= needed) return endProbe(decoder, kProbeFound);
            if (line != EndAfterFullLine) continue;
        }
        // The data or the page (EOFB) end right after whole lines.
        const bool pageEnds = line == EndAfterFullLine || ((line == EndOfData || line == EolCode) && total == 0);
        if (pageEnds && telling > 0 && runStartsAtFlag) return endProbe(decoder, kProbeFound);
        if (line == EndOfData || line == EndAfterFullLine) return endProbe(decoder, kProbeNotFound);
        if (findFlag(decoder, 1) < 0) return endProbe(decoder, kProbeNotFound);
        buffers->resetReferenceToWhite(width);
        telling = 0;
        runStartsAtFlag = decoder.rawStream() == 0;
    }
}

int rawToWorkFiles(CcittDecoder& decoder, const std::string& imagePath, const std::string& segmentPath,
                   uint16_t threshold, uint8_t bitOrder, bool anyWidth, uint16_t minWidth)
{
    if (!emptyFile(imagePath) || !emptyFile(segmentPath)) return -1;
    // The standard widths of both codings come first: the any-width MH probe
    // passes over short lines, and two-dimensional data read as MH can give
    // a steady run of lines of some odd width that way.
    if (probeMhWidth(decoder, bitOrder, threshold) == kProbeFound) return writeMhWorkFiles(decoder, imagePath, segmentPath);
    if (probeMrWidth(decoder, bitOrder, threshold) == kProbeFound) return writeMrWorkFiles(decoder, imagePath, segmentPath);
    if (!anyWidth) return -1;
    if (probeMhAnyWidth(decoder, bitOrder, threshold, minWidth) == kProbeFound) {
        return writeMhWorkFiles(decoder, imagePath, segmentPath);
    }
    if (probeMrAnyWidth(decoder, bitOrder, threshold, minWidth) == kProbeFound) {
        return writeMrWorkFiles(decoder, imagePath, segmentPath);
    }
    return -1;
}

int rawMmrToWorkFiles(MmrDecoder& decoder, const std::string& imagePath, const std::string& segmentPath,
                      uint16_t threshold, uint8_t flagCount, uint8_t bitOrder, bool anyWidth, uint16_t minWidth)
{
    if (!emptyFile(imagePath)) return -1;
    // A minimum width beyond what the probes handle is no width to try.
    bool found = anyWidth && minWidth >= 1 && minWidth <= kMaxProbeWidth &&
                 probeMmrWidth(decoder, bitOrder, minWidth, threshold, flagCount) == kProbeFound;
    for (size_t i = 0; i < kStandardWidths.size() && !found; ++i) {
        found = probeMmrWidth(decoder, bitOrder, kStandardWidths[i], threshold, flagCount) == kProbeFound;
    }
    if (!found) return -1;
    placeAtMmrData(decoder);
    return writeMmrWorkFiles(decoder, imagePath, segmentPath);
}

int detectMhMr(CcittDecoder& decoder, StreamProbe& probe)
{
    constexpr uint16_t kMinWidth = 1728;
    const uint16_t threshold = probe.threshold;
    struct Attempt {
        uint8_t coding;
        int (*run)(CcittDecoder&, uint8_t, uint16_t);
    };
    // Standard widths of both codings before any other width (see
    // rawToWorkFiles).
    const Attempt attempts[] = {
        {FaxMhWithEol, [](CcittDecoder& d, uint8_t order, uint16_t t) { return probeMhWidth(d, order, t); }},
        {FaxMr, [](CcittDecoder& d, uint8_t order, uint16_t t) { return probeMrWidth(d, order, t); }},
        {FaxMhWithEol,
         [](CcittDecoder& d, uint8_t order, uint16_t t) { return probeMhAnyWidth(d, order, t, kMinWidth); }},
        {FaxMr, [](CcittDecoder& d, uint8_t order, uint16_t t) { return probeMrAnyWidth(d, order, t, kMinWidth); }},
    };
    for (const Attempt& attempt : attempts) {
        for (uint8_t bitOrder : {uint8_t(1), uint8_t(2)}) {
            if (attempt.run(decoder, bitOrder, threshold) != kProbeFound) continue;
            probe.width = uint32_t(decoder.width());
            probe.bitOrder = decoder.bitOrder();
            probe.coding = attempt.coding;
            return 0;
        }
    }
    return -1;
}

int detectMmr(MmrDecoder& decoder, StreamProbe& probe)
{
    for (const int32_t width : kStandardWidths) {
        for (uint8_t bitOrder : {uint8_t(1), uint8_t(2)}) {
            if (probeMmrWidth(decoder, bitOrder, width, probe.threshold, probe.flagCount) != kProbeFound) continue;
            probe.start = uint32_t(std::max(decoder.markPos(), 0));
            probe.width = uint32_t(width);
            probe.bitOrder = bitOrder;
            probe.coding = FaxMmr;
            return 0;
        }
    }
    return -1;
}

}  // namespace pagelift
