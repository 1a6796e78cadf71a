// The property page of each control: a caption and a line of text, no data
// exchanged with the control.
#pragma once
#include <windows.h>

namespace parvex {

HRESULT CreateUpPropertyPage(REFIID iid, void** out);
HRESULT CreateDnPropertyPage(REFIID iid, void** out);

}  // namespace parvex
