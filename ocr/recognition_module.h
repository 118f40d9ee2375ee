#pragma once

// What the programs and the loadable OCR module agree on. The module
// exports one C function, kRecognitionEntryPoint; its answer starts with the
// interface version, so that a program can refuse a module of another
// version before it touches anything else of it. Any change to
// TextRecognizer, PageRecognition or the types they carry (PageBitmap,
// PageText) must raise kRecognitionInterfaceVersion.

#include "ocr/text_recognizer.h"

namespace pagelift {

inline constexpr int kRecognitionInterfaceVersion = 2;

// The file name of the module, and the Debian package that installs it.
inline constexpr const char* kRecognitionModuleName = "pagelift-ocr.so";
inline constexpr const char* kRecognitionPackage = "pagelift-ocr";

// The entry point's name, and its answer: a module of this interface
// version makes recognizers with `create`, each owned by the caller and
// ended through its virtual destructor. The module is never unloaded.
inline constexpr const char* kRecognitionEntryPoint = "pagelift_recognition_module";

struct RecognitionModule {
    int interfaceVersion;  // first in every version
    TextRecognizer* (*create)();  // null when the module cannot make one
};

extern "C" {
using RecognitionEntryPoint = const RecognitionModule* (*)();
}

}  // namespace pagelift
