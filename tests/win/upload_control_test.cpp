// The upload control as a container and a page see it: created by ProgID,
// driven by name through IDispatch, activated in place in a real window.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <fstream>
#include <thread>

#include <objsafe.h>

#include "control/com_module_win.h"
#include "parvex_h.h"
#include "tests/win/dialog_driver_win.h"
#include "tests/win/ocx_win.h"
#include "tests/win/test_container_win.h"
#include "tests/win/upload_control_support_win.h"

using namespace parvex;
using namespace parvex::testing;

namespace {

struct Method {
    const wchar_t* name;
    DISPID id;
};

const Method kUpMethods[] = {
    {L"AboutBox", -552},           {L"AddFindFile", 1},          {L"AddFolder", 2},
    {L"TestLinkListValue", 3},     {L"UploadStart", 4},          {L"DeleteFile", 5},
    {L"SetLimitUploadCount", 6},   {L"SetLimitUploadSize", 7},   {L"GetTotalUpSize", 8},
    {L"UpForm_Filename", 9},       {L"UpForm_UniqueFilename", 10}, {L"UpForm_UpFile", 11},
    {L"UploadUrlAddress", 12},     {L"UploadExistUrl", 13},      {L"TotalUploadCount", 14},
    {L"GetUpFileInfo", 15},        {L"UploadExtFilter", 16},     {L"SetLimitGeneralSize", 17},
    {L"SetUseType", 18},           {L"SetLimitUploadBigSize", 19}, {L"GetBigTotalSize", 20},
    {L"GetSmallTotalSize", 21},    {L"SetLimitFileSize", 22},    {L"AttachFileFromMail", 23},
    {L"SetUpTitle", 24},           {L"ExpectContinueValue", 25}, {L"AddDownloadFile", 26},
    {L"DownloadStart", 27},        {L"SetDnTitle", 28},          {L"SetDownHostUrl", 29},
    {L"SetDownLimitCount", 30},    {L"SetDownLimitSize", 31},
};

std::wstring HeadingText(HWND list, int column) {
    wchar_t text[128] = {0};
    LVCOLUMNW info = {};
    info.mask = LVCF_TEXT;
    info.pszText = text;
    info.cchTextMax = 128;
    SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&info));
    return text;
}

// Answers the first message box with caption, recording its text.
class BoxWatcher {
public:
    explicit BoxWatcher(const std::wstring& caption)
        : thread_([this, caption] {
              HWND box = WaitForDialog(caption, 10000);
              if (!box) return;
              for (const std::wstring& text : ChildTexts(box)) texts_ += text + L"\n";
              seen_ = true;
              PressButton(box, IDOK);
          }) {}
    ~BoxWatcher() {
        if (thread_.joinable()) thread_.join();
    }
    bool Seen() {
        thread_.join();
        return seen_;
    }
    std::wstring texts_;

private:
    std::atomic<bool> seen_{false};
    std::thread thread_;
};

using UpControlTest = ControlByProgIdTest<kUpControlProgId>;

}  // namespace

