#include "tools/page/page_host_win.h"

#include <cstdio>

#include "tools/page/browser_stand_in_win.h"
#include "tools/page/control_site_win.h"
#include "tools/page/page_object_win.h"
#include "tools/page/script_engine_win.h"

namespace parvex::page {

namespace {

const wchar_t kWindowClass[] = L"ParvexPageWindow";
const int kPageWidth = 800;
const int kPageHeight = 600;

void RegisterPageClass() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;  // replaced per window once it knows its host
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);
}

bool IsDialog(HWND window) {
    wchar_t name[16] = {0};
    return window && GetClassNameW(window, name, 16) && lstrcmpW(name, L"#32770") == 0;
}

}  // namespace

PageHost::PageHost(const PageOptions& options, const std::wstring& caption) {
    RegisterPageClass();
    window_ = CreateWindowExW(0, kWindowClass, caption.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, kPageWidth,
                              kPageHeight, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc));
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    pageObject_ = new PageObject(*this);
    engine_ = new ScriptEngine(pageObject_, window_, [this](const std::wstring& message) { ReportError(message); });
    if (options.offerBrowser)
        browser_ = new PageBrowser([this] { return engine_->GlobalObject(); }, options.brokenDocument);
}

PageHost::~PageHost() { TearDown(); }

int PageHost::Run(const std::wstring& script) {
    std::wstring failure;
    if (!engine_->Start(failure)) {
        ReportError(failure);
        return exitCode_;
    }
    engine_->Run(script);
    MSG message;
    while (!exiting_ && GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Modeless dialogs of the controls get their keyboard handling.
        HWND active = GetActiveWindow();
        if (IsDialog(active) && IsDialogMessageW(active, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return exitCode_;
}

IDispatch* PageHost::CreateControl(const std::wstring& progId, const RECT& place, std::wstring& failure) {
    CLSID clsid;
    HRESULT hr = progId.size() > 0 && progId[0] == L'{' ? CLSIDFromString(progId.c_str(), &clsid)
                                                        : CLSIDFromProgID(progId.c_str(), &clsid);
    if (FAILED(hr)) {
        failure = L"no control is registered as " + progId;
        return nullptr;
    }
    IUnknown* control = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&control));
    if (FAILED(hr)) {
        failure = L"the control " + progId + L" could not be created";
        return nullptr;
    }
    auto* site = new ControlSite(window_, place, browser_);
    IDispatch* dispatch = site->Activate(control);
    control->Release();
    if (!dispatch) {
        site->Release();
        failure = L"the control " + progId + L" could not be activated in place";
        return nullptr;
    }
    sites_.push_back(site);
    controls_.push_back(dispatch);
    dispatch->AddRef();
    return dispatch;
}

bool PageHost::SetUrl(const std::wstring& url, std::wstring& failure) {
    if (!controls_.empty()) {
        failure = L"page.setUrl: the page has controls already; call it before page.create";
        return false;
    }
    if (browser_) browser_->url = url;
    return true;
}

long PageHost::SetTimeout(IDispatch* function, long milliseconds) {
    UINT_PTR id = nextTimer_++;
    function->AddRef();
    timers_[id] = function;
    SetTimer(window_, id, milliseconds < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : milliseconds, nullptr);
    return static_cast<long>(id);
}

void PageHost::Exit(int code) {
    if (exiting_) return;
    exiting_ = true;
    exitCode_ = code;
    // Also ends any modal loop under way, which passes the quit on.
    PostQuitMessage(code);
}

void PageHost::ReportError(const std::wstring& message) {
    // What fails after the end (the script cut short by it) is no error.
    if (exiting_) return;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, message.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, message.c_str(), -1, &text[0], bytes, nullptr, nullptr);
    fprintf(stderr, "parvex-page: %s\n", text.c_str());
    fflush(stderr);
    Exit(kExitScriptError);
}

LRESULT CALLBACK PageHost::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* host = reinterpret_cast<PageHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (host && message == WM_TIMER) {
        host->OnTimer(wParam);
        return 0;
    }
    if (host && message == WM_CLOSE) {
        // The controls go before their window does.
        host->Exit(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void PageHost::OnTimer(UINT_PTR id) {
    KillTimer(window_, id);
    auto found = timers_.find(id);
    if (found == timers_.end()) return;
    IDispatch* function = found->second;
    timers_.erase(found);
    if (!exiting_) engine_->CallFunction(function);
    function->Release();
}

void PageHost::TearDown() {
    for (auto& timer : timers_) {
        KillTimer(window_, timer.first);
        timer.second->Release();
    }
    timers_.clear();
    for (IDispatch* control : controls_) control->Release();
    controls_.clear();
    for (ControlSite* site : sites_) {
        site->Close();
        site->Release();
    }
    sites_.clear();
    if (engine_) engine_->Close();
    delete engine_;
    engine_ = nullptr;
    if (browser_) browser_->Release();
    browser_ = nullptr;
    if (pageObject_) pageObject_->Release();
    pageObject_ = nullptr;
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
}

}  // namespace parvex::page
