#pragma once

// The status column of a file row, for the upload and the download dialogs
// alike. Only "waiting" is spelt differently by the two.
namespace parvex {

inline constexpr wchar_t kRowUploadWaiting[] = L"대기";
inline constexpr wchar_t kRowDownloadWaiting[] = L"대 기";
inline constexpr wchar_t kRowTransferring[] = L"전송중";
inline constexpr wchar_t kRowDone[] = L"완 료";
inline constexpr wchar_t kRowFailed[] = L"실 패";
inline constexpr wchar_t kRowCancelled[] = L"취 소";
inline constexpr wchar_t kRowSkipped[] = L"건너뜀";
// A download whose connection broke, waiting to try again; then going on
// from the bytes it kept.
inline constexpr wchar_t kRowRetrying[] = L"재시도";
inline constexpr wchar_t kRowResuming[] = L"이어받기";

}  // namespace parvex
