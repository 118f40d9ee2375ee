#pragma once

// The one entry both the container fuzz target and its regression test feed
// bytes to. The first byte chooses the container format, the second the
// detection threshold; the rest becomes a file that a document opens in that
// format and reads page by page. A page that breaks the raster's promises
// aborts, so the fuzzer reports it as a crash.

#include "faxdoc/fax_document.h"
#include "faxdoc/readers/jbig_reader.h"
#include "faxdoc/readers/sff_reader.h"
#include "raster/page_size.h"

#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace pagelift::fuzzing {

inline constexpr size_t kContainerSettingsBytes = 2;

// The formats whose readers take their layout from the file's own headers.
inline constexpr std::array<FaxFormat, 12> kContainerFormats = {Apf, BitFax, Fx,  PcResearch, Qfx, Sft,
                                                                 Bmp, Cals,   Dcx, Ds,         Ed,  Ig4};

// The formats added to the received-fax containers later, each fuzzed on its
// own (sff_reader_fuzz, jbig_reader_fuzz): JBIG pages come bare and in TIFF
// files.
inline constexpr std::array<FaxFormat, 1> kSffFormats = {Sff};
inline constexpr std::array<FaxFormat, 2> kJbigFormats = {Jbig, Tiff};

// A page either exists whole (every row's bytes present) or not at all. The
// pages of TIFF files (.ds files hold them) and of JBIG files follow one rule
// besides: a page too large to convert is described without its raster, so
// that the conversion reports it as a failed page.
inline void requireContainerPageShape(const PageBitmap& page, FaxFormat format)
{
    const bool describesLargePages = format == Ds || format == Tiff || format == Jbig;
    if (!page.hasPage()) {
        // A TIFF page of width 0 but many rows is described too: its rows
        // alone pass the limits.
        const bool describedTooLarge = describesLargePages && !fitsOutputLimits(page);
        if ((page.rows > 0 && !describedTooLarge) || !page.pixels.empty()) std::abort();
        return;
    }
    if (page.bytesPerRow < (int64_t(page.width) + 7) / 8) std::abort();
    const size_t bytes = size_t(page.rows) * size_t(page.bytesPerRow);
    if (describesLargePages && page.pixels.empty() && (bytes > (size_t{1} << 27) || !fitsOutputLimits(page))) return;
    if (page.pixels.size() != bytes) std::abort();
}

// The formats whose readers take sizes from headers and decode no unlabelled
// data: fast enough to be fuzzed on their own (image_containers_fuzz).
inline constexpr std::array<FaxFormat, 6> kImageContainerFormats = {Bmp, Cals, Dcx, Ds, Ed, Ig4};

template <size_t N = kContainerFormats.size()>
inline void runContainerReaders(const uint8_t* input, size_t inputSize,
                                const std::array<FaxFormat, N>& formats = kContainerFormats)
{
    if (inputSize < kContainerSettingsBytes) return;
    const FaxFormat format = formats[input[0] % formats.size()];
    static const std::string path = "/tmp/pagelift-container-fuzz-" + std::to_string(long(getpid()));
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return;
    std::fwrite(input + kContainerSettingsBytes, 1, inputSize - kContainerSettingsBytes, file);
    std::fclose(file);

    FaxDocument document;
    // Few agreeing lines, so that the fuzzer reaches the page decoders behind
    // the trial decoding.
    document.settings().threshold = uint16_t(1 + input[1] % 4);
    document.open(path, format);
    requireContainerPageShape(document.page(), format);
    for (size_t index = 1; index < document.pageCount(); ++index) {
        document.readPage(format, index);
        requireContainerPageShape(document.page(), format);
    }
    document.close();
    std::remove(path.c_str());
}

}  // namespace pagelift::fuzzing
