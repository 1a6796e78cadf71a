// parvex-wine-bench PORT FILE ROUNDS: the same file uploaded to the reference
// mail server on 127.0.0.1:PORT through the upload control of PARVEX.OCX
// (beside this program; dropped on its list, UploadStart with the progress
// dialog up) and through a bare WinSock loop that sends the same request in
// the same 8192-byte blocks. Prints the best throughput of each and their
// ratio; exits 1 when an upload failed.
#include <winsock2.h>
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "parvex_h.h"
#include "tests/win/dialog_driver_win.h"
#include "tests/win/test_container_win.h"

using namespace parvex::testing;

namespace {

constexpr size_t kBlock = 8192;

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

std::wstring Beside(const wchar_t* name) {
    wchar_t self[MAX_PATH] = {0};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

// The control of the module, created from its class factory (no
// registration needed) and shown in a container window.
IDispatch* CreateControl(HMODULE ocx) {
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(ocx, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    if (!get || FAILED(get(CLSID_Parvex_Up, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return nullptr;
    IDispatch* control = nullptr;
    factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&control));
    factory->Release();
    return control;
}

// One upload through the control; seconds, or a negative value on failure.
double ThroughModule(IDispatch* control, HWND listWindow, const std::wstring& file) {
    DropOn(listWindow, file);
    VARIANT result;
    VariantInit(&result);
    LARGE_INTEGER start = Now();
    HRESULT hr = CallByName(control, L"UploadStart", {Integer(0)}, &result);
    double seconds = Seconds(start, Now());
    return SUCCEEDED(hr) && V_VT(&result) == VT_I2 && V_I2(&result) == 1 ? seconds : -1;
}

bool SendAll(SOCKET s, const char* data, size_t size) {
    while (size > 0) {
        int n = send(s, data, static_cast<int>(size), 0);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The same request by hand: header, the name field, the file part head, the
// file in 8192-byte blocks, the closing; then the whole reply.
double ThroughBareLoop(u_short port, const std::wstring& file, const std::string& storedName) {
    HANDLE in = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) return -1;
    LARGE_INTEGER size;
    GetFileSizeEx(in, &size);
    const std::string boundary = "----------------------------bench";
    std::string fields = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"name\"\r\n\r\n" + storedName +
                         "\r\n--" + boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" +
                         storedName + "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    std::string closing = "\r\n--" + boundary + "--\r\n";
    unsigned long long length = fields.size() + static_cast<unsigned long long>(size.QuadPart) + closing.size();
    std::string header =
        "POST /upload HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: multipart/form-data; boundary=" + boundary +
        "\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";

    LARGE_INTEGER start = Now();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              SendAll(s, header.data(), header.size()) && SendAll(s, fields.data(), fields.size());
    std::vector<char> block(kBlock);
    for (long long left = size.QuadPart; ok && left > 0;) {
        DWORD want = static_cast<DWORD>(left < static_cast<long long>(kBlock) ? left : kBlock), got = 0;
        ok = ReadFile(in, block.data(), want, &got, nullptr) && got == want && SendAll(s, block.data(), got);
        left -= got;
    }
    ok = ok && SendAll(s, closing.data(), closing.size());
    std::string reply;
    char buffer[4096];
    int n;
    while (ok && (n = recv(s, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<size_t>(n));
    double seconds = Seconds(start, Now());
    closesocket(s);
    CloseHandle(in);
    return ok && reply.find("|TS_UP_OK|") != std::string::npos ? seconds : -1;
}

void Best(double& best, double seconds) {
    if (seconds > 0 && (best <= 0 || seconds < best)) best = seconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: parvex-wine-bench PORT FILE ROUNDS\n");
        return 2;
    }
    u_short port = static_cast<u_short>(_wtoi(argv[1]));
    std::wstring file = argv[2];
    int rounds = _wtoi(argv[3]);
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    OleInitialize(nullptr);
    HMODULE ocx = LoadLibraryW(Beside(L"PARVEX.OCX").c_str());
    IDispatch* control = ocx ? CreateControl(ocx) : nullptr;
    if (!control) {
        std::fprintf(stderr, "PARVEX.OCX or its upload control could not be loaded\n");
        return 1;
    }
    int failures = 0;
    double module = 0, bare = 0;
    {
        TestContainer page;
        HWND controlWindow = page.Activate(control, {0, 0, 400, 200});
        std::wstring url = L"http://127.0.0.1:" + std::to_wstring(port) + L"/upload";
        CallByName(control, L"UploadUrlAddress", {Text(url.c_str())});
        CallByName(control, L"UpForm_Filename", {Text(L"name")});
        CallByName(control, L"UpForm_UniqueFilename", {Text(L"unique")});
        CallByName(control, L"UpForm_UpFile", {Text(L"file")});
        CallByName(control, L"SetLimitUploadSize", {Number(4096)});
        CallByName(control, L"SetUpTitle", {Text(L"Parvex bench")});
        HWND listWindow = controlWindow ? GetWindow(controlWindow, GW_CHILD) : nullptr;
        for (int round = 0; round < rounds; ++round) {
            double m = listWindow ? ThroughModule(control, listWindow, file) : -1;
            double b = ThroughBareLoop(port, file, "bare-loop.bin");
            failures += (m < 0) + (b < 0);
            Best(module, m);
            Best(bare, b);
        }
        page.Deactivate();
    }
    control->Release();
    HANDLE in = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size = {};
    GetFileSizeEx(in, &size);
    CloseHandle(in);
    double mb = static_cast<double>(size.QuadPart) / 1e6;
    std::printf("module (UploadStart, dialog up, under Wine): %8.1f MB/s\n", module > 0 ? mb / module : 0.0);
    std::printf("bare WinSock loop, 8192-byte sends (Wine):   %8.1f MB/s\n", bare > 0 ? mb / bare : 0.0);
    std::printf("module / bare loop: %.2f (target at least 0.80)\n", module > 0 && bare > 0 ? bare / module : 0.0);
    if (failures) std::printf("%d upload(s) FAILED\n", failures);
    OleUninitialize();
    WSACleanup();
    return failures == 0 ? 0 : 1;
}
