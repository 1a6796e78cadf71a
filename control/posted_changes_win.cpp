#include "posted_changes_win.h"

#include "control/list_view_win.h"

namespace parvex {

namespace {

// A blocking request as it crosses: ran tells the caller that the dialog's
// thread got it.
struct Request {
    const std::function<void()>* work;
    bool ran;
};

}  // namespace

void PostedChanges::SetTarget(HWND dialog, HWND list, UINT applyMessage, UINT requestMessage) {
    std::lock_guard<std::mutex> lock(lock_);
    target_ = dialog;
    list_ = list;
    applyMessage_ = applyMessage;
    requestMessage_ = requestMessage;
}

void PostedChanges::SetText(int id, const std::wstring& text) {
    bool idle;
    {
        std::lock_guard<std::mutex> lock(lock_);
        auto shown = texts_.find(id);
        if (shown != texts_.end() && shown->second == text) return;
        texts_[id] = text;
        idle = NothingPending();
        pendingTexts_[id] = text;
    }
    Post(idle);
}

void PostedChanges::SetRow(int row, const std::wstring& status) {
    bool idle;
    {
        std::lock_guard<std::mutex> lock(lock_);
        idle = NothingPending();
        pendingRows_[row] = status;
    }
    Post(idle);
}

void PostedChanges::SetBar(int id, int position) {
    bool idle;
    {
        std::lock_guard<std::mutex> lock(lock_);
        auto shown = bars_.find(id);
        if (shown != bars_.end() && shown->second == position) return;
        bars_[id] = position;
        idle = NothingPending();
        pendingBars_[id] = position;
    }
    Post(idle);
}

void PostedChanges::Post(bool wasIdle) {
    HWND target;
    UINT message;
    {
        std::lock_guard<std::mutex> lock(lock_);
        target = target_;
        message = applyMessage_;
    }
    if (wasIdle && target) PostMessageW(target, message, 0, 0);
}

void PostedChanges::Apply() {
    HWND dialog, list;
    std::map<int, std::wstring> texts, rows;
    std::map<int, int> bars;
    {
        std::lock_guard<std::mutex> lock(lock_);
        dialog = target_;
        list = list_;
        texts.swap(pendingTexts_);
        rows.swap(pendingRows_);
        bars.swap(pendingBars_);
    }
    for (const auto& text : texts) SetDlgItemTextW(dialog, text.first, text.second.c_str());
    for (const auto& row : rows) ListView(list).SetText(row.first, 1, row.second);
    for (const auto& bar : bars) SetBarPosition(GetDlgItem(dialog, bar.first), bar.second);
}

bool PostedChanges::Call(const std::function<void()>& work) {
    HWND target;
    UINT message;
    {
        std::lock_guard<std::mutex> lock(lock_);
        target = target_;
        message = requestMessage_;
    }
    Request request{&work, false};
    if (target && GetWindowThreadProcessId(target, nullptr) == GetCurrentThreadId())
        Answer(reinterpret_cast<LPARAM>(&request));
    else if (target)
        SendMessageW(target, message, 0, reinterpret_cast<LPARAM>(&request));
    return request.ran;
}

void PostedChanges::Answer(LPARAM lParam) {
    auto* request = reinterpret_cast<Request*>(lParam);
    Apply();
    (*request->work)();
    request->ran = true;
}

}  // namespace parvex
