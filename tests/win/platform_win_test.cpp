// The shared helpers on the real platform: registry, documents folder, the
// platform's UTF-8 conversion, the cookie store, the host browser look-up and
// loading the module.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <wininet.h>

#include <atomic>
#include <string>
#include <thread>

#include "common/cookies_win.h"
#include "common/folders.h"
#include "control/host_browser_win.h"
#include "common/settings_store.h"
#include "common/utf8.h"
#include "download/save_folder.h"
#include "tests/win/dialog_driver_win.h"
#include "tests/win/ocx_win.h"

using namespace parvex;

namespace {

const wchar_t* kKey = L"SOFTWARE\\Orvanta Component";

void DeleteKey() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey); }

bool RawValue(const wchar_t* name, std::wstring& value) {
    return parvex::testing::RegistryText(HKEY_LOCAL_MACHINE, kKey, name, value);
}

// terminated false stores the value as earlier builds did, without its zero.
void SetRawValue(const wchar_t* name, const std::wstring& value, bool terminated = true) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + (terminated ? 1 : 0)) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// The stored bytes of a value, as the registry hands them out.
std::string RawBytes(const wchar_t* name) {
    BYTE data[4096];
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kKey, name, RRF_RT_ANY | RRF_NOEXPAND, nullptr, data, &size) != ERROR_SUCCESS)
        return "";
    return std::string(reinterpret_cast<char*>(data), size);
}

void DeleteRawValue(const wchar_t* name) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, name);
    RegCloseKey(key);
}

}  // namespace

TEST(Registry, SelectPathKeyMissingValueMissingAndRoundTrip) {
    InitDefaultFolder(PlatformDocumentsFolder);
    auto store = MakePlatformSettingsStore();
    DeleteKey();
    EXPECT_EQ(LoadSelectPath(*store, false, L""), DefaultSaveFolder());
    std::wstring raw;
    ASSERT_TRUE(RawValue(L"SelectPath", raw));
    EXPECT_EQ(raw, L"C:\\");

    DeleteRawValue(L"SelectPath");
    EXPECT_EQ(LoadSelectPath(*store, false, L""), DefaultSaveFolder());
    ASSERT_TRUE(RawValue(L"SelectPath", raw));
    EXPECT_EQ(raw, DefaultSaveFolder());

    EXPECT_EQ(LoadSelectPath(*store, true, L"C:\\첨부 파일"), L"");
    ASSERT_TRUE(RawValue(L"SelectPath", raw));
    EXPECT_EQ(raw, L"C:\\첨부 파일");
    EXPECT_EQ(LoadSelectPath(*store, false, L""), L"C:\\첨부 파일");
    // Stored with its terminating zero; a value stored without one still reads.
    std::wstring stored = L"C:\\첨부 파일";
    stored.push_back(L'\0');
    EXPECT_EQ(RawBytes(L"SelectPath"), std::string(reinterpret_cast<const char*>(stored.data()), stored.size() * 2));
    SetRawValue(L"SelectPath", L"C:\\옛 값", false);
    EXPECT_EQ(LoadSelectPath(*store, false, L""), L"C:\\옛 값");
    DeleteKey();
}

TEST(Registry, DownSavePathMissingStaleAndRoundTrip) {
    InitDefaultFolder(PlatformDocumentsFolder);
    auto store = MakePlatformSettingsStore();
    DeleteKey();
    EXPECT_EQ(LoadSavePath(*store, LocalFileSystem(), L""), DefaultSaveFolder());
    std::wstring raw;
    ASSERT_TRUE(RawValue(L"DownSavePath", raw));
    EXPECT_EQ(raw, DefaultSaveFolder());

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"다운로드";
    CreateDirectoryW(folder.c_str(), nullptr);
    EXPECT_EQ(LoadSavePath(*store, LocalFileSystem(), folder), folder);
    EXPECT_EQ(LoadSavePath(*store, LocalFileSystem(), L""), folder);
    EXPECT_EQ(RawBytes(L"DownSavePath").size(), (folder.size() + 1) * sizeof(wchar_t));
    SetRawValue(L"DownSavePath", folder, false);
    EXPECT_EQ(LoadSavePath(*store, LocalFileSystem(), L""), folder);

    SetRawValue(L"DownSavePath", folder + L"\\없는 폴더");
    EXPECT_EQ(LoadSavePath(*store, LocalFileSystem(), L""), DefaultSaveFolder());
    ASSERT_TRUE(RawValue(L"DownSavePath", raw));
    EXPECT_EQ(raw, DefaultSaveFolder());

    DeleteRawValue(L"DownSavePath");
    EXPECT_EQ(LoadSavePath(*store, LocalFileSystem(), L""), DefaultSaveFolder());
    RemoveDirectoryW(folder.c_str());
    DeleteKey();
}

TEST(DocumentsFolder, IsTheShellsAndExists) {
    wchar_t path[MAX_PATH] = {0};
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_PERSONAL, FALSE));
    InitDefaultFolder(PlatformDocumentsFolder);
    EXPECT_EQ(DefaultSaveFolder(), path);
    EXPECT_TRUE(IsDirectoryPath(LocalFileSystem(), DefaultSaveFolder()));
}

