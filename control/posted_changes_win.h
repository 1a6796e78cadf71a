// What a worker changes in a dialog's labels, list rows and progress bars,
// shown by the dialog's own thread: the worker records the change and posts
// at most one message for everything that changed before that thread woke,
// and never waits for it. A page thread busy running script or painting
// would otherwise hold the worker, and its connection, up; and under Wine
// every wake of the page's thread during a transfer cost the worker a few
// milliseconds of processor. How often the bars and labels change is the
// worker's (ProgressPace); a value a control already shows is not sent again.
#pragma once
#include <windows.h>

#include <map>
#include <mutex>
#include <string>

namespace parvex {

class PostedChanges {
public:
    // The dialog whose controls change, and the message that makes its
    // thread call Apply. Changes made before wait for the first Apply.
    void SetTarget(HWND dialog, UINT applyMessage);
    // A label.
    void SetText(int id, const std::wstring& text);
    // The status column of a list row.
    void SetRow(int row, const std::wstring& status);
    void SetBar(int id, int position);
    // On the dialog's thread: shows what changed since the last call; rows
    // go to list.
    void Apply(HWND list = nullptr);

private:
    // Under lock_.
    bool NothingPending() const { return pendingTexts_.empty() && pendingRows_.empty() && pendingBars_.empty(); }
    void Post(bool wasIdle);

    // Written by any thread, under lock_; the lock is never held while a
    // control is told.
    std::mutex lock_;
    HWND target_ = nullptr;
    UINT applyMessage_ = 0;
    std::map<int, std::wstring> texts_;  // shown or on their way, by control
    std::map<int, int> bars_;            // the same for the bars
    std::map<int, std::wstring> pendingTexts_;  // by control
    std::map<int, std::wstring> pendingRows_;   // by row
    std::map<int, int> pendingBars_;            // by control
};

}  // namespace parvex
