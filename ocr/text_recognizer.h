#pragma once

// Finding the text of a fax page (OCR), and whether the page stands upright,
// behind one small interface: a run's owner (the command line, the window,
// the watcher) holds a recognizer for as long as it lives and hands it to
// the output stage. Pages are read from memory; what comes back is placed
// on the page as the outputs write it.

#include "raster/page_bitmap.h"
#include "raster/page_words.h"

#include <string>

namespace pagelift {

// The languages recognised when none are named.
inline constexpr const char* kDefaultOcrLanguages = "eng";

// How recognising a page went.
struct PageRecognition {
    bool recognised = false;  // false: recognition failed, and text is empty
    std::string failure;      // then why, in the engine's or its libraries' words
    int turnedDegrees = 0;    // the page must be turned this far clockwise (0, 90, 180 or 270)
    PageBitmap turned;        // the page turned so, when turnedDegrees is not 0
    PageText text;            // placed on the page as it is after the turn
};

class TextRecognizer {
public:
    virtual ~TextRecognizer() = default;

    // What stops `languages` ("eng", "eng+deu") from being recognised, as
    // the message for the user, naming the package to install for a
    // language whose data are missing; empty when every one can be read.
    // Loads what it checks and keeps it for the pages. Nothing is
    // remembered of a failure: asked again, it looks again, so that data
    // installed since are found.
    virtual std::string languagesProblem(const std::string& languages) = 0;

    // The page's text in `languages`, read with up to `threads` threads;
    // the text does not depend on `threads`. A page found on its side or
    // upside down is turned upright first (its pixels, and for a quarter
    // turn its size and resolutions, into `turned`). May be called from
    // several threads at once. Any failure inside comes back as not
    // recognised, with no turn.
    virtual PageRecognition recognise(const PageBitmap& page, const std::string& languages, int threads) = 0;
};

}  // namespace pagelift
