#include "file_name_rules.h"

#include <cwctype>
#include <vector>

#include "common/shown_text.h"

namespace parvex {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::vector<std::wstring> Components(const std::wstring& name) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        size_t sep = name.find_first_of(L"\\/", start);
        parts.push_back(name.substr(start, sep == std::wstring::npos ? std::wstring::npos : sep - start));
        if (sep == std::wstring::npos) return parts;
        start = sep + 1;
    }
}

// Bidirectional controls are allowed by Windows but make a name show as
// another ("invoice\u202Efdp.exe" reads "invoiceexe.pdf").
bool IsForbiddenCharacter(wchar_t c) {
    return c < 0x20 || IsBidiControl(c) || c == L'*' || c == L'?' || c == L'<' || c == L'>' || c == L'|' || c == L'"' || c == L':';
}

std::wstring Upper(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// Windows opens the device whatever follows its name after a dot, and
// ignores spaces before that dot.
bool IsDeviceName(const std::wstring& component) {
    std::wstring base = component.substr(0, component.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    base = Upper(base);
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$"};
    for (auto device : kDevices)
        if (base == device) return true;
    if (base.size() != 4 || (base.compare(0, 3, L"COM") != 0 && base.compare(0, 3, L"LPT") != 0)) return false;
    wchar_t n = base[3];
    // The superscript digits name the same ports.
    return (n >= L'1' && n <= L'9') || n == L'\u00B9' || n == L'\u00B2' || n == L'\u00B3';
}

bool IsStorableComponent(const std::wstring& component) {
    for (wchar_t c : component)
        if (IsForbiddenCharacter(c)) return false;
    if (!component.empty() && (component.back() == L'.' || component.back() == L' ')) return false;
    return !IsDeviceName(component);
}

}  // namespace

bool IsNameInsideFolder(const std::wstring& fileName) {
    if (fileName.empty()) return true;
    if (IsSeparator(fileName[0])) return false;
    if (fileName.size() >= 2 && fileName[1] == L':') return false;
    for (const auto& part : Components(fileName))
        if (part == L"..") return false;
    return true;
}

bool IsStorableName(const std::wstring& fileName) {
    for (const auto& part : Components(fileName))
        if (!IsStorableComponent(part)) return false;
    return true;
}

bool IsAcceptableDownloadName(const std::wstring& fileName) {
    return IsNameInsideFolder(fileName) && IsStorableName(fileName);
}

bool NamesFolder(const std::wstring& fileName) { return !fileName.empty() && IsSeparator(fileName.back()); }

}  // namespace parvex
