// What the tests of the upload control's window share: its list view, the
// texts and totals it shows, temporary files and drops as the shell makes
// them.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/win/dialog_driver_win.h"
#include "tests/win/test_container_win.h"

namespace parvex::testing {

inline double DoubleResult(IDispatch* object, const wchar_t* name) {
    VARIANT result;
    EXPECT_EQ(CallByName(object, name, {}, &result), S_OK) << name;
    EXPECT_EQ(V_VT(&result), VT_R8) << name;
    return V_R8(&result);
}

inline long CountOf(IDispatch* object) {
    VARIANT result;
    EXPECT_EQ(CallByName(object, L"TotalUploadCount", {}, &result), S_OK);
    EXPECT_EQ(V_VT(&result), VT_I4);
    return V_I4(&result);
}

inline std::wstring InfoOf(IDispatch* object) {
    VARIANT result;
    EXPECT_EQ(CallByName(object, L"GetUpFileInfo", {}, &result), S_OK);
    std::wstring text = V_VT(&result) == VT_BSTR && V_BSTR(&result) ? V_BSTR(&result) : L"";
    VariantClear(&result);
    return text;
}

inline void Attach(IDispatch* object, const wchar_t* name, const wchar_t* unique, double size) {
    ASSERT_EQ(CallByName(object, L"AttachFileFromMail", {Text(name), Text(unique), Number(size)}), S_OK);
}

inline HWND ListViewOf(HWND controlWindow) {
    HWND listWindow = GetWindow(controlWindow, GW_CHILD);
    return listWindow ? GetDlgItem(listWindow, 203) : nullptr;
}

// Posts a press and a release of the left button at point (client
// coordinates of window), as the user's click arrives, and handles them.
inline void ClickAt(HWND window, POINT point) {
    LPARAM at = MAKELPARAM(point.x, point.y);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(window, WM_LBUTTONUP, 0, at);
    TestContainer::Pump();
}

inline RECT CellOf(HWND list, int row, int column) {
    RECT cell = {LVIR_LABEL, column, 0, 0};
    SendMessageW(list, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell));
    return cell;
}

inline POINT MiddleOf(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// A file of size bytes in the temporary folder, removed with the object.
struct TempFile {
    std::wstring path;
    TempFile(const wchar_t* name, size_t size) {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        path = std::wstring(folder) + name;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        std::string bytes(size, 'x');
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
    ~TempFile() { DeleteFileW(path.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
};

}  // namespace parvex::testing
