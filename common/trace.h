// A trace of the failures the system reports, for a user who wants to know
// why a file or a connection failed, and of the changes of a run's state. Each line names the operation, what it
// concerned (host:port or a path) and the system's error, number and text.
// Quiet by default: lines go to the platform's sink (trace_posix.cpp:
// standard error when PARVEX_TRACE=1; trace_win.cpp: OutputDebugStringW,
// seen by a debug-output viewer) or to one set here.
#pragma once
#include <cstdint>
#include <string>

#include "platform_types.h"

namespace parvex {

class TraceSink {
public:
    virtual ~TraceSink() = default;
    // One line without its line break; called from any thread.
    virtual void Write(const std::wstring& line) = 0;
};

// Sends the trace to sink instead of the platform's; null: the platform's again.
void SetTraceSink(TraceSink* sink);

// Records one failure as "parvex: OPERATION SUBJECT: error CODE (TEXT)".
// code is the system's own number (errno natively; a Win32, WinSock,
// registry or HRESULT code in the module: HRESULTs show in hexadecimal) and
// TEXT the system's words for it.
// Callers pass the number at once, before another call can change it.
void TraceFailure(const wchar_t* operation, const std::wstring& subject, long code);
// The same for numbers with a table of their own (the resolver's).
void TraceFailure(const wchar_t* operation, const std::wstring& subject, long code, const std::wstring& text);

// Records one change of a run's state as "parvex: WHAT: FROM -> TO", so that
// how a run went can be followed as well as why it failed. Changes have a
// sink of their own, as they are many where failures are few: the one set
// here, else the platform's (trace_posix.cpp: standard error when
// PARVEX_TRACE=2; trace_win.cpp: the debug output).
void TraceChange(const std::wstring& what, const wchar_t* from, const wchar_t* to);
void SetChangeTraceSink(TraceSink* sink);

// "a.b.c.d:port" or "[v6]:port", the subject of a connection's failures.
std::wstring HostPortText(const NetAddress& address, uint16_t port);

// The platform's side (trace_posix.cpp, trace_win.cpp): its sink, null while
// the trace is off, and its text for an error number.
TraceSink* PlatformTraceSink();
TraceSink* PlatformChangeTraceSink();
std::wstring SystemErrorText(long code);

}  // namespace parvex
