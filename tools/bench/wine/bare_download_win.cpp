// The peer of the module in the Windows download benchmark: the plainest
// loop that fetches a file over WinSock into a Win32 file, receiving and
// writing in blocks of the given size.
//   parvex-bare-download.exe PORT PATH OUTFILE BLOCK-BYTES
// Prints "bytes milliseconds" on success, exits 1 otherwise.
#include "bare_loop_win.h"

using namespace parvex::bench;

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
    SOCKET s = file != INVALID_HANDLE_VALUE ? ConnectToPeer(std::atoi(argv[1])) : INVALID_SOCKET;
    PlainChannel channel(s);
    long long bytes = s != INVALID_SOCKET ? FetchFile(channel, argv[2], file, block) : -1;
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
