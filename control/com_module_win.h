// What the COM objects of the module share: the counts that decide whether
// the module may unload, the module's own handle and its type library.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>

#include "common/module_hold.h"

namespace parvex {

// Every COM object of the module counts itself from creation to its last
// release; class-factory locks count separately.
void ObjectCreated();
void ObjectDestroyed();
long LiveObjectCount();
void LockModule(bool lock);
long ModuleLockCount();
// The module's count for the core's holds (SetModuleLifetime): a held
// module answers DllCanUnloadNow with S_FALSE.
ModuleLifetime& ComModuleLifetime();

// The module that holds this code (PARVEX.OCX when loaded by a container):
// its dialogs, bitmaps and type library.
HINSTANCE ModuleHandle();
// The test program runs this code from its own image and borrows the
// module's resources: the handle of a loaded PARVEX.OCX.
void UseResourceModule(HINSTANCE module);
std::wstring ModulePath();

// Type information of a dispatch interface or class from the module's own
// type library (resource TYPELIB 1), with one reference for the caller.
HRESULT LoadModuleTypeInfo(REFGUID guid, ITypeInfo** info);

// The property pages have no place in the type library.
extern const CLSID CLSID_ParvexUpPropPage;
extern const CLSID CLSID_ParvexDnPropPage;

}  // namespace parvex
