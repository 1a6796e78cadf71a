#include "settings.h"

namespace parvex {

ProcessSettings& Settings() {
    static ProcessSettings settings;
    return settings;
}

void ResetProcessSettings() {
    ProcessSettings& s = Settings();
    std::wstring keep = s.downloadHostUrl;
    s = ProcessSettings();
    s.downloadHostUrl = keep;
}

}  // namespace parvex
