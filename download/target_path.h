// Where a downloaded file goes: the page's name checked and its folders made
// inside the save folder, never through a link or junction, which could lead
// anywhere on the machine.
#pragma once
#include <string>

#include "common/file_system.h"

namespace parvex {

enum class TargetKind {
    Refused,  // a name that may not be saved, or a link, junction, file or folder in the way
    Folder,   // the name ends in a separator: the folder is made, nothing to fetch
    File,     // target is the file to write
};

TargetKind PrepareTarget(FileSystem& fs, const std::wstring& saveFolder, const std::wstring& fileName,
                         std::wstring& target);

// A file may be written at path: its last component is a name that may be
// saved and nothing there is a link. For the name chosen in a rename.
bool IsWritableTarget(FileSystem& fs, const std::wstring& path);

}  // namespace parvex
