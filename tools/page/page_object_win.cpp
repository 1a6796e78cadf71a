#include "tools/page/page_object_win.h"

#include <cstdio>
#include <string>

#include "tools/page/browser_settings_win.h"
#include "tools/page/file_actions_win.h"
#include "tools/page/http_get_win.h"
#include "tools/page/ole_drop_win.h"
#include "tools/page/page_host_win.h"
#include "tools/page/screenshot_win.h"
#include "tools/page/window_actions_win.h"

namespace parvex::page {

namespace {

// The arguments of one call, in the order the script wrote them; a failed
// conversion leaves a message naming the argument.
class Arguments {
public:
    Arguments(DISPPARAMS* params, const wchar_t* method) : params_(params), method_(method) {}

    bool Text(UINT i, std::wstring& out) {
        VARIANT v;
        if (!Convert(i, VT_BSTR, v, L"a text")) return false;
        out.assign(V_BSTR(&v), SysStringLen(V_BSTR(&v)));
        VariantClear(&v);
        return true;
    }
    bool Integer(UINT i, long& out) {
        VARIANT v;
        if (!Convert(i, VT_I4, v, L"a number")) return false;
        out = V_I4(&v);
        return true;
    }
    // A dispatch object, not a copy: no reference is added.
    bool Object(UINT i, IDispatch*& out) {
        VARIANT* v = At(i);
        out = V_VT(v) == (VT_DISPATCH | VT_BYREF) ? *V_DISPATCHREF(v)
              : V_VT(v) == VT_DISPATCH            ? V_DISPATCH(v)
                                                  : nullptr;
        return out || Refuse(i, L"an object");
    }
    bool IsText(UINT i) { return V_VT(At(i)) == VT_BSTR || V_VT(At(i)) == (VT_BSTR | VT_BYREF); }
    bool Refuse(UINT i, const wchar_t* want) {
        failure = std::wstring(L"page.") + method_ + L": argument " + std::to_wstring(i + 1) + L" is not " + want;
        return false;
    }

    std::wstring failure;

private:
    VARIANT* At(UINT i) { return &params_->rgvarg[params_->cArgs - 1 - i]; }
    bool Convert(UINT i, VARTYPE type, VARIANT& out, const wchar_t* want) {
        VariantInit(&out);
        return SUCCEEDED(VariantChangeType(&out, At(i), 0, type)) || Refuse(i, want);
    }

