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
#include "common/settings.h"
#include "download/tests/download_test_support.h"
#include "tests/support/test_data.h"
#include "tests/support/wait_for.h"
#include "tests/win/test_server_win.h"

using namespace parvex;
using namespace parvex::dltest;

namespace {

// A link to a folder as Wine shows a junction: a Unix symbolic link made by
// the host's ln (Wine runs Unix programs named by their Unix path). False
// when the platform made none.
bool MakeFolderLink(const std::wstring& link, const std::wstring& target) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return false;
    char* l = unixName(link.c_str());
    char* t = unixName(target.c_str());
    std::string command = std::string("/bin/ln -s \"") + (t ? t : "") + "\" \"" + (l ? l : "") + "\"";
    HeapFree(GetProcessHeap(), 0, l);
    HeapFree(GetProcessHeap(), 0, t);
    std::wstring wide(command.begin(), command.end());
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &wide[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    parvex::testing::WaitFor([&] { return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; });
    DWORD attributes = GetFileAttributesW(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

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

TEST_F(DownloadWin, DevicesJunctionsAndSeparatorsKeepEveryWriteInsideTheFolder) {
    parvex::testing::TempDir decoy;
    parvex::testing::WriteAll(decoy.wpath() + L"\\victim.bin", "precious");
    ASSERT_TRUE(MakeFolderLink(save.wpath() + L"\\out", decoy.wpath()));
    std::string body = parvex::testing::Bytes(3000, 12);
    parvex::testing::WriteAll(served + L"\\dev.bin", body);
    parvex::testing::WriteAll(save.wpath() + L"\\keep.bin", "old bytes");
    same.answer = [](SameFileLogic& l) { return ScriptedSamePrompt::Press(l, "o"); };

    const std::vector<std::wstring> hostile = {L"COM1", L"AUX",      L"NUL",       L"nul.txt",  L"sub\\CON",
                                               L"lpt1.log", L"a*b",  L"q?.txt",    L"x:y",      L"trail.",
                                               L"out\\x.bin", L"out\\", L"out/deep\\y.bin"};
    int count = static_cast<int>(hostile.size()) + 4;
    for (auto& name : hostile) state->AddDownloadFile(L"/dev.bin", name, 3000, count);
    state->AddDownloadFile(L"/dev.bin", L"sub/mixed\\ok.bin", 3000, count);
    state->AddDownloadFile(L"/dev.bin", L"made\\", 0, count);
    // An overwrite whose transfer fails keeps the old file; one that
    // completes replaces it.
    state->AddDownloadFile(L"/not here.bin", L"keep.bin", 9, count);
    state->DownloadStart();
    TestDialog& dialog = *factory.last;
    state->StartRun();
    state->WaitRunFinished();

    std::wstring summary;
    for (auto& s : dialog.view.messages.shown)
        if (s.caption == L"Download Complete Infomation") summary = s.text;
    std::wstring expected;
    for (size_t i = 0; i < hostile.size(); ++i)
        expected += FormatText(L"%d. %ls -> 파일생성실패\r\n", static_cast<int>(i), hostile[i].c_str());
    expected += FormatText(L"%d. keep.bin -> 404 not found\r\n", count - 2);
    EXPECT_EQ(summary, expected);
    auto rows = dialog.view.Rows();
    ASSERT_EQ(rows.size(), hostile.size() + 3);
    EXPECT_EQ(rows[hostile.size()].status, L"완 료");
    EXPECT_EQ(rows[hostile.size() + 1].status, L"완 료");
    EXPECT_EQ(parvex::testing::ReadAll(save.wpath() + L"\\sub\\mixed\\ok.bin"), body);
    EXPECT_EQ(GetFileAttributesW((save.wpath() + L"\\made").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(parvex::testing::ReadAll(save.wpath() + L"\\keep.bin"), "old bytes");
    EXPECT_EQ(parvex::testing::ReadAll(decoy.wpath() + L"\\victim.bin"), "precious");
    WIN32_FIND_DATAW data;
    int entries = 0;
    HANDLE h = FindFirstFileW((decoy.wpath() + L"\\*").c_str(), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    do ++entries;
    while (FindNextFileW(h, &data));
    FindClose(h);
    EXPECT_EQ(entries, 3);  // ".", ".." and the victim
    state->CancelOrClose();
    state->WaitSessionClosed();

    state->AddDownloadFile(L"/dev.bin", L"keep.bin", 3000, 1);
    state->DownloadStart();
    state->StartRun();
    state->WaitRunFinished();
    EXPECT_EQ(parvex::testing::ReadAll(save.wpath() + L"\\keep.bin"), body);
    EXPECT_EQ(GetFileAttributesW((save.wpath() + L"\\keep.bin.part").c_str()), INVALID_FILE_ATTRIBUTES);
    state->CancelOrClose();
    state->WaitSessionClosed();
}
