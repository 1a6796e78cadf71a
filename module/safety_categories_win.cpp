#include "module/safety_categories_win.h"

#include <comcat.h>

#include <string>

#include "common/trace.h"
#include "module/classes_keys_win.h"
#include "parvex_h.h"

namespace parvex {

namespace {

struct Category {
    CATID id;
    const wchar_t* description;
};

// Platform-defined identities of the two safety categories.
const Category kCategories[] = {
    {{0x7dd95801, 0x9882, 0x11cf, {0x9f, 0xa9, 0x00, 0xaa, 0x00, 0x6c, 0x42, 0xc4}},
     L"Controls that are safely scriptable"},
    {{0x7dd95802, 0x9882, 0x11cf, {0x9f, 0xa9, 0x00, 0xaa, 0x00, 0x6c, 0x42, 0xc4}},
     L"Controls safely initializable from persistent data"},
};
const wchar_t kLocale[] = L"409";  // 1033, as the manager names it

std::wstring CategoryKey(const Category& category) { return L"Component Categories\\" + GuidText(category.id); }
std::wstring MarksKey() { return L"CLSID\\" + GuidText(CLSID_Parvex_Up) + L"\\Implemented Categories"; }

ICatRegister* CategoryManager() {
    ICatRegister* manager = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                  reinterpret_cast<void**>(&manager));
    if (FAILED(hr)) {
        TraceFailure(L"CoCreateInstance", L"of the component categories manager", hr);
        return nullptr;
    }
    return manager;
}

HRESULT CreateComponentCategory(const Category& category) {
    ICatRegister* manager = CategoryManager();
    if (!manager) return E_FAIL;
    CATEGORYINFO info = {};
    info.catid = category.id;
    info.lcid = 0x0409;
    // The record holds at most 127 characters and the terminator.
    lstrcpynW(info.szDescription, category.description, 128);
    HRESULT hr = manager->RegisterCategories(1, &info);
    manager->Release();
    if (FAILED(hr)) TraceFailure(L"register the category", category.description, hr);
    return hr;
}

HRESULT MarkUploadControl(const Category& category) {
    ICatRegister* manager = CategoryManager();
    if (!manager) return E_FAIL;
    CATID categories[1] = {category.id};
    HRESULT hr = manager->RegisterClassImplCategories(CLSID_Parvex_Up, 1, categories);
    manager->Release();
    if (FAILED(hr)) TraceFailure(L"mark the upload control with a category", L"in the registry", hr);
    return hr;
}

HRESULT WriteUserCategories() {
    for (const Category& category : kCategories)
        if (!SetClassesText(CategoryKey(category), kLocale, category.description)) return E_FAIL;
    for (const Category& category : kCategories)
        if (!CreateClassesKey(MarksKey() + L"\\" + GuidText(category.id))) return E_FAIL;
    return S_OK;
}

}  // namespace

HRESULT RegisterSafetyCategories(bool perUser) {
    if (perUser) return WriteUserCategories();
    for (const Category& category : kCategories)
        if (FAILED(CreateComponentCategory(category))) return E_FAIL;
    for (const Category& category : kCategories)
        if (FAILED(MarkUploadControl(category))) return E_FAIL;
    return S_OK;
}

void RemoveUserSafetyCategories() {
    DeleteClassesTree(MarksKey());
    for (const Category& category : kCategories) DeleteClassesTree(CategoryKey(category));
}

}  // namespace parvex
