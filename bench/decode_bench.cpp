// Times CCITT strip decoding alone (no file reading, no output), ours beside
// libtiff's, on the same TIFF files in the same process, and prints per file
// the median milliseconds of each and their ratio.
//
//   pagelift_decode_bench [--repeat=N] [FILE...]
//
// Each file is read into memory first. Ours: the coded strips, found by the
// program's own TIFF reader, are decoded with TiffReader::decodeStrip as the
// reader does when it converts a page. libtiff: the file is opened from
// memory (TIFFClientOpen with a mapping, so no system call reads data), and
// TIFFReadEncodedStrip decodes every strip of every page into one buffer.
// A timed run decodes every strip of every page of the file; the two
// decoders alternate run by run so that load from other processes falls on
// both alike. Printed: the median time of each and the median of the runs'
// ratios. Before timing, both decodings are compared pixel for pixel.
// Without files it times ../shared/corpus/g4-multi.tiff and fax2d.tif.
#include "faxdoc/readers/tiff_reader.h"

#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// ---- ours -------------------------------------------------------------

// The coded strips of one page, read into memory before any timing.
struct LoadedPage {
    pagelift::TiffPageInfo info;
    std::vector<std::vector<uint8_t>> strips;
};

// Finds the pages and strips with the program's own TIFF reader, so that the
// timed part is the strip decoding alone.
std::vector<LoadedPage> loadPages(pagelift::TiffReader& reader, const std::string& path)
{
    std::vector<LoadedPage> pages;
    reader.openFile(path);
    if (reader.checkHeader() != 0) return pages;
    const uint16_t count = reader.countPages();
    for (uint16_t index = 0; index < count; ++index) {
        if (reader.readIfd(reader.pageOffset(index)) <= 0) continue;
        LoadedPage page;
        page.info = reader.parsePage();
        for (uint32_t strip = 0; strip < page.info.stripCount; ++strip) {
            std::vector<uint8_t> bytes;
            if (!reader.readStripBytes(reader.stripLocation(strip, page.info), bytes) || bytes.empty()) break;
            page.strips.push_back(std::move(bytes));
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

// Decodes every strip of the page as the reader does; returns the rows
// decoded. With `raster` given, the rows are appended to it.
uint32_t decodeOurPage(pagelift::TiffReader& reader, const LoadedPage& page, std::vector<uint8_t>* raster)
{
    uint32_t rows = 0;
    for (uint32_t index = 0; index < page.strips.size() && rows < page.info.imageLength; ++index) {
        const std::vector<uint8_t>& strip = page.strips[index];
        const pagelift::PageBitmap bitmap = reader.decodeStrip(strip.data(), uint32_t(strip.size()), page.info, index,
                                                              page.info.imageLength - rows);
        const uint32_t stripRows = uint32_t(std::max(bitmap.rows, 0));
        if (raster != nullptr) {
            raster->insert(raster->end(), bitmap.pixels.begin(),
                           bitmap.pixels.begin() + ptrdiff_t(size_t(stripRows) * size_t(bitmap.bytesPerRow)));
        }
        rows += stripRows;
    }
    return rows;
}

// ---- libtiff ----------------------------------------------------------

// A TIFF file held in memory, handed to libtiff as a mapped file.
struct MemoryFile {
    std::vector<uint8_t> bytes;
    toff_t position = 0;
};

tmsize_t readMemory(thandle_t handle, void* buffer, tmsize_t size)
{
    MemoryFile& file = *static_cast<MemoryFile*>(handle);
    const toff_t available = file.position < file.bytes.size() ? file.bytes.size() - file.position : 0;
    const toff_t count = std::min<toff_t>(toff_t(size), available);
    std::memcpy(buffer, file.bytes.data() + file.position, count);
    file.position += count;
    return tmsize_t(count);
}

tmsize_t writeNothing(thandle_t, void*, tmsize_t) { return -1; }

toff_t seekMemory(thandle_t handle, toff_t offset, int whence)
{
    MemoryFile& file = *static_cast<MemoryFile*>(handle);
    if (whence == SEEK_CUR) offset += file.position;
    if (whence == SEEK_END) offset += file.bytes.size();
    file.position = offset;
    return offset;
}

int closeNothing(thandle_t) { return 0; }
toff_t memorySize(thandle_t handle) { return static_cast<MemoryFile*>(handle)->bytes.size(); }

int mapMemory(thandle_t handle, void** base, toff_t* size)
{
    MemoryFile& file = *static_cast<MemoryFile*>(handle);
    *base = file.bytes.data();
    *size = file.bytes.size();
    return 1;
}

void unmapNothing(thandle_t, void*, toff_t) {}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// One handle per page, each already on its directory, so that the timed
// part is TIFFReadEncodedStrip alone.
struct LibtiffFile {
    MemoryFile memory;
    std::vector<TiffHandle> pages;
    std::vector<uint8_t> stripBuffer;
};

bool openLibtiff(const std::string& path, size_t pageCount, LibtiffFile& file)
{
    std::ifstream in(path, std::ios::binary);
    file.memory.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    tmsize_t largestStrip = 0;
    for (size_t page = 0; page < pageCount; ++page) {
        file.memory.position = 0;  // the handles share one read position; each open starts at the header
        TiffHandle tiff(TIFFClientOpen(path.c_str(), "r", &file.memory, readMemory, writeNothing, seekMemory,
                                       closeNothing, memorySize, mapMemory, unmapNothing));
        if (!tiff || !TIFFSetDirectory(tiff.get(), tdir_t(page))) return false;
        largestStrip = std::max(largestStrip, TIFFStripSize(tiff.get()));
        file.pages.push_back(std::move(tiff));
    }
    file.stripBuffer.resize(size_t(largestStrip));
    return largestStrip > 0;
}

// Decodes every strip of one page; with `raster` given the rows are appended
// to it. Returns the rows decoded, or -1 when libtiff reports an error.
int64_t decodeLibtiffPage(LibtiffFile& file, size_t page, std::vector<uint8_t>* raster)
{
    TIFF* tiff = file.pages[page].get();
    const tmsize_t rowBytes = TIFFScanlineSize(tiff);
    int64_t rows = 0;
    const uint32_t strips = TIFFNumberOfStrips(tiff);
    for (uint32_t strip = 0; strip < strips; ++strip) {
        const tmsize_t bytes = TIFFReadEncodedStrip(tiff, strip, file.stripBuffer.data(), tmsize_t(-1));
        if (bytes < 0) return -1;
        if (raster != nullptr) raster->insert(raster->end(), file.stripBuffer.begin(), file.stripBuffer.begin() + bytes);
        rows += bytes / rowBytes;
    }
    return rows;
}

// ---- comparison and timing --------------------------------------------

// libtiff writes black runs as 1 bits; ours writes white runs as 1 bits on
// min-is-white pages and black runs as 1 bits otherwise. Bits past the width
// are padding and not compared.
bool samePixels(const std::vector<uint8_t>& ours, const std::vector<uint8_t>& theirs, const LoadedPage& page)
{
    if (ours.size() != theirs.size()) return false;
    const size_t rowBytes = (size_t(page.info.imageWidth) + 7) / 8;
    const uint8_t invert = page.info.photometric == 0 ? 0xFF : 0x00;
    const unsigned tailBits = page.info.imageWidth % 8;
    const uint8_t lastMask = uint8_t(tailBits == 0 ? 0xFFu : 0xFFu << (8 - tailBits));
    for (size_t index = 0; index < ours.size(); ++index) {
        const uint8_t mask = (index + 1) % rowBytes == 0 ? lastMask : 0xFF;
        if (((ours[index] ^ invert ^ theirs[index]) & mask) != 0) return false;
    }
    return true;
}

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Work>
double millisecondsOf(Work&& work)
{
    const Clock::time_point start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int benchFile(const std::string& path, int repeat)
{
    pagelift::TiffReader reader;
    const std::vector<LoadedPage> pages = loadPages(reader, path);
    LibtiffFile libtiff;
    if (pages.empty() || !openLibtiff(path, pages.size(), libtiff)) {
        std::fprintf(stderr, "%s: no pages\n", path.c_str());
        return 1;
    }

    bool same = true;
    uint32_t rows = 0;
    for (size_t page = 0; page < pages.size(); ++page) {
        std::vector<uint8_t> ours;
        std::vector<uint8_t> theirs;
        rows += decodeOurPage(reader, pages[page], &ours);
        if (decodeLibtiffPage(libtiff, page, &theirs) < 0) same = false;
        if (!samePixels(ours, theirs, pages[page])) same = false;
    }

    std::vector<double> oursMs;
    std::vector<double> libtiffMs;
    std::vector<double> ratios;
    for (int run = 0; run < repeat + 1; ++run) {
        const double ourRun = millisecondsOf([&] {
            for (const LoadedPage& page : pages) decodeOurPage(reader, page, nullptr);
        });
        const double libtiffRun = millisecondsOf([&] {
            for (size_t page = 0; page < pages.size(); ++page) decodeLibtiffPage(libtiff, page, nullptr);
        });
        if (run == 0) continue;  // the first run warms caches and the allocator
        oursMs.push_back(ourRun);
        libtiffMs.push_back(libtiffRun);
        ratios.push_back(ourRun / libtiffRun);
    }
    // The ratio is the median of the runs' own ratios: the two decoders of
    // one run see the same load from other processes.
    const std::string name = std::filesystem::path(path).filename().string();
    std::printf("%-24s %2zu page(s) %6u rows  ours %8.3f ms  libtiff %8.3f ms  ours/libtiff %5.2f  pixels %s\n",
                name.c_str(), pages.size(), rows, medianOf(oursMs), medianOf(libtiffMs), medianOf(ratios),
                same ? "equal" : "DIFFER");
    return same ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    TIFFSetWarningHandler(nullptr);
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
    std::printf("median of %d runs per file, each decoding every strip of every page\n", repeat);
    int failures = 0;
    for (const std::string& file : files) failures += benchFile(file, repeat);
    return failures == 0 ? 0 : 1;
}
