// The two seams every dialog goes through: the message map's crackers, and
// PostedChanges, the one way from another thread into a dialog.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>

#include "control/dialog_win.h"
#include "control/posted_changes_win.h"

using namespace parvex;

namespace {

// A message map alone: its crackers are called without a window.
class SysCommandMap : public DialogImpl<SysCommandMap> {
public:
    enum { Template = 0 };
    PARVEX_BEGIN_MSG_MAP(SysCommandMap)
        PARVEX_MSG_WM_SYSCOMMAND(OnSysCommand)
    PARVEX_END_MSG_MAP()

    bool Handles(WPARAM wParam) {
        LRESULT result = 0;
        return ProcessWindowMessage(nullptr, WM_SYSCOMMAND, wParam, 0, result);
    }
    UINT seen = 0;

private:
    bool OnSysCommand(UINT command) {
        seen = command;
        return command == SC_CLOSE;
    }
};

TEST(DialogMessageMap, SysCommandArrivesWithoutTheSystemsLowBits) {
    SysCommandMap map;
    // The close box and the system menu send SC_CLOSE with low bits set.
    EXPECT_TRUE(map.Handles(SC_CLOSE | 0x3));
    EXPECT_EQ(map.seen, static_cast<UINT>(SC_CLOSE));
    EXPECT_TRUE(map.Handles(SC_CLOSE));
    // A command the handler leaves goes on to the default handling.
    EXPECT_FALSE(map.Handles(SC_MOVE | 0x2));
    EXPECT_EQ(map.seen, static_cast<UINT>(SC_MOVE));
}

constexpr UINT kApply = WM_APP + 1;
constexpr UINT kRequest = WM_APP + 2;
constexpr int kLabel = 100;

LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* changes = reinterpret_cast<PostedChanges*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == kApply && changes) changes->Apply();
    if (message == kRequest && changes) changes->Answer(lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

// A window with one label, its changes taken from another thread.
class CrossingTarget {
public:
    CrossingTarget() {
        WNDCLASSW type = {};
        type.lpfnWndProc = TargetProc;
        type.hInstance = GetModuleHandleW(nullptr);
        type.lpszClassName = L"ParvexCrossingTarget";
        RegisterClassW(&type);
        window_ = CreateWindowW(L"ParvexCrossingTarget", L"", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                type.hInstance, nullptr);
        CreateWindowW(L"STATIC", L"before", WS_CHILD, 0, 0, 50, 20, window_,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLabel)), type.hInstance, nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&changes));
        changes.SetTarget(window_, nullptr, kApply, kRequest);
    }
    ~CrossingTarget() {
        if (IsWindow(window_)) DestroyWindow(window_);
    }
    HWND Window() const { return window_; }
    std::wstring Label() const {
        wchar_t text[64] = {};
        GetDlgItemTextW(window_, kLabel, text, 64);
        return text;
    }
    // Runs work on another thread while this one takes its messages.
    template <class Work>
    void FromWorker(Work work) {
        HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread worker([&] {
            work();
            SetEvent(done);
        });
        while (MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        }
        worker.join();
        CloseHandle(done);
    }

    PostedChanges changes;

private:
    HWND window_ = nullptr;
};

TEST(PostedChanges, RequestIsAnsweredOnTheDialogsThreadAfterTheChangesBeforeIt) {
    CrossingTarget target;
    DWORD dialogThread = GetCurrentThreadId();
    std::wstring labelSeen;
    DWORD answeredOn = 0;
    target.FromWorker([&] {
        target.changes.SetText(kLabel, L"posted");
        answeredOn = target.changes.Ask<DWORD>(
            [&] {
                labelSeen = target.Label();
                return GetCurrentThreadId();
            },
            0);
    });
    EXPECT_EQ(answeredOn, dialogThread);
    EXPECT_EQ(labelSeen, L"posted");
}

TEST(PostedChanges, RequestToAWindowThatIsGoneGetsTheAnswerForGone) {
    CrossingTarget target;
    DestroyWindow(target.Window());
    bool ran = false;
    int answer = 0;
    target.FromWorker([&] {
        answer = target.changes.Ask<int>(
            [&] {
                ran = true;
                return 1;
            },
            -1);
    });
    EXPECT_EQ(answer, -1);
    EXPECT_FALSE(target.changes.Call([&] { ran = true; }));
    EXPECT_FALSE(ran);
}

}  // namespace
