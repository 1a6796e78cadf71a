// Message boxes and yes/no questions shown to the user. The style and answer
// values are the platform's own so that the Windows side passes them through.
#pragma once
#include <string>

namespace parvex {

enum MessageStyle : unsigned {
    MbOk = 0x0,
    MbOkCancel = 0x1,
    MbYesNo = 0x4,
    MbIconStop = 0x10,
    MbIconQuestion = 0x20,
    MbIconWarning = 0x30,
    MbIconInformation = 0x40,
};

enum MessageAnswer : int {
    IdOk = 1,
    IdCancel = 2,
    IdYes = 6,
    IdNo = 7,
};

class MessageBoxHost {
public:
    virtual ~MessageBoxHost() = default;
    // Shows text under caption (empty caption: the platform's default) and
    // returns the button the user chose.
    virtual MessageAnswer Show(const std::wstring& text, const std::wstring& caption, unsigned style) = 0;
};

}  // namespace parvex
