// The download queue's platform on Windows.
#pragma once

namespace parvex {

// Hands the process's download state WinSock, the Win32 files, the registry,
// the browser's cookies and message boxes; called once at module start.
void ConfigureWindowsDownloads();

}  // namespace parvex
