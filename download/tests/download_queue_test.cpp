#include <gtest/gtest.h>

#include <condition_variable>
#include <future>

#include "common/folders.h"
#include "download/download_bridge.h"
#include "common/settings.h"
#include "download/download_state.h"
#include "download_test_support.h"

using namespace parvex;
using namespace parvex::testing;
using namespace parvex::dltest;

namespace {

// A network whose name look-up waits until the test lets it go: a run that
// has started and stays in progress for as long as the test needs. The
// look-up then fails, and every entry with it.
struct HeldNetwork : Network {
    std::mutex m;
    std::condition_variable cv;
    bool released = false;
    bool Resolve(const std::string&, std::vector<NetAddress>&) override {
        std::unique_lock<std::mutex> l(m);
        cv.wait(l, [this] { return released; });
        return false;
    }
    std::unique_ptr<Socket> Connect(const NetAddress&, uint16_t) override { return nullptr; }
    void Release() {
        std::lock_guard<std::mutex> l(m);
        released = true;
        cv.notify_all();
    }
};

struct DownloadQueueTest : ::testing::Test {
    TempDir folder;
    HeldNetwork network;
    MemorySettingsStore store;
    FakeCookieStore cookies;
    RecordingMessageBox controlBoxes;
    TestDialogFactory factory;
    std::unique_ptr<DownloadState> state;

    void SetUp() override {
        store.keyExists = true;
        store.values[L"DownSavePath"] = folder.wpath();
        DownloadPlatform platform;
        platform.engine = TestEngine();
        platform.store = &store;
        platform.cookies = &cookies;
        platform.controlMessages = &controlBoxes;
        platform.dialogFactory = &factory;
        platform.network = &network;
        state = std::make_unique<DownloadState>(platform);
        Settings().downloadHostUrl = L"http://mail.example.com:8080/webmail/down";
    }
    void TearDown() override {
        network.Release();
        state.reset();
        ResetProcessSettings();
        Settings().downloadHostUrl.clear();
    }
    TestDialog& Open() {
        state->DownloadStart();
        return *factory.last;
    }
    void Close() {
        state->CancelOrClose();
        state->WaitSessionClosed();
    }
    std::vector<std::wstring> Names() {
        std::vector<std::wstring> names;
        for (auto& e : state->Entries()) names.push_back(e.fileName);
        return names;
    }
};

}  // namespace

TEST_F(DownloadQueueTest, BatchReportsRefusedDuplicatesOnceAtItsEnd) {
    EXPECT_EQ(state->AddDownloadFile(L"/f/a", L"a.txt", 10, 1), 0);
    EXPECT_TRUE(controlBoxes.shown.empty());

    EXPECT_EQ(state->AddDownloadFile(L"/f/b", L"b.txt", 20, 3), 0);
    EXPECT_EQ(state->AddDownloadFile(L"/f/a2", L"a.txt", 30, 3), -1);
    EXPECT_TRUE(controlBoxes.shown.empty());
    EXPECT_EQ(state->AddDownloadFile(L"/f/c", L"c.txt", 40, 3), 0);
    ASSERT_EQ(controlBoxes.shown.size(), 1u);
    EXPECT_EQ(controlBoxes.shown[0].text, L"a.txt => 동일파일 존재\r\n");
    EXPECT_EQ(controlBoxes.shown[0].caption, L"항목 추가 실패");
    EXPECT_EQ(controlBoxes.shown[0].style, static_cast<unsigned>(MbOk | MbIconWarning));
    EXPECT_EQ(state->Snapshot().addCallCount, 0);
    EXPECT_FALSE(state->Snapshot().addFailed);

    // A clean batch shows nothing; a duplicate as the last call reports itself.
    EXPECT_EQ(state->AddDownloadFile(L"/f/d", L"d.txt", 1, 2), 0);
    EXPECT_EQ(state->AddDownloadFile(L"/f/e", L"e.txt", 1, 2), 0);
    EXPECT_EQ(controlBoxes.shown.size(), 1u);
    EXPECT_EQ(state->AddDownloadFile(L"/f/x", L"b.txt", 1, 2), -1);
    EXPECT_EQ(state->AddDownloadFile(L"/f/y", L"c.txt", 1, 2), -1);
    ASSERT_EQ(controlBoxes.shown.size(), 2u);
    EXPECT_EQ(controlBoxes.shown[1].text, L"b.txt => 동일파일 존재\r\nc.txt => 동일파일 존재\r\n");

    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"a.txt", L"b.txt", L"c.txt", L"d.txt", L"e.txt"}));
    auto entries = state->Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].listIndex, static_cast<int>(i));
        EXPECT_EQ(entries[i].state, DownloadEntry::Waiting);
    }
    EXPECT_EQ(entries[2].urlPath, L"/f/c");
    EXPECT_DOUBLE_EQ(state->TotalBytes(), 10 + 20 + 40 + 1 + 1);

    // A wrong count never reports; the comparison is exact and case-sensitive.
    EXPECT_EQ(state->AddDownloadFile(L"/f/z", L"a.txt", 1, 0), -1);
    EXPECT_EQ(state->AddDownloadFile(L"/f/z", L"A.txt", 1, 0), 0);
    EXPECT_EQ(controlBoxes.shown.size(), 2u);
    EXPECT_EQ(state->Snapshot().addCallCount, 2);
    EXPECT_EQ(state->FindEntryByName(L"A.txt"), -1);
    EXPECT_EQ(state->FindEntryByName(L"a.TXT"), 0);
}

