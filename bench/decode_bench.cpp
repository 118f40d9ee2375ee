// Times CCITT decoding alone (no file reading, no output) on the pages of
// sample TIFF files and prints the median milliseconds per page.
//
//   pagelift_decode_bench [--repeat=N] [FILE...]
//
// Without files it times ../shared/corpus/g4-multi.tiff and fax2d.tif beside
// the source tree. The coded strips are read into memory first; each timed
// run decodes every strip of every page of the file, as a container reader
// does. To compare with libtiff on the same file (decoding plus writing):
//   hyperfine 'tiffcp -c none FILE /tmp/plain.tif'
#include "ccitt/ccitt.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Strip {
    std::vector<uint8_t> bytes;
    int32_t rows = 0;
};

struct Page {
    int32_t width = 0;
    uint16_t compression = 0;
    uint16_t photometric = 0;
    uint16_t fillOrder = 1;
    uint32_t t4Options = 0;
    uint32_t t6Options = 0;
    std::vector<Strip> strips;
};

// Just enough TIFF to find the coded strips of each page.
class TiffFile {
public:
    explicit TiffFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        bigEndian_ = bytes_.size() >= 2 && bytes_[0] == 'M';
    }

    std::vector<Page> pages() const
    {
        std::vector<Page> result;
        if (bytes_.size() < 8 || u16(2) != 42) return result;
        for (uint32_t ifd = u32(4); ifd != 0 && ifd + 2 <= bytes_.size() && result.size() < 1024;) {
            result.push_back(page(ifd));
            ifd = u32(ifd + 2 + size_t(u16(ifd)) * 12);
        }
        return result;
    }

private:
    uint16_t u16(size_t at) const
    {
        if (at + 2 > bytes_.size()) return 0;
        return bigEndian_ ? uint16_t(bytes_[at] << 8 | bytes_[at + 1]) : uint16_t(bytes_[at + 1] << 8 | bytes_[at]);
    }
    uint32_t u32(size_t at) const
    {
        const uint32_t a = u16(at), b = u16(at + 2);
        return bigEndian_ ? (a << 16 | b) : (b << 16 | a);
    }
    uint32_t element(uint16_t type, uint32_t count, size_t field, uint32_t i) const
    {
        const size_t size = type == 3 ? 2 : 4;
        const size_t base = count * size <= 4 ? field : u32(field);
        return type == 3 ? u16(base + i * 2) : u32(base + i * 4);
    }

    Page page(uint32_t ifd) const
    {
        Page page;
        uint32_t height = 0, rowsPerStrip = 0, stripCount = 0;
        uint16_t offsetsType = 4, countsType = 4;
        size_t offsetsField = 0, countsField = 0;
        for (uint16_t i = 0; i < u16(ifd); ++i) {
            const size_t entry = ifd + 2 + size_t(i) * 12;
            const uint16_t type = u16(entry + 2);
            const uint32_t value = type == 3 ? u16(entry + 8) : u32(entry + 8);
            switch (u16(entry)) {
            case 256: page.width = int32_t(value); break;
            case 257: height = value; break;
            case 259: page.compression = uint16_t(value); break;
            case 262: page.photometric = uint16_t(value); break;
            case 266: page.fillOrder = uint16_t(value); break;
            case 273: offsetsType = type; stripCount = u32(entry + 4); offsetsField = entry + 8; break;
            case 278: rowsPerStrip = value; break;
            case 279: countsType = type; countsField = entry + 8; break;
            case 292: page.t4Options = value; break;
            case 293: page.t6Options = value; break;
            default: break;
            }
        }
        if (rowsPerStrip == 0 || rowsPerStrip > height) rowsPerStrip = height;
        uint32_t rowsLeft = height;
        for (uint32_t i = 0; i < stripCount; ++i) {
            const uint32_t start = element(offsetsType, stripCount, offsetsField, i);
            const uint32_t length = element(countsType, stripCount, countsField, i);
            if (start > bytes_.size() || length > bytes_.size() - start) break;
            Strip strip;
            strip.bytes.assign(bytes_.begin() + start, bytes_.begin() + start + length);
            strip.rows = int32_t(std::min(rowsPerStrip, rowsLeft));
            rowsLeft -= uint32_t(strip.rows);
            page.strips.push_back(std::move(strip));
        }
        return page;
    }

    std::vector<uint8_t> bytes_;
    bool bigEndian_ = false;
};

// Decodes every strip of the page; returns the rows decoded.
int32_t decodePageStrips(const Page& page, pagelift::PageBitmap& bitmap)
{
    int32_t rows = 0;
    for (const Strip& strip : page.strips) {
        const int32_t size = int32_t(strip.bytes.size());
        const uint8_t bitOrder = uint8_t(page.fillOrder);
        const uint8_t polarity = uint8_t(page.photometric);
        if (page.compression == 4) {
            pagelift::MmrDecoder decoder(strip.bytes.data(), size, bitOrder, uint8_t(page.t6Options), polarity, 3);
            decoder.setGeometry(page.width, strip.rows);
            pagelift::decodeMmr(decoder, bitmap);
        } else {
            const uint8_t coding = page.compression == 3 ? ((page.t4Options & 1) ? pagelift::FaxMr : pagelift::FaxMhWithEol)
                                                         : pagelift::FaxMhByteAligned;
            pagelift::CcittDecoder decoder(strip.bytes.data(), size, bitOrder, coding, polarity);
            decoder.setGeometry(page.width, strip.rows);
            pagelift::decodePage(decoder, bitmap);
        }
        rows += bitmap.rows;
    }
    return rows;
}

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int benchFile(const std::string& path, int repeat)
{
    const std::vector<Page> pages = TiffFile(path).pages();
    if (pages.empty()) {
        std::fprintf(stderr, "%s: no pages\n", path.c_str());
        return 1;
    }
    std::vector<double> perRun;
    int32_t rows = 0;
    pagelift::PageBitmap bitmap;
    for (int run = 0; run < repeat + 1; ++run) {
        rows = 0;
        const Clock::time_point start = Clock::now();
        for (const Page& page : pages) rows += decodePageStrips(page, bitmap);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (run > 0) perRun.push_back(ms);  // the first run warms caches and the allocator
    }
    const double median = medianOf(perRun);
    std::printf("%-60s %zu page(s) %6d rows  median %8.3f ms per file  %8.3f ms per page  (min %.3f, %d runs)\n",
                path.c_str(), pages.size(), rows, median, median / double(pages.size()),
                *std::min_element(perRun.begin(), perRun.end()) / double(pages.size()), repeat);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    int repeat = 21;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--repeat=", 0) == 0) {
            repeat = std::max(1, std::atoi(arg.c_str() + 9));
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        // The sample corpus lies beside the source tree.
        const std::filesystem::path corpus =
            std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "shared" / "corpus";
        files = {(corpus / "g4-multi.tiff").string(), (corpus / "fax2d.tif").string()};
    }
    int failures = 0;
    for (const std::string& file : files) failures += benchFile(file, repeat);
    return failures == 0 ? 0 : 1;
}
