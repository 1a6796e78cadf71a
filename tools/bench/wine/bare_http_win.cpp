// The bare loops' HTTP: the plainest request and reply by hand.
#include <string>
#include <vector>

#include "bare_loop_win.h"

namespace parvex::bench {

bool PostFile(Channel& channel, HANDLE in, long long size, size_t block) {
    const std::string boundary = "----------------------------bench";
    std::string part = "--" + boundary +
                       "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"bare.bin\"\r\n"
                       "Content-Type: application/octet-stream\r\n\r\n";
    std::string closing = "\r\n--" + boundary + "--\r\n";
    std::string header =
        "POST /upload HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: multipart/form-data; boundary=" + boundary +
        "\r\nContent-Length: " + std::to_string(part.size() + static_cast<unsigned long long>(size) + closing.size()) +
        "\r\n\r\n" + part;
    if (!channel.SendAll(header.data(), header.size())) return false;
    std::vector<char> buffer(block);
    for (long long left = size; left > 0;) {
        DWORD want = static_cast<DWORD>(left < static_cast<long long>(block) ? left : block), got = 0;
        if (!ReadFile(in, buffer.data(), want, &got, nullptr) || got != want || !channel.SendAll(buffer.data(), got))
            return false;
        left -= got;
    }
    if (!channel.SendAll(closing.data(), closing.size())) return false;
    std::string reply;
    char chunk[4096];
    int n;
    while ((n = channel.Recv(chunk, sizeof chunk)) > 0) reply.append(chunk, static_cast<size_t>(n));
    return reply.find("|TS_UP_OK|") != std::string::npos;
}

long long FetchFile(Channel& channel, const char* path, HANDLE file, size_t block) {
    std::string request = std::string("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (!channel.SendAll(request.data(), request.size())) return -1;
    std::vector<char> buffer(block);
    std::string head;
    size_t end = std::string::npos;
    while (end == std::string::npos) {
        int n = channel.Recv(buffer.data(), block);
        if (n <= 0) return -1;
        head.append(buffer.data(), static_cast<size_t>(n));
        end = head.find("\r\n\r\n");
    }
    size_t at = head.find("Content-Length: ");
    if (at == std::string::npos) return -1;
    long long length = std::atoll(head.c_str() + at + 16);
    long long got = static_cast<long long>(head.size() - end - 4);
    DWORD written;
    if (got > 0 && !WriteFile(file, head.data() + end + 4, static_cast<DWORD>(got), &written, nullptr)) return -1;
    while (got < length) {
        int n = channel.Recv(buffer.data(), block);
        if (n <= 0) return -1;
        if (!WriteFile(file, buffer.data(), static_cast<DWORD>(n), &written, nullptr)) return -1;
        got += n;
    }
    return got;
}

}  // namespace parvex::bench
