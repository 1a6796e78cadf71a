// The site lock at a control's door: whether the page around the control
// may script it, judged once per client site from the lock the registry
// holds and the page's address that the container reports.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <string>

namespace parvex {

class SiteGate {
public:
    // True when the page in site may have what done (a method's name, for
    // the trace); otherwise one trace line names the address and the reason.
    bool Admits(IOleClientSite* site, const std::wstring& what);
    // The control moved to another site, or to none: judge anew.
    void Forget() { judged_ = false; }

private:
    void Judge(IOleClientSite* site);

    bool judged_ = false;
    std::wstring address_;
    std::wstring refusal_;  // empty: the page may script the control
};

}  // namespace parvex
