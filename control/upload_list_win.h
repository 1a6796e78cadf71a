// The upload list for Windows code: the platform headers turn DeleteFile
// into DeleteFileW, which must not rename the list's own DeleteFile.
#pragma once
#include <windows.h>
#undef DeleteFile

#include "uploadlist/upload_list.h"
