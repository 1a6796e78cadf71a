// UploadStart of the control on the real platform: WinSock to the reference
// mail server that the test command starts on loopback, the progress dialog
// and the prompts as real dialogs, answered from a test thread. What a page
// sees of a run is tried in the page tests (tests/page/upload_*.js); here
// what only the windows themselves tell: rows, owner, enabled buttons.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "control/com_module_win.h"
#include "common/settings.h"
#include "control/upload_bridge.h"
#include "control/upload_list_win.h"
#include "tests/support/fakes.h"
#include "tests/support/test_data.h"
#include "tests/win/dialog_driver_win.h"
#include "tests/win/ocx_win.h"
#include "tests/win/test_server_win.h"

using namespace parvex;
using parvex::testing::ClickNow;
using parvex::testing::DialogAnswerer;
using parvex::testing::PressButton;
using parvex::testing::RowText;
using parvex::testing::WaitFor;

namespace {

// The page as the progress dialog sees it: a top-level window and, inside
// it, the control's window.
struct PageWindows {
    HWND top = CreateWindowExW(0, L"STATIC", L"page", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, nullptr,
                               nullptr, nullptr, nullptr);
    HWND control = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 200, 100, top, nullptr, nullptr,
                                   nullptr);
    ~PageWindows() { DestroyWindow(top); }
};

struct UploadStartWin : ::testing::Test {
    parvex::testing::OcxModule ocx;
    std::wstring port = parvex::testing::TestServerPort();
    std::wstring store = parvex::testing::TestServerStore();
    parvex::testing::RecordingMessageBox boxes;
    parvex::testing::TempDir dir;
    UploadListHost host;
    std::unique_ptr<UploadListModel> model;

    void SetUp() override {
        // What the module's start does for the controls.
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        // The dialogs' templates are the module's.
        ASSERT_NE(ocx.get(), nullptr);
        UseResourceModule(ocx.get());
        // The test command starts the server and names it here.
        ASSERT_FALSE(port.empty()) << "PARVEX_TEST_SERVER_PORT is not set";
        ASSERT_FALSE(store.empty()) << "PARVEX_TEST_SERVER_STORE is not set";
        host.messages = &boxes;
        model = std::make_unique<UploadListModel>(host);
        ResetProcessSettings();
        Settings().formFileNameField = L"name";
        Settings().formUniqueNameField = L"unique";
        Settings().formFileField = L"file";
        model->SetLimitUploadSize(100);
    }
    void TearDown() override {
        parvex::testing::ServerGet("/__reset");
        UseResourceModule(nullptr);
        ResetProcessSettings();
        WSACleanup();
    }
    std::wstring Url(const wchar_t* path) { return L"http://127.0.0.1:" + port + path; }
    std::string Stored(const std::wstring& name) { return parvex::testing::ReadAll(store + L"\\" + name); }

    std::wstring AddFile(const std::wstring& name, const std::string& bytes) {
        std::wstring path = dir.wpath() + L"\\" + name;
        std::ofstream(path.c_str(), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        model->AddChosenFiles({path});
        return path;
    }
};

}  // namespace

TEST_F(UploadStartWin, ProgressDialogShowsTheRowsModalToThePage) {
    // Held part-way by the server until the dialog has been looked at.
    parvex::testing::ServerGet("/__fault?hold=8388608&target=upload");
    Settings().uploadUrl = Url(L"/upload");
    Settings().uploadTitle = L"첨부 올리기";
    std::string big = parvex::testing::Bytes(16 << 20, 31);
    AddFile(L"진행 큰파일.bin", big);
    AddFile(L"progress-small.txt", "small");
    PageWindows page;
    std::wstring firstRow, secondStatus;
    bool sending = false, modalToPage = false;
    DialogAnswerer answerer({{L"첨부 올리기", [&](HWND d) {
        HWND list = GetDlgItem(d, 207);
        sending = WaitFor([&] { return RowText(list, 0, 1) == L"전송중"; });
        firstRow = RowText(list, 0, 0);
        secondStatus = RowText(list, 1, 1);
        modalToPage = GetWindow(d, GW_OWNER) == page.top && !IsWindowEnabled(page.top);
        parvex::testing::ServerGet("/__release");
    }}});
    EXPECT_EQ(ControlUploadStart(0, *model, page.control), 1);
    answerer.Stop();
    EXPECT_TRUE(sending);
    EXPECT_EQ(firstRow, L"진행 큰파일.bin");
    EXPECT_EQ(secondStatus, L"대기");
    EXPECT_TRUE(modalToPage);
    EXPECT_TRUE(IsWindowEnabled(page.top));
    EXPECT_EQ(Stored(L"진행 큰파일.bin"), big);
    EXPECT_EQ(Stored(L"progress-small.txt"), "small");
}

TEST_F(UploadStartWin, TickingForAllHoldsTheRenameButton) {
    Settings().uploadUrl = Url(L"/upload");
    Settings().existUrl = Url(L"/exists");
    parvex::testing::WriteAll(store + L"\\same.txt", "on the server");
    AddFile(L"same.txt", "fresh bytes");
    bool renameOffWhenAll = false, renameOnAgain = false;
    DialogAnswerer answerer({{L"Upload Same File", [&](HWND d) {
        ClickNow(d, 252);
        renameOffWhenAll = !IsWindowEnabled(GetDlgItem(d, 254));
        ClickNow(d, 252);
        renameOnAgain = IsWindowEnabled(GetDlgItem(d, 254)) != FALSE;
        PressButton(d, 253);
    }}});
    EXPECT_EQ(ControlUploadStart(0, *model, nullptr), 1);
    answerer.Stop();
    EXPECT_TRUE(renameOffWhenAll);
    EXPECT_TRUE(renameOnAgain);
    EXPECT_EQ(Stored(L"same.txt"), "fresh bytes");
}
