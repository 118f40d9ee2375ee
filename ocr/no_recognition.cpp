// The recognition of a build without an OCR engine: every request is
// answered with the reason it cannot be met.

#include "ocr/page_recognition.h"

namespace pagelift {

bool ocrBuiltIn() { return false; }

std::string ocrLanguagesProblem(const std::string&)
{
    return "This build has no OCR: it was made without the Tesseract library (libtesseract-dev)";
}

PageRecognition recognisePage(const PageBitmap&, const std::string&, int) { return {}; }

}  // namespace pagelift
