#pragma once

// The one entry both the fuzz target and the regression test feed bytes to.
// The first bytes of the input choose the decoder settings; the rest is the
// coded data. Every page decoder runs on it; any broken promise about the
// resulting page aborts, so the fuzzer reports it as a crash.

#include "ccitt/ccitt.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace pagelift::fuzzing {

inline constexpr size_t kSettingsBytes = 5;

inline void requirePageShape(const PageBitmap& page, int32_t height)
{
    if (page.rows < 0 || page.rows > height) std::abort();
    if (page.pixels.size() != size_t(page.rows) * size_t(page.bytesPerRow)) std::abort();
    if (page.width > 0 && page.bytesPerRow != (page.width + 7) / 8) std::abort();
}

inline int32_t fuzzWidth(uint8_t selector, uint8_t extra)
{
    static constexpr int32_t kWidths[] = {1728, 1, 7, 8, 13, 64, 215, 1725, 2048, 2432, 3456, 4864, 0, -5};
    constexpr uint8_t kCount = uint8_t(sizeof(kWidths) / sizeof(kWidths[0]));
    if (selector < kCount) return kWidths[selector];
    return int32_t(selector) * 8 + (extra & 7);  // any small width
}

// Decodes `data` with every page decoder; settings come from the first bytes.
inline void runCcittDecoders(const uint8_t* input, size_t inputSize)
{
    if (inputSize < kSettingsBytes) return;
    const uint8_t mix = input[0];
    const uint8_t bitOrder = (mix & 1) ? 2 : 1;
    const uint8_t polarity = (mix >> 1) & 1;
    const int withWord = (mix >> 2) & 1;
    const int flagMode = (mix >> 3) % 3;
    const int32_t width = fuzzWidth(input[1], input[2]);
    const int32_t height = int32_t(input[3] & 63);
    const uint8_t flagCount = uint8_t(input[4] & 7);
    const uint8_t t6Options = uint8_t((input[4] >> 3) & 3);
    const uint8_t* data = input + kSettingsBytes;
    const int32_t size = int32_t(inputSize - kSettingsBytes);

    for (uint8_t coding = FaxMhByteAligned; coding <= FaxMr; ++coding) {
        CcittDecoder decoder(data, size, bitOrder, coding, polarity);
        decoder.setGeometry(width, height);
        PageBitmap page;
        decodePage(decoder, page);
        requirePageShape(page, height);
        if (page.rows > 0) {
            mirrorRows(page);
            flipRows(page);
        }
    }
    {
        CcittDecoder decoder(data, size, bitOrder, FaxMhWithEol, polarity);
        decoder.setGeometry(width, height);
        PageBitmap page;
        decodeMhPrefixedPage(decoder, page, withWord);
        requirePageShape(page, height);
    }
    {
        MmrDecoder decoder(data, size, bitOrder, t6Options, polarity, flagCount);
        decoder.setGeometry(width, height);
        PageBitmap page;
        decodeMmr(decoder, page);
        requirePageShape(page, height);
    }
    {
        // A raw MMR stream: find a flag, decode from there, search on.
        MmrDecoder decoder(data, size, bitOrder, 0, polarity, flagCount);
        decoder.setGeometry(width, height);
        decoder.setRawStream(uint8_t((mix >> 5) & 1));
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (findFlag(decoder, attempt == 0 ? 0 : flagMode) < 0) break;
            if (decoder.bytePos() < 0 || decoder.bytePos() > size) std::abort();
            PageBitmap page;
            decodeMmrPage(decoder, page);
            requirePageShape(page, height);
        }
    }
}

}  // namespace pagelift::fuzzing