TEST_F(UpControlTest, AnswersEveryMethodByNameAtItsDispid) {
    for (const Method& m : kUpMethods) EXPECT_EQ(IdOf(control, m.name), m.id) << m.name;
    // Names are matched without regard to case, as script engines expect.
    EXPECT_EQ(IdOf(control, L"gettotalupsize"), 8);
    EXPECT_EQ(IdOf(control, L"NoSuchMethod"), DISPID_UNKNOWN);

    ITypeInfo* info = nullptr;
    ASSERT_EQ(control->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
    int declared = 0;
    for (UINT i = 0; i < attributes->cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        info->GetFuncDesc(i, &f);
        if (f->memid == -552 || (f->memid >= 1 && f->memid <= 31)) ++declared;
        info->ReleaseFuncDesc(f);
    }
    EXPECT_EQ(declared, 32);
    info->ReleaseTypeAttr(attributes);
    info->Release();
}

TEST_F(UpControlTest, ParameterNamesAndTypesAreThoseOfTheTypeLibrary) {
    const wchar_t* names[] = {L"AttachFileFromMail", L"strFilename", L"strUniqeFilename", L"Filesize"};
    DISPID ids[4] = {};
    ASSERT_EQ(control->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(names), 4, LOCALE_USER_DEFAULT, ids), S_OK);
    EXPECT_EQ(ids[0], 23);
    EXPECT_EQ(ids[1], 0);
    EXPECT_EQ(ids[2], 1);
    EXPECT_EQ(ids[3], 2);

    ITypeInfo* info = nullptr;
    ASSERT_EQ(control->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
    struct Expected {
        DISPID id;
        VARTYPE result;
        std::vector<VARTYPE> parameters;
    };
    const Expected expected[] = {{4, VT_I2, {VT_I2}},      {6, VT_VOID, {VT_I4}},   {7, VT_VOID, {VT_R8}},
                                 {14, VT_I4, {}},          {15, VT_BSTR, {}},       {25, VT_VOID, {VT_BOOL}},
                                 {26, VT_I2, {VT_BSTR, VT_BSTR, VT_R8, VT_I4}}, {18, VT_VOID, {VT_I2}}};
    TYPEATTR* attributes = nullptr;
    info->GetTypeAttr(&attributes);
    for (const Expected& e : expected) {
        bool found = false;
        for (UINT i = 0; i < attributes->cFuncs; ++i) {
            FUNCDESC* f = nullptr;
            info->GetFuncDesc(i, &f);
            if (f->memid == e.id) {
                found = true;
                EXPECT_EQ(f->elemdescFunc.tdesc.vt, e.result) << e.id;
                ASSERT_EQ(static_cast<size_t>(f->cParams), e.parameters.size()) << e.id;
                for (size_t p = 0; p < e.parameters.size(); ++p)
                    EXPECT_EQ(f->lprgelemdescParam[p].tdesc.vt, e.parameters[p]) << e.id;
            }
            info->ReleaseFuncDesc(f);
        }
        EXPECT_TRUE(found) << e.id;
    }
    info->ReleaseTypeAttr(attributes);
    info->Release();
}

TEST_F(UpControlTest, ConvertsScriptValuesAndRefusesBadCalls) {
    EXPECT_EQ(CallByName(control, L"TotalUploadCount", {Integer(1)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(CallByName(control, L"AttachFileFromMail", {Text(L"a"), Text(L"b")}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(CallByName(control, L"SetLimitUploadSize", {Text(L"많이")}), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(CountOf(control), 0);

    // Script numbers arrive as integers or doubles, sizes as text: all are
    // converted to the declared types.
    Attach(control, L"보고서.hwp", L"20240101_1", 0);
    ASSERT_EQ(CallByName(control, L"AttachFileFromMail", {Text(L"b.txt"), Text(L"u2"), Integer(2048)}), S_OK);
    ASSERT_EQ(CallByName(control, L"AttachFileFromMail", {Text(L"c.txt"), Text(L"u3"), Text(L"1000")}), S_OK);
    EXPECT_EQ(CountOf(control), 3);
    EXPECT_EQ(DoubleResult(control, L"GetTotalUpSize"), 3048.0);
    EXPECT_EQ(InfoOf(control), L"보고서.hwp/20240101_1/2|:|b.txt/u2/2|:|c.txt/u3/2");
}

TEST_F(UpControlTest, InPlaceActivationCreatesTheControlWindowWithTheListWindowCoveringIt) {
    Attach(control, L"before.txt", L"u0", 100);
    TestContainer container;
    RECT rect = {10, 20, 410, 220};
    HWND window = container.Activate(control, rect);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetParent(window), container.Window());
    EXPECT_EQ(container.inPlaceActivations, 1);
    RECT placed;
    GetWindowRect(window, &placed);
    MapWindowPoints(nullptr, container.Window(), reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, 10);
    EXPECT_EQ(placed.top, 20);
    EXPECT_EQ(placed.right, 410);
    EXPECT_EQ(placed.bottom, 220);

    HWND listWindow = GetWindow(window, GW_CHILD);
    ASSERT_NE(listWindow, nullptr);
    HWND list = ListViewOf(window);
    ASSERT_NE(list, nullptr);
    wchar_t className[64] = {0};
    GetClassNameW(list, className, 64);
    EXPECT_STREQ(className, L"SysListView32");

    // Drawing moves the list window over the whole control.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    RECT listRect;
    GetWindowRect(listWindow, &listRect);
    EXPECT_EQ(listRect.right - listRect.left, 400);
    EXPECT_EQ(listRect.bottom - listRect.top, 200);

    EXPECT_EQ(HeadingText(list, 1), L"파일명");
    EXPECT_EQ(HeadingText(list, 2), L"크기");
    EXPECT_EQ(HeadingText(list, 3), L"형식");
    EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0x426);

    // The entry attached before the window existed has its row now, and
    // rows follow later entries.
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(RowText(list, 0, 1), L"before.txt");
    Attach(control, L"after.txt", L"u1", 2048);
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(RowText(list, 1, 1), L"after.txt");
    EXPECT_EQ(RowText(list, 1, 2), L"2.00KB");
    EXPECT_EQ(CountOf(control), 2);

    // Checked rows go with DeleteFile; the rest move up.
    ListView_SetCheckState(list, 0, TRUE);
    ASSERT_EQ(CallByName(control, L"DeleteFile", {}), S_OK);
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(RowText(list, 0, 1), L"after.txt");
    EXPECT_EQ(InfoOf(control), L"after.txt/u1/2");

    ASSERT_EQ(CallByName(control, L"SetUseType", {Integer(1)}), S_OK);
    EXPECT_EQ(HeadingText(list, 3), L"첨부형식[전환]");

    // A new size from the container reaches the list window at the next paint.
    IOleInPlaceObject* inPlace = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)), S_OK);
    RECT smaller = {10, 20, 310, 120};
    inPlace->SetObjectRects(&smaller, &smaller);
    inPlace->Release();
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    GetWindowRect(listWindow, &listRect);
    EXPECT_EQ(listRect.right - listRect.left, 300);
    EXPECT_EQ(listRect.bottom - listRect.top, 100);

    container.Deactivate();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(container.inPlaceDeactivations, 1);
    // The entries outlive the window.
    EXPECT_EQ(CountOf(control), 1);
}

// The frame lets go of the control when it leaves the user interface state,
// else the control's last reference is never released.
TEST_F(UpControlTest, UiDeactivationTakesTheControlBackFromTheFrame) {
    TestContainer container;
    RECT rect = {0, 0, 200, 100};
    ASSERT_NE(container.Activate(control, rect, OLEIVERB_UIACTIVATE), nullptr);
    ASSERT_NE(container.activeObject, nullptr);
    IOleInPlaceObject* inPlace = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)), S_OK);
    EXPECT_EQ(inPlace->UIDeactivate(), S_OK);
    EXPECT_EQ(container.activeObject, nullptr);

    ASSERT_NE(container.Activate(control, rect, OLEIVERB_UIACTIVATE), nullptr);
    ASSERT_NE(container.activeObject, nullptr);
    container.Deactivate();
    EXPECT_EQ(container.activeObject, nullptr);
    inPlace->Release();
}

