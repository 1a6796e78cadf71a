#include "trace.h"

#include <atomic>

#include "format.h"

namespace parvex {
namespace {

std::atomic<TraceSink*> chosenSink{nullptr};
std::atomic<TraceSink*> chosenChangeSink{nullptr};

TraceSink* ActiveSink() {
    TraceSink* sink = chosenSink.load();
    return sink ? sink : PlatformTraceSink();
}

// Error numbers (errno, Win32, WinSock and the resolver's small negative
// ones) read best in decimal, HRESULTs in the hexadecimal of their
// documentation.
std::wstring CodeText(long code) {
    if (code < -0xFFFF) return FormatText(L"0x%08lX", static_cast<unsigned long>(code) & 0xFFFFFFFFul);
    return FormatText(L"%ld", code);
}

}  // namespace

void SetTraceSink(TraceSink* sink) { chosenSink.store(sink); }

void TraceFailure(const wchar_t* operation, const std::wstring& subject, long code) {
    // The text is asked for only when someone reads the trace.
    if (!ActiveSink()) return;
    TraceFailure(operation, subject, code, SystemErrorText(code));
}

void TraceFailure(const wchar_t* operation, const std::wstring& subject, long code, const std::wstring& text) {
    TraceSink* sink = ActiveSink();
    if (!sink) return;
    std::wstring words = text;
    while (!words.empty() &&
           (words.back() == L'\n' || words.back() == L'\r' || words.back() == L' ' || words.back() == L'.'))
        words.pop_back();
    sink->Write(L"parvex: " + std::wstring(operation) + L" " + subject + L": error " + CodeText(code) + L" (" + words +
                L")");
}

void SetChangeTraceSink(TraceSink* sink) { chosenChangeSink.store(sink); }

void TraceChange(const std::wstring& what, const wchar_t* from, const wchar_t* to) {
    TraceSink* sink = chosenChangeSink.load();
    if (!sink) sink = PlatformChangeTraceSink();
    if (sink) sink->Write(L"parvex: " + what + L": " + from + L" -> " + to);
}

namespace {

// An IPv6 address as it is usually written: groups in lower-case hex, the
// longest run of two or more zero groups as "::".
std::wstring Ipv6Text(const uint8_t* b) {
    unsigned group[8];
    for (int i = 0; i < 8; ++i) group[i] = (b[2 * i] << 8) | b[2 * i + 1];
    int runAt = -1, runLength = 1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && group[j] == 0) ++j;
        if (j - i > runLength) {
            runAt = i;
            runLength = j - i;
        }
        i = j > i ? j : i + 1;
    }
    std::wstring text;
    for (int i = 0; i < 8; ++i) {
        if (i == runAt) {
            text += L"::";
            i += runLength - 1;
            continue;
        }
        if (!text.empty() && text.back() != L':') text += L':';
        text += FormatText(L"%x", group[i]);
    }
    return text;
}

}  // namespace

std::wstring HostPortText(const NetAddress& address, uint16_t port) {
    const uint8_t* b = address.bytes;
    if (address.family == 6) return L"[" + Ipv6Text(b) + FormatText(L"]:%u", port);
    return FormatText(L"%u.%u.%u.%u:%u", b[0], b[1], b[2], b[3], port);
}

}  // namespace parvex
