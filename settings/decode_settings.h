#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pagelift {

// Raw-fax decoding settings and working-file paths. One record lives for the
// whole process; every document gets a copy of it before it opens, and in
// that copy pageCount holds the document's page count.
struct DecodeSettings {
    uint16_t pageCount = 0;
    std::string rawImagePath;    // working image of the raw-stream analysis
    std::string rawSegmentPath;  // segment file of the raw-stream analysis
    std::string tempTiffPath;    // temporary TIFF of converted containers
    uint16_t threshold = 50;     // equal-width lines needed to accept a guess
    uint8_t flagNum = 3;         // flag count of the MMR page-start search
    uint8_t bitOrder = 0;        // 0 automatic, 1 most significant first, 2 least
    uint16_t resolution = 0;     // 0 detect, else 100/200/300/400 lines per inch class
    uint8_t anyWidth = 1;        // also accept non-standard line widths
    uint16_t minWidth = 1728;    // non-standard widths must exceed it
    uint8_t decodeMode = 1;      // kept for the settings file; no step reads it
    uint8_t rawData = 0;         // MMR data start at the first byte
    uint8_t recountLines = 0;    // kept for the settings file; no step reads it
};

// The process-wide record. Start-up and the command line fill it before any
// conversion runs; once a window may change it while a worker converts, use
// the two guarded calls below instead.
DecodeSettings& processDecodeSettings();

// A copy of the process-wide record, taken under its guard.
DecodeSettings copyProcessDecodeSettings();

// Changes the process-wide record under its guard, so that no copy taken at
// the same time sees half of the change.
void changeProcessDecodeSettings(const std::function<void(DecodeSettings&)>& change);

}  // namespace pagelift
