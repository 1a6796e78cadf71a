// What the Windows tests that talk to the reference mail server share: the
// server the test command started (named in the environment) and files read
// by wide path.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
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

// A plain GET of path (the server's control routes: /__fault?..., /__reset)
// over WinSock; the whole reply, or empty when the server could not be
// reached.
inline std::string ServerGet(const std::string& path) {
    std::wstring widePort = TestServerPort();
    std::string port(widePort.begin(), widePort.end());
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return {};
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(atoi(port.c_str())));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        send(s, request.data(), static_cast<int>(request.size()), 0);
        char buffer[4096];
        int n;
        while ((n = recv(s, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<size_t>(n));
    }
    closesocket(s);
    return reply;
}

}  // namespace parvex::testing