TEST(Utf8, AgreesWithThePlatformConversion) {
    const wchar_t samples[][32] = {L"첨부파일.hwp", L"a\\b c.txt", {0xD83D, 0xDE00, L'x', 0}, L"", L"日本語ㄱㄴ"};
    for (const wchar_t* s : samples) {
        char platform[256] = {0};
        int n = WideCharToMultiByte(CP_UTF8, 0, s, -1, platform, sizeof platform, nullptr, nullptr);
        ASSERT_GT(n, 0);
        EXPECT_EQ(ToUtf8(s, nullptr, 0), n);
        char ours[256] = {0};
        EXPECT_EQ(ToUtf8(s, ours, sizeof ours), n);
        EXPECT_STREQ(ours, platform);

        wchar_t back[256] = {0};
        int m = MultiByteToWideChar(CP_UTF8, 0, platform, -1, back, 256);
        EXPECT_EQ(FromUtf8(platform, nullptr, 0), m);
        EXPECT_EQ(FromUtf8(std::string(platform)), std::wstring(back));
    }
}

TEST(Cookies, ComeFromTheBrowserStoreWholeEvenWhenLong) {
    ASSERT_TRUE(InternetSetCookieA("http://cookie.parvex.test/", "SID", "abc123"));
    std::wstring got = FetchCookies(WinInetCookieStore(), L"http://cookie.parvex.test/mail/write");
    EXPECT_NE(got.find(L"SID=abc123"), std::wstring::npos) << std::string(got.begin(), got.end());

    std::string value(1500, 'v');
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(InternetSetCookieA("http://long.parvex.test/", ("C" + std::to_string(i)).c_str(), value.c_str()));
    std::wstring longText = FetchCookies(WinInetCookieStore(), L"http://long.parvex.test/");
    EXPECT_GT(longText.size(), 4096u);
    for (int i = 0; i < 4; ++i) EXPECT_NE(longText.find(L"C" + std::to_wstring(i) + L"="), std::wstring::npos);

    EXPECT_EQ(FetchCookies(WinInetCookieStore(), L"http://none.parvex.test/"), L"");

    // A cookie of a folder with a Hangul name reaches a page below it.
    ASSERT_TRUE(InternetSetCookieW(L"http://hangul.parvex.test/받은편지함/", L"MBOX", L"inbox; path=/받은편지함/"));
    EXPECT_NE(FetchCookies(WinInetCookieStore(), L"http://hangul.parvex.test/받은편지함/list").find(L"MBOX=inbox"),
              std::wstring::npos);
}

namespace {
// A client site outside any browser: no container, or a container but no
// service provider.
struct LoneSite : IOleClientSite {
    bool hasContainer;
    LONG refs = 1;
    explicit LoneSite(bool container) : hasContainer(container) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
            *out = static_cast<IOleClientSite*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override {
        *out = nullptr;
        if (!hasContainer) return E_NOINTERFACE;
        // Any object will do as the container for this look-up; the site
        // itself stands in (it is only released).
        *out = reinterpret_cast<IOleContainer*>(static_cast<IOleClientSite*>(this));
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
};
}  // namespace

TEST(HostBrowser, NullOutsideABrowserAndReferencesBalance) {
    EXPECT_EQ(GetHostBrowser(nullptr), nullptr);
    LoneSite noContainer(false);
    EXPECT_EQ(GetHostBrowser(&noContainer), nullptr);
    EXPECT_EQ(noContainer.refs, 1);
    LoneSite noProvider(true);
    EXPECT_EQ(GetHostBrowser(&noProvider), nullptr);
    EXPECT_EQ(noProvider.refs, 1);
}

TEST(Module, LoadsWithItsExports) {
    HMODULE module = LoadLibraryW(parvex::testing::OcxPath().c_str());
    ASSERT_NE(module, nullptr) << GetLastError();
    for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"})
        EXPECT_NE(GetProcAddress(module, name), nullptr) << name;
    FreeLibrary(module);
}

TEST(Module, RefusesToLoadWhenSocketsCannotStart) {
    std::atomic<bool> sawMessage{false}, watching{false};
    // The watcher must be running before the loader lock is taken: a thread
    // that starts later waits for the lock that the message box holds.
    std::thread watcher([&] {
        watching = true;
        HWND box = parvex::testing::WaitForDialog(L"", 10000);
        if (!box) return;
        for (const std::wstring& text : parvex::testing::ChildTexts(box))
            if (text == L"소켓 초기화 실패") sawMessage = true;
        parvex::testing::PressButton(box, IDOK);
    });
    parvex::testing::WaitFor([&] { return watching.load(); });
    SetEnvironmentVariableA("PARVEX_TEST_FAIL_SOCKET_START", "1");
    HMODULE module = LoadLibraryW(parvex::testing::OcxPath().c_str());
    SetEnvironmentVariableA("PARVEX_TEST_FAIL_SOCKET_START", nullptr);
    watcher.join();
    EXPECT_EQ(module, nullptr);
    if (module) FreeLibrary(module);
    EXPECT_TRUE(sawMessage);
}
