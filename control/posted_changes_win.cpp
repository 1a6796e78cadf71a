#include "posted_changes_win.h"

#include <commctrl.h>

#include "list_view_win.h"

namespace parvex {

void PostedChanges::SetTarget(HWND dialog, UINT applyMessage) {
    std::lock_guard<std::mutex> lock(lock_);
    target_ = dialog;
    applyMessage_ = applyMessage;
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

void PostedChanges::Apply(HWND list) {
    HWND dialog;
    std::map<int, std::wstring> texts, rows;
    std::map<int, int> bars;
    {
        std::lock_guard<std::mutex> lock(lock_);
        dialog = target_;
        texts.swap(pendingTexts_);
        rows.swap(pendingRows_);
        bars.swap(pendingBars_);
    }
    for (const auto& text : texts) SetDlgItemTextW(dialog, text.first, text.second.c_str());
    for (const auto& row : rows) SetListText(list, row.first, 1, row.second);
    for (const auto& bar : bars) SendMessageW(GetDlgItem(dialog, bar.first), PBM_SETPOS, bar.second, 0);
}

}  // namespace parvex
