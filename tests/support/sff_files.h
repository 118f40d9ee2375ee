#pragma once

// SFF files, the fax files of CAPI 2.0 ISDN software, laid out field by
// field around lines the test MH encoder codes: a 20-byte document header,
// then per page a 16-byte page header and its records.

#include "support/fax_oracles.h"

#include <cstdint>
#include <vector>

namespace pagelift::testing {

using SffBytes = std::vector<uint8_t>;

struct SffPage {
    uint8_t verticalResolution = 0;  // 0 standard (98 lines per inch), 1 fine (196)
    uint16_t width = 1728;
    uint16_t statedLines = 0;  // what the page header says; the records decide
    SffBytes records;
};

// The document: header ("Sfff", version 1, the page count, the first page
// header after `userData`), the pages, and a page header of length 0 that
// ends it. The offsets of the last page and of the end are left 0.
SffBytes sffFile(const std::vector<SffPage>& pages, const SffBytes& userData = {'u', 's', 'e', 'r'});

// Row `y` of the picture as Modified Huffman codes without EOL, least
// significant bit first, as an SFF line holds it.
SffBytes sffCodedRow(const Picture& picture, int32_t y);

// Records: a coded line (the one-byte length form up to 216 bytes, else or
// with `longForm` the form with a 16-bit length), `count` white lines (in
// records of at most 37), a line the receiver could not read, and `info`
// bytes of user information.
void addSffLine(SffBytes& records, const SffBytes& coded, bool longForm = false);
void addSffWhiteLines(SffBytes& records, int count);
void addSffUnreadableLine(SffBytes& records);
void addSffUserInformation(SffBytes& records, const SffBytes& info);

// Every row of the picture: runs of white rows as white-line records, the
// other rows as lines, every `longFormEvery`-th of them (0: none) in the
// long form.
SffBytes sffPictureRecords(const Picture& picture, int longFormEvery = 0);

}  // namespace pagelift::testing
