#define CINTERFACE
#define COBJMACROS
#include "control/property_page_win.h"

#include <ole2.h>
#include <ocidl.h>

#include <new>

#include "control/com_module_win.h"
#include "resources/resource.h"

namespace parvex {

namespace {

struct PropertyPage {
    IPropertyPage IPropertyPage_iface;
    LONG refs;
    int dialogId;
    int captionId;
    IPropertyPageSite* pageSite;
    HWND dialog;
};

inline PropertyPage* impl_from_IPropertyPage(IPropertyPage* iface) {
    return CONTAINING_RECORD(iface, PropertyPage, IPropertyPage_iface);
}

INT_PTR CALLBACK PageDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

HRESULT STDMETHODCALLTYPE Page_QueryInterface(IPropertyPage* iface, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IPropertyPage)) return E_NOINTERFACE;
    *out = iface;
    IPropertyPage_AddRef(iface);
    return S_OK;
}

ULONG STDMETHODCALLTYPE Page_AddRef(IPropertyPage* iface) {
    return InterlockedIncrement(&impl_from_IPropertyPage(iface)->refs);
}

ULONG STDMETHODCALLTYPE Page_Release(IPropertyPage* iface) {
    PropertyPage* page = impl_from_IPropertyPage(iface);
    ULONG refs = InterlockedDecrement(&page->refs);
    if (refs) return refs;
    if (page->dialog) DestroyWindow(page->dialog);
    if (page->pageSite) IPropertyPageSite_Release(page->pageSite);
    delete page;
    ObjectDestroyed();
    return 0;
}

HRESULT STDMETHODCALLTYPE Page_SetPageSite(IPropertyPage* iface, IPropertyPageSite* site) {
    PropertyPage* page = impl_from_IPropertyPage(iface);
    if (site) IPropertyPageSite_AddRef(site);
    if (page->pageSite) IPropertyPageSite_Release(page->pageSite);
    page->pageSite = site;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Page_Activate(IPropertyPage* iface, HWND parent, LPCRECT rect, BOOL) {
    PropertyPage* page = impl_from_IPropertyPage(iface);
    if (page->dialog) return E_UNEXPECTED;
    page->dialog = CreateDialogParamW(ModuleHandle(), MAKEINTRESOURCEW(page->dialogId), parent, PageDialogProc, 0);
    if (!page->dialog) return E_FAIL;
    if (rect) MoveWindow(page->dialog, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Page_Deactivate(IPropertyPage* iface) {
    PropertyPage* page = impl_from_IPropertyPage(iface);
    if (page->dialog) DestroyWindow(page->dialog);
    page->dialog = nullptr;
    return S_OK;
}

// The page's size is its template's, in the pixels of its own font: measured
// on a hidden copy of the dialog.
SIZE PageSize(int dialogId) {
    SIZE size = {0, 0};
    HWND holder = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, ModuleHandle(), nullptr);
    HWND dialog = CreateDialogParamW(ModuleHandle(), MAKEINTRESOURCEW(dialogId), holder, PageDialogProc, 0);
    if (dialog) {
        RECT rect;
        GetWindowRect(dialog, &rect);
        size.cx = rect.right - rect.left;
        size.cy = rect.bottom - rect.top;
        DestroyWindow(dialog);
    }
    if (holder) DestroyWindow(holder);
    return size;
}

HRESULT STDMETHODCALLTYPE Page_GetPageInfo(IPropertyPage* iface, PROPPAGEINFO* info) {
    PropertyPage* page = impl_from_IPropertyPage(iface);
    if (!info) return E_POINTER;
    wchar_t caption[64] = {0};
    LoadStringW(ModuleHandle(), page->captionId, caption, 64);
    size_t bytes = (wcslen(caption) + 1) * sizeof(wchar_t);
    info->pszTitle = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!info->pszTitle) return E_OUTOFMEMORY;
    memcpy(info->pszTitle, caption, bytes);
    info->size = PageSize(page->dialogId);
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    return S_OK;
}

// Applying a page changes nothing, so the objects are not even kept.
HRESULT STDMETHODCALLTYPE Page_SetObjects(IPropertyPage*, ULONG, IUnknown**) { return S_OK; }

HRESULT STDMETHODCALLTYPE Page_Show(IPropertyPage* iface, UINT show) {
    PropertyPage* page = impl_from_IPropertyPage(iface);
    if (!page->dialog) return E_UNEXPECTED;
    ShowWindow(page->dialog, show);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Page_Move(IPropertyPage* iface, LPCRECT rect) {
    PropertyPage* page = impl_from_IPropertyPage(iface);
    if (!page->dialog) return E_UNEXPECTED;
    if (!rect) return E_POINTER;
    MoveWindow(page->dialog, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Page_IsPageDirty(IPropertyPage*) { return S_FALSE; }
HRESULT STDMETHODCALLTYPE Page_Apply(IPropertyPage*) { return S_OK; }
HRESULT STDMETHODCALLTYPE Page_Help(IPropertyPage*, LPCOLESTR) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE Page_TranslateAccelerator(IPropertyPage* iface, MSG* message) {
    PropertyPage* page = impl_from_IPropertyPage(iface);
    if (page->dialog && message && IsDialogMessageW(page->dialog, message)) return S_OK;
    return S_FALSE;
}

const IPropertyPageVtbl PageVtbl = {
    Page_QueryInterface, Page_AddRef,     Page_Release,      Page_SetPageSite, Page_Activate,
    Page_Deactivate,     Page_GetPageInfo, Page_SetObjects,  Page_Show,        Page_Move,
    Page_IsPageDirty,    Page_Apply,      Page_Help,         Page_TranslateAccelerator,
};

HRESULT CreatePage(int dialogId, int captionId, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    PropertyPage* page = new (std::nothrow) PropertyPage();
    if (!page) return E_OUTOFMEMORY;
    page->IPropertyPage_iface.lpVtbl = const_cast<IPropertyPageVtbl*>(&PageVtbl);
    page->refs = 1;
    page->dialogId = dialogId;
    page->captionId = captionId;
    ObjectCreated();
    HRESULT hr = Page_QueryInterface(&page->IPropertyPage_iface, iid, out);
    Page_Release(&page->IPropertyPage_iface);
    return hr;
}

}  // namespace

HRESULT CreateUpPropertyPage(REFIID iid, void** out) {
    return CreatePage(IDD_PROPPAGE_PARVEX_UP, IDS_PARVEX_UP_PPG_CAPTION, iid, out);
}

HRESULT CreateDnPropertyPage(REFIID iid, void** out) {
    return CreatePage(IDD_PROPPAGE_PARVEX_DN, IDS_PARVEX_DN_PPG_CAPTION, iid, out);
}

}  // namespace parvex
