// Feeds arbitrary pages to the Group 4 encoder, the page turner and the PDF
// writer, and arbitrary texts to the PDF writer as fields and as words on
// the page: the first bytes give the page's width and the length of a text,
// then come the text and the pixels, as many rows as they fill. Every page
// must decode back exactly, with no line damaged, and come back as it was
// after four quarter turns; the PDF must stand whole under its name exactly
// when the writer says it wrote it.

#include "ccitt/coded_page.h"
#include "ccitt/mmr_encoder.h"
#include "imageout/pdf_writer.h"
#include "raster/page_turn.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) return 0;
    const int32_t width = 1 + int32_t((data[0] | data[1] << 8) % 8000);
    const size_t textLength = std::min<size_t>(data[2], size - 4);
    const bool padded = (data[3] & 1) != 0;  // rows one byte longer than they need be
    const std::string text(reinterpret_cast<const char*>(data + 4), textLength);
    const uint8_t* pixels = data + 4 + textLength;
    const size_t pixelBytes = size - 4 - textLength;
    const int32_t bytesPerRow = (width + 7) / 8 + (padded ? 1 : 0);
    const int32_t rows = int32_t(std::min<size_t>(pixelBytes / size_t(bytesPerRow), 2000));

    const std::vector<uint8_t> coded = pagelift::encodeMmrPage(pixels, width, rows, bytesPerRow);
    pagelift::CodedPageLayout layout;
    layout.coding = 7;
    layout.mmrDamage = pagelift::MmrDamage::EndLines;
    layout.linesPassingWidthBreak = true;
    layout.width = width;
    layout.height = rows;
    pagelift::PageBitmap page;
    const int result = pagelift::decodeCodedPage(coded.data(), int32_t(coded.size()), layout, page);
    if (rows > 0) {
        if (result != 0 || page.rows != rows) std::abort();
        const int32_t bytes = (width + 7) / 8;
        for (int32_t row = 0; row < rows; ++row) {
            const uint8_t* in = pixels + size_t(row) * size_t(bytesPerRow);
            const uint8_t* out = page.pixels.data() + size_t(row) * size_t(page.bytesPerRow);
            const uint8_t lastMask = uint8_t(0xFF << ((8 - width % 8) % 8));
            if (std::memcmp(in, out, size_t(bytes - 1)) != 0) std::abort();
            if (((in[bytes - 1] ^ out[bytes - 1]) & lastMask) != 0) std::abort();
        }
    }

    // Four quarter turns give the page back, pixel for pixel.
    if (rows > 0) {
        pagelift::PageBitmap turned = page;
        for (int turn = 0; turn < 4; ++turn) turned = pagelift::turnedPage(turned, data[3] & 2 ? 90 : 270);
        if (turned.width != page.width || turned.rows != page.rows) std::abort();
        const int32_t bytes = (width + 7) / 8;
        const uint8_t lastMask = uint8_t(0xFF << ((8 - width % 8) % 8));
        for (int32_t row = 0; row < rows; ++row) {
            const uint8_t* in = page.pixels.data() + size_t(row) * size_t(page.bytesPerRow);
            const uint8_t* out = turned.pixels.data() + size_t(row) * size_t(turned.bytesPerRow);
            if (std::memcmp(in, out, size_t(bytes - 1)) != 0) std::abort();
            if (((in[bytes - 1] ^ out[bytes - 1]) & lastMask) != 0) std::abort();
        }
    }

    // The text's pieces as words anywhere on the page, boxes inside out too.
    std::vector<pagelift::PageWord> words;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find(' ', start), text.size());
        const int32_t seed = int32_t(start * 7919 + end * 104729);
        words.push_back({text.substr(start, end - start), seed % (width + 9) - 4, seed % (rows + 9) - 4,
                         (seed / 3) % (width + 9) - 4, (seed / 5) % (rows + 9) - 4, start == 0});
        start = end + 1;
    }

    // Lines over those words, from the same seeds: some of them out of
    // range, overlapping, empty, or with baselines of any value.
    std::vector<pagelift::PageLine> lines;
    for (size_t index = 0; index < words.size(); ++index) {
        const int32_t seed = words[index].left * 31 + words[index].top;
        const double far = (seed & 7) == 0 ? std::numeric_limits<double>::quiet_NaN() : (seed & 7) == 1 ? 1e300 : 0;
        lines.push_back({index, size_t(seed % 3), double(words[index].left), double(words[index].bottom) + far,
                         double(words[index].right), double(words[index].bottom - seed % 5)});
    }

    // The text as every field: dates must be refused or taken, never read past.
    const std::optional<pagelift::FaxDateTime> received = pagelift::parseFaxDateTime(text);
    pagelift::PdfInfo info{text, text, text, text, "fuzz", received ? pagelift::pdfDateOf(*received) : ""};
    const pagelift::PdfPage pdfPage{&coded, width, rows, uint16_t(data[0]), int16_t(data[1]), uint8_t(data[3] % 4),
                                    &words, data[0] & 1 ? &lines : nullptr};
    static const std::string path = "/tmp/pagelift-pdf-fuzz-" + std::to_string(long(getpid())) + ".pdf";
    const pagelift::WriteResult written = pagelift::writePdfDocument({pdfPage}, info, path);
    const bool exists = access(path.c_str(), F_OK) == 0;
    if (exists != written.written()) std::abort();
    std::remove(path.c_str());
    return 0;
}
