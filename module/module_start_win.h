// What the module does when the browser loads it.
#pragma once
#include <windows.h>

namespace parvex {

extern HINSTANCE moduleInstance;

// Starts the component runtime, the sockets, the common controls and the
// default folder. False (after telling the user) when the sockets cannot
// start: the module must then refuse to load.
bool ModuleStart(HINSTANCE instance);

}  // namespace parvex
