// Which names from the page a downloaded file may be saved under. The rules
// are Windows' on every platform, so that a name behaves the same in the
// module and in the command-line client.
#pragma once
#include <string>

namespace parvex {

// True when a page-given name stays inside the save folder: not absolute,
// no drive, no ".." component; "\" and "/" both separate.
bool IsNameInsideFolder(const std::wstring& fileName);

// True when no component of the name is something Windows would not store
// as that plain file or folder: a device (CON, PRN, AUX, NUL, COM1-COM9,
// LPT1-LPT9 and their kin, with or without an extension), a character
// Windows does not allow in a file name (* ? < > | " : and control
// characters), a bidirectional control, which makes the name show as
// another, or a trailing dot or space, which Windows drops.
bool IsStorableName(const std::wstring& fileName);

// Both of the above: the name may be saved.
bool IsAcceptableDownloadName(const std::wstring& fileName);

// A name ending in a separator names a folder.
bool NamesFolder(const std::wstring& fileName);

}  // namespace parvex
