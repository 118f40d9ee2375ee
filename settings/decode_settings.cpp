#include "settings/decode_settings.h"

#include <mutex>

namespace pagelift {
namespace {

std::mutex& decodeSettingsGuard()
{
    static std::mutex guard;
    return guard;
}

}  // namespace

DecodeSettings& processDecodeSettings()
{
    static DecodeSettings settings;
    return settings;
}

DecodeSettings copyProcessDecodeSettings()
{
    const std::lock_guard<std::mutex> lock(decodeSettingsGuard());
    return processDecodeSettings();
}

void changeProcessDecodeSettings(const std::function<void(DecodeSettings&)>& change)
{
    const std::lock_guard<std::mutex> lock(decodeSettingsGuard());
    change(processDecodeSettings());
}

}  // namespace pagelift
