// What the Windows tests that talk to the reference mail server share: the
// server the test command started (named in the environment) and files read
// by wide path.
#pragma once
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

namespace parvex::testing {

// An environment variable; empty when unset.
inline std::wstring Env(const wchar_t* name) {
    wchar_t value[1024] = {0};
    DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

// The server's port and its store folder (which it also serves), as the
// test command names them.
inline std::wstring TestServerPort() { return Env(L"PARVEX_TEST_SERVER_PORT"); }
inline std::wstring TestServerStore() { return Env(L"PARVEX_TEST_SERVER_STORE"); }

inline std::string ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteAll(const std::wstring& path, const std::string& bytes) {
    std::ofstream(path.c_str(), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace parvex::testing
