// The one way from another thread into a dialog. What a worker changes in a
// dialog's labels, list rows, progress bars and buttons is shown by the
// dialog's own thread: the worker records the change and posts at most one
// message for everything that changed before that thread woke, and never
// waits for it. A page thread busy running script or painting would
// otherwise hold the worker, and its connection, up; and under Wine every
// wake of the page's thread during a transfer cost the worker a few
// milliseconds of processor. How often the bars and labels change is the
// worker's (ProgressPace); a value a control already shows is not sent again.
//
// Whatever else a worker needs of the dialog (rows added or removed, rows
// read, buttons, the window closed) is a blocking request: it runs on the
// dialog's thread after the changes recorded before it and hands back a
// typed answer.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace parvex {

class PostedChanges {
public:
    // The dialog whose controls change, its list (for SetRow), the message
    // that makes its thread call Apply and the one that carries a request
    // (see PARVEX_POSTED_CHANGES). Changes made before wait for the first
    // Apply.
    void SetTarget(HWND dialog, HWND list, UINT applyMessage, UINT requestMessage);
    // A label.
    void SetText(int id, const std::wstring& text);
    // The status column of a list row.
    void SetRow(int row, const std::wstring& status);
    void SetBar(int id, int position);
    // On the dialog's thread: shows what changed since the last call.
    void Apply();

    // Runs work on the dialog's thread after the changes recorded before,
    // and returns when it is done: at once on that thread, through
    // requestMessage from any other, whose thread waits meanwhile. False
    // when the dialog was gone and work did not run. The request is sent,
    // not posted: a dialog's thread that waits for its worker still takes
    // sent messages (MsgWaitForMultipleObjects with QS_SENDMESSAGE), so the
    // worker's last request gets through, and a modal loop on that thread
    // answers it as well.
    bool Call(const std::function<void()>& work);
    // question's answer from the dialog's thread; ifGone when the dialog was
    // gone.
    template <class Answer>
    Answer Ask(const std::function<Answer()>& question, Answer ifGone) {
        Answer answer = ifGone;
        Call([&] { answer = question(); });
        return answer;
    }
    // On the dialog's thread, for requestMessage's lParam.
    void Answer(LPARAM request);

private:
    // Under lock_.
    bool NothingPending() const { return pendingTexts_.empty() && pendingRows_.empty() && pendingBars_.empty(); }
    void Post(bool wasIdle);

    // Written by any thread, under lock_; the lock is never held while a
    // control is told.
    std::mutex lock_;
    HWND target_ = nullptr;
    HWND list_ = nullptr;
    UINT applyMessage_ = 0;
    UINT requestMessage_ = 0;
    std::map<int, std::wstring> texts_;         // shown or on their way, by control
    std::map<int, int> bars_;                   // the same for the bars
    std::map<int, std::wstring> pendingTexts_;  // by control
    std::map<int, std::wstring> pendingRows_;   // by row
    std::map<int, int> pendingBars_;            // by control
};

}  // namespace parvex

// Message map entries of a dialog with PostedChanges changes: applyMessage
// shows the changes, requestMessage answers a blocking request.
#define PARVEX_POSTED_CHANGES(applyMessage, requestMessage, changes) \
    if (uMsg == (applyMessage)) {                                    \
        (changes).Apply();                                           \
        return true;                                                 \
    }                                                                \
    if (uMsg == (requestMessage)) {                                  \
        (changes).Answer(lParam);                                    \
        return true;                                                 \
    }
