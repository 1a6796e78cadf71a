// The download queue and engine on the real platform: WinSock to the
// reference mail server that the test command starts on loopback, Win32 files
// into the save folder, names in 16-bit wide text.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "common/format.h"
#include "control/settings.h"
#include "download/tests/download_test_support.h"
#include "tests/support/test_data.h"
#include "tests/win/test_server_win.h"

using namespace parvex;
using namespace parvex::dltest;

namespace {

struct DownloadWin : ::testing::Test, DownloadTestRig {
    std::wstring port = parvex::testing::TestServerPort();
    std::wstring served = parvex::testing::TestServerStore();  // the server serves its store
    parvex::testing::TempDir save;

    void SetUp() override {
        ASSERT_FALSE(port.empty()) << "PARVEX_TEST_SERVER_PORT is not set";
        ASSERT_FALSE(served.empty()) << "PARVEX_TEST_SERVER_STORE is not set";
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        StoreSaveFolder(save.wpath());
        Settings().downloadHostUrl = L"http://127.0.0.1:" + port + L"/";
        MakeState();
    }
    void TearDown() override {
        state.reset();
        ResetProcessSettings();
        Settings().downloadHostUrl.clear();
        WSACleanup();
    }
};

}  // namespace

TEST_F(DownloadWin, FetchesKoreanAndSpacedNamesWholeAndReportsAMissingOne) {
    std::string big = parvex::testing::Bytes(20000, 9), small = "윈도우에서 받은 내용";
    parvex::testing::WriteAll(served + L"\\윈도우 받기.bin", big);
    parvex::testing::WriteAll(served + L"\\short note.txt", small);

    int count = 3;
    EXPECT_EQ(state->AddDownloadFile(L"/윈도우 받기.bin", L"윈도우 받기.bin", 20000, count), 0);
    EXPECT_EQ(state->AddDownloadFile(L"/short note.txt", L"short note.txt", 28, count), 0);
    EXPECT_EQ(state->AddDownloadFile(L"/not here.txt", L"not here.txt", 5, count), 0);
    state->DownloadStart();
    TestDialog& dialog = *factory.last;
    state->StartRun();
    state->WaitRunFinished();

    std::vector<std::wstring> statuses;
    for (auto& r : dialog.view.Rows()) statuses.push_back(r.status);
    EXPECT_EQ(statuses, (std::vector<std::wstring>{L"완 료", L"완 료", L"실 패"}));
    EXPECT_EQ(parvex::testing::ReadAll(save.wpath() + L"\\윈도우 받기.bin"), big);
    EXPECT_EQ(parvex::testing::ReadAll(save.wpath() + L"\\short note.txt"), small);
    EXPECT_EQ(GetFileAttributesW((save.wpath() + L"\\not here.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    std::wstring summary;
    for (auto& s : dialog.view.messages.shown)
        if (s.caption == L"Download Complete Infomation") summary = s.text;
    // The summary carries the server's status line for the missing file.
    EXPECT_NE(summary.find(L"404"), std::wstring::npos);
    state->CancelOrClose();
    state->WaitSessionClosed();
}
