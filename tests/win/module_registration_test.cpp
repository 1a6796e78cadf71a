// Self-registration and the class factories of PARVEX.OCX, called through
// its exports as regsvr32 and COM call them.
#include <gtest/gtest.h>

#include <olectl.h>

#include "control/com_module_win.h"
#include "parvex_h.h"
#include "tests/win/ocx_win.h"

using namespace parvex;
using namespace parvex::testing;

namespace {

std::wstring Guid(REFGUID guid) {
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

const wchar_t kScriptingCategory[] = L"{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
const wchar_t kInitialisingCategory[] = L"{7DD95802-9882-11CF-9FA9-00AA006C42C4}";

std::wstring Text(const std::wstring& key, const wchar_t* name = nullptr) {
    std::wstring value;
    return ClassesText(key, name, value) ? value : L"<missing>";
}

void ExpectControlEntries(REFCLSID clsid, const wchar_t* progId, const wchar_t* typeName, int bitmap) {
    const std::wstring key = L"CLSID\\" + Guid(clsid);
    SCOPED_TRACE(progId);
    EXPECT_EQ(Text(key), typeName);
    EXPECT_EQ(Text(key + L"\\ProgID"), progId);
    EXPECT_EQ(Text(progId), typeName);
    EXPECT_EQ(Text(std::wstring(progId) + L"\\CLSID"), Guid(clsid));
    EXPECT_EQ(lstrcmpiW(Text(key + L"\\InprocServer32").c_str(), OcxPath().c_str()), 0);
    EXPECT_EQ(Text(key + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_TRUE(ClassesKeyExists(key + L"\\Control"));
    EXPECT_FALSE(ClassesKeyExists(key + L"\\Insertable"));
    std::wstring toolbox = Text(key + L"\\ToolboxBitmap32");
    EXPECT_EQ(lstrcmpiW(toolbox.c_str(), (OcxPath() + L", " + std::to_wstring(bitmap)).c_str()), 0) << toolbox.c_str();
    EXPECT_EQ(Text(key + L"\\MiscStatus\\1"), L"131473");
    EXPECT_EQ(Text(key + L"\\TypeLib"), Guid(LIBID_PARVEXLib));
    EXPECT_EQ(Text(key + L"\\Version"), L"1.0");
}

}  // namespace

TEST(ModuleRegistration, WritesClassesTypeLibraryCategoriesAndOnlyTheUploadControlsMarks) {
    OleScope ole;
    ASSERT_EQ(CallOcxExport("DllRegisterServer"), S_OK);
    ExpectControlEntries(CLSID_Parvex_Up, L"PARVEX.ParvexUpCtrl.1", L"Parvex_Up Control", 1);
    ExpectControlEntries(CLSID_Parvex_Dn, L"PARVEX.ParvexDnCtrl.1", L"Parvex_Dn Control", 2);

    const std::pair<const CLSID*, const wchar_t*> pages[] = {{&CLSID_ParvexUpPropPage, L"Parvex_Up Property Page"},
                                                             {&CLSID_ParvexDnPropPage, L"Parvex_Dn Property Page"}};
    for (const auto& page : pages) {
        const std::wstring key = L"CLSID\\" + Guid(*page.first);
        EXPECT_EQ(Text(key), page.second);
        EXPECT_EQ(lstrcmpiW(Text(key + L"\\InprocServer32").c_str(), OcxPath().c_str()), 0);
        EXPECT_FALSE(ClassesKeyExists(key + L"\\Control"));
    }

    const std::wstring library = L"TypeLib\\" + Guid(LIBID_PARVEXLib) + L"\\1.0";
    EXPECT_EQ(Text(library), L"Parvex ActiveX Control module");
    EXPECT_TRUE(ClassesKeyExists(library + L"\\409\\win32") || ClassesKeyExists(library + L"\\0\\win32"));

    EXPECT_EQ(Text(std::wstring(L"Component Categories\\") + kScriptingCategory, L"409"),
              L"Controls that are safely scriptable");
    EXPECT_EQ(Text(std::wstring(L"Component Categories\\") + kInitialisingCategory, L"409"),
              L"Controls safely initializable from persistent data");
    const std::wstring up = L"CLSID\\" + Guid(CLSID_Parvex_Up) + L"\\Implemented Categories\\";
    EXPECT_TRUE(ClassesKeyExists(up + kScriptingCategory));
    EXPECT_TRUE(ClassesKeyExists(up + kInitialisingCategory));
    EXPECT_FALSE(ClassesKeyExists(L"CLSID\\" + Guid(CLSID_Parvex_Dn) + L"\\Implemented Categories"));

    // Categories that exist already are no reason to fail.
    EXPECT_EQ(CallOcxExport("DllRegisterServer"), S_OK);
}

TEST(ModuleRegistration, UnregisteringRemovesClassesAndTypeLibraryButKeepsCategoriesAndMarks) {
    OleScope ole;
    ASSERT_EQ(CallOcxExport("DllRegisterServer"), S_OK);
    ASSERT_EQ(CallOcxExport("DllUnregisterServer"), S_OK);

    for (const CLSID* clsid : {&CLSID_Parvex_Up, &CLSID_Parvex_Dn, &CLSID_ParvexUpPropPage, &CLSID_ParvexDnPropPage})
        EXPECT_FALSE(ClassesKeyExists(L"CLSID\\" + Guid(*clsid) + L"\\InprocServer32"));
    EXPECT_FALSE(ClassesKeyExists(L"PARVEX.ParvexUpCtrl.1"));
    EXPECT_FALSE(ClassesKeyExists(L"PARVEX.ParvexDnCtrl.1"));
    EXPECT_FALSE(ClassesKeyExists(L"TypeLib\\" + Guid(LIBID_PARVEXLib) + L"\\1.0"));
    CLSID clsid;
    EXPECT_FALSE(SUCCEEDED(CLSIDFromProgID(L"PARVEX.ParvexUpCtrl.1", &clsid)));

    EXPECT_TRUE(ClassesKeyExists(std::wstring(L"Component Categories\\") + kScriptingCategory));
    EXPECT_TRUE(ClassesKeyExists(std::wstring(L"Component Categories\\") + kInitialisingCategory));
    const std::wstring up = L"CLSID\\" + Guid(CLSID_Parvex_Up) + L"\\Implemented Categories\\";
    EXPECT_TRUE(ClassesKeyExists(up + kScriptingCategory));

    // With the type library gone, a second unregistration fails at its first step.
    EXPECT_EQ(CallOcxExport("DllUnregisterServer"), static_cast<HRESULT>(SELFREG_E_TYPELIB));
    EXPECT_EQ(CallOcxExport("DllRegisterServer"), S_OK);
}

TEST(ModuleFactories, HandOutFourClassesAndKeepTheModuleWhileObjectsOrLocksLive) {
    OleScope ole;
    EnsureRegistered();
    OcxModule ocx;
    auto getClassObject = reinterpret_cast<HRESULT(__stdcall*)(REFCLSID, REFIID, void**)>(
        GetProcAddress(ocx.get(), "DllGetClassObject"));
    auto canUnload = reinterpret_cast<HRESULT(__stdcall*)()>(GetProcAddress(ocx.get(), "DllCanUnloadNow"));
    ASSERT_TRUE(getClassObject && canUnload);
    ASSERT_EQ(canUnload(), S_OK);

    IClassFactory* factories[4] = {};
    const CLSID* classes[4] = {&CLSID_Parvex_Up, &CLSID_Parvex_Dn, &CLSID_ParvexUpPropPage, &CLSID_ParvexDnPropPage};
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(getClassObject(*classes[i], IID_IClassFactory, reinterpret_cast<void**>(&factories[i])), S_OK);
    void* none = &none;
    EXPECT_EQ(getClassObject(IID_IDispatch, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);

    IUnknown* outer = reinterpret_cast<IUnknown*>(factories[0]);
    IUnknown* object = nullptr;
    EXPECT_EQ(factories[0]->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&object)),
              CLASS_E_NOAGGREGATION);

    factories[0]->LockServer(TRUE);
    EXPECT_EQ(canUnload(), S_FALSE);
    factories[0]->LockServer(FALSE);
    EXPECT_EQ(canUnload(), S_OK);

    IPropertyPage* page = nullptr;
    ASSERT_EQ(factories[3]->CreateInstance(nullptr, IID_IPropertyPage, reinterpret_cast<void**>(&page)), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
    PROPPAGEINFO info = {};
    info.cb = sizeof info;
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_STREQ(info.pszTitle, L"General");
    EXPECT_GT(info.size.cx, info.size.cy);
    CoTaskMemFree(info.pszTitle);
    page->Release();
    EXPECT_EQ(canUnload(), S_OK);
    for (IClassFactory* factory : factories) factory->Release();
}
