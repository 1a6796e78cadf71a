#include <gtest/gtest.h>

#include "common/folders.h"
#include "common/settings_store_layered.h"
#include "tests/support/fakes.h"

using namespace parvex;
using parvex::testing::MemorySettingsStore;

namespace {

// An ordinary user's view: the machine's key exists and reads, but refuses
// writes; the user's key does not exist yet.
struct LayeredStoreTest : ::testing::Test {
    MemorySettingsStore* machine = new MemorySettingsStore;
    MemorySettingsStore* user = new MemorySettingsStore;
    LayeredSettingsStore store{std::unique_ptr<SettingsStore>(machine), std::unique_ptr<SettingsStore>(user)};

    void SetUp() override {
        InitDefaultFolder([](std::wstring& f) {
            f = L"D:\\Docs";
            return true;
        });
        machine->keyExists = true;
        machine->writeFails = true;
    }
    void TearDown() override { InitDefaultFolder(PlatformDocumentsFolder); }
};

}  // namespace

TEST_F(LayeredStoreTest, RefusedMachineWriteIsKeptForTheUserUntilTheMachineTakesOne) {
    machine->values[kSelectPathValue] = L"C:\\Shared";
    EXPECT_EQ(LoadSelectPath(store, false, L""), L"C:\\Shared");

    EXPECT_EQ(LoadSelectPath(store, true, L"E:\\사진"), L"");
    EXPECT_EQ(user->values[kSelectPathValue], L"E:\\사진");
    EXPECT_EQ(machine->values[kSelectPathValue], L"C:\\Shared");
    EXPECT_EQ(LoadSelectPath(store, false, L""), L"E:\\사진");

    // Rights granted later: the machine's value is the newer one, and the
    // user's older one must not shadow it.
    machine->writeFails = false;
    EXPECT_EQ(LoadSelectPath(store, true, L"F:\\New"), L"");
    EXPECT_EQ(machine->values[kSelectPathValue], L"F:\\New");
    EXPECT_EQ(user->values.count(kSelectPathValue), 0u);
    EXPECT_EQ(LoadSelectPath(store, false, L""), L"F:\\New");
    EXPECT_FALSE(machine->isOpen || user->isOpen);
}

TEST_F(LayeredStoreTest, WithoutEitherKeyTheUsersIsMadeWhenTheMachinesCannotBe) {
    machine->keyExists = false;
    machine->createFails = true;
    EXPECT_EQ(LoadSelectPath(store, false, L""), L"D:\\Docs");
    EXPECT_TRUE(user->keyExists);
    EXPECT_EQ(user->values[kSelectPathValue], L"C:\\");
    EXPECT_EQ(LoadSelectPath(store, true, L"E:\\Mail"), L"");
    EXPECT_EQ(LoadSelectPath(store, false, L""), L"E:\\Mail");
    EXPECT_TRUE(machine->values.empty());
}

TEST_F(LayeredStoreTest, AUsersValueThatCannotBeReadFallsBackToTheMachines) {
    user->keyExists = true;
    user->readFails = true;
    machine->values[kSelectPathValue] = L"C:\\Shared";
    EXPECT_EQ(LoadSelectPath(store, false, L""), L"C:\\Shared");
}
