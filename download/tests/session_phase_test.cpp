// The download session's phases, driven through the three interfaces from
// three threads: the page's (additions, the start of the dialog), the
// dialog's (start, close) and the worker's (a run made by hand). Run under
// ThreadSanitizer, which must report nothing.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "common/settings.h"
#include "common/trace.h"
#include "download_test_support.h"
#include "tests/support/trace_lines.h"

using namespace parvex;
using namespace parvex::dltest;

namespace {

// One thread that runs what it is handed, in order; Do returns once it ran.
class Actor {
public:
    Actor() : thread_([this] { Loop(); }) {}
    ~Actor() {
        Post(nullptr);
        thread_.join();
    }
    void Do(std::function<void()> task) {
        std::packaged_task<void()> done(std::move(task));
        std::future<void> finished = done.get_future();
        Post([&done] { done(); });
        finished.get();
    }

private:
    void Post(std::function<void()> task) {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
        posted_.notify_one();
    }
    void Loop() {
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex_);
            posted_.wait(lock, [this] { return !tasks_.empty(); });
            std::function<void()> task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            if (!task) return;
            task();
        }
    }
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
    std::thread thread_;
};

// A run made through the worker's calls alone: it holds at its gate until
// the test opens it, then merges what the page added meanwhile and counts
// every entry done.
class GatedEngine : public DownloadEngine {
public:
    void Run(DownloadWorkerCalls& queue, DownloadSession& session) override {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ++entered_;
            changed_.notify_all();
            changed_.wait(lock, [this] { return opened_ >= entered_; });
        }
        queue.MergeIfPending(session);
        for (int row = 0; row < queue.EntryCount(session); ++row) {
            DownloadEntryPtr entry = queue.EntryAt(session, row);
            if (!entry || queue.StateOf(*entry) != DownloadEntry::Waiting) continue;
            queue.SetEntryState(*entry, DownloadEntry::Done);
            queue.AddDoneBytes(session, entry->size);
        }
        queue.EndRun(session);
        queue.FinishRun(session);
    }
    // Waits until run number n holds at the gate, then lets it through.
    void Pass(int n) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return entered_ >= n; });
        opened_ = n;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int entered_ = 0;  // runs that reached the gate
    int opened_ = 0;   // runs let through
};

struct SessionPhaseTest : ::testing::Test, DownloadTestRig {
    parvex::testing::TempDir folder;
    GatedEngine engine;
    parvex::testing::TraceLines changes{SetChangeTraceSink};
    Actor pageThread, dialogThread;

    void SetUp() override {
        StoreSaveFolder(folder.wpath());
        Settings().downloadHostUrl = L"http://mail.example.com/";
        DownloadPlatform platform;
        platform.engine = &engine;
        platform.store = &store;
        platform.dialogFactory = &factory;
        state = std::make_unique<DownloadState>(platform);
    }
    void TearDown() override {
        state.reset();
        ResetProcessSettings();
        Settings().downloadHostUrl.clear();
    }
    DownloadPageCalls& Page() { return *state; }
    DownloadDialogCalls& Dialog() { return *state; }
};

TEST_F(SessionPhaseTest, PageDialogAndWorkerEachMoveThePhaseTheirWayAndEveryChangeIsTraced) {
    pageThread.Do([&] {
        Page().AddDownloadFile(L"/a.bin", L"a.bin", 10, 1);
        Page().DownloadStart();
    });
    ASSERT_TRUE(state->Snapshot().open);
    const DownloadDialog* dialog = factory.last.get();

    // A run holds at its gate: the page's addition waits to be merged.
    dialogThread.Do([&] { Dialog().StartRun(dialog); });
    EXPECT_TRUE(state->Snapshot().running);
    pageThread.Do([&] { Page().AddDownloadFile(L"/b.bin", L"b.bin", 5, 1); });
    EXPECT_EQ(state->PendingEntries().size(), 1u);
    // Pressed again while it runs: no second run.
    dialogThread.Do([&] { Dialog().StartRun(dialog); });
    engine.Pass(1);
    state->WaitRunFinished();
    DownloadSnapshot after = state->Snapshot();
    EXPECT_FALSE(after.running);
    EXPECT_EQ(after.doneBytes, 15);
    std::vector<DownloadEntry> entries = state->Entries();
    ASSERT_EQ(entries.size(), 2u);
    for (const DownloadEntry& e : entries) EXPECT_EQ(e.state, DownloadEntry::Done) << e.fileName;

    // A second run of the same dialog, on the same worker, then the close.
    dialogThread.Do([&] { Dialog().StartRun(dialog); });
    engine.Pass(2);
    state->WaitRunFinished();
    dialogThread.Do([&] { Dialog().CancelOrClose(dialog); });
    state->WaitSessionClosed();
    EXPECT_TRUE(factory.last->closed);

    const std::vector<std::wstring> run = {L"parvex: download session: open -> running",
                                           L"parvex: download session: running -> finishing",
                                           L"parvex: download session: finishing -> open"};
    std::vector<std::wstring> expected = run;
    expected.insert(expected.end(), run.begin(), run.end());
    expected.push_back(L"parvex: download session: open -> closing");
    expected.push_back(L"parvex: download session: closing -> ended");
    EXPECT_EQ(changes.Lines(), expected);
}

TEST_F(SessionPhaseTest, AWindowGoneDuringARunEndsTheSessionThroughTheSignals) {
    pageThread.Do([&] {
        Page().AddDownloadFile(L"/a.bin", L"a.bin", 10, 1);
        Page().DownloadStart();
    });
    const DownloadDialog* dialog = factory.last.get();
    dialogThread.Do([&] { Dialog().StartRun(dialog); });
    // The window goes under the run: the session ends at once, the worker
    // finishes its run unheard and the watcher alone joins it.
    dialogThread.Do([&] { Dialog().DialogDestroyed(*dialog); });
    EXPECT_FALSE(state->Snapshot().open);
    engine.Pass(1);
    state->WaitSessionClosed();
    EXPECT_FALSE(factory.last->closed);
    EXPECT_EQ(changes.Lines(), (std::vector<std::wstring>{L"parvex: download session: open -> running",
                                                          L"parvex: download session: running -> ended"}));
}

}  // namespace
