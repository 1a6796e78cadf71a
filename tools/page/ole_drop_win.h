#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace parvex::page {

// Drags paths (CF_HDROP) onto target through OLE, as a person dragging files
// from another program would: the cursor is put over target's middle and
// DoDragDrop drops at once. True when the target took the files.
bool OleDropFiles(HWND target, const std::vector<std::wstring>& paths);

}  // namespace parvex::page
