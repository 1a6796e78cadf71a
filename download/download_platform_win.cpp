#include "download_platform_win.h"

#include <windows.h>

#include <memory>

#include "common/clock.h"
#include "common/cookies_win.h"
#include "common/file_system.h"
#include "common/socket.h"
#include "download_state.h"

namespace parvex {
namespace {

class DesktopMessageBox : public MessageBoxHost {
public:
    int Show(const std::wstring& text, const std::wstring& caption, unsigned style) override {
        return MessageBoxW(nullptr, text.c_str(), caption.empty() ? nullptr : caption.c_str(), style);
    }
};

}  // namespace

void ConfigureWindowsDownloads() {
    static DesktopMessageBox boxes;
    static std::unique_ptr<SettingsStore> store = MakePlatformSettingsStore();
    DownloadPlatform platform;
    platform.fs = &LocalFileSystem();
    platform.network = &PlatformNetwork();
    platform.clock = &SystemClock();
    platform.store = store.get();
    platform.cookies = &WinInetCookieStore();
    platform.controlMessages = &boxes;
    platform.promptMessages = &boxes;
    ConfigureProcessDownloads(platform);
}

}  // namespace parvex
