// parvex-page.exe [--no-browser | --broken-document] PAGE.js
// Plays the browser for one page: the page's JScript creates the controls
// and drives them through its "page" object.
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "tools/page/page_host_win.h"

namespace {

using parvex::page::kExitUsage;

void Complain(const std::wstring& message) {
    fwprintf(stderr, L"parvex-page: %ls\n", message.c_str());
    fflush(stderr);
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return false;
    char block[8192];
    std::size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0) bytes.append(block, got);
    bool failed = ferror(file) != 0;
    fclose(file);
    return !failed;
}

// The page file's text, UTF-8 with or without a byte-order mark.
bool ReadPage(const std::wstring& path, std::wstring& text) {
    std::string bytes;
    if (!ReadFileBytes(path, bytes)) {
        Complain(L"cannot read " + path);
        return false;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    if (bytes.empty()) return true;
    int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (length <= 0) {
        Complain(path + L" is not UTF-8 text");
        return false;
    }
    text.resize(static_cast<std::size_t>(length));
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], length);
    return true;
}

bool ParseCommandLine(int argc, wchar_t** argv, parvex::page::PageOptions& options, std::wstring& path) {
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--no-browser" && options.offerBrowser && !options.brokenDocument)
            options.offerBrowser = false;
        else if (arg == L"--broken-document" && options.offerBrowser && !options.brokenDocument)
            options.brokenDocument = true;
        else if (arg.compare(0, 2, L"--") != 0 && path.empty())
            path = arg;
        else
            return false;
    }
    return !path.empty();
}

std::wstring FileName(const std::wstring& path) {
    std::size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    parvex::page::PageOptions options;
    std::wstring path, script;
    if (!argv || !ParseCommandLine(argc, argv, options, path)) {
        Complain(L"usage: parvex-page.exe [--no-browser | --broken-document] PAGE.js");
        return kExitUsage;
    }
    LocalFree(argv);
    if (!ReadPage(path, script)) return kExitUsage;
    if (FAILED(OleInitialize(nullptr))) {
        Complain(L"the component runtime could not be started");
        return kExitUsage;
    }
    int code;
    {
        parvex::page::PageHost host(options, FileName(path) + L" - parvex-page");
        code = host.Run(script);
    }
    OleUninitialize();
    return code;
}
