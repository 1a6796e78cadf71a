// The platform's settings store on the real registry, with a machine key
// that the user may read but not write: a key of the test's own whose
// access list grants reading only.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <string>

#include "common/folders.h"
#include "common/settings_store_layered.h"
#include "common/settings_store_win.h"
#include "common/site_lock.h"
#include "tests/win/ocx_win.h"

using namespace parvex;

namespace {

const wchar_t kTestRoot[] = L"Software\\Orvanta Component Test";
const std::wstring kMachineKey = std::wstring(kTestRoot) + L"\\machine";
const std::wstring kUserKey = std::wstring(kTestRoot) + L"\\user";

// "P": no inherited entries; everyone may read, change the list and delete.
const wchar_t kReadOnly[] = L"D:P(A;;KR;;;WD)(A;;WDSD;;;WD)";
const wchar_t kFullAccess[] = L"D:P(A;;KA;;;WD)";

bool SetAccess(const std::wstring& key, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    HKEY handle;
    LONG result = RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, WRITE_DAC, &handle);
    if (result == ERROR_SUCCESS) {
        result = RegSetKeySecurity(handle, DACL_SECURITY_INFORMATION, descriptor);
        RegCloseKey(handle);
    }
    LocalFree(descriptor);
    return result == ERROR_SUCCESS;
}

bool Text(const std::wstring& key, std::wstring& value) {
    return parvex::testing::RegistryText(HKEY_CURRENT_USER, key, kSelectPathValue, value);
}

struct ReadOnlyMachineKey : ::testing::Test {
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
        HKEY key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kMachineKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        const wchar_t shared[] = L"C:\\Shared";
        RegSetValueExW(key, kSelectPathValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(shared), sizeof shared);
        RegCloseKey(key);
        ASSERT_TRUE(SetAccess(kMachineKey, kReadOnly));
    }
    void TearDown() override {
        SetAccess(kMachineKey, kFullAccess);
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
    }
};

}  // namespace

TEST_F(ReadOnlyMachineKey, ChoiceIsKeptForTheUserUntilTheMachineKeyTakesOne) {
    HKEY probe;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kMachineKey.c_str(), 0, KEY_ALL_ACCESS, &probe) == ERROR_SUCCESS) {
        RegCloseKey(probe);
        GTEST_SKIP() << "this registry grants writing to a key whose access list refuses it";
    }
    LayeredSettingsStore store(MakeRegistrySettingsStore(HKEY_CURRENT_USER, L"HKEY_CURRENT_USER", kMachineKey),
                               MakeRegistrySettingsStore(HKEY_CURRENT_USER, L"HKEY_CURRENT_USER", kUserKey));
    EXPECT_EQ(LoadSelectPath(store, false, L""), L"C:\\Shared");
    EXPECT_EQ(LoadSelectPath(store, true, L"E:\\사진"), L"");
    std::wstring value;
    ASSERT_TRUE(Text(kUserKey, value));
    EXPECT_EQ(value, L"E:\\사진");
    ASSERT_TRUE(Text(kMachineKey, value));
    EXPECT_EQ(value, L"C:\\Shared");
    EXPECT_EQ(LoadSelectPath(store, false, L""), L"E:\\사진");

    ASSERT_TRUE(SetAccess(kMachineKey, kFullAccess));
    EXPECT_EQ(LoadSelectPath(store, true, L"F:\\New"), L"");
    ASSERT_TRUE(Text(kMachineKey, value));
    EXPECT_EQ(value, L"F:\\New");
    EXPECT_FALSE(Text(kUserKey, value));
    EXPECT_EQ(LoadSelectPath(store, false, L""), L"F:\\New");
}

// The site lock's list: the machine's multi-string, an empty string inside
// it included, with the user's text value beside it.
TEST_F(ReadOnlyMachineKey, SiteListIsBothKeysMultiStringsAndTexts) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kUserKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t user[] = L"https://c.example";
    RegSetValueExW(key, kAllowedSitesValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(user), sizeof user);
    RegCloseKey(key);
    ASSERT_TRUE(SetAccess(kMachineKey, kFullAccess));
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kMachineKey.c_str(), 0, KEY_WRITE, &key), ERROR_SUCCESS);
    const wchar_t machine[] = L"https://a.example\0\0https://*.b.example\0";
    RegSetValueExW(key, kAllowedSitesValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(machine), sizeof machine);
    RegCloseKey(key);
    ASSERT_TRUE(SetAccess(kMachineKey, kReadOnly));

    LayeredSettingsStore store(MakeRegistrySettingsStore(HKEY_CURRENT_USER, L"HKEY_CURRENT_USER", kMachineKey),
                               MakeRegistrySettingsStore(HKEY_CURRENT_USER, L"HKEY_CURRENT_USER", kUserKey));
    SiteLock lock = LoadSiteLock(store);
    EXPECT_EQ(lock.Refusal(L"https://a.example/"), L"");
    EXPECT_EQ(lock.Refusal(L"https://x.b.example/"), L"");
    EXPECT_EQ(lock.Refusal(L"https://c.example/"), L"");
    EXPECT_EQ(lock.Refusal(L"https://d.example/"), L"its origin is not in AllowedSites");
}
