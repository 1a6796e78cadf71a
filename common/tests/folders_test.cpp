#include <gtest/gtest.h>

#include <filesystem>

#include "common/folders.h"
#include "tests/support/fakes.h"

using namespace parvex;
using parvex::testing::MemorySettingsStore;
using parvex::testing::TempDir;

namespace {
struct DefaultFolderFixture : ::testing::Test {
    void SetUp() override {
        InitDefaultFolder([](std::wstring& f) {
            f = L"D:\\Docs";
            return true;
        });
    }
    void TearDown() override { InitDefaultFolder(PlatformDocumentsFolder); }
};
}  // namespace

TEST(InitDefaultFolder, FallsBackToDriveC) {
    InitDefaultFolder([](std::wstring&) { return false; });
    EXPECT_EQ(DefaultSaveFolder(), L"c:\\");
    InitDefaultFolder([](std::wstring& f) {
        f = L"/home/user";
        return true;
    });
    EXPECT_EQ(DefaultSaveFolder(), L"/home/user");
    InitDefaultFolder(PlatformDocumentsFolder);
}

using LoadSelectPathTest = DefaultFolderFixture;

TEST_F(LoadSelectPathTest, MissingKeyIsCreatedWithDriveC) {
    MemorySettingsStore store;
    EXPECT_EQ(LoadSelectPath(store, false, L""), L"D:\\Docs");
    EXPECT_TRUE(store.keyExists);
    EXPECT_EQ(store.values[L"SelectPath"], L"C:\\");
    EXPECT_FALSE(store.isOpen);
    // Writing while the key is missing stores nothing but the key's default.
    MemorySettingsStore fresh;
    EXPECT_EQ(LoadSelectPath(fresh, true, L"E:\\Photos"), L"D:\\Docs");
    EXPECT_EQ(fresh.values[L"SelectPath"], L"C:\\");
}

TEST_F(LoadSelectPathTest, KeyWithoutValueStoresTheDefault) {
    MemorySettingsStore store;
    store.keyExists = true;
    EXPECT_EQ(LoadSelectPath(store, false, L""), L"D:\\Docs");
    EXPECT_EQ(store.values[L"SelectPath"], L"D:\\Docs");
}

TEST_F(LoadSelectPathTest, WriteThenReadBack) {
    MemorySettingsStore store;
    store.keyExists = true;
    EXPECT_EQ(LoadSelectPath(store, true, L"E:\\사진"), L"");
    EXPECT_EQ(LoadSelectPath(store, false, L""), L"E:\\사진");
    EXPECT_FALSE(store.isOpen);
}

TEST_F(LoadSelectPathTest, ErrorsAndOverlongValuesGiveTheDefault) {
    MemorySettingsStore store;
    store.keyExists = true;
    store.readFails = true;
    EXPECT_EQ(LoadSelectPath(store, false, L""), L"D:\\Docs");
    EXPECT_EQ(store.writes, 0);

    MemorySettingsStore longValue;
    longValue.keyExists = true;
    longValue.values[L"SelectPath"] = std::wstring(2047, L'a');
    EXPECT_EQ(LoadSelectPath(longValue, false, L""), std::wstring(2047, L'a'));
    longValue.values[L"SelectPath"] = std::wstring(2048, L'a');
    EXPECT_EQ(LoadSelectPath(longValue, false, L""), L"D:\\Docs");

    MemorySettingsStore locked;
    locked.createFails = true;
    EXPECT_EQ(LoadSelectPath(locked, false, L""), L"D:\\Docs");
    EXPECT_TRUE(locked.values.empty());
}

TEST(CreateFolderChain, CreatesEveryMissingFolderButNotTheFile) {
    TempDir dir;
    FileSystem& fs = LocalFileSystem();
    std::wstring base = dir.wpath();
    std::wstring file = base + L"\\Down\\a\\b.txt";
    EXPECT_EQ(CreateFolderChain(fs, file), 0);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "Down" / "a"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "Down" / "a" / "b.txt"));
    // A trailing separator makes the last folder too; an existing path is left alone.
    EXPECT_EQ(CreateFolderChain(fs, base + L"\\x\\한글\\"), 0);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "x" / std::filesystem::u8path("\xED\x95\x9C\xEA\xB8\x80")));
    EXPECT_EQ(CreateFolderChain(fs, base + L"\\x"), 0);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "x"));
}

TEST(IsDirectoryPath, FoldersFilesAndMissingPaths) {
    TempDir dir;
    FileSystem& fs = LocalFileSystem();
    auto file = dir.Write("f.bin", "abc");
    EXPECT_TRUE(IsDirectoryPath(fs, dir.wpath()));
    EXPECT_FALSE(IsDirectoryPath(fs, file.wstring()));
    EXPECT_FALSE(IsDirectoryPath(fs, dir.wpath() + L"\\missing"));
}

TEST(LocalFileSystem, ReadWriteSizeListRemove) {
    TempDir dir;
    FileSystem& fs = LocalFileSystem();
    std::wstring path = dir.wpath() + L"\\데이터.bin";
    {
        auto out = fs.OpenWrite(path);
        ASSERT_TRUE(out);
        std::string bytes(20000, '\x7f');
        ASSERT_TRUE(out->Write(bytes.data(), bytes.size()));
    }
    uint64_t size = 0;
    ASSERT_TRUE(fs.FileSize(path, size));
    EXPECT_EQ(size, 20000u);
    auto in = fs.OpenRead(path);
    ASSERT_TRUE(in);
    EXPECT_EQ(in->Size(), 20000);
    char buffer[8192];
    long long total = 0, n;
    while ((n = in->Read(buffer, sizeof buffer)) > 0) total += n;
    EXPECT_EQ(total, 20000);
    in.reset();
    std::vector<DirItem> items;
    ASSERT_TRUE(fs.List(dir.wpath(), items));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].name, L"데이터.bin");
    EXPECT_EQ(items[0].size, 20000u);
    EXPECT_TRUE(fs.RemoveFile(path));
    EXPECT_FALSE(fs.Exists(path));
    EXPECT_FALSE(fs.OpenRead(path));
}

// A name of up to 255 characters in a folder of some depth: past the
// classic 260-character limit of a Windows path.
TEST(LocalFileSystem, PathsPastTheClassicLimit) {
    TempDir dir;
    FileSystem& fs = LocalFileSystem();
    std::wstring folder = dir.wpath() + L"\\" + std::wstring(200, L'f');
    ASSERT_TRUE(fs.MakeDirectory(folder));
    EXPECT_TRUE(fs.IsDirectory(folder));
    std::wstring part = folder + L"\\" + std::wstring(249, L'n') + L"~.part",
                 path = folder + L"\\" + std::wstring(255, L'n');
    {
        auto out = fs.CreateNew(part);
        ASSERT_TRUE(out);
        ASSERT_TRUE(out->Write("long", 4));
    }
    ASSERT_TRUE(fs.RenameFile(part, path, false));
    uint64_t size = 0;
    EXPECT_TRUE(fs.Exists(path) && !fs.Exists(part) && !fs.IsLink(path));
    EXPECT_TRUE(fs.FileSize(path, size));
    EXPECT_EQ(size, 4u);
    EXPECT_TRUE(fs.OpenRead(path));
    std::vector<DirItem> items;
    ASSERT_TRUE(fs.List(folder, items));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].name, std::wstring(255, L'n'));
    EXPECT_TRUE(fs.RemoveFile(path));
    EXPECT_FALSE(fs.Exists(path));
}
