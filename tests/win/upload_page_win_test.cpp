// The upload control in a page during a run: a control or page that goes
// away cancels the run. The page's own calls during a run are tried in the
// page tests (tests/page/upload_run.js).
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <string>
#include <thread>

#include "tests/support/test_data.h"
#include "tests/win/dialog_driver_win.h"
#include "tests/win/ocx_win.h"
#include "tests/win/test_container_win.h"
#include "tests/win/test_server_win.h"

using namespace parvex::testing;

namespace {

// What a page timer does, once the progress dialog is up.
std::function<void()> timerScript;

void CALLBACK PageTimer(HWND window, UINT, UINT_PTR id, DWORD) {
    if (!timerScript || FindDialogs(L"페이지 업로드").empty()) return;
    KillTimer(window, id);
    auto script = std::move(timerScript);
    timerScript = nullptr;
    script();
}

struct UploadPageWin : ControlByProgIdTest<kUpControlProgId> {
    TestContainer page;
    HWND controlWindow = nullptr;
    std::wstring port = TestServerPort();
    std::wstring store = TestServerStore();
    std::wstring folder;

    void SetUp() override {
        ControlByProgIdTest::SetUp();
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        ASSERT_FALSE(port.empty()) << "PARVEX_TEST_SERVER_PORT is not set";
        controlWindow = page.Activate(control, {0, 0, 400, 200});
        ASSERT_NE(controlWindow, nullptr);
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = temp;
        std::wstring url = L"http://127.0.0.1:" + port + L"/upload";
        ASSERT_EQ(CallByName(control, L"UploadUrlAddress", {Text(url.c_str())}), S_OK);
        CallByName(control, L"UpForm_Filename", {Text(L"name")});
        CallByName(control, L"UpForm_UniqueFilename", {Text(L"unique")});
        CallByName(control, L"UpForm_UpFile", {Text(L"file")});
        CallByName(control, L"SetLimitUploadSize", {Number(100)});
        CallByName(control, L"SetUpTitle", {Text(L"페이지 업로드")});
    }
    void TearDown() override {
        timerScript = nullptr;
        ServerGet("/__reset");
        page.Deactivate();
        WSACleanup();
        ControlByProgIdTest::TearDown();
    }
    // A file dropped on the control's list, as the user would.
    std::wstring Drop(const std::wstring& name, const std::string& bytes) {
        std::wstring path = folder + name;
        WriteAll(path, bytes);
        DropOn(ListWindow(), path);
        return path;
    }
    HWND ListWindow() { return GetWindow(controlWindow, GW_CHILD); }
    short UploadStart() {
        VARIANT result;
        VariantInit(&result);
        EXPECT_EQ(CallByName(control, L"UploadStart", {Integer(0)}, &result), S_OK);
        return V_VT(&result) == VT_I2 ? V_I2(&result) : -1;
    }
};

}  // namespace

TEST_F(UploadPageWin, ControlOrPageGoingAwayDuringTheRunCancelsIt) {
    // Every upload held part-way: only the page going away ends it.
    ServerGet("/__fault?hold=1048576&target=upload");
    for (bool wholePage : {false, true}) {
        std::wstring suffix = wholePage ? L"-page" : L"-control";
        Drop(L"going" + suffix + L".bin", std::string(2 << 20, 'g'));
        Drop(L"never" + suffix + L".txt", "never");
        bool ran = false;
        timerScript = [&] {
            ran = true;
            if (wholePage)
                DestroyWindow(page.Window());
            else
                page.Deactivate();
        };
        SetTimer(page.Window(), 1, 20, PageTimer);
        DialogAnswerer notices({{L"알림", [](HWND box) { PressButton(box, IDOK); }}});
        EXPECT_EQ(UploadStart(), 0);
        notices.Stop();
        EXPECT_TRUE(ran);
        // Nobody is left to tell.
        EXPECT_EQ(notices.Count(L"알림"), 0);
        EXPECT_EQ(GetFileAttributesW((store + L"\\never" + suffix + L".txt").c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(FindDialogs(L"페이지 업로드").empty());
        if (!wholePage) {
            controlWindow = page.Activate(control, {0, 0, 400, 200});
            ASSERT_NE(controlWindow, nullptr);
        }
    }
}

TEST_F(UploadPageWin, TheQueuesBatchReportIsOwnedByTheCalledControlsWindow) {
    HWND owner = nullptr;
    bool pageDisabled = false;
    std::thread watcher([&] {
        HWND box = WaitForDialog(L"항목 추가 실패", 10000);
        if (!box) return;
        owner = GetWindow(box, GW_OWNER);
        pageDisabled = !IsWindowEnabled(GetAncestor(controlWindow, GA_ROOT));
        PressButton(box, IDOK);
    });
    auto add = [&](int batch) {
        VARIANT result;
        VariantInit(&result);
        CallByName(control, L"AddDownloadFile", {Text(L"/o.txt"), Text(L"owned-report.txt"), Number(10), Number(batch)},
                   &result);
        return V_VT(&result) == VT_I2 ? V_I2(&result) : -100;
    };
    EXPECT_EQ(add(2), 0);
    EXPECT_EQ(add(2), -1);
    watcher.join();
    // A box owned by a child window belongs to its top-level window: the page.
    EXPECT_EQ(owner, GetAncestor(controlWindow, GA_ROOT));
    EXPECT_TRUE(pageDisabled);
}
