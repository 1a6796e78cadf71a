// The upload control in a page during a run: the page's script keeps running
// (timers here) while the progress dialog is up, and nothing it calls may
// change the list under the worker; a page that goes away cancels the run.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

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

long CountOf(IDispatch* control) {
    VARIANT result;
    CallByName(control, L"TotalUploadCount", {}, &result);
    return V_VT(&result) == VT_I4 ? V_I4(&result) : -1;
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

TEST_F(UploadPageWin, PageCallsDuringTheRunChangeNothingAndEveryFileArrives) {
    ServerGet("/__fault?rate=400000&target=upload");
    std::string big = Bytes(1 << 20, 13);
    Drop(L"page-big.bin", big);
    Drop(L"page-small.txt", "page small");
    ASSERT_EQ(CountOf(control), 2);

    long countDuring = -1;
    short secondStart = -1;
    bool ran = false;
    timerScript = [&] {
        ran = true;
        HWND list = GetDlgItem(ListWindow(), 203);
        ListView_SetCheckState(list, 0, TRUE);
        CallByName(control, L"DeleteFile", {});
        Drop(L"page-dropped.txt", "dropped during the run");
        CallByName(control, L"AttachFileFromMail", {Text(L"mail.eml"), Text(L"m1"), Number(10)});
        CallByName(control, L"SetUseType", {Integer(1)});
        CallByName(control, L"SetLimitUploadSize", {Number(0)});
        CallByName(control, L"UploadUrlAddress", {Text(L"http://127.0.0.1:1/nowhere")});
        secondStart = UploadStart();
        countDuring = CountOf(control);
    };
    SetTimer(page.Window(), 1, 20, PageTimer);
    EXPECT_EQ(UploadStart(), 1);
    EXPECT_TRUE(ran);
    EXPECT_EQ(secondStart, 0);
    EXPECT_EQ(countDuring, 2);
    EXPECT_EQ(CountOf(control), 0);
    EXPECT_EQ(ReadAll(store + L"\\page-big.bin"), big);
    EXPECT_EQ(ReadAll(store + L"\\page-small.txt"), "page small");
    EXPECT_EQ(GetFileAttributesW((store + L"\\page-dropped.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    // The settings are the page's again once the run is over.
    Drop(L"page-after.txt", "after");
    EXPECT_EQ(CountOf(control), 1);
}

TEST_F(UploadPageWin, ControlOrPageGoingAwayDuringTheRunCancelsIt) {
    ServerGet("/__fault?rate=200000&target=upload");
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
