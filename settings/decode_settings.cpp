#include "settings/decode_settings.h"

namespace pagelift {

DecodeSettings& processDecodeSettings()
{
    static DecodeSettings settings;
    return settings;
}

}  // namespace pagelift
