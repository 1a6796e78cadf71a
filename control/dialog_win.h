// A dialog class with an explicit message map: the class lists the messages
// and commands it handles between PARVEX_BEGIN_MSG_MAP and PARVEX_END_MSG_MAP;
// everything else gets the dialog manager's default handling.
//
//     class CSomeDlg : public DialogImpl<CSomeDlg> {
//     public:
//         enum { Template = 123 };
//         PARVEX_BEGIN_MSG_MAP(CSomeDlg)
//             PARVEX_MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
//             PARVEX_COMMAND_ID_HANDLER(IDOK, OnOk)
//         PARVEX_END_MSG_MAP()
//         LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL& handled);
//         LRESULT OnOk(WORD code, WORD id, HWND control, BOOL& handled);
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

    // Runs the dialog from template T::Template of the module modally.
    INT_PTR DoModal(HWND owner) {
        return DialogBoxParamW(ModuleHandle(), MAKEINTRESOURCEW(T::Template), owner, StartProc,
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
    virtual bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result) = 0;

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

#define PARVEX_BEGIN_MSG_MAP(Class)                                                                        \
    bool ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override { \
        BOOL bHandled = TRUE;                                                                            \
        (void)wParam;                                                                                    \
        (void)lParam;

#define PARVEX_MESSAGE_HANDLER(msg, func)               \
    if (uMsg == (msg)) {                                \
        bHandled = TRUE;                                \
        lResult = func(uMsg, wParam, lParam, bHandled); \
        if (bHandled) return true;                      \
    }

#define PARVEX_COMMAND_ID_HANDLER(id, func)                                                                    \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == (id)) {                                                        \
        bHandled = TRUE;                                                                                       \
        lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled);              \
        if (bHandled) return true;                                                                             \
    }

#define PARVEX_END_MSG_MAP() \
    lResult = 0;             \
    return false;            \
    }
