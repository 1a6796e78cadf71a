// The platform's file and folder choosers behind AddFindFile and AddFolder;
// what happens with the chosen paths is the upload list's.
#pragma once
#include <windows.h>

namespace parvex {

class UploadListModel;

void AddFindFileDialog(UploadListModel& model, HWND owner);
void AddFolderDialog(UploadListModel& model, HWND owner);

}  // namespace parvex