TEST_F(DownloadQueueTest, StartReadsHostPortAndCookieAndOpensOneDialog) {
    cookies.cookies[L"http://mail.example.com:8080/webmail/down"] = L"sid=42; lang=ko";
    state->AddDownloadFile(L"/f/a", L"a.txt", 2048, 1);
    TestDialog& dialog = Open();
    DownloadSnapshot look = state->Snapshot();
    EXPECT_EQ(look.host, L"mail.example.com");
    EXPECT_EQ(look.port, 8080);
    EXPECT_EQ(look.cookie, L"sid=42; lang=ko");
    EXPECT_EQ(dialog.view.Caption(), L"Tamsel Download");
    EXPECT_EQ(dialog.view.Text(IdcDnSaveFolderEdit), folder.wpath());
    EXPECT_EQ(dialog.view.Text(IdcDnTotalSizeLabel), L" / 2.00KB");
    EXPECT_EQ(dialog.view.Text(IdcDnCancelButton), L"전송취소");
    ASSERT_EQ(dialog.view.Rows().size(), 1u);
    EXPECT_EQ(dialog.view.Rows()[0].status, L"대 기");
    EXPECT_EQ(state->Snapshot().entryCount, 1);

    state->DownloadStart();
    EXPECT_EQ(factory.created, 1);
    Close();
    EXPECT_TRUE(dialog.closed);

    // Without a port and without cookies.
    Settings().downloadHostUrl = L"http://files.example.org/";
    Settings().downloadTitle = L"받기";
    TestDialog& second = Open();
    EXPECT_EQ(factory.created, 2);
    look = state->Snapshot();
    EXPECT_EQ(look.host, L"files.example.org");
    EXPECT_EQ(look.port, 80);
    EXPECT_EQ(look.cookie, L"");
    EXPECT_EQ(second.view.Caption(), L"받기");
    Close();
}

TEST_F(DownloadQueueTest, AddingWhileIdleAppendsRowsAndRefusesDuplicates) {
    state->AddDownloadFile(L"/f/a", L"a.txt", 1, 2);
    state->AddDownloadFile(L"/f/b", L"b.txt", 1, 2);
    TestDialog& dialog = Open();
    dialog.view.SetRowStatus(0, L"완 료");

    EXPECT_EQ(state->AddDownloadFile(L"/f/a", L"a.txt", 1, 1), -1);
    EXPECT_EQ(Names().size(), 2u);
    EXPECT_TRUE(controlBoxes.shown.empty());
    EXPECT_EQ(state->Snapshot().addCallCount, 0);

    // Appended after the rows shown, which keep what they say.
    EXPECT_EQ(state->AddDownloadFile(L"/f/c", L"c.txt", 1024, 1), 0);
    auto rows = dialog.view.Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].status, L"완 료");
    EXPECT_EQ(rows[1].status, L"대 기");
    EXPECT_EQ(rows[2].status, L"대 기");
    EXPECT_EQ(rows[2].name, L"c.txt");
    EXPECT_EQ(state->Snapshot().entryCount, 3);
    EXPECT_EQ(dialog.view.Text(IdcDnTotalSizeLabel), L" / 1.00KB");
    Close();
}

