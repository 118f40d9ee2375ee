#include "support/ocr_module.h"

#include "ocr/recognition_loader.h"

#include <cstdlib>

namespace pagelift::testing {

std::string builtOcrModule() { return PAGELIFT_BUILT_OCR_MODULE; }

std::string ocrUnavailableReason()
{
    static const std::string reason = [] {
        if (builtOcrModule().empty()) return std::string("this build has no OCR module (libtesseract-dev, scripts/install-deps.sh)");
        LoadedRecognizer loaded = loadTextRecognizer(builtOcrModule());
        if (!loaded.recognizer) return loaded.problem;
        return loaded.recognizer->languagesProblem(kDefaultOcrLanguages);
    }();
    return reason;
}

ScopedEnvironment::ScopedEnvironment(const char* name, const std::string& value) : name_(name)
{
    if (const char* old = std::getenv(name); old != nullptr) {
        had_ = true;
        old_ = old;
    }
    ::setenv(name, value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment()
{
    if (had_) {
        ::setenv(name_.c_str(), old_.c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

}  // namespace pagelift::testing
