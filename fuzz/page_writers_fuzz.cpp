// Feeds arbitrary pages to the page writers: the first bytes give the page's
// size fields and resolutions (consistent or not), the rest its pixels, as
// many as there are. Each writer must write the page whole or leave no file,
// and never read past the pixels the page holds.

#include "imageout/jpeg_writer.h"
#include "imageout/png_writer.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 9) return 0;
    pagelift::PageBitmap page;
    page.width = int32_t((data[0] | data[1] << 8) % 2048) - 8;  // a few negative widths too
    page.rows = int32_t(data[2] % 96);
    page.bytesPerRow = (data[3] & 0x80) != 0 ? int32_t(data[3] & 0x7F) : (page.width + 7) / 8;
    page.xResolution = uint16_t(data[4] | data[5] << 8);
    page.yResolution = int16_t(data[6] | data[7] << 8);
    page.resolutionUnit = data[8] % 4;
    page.pixels.assign(data + 9, data + size);
    static const std::string path = "/tmp/pagelift-writers-fuzz-" + std::to_string(long(getpid()));
    const int quality = 1 + data[0] % 100;
    const pagelift::WriteResult results[] = {
        pagelift::writeJpegPage(page, path + ".jpg", quality, true, pagelift::JpegFeed::FromBits),
        pagelift::writeJpegPage(page, path + "-rows.jpg", quality, false, pagelift::JpegFeed::Rows),
        pagelift::writePngPage(page, path + ".png"),
    };
    const char* const names[] = {".jpg", "-rows.jpg", ".png"};
    for (int i = 0; i < 3; ++i) {
        // A file stands under the name exactly when the writer says it wrote one.
        const std::string written = path + names[i];
        const bool exists = access(written.c_str(), F_OK) == 0;
        if (exists != results[i].written()) std::abort();
        std::remove(written.c_str());
    }
    return 0;
}
