#include "resume_record.h"

#include <memory>

#include "common/url.h"
#include "common/utf8.h"

namespace parvex {

namespace {

const char kMagic[] = "parvex-resume 1";
// A record is a few short lines; anything longer is not one.
constexpr size_t kMaxRecordBytes = 16384;

// The value after "name " on its own line of text, or false.
bool LineValue(const std::string& text, const std::string& name, std::string& value) {
    std::string key = "\n" + name + " ";
    size_t at = text.find(key);
    if (at == std::string::npos) return false;
    at += key.size();
    size_t end = text.find('\n', at);
    if (end == std::string::npos) return false;
    value = text.substr(at, end - at);
    return true;
}

}  // namespace

std::wstring ResumeRecordPath(const std::wstring& partialPath) { return partialPath + L".parvex"; }

bool SaveResumeRecord(FileSystem& fs, const std::wstring& partialPath, const ResumeRecord& record) {
    std::string text = std::string(kMagic) + "\naddress " + record.address + "\nvalidator " +
                       record.basis.validator + "\nlength " + std::to_string(record.basis.length) + "\n";
    std::wstring path = ResumeRecordPath(partialPath);
    // A link or a folder at the name is not ours to write through.
    if (fs.IsLink(path)) return false;
    std::unique_ptr<File> file = fs.OpenWrite(path);
    if (!file) return false;
    bool written = file->Write(text.data(), text.size());
    file.reset();
    if (!written) fs.RemoveFile(path);
    return written;
}

bool LoadResumeRecord(FileSystem& fs, const std::wstring& partialPath, ResumeRecord& record) {
    std::wstring path = ResumeRecordPath(partialPath);
    if (fs.IsLink(path)) return false;
    std::unique_ptr<File> file = fs.OpenRead(path);
    if (!file) return false;
    std::string text(kMaxRecordBytes + 1, '\0');
    long long got = 0, n = 0;
    while ((n = file->Read(&text[got], text.size() - got)) > 0) got += n;
    if (n < 0 || got > static_cast<long long>(kMaxRecordBytes)) return false;
    text.resize(static_cast<size_t>(got));
    if (text.compare(0, sizeof kMagic - 1, kMagic) != 0) return false;
    std::string length;
    if (!LineValue(text, "address", record.address) || !LineValue(text, "validator", record.basis.validator) ||
        !LineValue(text, "length", length) || length.empty() || length.size() > 19 ||
        length.find_first_not_of("0123456789") != std::string::npos)
        return false;
    record.basis.length = std::stoull(length);
    return record.basis.Usable();
}

std::string ResumeAddress(bool secure, const std::wstring& host, int port, const std::wstring& urlPath) {
    return std::string(secure ? "https://" : "http://") + ToUtf8(host) + ":" + std::to_string(port) +
           EscapeRequestTarget(urlPath);
}

}  // namespace parvex
