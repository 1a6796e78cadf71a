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

}  // namespace parvex
