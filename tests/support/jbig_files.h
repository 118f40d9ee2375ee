#pragma once

// JBIG pages for tests: bi-level image entities (BIEs) written by jbigkit's
// pbmtojbg, TIFF files laid out field by field around them as libtiff and
// TIFF-FX store them, and the independent readings they are compared with.

#include "support/fax_oracles.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pagelift::testing {

using JbigBytes = std::vector<uint8_t>;

inline const std::initializer_list<std::string> kJbigTools = {"pbmtojbg", "jbgtopbm"};

// The BIE pbmtojbg writes for the picture, with `options` ("-q", "-f",
// "-f -Y 5000", ...); no bytes when it fails.
JbigBytes pbmtojbgImage(const ScratchFolder& scratch, const Picture& picture, const std::string& options);

// The picture jbgtopbm decodes from a BIE (empty when it fails).
Picture jbgtopbmPicture(const ScratchFolder& scratch, const JbigBytes& bie);

// Every byte's bits in the other order.
JbigBytes bitReversed(JbigBytes bytes);

// One page of a JBIG TIFF file: one strip holding `bie` exactly as given.
struct JbigTiffPage {
    JbigBytes bie;
    uint32_t width = 0;
    uint32_t rows = 0;
    uint16_t compression = 34661;  // libtiff's JBIG; 9 is TIFF-FX's T.85
    uint16_t fillOrder = 1;
    uint16_t photometric = 0;  // 0: a pixel of value 1 is black
};

// A little-endian TIFF file of the pages, at 204 x 196 dots per inch.
JbigBytes jbigTiffFile(const std::vector<JbigTiffPage>& pages);

// Each page of a TIFF file as libtiff's own JBIG codec decodes it, strip by
// strip with TIFFReadEncodedStrip; nullopt when this build has no libtiff
// to ask or libtiff cannot read the file.
std::optional<std::vector<Picture>> libtiffStripPictures(const std::string& path);

}  // namespace pagelift::testing
