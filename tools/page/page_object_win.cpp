#include "tools/page/page_object_win.h"

#include <cstdio>
#include <string>

#include "tools/page/page_host_win.h"
#include "tools/page/screenshot_win.h"
#include "tools/page/window_actions_win.h"

namespace parvex::page {

namespace {

enum PageMethod : DISPID {
    kCreate = 1,
    kLog,
    kSetTimeout,
    kDropFiles,
    kPress,
    kText,
    kScreenshot,
    kExit,
    kClick,
    kSetText,
};

struct MethodName {
    const wchar_t* name;
    DISPID id;
    UINT arguments;
};

const MethodName kMethods[] = {
    {L"create", kCreate, 5},   {L"log", kLog, 1},   {L"setTimeout", kSetTimeout, 2}, {L"dropFiles", kDropFiles, 2},
    {L"press", kPress, 2},     {L"text", kText, 2}, {L"screenshot", kScreenshot, 2}, {L"exit", kExit, 1},
    {L"click", kClick, 3},     {L"setText", kSetText, 3},
};

const MethodName* FindMethod(DISPID id) {
    for (const auto& method : kMethods)
        if (method.id == id) return &method;
    return nullptr;
}

// The arguments of one call, in the order the script wrote them.
class Arguments {
public:
    explicit Arguments(DISPPARAMS* params) : params_(params) {}

    // False when argument i cannot be had as that type.
    bool Text(UINT i, std::wstring& out) {
        VARIANT v;
        if (!Convert(i, VT_BSTR, v)) return false;
        out.assign(V_BSTR(&v), SysStringLen(V_BSTR(&v)));
        VariantClear(&v);
        return true;
    }
    bool Integer(UINT i, long& out) {
        VARIANT v;
        if (!Convert(i, VT_I4, v)) return false;
        out = V_I4(&v);
        return true;
    }
    // A dispatch object, not a copy: no reference is added.
    IDispatch* Object(UINT i) {
        VARIANT* v = At(i);
        if (V_VT(v) == (VT_DISPATCH | VT_BYREF)) return *V_DISPATCHREF(v);
        return V_VT(v) == VT_DISPATCH ? V_DISPATCH(v) : nullptr;
    }

private:
    VARIANT* At(UINT i) { return &params_->rgvarg[params_->cArgs - 1 - i]; }
    bool Convert(UINT i, VARTYPE type, VARIANT& out) {
        VariantInit(&out);
        return SUCCEEDED(VariantChangeType(&out, At(i), 0, type));
    }

    DISPPARAMS* params_;
};

void PrintLine(const std::wstring& line) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr,
                                    nullptr);
    std::string text(static_cast<std::size_t>(bytes), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &text[0], bytes, nullptr,
                            nullptr);
    text += '\n';
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
}

