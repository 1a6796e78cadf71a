// The two control classes as the class factories create them.
#pragma once
#include <windows.h>

namespace parvex {

HRESULT CreateUploadControl(REFIID iid, void** out);
HRESULT CreateDownloadControl(REFIID iid, void** out);

// The About box of a control: dialog template id, owned by owner.
void ShowAboutBox(int dialogId, HWND owner);

}  // namespace parvex
