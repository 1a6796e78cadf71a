#include "host_ascii.h"

#include <vector>

namespace parvex {
namespace {

// RFC 3492, section 5.
const char32_t kBase = 36, kTMin = 1, kTMax = 26, kSkew = 38, kDamp = 700, kInitialBias = 72, kInitialN = 0x80;
const size_t kMaxLabel = 63, kMaxHost = 253;

char Digit(char32_t d) { return static_cast<char>(d < 26 ? 'a' + d : '0' + (d - 26)); }

char32_t Adapt(char32_t delta, char32_t points, bool first) {
    delta = first ? delta / kDamp : delta / 2;
    delta += delta / points;
    char32_t k = 0;
    while (delta > ((kBase - kTMin) * kTMax) / 2) {
        delta /= kBase - kTMin;
        k += kBase;
    }
    return k + (kBase - kTMin + 1) * delta / (delta + kSkew);
}

// The lower-case letter of c where one is known, the ASCII character of a
// full-width one; any other character as it is.
char32_t Fold(char32_t c) {
    if (c >= 0xFF01 && c <= 0xFF5E) c -= 0xFEE0;
    if (c >= U'A' && c <= U'Z') return c + 32;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

bool IsDot(char32_t c) { return c == U'.' || c == 0x3002 || c == 0xFF0E || c == 0xFF61; }

bool IsHostAscii(char32_t c) { return (c >= U'a' && c <= U'z') || (c >= U'0' && c <= U'9') || c == U'-' || c == U'_'; }

// Blanks, controls and the characters that end a label in some reader.
bool IsForbiddenWide(char32_t c) {
    return c < 0xA1 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x3000 ||
           (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF;
}

// The code points of UTF-16 or UTF-32 text; an unpaired surrogate stays
// as it is, for the label check to refuse.
std::u32string CodePoints(const std::wstring& text) {
    std::u32string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
        out.push_back(c);
    }
    return out;
}

bool LabelToAscii(const std::u32string& label, std::string& out) {
    if (label.empty()) return false;
    bool ascii = true;
    for (char32_t c : label) {
        if (c < 0x80 ? !IsHostAscii(c) : IsForbiddenWide(c)) return false;
        ascii = ascii && c < 0x80;
    }
    std::string encoded;
    if (ascii) {
        for (char32_t c : label) encoded.push_back(static_cast<char>(c));
    } else if (!PunycodeEncode(label, encoded)) {
        return false;
    } else {
        encoded = "xn--" + encoded;
    }
    if (encoded.size() > kMaxLabel) return false;
    out += encoded;
    return true;
}

bool BracketedToAscii(const std::wstring& host, std::string& out) {
    if (host.size() < 4 || host.back() != L']') return false;
    for (size_t i = 1; i + 1 < host.size(); ++i) {
        wchar_t c = host[i];
        bool hex = (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
        if (!hex && c != L':' && c != L'.') return false;
    }
    for (wchar_t c : host) out.push_back(static_cast<char>(c >= L'A' && c <= L'F' ? c + 32 : c));
    return true;
}

}  // namespace

bool PunycodeEncode(const std::u32string& label, std::string& out) {
    std::string result;
    for (char32_t c : label)
        if (c < 0x80) result.push_back(static_cast<char>(c));
    const size_t basic = result.size();
    if (basic > 0) result.push_back('-');
    char32_t n = kInitialN, delta = 0, bias = kInitialBias;
    for (size_t handled = basic; handled < label.size(); ++delta, ++n) {
        char32_t next = 0x10FFFF + 1;
        for (char32_t c : label)
            if (c >= n && c < next) next = c;
        // Too many points for the counter: far beyond any label's length.
        if (label.size() > kMaxLabel * 4 || next - n > (0xFFFFFFFFu - delta) / (handled + 1)) return false;
        delta += (next - n) * static_cast<char32_t>(handled + 1);
        n = next;
        for (char32_t c : label) {
            if (c < n) ++delta;
            if (c != n) continue;
            char32_t q = delta;
            for (char32_t k = kBase;; k += kBase) {
                char32_t t = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
                if (q < t) break;
                result.push_back(Digit(t + (q - t) % (kBase - t)));
                q = (q - t) / (kBase - t);
            }
            result.push_back(Digit(q));
            bias = Adapt(delta, static_cast<char32_t>(handled + 1), handled == basic);
            delta = 0;
            ++handled;
        }
    }
    out = result;
    return true;
}

bool HostToAscii(const std::wstring& host, std::string& out) {
    out.clear();
    if (!host.empty() && host[0] == L'[') return BracketedToAscii(host, out);
    std::u32string points = CodePoints(host);
    for (char32_t& c : points) c = IsDot(c) ? U'.' : Fold(c);
    if (!points.empty() && points.back() == U'.') points.pop_back();
    std::u32string label;
    for (size_t i = 0; i <= points.size(); ++i) {
        if (i < points.size() && points[i] != U'.') {
            label.push_back(points[i]);
            continue;
        }
        if (!out.empty()) out.push_back('.');
        if (!LabelToAscii(label, out)) return false;
        label.clear();
    }
    return out.size() <= kMaxHost;
}

}  // namespace parvex
