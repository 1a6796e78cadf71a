#include <gtest/gtest.h>

#include "upload/upload_list_access.h"
#include "upload_test_support.h"
#include "uploadlist/upload_list.h"

using namespace parvex;
using namespace parvex::testing;

namespace {

const std::wstring kRerun = L"* 업로드에 실패한 항목을 재업로드 중입니다.";

}  // namespace

TEST(UploadStartRetry, ThreeRerunsThenTheQuestion) {
    MailServerProcess server;
    RefusingPort refusing;
    std::wstring dead = refusing.UploadUrl();
    for (bool yesOnce : {false, true}) {
        SCOPED_TRACE(yesOnce);
        UploadHarness h(server);
        h.settings.uploadUrl = dead;
        h.Add(L"gone.txt", "skipped, not failed");
        h.Add(L"실패.txt", "never");
        std::filesystem::remove(h.dir.path() / "gone.txt");
        if (yesOnce) h.controlBoxes.answers = {IdYes, IdNo};
        EXPECT_EQ(h.Start(), 0);
        int runs = yesOnce ? 7 : 4;
        ASSERT_EQ(h.view.runs(), runs);
        auto lines = h.view.statusLines();
        EXPECT_EQ(lines[0], L"");
        for (int i = 1; i < runs; ++i) EXPECT_EQ(lines[i], kRerun);
        auto names = h.view.runNames();
        EXPECT_EQ(names[0].size(), 2u);
        for (int i = 1; i < runs; ++i) EXPECT_EQ(names[i], std::vector<std::wstring>{L"실패.txt"});
        ASSERT_EQ(h.controlBoxes.Count(), yesOnce ? 2u : 1u);
        for (auto& b : h.controlBoxes.shown) {
            EXPECT_EQ(b.text, L"업로드에 실패한 항목이 있습니다.\r\n재시도 하시겠습니까?\r\n\r\n실패.txt\r\n");
            EXPECT_EQ(b.caption, L"Warning");
            EXPECT_EQ(b.style, unsigned(MbYesNo));
        }
        EXPECT_TRUE(h.list.entries.empty());
        EXPECT_EQ(h.list.clears, 1);
        EXPECT_FALSE(UploadRunInProgress());
    }
}

TEST(UploadStartRetry, CancelInARerunEndsWithTheMessage) {
    MailServerProcess server;
    RefusingPort refusing;
    UploadHarness h(server);
    h.settings.uploadUrl = refusing.UploadUrl();
    h.Add(L"a.txt", "A");
    // The second re-run is the third run; its cancel comes right after it opens.
    int opened = 0;
    h.view.onText = [&](int id, const std::wstring&) {
        if (id == IdcUpRunTotal && ++opened == 3) CancelUploadRun();
    };
    EXPECT_EQ(h.Start(), 0);
    EXPECT_EQ(h.view.runs(), 3);
    ASSERT_EQ(h.controlBoxes.Count(), 1u);
    EXPECT_EQ(h.controlBoxes.shown[0].text, L"업로드가 취소되었습니다.");
    EXPECT_EQ(h.controlBoxes.shown[0].caption, L"알림");
    EXPECT_EQ(h.controlBoxes.shown[0].style, unsigned(MbOk));
    EXPECT_EQ(h.network.connects, 3 + 3);  // none once the cancel is set
}

TEST(UploadStartRetry, FailedThenAcceptedAndEmptyList) {
    MailServerProcess server;
    {
        UploadHarness h(server);
        h.cookies.cookies[h.settings.uploadUrl] = L"k=v";
        server.Get("/__fault?close_after=0&count=2");
        h.Add(L"a.txt", "A");
        h.Add(L"b.txt", "B");
        h.Add(L"c.txt", "C");
        EXPECT_EQ(h.Start(), 1);
        ASSERT_EQ(h.view.runs(), 2);
        EXPECT_EQ(h.view.logs()[0], L"[a.txt] => [네트워크 에러]\r\n[b.txt] => [네트워크 에러]\r\n");
        EXPECT_EQ(h.view.finalRows()[0], (std::vector<std::wstring>{L"실 패", L"실 패", L"완 료"}));
        EXPECT_EQ(h.view.runNames()[1], (std::vector<std::wstring>{L"a.txt", L"b.txt"}));
        // The re-run's total is the failed files' bytes.
        EXPECT_EQ(h.view.TextsOf(IdcUpRunTotal)[1], L"/ " + FormatSize(2));
        EXPECT_EQ(h.Stored("a.txt"), "A");
        // The cookie is fetched once and serves the re-run too.
        EXPECT_EQ(h.cookies.calls, 1);
        for (int i = 1; i <= server.RecordedCount(); ++i)
            EXPECT_NE(server.Recorded(i).find("\r\nCookie: k=v\r\n\r\n"), std::string::npos);
        EXPECT_EQ(h.controlBoxes.Count(), 0u);
    }
    {
        UploadHarness h(server);
        EXPECT_EQ(h.Start(), 1);
        EXPECT_EQ(h.view.runs(), 1);
        EXPECT_EQ(h.view.closes(), 1);
        EXPECT_EQ(h.list.clears, 1);
    }
}

// The page's timers call every getter while the worker renames a file and
// uploads: they read the list as it was when the upload began, and only the
// end of the upload empties it. Under ThreadSanitizer nothing the page reads
// is written by the worker.
TEST(UploadStartList, PageReadsTheListAsItWasDuringTheRun) {
    MailServerProcess server;
    UploadHarness h(server);
    h.settings.existUrl = L"http://elsewhere.example:9/exists";
    std::ofstream(server.storeDir() + "/taken.txt") << "old";
    std::ofstream(server.storeDir() + "/also.txt") << "old";
    UploadListModel model{UploadListHost()};
    model.SetLimitUploadSize(10);
    std::vector<std::wstring> paths;
    for (const char* name : {"taken.txt", "also.txt", "plain.txt"})
        paths.push_back(FromUtf8(h.dir.Write(name, std::string("bytes of ") + name).string()));
    model.AddDroppedItems(paths);
    ASSERT_EQ(model.TotalUploadCount(), 3);
    const std::wstring listed = model.GetUpFileInfo();
    const std::wstring linkList = model.LinkListText();
    const double total = model.GetTotalUpSize();

    std::atomic<int> reads{0};
    int changed = 0;
    // The page's thread runs its timers while the worker runs.
    ThreadedUploadRunHost loop(h.view, [&] {
        if (model.GetUpFileInfo() != listed || model.LinkListText() != linkList || model.TotalUploadCount() != 3 ||
            model.GetTotalUpSize() != total || model.GetSmallTotalSize() != total || model.GetBigTotalSize() != 0)
            ++changed;
        ++reads;
    });
    // taken.txt is renamed; while the prompt for also.txt is open, after the
    // rename, the page reads the list a few more times.
    h.prompts.same = {
        {IdOk, UploadSameRename, L"free.txt", false, nullptr},
        {IdOk, UploadSameOverwrite, L"", false,
         [&] {
             int seen = reads;
             EXPECT_TRUE(WaitFor([&] { return reads > seen + 2; }));
         }},
    };
    ModelUploadList access(model);
    EXPECT_EQ(h.StartWith(access, loop), 1);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(h.Stored("free.txt"), "bytes of taken.txt");
    EXPECT_EQ(h.Stored("also.txt"), "bytes of also.txt");
    EXPECT_EQ(model.TotalUploadCount(), 0);
    EXPECT_EQ(model.GetUpFileInfo(), L"");
    EXPECT_FALSE(UploadRunInProgress());
}
