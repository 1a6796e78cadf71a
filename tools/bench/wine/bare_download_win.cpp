// The peer of the module in the Windows download benchmark: the plainest
// loop that fetches a file over WinSock into a Win32 file, in blocks of the
// module's size.
//   parvex-bare-download.exe PORT PATH OUTFILE
// Prints "bytes milliseconds" on success, exits 1 otherwise.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kBlock = 8192;

long long NowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return now.QuadPart * 1000 / frequency.QuadPart;
}

// Fetches path into file; the bytes of the body, or -1.
long long Fetch(SOCKET s, const char* path, HANDLE file) {
    std::string request = std::string("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (send(s, request.data(), static_cast<int>(request.size()), 0) != static_cast<int>(request.size())) return -1;
    static char block[kBlock];
    std::string head;
    size_t end = std::string::npos;
    while (end == std::string::npos) {
        int n = recv(s, block, kBlock, 0);
        if (n <= 0) return -1;
        head.append(block, static_cast<size_t>(n));
        end = head.find("\r\n\r\n");
    }
    size_t at = head.find("Content-Length: ");
    if (at == std::string::npos) return -1;
    long long length = std::atoll(head.c_str() + at + 16);
    long long got = static_cast<long long>(head.size() - end - 4);
    DWORD written;
    if (got > 0 && !WriteFile(file, head.data() + end + 4, static_cast<DWORD>(got), &written, nullptr)) return -1;
    while (got < length) {
        int n = recv(s, block, kBlock, 0);
        if (n <= 0) return -1;
        if (!WriteFile(file, block, static_cast<DWORD>(n), &written, nullptr)) return -1;
        got += n;
    }
    return got;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: parvex-bare-download.exe PORT PATH OUTFILE\n");
        return 2;
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
    long long start = NowMs();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(std::atoi(argv[1])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    HANDLE file = CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    long long bytes = -1;
    if (s != INVALID_SOCKET && file != INVALID_HANDLE_VALUE &&
        connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        bytes = Fetch(s, argv[2], file);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    closesocket(s);
    long long elapsed = NowMs() - start;
    WSACleanup();
    if (bytes < 0) {
        std::fprintf(stderr, "the bare download failed\n");
        return 1;
    }
    std::printf("%lld %lld\n", bytes, elapsed);
    return 0;
}
