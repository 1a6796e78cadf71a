// The hosting browser, reached from a control's container site.
#pragma once
#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>

namespace parvex {

// The site's browser with one reference for the caller, or null when the
// control has no site or does not sit in a web browser.
IWebBrowser2* GetHostBrowser(IOleClientSite* site);

}  // namespace parvex
