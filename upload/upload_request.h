// The two hand-built HTTP/1.1 requests of an upload: the multipart POST that
// carries one file and the exists check that asks for a name. Builders return
// the bytes as they go on the wire (UTF-8); every length is a byte count.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "uploadlist/upload_entry.h"

namespace parvex {

// Connection data worked out once per upload start and shared by every run of
// it (the re-runs included).
struct UploadTarget {
    std::wstring host;  // Host header; never a port; an IPv6 address in brackets
    int port = 80;
    bool secure = false;     // https: both requests go over TLS
    std::wstring path;       // request target of the upload
    std::wstring existPath;  // request target of the exists check; empty: no check
    std::wstring cookie;     // Cookie header when not empty
    int expectContinue = 0;
    std::wstring formFileNameField;
    std::wstring formUniqueNameField;
    std::wstring formFileField;
};

// "-----------------------------" and three draws printed "%04X%04X%06X" from a
// generator seeded with seedSeconds; the first draw fills the last field.
std::wstring MakeBoundary(uint32_t seedSeconds);
// The same seeded with the current time.
std::wstring MakeBoundary();

std::string BuildFieldPart(const std::wstring& boundary, const std::wstring& name, const std::wstring& value);
std::string BuildFilePartHeader(const std::wstring& boundary, const std::wstring& fieldName,
                                const std::wstring& announcedName);
// "\r\n--boundary--\r\n": the boundary's length + 8 bytes.
std::string BuildClosing(const std::wstring& boundary);
std::string BuildUploadHeader(const UploadTarget& target, const std::wstring& boundary, double contentLength);
std::string BuildExistsRequest(const UploadTarget& target, const std::wstring& boundary,
                               const std::wstring& fileName);

// Everything of one upload request except the file's bytes.
struct UploadRequest {
    std::string header;
    std::array<std::string, 4> parts;  // the three fields and the file part header, in order
    std::string closing;
    double contentLength = 0;  // parts + file size + closing
};

// The file part announces announcedPath, the entry's local path as the
// system spells it.
UploadRequest BuildUploadRequest(const UploadTarget& target, const std::wstring& boundary, const UploadEntry& entry,
                                 const std::wstring& announcedPath);

}  // namespace parvex
