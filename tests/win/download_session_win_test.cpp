// The download session of the real module, as a page drives it: the dialog
// and its run survive the page letting go of every control while the host
// frees unused libraries; DownloadStart from two threads at once opens one
// dialog; a dialog that went with its thread leaves the way open for the
// next. Files come from the reference mail server the test command started.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "tests/win/dialog_driver_win.h"
#include "tests/win/ocx_win.h"
#include "tests/win/test_container_win.h"
#include "tests/win/test_server_win.h"

using namespace parvex::testing;

namespace {

constexpr int kCancelButton = 227, kStartButton = 228, kList = 219;

// Pumps this thread's messages until condition holds; false after 60 s.
bool PumpUntil(const std::function<bool()>& condition) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > 60000) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        TestContainer::Pump();
    }
    return true;
}

struct TitleCount {
    const std::wstring* title;
    int count = 0;
};

BOOL CALLBACK CountTitled(HWND window, LPARAM param) {
    auto* look = reinterpret_cast<TitleCount*>(param);
    wchar_t text[256] = {0};
    GetWindowTextW(window, text, 256);
    if (*look->title == text) ++look->count;
    return TRUE;
}

int WindowsTitled(const std::wstring& title) {
    TitleCount look{&title};
    EnumWindows(CountTitled, reinterpret_cast<LPARAM>(&look));
    return look.count;
}

// A thread of the page: it calls what it is given and then keeps its
// windows alive, pumping, until told to end.
class PageThread {
public:
    explicit PageThread(std::function<void()> call) : thread_([this, call] { Run(call); }) {}
    ~PageThread() { End(); }
    void WaitCalled() {
        while (!called_) Sleep(1);
    }
    void End() {
        end_ = true;
        if (thread_.joinable()) thread_.join();
    }

private:
    void Run(const std::function<void()>& call) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        call();
        called_ = true;
        while (!end_) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        }
        CoUninitialize();
    }
    std::atomic<bool> called_{false}, end_{false};
    std::thread thread_;
};

struct DownloadSessionWin : ::testing::Test {
    OleScope ole;
    IDispatch* up = nullptr;
    std::wstring served = TestServerStore();
    std::wstring save;
    std::wstring oldSavePath;
    bool hadSavePath = false;

    void SetUp() override {
        ASSERT_FALSE(TestServerPort().empty()) << "PARVEX_TEST_SERVER_PORT is not set";
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        save = std::wstring(temp) + L"parvex-session-" + std::to_wstring(GetTickCount());
        CreateDirectoryW(save.c_str(), nullptr);
        hadSavePath = RegistryText(HKEY_LOCAL_MACHINE, kKey, L"DownSavePath", oldSavePath);
        SetSavePath(save);
        EnsureRegistered();
        up = CreateByProgId(kUpControlProgId);
        ASSERT_NE(up, nullptr);
        ASSERT_EQ(CallByName(up, L"SetDownHostUrl", {Text((L"http://127.0.0.1:" + TestServerPort() + L"/").c_str())}),
                  S_OK);
    }
    void TearDown() override {
        if (up) up->Release();
        ServerGet("/__reset");
        if (hadSavePath) SetSavePath(oldSavePath);
        WSACleanup();
    }
    static constexpr const wchar_t* kKey = L"SOFTWARE\\Orvanta Component";
    static void SetSavePath(const std::wstring& path) {
        HKEY key;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != 0)
            return;
        RegSetValueExW(key, L"DownSavePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    void Title(const std::wstring& title) { ASSERT_EQ(CallByName(up, L"SetDnTitle", {Text(title.c_str())}), S_OK); }
    void Queue(const std::wstring& name, double size) {
        VARIANT r;
        ASSERT_EQ(CallByName(up, L"AddDownloadFile",
                             {Text((L"/" + name).c_str()), Text(name.c_str()), Number(size), Integer(1)}, &r),
                  S_OK);
    }
    void Start(IDispatch* control) { CallByName(control, L"DownloadStart", {}); }
    std::string Serve(const std::wstring& name, size_t size) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 % 251);
        WriteAll(served + L"\\" + name, bytes);
        return bytes;
    }
    // Only name in the save folder: complete and no part beside it.
    void ExpectOnlySaved(const std::wstring& name, const std::string& bytes) {
        EXPECT_TRUE(ReadAll(save + L"\\" + name) == bytes) << "the saved file differs from the served one";
        WIN32_FIND_DATAW found;
        HANDLE h = FindFirstFileW((save + L"\\*").c_str(), &found);
        int files = 0;
        if (h != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    ++files;
                    EXPECT_EQ(std::wstring(found.cFileName), name);
                }
            } while (FindNextFileW(h, &found));
            FindClose(h);
        }
        EXPECT_EQ(files, 1);
    }
    static bool RunEnded(HWND dialog) { return ItemText(dialog, kCancelButton) == L"종 료"; }
};

}  // namespace

