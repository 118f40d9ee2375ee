#pragma once

// Finding and loading the OCR module. Recognition lives in a module of its
// own, so that a program that recognises nothing loads none of its
// libraries: it is opened only when a run asks for text.

#include "ocr/text_recognizer.h"

#include <memory>
#include <string>

namespace pagelift {

// Where the module is looked for: $PAGELIFT_OCR_MODULE when it is set and
// not empty; else the package's private library folder reached from the
// running program's folder (an installed program), unless the module is
// missing there and stands in the running program's own folder (a build
// tree).
std::string recognitionModulePath();

// True when a file stands at recognitionModulePath(); nothing is loaded.
bool recognitionModuleFound();

// A recognizer made by the module, or why there is none.
struct LoadedRecognizer {
    std::unique_ptr<TextRecognizer> recognizer;  // null when it could not be loaded
    std::string problem;  // then the message for the user, naming the package to install
};

// Opens the module at `path` (it stays loaded for the rest of the process)
// and makes a recognizer with it. A missing file, one that cannot be
// loaded, and a module of another interface version give no recognizer.
LoadedRecognizer loadTextRecognizer(const std::string& path = recognitionModulePath());

}  // namespace pagelift
