#include "platform/messages.h"

#include <cstdio>

namespace pagelift {

std::string toTerminalLineEnds(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

void showResultsMessage(const std::string& text)
{
    const std::string shown = toTerminalLineEnds(text);
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    if (!shown.empty() && shown.back() != '\n') std::fputc('\n', stdout);
    std::fflush(stdout);
}

void showErrorMessage(const std::string& text, const std::string& caption)
{
    std::fprintf(stderr, "%s\n%s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

}  // namespace pagelift
