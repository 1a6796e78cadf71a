// What the upload control hands to the upload run: UploadStart of the page.
// Implemented by the upload subsystem.
#pragma once

namespace parvex {

class UploadListModel;

// Runs the upload of list's entries with the progress dialog modal to the
// top-level window of ownerWindow (the control's window; may be null) and
// empties the list at the end; the result goes back to the page unchanged.
short ControlUploadStart(short kindOfUse, UploadListModel& list, void* ownerWindow);

// True while an upload runs (from its start until its list is emptied) and
// while an upload list is calling its page ("UpdateSize"). The page's script
// runs meanwhile (timers, events, the function itself), but nothing it calls
// may change a list or the settings: the worker reads them, and an adding
// route is half-way through its files.
bool UploadListLocked();
// The control or its page is going away during the run: the run is
// cancelled and the worker's open questions are answered at once.
void CancelUploadFromPage();

}  // namespace parvex
