#include "support/sff_files.h"

#include "support/byte_builder.h"
#include "support/mh_encoder.h"

#include <algorithm>

namespace pagelift::testing {
namespace {

bool whiteRow(const Picture& picture, int32_t y)
{
    for (int32_t x = 0; x < picture.width; ++x) {
        if (picture.at(x, y) != 0) return false;
    }
    return true;
}

}  // namespace

SffBytes sffFile(const std::vector<SffPage>& pages, const SffBytes& userData)
{
    ByteBuilder file;
    // Version 1; the user information, the last page's offset and the end's stay 0.
    file.text(0, "Sfff").u8(4, 1).u16(8, uint16_t(pages.size())).u16(10, uint16_t(20 + userData.size()));
    file.reach(20).bytes(20, userData);
    for (const SffPage& page : pages) {
        const size_t at = file.size();
        file.u8(at, 254).u8(at + 1, 16).u8(at + 2, page.verticalResolution).u16(at + 6, page.width);
        file.u16(at + 8, page.statedLines).reach(at + 18).bytes(at + 18, page.records);
    }
    const size_t end = file.size();
    file.u8(end, 254).u8(end + 1, 0);
    return file.result();
}

SffBytes sffCodedRow(const Picture& picture, int32_t y)
{
    BitWriter bits;
    int colour = 0;
    int32_t x = 0;
    while (x < picture.width) {
        int32_t run = 0;
        while (x + run < picture.width && picture.at(x + run, y) == colour) ++run;
        bits.put(runCodeBits(run, colour));
        x += run;
        colour ^= 1;
    }
    return bits.bytes(true);
}

void addSffLine(SffBytes& records, const SffBytes& coded, bool longForm)
{
    if (longForm || coded.empty() || coded.size() > 216) {
        records.insert(records.end(), {0, uint8_t(coded.size()), uint8_t(coded.size() >> 8)});
    } else {
        records.push_back(uint8_t(coded.size()));
    }
    records.insert(records.end(), coded.begin(), coded.end());
}

void addSffWhiteLines(SffBytes& records, int count)
{
    while (count > 0) {
        const int now = std::min(count, 253 - 216);
        records.push_back(uint8_t(216 + now));
        count -= now;
    }
}

void addSffUnreadableLine(SffBytes& records) { records.insert(records.end(), {255, 0}); }

void addSffUserInformation(SffBytes& records, const SffBytes& info)
{
    records.push_back(255);
    records.push_back(uint8_t(info.size()));
    records.insert(records.end(), info.begin(), info.end());
}

SffBytes sffPictureRecords(const Picture& picture, int longFormEvery)
{
    SffBytes records;
    int pendingWhite = 0;
    int lines = 0;
    for (int32_t y = 0; y < picture.height; ++y) {
        if (whiteRow(picture, y)) {
            ++pendingWhite;
            continue;
        }
        addSffWhiteLines(records, pendingWhite);
        pendingWhite = 0;
        ++lines;
        addSffLine(records, sffCodedRow(picture, y), longFormEvery > 0 && lines % longFormEvery == 0);
    }
    addSffWhiteLines(records, pendingWhite);
    return records;
}

}  // namespace pagelift::testing
