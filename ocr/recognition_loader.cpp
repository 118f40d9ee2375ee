#include "ocr/recognition_loader.h"

#include "ocr/recognition_module.h"
#include "platform/files.h"
#include "platform/paths.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

namespace pagelift {
namespace {

// From the programs' folder to the module's once installed, as the build
// computed it from the install folders ("../lib/x86_64-linux-gnu/pagelift").
#ifndef PAGELIFT_OCR_MODULE_DIR_FROM_PROGRAMS
#error "the build names the OCR module's folder"
#endif

std::string notInstalledText(const std::string& path)
{
    return std::string("Text recognition needs the OCR module, which is not installed: install the package ") +
           kRecognitionPackage + " (" + path + " not found)";
}

std::string unusableText(const std::string& path, const std::string& why)
{
    return "The OCR module " + path + " cannot be used (" + why + "): install the package " +
           kRecognitionPackage + " of Zoziv Pagelift " PAGELIFT_VERSION;
}

bool isFile(const std::string& path) { return fileStamp(path).has_value(); }

}  // namespace

std::string recognitionModulePath()
{
    if (const char* named = std::getenv("PAGELIFT_OCR_MODULE"); named != nullptr && *named != '\0') return named;
    const std::string programs = folderOfPath(programPath());
    const std::string beside = joinPath(programs, kRecognitionModuleName);
    const std::string installed = std::filesystem::path(joinPath(programs, PAGELIFT_OCR_MODULE_DIR_FROM_PROGRAMS))
                                      .append(kRecognitionModuleName)
                                      .lexically_normal()
                                      .string();
    // Where none is, the package's place is the one to name.
    return isFile(installed) || !isFile(beside) ? installed : beside;
}

bool recognitionModuleFound() { return isFile(recognitionModulePath()); }

LoadedRecognizer loadTextRecognizer(const std::string& path)
{
    LoadedRecognizer loaded;
    if (!isFile(path)) {
        loaded.problem = notInstalledText(path);
        return loaded;
    }
    // Never closed: the recognizers' code and the libraries' own state at
    // exit must stay where they are until the process ends.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (module == nullptr) {
        const char* why = dlerror();
        loaded.problem = unusableText(path, why != nullptr ? why : "it cannot be loaded");
        return loaded;
    }
    const auto entry = reinterpret_cast<RecognitionEntryPoint>(dlsym(module, kRecognitionEntryPoint));
    const RecognitionModule* answer = entry != nullptr ? entry() : nullptr;
    if (answer == nullptr || answer->interfaceVersion != kRecognitionInterfaceVersion) {
        loaded.problem = unusableText(path, "it was made for another version of the program");
        return loaded;
    }
    if (answer->create != nullptr) loaded.recognizer.reset(answer->create());
    if (!loaded.recognizer) loaded.problem = unusableText(path, "it made no recognizer");
    return loaded;
}

}  // namespace pagelift
