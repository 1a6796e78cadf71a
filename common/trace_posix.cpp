// The trace on standard error, while PARVEX_TRACE=1 (failures) or 2 (failures
// and changes) is in the environment.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "trace.h"
#include "utf8.h"

namespace parvex {
namespace {

class StandardErrorTrace : public TraceSink {
public:
    void Write(const std::wstring& line) override {
        // One write per line, so that lines of two threads never mix.
        std::string bytes = ToUtf8(line) + "\n";
        std::fwrite(bytes.data(), 1, bytes.size(), stderr);
        std::fflush(stderr);
    }
};

StandardErrorTrace standardError;

// Looked at on every line, so that a test or a tool can turn it on and off;
// failures and changes are rare enough for that.
bool TraceWanted(const char* level) {
    const char* wanted = std::getenv("PARVEX_TRACE");
    return wanted && std::strcmp(wanted, level) == 0;
}

}  // namespace

// 2 traces the changes as well.
TraceSink* PlatformTraceSink() { return TraceWanted("1") || TraceWanted("2") ? &standardError : nullptr; }

TraceSink* PlatformChangeTraceSink() { return TraceWanted("2") ? &standardError : nullptr; }

std::wstring SystemErrorText(long code) {
    char buffer[256] = {0};
    // The GNU strerror_r may return its own text instead of filling buffer.
    auto pick = [&](auto result) -> const char* {
        if constexpr (std::is_same_v<decltype(result), char*>) {
            return result;
        } else {
            return result == 0 ? buffer : "unknown error";
        }
    };
    return FromUtf8(pick(strerror_r(static_cast<int>(code), buffer, sizeof buffer)));
}

}  // namespace parvex
