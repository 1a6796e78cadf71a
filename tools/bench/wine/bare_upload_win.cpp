// The peer of the module in the Windows upload benchmark: the plainest loop
// that posts a file over WinSock, reading and sending it in blocks of the
// given size, then reads the reply to its end.
//   parvex-bare-upload.exe PORT FILE BLOCK-BYTES
// Prints "bytes milliseconds" when the server answered with the success
// token, exits 1 otherwise.
#include "bare_loop_win.h"

using namespace parvex::bench;

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
    SOCKET s = ConnectToPeer(std::atoi(argv[1]));
    PlainChannel channel(s);
    bool ok = s != INVALID_SOCKET && PostFile(channel, in, size.QuadPart, block);
    long long elapsed = NowMs() - start;
    closesocket(s);
    CloseHandle(in);
    WSACleanup();
    if (!ok) {
        std::fprintf(stderr, "the bare upload failed\n");
        return 1;
    }
    std::printf("%lld %lld\n", static_cast<long long>(size.QuadPart), elapsed);
    return 0;
}
