// The upload control calling its page's script from a click of the user:
// the page may take the control off and let go of it during that call, and
// the control stays until the call has returned to it.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>

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

TEST(PageScriptCall, ThePageLettingGoOfTheControlDuringUpdateSizeEndsItOnlyAfterTheCall) {
    EnsureRegistered();
    OleScope ole;
    ASSERT_EQ(ModuleIdle(), S_OK) << "an object of an earlier test is still alive";
    TempFile file(L"page-call.txt", 1000);
    PageScript script;
    auto* browser = new parvex::page::PageBrowser([&script] { return static_cast<IDispatch*>(&script); }, false);
    HWND page = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 600, 300, nullptr, nullptr, nullptr,
                                nullptr);
    auto* site = new parvex::page::ControlSite(page, {10, 10, 530, 190}, browser);
    IDispatch* created = CreateByProgId(kUpControlProgId);
    ASSERT_NE(created, nullptr);
    IDispatch* control = site->Activate(created);
    created->Release();
    ASSERT_NE(control, nullptr);
    CallByName(control, L"SetLimitUploadSize", {Number(10)});
    CallByName(control, L"SetLimitUploadBigSize", {Number(10)});
    CallByName(control, L"SetUseType", {Integer(1)});
    HWND listWindow = GetWindow(GetWindow(page, GW_CHILD), GW_CHILD);
    HWND list = GetDlgItem(listWindow, 203);
    DropOn(listWindow, file.path);
    ASSERT_EQ(script.calls, 1);

    // A click on the row's kind calls UpdateSize, in which the page removes
    // the control and drops the last reference it has.
    HRESULT idleDuringTheCall = E_FAIL;
    script.onCall = [&] {
        site->Close();
        site->Release();
        control->Release();
        idleDuringTheCall = ModuleIdle();
    };
    ClickAt(list, MiddleOf(CellOf(list, 0, 3)));
    EXPECT_EQ(script.calls, 2);
    EXPECT_EQ(idleDuringTheCall, S_FALSE) << "the control went while its call into the page was under way";
    EXPECT_EQ(ModuleIdle(), S_OK) << "the control outlived the call";
    DestroyWindow(page);
    browser->Release();
}