TEST_F(DownloadSessionWin, ReleasingEveryControlAndFreeingLibrariesLeavesDialogAndRunAlive) {
    const std::wstring title = L"세션 유지";
    Title(title);
    std::string bytes = Serve(L"held.bin", 600000);
    Queue(L"held.bin", 600000);
    ASSERT_NE(ServerGet("/__fault?rate=300000&target=download").find("ok"), std::string::npos);
    Start(up);
    HWND dialog = FindWindowW(nullptr, title.c_str());
    ASSERT_NE(dialog, nullptr);

    // The page lets go of its control while the dialog waits, and the host
    // frees what it believes unused.
    up->Release();
    up = nullptr;
    CoFreeUnusedLibrariesEx(0, 0);
    TestContainer::Pump();
    ASSERT_NE(GetModuleHandleW(L"PARVEX.OCX"), nullptr);
    ASSERT_TRUE(IsWindow(dialog));
    EXPECT_EQ(WindowsTitled(title), 1);

    // The same in the middle of the run.
    PressButton(dialog, kStartButton);
    ASSERT_TRUE(PumpUntil([&] { return RowText(GetDlgItem(dialog, kList), 0, 1) == L"전송중"; }));
    CoFreeUnusedLibrariesEx(0, 0);
    TestContainer::Pump();
    ASSERT_NE(GetModuleHandleW(L"PARVEX.OCX"), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return RunEnded(dialog); }));
    EXPECT_EQ(RowText(GetDlgItem(dialog, kList), 0, 1), L"완 료");
    ExpectOnlySaved(L"held.bin", bytes);

    // Closed: nothing of the module is left running, and it may go.
    PressButton(dialog, kCancelButton);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }));
    ASSERT_TRUE(PumpUntil([&] {
        CoFreeUnusedLibrariesEx(0, 0);
        return GetModuleHandleW(L"PARVEX.OCX") == nullptr;
    }));
}

TEST_F(DownloadSessionWin, TwoThreadsStartingTogetherOpenOneDialog) {
    const std::wstring title = L"동시 시작";
    Title(title);
    for (int round = 0; round < 100; ++round) {
        HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        auto call = [&] {
            WaitForSingleObject(go, INFINITE);
            Start(up);
        };
        PageThread a(call), b(call);
        SetEvent(go);
        a.WaitCalled();
        b.WaitCalled();
        ASSERT_EQ(WindowsTitled(title), 1) << "round " << round;
        HWND dialog = FindWindowW(nullptr, title.c_str());
        PressButton(dialog, kCancelButton);
        ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); })) << "round " << round;
        a.End();
        b.End();
        CloseHandle(go);
    }
}

TEST_F(DownloadSessionWin, WhenTheDialogsThreadEndsAnotherThreadOpensANewOneAndFetches) {
    const std::wstring title = L"스레드 종료";
    Title(title);
    HWND first = nullptr;
    {
        PageThread owner([&] {
            Start(up);
            first = FindWindowW(nullptr, title.c_str());
        });
        owner.WaitCalled();
        ASSERT_NE(first, nullptr);
    }
    // The thread is gone and its windows with it.
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(first); }));

    std::string bytes = Serve(L"second.bin", 70000);
    Queue(L"second.bin", 70000);
    HWND second = nullptr;
    PageThread next([&] {
        Start(up);
        second = FindWindowW(nullptr, title.c_str());
    });
    next.WaitCalled();
    ASSERT_NE(second, nullptr);
    PressButton(second, kStartButton);
    ASSERT_TRUE(PumpUntil([&] { return RunEnded(second); }));
    ExpectOnlySaved(L"second.bin", bytes);
    PressButton(second, kCancelButton);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(second); }));
}
