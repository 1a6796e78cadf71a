// The small file kept beside a partial download so that a later run can go
// on with it: the address it came from and what its first reply offered to
// resume by. It lives and goes with the partial file.
#pragma once
#include <string>

#include "common/file_system.h"
#include "resume_rules.h"

namespace parvex {

struct ResumeRecord {
    std::string address;  // scheme, host, port and server path, as requested
    ResumeBasis basis;
};

// The record's path beside the partial file at partialPath.
std::wstring ResumeRecordPath(const std::wstring& partialPath);

// Writes the record beside the partial file; false when it could not.
bool SaveResumeRecord(FileSystem& fs, const std::wstring& partialPath, const ResumeRecord& record);

// The record beside partialPath; false when there is none or it is not one
// of ours.
bool LoadResumeRecord(FileSystem& fs, const std::wstring& partialPath, ResumeRecord& record);

// The address a record names: what a later run must fetch to go on.
std::string ResumeAddress(bool secure, const std::wstring& host, int port, const std::wstring& urlPath);

}  // namespace parvex
