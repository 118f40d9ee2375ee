#pragma once

#include "ccitt/ccitt_decoder.h"

#include <cstdint>

namespace pagelift {

// What the MMR page loop does after a line it cannot decode (an invalid
// code, or an EOL that is not the end of the data): look for the next flag
// run and go on there, as in raw streams and containers, where flag bytes
// separate pages; or end there, as in a TIFF strip or tile, which holds one
// run of lines and no flags (0xFF 0xFF there is sixteen V0 codes), so that
// nothing after the damage is drawn and the rest stays white.
enum class MmrDamage : uint8_t { ResumeAtFlag, EndLines };

// A decoder for T.6 (MMR) data. Besides the bit reader it carries the T.6
// option value of the container, the number of 0xFF flag bytes that mark a
// page start in a raw MMR stream, and where the next flag search resumes.
class MmrDecoder : public CcittDecoder {
public:
    MmrDecoder(const uint8_t* data, int32_t size, uint8_t bitOrder, uint8_t t6Options, uint8_t polarity,
               uint8_t flagCount);

    uint8_t t6Options() const { return t6Options_; }
    uint8_t flagCount() const { return flagCount_; }
    // Byte where the next flag search (mode 1 or 2) starts.
    int32_t resumePoint() const { return resumePoint_; }
    void setResumePoint(int32_t position) { resumePoint_ = position; }
    MmrDamage damageRule() const { return damageRule_; }
    void setDamageRule(MmrDamage rule) { damageRule_ = rule; }
    // Whether a line that passes the width counts as one that cannot be
    // decoded (by default it is taken, cut at the width, as some encoders
    // end lines past it).
    bool linesPassingWidthBreak() const { return linesPassingWidthBreak_; }
    void setLinesPassingWidthBreak(bool breaks) { linesPassingWidthBreak_ = breaks; }

private:
    uint8_t t6Options_ = 0;
    uint8_t flagCount_ = 0;
    MmrDamage damageRule_ = MmrDamage::ResumeAtFlag;
    bool linesPassingWidthBreak_ = false;
    int32_t resumePoint_ = 0;
};

// Finds where MMR data begin after a run of 0xFF flag bytes. mode 0 searches
// from the start of the data, 1 from the resume point, 2 from the later of
// the resume point and the current byte. A run is accepted when it holds at
// least flagCount - 1 bytes of 0xFF (with flagCount 0 none are needed) and the
// ones that continue it into the next byte are followed by two zero bits.
// Returns 0 with the reader on the first of those zeros and markPos at the
// run, or the negative readByte code when the data end first. With the
// decoder's rawStream set it only reloads the current byte and returns 0.
int findFlag(MmrDecoder& decoder, int mode);

// Puts the reader on the coded data that follow the flag run starting at
// byte `flagStart`, or on `flagStart` itself when no flag run is found there
// (the flag is no image: each of its one bits would decode as a white row).
void placeAfterFlagRun(MmrDecoder& decoder, int32_t flagStart);

}  // namespace pagelift
