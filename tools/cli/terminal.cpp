#include "terminal.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <iostream>

#include "common/utf8.h"

namespace parvex::cli {

std::string Narrow(const std::wstring& text) {
    std::wstring printable;
    for (wchar_t c : text) {
        if (c == L'\r') continue;
        // Texts from a server must not drive the terminal: escape sequences
        // and other control characters (C0, DEL, C1) are shown as "?".
        bool control = (c < 0x20 && c != L'\n' && c != L'\t') || (c >= 0x7F && c <= 0x9F);
        printable.push_back(control ? L'?' : c);
    }
    return ToUtf8(printable);
}

bool ReadLine(std::string& line) {
    line.clear();
    if (!std::getline(std::cin, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

std::mutex& TerminalMutex() {
    static std::mutex mutex;
    return mutex;
}

int TerminalMessageBox::Show(const std::wstring& text, const std::wstring& caption, unsigned style) {
    std::lock_guard<std::mutex> lock(TerminalMutex());
    std::string body = Narrow(text);
    std::fprintf(stderr, "\n[%s] %s", caption.empty() ? "message" : Narrow(caption).c_str(), body.c_str());
    if (body.empty() || body.back() != '\n') std::fputc('\n', stderr);
    if ((style & 0xF) != MbYesNo) return IdOk;
    if (!interactive_) {
        std::fprintf(stderr, "(no terminal to ask: %s)\n", unattendedAnswer_ == IdYes ? "yes" : "no");
        return unattendedAnswer_;
    }
    for (;;) {
        std::fprintf(stderr, "[y/n] ");
        std::string line;
        if (!ReadLine(line)) return IdNo;
        if (line == "y" || line == "Y") return IdYes;
        if (line == "n" || line == "N") return IdNo;
    }
}

bool FixedCookieStore::GetCookie(const std::wstring&, wchar_t* buffer, uint32_t* size) {
    if (text_.empty()) return false;
    uint32_t needed = static_cast<uint32_t>(text_.size()) + 1;
    if (*size < needed) {
        *size = needed;
        return false;
    }
    std::wmemcpy(buffer, text_.c_str(), needed);
    return true;
}

std::wstring CorePath(const std::string& argument) {
    std::error_code ec;
    std::string absolute = std::filesystem::absolute(argument, ec).lexically_normal().string();
    if (ec) absolute = argument;
    std::wstring path = FromUtf8(absolute);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

}  // namespace parvex::cli