    DISPPARAMS* params_;
    const wchar_t* method_;
};

void PrintLine(const std::wstring& line) {
    int bytes =
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(bytes), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &text[0], bytes, nullptr, nullptr);
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
        if (HWND found = DropTarget(child)) return found;
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

// Each method: false with args.failure set when the call cannot be made.
using Method = bool (*)(PageHost& host, Arguments& args, VARIANT* result);

bool Create(PageHost& host, Arguments& args, VARIANT* result) {
    std::wstring progId;
    long x, y, width, height;
    if (!args.Text(0, progId) || !args.Integer(1, x) || !args.Integer(2, y) || !args.Integer(3, width) ||
        !args.Integer(4, height))
        return false;
    IDispatch* control = host.CreateControl(progId, RECT{x, y, x + width, y + height}, args.failure);
    if (!control) return false;
    if (result) {
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = control;
    } else {
        control->Release();
    }
    return true;
}

bool SetUrl(PageHost& host, Arguments& args, VARIANT*) {
    std::wstring url;
    return args.Text(0, url) && host.SetUrl(url, args.failure);
}

// The captions of the visible top-level windows of the page's process but
// the page's own, joined by "|": what the controls have opened.
bool Windows(PageHost& host, Arguments&, VARIANT* result) {
    std::wstring captions;
    for (const std::wstring& caption : PageWindowCaptions()) {
        if (caption == WindowText(host.Window(), 0)) continue;
        captions += (captions.empty() ? L"" : L"|") + caption;
    }
    SetText(result, captions);
    return true;
}

bool Log(PageHost&, Arguments& args, VARIANT*) {
    std::wstring text;
    if (!args.Text(0, text)) return false;
    PrintLine(text);
    return true;
}

bool SetTimeout(PageHost& host, Arguments& args, VARIANT* result) {
    IDispatch* function;
    long milliseconds;
    if (!args.Object(0, function) || !args.Integer(1, milliseconds)) return false;
    long timer = host.SetTimeout(function, milliseconds);
    if (result) {
        V_VT(result) = VT_I4;
        V_I4(result) = timer;
    }
    return true;
}

bool Drop(PageHost&, Arguments& args, VARIANT*) {
    IDispatch* control;
    std::wstring paths;
    if (!args.Object(0, control) || !args.Text(1, paths)) return false;
    HWND target = DropTarget(ControlWindow(control));
    if (!target) return args.Refuse(0, L"a control that takes dropped files");
    if (DropFiles(target, SplitPaths(paths))) return true;
    args.failure = L"page.dropFiles: no memory for the drop";
    return false;
}

bool OleDrop(PageHost&, Arguments& args, VARIANT* result) {
    IDispatch* control;
    std::wstring paths;
    if (!args.Object(0, control) || !args.Text(1, paths)) return false;
    HWND target = DropTarget(ControlWindow(control));
    if (!target) return args.Refuse(0, L"a control that takes dropped files");
    SetBool(result, OleDropFiles(target, SplitPaths(paths)));
    return true;
}

bool Press(PageHost&, Arguments& args, VARIANT* result) {
    std::wstring caption;
    long id;
    if (!args.Text(0, caption) || !args.Integer(1, id)) return false;
    HWND window = FindPageWindow(caption);
    SetBool(result, window && PressButton(window, static_cast<int>(id)));
    return true;
}

bool Text(PageHost&, Arguments& args, VARIANT* result) {
    std::wstring caption;
    long id;
    if (!args.Text(0, caption) || !args.Integer(1, id)) return false;
    HWND window = FindPageWindow(caption);
    SetText(result, window ? WindowText(window, static_cast<int>(id)) : L"");
    return true;
}

bool Screenshot(PageHost& host, Arguments& args, VARIANT* result) {
    std::wstring caption, path;
    if (!args.Text(0, caption) || !args.Text(1, path)) return false;
    SetBool(result, SaveWindowPicture(caption.empty() ? host.Window() : FindPageWindow(caption), path));
    return true;
}

bool Exit(PageHost& host, Arguments& args, VARIANT*) {
    long code;
    if (!args.Integer(0, code)) return false;
    host.Exit(static_cast<int>(code));
    return true;
}

// Argument i names a control of the page, or a window of the page's by its
// caption; window is null when no window has that caption.
bool ControlOrCaption(Arguments& args, UINT i, HWND& window) {
    window = nullptr;
    if (args.IsText(i)) {
        std::wstring caption;
        if (!args.Text(i, caption)) return false;
        window = FindPageWindow(caption);
        return true;
    }
    IDispatch* control = nullptr;
    if (!args.Object(i, control)) return false;
    window = ControlWindow(control);
    return window || args.Refuse(i, L"a control on this page");
}

bool ClickAt(PageHost&, Arguments& args, VARIANT* result) {
    long x, y;
    HWND window;
    if (!args.Integer(1, x) || !args.Integer(2, y) || !ControlOrCaption(args, 0, window)) return false;
    SetBool(result, window && Click(window, static_cast<int>(x), static_cast<int>(y)));
    return true;
}

bool ListText(PageHost&, Arguments& args, VARIANT* result) {
    long id, row, column;
    HWND window;
    if (!ControlOrCaption(args, 0, window) || !args.Integer(1, id) || !args.Integer(2, row) || !args.Integer(3, column))
        return false;
    SetText(result,
            window ? ListItemText(window, static_cast<int>(id), static_cast<int>(row), static_cast<int>(column)) : L"");
    return true;
}

bool SystemCommand(PageHost&, Arguments& args, VARIANT* result) {
    std::wstring caption;
    long command;
    if (!args.Text(0, caption) || !args.Integer(1, command)) return false;
    HWND window = FindPageWindow(caption);
    SetBool(result, window && PostSystemCommand(window, static_cast<WPARAM>(command)));
    return true;
}

bool ClickTrayAt(PageHost&, Arguments& args, VARIANT* result) {
    long x, y;
    if (!args.Integer(0, x) || !args.Integer(1, y)) return false;
    SetBool(result, ClickNotificationArea(static_cast<int>(x), static_cast<int>(y)));
    return true;
}

bool TrayScreenshot(PageHost&, Arguments& args, VARIANT* result) {
    std::wstring path;
    if (!args.Text(0, path)) return false;
    SetBool(result, SaveScreenPicture(NotificationAreaRect(), path));
    return true;
}

bool Type(PageHost&, Arguments& args, VARIANT* result) {
    std::wstring caption, text;
    long id;
    if (!args.Text(0, caption) || !args.Integer(1, id) || !args.Text(2, text)) return false;
    HWND window = FindPageWindow(caption);
    SetBool(result, window && TypeText(window, static_cast<int>(id), text));
    return true;
}

bool Key(PageHost&, Arguments& args, VARIANT* result) {
    long id, key;
    HWND window;
    if (!ControlOrCaption(args, 0, window) || !args.Integer(1, id) || !args.Integer(2, key)) return false;
    SetBool(result, window && PressKey(window, static_cast<int>(id), static_cast<int>(key)));
    return true;
}

bool ShortPath(PageHost&, Arguments& args, VARIANT* result) {
    std::wstring path;
    if (!args.Text(0, path)) return false;
    wchar_t buffer[MAX_PATH];
    DWORD length = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
    SetText(result, length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : std::wstring());
    return true;
}

bool Close(PageHost&, Arguments& args, VARIANT* result) {
    std::wstring caption;
    if (!args.Text(0, caption)) return false;
    HWND window = FindPageWindow(caption);
    SetBool(result, window && PressCloseBox(window));
    return true;
}

bool RemoveFile(PageHost&, Arguments& args, VARIANT* result) {
    std::wstring path;
    if (!args.Text(0, path)) return false;
    SetBool(result, DeleteFileW(path.c_str()) != FALSE);
    return true;
}

// The size in bytes of a file, -1 when there is none at path.
bool FileSize(PageHost&, Arguments& args, VARIANT* result) {
    std::wstring path;
    if (!args.Text(0, path)) return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    double size = -1;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
        !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        size = data.nFileSizeHigh * 4294967296.0 + data.nFileSizeLow;
    if (result) {
        V_VT(result) = VT_R8;
        V_R8(result) = size;
    }
    return true;
}

bool RewriteFile(PageHost&, Arguments& args, VARIANT* result) {
    std::wstring path;
    if (!args.Text(0, path)) return false;
    SetBool(result, RewriteInPlace(path));
    return true;
}

bool SetCookie(PageHost&, Arguments& args, VARIANT* result) {
    std::wstring url, text;
    if (!args.Text(0, url) || !args.Text(1, text)) return false;
    SetBool(result, SetBrowserCookie(url, text));
    return true;
}

bool SetSaveFolder(PageHost&, Arguments& args, VARIANT* result) {
    std::wstring folder;
    if (!args.Text(0, folder)) return false;
    SetBool(result, SetRememberedSaveFolder(folder));
    return true;
}

bool Get(PageHost&, Arguments& args, VARIANT* result) {
    std::wstring url;
    if (!args.Text(0, url)) return false;
    std::string body;
    if (!HttpGet(url, body)) {
        args.failure = L"page.get: no answer from " + url;
        return false;
    }
    SetText(result, std::wstring(body.begin(), body.end()));
    return true;
}

struct MethodEntry {
    const wchar_t* name;
    UINT arguments;
    Method call;
};

// A method's DISPID is its place in this table plus one.
const MethodEntry kMethods[] = {
    {L"create", 5, Create},
    {L"log", 1, Log},
    {L"setTimeout", 2, SetTimeout},
    {L"dropFiles", 2, Drop},
    {L"press", 2, Press},
    {L"text", 2, Text},
    {L"screenshot", 2, Screenshot},
    {L"exit", 1, Exit},
    {L"click", 3, ClickAt},
    {L"setText", 3, Type},
    {L"sysCommand", 2, SystemCommand},
    {L"clickTray", 2, ClickTrayAt},
    {L"screenshotTray", 1, TrayScreenshot},
    {L"listText", 4, ListText},
    {L"key", 3, Key},
    {L"close", 1, Close},
    {L"removeFile", 1, RemoveFile},
    {L"setCookie", 2, SetCookie},
    {L"setSaveFolder", 1, SetSaveFolder},
    {L"get", 1, Get},
    {L"oleDropFiles", 2, OleDrop},
    {L"fileSize", 1, FileSize},
    {L"shortPath", 1, ShortPath},
    {L"rewriteFile", 1, RewriteFile},
    {L"setUrl", 1, SetUrl},
    {L"windows", 0, Windows},
};
const DISPID kMethodCount = sizeof kMethods / sizeof kMethods[0];

HRESULT Fail(EXCEPINFO* error, const std::wstring& message) {
    if (!error) return E_FAIL;
    *error = EXCEPINFO{};
    error->bstrSource = SysAllocString(L"page");
    error->bstrDescription = SysAllocString(message.c_str());
    error->scode = E_FAIL;
    return DISP_E_EXCEPTION;
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
    // Only the method's own name; the methods take no named arguments.
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (DISPID id = 0; count > 0 && id < kMethodCount; ++id)
        if (lstrcmpW(names[0], kMethods[id].name) == 0) ids[0] = id + 1;
    return ids[0] != DISPID_UNKNOWN && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT PageObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* error,
                           UINT*) {
    if (id < 1 || id > kMethodCount || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    // Once the page has ended, its script runs no further than its next call.
    if (host.Exiting()) return Fail(error, L"the page has ended");
    const MethodEntry& method = kMethods[id - 1];
    if (!params || params->cArgs != method.arguments)
        return Fail(error, std::wstring(L"page.") + method.name + L" takes " + std::to_wstring(method.arguments) +
                               L" argument(s)");
    if (result) VariantInit(result);
    Arguments args(params, method.name);
    return method.call(host, args, result) ? S_OK : Fail(error, args.failure);
}

}  // namespace parvex::page
