#include "control/choosers_win.h"

#include <commdlg.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "control/upload_list_win.h"

namespace parvex {

namespace {

// Room for a very large multi-selection of long names.
const DWORD kFileNameBufferChars = 17104636;

// Preselects the folder given as data once the browser has opened.
int CALLBACK BrowseInitCallback(HWND window, UINT code, LPARAM, LPARAM data) {
    if (code == BFFM_INITIALIZED) SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

// The explorer-style multi-selection: one full path, or the folder followed
// by the names, each zero-terminated, the whole list ending with two zeros.
std::vector<std::wstring> SplitSelection(const wchar_t* buffer) {
    std::vector<std::wstring> parts;
    for (const wchar_t* p = buffer; *p; p += wcslen(p) + 1) parts.emplace_back(p);
    if (parts.size() <= 1) return parts;
    std::wstring folder = parts[0];
    if (folder.back() != L'\\') folder += L'\\';
    std::vector<std::wstring> paths;
    for (size_t i = 1; i < parts.size(); ++i) paths.push_back(folder + parts[i]);
    return paths;
}

}  // namespace

void AddFindFileDialog(UploadListModel& model, HWND owner) {
    std::vector<wchar_t> buffer(kFileNameBufferChars, L'\0');
    std::wstring initial = LastUploadFolder();
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = L"All Files (*.*)\0*.*\0";
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = kFileNameBufferChars;
    ofn.lpstrInitialDir = initial.empty() ? nullptr : initial.c_str();
    ofn.Flags = OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT | OFN_PATHMUSTEXIST | OFN_ENABLESIZING | OFN_EXPLORER;
    std::vector<std::wstring> paths;
    if (GetOpenFileNameW(&ofn)) paths = SplitSelection(buffer.data());
    model.AddChosenFiles(paths);
}

void AddFolderDialog(UploadListModel& model, HWND owner) {
    std::wstring initial = LastUploadFolder();
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.lpszTitle = L"업로드할 폴더를 선택하십시오.";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
    if (!initial.empty()) {
        info.lpfn = BrowseInitCallback;
        info.lParam = reinterpret_cast<LPARAM>(initial.c_str());
    }
    std::wstring folder;
    if (PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info)) {
        wchar_t path[MAX_PATH] = {0};
        if (SHGetPathFromIDListW(chosen, path)) folder = path;
        CoTaskMemFree(chosen);
    }
    model.AddChosenFolder(folder);
}

}  // namespace parvex
