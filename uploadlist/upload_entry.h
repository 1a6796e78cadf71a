// One file of the upload list.
#pragma once
#include <string>

namespace parvex {

enum EntryKind : int {
    KindGeneral = 0,
    KindBig = 1,
    KindOnServer = 2,  // an attachment already on the server; never posted
};

struct UploadEntry {
    std::wstring localPath;   // empty for KindOnServer
    std::wstring fileName;    // name shown and sent; may hold "\" after a folder walk
    std::wstring uniqueName;
    int kind = KindGeneral;
    double size = 0;          // bytes
    int listIndex = 0;        // row in the list window
};

}  // namespace parvex
