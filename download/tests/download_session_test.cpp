// The download session under concurrent callers: one dialog at a time,
// claimed under the lock; the session ends with its dialog, whoever
// destroys it; the module is held until the session's last thread is gone.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "common/module_hold.h"
#include "common/settings.h"
#include "download_engine_fixture.h"
#include "download_test_support.h"

using namespace parvex;
using namespace parvex::dltest;

namespace {

// The module's count as the controls' module keeps it.
struct CountingLifetime : ModuleLifetime {
    std::atomic<int> holds{0};
    void Hold() override { ++holds; }
    void Release() override { --holds; }
};

struct LifetimeScope {
    CountingLifetime lifetime;
    LifetimeScope() { SetModuleLifetime(&lifetime); }
    ~LifetimeScope() { SetModuleLifetime(nullptr); }
};

// Dialogs that count how many are open at once: made by DownloadStart,
// closed by the session's watcher.
struct CountingFactory : DownloadDialogFactory {
    std::atomic<int> created{0}, open{0}, mostOpen{0};
    struct Dialog : TestDialog {
        CountingFactory& f;
        explicit Dialog(CountingFactory& factory) : f(factory) {}
        void SendClose() override {
            --f.open;
            TestDialog::SendClose();
        }
    };
    std::shared_ptr<DownloadDialog> Create(DownloadDialogCalls&) override {
        ++created;
        int now = ++open;
        for (int most = mostOpen; now > most && !mostOpen.compare_exchange_weak(most, now);) {
        }
        return std::make_shared<Dialog>(*this);
    }
};

// Every look-up fails at once: a run marks its rows failed and ends.
struct NoNetwork : Network {
    bool Resolve(const std::string&, std::vector<NetAddress>&) override { return false; }
    std::unique_ptr<Socket> Connect(const NetAddress&, uint16_t) override { return nullptr; }
};

struct DownloadSessionTest : ::testing::Test {
    TempDir folder;
    parvex::testing::MemorySettingsStore store;
    NoNetwork network;
    RecordingMessageBox boxes;
    CountingFactory factory;
    LifetimeScope module;
    std::unique_ptr<DownloadState> state;

    void SetUp() override {
        store.keyExists = true;
        store.values[L"DownSavePath"] = folder.wpath();
        DownloadPlatform platform;
        platform.engine = TestEngine();
        platform.store = &store;
        platform.network = &network;
        platform.controlMessages = &boxes;
        platform.promptMessages = &boxes;
        platform.dialogFactory = &factory;
        state = std::make_unique<DownloadState>(platform);
        Settings().downloadHostUrl = L"http://mail.example.com/";
    }
    void TearDown() override {
        state.reset();
        EXPECT_EQ(module.lifetime.holds, 0);
        ResetProcessSettings();
        Settings().downloadHostUrl.clear();
    }
};

}  // namespace

TEST_F(DownloadSessionTest, StartsAtOnceOpenOneDialogAndTheSessionHoldsTheModule) {
    std::promise<void> go;
    std::shared_future<void> together = go.get_future().share();
    std::vector<std::thread> callers;
    for (int i = 0; i < 8; ++i)
        callers.emplace_back([&] {
            together.wait();
            state->DownloadStart();
        });
    go.set_value();
    for (auto& t : callers) t.join();
    EXPECT_EQ(factory.created, 1);
    EXPECT_EQ(module.lifetime.holds, 1);

    state->CancelOrClose();
    state->WaitSessionClosed();
    EXPECT_EQ(module.lifetime.holds, 0);
    state->DownloadStart();
    EXPECT_EQ(factory.created, 2);
}

