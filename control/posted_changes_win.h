// What a worker changes in a dialog's labels, list rows and progress bars,
// shown by the dialog's own thread: the worker records the change and posts
// at most one message for everything that changed before that thread woke,
// and never waits for it. A page thread busy running script or painting
// would otherwise hold the worker, and its connection, up; and under Wine
// every wake of the page's thread during a transfer cost the worker a few
// milliseconds of processor.
#pragma once
#include <windows.h>

#include <map>
#include <mutex>
#include <string>

namespace parvex {

class PostedChanges {
public:
    // Bars are drawn at most every barIntervalMs (and at once at 0 and 100).
    explicit PostedChanges(DWORD barIntervalMs) : barIntervalMs_(barIntervalMs) {}

    // The dialog whose controls change, and the message that makes its
    // thread call Apply. Changes made before wait for the first Apply.
    void SetTarget(HWND dialog, UINT applyMessage);
    // A label; a text it already shows is not sent again. The bars held back
    // by the interval catch up with it.
    void SetText(int id, const std::wstring& text);
    // The status column of a list row.
    void SetRow(int row, const std::wstring& status);
    void SetBar(int id, int position);
    // The bars as last asked, whatever the interval.
    void CatchUpBars();
    // On the dialog's thread: shows what changed since the last call; rows
    // go to list.
    void Apply(HWND list = nullptr);

private:
    // Under lock_; true when the dialog's thread must be told.
    bool QueueBars(bool onlyAfterInterval);
    bool NothingPending() const { return pendingTexts_.empty() && pendingRows_.empty() && pendingBars_.empty(); }
    void Post(bool wasIdle);

    const DWORD barIntervalMs_;
    // Written by any thread, under lock_; the lock is never held while a
    // control is told.
    std::mutex lock_;
    HWND target_ = nullptr;
    UINT applyMessage_ = 0;
    std::map<int, std::wstring> texts_;  // shown or on their way, by control
    std::map<int, int> bars_;            // the same for the bars
    std::map<int, int> wantedBars_;      // the latest position asked for
    DWORD barsDrawnTick_ = 0;
    std::map<int, std::wstring> pendingTexts_;  // by control
    std::map<int, std::wstring> pendingRows_;   // by row
    std::map<int, int> pendingBars_;            // by control
};

}  // namespace parvex
