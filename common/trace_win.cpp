// The trace through OutputDebugStringW: invisible until a debug-output viewer
// (or a debugger) listens, so the module is quiet by default.
#include <windows.h>

#include "trace.h"

namespace parvex {
namespace {

class DebugOutputTrace : public TraceSink {
public:
    void Write(const std::wstring& line) override { OutputDebugStringW((line + L"\n").c_str()); }
};

}  // namespace

TraceSink* PlatformTraceSink() {
    static DebugOutputTrace sink;
    return &sink;
}

TraceSink* PlatformChangeTraceSink() { return PlatformTraceSink(); }

std::wstring SystemErrorText(long code) {
    wchar_t* text = nullptr;
    DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring out = n > 0 && text ? std::wstring(text, n) : std::wstring(L"unknown error");
    if (text) LocalFree(text);
    return out;
}

}  // namespace parvex
