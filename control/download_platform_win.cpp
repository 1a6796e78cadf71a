#include "control/download_platform_win.h"

#include <windows.h>

#include <memory>

#include "common/clock.h"
#include "common/cookies_win.h"
#include "common/file_system.h"
#include "common/socket.h"
#include "common/thread_end_win.h"
#include "control/download_dlg_win.h"
#include "control/download_same_dlg_win.h"
#include "control/window_message_box_win.h"
#include "download/download_state.h"

namespace parvex {

void ConfigureWindowsDownloads() {
    // Boxes without owner: the queue is shared by every control of the process.
    static WindowMessageBox boxes;
    static std::unique_ptr<SettingsStore> store = MakePlatformSettingsStore();
    static DialogSameFilePrompt samePrompt;
    static DialogNameEntryPrompt namePrompt;
    static DialogFolderChooser folderChooser;
    static DownloadDialogFactoryWin dialogs;
    DownloadPlatform platform;
    platform.fs = &LocalFileSystem();
    platform.network = &PlatformNetwork();
    platform.clock = &SystemClock();
    platform.store = store.get();
    platform.cookies = &WinInetCookieStore();
    platform.controlMessages = &boxes;
    platform.promptMessages = &boxes;
    platform.sameFilePrompt = &samePrompt;
    platform.nameEntryPrompt = &namePrompt;
    platform.folderChooser = &folderChooser;
    platform.dialogFactory = &dialogs;
    platform.threadEnds = &WindowsThreadEndWatch();
    ConfigureProcessDownloads(platform);
}

}  // namespace parvex
