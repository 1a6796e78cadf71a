#include <gtest/gtest.h>

#include "common/folders.h"
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