TEST_F(UpControlTest, TwoControlsKeepTheirOwnLimitsAndTotals) {
    IDispatch* second = CreateByProgId(L"PARVEX.ParvexUpCtrl.1");
    ASSERT_NE(second, nullptr);
    TestContainer firstContainer, secondContainer;
    HWND firstWindow = firstContainer.Activate(control, {0, 0, 400, 200});
    HWND secondWindow = secondContainer.Activate(second, {0, 0, 400, 200});
    ASSERT_TRUE(firstWindow && secondWindow);

    ASSERT_EQ(CallByName(control, L"SetLimitUploadSize", {Number(1)}), S_OK);
    Attach(control, L"mail.eml", L"m1", 512);

    TempFile file(L"parvex_drop_test.txt", 1000);
    DropOn(GetWindow(firstWindow, GW_CHILD), file.path);
    EXPECT_EQ(CountOf(control), 2);
    EXPECT_EQ(DoubleResult(control, L"GetTotalUpSize"), 1512.0);
    EXPECT_EQ(DoubleResult(control, L"GetSmallTotalSize"), 1512.0);

    // The second control still has the default budget of 0 bytes.
    {
        BoxWatcher box(L"Limit Upload File Size");
        DropOn(GetWindow(secondWindow, GW_CHILD), file.path);
        EXPECT_TRUE(box.Seen());
        EXPECT_NE(box.texts_.find(L"업로드 가능한 전체크기[0 MB]를 초과하였습니다."), std::wstring::npos);
    }
    EXPECT_EQ(CountOf(second), 0);
    EXPECT_EQ(DoubleResult(second, L"GetTotalUpSize"), 0.0);
    EXPECT_EQ(CountOf(control), 2);

    ASSERT_EQ(CallByName(second, L"SetLimitUploadSize", {Number(0.5)}), S_OK);
    DropOn(GetWindow(secondWindow, GW_CHILD), file.path);
    EXPECT_EQ(CountOf(second), 1);
    EXPECT_EQ(DoubleResult(control, L"GetTotalUpSize"), 1512.0);
    EXPECT_EQ(DoubleResult(second, L"GetTotalUpSize"), 1000.0);

    secondContainer.Deactivate();
    second->Release();
}

TEST_F(UpControlTest, AboutBoxShowsTheControlsNameAndVersion) {
    BoxWatcher box(L"About Parvex_Up Control");
    ASSERT_EQ(CallByName(control, L"AboutBox", {}), S_OK);
    EXPECT_TRUE(box.Seen());
    EXPECT_NE(box.texts_.find(L"Parvex_Up Control, Version 1.0"), std::wstring::npos);
}

