#include "upload_request.h"

#include <cstdio>
#include <ctime>

#include "common/url.h"
#include "common/utf8.h"

namespace parvex {
namespace {

// The classic linear congruential generator with 15-bit draws; any generator
// with that range would do, the boundary only has to look the same.
class Draws {
public:
    explicit Draws(uint32_t seed) : state_(seed) {}
    unsigned Next() {
        state_ = state_ * 214013u + 2531011u;
        return (state_ >> 16) & 0x7FFF;
    }

private:
    uint32_t state_;
};

void Append(std::string& out, const std::wstring& text) { out += ToUtf8(text); }

std::string WholeNumber(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.f", value);
    return buffer;
}

// "--boundary", line break and the disposition up to the closing quote of the
// part's name; every part of both requests starts so.
std::string PartHead(const std::wstring& boundary, const std::wstring& name) {
    std::string out = "--";
    Append(out, boundary);
    out += "\r\nContent-Disposition: form-data; name=\"";
    Append(out, name);
    out += "\"";
    return out;
}

// The cookie line goes out only when there is a cookie.
void AppendCookieLine(std::string& out, const std::wstring& cookie) {
    if (cookie.empty()) return;
    out += "Cookie: ";
    Append(out, cookie);
    out += "\r\n";
}

// The head of both POSTs: the upload's (to target.path) or the exists
// check's (to target.existPath). Only the upload lists what it accepts, and
// only it may ask for "100 continue".
std::string PostHead(const UploadTarget& target, bool upload, const std::wstring& boundary, double contentLength) {
    std::string out = "POST ";
    out += EscapeRequestTarget(upload ? target.path : target.existPath);
    out += " HTTP/1.1\r\n";
    if (upload)
        out += "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, */*\r\n";
    out += "Accept-Language: ko\r\nContent-Type: multipart/form-data; boundary=";
    Append(out, boundary);
    out += "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\nHost: ";
    Append(out, target.host);
    out += "\r\nContent-Length: " + WholeNumber(contentLength) + "\r\n";
    if (upload && target.expectContinue != 0) out += "Expect: 100-Continue\r\n";
    out += "Connection: close\r\n";
    AppendCookieLine(out, target.cookie);
    out += "\r\n";
    return out;
}

}  // namespace

std::wstring MakeBoundary(uint32_t seedSeconds) {
    Draws draws(seedSeconds);
    unsigned last = draws.Next();
    unsigned middle = draws.Next();
    unsigned first = draws.Next();
    wchar_t buffer[64];
    std::swprintf(buffer, sizeof buffer / sizeof buffer[0], L"---------------------------%04X%04X%06X", first,
                  middle, last);
    return buffer;
}

std::wstring MakeBoundary() { return MakeBoundary(static_cast<uint32_t>(std::time(nullptr))); }

std::string BuildFieldPart(const std::wstring& boundary, const std::wstring& name, const std::wstring& value) {
    std::string out = PartHead(boundary, name);
    out += "\r\n\r\n";
    Append(out, value);
    out += "\r\n";
    return out;
}

std::string BuildFilePartHeader(const std::wstring& boundary, const std::wstring& fieldName,
                                const std::wstring& announcedName) {
    std::string out = PartHead(boundary, fieldName);
    out += "; filename=\"";
    Append(out, announcedName);
    out += "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    return out;
}

std::string BuildClosing(const std::wstring& boundary) {
    std::string out = "\r\n--";
    Append(out, boundary);
    out += "--\r\n";
    return out;
}

std::string BuildUploadHeader(const UploadTarget& target, const std::wstring& boundary, double contentLength) {
    return PostHead(target, true, boundary, contentLength);
}

std::string BuildExistsRequest(const UploadTarget& target, const std::wstring& boundary,
                               const std::wstring& fileName) {
    // One field, always named "file", whatever the form's field names are.
    std::string body = BuildFieldPart(boundary, L"file", fileName) + "--";
    Append(body, boundary);
    body += "--\r\n";
    return PostHead(target, false, boundary, static_cast<double>(body.size())) + body;
}

UploadRequest BuildUploadRequest(const UploadTarget& target, const std::wstring& boundary, const UploadEntry& entry,
                                 const std::wstring& announcedPath) {
    UploadRequest request;
    request.parts[0] = BuildFieldPart(boundary, target.formFileNameField, entry.fileName);
    request.parts[1] = BuildFieldPart(boundary, target.formUniqueNameField, entry.uniqueName);
    request.parts[2] = BuildFieldPart(boundary, L"uptype", std::to_wstring(entry.kind));
    request.parts[3] = BuildFilePartHeader(boundary, target.formFileField, announcedPath);
    request.closing = BuildClosing(boundary);
    double partBytes = 0;
    for (const auto& part : request.parts) partBytes += static_cast<double>(part.size());
    request.contentLength = partBytes + entry.size + static_cast<double>(request.closing.size());
    request.header = BuildUploadHeader(target, boundary, request.contentLength);
    return request;
}

}  // namespace parvex
