// Drives message boxes and dialogs of this process from a test thread, and
// gives windows the input a user or the shell would.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/wait_for.h"
#include "tools/page/window_actions_win.h"

namespace parvex::testing {

namespace detail {
inline BOOL CALLBACK CollectText(HWND child, LPARAM p) {
    wchar_t text[4096] = {0};
    GetWindowTextW(child, text, 4096);
    reinterpret_cast<std::vector<std::wstring>*>(p)->push_back(text);
    return TRUE;
}

struct DialogSearch {
    const std::wstring* caption;
    HWND found;
    std::vector<HWND>* all = nullptr;  // every match instead of the first
};

inline BOOL CALLBACK MatchDialog(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<DialogSearch*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    wchar_t cls[64] = {0}, text[512] = {0};
    GetClassNameW(w, cls, 64);
    // Not GetWindowTextW: for a window of another thread it sends a message,
    // which waits for a thread that may be waiting for this one.
    InternalGetWindowText(w, text, 512);
    if (pid == GetCurrentProcessId() && std::wstring(cls) == L"#32770" && IsWindowVisible(w) &&
        (s->caption->empty() || *s->caption == text)) {
        s->found = w;
        if (!s->all) return FALSE;
        s->all->push_back(w);
    }
    return TRUE;
}
}  // namespace detail

// Texts of a window's children, in z order.
inline std::vector<std::wstring> ChildTexts(HWND window) {
    std::vector<std::wstring> texts;
    EnumChildWindows(window, detail::CollectText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// A visible dialog-class window of this process with the given caption (any
// caption when empty), waited for up to timeoutMs.
inline HWND WaitForDialog(const std::wstring& caption, DWORD timeoutMs) {
    detail::DialogSearch search{&caption, nullptr};
    WaitFor(
        [&] {
            EnumWindows(detail::MatchDialog, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        static_cast<int>(timeoutMs));
    return search.found;
}

// Drops a path on a window as the shell does.
inline void DropOn(HWND window, const std::wstring& path) {
    size_t chars = path.size() + 2;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(memory);
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
}

// Every visible dialog of this process with the given caption, now.
inline std::vector<HWND> FindDialogs(const std::wstring& caption) {
    std::vector<HWND> all;
    detail::DialogSearch search{&caption, nullptr, &all};
    EnumWindows(detail::MatchDialog, reinterpret_cast<LPARAM>(&search));
    return all;
}

// The button's command, handled before the call returns (for buttons that
// leave their dialog open).
inline void ClickNow(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

inline std::wstring ItemText(HWND dialog, int id) {
    wchar_t text[1024] = {0};
    GetDlgItemTextW(dialog, id, text, 1024);
    return text;
}

// The text of a list view's cell.
inline std::wstring RowText(HWND list, int row, int column) { return page::CellText(list, row, column); }

inline void PressButton(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Answers dialogs from a test thread while it lives: each visible dialog
// whose caption has a handler is handed to that handler once, on this
// object's thread, and counted.
class DialogAnswerer {
public:
    using Handler = std::function<void(HWND)>;
    explicit DialogAnswerer(std::map<std::wstring, Handler> handlers)
        : handlers_(std::move(handlers)), thread_([this] { Loop(); }) {}
    ~DialogAnswerer() { Stop(); }
    // Called on the thread that owns the dialogs' windows: their messages
    // from a handler still get through while it waits.
    void Stop() {
        stop_ = true;
        while (!ended_) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        if (thread_.joinable()) thread_.join();
    }
    // Dialogs handled so far with this caption (read after Stop).
    int Count(const std::wstring& caption) const {
        auto it = counts_.find(caption);
        return it == counts_.end() ? 0 : it->second;
    }

private:
    void Loop() {
        while (!stop_) {
            for (auto& entry : handlers_)
                for (HWND dialog : FindDialogs(entry.first))
                    if (seen_.insert(dialog).second) {
                        ++counts_[entry.first];
                        entry.second(dialog);
                    }
            Sleep(10);
        }
        ended_ = true;
    }

    std::map<std::wstring, Handler> handlers_;
    std::map<std::wstring, int> counts_;
    std::set<HWND> seen_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

}  // namespace parvex::testing
