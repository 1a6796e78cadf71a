// UploadStart of the control on the real platform: WinSock to the reference
// mail server that the test command starts on loopback, the progress dialog
// and the prompts as real dialogs, answered from a test thread.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "control/com_module_win.h"
#include "common/settings.h"
#include "control/upload_bridge.h"
#include "control/upload_list_win.h"
#include "tests/support/fakes.h"
#include "tests/support/test_data.h"
#include "tests/win/dialog_driver_win.h"
#include "tests/win/ocx_win.h"
#include "tests/win/screenshot_win.h"
#include "tests/win/test_server_win.h"

using namespace parvex;
using parvex::testing::ClickNow;
using parvex::testing::DialogAnswerer;
using parvex::testing::ItemText;
using parvex::testing::PressButton;
using parvex::testing::RowText;
using parvex::testing::SaveScreenshot;

namespace {

const wchar_t kTitle[] = L"Tamsel Upload";
const wchar_t kRerun[] = L"* 업로드에 실패한 항목을 재업로드 중입니다.";

// Waits up to ten seconds for a condition another thread brings about.
template <class Condition>
bool WaitUntil(Condition condition) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > 10000) return false;
        Sleep(10);
    }
    return true;
}

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
    bool IsStored(const std::wstring& name) { return GetFileAttributesW((store + L"\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES; }

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

TEST_F(UploadStartWin, FailingServerGivesThreeRerunDialogsThenAsks) {
    // The server drops every upload after a few bytes, slowly enough that
    // each run's dialog can be seen.
    parvex::testing::ServerGet("/__fault?close_after=6000&rate=20000&target=upload");
    Settings().uploadUrl = Url(L"/upload");
    AddFile(L"never.bin", std::string(65536, 'n'));
    std::vector<std::wstring> statusLines;
    std::wstring question;
    DialogAnswerer answerer({{kTitle, [&](HWND d) { statusLines.push_back(ItemText(d, 267)); }},
                             {L"Warning", [&](HWND box) {
                                  for (const std::wstring& text : parvex::testing::ChildTexts(box)) question += text;
                                  PressButton(box, IDNO);
                              }}});
    EXPECT_EQ(ControlUploadStart(0, *model, nullptr), 0);
    answerer.Stop();
    EXPECT_EQ(statusLines, (std::vector<std::wstring>{L"", kRerun, kRerun, kRerun}));
    EXPECT_EQ(answerer.Count(L"Warning"), 1);
    EXPECT_NE(question.find(L"업로드에 실패한 항목이 있습니다."), std::wstring::npos);
    EXPECT_NE(question.find(L"never.bin"), std::wstring::npos);
    EXPECT_EQ(model->TotalUploadCount(), 0);
}

TEST_F(UploadStartWin, ProgressDialogShowsTheTransferModalToThePageAndIgnoresKeys) {
    // Large and slow enough that the loopback's buffers cannot swallow it
    // and the counters are refreshed on the way.
    parvex::testing::ServerGet("/__fault?rate=4000000&target=upload");
    Settings().uploadUrl = Url(L"/upload");
    Settings().uploadTitle = L"첨부 올리기";
    std::string big = parvex::testing::Bytes(16 << 20, 31);
    AddFile(L"진행 큰파일.bin", big);
    AddFile(L"progress-small.txt", "small");
    PageWindows page;
    std::wstring firstRow, secondStatus, speed;
    bool sending = false, modalToPage = false;
    DialogAnswerer answerer({{L"첨부 올리기", [&](HWND d) {
        HWND list = GetDlgItem(d, 207);
        sending = WaitUntil([&] { return RowText(list, 0, 1) == L"전송중"; });
        firstRow = RowText(list, 0, 0);
        secondStatus = RowText(list, 1, 1);
        modalToPage = GetWindow(d, GW_OWNER) == page.top && !IsWindowEnabled(page.top);
        WaitUntil([&] { return !IsWindow(d) || ItemText(d, 208) != L"계산중"; });
        speed = ItemText(d, 208);
        SaveScreenshot(d, L"upload-progress");
        // On a real dialog Enter would press the focused cancel button and
        // Escape would cancel.
        HWND button = GetDlgItem(d, 213);
        SetFocus(button);
        PostMessageW(button, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageW(button, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(d, WM_KEYDOWN, VK_ESCAPE, 0);
    }}});
    EXPECT_EQ(ControlUploadStart(0, *model, page.control), 1);
    answerer.Stop();
    EXPECT_TRUE(sending);
    EXPECT_EQ(firstRow, L"진행 큰파일.bin");
    EXPECT_EQ(secondStatus, L"대기");
    EXPECT_TRUE(modalToPage);
    EXPECT_NE(speed.find(L"B"), std::wstring::npos) << "speed: " << std::string(speed.begin(), speed.end());
    EXPECT_TRUE(IsWindowEnabled(page.top));
    EXPECT_EQ(Stored(L"진행 큰파일.bin"), big);
    EXPECT_EQ(Stored(L"progress-small.txt"), "small");
    EXPECT_EQ(model->TotalUploadCount(), 0);
}

TEST_F(UploadStartWin, CancelButtonAndCloseBoxStopTheRunAtTheNextBlock) {
    parvex::testing::ServerGet("/__fault?rate=200000&target=upload");
    Settings().uploadUrl = Url(L"/upload");
    for (bool closeBox : {false, true}) {
        std::wstring suffix = closeBox ? L"-box" : L"-button";
        AddFile(L"cancelled" + suffix + L".bin", std::string(1 << 20, 'c'));
        AddFile(L"after" + suffix + L".txt", "never sent");
        std::wstring statusLine, notice;
        bool stillOpen = false;
        DialogAnswerer answerer({{kTitle, [&](HWND d) {
                                      WaitUntil([&] { return RowText(GetDlgItem(d, 207), 0, 1) == L"전송중"; });
                                      if (closeBox)
                                          SendMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0);
                                      else
                                          ClickNow(d, 213);
                                      statusLine = ItemText(d, 267);
                                      stillOpen = IsWindowVisible(d) != FALSE;
                                  }},
                                 {L"알림", [&](HWND box) {
                                      for (const std::wstring& text : parvex::testing::ChildTexts(box)) notice += text;
                                      PressButton(box, IDOK);
                                  }}});
        EXPECT_EQ(ControlUploadStart(0, *model, nullptr), 0);
        answerer.Stop();
        EXPECT_EQ(statusLine, closeBox ? L"" : L"* 업로드 취소중입니다.");
        EXPECT_TRUE(stillOpen);
        EXPECT_NE(notice.find(L"업로드가 취소되었습니다."), std::wstring::npos);
        EXPECT_FALSE(IsStored(L"after" + suffix + L".txt"));
        EXPECT_EQ(model->TotalUploadCount(), 0);
    }
}

TEST_F(UploadStartWin, SameNamePromptOverwritesRenamesAndSkipsOneOrAll) {
    Settings().uploadUrl = Url(L"/upload");
    Settings().existUrl = Url(L"/exists");
    parvex::testing::WriteAll(store + L"\\same.txt", "on the server");
    const std::wstring other = L"다른 이름.txt";
    auto run = [&](std::map<std::wstring, DialogAnswerer::Handler> handlers, int* prompts = nullptr) {
        DialogAnswerer answerer(std::move(handlers));
        int result = ControlUploadStart(0, *model, nullptr);
        answerer.Stop();
        if (prompts) *prompts = answerer.Count(L"Upload Same File");
        return result;
    };

    // Overwrite, with the check box's hold on the rename button on the way.
    AddFile(L"same.txt", "fresh bytes");
    std::wstring name, size;
    bool renameOffWhenAll = false, renameOnAgain = false;
    EXPECT_EQ(run({{L"Upload Same File", [&](HWND d) {
                  name = ItemText(d, 250);
                  size = ItemText(d, 251);
                  ClickNow(d, 252);
                  renameOffWhenAll = !IsWindowEnabled(GetDlgItem(d, 254));
                  ClickNow(d, 252);
                  renameOnAgain = IsWindowEnabled(GetDlgItem(d, 254)) != FALSE;
                  SaveScreenshot(d, L"upload-same-file");
                  PressButton(d, 253);
              }}}),
              1);
    EXPECT_EQ(name, L"same.txt");
    EXPECT_EQ(size, L"11");
    EXPECT_TRUE(renameOffWhenAll);
    EXPECT_TRUE(renameOnAgain);
    EXPECT_EQ(Stored(L"same.txt"), "fresh bytes");

    // Rename to a free name: the file goes up under it.
    AddFile(L"same.txt", "renamed bytes");
    std::wstring proposal;
    EXPECT_EQ(run({{L"Upload Same File", [&](HWND d) { PressButton(d, 254); }},
                   {L"Change Filename", [&](HWND d) {
                        proposal = ItemText(d, 242);
                        SaveScreenshot(d, L"change-filename");
                        SetDlgItemTextW(d, 242, other.c_str());
                        PressButton(d, IDOK);
                    }}}),
              1);
    EXPECT_EQ(proposal, L"same.txt");
    EXPECT_EQ(Stored(other), "renamed bytes");
    EXPECT_EQ(Stored(L"same.txt"), "fresh bytes");

    // Rename to a taken name: the prompt comes back with it; then skip.
    AddFile(L"same.txt", "third bytes");
    std::vector<std::wstring> asked;
    int prompts = 0;
    EXPECT_EQ(run({{L"Upload Same File", [&](HWND d) {
                        asked.push_back(ItemText(d, 250));
                        PressButton(d, asked.size() == 1 ? 254 : 255);
                    }},
                   {L"Change Filename", [&](HWND d) {
                        SetDlgItemTextW(d, 242, other.c_str());
                        PressButton(d, IDOK);
                    }}},
                  &prompts),
              1);
    EXPECT_EQ(asked, (std::vector<std::wstring>{L"same.txt", other}));
    EXPECT_EQ(Stored(other), "renamed bytes");
    EXPECT_EQ(Stored(L"same.txt"), "fresh bytes");

    // "For all": one answer serves every later existing name of the run.
    for (int choice : {255, 253}) {
        AddFile(L"same.txt", "all " + std::to_string(choice));
        AddFile(other, "all " + std::to_string(choice));
        EXPECT_EQ(run({{L"Upload Same File", [&](HWND d) {
                           ClickNow(d, 252);
                           PressButton(d, choice);
                       }}},
                      &prompts),
                  1);
        EXPECT_EQ(prompts, 1) << choice;
        std::string expected = choice == 253 ? "all 253" : "fresh bytes";
        EXPECT_EQ(Stored(L"same.txt"), expected) << choice;
        EXPECT_EQ(Stored(other), choice == 253 ? "all 253" : "renamed bytes") << choice;
    }
    EXPECT_EQ(model->TotalUploadCount(), 0);
}

TEST_F(UploadStartWin, MissingFileIsSkippedOrCancelsTheUpload) {
    Settings().uploadUrl = Url(L"/upload");
    for (bool cancel : {false, true}) {
        std::wstring suffix = cancel ? L"-cancel" : L"-skip";
        std::wstring gone = AddFile(L"gone" + suffix + L".txt", "gone");
        AddFile(L"kept" + suffix + L".txt", "kept");
        DeleteFileW(gone.c_str());
        std::wstring shown;
        DialogAnswerer answerer({{L"File Process", [&](HWND d) {
                                      shown = ItemText(d, 263);
                                      if (!cancel) SaveScreenshot(d, L"file-not-found");
                                      PressButton(d, cancel ? IDCANCEL : IDOK);
                                  }},
                                 {L"알림", [&](HWND box) { PressButton(box, IDOK); }}});
        EXPECT_EQ(ControlUploadStart(0, *model, nullptr), cancel ? 0 : 1);
        answerer.Stop();
        EXPECT_EQ(shown, L"gone" + suffix + L".txt");
        EXPECT_EQ(answerer.Count(L"알림"), cancel ? 1 : 0);
        EXPECT_EQ(IsStored(L"kept" + suffix + L".txt"), !cancel);
        EXPECT_FALSE(IsStored(L"gone" + suffix + L".txt"));
    }
}
