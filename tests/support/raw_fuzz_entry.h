#pragma once

// The one entry both the raw-analysis fuzz target and its regression test
// feed bytes to. The first bytes of the input choose the settings; the rest
// is the stream. It runs both analysis entries, the detection entries and,
// for some inputs, a whole raw document; any broken promise about the working
// files or the pages aborts, so the fuzzer reports it as a crash.

#include "ccitt/ccitt.h"
#include "ccitt/raw_analysis.h"
#include "ccitt/raw_work_files.h"
#include "faxdoc/fax_document.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace pagelift::fuzzing {

inline constexpr size_t kRawSettingsBytes = 4;

// A folder of this process's own for the working files, removed at exit.
class RawFuzzFolder {
public:
    RawFuzzFolder()
    {
        const char* temporary = std::getenv("TMPDIR");
        std::string pattern = std::string(temporary != nullptr && *temporary != '\0' ? temporary : "/tmp") +
                              "/pagelift-raw-fuzz-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) == nullptr) std::abort();
        path_ = name.data();
    }
    ~RawFuzzFolder()
    {
        for (const char* file : {"/image", "/segments", "/call.g3"}) std::remove((path_ + file).c_str());
        rmdir(path_.c_str());
    }
    RawFuzzFolder(const RawFuzzFolder&) = delete;
    RawFuzzFolder& operator=(const RawFuzzFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline const std::string& rawFuzzFolder()
{
    static const RawFuzzFolder folder;
    return folder.path();
}

inline std::vector<uint8_t> wholeFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    uint8_t buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
    return bytes;
}

inline uint32_t le32At(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

// The working files a writer finished: a header that describes the rows that
// follow it, and segments that hold good rows only once and lie inside the data.
inline void requireWorkFiles(const std::string& imagePath, const std::string& segmentPath, int32_t dataSize,
                             uint8_t bitOrder)
{
    const std::vector<uint8_t> image = wholeFile(imagePath);
    if (image.size() < kWorkImageHeaderSize) std::abort();
    PageBitmap header;
    decodeWorkImageHeader(image.data(), header);
    if (header.width < 1 || header.width > kMaxWorkImageWidth) std::abort();
    if (header.bytesPerRow != (header.width + 7) / 8 || header.rows < 0) std::abort();
    if (image.size() != kWorkImageHeaderSize + size_t(header.rows) * size_t(header.bytesPerRow)) std::abort();
    if (header.fillOrder != bitOrder || header.coding < FaxMhWithEol || header.coding > FaxMmr) std::abort();

    const std::vector<uint8_t> segments = wholeFile(segmentPath);
    if (segments.size() < kSegmentHeaderSize) std::abort();
    const uint32_t records = le32At(segments, 0);
    if (segments.size() != kSegmentHeaderSize + size_t(records) * kSegmentRecordSize) std::abort();
    if (le32At(segments, 4) != uint32_t(header.rows) || int32_t(le32At(segments, 8)) != header.width) std::abort();
    uint64_t lines = 0;
    for (uint32_t i = 0; i < records; ++i) {
        const size_t at = kSegmentHeaderSize + size_t(i) * kSegmentRecordSize;
        const int64_t start = int64_t(int32_t(le32At(segments, at))) * 8 + segments[at + 12];
        const int64_t end = int64_t(int32_t(le32At(segments, at + 4))) * 8 + segments[at + 13];
        const int32_t count = int32_t(le32At(segments, at + 8));
        if (segments[at + 12] > 7 || segments[at + 13] > 7 || count < 1) std::abort();
        if (start < 0 || start > end || end > int64_t(dataSize) * 8) std::abort();
        lines += uint64_t(count);
    }
    // Damaged rows kept between good lines count in no segment.
    if (lines > uint64_t(header.rows)) std::abort();
}

inline void requireAtStart(const CcittDecoder& decoder)
{
    if (decoder.bytePos() != 0 || decoder.bitPos() != 0) std::abort();
}

inline uint16_t fuzzMinWidth(uint8_t selector, uint8_t extra)
{
    static constexpr uint16_t kWidths[] = {0,    1,    13,   100,  1727,  1728,  1799,  2048,
                                           4863, 4864, 4865, 5000, 10000, 32767, 40000, 65535};
    constexpr uint8_t kCount = uint8_t(sizeof(kWidths) / sizeof(kWidths[0]));
    if (selector < kCount) return kWidths[selector];
    return uint16_t(selector * 16 + (extra & 15));  // any width up to 4095
}

// Every page of the stream as a raw fax document: each page holds its rows
// and no more than a page's height.
inline void readAsDocument(const uint8_t* data, size_t size, const DecodeSetup& setup)
{
    const std::string source = rawFuzzFolder() + "/call.g3";
    std::FILE* file = std::fopen(source.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    FaxDocument document;
    document.setup() = setup;
    document.open(source, RawFax);
    for (size_t index = 0; index < document.pageCount() && document.hasPage(); ++index) {
        if (index > 0) document.readPage(RawFax, index);
        const PageBitmap& page = document.page();
        if (page.rows < 0 || page.rows > 6468 || page.width < 1 || page.xResolution < 200) std::abort();
        if (page.pixels.size() != size_t(page.rows) * size_t(page.bytesPerRow)) std::abort();
    }
}

// Runs the raw-stream analysis on `input`; settings come from its first bytes.
inline void runRawAnalysis(const uint8_t* input, size_t inputSize)
{
    if (inputSize < kRawSettingsBytes) return;
    const uint8_t mix = input[0];
    const uint8_t bitOrder = (mix & 1) ? 2 : 1;
    const bool anyWidth = ((mix >> 1) & 1) != 0;
    const uint8_t rawStream = uint8_t((mix >> 2) & 1);
    const uint8_t flagCount = uint8_t((mix >> 3) & 3);
    const bool asDocument = ((mix >> 5) & 1) != 0;
    const uint8_t documentBitOrder = uint8_t((mix >> 6) % 3);
    const uint16_t threshold = uint16_t(input[1] % 5);  // 0 counts as 1
    const uint16_t minWidth = fuzzMinWidth(input[2], input[3]);
    const uint16_t resolution = uint16_t((input[3] >> 4) % 5 * 100);
    const uint8_t* data = input + kRawSettingsBytes;
    const int32_t size = int32_t(inputSize - kRawSettingsBytes);

    const std::string image = rawFuzzFolder() + "/image";
    const std::string segments = rawFuzzFolder() + "/segments";

    CcittDecoder decoder(data, size, 1, FaxMhWithEol, 0);
    const int mhResult = rawToWorkFiles(decoder, image, segments, threshold, bitOrder, anyWidth, minWidth);
    if (mhResult >= 0) requireWorkFiles(image, segments, size, bitOrder);

    MmrDecoder mmr(data, size, 1, 0, 0, 3);
    mmr.setRawStream(rawStream);
    const int mmrResult = rawMmrToWorkFiles(mmr, image, segments, threshold, flagCount, bitOrder, anyWidth, minWidth);
    if (mmrResult == 0 || mmrResult == EndOfData || mmrResult == BadCode) {
        requireWorkFiles(image, segments, size, bitOrder);
    }

    StreamProbe probe;
    probe.threshold = threshold;
    probe.flagCount = flagCount;
    CcittDecoder detector(data, size, 1, FaxMhWithEol, 0);
    if (detectMhMr(detector, probe) == 0) {
        requireAtStart(detector);
        if (probe.coding != FaxMhWithEol && probe.coding != FaxMr) std::abort();
        if (probe.width < 1728) std::abort();
    }
    MmrDecoder mmrDetector(data, size, 1, 0, 0, flagCount);
    mmrDetector.setRawStream(rawStream);
    if (detectMmr(mmrDetector, probe) == 0) {
        requireAtStart(mmrDetector);
        if (probe.coding != FaxMmr || probe.start > uint32_t(size)) std::abort();
    }

    if (asDocument) {
        DecodeSetup setup;
        setup.files.rawImagePath = image;
        setup.files.rawSegmentPath = segments;
        DecodeSettings& settings = setup.settings;
        settings.threshold = threshold;
        settings.flagNum = flagCount;
        settings.bitOrder = documentBitOrder;
        settings.resolution = resolution;
        settings.anyWidth = anyWidth ? 1 : 0;
        settings.minWidth = minWidth;
        settings.rawData = rawStream;
        readAsDocument(data, size_t(size), setup);
    }
}

}  // namespace pagelift::fuzzing
