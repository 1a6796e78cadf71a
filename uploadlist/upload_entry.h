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
    // What the totals received for this entry at admission. It differs from
    // size when the page names a server file of 4 GiB or more or a fractional
    // size; taking this back out leaves no remainder in the totals.
    double countedSize = 0;
    // What the list's duplicate check knows a local file by (empty for
    // KindOnServer): the same file reached by another name has the same key.
    std::wstring fileKey;
};

}  // namespace parvex