TEST_F(DownloadSessionTest, ADialogGoneByAnyHandEndsItsSessionAndTheNextStartOpensAnother) {
    state->AddDownloadFile(L"/a", L"a.bin", 1, 1);
    state->DownloadStart();
    std::shared_ptr<DownloadDialog> first = state->Dialog();
    ASSERT_NE(first, nullptr);
    // Its window destroyed from outside, as when its thread ends.
    state->DialogDestroyed(*first);
    EXPECT_TRUE(state->Entries().empty());
    state->AddDownloadFile(L"/b", L"b.bin", 1, 1);
    state->DownloadStart();
    ASSERT_EQ(factory.created, 2);
    auto rows = static_cast<TestDialog&>(*state->Dialog()).view.Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, L"b.bin");
    // The old dialog is not heard any more.
    state->CancelOrClose(first.get());
    EXPECT_NE(state->Dialog(), nullptr);

    // A window that went without a word: the next start finds it dead.
    struct Silent : TestDialog {
        std::atomic<bool> alive{true};
        bool Alive() const override { return alive; }
    };
    struct SilentFactory : DownloadDialogFactory {
        std::shared_ptr<Silent> last;
        std::shared_ptr<DownloadDialog> Create(DownloadDialogCalls&) override { return last = std::make_shared<Silent>(); }
    } silent;
    DownloadPlatform platform;
    platform.engine = TestEngine();
    platform.store = &store;
    platform.dialogFactory = &silent;
    state = std::make_unique<DownloadState>(platform);
    state->DownloadStart();
    auto gone = silent.last;
    gone->alive = false;
    state->DownloadStart();
    EXPECT_NE(silent.last, gone);
    EXPECT_EQ(state->Dialog(), silent.last);
}

// Starts, additions, deletions, runs, cancels and closes from several threads
// at once: at most one dialog is ever open, and the module's holds all come
// back. Run under ThreadSanitizer, which must report nothing.
TEST_F(DownloadSessionTest, ConcurrentCallersStress) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 500;
    std::promise<void> go;
    std::shared_future<void> together = go.get_future().share();
    std::vector<std::thread> callers;
    for (int i = 0; i < kThreads; ++i)
        callers.emplace_back([&, i] {
            together.wait();
            for (int r = 0; r < kRounds; ++r) {
                std::wstring name = L"f" + std::to_wstring(i) + L"-" + std::to_wstring(r % 7) + L".bin";
                switch ((r + i) % 6) {
                case 0:
                    state->DownloadStart();
                    break;
                case 1:
                    state->AddDownloadFile(L"/" + name, name, r, 3);
                    break;
                case 2:
                    if (auto d = state->Dialog()) {
                        static_cast<TestDialog&>(*d).view.Select({0, 2});
                        state->DeleteButton(d->View(), d.get());
                    }
                    break;
                case 3:
                    state->StartRun();
                    break;
                case 4:
                    state->CancelOrClose();
                    break;
                case 5:
                    state->Snapshot();
                    break;
                }
            }
        });
    go.set_value();
    for (auto& t : callers) t.join();
    state->CancelOrClose();
    state->WaitRunFinished();
    state->CancelOrClose();
    state->WaitSessionClosed();
    EXPECT_GE(factory.created, 1);
    EXPECT_EQ(factory.mostOpen, 1);
    EXPECT_EQ(module.lifetime.holds, 0);
}

// The dialog's window destroyed in the middle of a run: the run stops
// without asking anybody, keeps its part to be gone on with, and the module
// stays held until the worker is gone. The next start fetches the rest.
TEST_F(DownloadEngineTest, ADialogGoneDuringARunStopsItQuietlyAndTheNextSessionFetches) {
    LifetimeScope module;
    std::string h = Serve("big.bin", std::string(400000, 'x'));
    Fault("rate=200000&target=download&count=1");
    Queue(L"/big.bin", L"big.bin", 400000);
    TestDialog& dialog = Open();
    state->StartRun();
    ASSERT_TRUE(WaitFor([&] { return dialog.view.ProgressSets(IdcDnFileProgress) > 2; }));
    state->DialogDestroyed(dialog);
    EXPECT_GE(module.lifetime.holds, 1);
    state->WaitSessionClosed();
    EXPECT_EQ(module.lifetime.holds, 0);
    EXPECT_TRUE(dialog.view.messages.shown.empty());
    EXPECT_TRUE(promptBoxes.shown.empty());
    EXPECT_TRUE(std::filesystem::exists(save.path() / "big.bin.part"));
    EXPECT_TRUE(std::filesystem::exists(save.path() / "big.bin.part.parvex"));

    Queue(L"/big.bin", L"big.bin", 400000);
    TestDialog& next = Run();
    EXPECT_EQ(Statuses(next), std::vector<std::wstring>{L"완 료"});
    EXPECT_EQ(SavedHash("big.bin"), h);
    EXPECT_NE(server->Recorded(2).find("\r\nRange: bytes="), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(save.path()), {}), 1);
    Close();
}
