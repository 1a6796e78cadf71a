// A dialog class with an explicit message map: the class lists the messages
// and commands it handles between PARVEX_BEGIN_MSG_MAP and PARVEX_END_MSG_MAP;
// everything else gets the dialog manager's default handling. Each entry
// decodes its message once, here, and calls a handler with typed arguments:
//
//     class CSomeDlg : public DialogImpl<CSomeDlg> {
//     public:
//         enum { Template = 123 };
//         PARVEX_BEGIN_MSG_MAP(CSomeDlg)
//             PARVEX_MSG_WM_INITDIALOG(OnInitDialog)
//             PARVEX_MSG_WM_SYSCOMMAND(OnSysCommand)
//             PARVEX_COMMAND_ID_HANDLER(IDOK, OnOk)
//             PARVEX_COMMAND_IGNORE(IDCANCEL)
//         PARVEX_END_MSG_MAP()
//         bool OnInitDialog();            // true: the dialog manager sets the focus
//         bool OnSysCommand(UINT command);  // false: the default handling
//         void OnOk();
//     };
#pragma once
#include <windows.h>

#include <string>

#include "control/com_module_win.h"

namespace parvex {

template <class T>
class DialogImpl {
public:
    DialogImpl() = default;
    DialogImpl(const DialogImpl&) = delete;
    DialogImpl& operator=(const DialogImpl&) = delete;
    virtual ~DialogImpl() = default;

    // Runs the dialog from template T::Template of the module modally, or
    // from templateId for a class that serves more than one template.
    INT_PTR DoModal(HWND owner, int templateId = T::Template) {
        return DialogBoxParamW(ModuleHandle(), MAKEINTRESOURCEW(templateId), owner, StartProc,
                               reinterpret_cast<LPARAM>(this));
    }
    HWND Window() const { return window_; }

protected:
    // Creates the dialog modeless, for a class that runs its own modal loop.
    HWND CreateModeless(HWND owner) {
        return CreateDialogParamW(ModuleHandle(), MAKEINTRESOURCEW(T::Template), owner, StartProc,
                                  reinterpret_cast<LPARAM>(this));
    }
    void EndDialog(int result) { ::EndDialog(window_, result); }
    // Paints the dialog and whatever else of this thread waits to be
    // painted, before a transfer starts: painted while the bytes flowed,
    // the first drawing of a dialog (30 to 70 ms of this thread's processor
    // under Wine) took a processor from the worker and the server's reader.
    // UpdateWindow alone leaves windows that became invalid meanwhile (the
    // disabled page's control, a list once filled) to the message loop.
    void PaintBeforeTransfer() {
        UpdateWindow(window_);
        MSG msg;
        // Bounded: a window that never validates itself would repeat forever.
        for (int i = 0; i < 64 && PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i)
            DispatchMessageW(&msg);
    }
    HWND Item(int id) const { return GetDlgItem(window_, id); }
    void SetItemText(int id, const std::wstring& text) { SetDlgItemTextW(window_, id, text.c_str()); }
    std::wstring ItemText(int id) const {
        HWND item = Item(id);
        int length = item ? GetWindowTextLengthW(item) : 0;
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        if (item) GetWindowTextW(item, &text[0], length + 1);
        text.resize(static_cast<size_t>(length));
        return text;
    }

    // Filled in by PARVEX_BEGIN_MSG_MAP; true when the map handled message.
    virtual bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

    HWND window_ = nullptr;

private:
    static INT_PTR CALLBACK StartProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<DialogImpl*>(GetWindowLongPtrW(window, DWLP_USER));
        if (message == WM_INITDIALOG) {
            self = reinterpret_cast<DialogImpl*>(lParam);
            SetWindowLongPtrW(window, DWLP_USER, lParam);
            self->window_ = window;
        }
        if (!self) return FALSE;
        LRESULT result = 0;
        bool handled = self->ProcessWindowMessage(window, message, wParam, lParam, result);
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(window, DWLP_USER, 0);
            self->window_ = nullptr;
        }
        if (!handled) return FALSE;
        // WM_INITDIALOG answers with the focus choice itself; other messages
        // through the message result.
        if (message == WM_INITDIALOG) return static_cast<INT_PTR>(result);
        SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return TRUE;
    }
};

}  // namespace parvex