TEST_F(DownloadQueueTest, DeletingSelectedRowsRenumbersAndKeepsFinishedOnes) {
    for (int i = 0; i < 5; ++i)
        state->AddDownloadFile(L"/f/" + std::to_wstring(i), L"n" + std::to_wstring(i), 100.0 * (i + 1), 5);
    TestDialog& dialog = Open();
    dialog.view.Select({1, 3});
    state->DeleteButton(dialog.view);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"n0", L"n2", L"n4"}));
    auto entries = state->Entries();
    for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].listIndex, static_cast<int>(i));
    EXPECT_DOUBLE_EQ(state->TotalBytes(), 1500 - 200 - 400);
    EXPECT_EQ(state->Snapshot().entryCount, 3);
    auto rows = dialog.view.Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].name, L"n2");

    // Finished rows stay; nothing else changes.
    state->SetAllStates(DownloadEntry::Done);
    dialog.view.Select({0, 2});
    EXPECT_EQ(state->DeleteSelectedEntries(dialog.view, 0), 0);
    EXPECT_EQ(Names().size(), 3u);
    EXPECT_EQ(dialog.view.Rows().size(), 3u);

    // No selection: the button does nothing.
    dialog.view.Select({});
    state->DeleteButton(dialog.view);
    EXPECT_EQ(Names().size(), 3u);

    // A deleted name may be queued again; a kept one may not.
    EXPECT_EQ(state->AddDownloadFile(L"/f/1", L"n1", 1, 1), 0);
    EXPECT_EQ(state->AddDownloadFile(L"/f/2", L"n2", 1, 1), -1);
    Close();
}

TEST_F(DownloadQueueTest, MergeAppendsPendingEntriesAsNewRows) {
    state->AddDownloadFile(L"/f/a", L"a.txt", 1, 1);
    TestDialog& dialog = Open();
    // What a run in progress does with additions.
    state->StartRun();
    EXPECT_EQ(state->AddDownloadFile(L"/f/b", L"b.txt", 5, 1), 0);
    EXPECT_EQ(state->AddDownloadFile(L"/f/c", L"c.txt", 6, 1), 0);
    EXPECT_TRUE(state->Snapshot().pendingAdded);
    EXPECT_EQ(Names().size(), 1u);
    EXPECT_EQ(state->PendingEntries().size(), 2u);
    EXPECT_DOUBLE_EQ(state->TotalBytes(), 12);
    EXPECT_EQ(dialog.view.Rows().size(), 1u);

    dialog.view.SetText(IdcDnDoneBytesLabel, L"1.00KB");
    state->MergePendingEntries(dialog.view);
    EXPECT_FALSE(state->Snapshot().pendingAdded);
    EXPECT_TRUE(state->PendingEntries().empty());
    auto entries = state->Entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2].fileName, L"c.txt");
    EXPECT_EQ(entries[2].listIndex, 2);
    EXPECT_EQ(state->Snapshot().entryCount, 3);
    auto rows = dialog.view.Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].name, L"b.txt");
    EXPECT_EQ(rows[1].status, L"대 기");
    // The run's byte count is not reset by a merge.
    EXPECT_EQ(dialog.view.Text(IdcDnDoneBytesLabel), L"1.00KB");
    network.Release();
    state->WaitRunFinished();
    Close();
}

