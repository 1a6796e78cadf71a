#include <gtest/gtest.h>

#include "common/folders.h"
#include "common/settings_store_layered.h"
#include "download/save_folder.h"
#include "tests/support/fakes.h"

using namespace parvex;
using parvex::testing::MemorySettingsStore;
using parvex::testing::TempDir;

namespace {
struct LoadSavePathTest : ::testing::Test {
    TempDir docs;
    void SetUp() override {
        std::wstring folder = docs.wpath();
        InitDefaultFolder([folder](std::wstring& f) {
            f = folder;
            return true;
        });
    }
    void TearDown() override { InitDefaultFolder(PlatformDocumentsFolder); }
};
}  // namespace

TEST_F(LoadSavePathTest, FirstRunCreatesTheKeyWithTheDefault) {
    MemorySettingsStore store;
    EXPECT_EQ(LoadSavePath(store, LocalFileSystem(), L""), docs.wpath());
    EXPECT_EQ(store.values[L"DownSavePath"], docs.wpath());
    // The request wins even when the key had to be created.
    MemorySettingsStore fresh;
    EXPECT_EQ(LoadSavePath(fresh, LocalFileSystem(), L"/elsewhere"), L"/elsewhere");
    EXPECT_EQ(fresh.values[L"DownSavePath"], docs.wpath());
}

TEST_F(LoadSavePathTest, StoredFolderRoundTripsAndStaleOnesAreRepaired) {
    TempDir chosen;
    MemorySettingsStore store;
    store.keyExists = true;
    EXPECT_EQ(LoadSavePath(store, LocalFileSystem(), chosen.wpath()), chosen.wpath());
    EXPECT_EQ(LoadSavePath(store, LocalFileSystem(), L""), chosen.wpath());
    store.values[L"DownSavePath"] = chosen.wpath() + L"\\gone";
    EXPECT_EQ(LoadSavePath(store, LocalFileSystem(), L""), docs.wpath());
    EXPECT_EQ(store.values[L"DownSavePath"], docs.wpath());
    store.values[L"DownSavePath"] = L"";
    EXPECT_EQ(LoadSavePath(store, LocalFileSystem(), L""), docs.wpath());
    store.values.clear();
    EXPECT_EQ(LoadSavePath(store, LocalFileSystem(), L""), docs.wpath());
    EXPECT_EQ(store.values[L"DownSavePath"], docs.wpath());
}

TEST_F(LoadSavePathTest, UnwritableStoreStillGivesAFolder) {
    MemorySettingsStore store;
    store.createFails = true;
    EXPECT_EQ(LoadSavePath(store, LocalFileSystem(), L""), docs.wpath());
    EXPECT_TRUE(store.values.empty());
}

// An ordinary user: the machine's key reads but refuses writes. The chosen
// folder is remembered in the user's key; once the machine's key takes a
// write, its value wins and the user's goes.
TEST_F(LoadSavePathTest, ChoiceOfAUserTheMachineRefusesIsRememberedUntilTheMachineTakesOne) {
    TempDir shared, chosen, later;
    auto* machine = new MemorySettingsStore;
    auto* user = new MemorySettingsStore;
    machine->keyExists = true;
    machine->writeFails = true;
    machine->values[L"DownSavePath"] = shared.wpath();
    LayeredSettingsStore store{std::unique_ptr<SettingsStore>(machine), std::unique_ptr<SettingsStore>(user)};

    EXPECT_EQ(LoadSavePath(store, LocalFileSystem(), L""), shared.wpath());
    EXPECT_EQ(LoadSavePath(store, LocalFileSystem(), chosen.wpath()), chosen.wpath());
    EXPECT_EQ(user->values[L"DownSavePath"], chosen.wpath());
    EXPECT_EQ(LoadSavePath(store, LocalFileSystem(), L""), chosen.wpath());

    machine->writeFails = false;
    EXPECT_EQ(LoadSavePath(store, LocalFileSystem(), later.wpath()), later.wpath());
    EXPECT_EQ(machine->values[L"DownSavePath"], later.wpath());
    EXPECT_EQ(user->values.count(L"DownSavePath"), 0u);
    EXPECT_EQ(LoadSavePath(store, LocalFileSystem(), L""), later.wpath());
}
