// Self-registration and the class factories of PARVEX.OCX, called through
// its exports as regsvr32 and COM call them.
#include <gtest/gtest.h>

#include <olectl.h>

#include <vector>

#include "control/com_module_win.h"
#include "parvex_h.h"
#include "tests/win/ocx_win.h"

using namespace parvex;
using namespace parvex::testing;

namespace {

// An export of a module as the function type it has; through void* since a
// FARPROC converts to no other function type without a warning.
template <class Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

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

    struct Page {
        const CLSID* clsid;
        const wchar_t* name;
        const wchar_t* progId;
    };
    const Page pages[] = {{&CLSID_ParvexUpPropPage, L"Parvex_Up Property Page", L"PARVEX.ParvexUpPropPage.1"},
                          {&CLSID_ParvexDnPropPage, L"Parvex_Dn Property Page", L"PARVEX.ParvexDnPropPage.1"}};
    for (const auto& page : pages) {
        const std::wstring key = L"CLSID\\" + Guid(*page.clsid);
        EXPECT_EQ(Text(key), page.name);
        EXPECT_EQ(Text(key + L"\\ProgID"), page.progId);
        EXPECT_EQ(Text(std::wstring(page.progId) + L"\\CLSID"), Guid(*page.clsid));
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
    EXPECT_FALSE(ClassesKeyExists(L"PARVEX.ParvexUpPropPage.1"));
    EXPECT_FALSE(ClassesKeyExists(L"PARVEX.ParvexDnPropPage.1"));
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
    auto getClassObject = Export<HRESULT(__stdcall*)(REFCLSID, REFIID, void**)>(ocx.get(), "DllGetClassObject");
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

namespace {

std::wstring ResourceString(HMODULE module, UINT id) {
    wchar_t text[256] = {0};
    LoadStringW(module, id, text, 256);
    return text;
}

// Position, size and caption of a plain dialog template of the module.
struct TemplateHead {
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring caption;
};

bool ReadTemplate(HMODULE module, int id, TemplateHead& head) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), reinterpret_cast<LPCWSTR>(RT_DIALOG));
    if (!found) return false;
    auto* dialog = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(module, found)));
    if (!dialog) return false;
    head.style = dialog->style;
    head.x = dialog->x;
    head.y = dialog->y;
    head.cx = dialog->cx;
    head.cy = dialog->cy;
    // Menu and class are empty (one zero word each); the caption follows.
    auto* words = reinterpret_cast<const WORD*>(dialog + 1);
    if (words[0] != 0 || words[1] != 0) return false;
    head.caption = reinterpret_cast<const wchar_t*>(words + 2);
    return true;
}

using Query = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

std::wstring VersionText(Query query, const std::vector<BYTE>& block, const wchar_t* name) {
    wchar_t* text = nullptr;
    UINT length = 0;
    std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!query || !query(block.data(), path.c_str(), reinterpret_cast<LPVOID*>(&text), &length) || !text)
        return L"<missing>";
    return text;
}

}  // namespace

TEST(ModuleResources, StringTableDialogsAndVersionAreTheDocumentedOnes) {
    OcxModule ocx;
    ASSERT_NE(ocx.get(), nullptr);
    const std::pair<UINT, const wchar_t*> strings[] = {{1, L"Parvex_Up Control"},       {2, L"Parvex_Up Property Page"},
                                                       {3, L"Parvex_Dn Control"},       {4, L"Parvex_Dn Property Page"},
                                                       {200, L"General"},               {201, L"General"}};
    for (const auto& s : strings) EXPECT_EQ(ResourceString(ocx.get(), s.first), s.second) << s.first;

    struct Expected {
        int id;
        short x, y, cx, cy;
        const wchar_t* caption;
        bool child;
    };
    const Expected dialogs[] = {{1, 34, 22, 260, 55, L"About Parvex_Up Control", false},
                                {2, 34, 22, 260, 55, L"About Parvex_Dn Control", false},
                                {200, 0, 0, 250, 62, L"", true},
                                {201, 0, 0, 250, 62, L"", true}};
    for (const Expected& e : dialogs) {
        TemplateHead head;
        ASSERT_TRUE(ReadTemplate(ocx.get(), e.id, head)) << e.id;
        EXPECT_EQ(head.x, e.x) << e.id;
        EXPECT_EQ(head.y, e.y) << e.id;
        EXPECT_EQ(head.cx, e.cx) << e.id;
        EXPECT_EQ(head.cy, e.cy) << e.id;
        EXPECT_EQ(head.caption, e.caption) << e.id;
        EXPECT_EQ((head.style & WS_CHILD) != 0, e.child) << e.id;
    }

    using SizeOf = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using InfoOf = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    HMODULE version = LoadLibraryW(L"version.dll");
    ASSERT_NE(version, nullptr);
    auto sizeOf = Export<SizeOf>(version, "GetFileVersionInfoSizeW");
    auto infoOf = Export<InfoOf>(version, "GetFileVersionInfoW");
    ASSERT_TRUE(sizeOf && infoOf);
    DWORD unused = 0;
    std::vector<BYTE> block(sizeOf(OcxPath().c_str(), &unused));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(infoOf(OcxPath().c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    auto query = Export<Query>(version, "VerQueryValueW");
    ASSERT_NE(query, nullptr);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query(block.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 15u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 1u);
    EXPECT_EQ(VersionText(query, block, L"FileDescription"), L"Parvex ActiveX Control Module");
    FreeLibrary(version);
}

namespace {

// Width and height of a bitmap resource, read from its header.
SIZE BitmapSize(HMODULE module, int id) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2));  // RT_BITMAP
    if (!found || SizeofResource(module, found) < sizeof(BITMAPINFOHEADER)) return {0, 0};
    const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, found)));
    return {header->biWidth, header->biHeight < 0 ? -header->biHeight : header->biHeight};
}

// The square sizes of the images of an icon resource, from its directory.
std::vector<int> IconSizes(HMODULE module, int id) {
    std::vector<int> sizes;
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    if (!found) return sizes;
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    int count = bytes[4] | bytes[5] << 8;
    for (int i = 0; i < count; ++i) {
        const BYTE* entry = bytes + 6 + 14 * i;  // width, height, colours, ...
        EXPECT_EQ(entry[0], entry[1]) << id;
        sizes.push_back(entry[0] ? entry[0] : 256);
    }
    return sizes;
}

}  // namespace

TEST(ModuleResources, PicturesAreInTheModuleAtTheirSizes) {
    OcxModule ocx;
    ASSERT_NE(ocx.get(), nullptr);
    const std::pair<int, SIZE> bitmaps[] = {{1, {16, 15}},    {2, {16, 15}},    {203, {26, 13}},
                                            {204, {322, 75}}, {215, {107, 16}}, {218, {107, 16}},
                                            {219, {107, 16}}, {220, {107, 16}}};
    for (const auto& b : bitmaps) {
        SIZE size = BitmapSize(ocx.get(), b.first);
        EXPECT_EQ(size.cx, b.second.cx) << "bitmap " << b.first;
        EXPECT_EQ(size.cy, b.second.cy) << "bitmap " << b.first;
    }
    EXPECT_EQ(IconSizes(ocx.get(), 1), (std::vector<int>{16, 32}));
    EXPECT_EQ(IconSizes(ocx.get(), 207), (std::vector<int>{16, 32}));
    EXPECT_EQ(IconSizes(ocx.get(), 223), (std::vector<int>{16}));
}
