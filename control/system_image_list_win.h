// The shell's small system image list, shared by the upload list views of
// the process; the module's own icon 223 is appended once per taking.
#pragma once
#include <windows.h>
#include <commctrl.h>

namespace parvex {

// What every upload control constructor does: takes the shell's list when
// none is held and appends icon 223 to it.
void TakeSystemImageList();
HIMAGELIST SystemImageList();
// A destroyed list window lets go of the list without destroying it.
void ReleaseSystemImageList();

}  // namespace parvex
