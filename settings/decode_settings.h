#pragma once

#include <cstdint>
#include <string>

namespace pagelift {

// How raw fax data are decoded: the values the command line, the Settings
// tab and the settings file set. A run is handed them as a value and passes
// them down to every document it opens.
struct DecodeSettings {
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

// The files a document's decoding writes while it works: each job of a run
// has its own.
struct WorkingFiles {
    std::string rawImagePath;    // working image of the raw-stream analysis
    std::string rawSegmentPath;  // segment file of the raw-stream analysis
    std::string tempTiffPath;    // temporary TIFF of converted containers
};

// What a document decodes with.
struct DecodeSetup {
    DecodeSettings settings;
    WorkingFiles files;
};

// The same settings with working files of their own: each file name gets
// `prefix` in front (see jobFilePrefix), so that decodings running side by
// side never write over each other's files.
DecodeSetup withFilePrefix(const DecodeSetup& decode, const std::string& prefix);

}  // namespace pagelift
