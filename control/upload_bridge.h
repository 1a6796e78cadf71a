// What the upload control hands to the upload run: UploadStart of the page.
// Implemented by the upload subsystem.
#pragma once

namespace parvex {

class UploadListModel;

// Runs the upload of list's entries with the progress dialog owned by
// ownerWindow (may be null) and empties the list at the end; the result
// goes back to the page unchanged.
short ControlUploadStart(short kindOfUse, UploadListModel& list, void* ownerWindow);

}  // namespace parvex
