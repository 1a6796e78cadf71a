// Message boxes owned by a window that may come and go (the control's).
#pragma once
#include <windows.h>

#include "common/message_box.h"

namespace parvex {

class WindowMessageBox : public MessageBoxHost {
public:
    void SetOwner(HWND owner) { owner_ = owner; }
    MessageAnswer Show(const std::wstring& text, const std::wstring& caption, unsigned style) override {
        return static_cast<MessageAnswer>(
            MessageBoxW(owner_, text.c_str(), caption.empty() ? nullptr : caption.c_str(), style));
    }

private:
    HWND owner_ = nullptr;
};

}  // namespace parvex
