// An OCR module as another version of the program would make it: its entry
// point answers with an interface version this program does not speak, and
// the programs must refuse it as they refuse a missing one.

#include "ocr/recognition_module.h"

extern "C" __attribute__((visibility("default"))) const pagelift::RecognitionModule* pagelift_recognition_module()
{
    static const pagelift::RecognitionModule module{pagelift::kRecognitionInterfaceVersion + 1, nullptr};
    return &module;
}