HWND ControlWindow(IDispatch* control) {
    HWND window = nullptr;
    IOleInPlaceObject* inPlace = nullptr;
    if (control && SUCCEEDED(control->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
        inPlace->GetWindow(&window);
        inPlace->Release();
    }
    return window;
}

// The control's window that takes dropped files, as the shell finds it.
HWND DropTarget(HWND window) {
    if (!window || (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES)) return window;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (HWND found = DropTarget(child); found && (GetWindowLongW(found, GWL_EXSTYLE) & WS_EX_ACCEPTFILES))
            return found;
    return nullptr;
}

void SetBool(VARIANT* result, bool value) {
    if (!result) return;
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void SetText(VARIANT* result, const std::wstring& text) {
    if (!result) return;
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

HRESULT Fail(EXCEPINFO* error, const std::wstring& message) {
    if (!error) return E_FAIL;
    *error = EXCEPINFO{};
    error->bstrSource = SysAllocString(L"page");
    error->bstrDescription = SysAllocString(message.c_str());
    error->scode = E_FAIL;
    return DISP_E_EXCEPTION;
}

HWND WindowByCaption(PageHost& host, const std::wstring& caption) {
    return caption.empty() ? host.Window() : FindPageWindow(caption);
}

}  // namespace

HRESULT PageObject::QueryInterface(REFIID iid, void** out) {
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG PageObject::Release() {
    ULONG left = --refs;
    if (left == 0) delete this;
    return left;
}

HRESULT PageObject::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

HRESULT PageObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        for (const auto& method : kMethods)
            if (i == 0 && lstrcmpW(names[i], method.name) == 0) ids[i] = method.id;
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT PageObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* error, UINT* badArgument) {
    const MethodName* method = FindMethod(id);
    if (!method) return DISP_E_MEMBERNOTFOUND;
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (!params || params->cArgs != method->arguments) return DISP_E_BADPARAMCOUNT;
    if (result) VariantInit(result);
    Arguments args(params);
    std::wstring text, other;
    long x = 0, y = 0, width = 0, height = 0;
    auto badAt = [&](UINT i) {
        if (badArgument) *badArgument = params->cArgs - 1 - i;
        return DISP_E_TYPEMISMATCH;
    };
    switch (id) {
    case kCreate: {
        if (!args.Text(0, text)) return badAt(0);
        for (UINT i = 1; i < 5; ++i) {
            long* into[] = {&x, &y, &width, &height};
            if (!args.Integer(i, *into[i - 1])) return badAt(i);
        }
        std::wstring failure;
        IDispatch* control = host.CreateControl(text, RECT{x, y, x + width, y + height}, failure);
        if (!control) return Fail(error, failure);
        if (result) {
            V_VT(result) = VT_DISPATCH;
            V_DISPATCH(result) = control;
        } else {
            control->Release();
        }
        return S_OK;
    }
    case kLog:
        if (!args.Text(0, text)) return badAt(0);
        PrintLine(text);
        return S_OK;
    case kSetTimeout: {
        IDispatch* function = args.Object(0);
        if (!function) return badAt(0);
        if (!args.Integer(1, x)) return badAt(1);
        long timer = host.SetTimeout(function, x);
        if (result) {
            V_VT(result) = VT_I4;
            V_I4(result) = timer;
        }
        return S_OK;
    }
    case kDropFiles: {
        HWND target = DropTarget(ControlWindow(args.Object(0)));
        if (!target) return Fail(error, L"dropFiles: the first argument is no control that takes dropped files");
        if (!args.Text(1, text)) return badAt(1);
        if (!DropFiles(target, SplitPaths(text))) return Fail(error, L"dropFiles: no memory for the drop");
        return S_OK;
    }
    case kPress:
    case kText:
        if (!args.Text(0, text)) return badAt(0);
        if (!args.Integer(1, x)) return badAt(1);
        if (HWND window = FindPageWindow(text); id == kPress) {
            SetBool(result, window && PressButton(window, static_cast<int>(x)));
        } else {
            SetText(result, window ? WindowText(window, static_cast<int>(x)) : L"");
        }
        return S_OK;
    case kScreenshot:
        if (!args.Text(0, text)) return badAt(0);
        if (!args.Text(1, other)) return badAt(1);
        SetBool(result, SaveWindowPicture(WindowByCaption(host, text), other));
        return S_OK;
    case kExit:
        if (!args.Integer(0, x)) return badAt(0);
        host.Exit(static_cast<int>(x));
        return S_OK;
    case kClick: {
        HWND window = ControlWindow(args.Object(0));
        if (!window) return Fail(error, L"click: the first argument is no control on this page");
        if (!args.Integer(1, x)) return badAt(1);
        if (!args.Integer(2, y)) return badAt(2);
        SetBool(result, Click(window, static_cast<int>(x), static_cast<int>(y)));
        return S_OK;
    }
    case kSetText: {
        if (!args.Text(0, text)) return badAt(0);
        if (!args.Integer(1, x)) return badAt(1);
        if (!args.Text(2, other)) return badAt(2);
        HWND window = FindPageWindow(text);
        SetBool(result, window && TypeText(window, static_cast<int>(x), other));
        return S_OK;
    }
    }
    return DISP_E_MEMBERNOTFOUND;
}

}  // namespace parvex::page