TEST_F(DownloadQueueTest, ClosingEmptiesTheQueueAndTheNextStartOpensAFreshDialog) {
    state->AddDownloadFile(L"/f/a", L"a.txt", 1, 1);
    TestDialog& dialog = Open();
    Close();
    EXPECT_TRUE(dialog.closed);
    EXPECT_EQ(state->Dialog(), nullptr);
    EXPECT_TRUE(state->Entries().empty());
    EXPECT_DOUBLE_EQ(state->TotalBytes(), 0);
    EXPECT_FALSE(state->Snapshot().open);

    // Queued after the close, a name of the closed queue among them: the
    // next dialog shows only that.
    EXPECT_EQ(state->AddDownloadFile(L"/f/a", L"a.txt", 1, 2), 0);
    state->AddDownloadFile(L"/f/b", L"b.txt", 1, 2);
    TestDialog& next = Open();
    ASSERT_EQ(next.view.Rows().size(), 2u);
    EXPECT_EQ(next.view.Rows()[1].name, L"b.txt");
    Close();
}

TEST_F(DownloadQueueTest, SaveFolderFallsBackAndFollowsTheChooser) {
    struct Chooser : FolderChooser {
        std::wstring answer;
        bool Choose(std::wstring& folder) override {
            folder = answer;
            return !answer.empty();
        }
    } chooser;
    TempDir docs, chosen;
    std::wstring docsPath = docs.wpath();
    InitDefaultFolder([docsPath](std::wstring& f) {
        f = docsPath;
        return true;
    });
    // A stored folder that is gone: the default is shown and stored again.
    store.values[L"DownSavePath"] = folder.wpath() + L"\\gone";
    DownloadPlatform platform;
    platform.engine = TestEngine();
    platform.store = &store;
    platform.dialogFactory = &factory;
    platform.folderChooser = &chooser;
    state = std::make_unique<DownloadState>(platform);
    TestDialog& dialog = Open();
    EXPECT_EQ(dialog.view.Text(IdcDnSaveFolderEdit), docsPath);
    EXPECT_EQ(store.values[L"DownSavePath"], docsPath);

    chooser.answer = chosen.wpath();
    state->ChangeFolder(dialog.view);
    EXPECT_EQ(state->SaveFolder(), chosen.wpath());
    EXPECT_EQ(dialog.view.Text(IdcDnSaveFolderEdit), chosen.wpath());
    EXPECT_EQ(store.values[L"DownSavePath"], chosen.wpath());

    // Cancelled: the stored folder again, the edit untouched.
    store.values[L"DownSavePath"] = folder.wpath();
    chooser.answer.clear();
    state->ChangeFolder(dialog.view);
    EXPECT_EQ(state->SaveFolder(), folder.wpath());
    EXPECT_EQ(dialog.view.Text(IdcDnSaveFolderEdit), chosen.wpath());
    Close();

    // No key and no way to create one: every dialog starts in the default.
    MemorySettingsStore locked;
    locked.createFails = true;
    platform.store = &locked;
    state = std::make_unique<DownloadState>(platform);
    EXPECT_EQ(Open().view.Text(IdcDnSaveFolderEdit), docsPath);
    Close();
    InitDefaultFolder(PlatformDocumentsFolder);
}

TEST_F(DownloadQueueTest, NewControlsResetTheBatchButKeepTheQueue) {
    EXPECT_EQ(state->AddDownloadFile(L"/f/a", L"a.txt", 100, 3), 0);
    EXPECT_EQ(state->AddDownloadFile(L"/f/a", L"a.txt", 100, 3), -1);
    TestDialog& dialog = Open();
    state->StartRun();
    EXPECT_EQ(state->AddDownloadFile(L"/f/b", L"b.txt", 50, 1), 0);
    ASSERT_TRUE(state->Snapshot().pendingAdded);

    // Another control is made on the page while the run goes on.
    state->ResetOnControlConstruction();
    DownloadSnapshot look = state->Snapshot();
    EXPECT_EQ(look.addCallCount, 0);
    EXPECT_FALSE(look.addFailed);
    EXPECT_TRUE(look.addFailureText.empty());
    // The waiting addition is still merged and counted in the total.
    EXPECT_TRUE(look.pendingAdded);
    EXPECT_DOUBLE_EQ(state->TotalBytes(), 150);
    state->MergePendingEntries(dialog.view);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"a.txt", L"b.txt"}));
    network.Release();
    state->WaitRunFinished();
    Close();

    // With nothing queued everything starts from zero.
    state->ResetOnControlConstruction();
    EXPECT_FALSE(state->Snapshot().pendingAdded);
    EXPECT_DOUBLE_EQ(state->TotalBytes(), 0);
}

