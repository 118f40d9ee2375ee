#pragma once

// The OCR module this build made, for tests that recognise text in their
// own process or point the programs at it.

#include <string>

namespace pagelift::testing {

// Its path; empty when the build made none (no Tesseract).
std::string builtOcrModule();

// Why text cannot be recognised here (no module built, or the default
// language's data missing); empty when it can. The module's recognizer is
// made and ended for the question: none may outlive main.
std::string ocrUnavailableReason();

// Sets an environment variable for as long as it lives, then puts back
// what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

}  // namespace pagelift::testing
