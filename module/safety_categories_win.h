// The two safety categories and the upload control's marks of implementing
// them.
#pragma once
#include <windows.h>

namespace parvex {

// Creates both categories and marks the upload control. Per machine through
// the platform's component-categories manager; per user as the plain keys
// that manager writes ("Component Categories\{id}" with the description
// under "409", "CLSID\{id}\Implemented Categories\{category}"), since the
// manager writes the machine's hive whatever HKEY_CLASSES_ROOT points at.
HRESULT RegisterSafetyCategories(bool perUser);
// Per user only: removes the marks and the categories again. The machine's
// registration keeps them, as other controls may share them.
void RemoveUserSafetyCategories();

}  // namespace parvex