TEST_F(DownloadQueueTest, StartAfterCloseStartsNoRun) {
    state->AddDownloadFile(L"/f/a", L"a.txt", 1, 1);
    TestDialog& dialog = Open();
    // Close, then start before the watcher has torn the session down.
    state->CancelOrClose();
    state->StartRun();
    EXPECT_FALSE(state->Snapshot().running);
    EXPECT_TRUE(dialog.view.Enabled(IdcDnStartButton));
    state->WaitSessionClosed();
    EXPECT_TRUE(dialog.closed);
    EXPECT_TRUE(state->Entries().empty());
}

// The dialog's window lives on the page's thread: closing it waits for that
// thread. A start the page makes meanwhile must not wait for the closing.
TEST_F(DownloadQueueTest, StartDuringTheCloseDoesNotWaitForIt) {
    struct PageThreadDialog : TestDialog {
        std::mutex m;
        std::condition_variable cv;
        bool closing = false, pageFree = false;
        void SendClose() override {
            std::unique_lock<std::mutex> l(m);
            closing = true;
            cv.notify_all();
            cv.wait(l, [this] { return pageFree; });
            closed = true;
        }
    };
    struct Factory : DownloadDialogFactory {
        std::shared_ptr<PageThreadDialog> last;
        std::shared_ptr<DownloadDialog> Create(DownloadDialogCalls&) override { return last = std::make_shared<PageThreadDialog>(); }
    } closingFactory;
    DownloadPlatform platform;
    platform.engine = TestEngine();
    platform.store = &store;
    platform.dialogFactory = &closingFactory;
    state = std::make_unique<DownloadState>(platform);
    state->AddDownloadFile(L"/f/a", L"a.txt", 1, 1);
    state->DownloadStart();
    auto dialog = closingFactory.last;
    state->CancelOrClose();
    {
        std::unique_lock<std::mutex> l(dialog->m);
        dialog->cv.wait(l, [&] { return dialog->closing; });
    }
    auto start = std::async(std::launch::async, [&] { state->DownloadStart(); });
    bool returned = start.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    {
        std::lock_guard<std::mutex> l(dialog->m);
        dialog->pageFree = true;
        dialog->cv.notify_all();
    }
    start.wait();
    EXPECT_TRUE(returned);
    state->WaitSessionClosed();
    EXPECT_TRUE(dialog->closed);
    EXPECT_EQ(state->Dialog(), nullptr);
}

TEST(DownloadBridgeTest, ControlMethodsReachTheProcessQueue) {
    // The process queue outlives the test: a fresh name for every repetition.
    static int repetition = 0;
    const std::wstring name = L"bridge-only-" + std::to_wstring(++repetition) + L".txt";
    EXPECT_EQ(DownloadAddFile(L"/f/bridge", name, 3, 0), 0);
    EXPECT_EQ(DownloadAddFile(L"/f/bridge", name, 3, 0), -1);
    EXPECT_EQ(ProcessDownloadState().FindEntryByName(name), -1);
    Settings().downloadHostUrl = L"http://bridge.example:81/";
    // No dialog can be made here; the start still fixes host and port.
    DownloadStartSession();
    EXPECT_EQ(ProcessDownloadState().Snapshot().host, L"bridge.example");
    EXPECT_EQ(ProcessDownloadState().Snapshot().port, 81);
    EXPECT_EQ(ProcessDownloadState().Dialog(), nullptr);
    Settings().downloadHostUrl.clear();
}
