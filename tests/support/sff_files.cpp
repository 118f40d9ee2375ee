#include "support/sff_files.h"

#include "support/mh_encoder.h"

#include <algorithm>

namespace pagelift::testing {
namespace {

void putLe16(SffBytes& out, uint32_t value)
{
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void putLe32(SffBytes& out, uint32_t value)
{
    putLe16(out, value & 0xFFFF);
    putLe16(out, value >> 16);
}

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
    SffBytes file = {'S', 'f', 'f', 'f', 1, 0};
    putLe16(file, 0);  // user information
    putLe16(file, uint32_t(pages.size()));
    putLe16(file, uint32_t(20 + userData.size()));  // the first page header
    putLe32(file, 0);
    putLe32(file, 0);
    file.insert(file.end(), userData.begin(), userData.end());
    for (const SffPage& page : pages) {
        file.insert(file.end(), {254, 16, page.verticalResolution, 0, 0, 0});
        putLe16(file, page.width);
        putLe16(file, page.statedLines);
        putLe32(file, 0);
        putLe32(file, 0);
        file.insert(file.end(), page.records.begin(), page.records.end());
    }
    file.insert(file.end(), {254, 0});
    return file;
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
        records.push_back(0);
        putLe16(records, uint32_t(coded.size()));
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
