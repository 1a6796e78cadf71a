// The module under test as the tests reach it: its path, its exports, its
// registration and creation by ProgID.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <string>

namespace parvex::testing {

std::wstring OcxPath();
// The module, loaded while the object lives: the program must let go of it
// again so that a later test can load it afresh.
class OcxModule {
public:
    OcxModule() : module_(LoadLibraryW(OcxPath().c_str())) {}
    ~OcxModule() {
        if (module_) FreeLibrary(module_);
    }
    OcxModule(const OcxModule&) = delete;
    OcxModule& operator=(const OcxModule&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};
HRESULT CallOcxExport(const char* name);
// Registers the module when a test before this one unregistered it.
void EnsureRegistered();
// The object of a ProgID answering IDispatch, or null.
IDispatch* CreateByProgId(const wchar_t* progId);

// A text value of a key under HKEY_CLASSES_ROOT (name null: default value);
// false when the key or value is missing.
// A text value of a registry key (name null: default value); false when the
// key or value is missing or not text.
bool RegistryText(HKEY root, const std::wstring& key, const wchar_t* name, std::wstring& value);
bool ClassesText(const std::wstring& key, const wchar_t* name, std::wstring& value);
bool ClassesKeyExists(const std::wstring& key);

// OLE for the calling thread, for one test.
// Unloads the module again when no object of it is left.
struct OleScope {
    OleScope() { OleInitialize(nullptr); }
    ~OleScope() {
        CoFreeUnusedLibrariesEx(0, 0);
        OleUninitialize();
    }
};

// A fixture holding one control created by its ProgID for each test.
template <const wchar_t* ProgId>
class ControlByProgIdTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureRegistered();
        control = CreateByProgId(ProgId);
        ASSERT_NE(control, nullptr);
    }
    void TearDown() override {
        if (control) control->Release();
    }
    OleScope ole;
    IDispatch* control = nullptr;
};

inline constexpr wchar_t kUpControlProgId[] = L"PARVEX.ParvexUpCtrl.1";
inline constexpr wchar_t IdcDnControlProgId[] = L"PARVEX.ParvexDnCtrl.1";

}  // namespace parvex::testing
