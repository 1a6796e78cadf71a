#include "tests/win/test_container_win.h"

#include <algorithm>

namespace parvex::testing {

namespace {
const wchar_t kContainerClass[] = L"ParvexTestContainer";

void RegisterContainerClass() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = kContainerClass;
    RegisterClassExW(&wc);  // fails harmlessly when already registered
}
}  // namespace

TestContainer::TestContainer() {
    RegisterContainerClass();
    window_ = CreateWindowExW(0, kContainerClass, L"Parvex test container", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                              640, 480, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window_, SW_SHOW);
}

TestContainer::~TestContainer() {
    Deactivate();
    if (window_) DestroyWindow(window_);
    Pump();
}

HRESULT TestContainer::QueryInterface(REFIID iid, void** out) {
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
        *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
        *out = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
        *out = static_cast<IOleInPlaceFrame*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

HRESULT TestContainer::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                        LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    *frame = this;
    AddRef();
    *document = nullptr;
    *position = rect_;
    GetClientRect(window_, clip);
    info->fMDIApp = FALSE;
    info->hwndFrame = window_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

HRESULT TestContainer::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) {
    if (object) object->AddRef();
    if (activeObject) activeObject->Release();
    activeObject = object;
    return S_OK;
}

HWND TestContainer::Activate(IUnknown* control, const RECT& rect, LONG verb) {
    Deactivate();
    rect_ = rect;
    if (FAILED(control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object_)))) return nullptr;
    object_->SetClientSite(this);
    object_->DoVerb(verb, nullptr, this, 0, window_, &rect_);
    Pump();
    HWND window = nullptr;
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(control->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
        inPlace->GetWindow(&window);
        inPlace->Release();
    }
    return window;
}

void TestContainer::Deactivate() {
    if (!object_) return;
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
    object_->Release();
    object_ = nullptr;
    Pump();
}

void TestContainer::Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

HRESULT CallByName(IDispatch* object, const std::wstring& name, std::vector<VARIANT> args, VARIANT* result) {
    std::wstring copy = name;
    LPOLESTR names[1] = {&copy[0]};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (SUCCEEDED(hr)) {
        // Dispatch takes the arguments last first.
        std::reverse(args.begin(), args.end());
        DISPPARAMS params = {args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        if (result) VariantInit(result);
        hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, nullptr);
    }
    for (VARIANT& v : args) VariantClear(&v);
    return hr;
}

VARIANT Text(const wchar_t* text) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(text);
    return v;
}

VARIANT Number(double value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_R8;
    V_R8(&v) = value;
    return v;
}

VARIANT Integer(long value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

DISPID IdOf(IDispatch* object, const wchar_t* name) {
    std::wstring copy = name;
    LPOLESTR names[1] = {&copy[0]};
    DISPID id = DISPID_UNKNOWN;
    object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

}  // namespace parvex::testing