TEST_F(UpControlTest, DescribesItselfToContainersAndPersistsOnlyItsVersion) {
    IObjectSafety* safety = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety)), S_OK);
    DWORD supported = 0, enabled = 0;
    ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, static_cast<DWORD>(INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA));
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, supported, supported), S_OK);
    safety->Release();

    IProvideClassInfo2* classInfo = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&classInfo)), S_OK);
    GUID events = GUID_NULL;
    ASSERT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events), S_OK);
    EXPECT_TRUE(IsEqualGUID(events, DIID__DParvex_UpEvents));
    ITypeInfo* coclass = nullptr;
    ASSERT_EQ(classInfo->GetClassInfo(&coclass), S_OK);
    TYPEATTR* attributes = nullptr;
    coclass->GetTypeAttr(&attributes);
    EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, CLSID_Parvex_Up));
    coclass->ReleaseTypeAttr(attributes);
    coclass->Release();
    classInfo->Release();

    ISpecifyPropertyPages* pages = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages)), S_OK);
    CAUUID list = {};
    ASSERT_EQ(pages->GetPages(&list), S_OK);
    ASSERT_EQ(list.cElems, 1u);
    EXPECT_TRUE(IsEqualGUID(list.pElems[0], CLSID_ParvexUpPropPage));
    CoTaskMemFree(list.pElems);
    pages->Release();

    IOleObject* object = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)), S_OK);
    DWORD status = 0;
    object->GetMiscStatus(DVASPECT_CONTENT, &status);
    EXPECT_EQ(status, 0x20191u);
    object->Release();

    // Saving writes the version and nothing of the settings or the list.
    Attach(control, L"a.txt", L"u", 10);
    IPersistStreamInit* persist = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)), S_OK);
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    ASSERT_EQ(persist->Save(stream, TRUE), S_OK);
    STATSTG stat = {};
    stream->Stat(&stat, STATFLAG_NONAME);
    EXPECT_EQ(stat.cbSize.QuadPart, 4u);
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(persist->Load(stream), S_OK);
    EXPECT_EQ(CountOf(control), 1);
    stream->Release();
    persist->Release();

    IDispatch* download = CreateByProgId(L"PARVEX.ParvexDnCtrl.1");
    ASSERT_NE(download, nullptr);
    EXPECT_EQ(download->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety)), E_NOINTERFACE);
    download->Release();
}

// With a site list and no page address to judge (no browser around the
// control), a browser is refused safety for scripting and every method is
// refused; without the list all is as before.
TEST_F(UpControlTest, ALockedOutPageIsRefusedSafetyAndEveryMethod) {
    // The user's key, made here only when missing, and removed again: when
    // it exists the settings go to it.
    HKEY key;
    DWORD made = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Orvanta Component", 0, nullptr, 0,
                              KEY_WRITE | KEY_QUERY_VALUE, nullptr, &key, &made),
              ERROR_SUCCESS);
    const wchar_t sites[] = L"https://mail.example.com\0";
    RegSetValueExW(key, L"AllowedSites", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(sites), sizeof sites);
    IObjectSafety* safety = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety)), S_OK);
    const DWORD caller = INTERFACESAFE_FOR_UNTRUSTED_CALLER, data = INTERFACESAFE_FOR_UNTRUSTED_DATA;
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, caller, caller), E_FAIL);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IPersistPropertyBag, data, data), S_OK);
    for (const Method& method : kUpMethods) {
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        EXPECT_EQ(control->Invoke(method.id, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
                  E_ACCESSDENIED)
            << method.name;
    }
    RegDeleteValueW(key, L"AllowedSites");
    RegCloseKey(key);
    if (made == REG_CREATED_NEW_KEY) RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Orvanta Component");
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, caller, caller), S_OK);
    EXPECT_EQ(CountOf(control), 0);
    safety->Release();
}

TEST_F(UpControlTest, DownloadMethodsReachTheProcessQueue) {
    auto add = [&](const wchar_t* path, const wchar_t* name, int batch) {
        VARIANT result;
        VariantInit(&result);
        EXPECT_EQ(CallByName(control, L"AddDownloadFile", {Text(path), Text(name), Number(10), Number(batch)}, &result),
                  S_OK);
        return V_VT(&result) == VT_I2 ? V_I2(&result) : -100;
    };
    EXPECT_EQ(add(L"/files/a.txt", L"queue-a.txt", 2), 0);
    EXPECT_EQ(add(L"/files/b.txt", L"queue-b.txt", 2), 0);
    // The same name again is refused by the queue, and the batch of one
    // reports it at once.
    BoxWatcher box(L"항목 추가 실패");
    EXPECT_EQ(add(L"/files/a.txt", L"queue-a.txt", 1), -1);
    EXPECT_TRUE(box.Seen());
    EXPECT_NE(box.texts_.find(L"queue-a.txt"), std::wstring::npos);
}
