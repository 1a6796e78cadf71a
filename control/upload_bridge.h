// What the upload control hands to the upload run: UploadStart of the page.
// Implemented by the upload subsystem.
#pragma once

namespace parvex {

class UploadListModel;

// Runs the upload of list's entries with the progress dialog modal to the
// top-level window of ownerWindow (the control's window; may be null) and
// empties the list at the end; the result goes back to the page unchanged.
short ControlUploadStart(short kindOfUse, UploadListModel& list, void* ownerWindow);

// True from the start of an upload until its list is emptied. The page's
// script still runs meanwhile (timers, events), but nothing it calls may
// change the list or the values the worker reads.
bool UploadRunInProgress();
// The control or its page is going away during the run: the run is
// cancelled and the worker's open questions are answered at once.
void CancelUploadFromPage();

}  // namespace parvex
