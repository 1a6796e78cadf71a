// The upload control calling its page's script from a click of the user:
// the page may take the control off and let go of it during that call, and
// the control stays until the call has returned to it.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <vector>

#include "tests/win/ocx_win.h"
#include "tests/win/test_container_win.h"
#include "tests/win/upload_control_support_win.h"
#include "tools/page/browser_stand_in_win.h"
#include "tools/page/control_site_win.h"

using namespace parvex::testing;

namespace {

// The page's script object, living on the test's stack: its function
// UpdateSize counts the calls and runs onCall.
struct PageScript final : IDispatch {
    std::function<void()> onCall;
    int calls = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == IID_IDispatch ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
        *ids = lstrcmpW(names[0], L"UpdateSize") == 0 ? 1 : DISPID_UNKNOWN;
        return *ids == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        ++calls;
        if (onCall) onCall();
        return S_OK;
    }
};

// S_OK when no object of the module is alive.
HRESULT ModuleIdle() { return CallOcxExport("DllCanUnloadNow"); }

}  // namespace

// A page with one upload control that takes files up to 10 MB, whose
// script is `script`.
class PageScriptCall : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureRegistered();
        ASSERT_EQ(ModuleIdle(), S_OK) << "an object of an earlier test is still alive";
        browser = new parvex::page::PageBrowser([this] { return static_cast<IDispatch*>(&script); }, false);
        page = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 600, 300, nullptr, nullptr, nullptr,
                               nullptr);
        site = new parvex::page::ControlSite(page, {10, 10, 530, 190}, browser);
        IDispatch* created = CreateByProgId(kUpControlProgId);
        ASSERT_NE(created, nullptr);
        control = site->Activate(created);
        created->Release();
        ASSERT_NE(control, nullptr);
        CallByName(control, L"SetLimitUploadSize", {Number(10)});
        CallByName(control, L"SetLimitUploadBigSize", {Number(10)});
        CallByName(control, L"SetUseType", {Integer(1)});
        listWindow = GetWindow(GetWindow(page, GW_CHILD), GW_CHILD);
    }
    void TearDown() override {
        DestroyWindow(page);
        if (browser) browser->Release();
    }
    // What the page does in UpdateSize: takes the control off and drops
    // the last reference it has.
    void LetGoOfTheControl() {
        site->Close();
        site->Release();
        control->Release();
    }

    OleScope ole;
    PageScript script;
    parvex::page::PageBrowser* browser = nullptr;
    HWND page = nullptr;
    parvex::page::ControlSite* site = nullptr;
    IDispatch* control = nullptr;
    HWND listWindow = nullptr;
};

TEST_F(PageScriptCall, ThePageLettingGoOfTheControlDuringUpdateSizeEndsItOnlyAfterTheCall) {
    TempFile file(L"page-call.txt", 1000);
    HWND list = GetDlgItem(listWindow, 203);
    DropOn(listWindow, file.path);
    ASSERT_EQ(script.calls, 1);

    // A click on the row's kind calls UpdateSize.
    HRESULT idleDuringTheCall = E_FAIL;
    script.onCall = [&] {
        LetGoOfTheControl();
        idleDuringTheCall = ModuleIdle();
    };
    ClickAt(list, MiddleOf(CellOf(list, 0, 3)));
    EXPECT_EQ(script.calls, 2);
    EXPECT_EQ(idleDuringTheCall, S_FALSE) << "the control went while its call into the page was under way";
    EXPECT_EQ(ModuleIdle(), S_OK) << "the control outlived the call";
}

// A dropped folder's files each call UpdateSize; the page lets go of the
// control in the first call, and the drop still adds the second file to a
// living control before it ends.
TEST_F(PageScriptCall, ThePageLettingGoOfTheControlDuringADropEndsItOnlyAfterTheDrop) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"page-drop";
    CreateDirectoryW(folder.c_str(), nullptr);
    {
        TempFile first(L"page-drop\\a.txt", 100), second(L"page-drop\\b.txt", 100);
        std::vector<HRESULT> idleInCalls;
        script.onCall = [&] {
            if (script.calls == 1) LetGoOfTheControl();
            idleInCalls.push_back(ModuleIdle());
        };
        DropOn(listWindow, folder);
        EXPECT_EQ(idleInCalls, (std::vector<HRESULT>{S_FALSE, S_FALSE}))
            << "the control went before the drop was done with it";
        EXPECT_EQ(ModuleIdle(), S_OK) << "the control outlived the drop";
    }
    RemoveDirectoryW(folder.c_str());
}
