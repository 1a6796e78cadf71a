// UploadStart of the control on the real platform: WinSock to the reference
// mail server that the test command starts on loopback, the page thread kept
// alive while the worker runs, and the retry question as a real message box.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "control/settings.h"
#include "control/upload_bridge.h"
#include "control/upload_list_win.h"
#include "tests/support/fakes.h"
#include "tests/win/dialog_driver_win.h"
#include "tests/win/test_server_win.h"

using namespace parvex;

namespace {

struct UploadStartWin : ::testing::Test {
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
        ResetProcessSettings();
        WSACleanup();
    }

    std::wstring AddFile(const std::wstring& name, const std::string& bytes) {
        std::wstring path = dir.wpath() + L"\\" + name;
        std::ofstream(path.c_str(), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        model->AddChosenFiles({path});
        return path;
    }
};

}  // namespace

TEST_F(UploadStartWin, UploadsThroughWinSockAndEmptiesTheList) {
    Settings().uploadUrl = L"http://127.0.0.1:" + port + L"/upload";
    std::string first(20000, 'a'), second = "첨부 내용";
    for (size_t i = 0; i < first.size(); ++i) first[i] = static_cast<char>(i * 7);
    AddFile(L"win-upload.bin", first);
    AddFile(L"윈도우 첨부.txt", second);
    ASSERT_EQ(model->TotalUploadCount(), 2);

    EXPECT_EQ(ControlUploadStart(0, *model, nullptr), 1);
    EXPECT_EQ(model->TotalUploadCount(), 0);
    EXPECT_EQ(model->GetTotalUpSize(), 0.0);
    EXPECT_EQ(parvex::testing::ReadAll(store + L"\\win-upload.bin"), first);
    EXPECT_EQ(parvex::testing::ReadAll(store + L"\\윈도우 첨부.txt"), second);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(UploadStartWin, UnreachableServerAsksAfterThreeRerunsAndReportsFailure) {
    // Nothing listens on port 1: every connection is refused at once.
    Settings().uploadUrl = L"http://127.0.0.1:1/upload";
    AddFile(L"never.bin", "x");
    std::atomic<bool> asked{false}, watching{false};
    std::thread watcher([&] {
        watching = true;
        HWND box = parvex::testing::WaitForDialog(L"Warning", 60000);
        if (!box) return;
        for (const std::wstring& text : parvex::testing::ChildTexts(box))
            if (text.find(L"업로드에 실패한 항목이 있습니다.") != std::wstring::npos &&
                text.find(L"never.bin") != std::wstring::npos)
                asked = true;
        parvex::testing::PressButton(box, IDNO);
    });
    while (!watching) Sleep(1);
    EXPECT_EQ(ControlUploadStart(0, *model, nullptr), 0);
    watcher.join();
    EXPECT_TRUE(asked);
    EXPECT_EQ(model->TotalUploadCount(), 0);
}
