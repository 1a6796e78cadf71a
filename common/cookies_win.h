// The browser's cookie store through WinINet.
#pragma once
#include "cookies.h"

namespace parvex {

CookieStore& WinInetCookieStore();

}  // namespace parvex
