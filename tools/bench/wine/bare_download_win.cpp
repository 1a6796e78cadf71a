// The peer of the module in the Windows download benchmark: the plainest
// loop that fetches a file over WinSock into a Win32 file, receiving and
// writing in blocks of the given size.
//   parvex-bare-download.exe PORT PATH OUTFILE BLOCK-BYTES
// Prints "bytes milliseconds" on success, exits 1 otherwise.
#include <string>
#include <vector>

#include "bare_loop_win.h"

using namespace parvex::bench;

namespace {

// Fetches path into file; the bytes of the body, or -1.
long long Fetch(SOCKET s, const char* path, HANDLE file, size_t blockBytes) {
    std::string request = std::string("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (!SendAll(s, request.data(), request.size())) return -1;
    std::vector<char> block(blockBytes);
    std::string head;
    size_t end = std::string::npos;
    while (end == std::string::npos) {
        int n = recv(s, block.data(), static_cast<int>(blockBytes), 0);
        if (n <= 0) return -1;
        head.append(block.data(), static_cast<size_t>(n));
        end = head.find("\r\n\r\n");
    }
    size_t at = head.find("Content-Length: ");
    if (at == std::string::npos) return -1;
    long long length = std::atoll(head.c_str() + at + 16);
    long long got = static_cast<long long>(head.size() - end - 4);
    DWORD written;
    if (got > 0 && !WriteFile(file, head.data() + end + 4, static_cast<DWORD>(got), &written, nullptr)) return -1;
    while (got < length) {
        int n = recv(s, block.data(), static_cast<int>(blockBytes), 0);
        if (n <= 0) return -1;
        if (!WriteFile(file, block.data(), static_cast<DWORD>(n), &written, nullptr)) return -1;
        got += n;
    }
    return got;
}

}  // namespace

int main(int argc, char** argv) {
    size_t block = argc == 5 ? std::strtoul(argv[4], nullptr, 10) : 0;
    if (argc != 5 || block == 0) {
        std::fprintf(stderr, "usage: parvex-bare-download.exe PORT PATH OUTFILE BLOCK-BYTES\n");
        return 2;
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
    long long start = NowMs();
    HANDLE file = CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    SOCKET s = file != INVALID_HANDLE_VALUE ? ConnectLoopback(std::atoi(argv[1])) : INVALID_SOCKET;
    long long bytes = s != INVALID_SOCKET ? Fetch(s, argv[2], file, block) : -1;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (s != INVALID_SOCKET) closesocket(s);
    long long elapsed = NowMs() - start;
    WSACleanup();
    if (bytes < 0) {
        std::fprintf(stderr, "the bare download failed\n");
        return 1;
    }
    std::printf("%lld %lld\n", bytes, elapsed);
    return 0;
}
