// The upload list window as an OLE drop target: files dragged over it
// (CF_HDROP) are offered a copy, and a drop hands their paths to the window's
// one drop route, the one WM_DROPFILES takes too.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

namespace parvex {

// The paths of a dropped file list.
std::vector<std::wstring> DroppedPaths(HDROP drop);

// Registers window as a drop target whose drops go to onDrop; false when the
// thread has no OLE (WM_DROPFILES still works then). Revoke before the
// window goes.
bool RegisterListDropTarget(HWND window, std::function<void(const std::vector<std::wstring>&)> onDrop);
void RevokeListDropTarget(HWND window);

}  // namespace parvex
