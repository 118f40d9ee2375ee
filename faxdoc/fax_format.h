#pragma once

#include <cstdint>
#include <string>

namespace pagelift {

// The container format of a fax file, chosen from its name. Values 2 and 15
// are unassigned; every value without a container (faxdoc/container_formats.h)
// is read as a raw fax stream. Formats added later have their code beside
// their reader.
enum FaxFormat : int32_t {
    NotFax = -2,
    RawFax = 0,
    Apf = 1,
    Awd = 3,
    BitFax = 4,
    Bmp = 5,
    Cals = 6,
    Dcx = 7,
    Ds = 8,
    Ed = 9,
    Fmf = 10,
    Fx = 11,
    PcResearch = 12,
    Ig4 = 13,
    Qfx = 14,
    Tiff = 16,
    G3n = 17,
    Sft = 18,
};

// The format of a file, from the extension of its name (the text after the
// last '.' of the file name; a name without a dot has none). Extensions are
// compared without regard to case and over the candidate's length only, so
// "tiffany" is a TIFF name and "dsp" a .ds name. Never fails: a name that
// matches nothing is a raw fax stream, and the readers verify the contents.
FaxFormat identifyFormat(const std::string& path);

// The look into a .g3f file: a little-endian TIFF signature gives G3n, the
// "PC Research, Inc" header gives PcResearch, anything else (an unreadable
// file included) RawFax.
FaxFormat probeG3f(const std::string& path);

// The extension of a path: the text after the last '.' of its file name,
// empty when the file name has no dot.
std::string extensionOf(const std::string& path);

}  // namespace pagelift
