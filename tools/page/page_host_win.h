// The program that plays the browser for one page: the page window, the
// controls on it, the script and its timers. Everything here runs on the
// one page thread, as a browser runs a page and its controls.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <map>
#include <string>
#include <vector>

namespace parvex::page {

struct ControlSite;
struct PageBrowser;
struct PageObject;
struct ScriptEngine;

struct PageOptions {
    bool offerBrowser = true;     // false: no web-browser service for the controls
    bool brokenDocument = false;  // the browser's document cannot be had
};

// Exit codes of the program besides the page's own.
const int kExitUsage = 2;
const int kExitScriptError = 3;

class PageHost {
public:
    PageHost(const PageOptions& options, const std::wstring& caption);
    ~PageHost();

    // Runs the page's script and then the page until it ends; the exit code.
    int Run(const std::wstring& script);

    // What the page's script asks for through its "page" object.
    IDispatch* CreateControl(const std::wstring& progId, const RECT& place, std::wstring& failure);
    // The address the browser and its document report from now on; only
    // before the first control, which judges the page by it.
    bool SetUrl(const std::wstring& url, std::wstring& failure);
    long SetTimeout(IDispatch* function, long milliseconds);
    void Exit(int code);
    bool Exiting() const { return exiting_; }
    HWND Window() const { return window_; }
    void ReportError(const std::wstring& message);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR id);
    void TearDown();

    HWND window_ = nullptr;
    PageBrowser* browser_ = nullptr;  // null when no browser is offered
    PageObject* pageObject_ = nullptr;
    ScriptEngine* engine_ = nullptr;
    std::vector<ControlSite*> sites_;
    std::vector<IDispatch*> controls_;
    std::map<UINT_PTR, IDispatch*> timers_;  // pending functions by timer id
    UINT_PTR nextTimer_ = 1;
    bool exiting_ = false;
    int exitCode_ = 0;
};

}  // namespace parvex::page
