// Feeds arbitrary bytes to the JPEG stage as an intermediate bitmap file.
// Whatever the bytes, the step must return a result without touching memory
// outside its buffers, hanging, or allocating beyond what the file holds.
// Rejected inputs print one message each: run with -close_fd_mask=2 to keep
// the log readable (libFuzzer's own reports still appear).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "imageout/jpeg_stage.h"

namespace {

std::string scratchPath(const char* suffix)
{
    return "/tmp/pagelift-bmp-fuzz-" + std::to_string(static_cast<long>(getpid())) + suffix;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string bitmap = scratchPath(".bmp");
    static const std::string jpeg = scratchPath(".jpg");
    std::FILE* file = std::fopen(bitmap.c_str(), "wb");
    if (file == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    pagelift::compressBitmapToJpeg(bitmap, jpeg, 50, true, (size & 1) != 0);
    return 0;
}
