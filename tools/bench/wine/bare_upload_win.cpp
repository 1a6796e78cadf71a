// The peer of the module in the Windows upload benchmark: the plainest loop
// that posts a file over WinSock, reading and sending it in blocks of the
// given size, then reads the reply to its end.
//   parvex-bare-upload.exe PORT FILE BLOCK-BYTES
// Prints "bytes milliseconds" when the server answered with the success
// token, exits 1 otherwise.
#include <string>
#include <vector>

#include "bare_loop_win.h"

using namespace parvex::bench;

namespace {

// The request by hand: header, the file part's head, the file, the closing.
bool Post(SOCKET s, HANDLE in, long long size, size_t block) {
    const std::string boundary = "----------------------------bench";
    std::string part = "--" + boundary +
                       "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"bare.bin\"\r\n"
                       "Content-Type: application/octet-stream\r\n\r\n";
    std::string closing = "\r\n--" + boundary + "--\r\n";
    std::string header =
        "POST /upload HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: multipart/form-data; boundary=" + boundary +
        "\r\nContent-Length: " + std::to_string(part.size() + static_cast<unsigned long long>(size) + closing.size()) +
        "\r\n\r\n" + part;
    if (!SendAll(s, header.data(), header.size())) return false;
    std::vector<char> buffer(block);
    for (long long left = size; left > 0;) {
        DWORD want = static_cast<DWORD>(left < static_cast<long long>(block) ? left : block), got = 0;
        if (!ReadFile(in, buffer.data(), want, &got, nullptr) || got != want || !SendAll(s, buffer.data(), got))
            return false;
        left -= got;
    }
    return SendAll(s, closing.data(), closing.size());
}

}  // namespace

int main(int argc, char** argv) {
    size_t block = argc == 4 ? std::strtoul(argv[3], nullptr, 10) : 0;
    if (argc != 4 || block == 0) {
        std::fprintf(stderr, "usage: parvex-bare-upload.exe PORT FILE BLOCK-BYTES\n");
        return 2;
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
    HANDLE in = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size = {};
    if (in == INVALID_HANDLE_VALUE || !GetFileSizeEx(in, &size)) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    long long start = NowMs();
    SOCKET s = ConnectLoopback(std::atoi(argv[1]));
    bool ok = s != INVALID_SOCKET && Post(s, in, size.QuadPart, block);
    std::string reply;
    char buffer[4096];
    int n;
    while (ok && (n = recv(s, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<size_t>(n));
    long long elapsed = NowMs() - start;
    closesocket(s);
    CloseHandle(in);
    WSACleanup();
    if (!ok || reply.find("|TS_UP_OK|") == std::string::npos) {
        std::fprintf(stderr, "the bare upload failed\n");
        return 1;
    }
    std::printf("%lld %lld\n", static_cast<long long>(size.QuadPart), elapsed);
    return 0;
}