#define PARVEX_BEGIN_MSG_MAP(Class)                                                                       \
    bool ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override { \
        (void)wParam;                                                                                     \
        (void)lParam;                                                                                     \
        lResult = 0;

// bool func(): true lets the dialog manager give the focus to the first
// control, false leaves it where the handler put it.
#define PARVEX_MSG_WM_INITDIALOG(func)   \
    if (uMsg == WM_INITDIALOG) {         \
        lResult = func() ? TRUE : FALSE; \
        return true;                     \
    }

// bool func(UINT command), command one of the SC_ values: the system keeps
// the low four bits of wParam for itself, so they are masked off here, once.
// false leaves the command to the default handling.
#define PARVEX_MSG_WM_SYSCOMMAND(func) \
    if (uMsg == WM_SYSCOMMAND && func(static_cast<UINT>(wParam) & 0xFFF0u)) return true;

// void func().
#define PARVEX_MSG_WM_CLOSE(func) \
    if (uMsg == WM_CLOSE) {       \
        func();                   \
        return true;              \
    }

// void func(); the dialog manager still sees the message.
#define PARVEX_MSG_WM_SIZE(func) \
    if (uMsg == WM_SIZE) func();
#define PARVEX_MSG_WM_DESTROY(func) \
    if (uMsg == WM_DESTROY) func();
#define PARVEX_MSG_WM_NCDESTROY(func) \
    if (uMsg == WM_NCDESTROY) func();

// void func() before each of the WM_CTLCOLOR messages of a dialog and its
// controls; the colours stay the dialog manager's.
#define PARVEX_MSG_WM_CTLCOLOR(func)                                                                                \
    if (uMsg == WM_CTLCOLORDLG || uMsg == WM_CTLCOLORSTATIC || uMsg == WM_CTLCOLORBTN || uMsg == WM_CTLCOLOREDIT || \
        uMsg == WM_CTLCOLORLISTBOX)                                                                                 \
        func();

// void func(HDROP drop).
#define PARVEX_MSG_WM_DROPFILES(func)          \
    if (uMsg == WM_DROPFILES) {                \
        func(reinterpret_cast<HDROP>(wParam)); \
        return true;                           \
    }

// LRESULT func(NMHDR* header) for the notifications of control id.
#define PARVEX_NOTIFY_ID_HANDLER(id, func)                                                            \
    if (uMsg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->idFrom == static_cast<UINT_PTR>(id)) { \
        lResult = func(reinterpret_cast<NMHDR*>(lParam));                                             \
        return true;                                                                                  \
    }

// void func(UINT iconId, UINT mouseMessage) for a notification icon's
// callback message msg.
#define PARVEX_MSG_TRAY_CALLBACK(msg, func)                         \
    if (uMsg == (msg)) {                                            \
        func(static_cast<UINT>(wParam), static_cast<UINT>(lParam)); \
        return true;                                                \
    }

// void func() for a private message without arguments.
#define PARVEX_MSG_SIGNAL(msg, func) \
    if (uMsg == (msg)) {             \
        func();                      \
        return true;                 \
    }

// void func() for control id's commands, of any notification code.
#define PARVEX_COMMAND_ID_HANDLER(id, func)             \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == (id)) { \
        func();                                         \
        return true;                                    \
    }

// void func() for control id's notification code alone; its other codes do
// nothing.
#define PARVEX_COMMAND_CODE_HANDLER(id, code, func)     \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == (id)) { \
        if (HIWORD(wParam) == (code)) func();           \
        return true;                                    \
    }

// Control id's commands do nothing (Enter and Escape that must not close).
#define PARVEX_COMMAND_IGNORE(id) \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == (id)) return true;

#define PARVEX_END_MSG_MAP() \
    return false;            \
    }
