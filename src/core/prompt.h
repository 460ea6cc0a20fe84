#pragma once

#include <QString>

namespace telviox {

// Message box styles, numbered as the product's messages quote them: buttons
// in the low bits, the icon in 0x10..0x40.
namespace BoxStyle {
constexpr int Ok = 0x0;
constexpr int OkCancel = 0x1;
constexpr int AbortRetryIgnore = 0x2;
constexpr int YesNoCancel = 0x3;
constexpr int YesNo = 0x4;
constexpr int RetryCancel = 0x5;
constexpr int CancelTryContinue = 0x6;
constexpr int Critical = 0x10;
constexpr int Question = 0x20;
constexpr int Exclamation = 0x30;
constexpr int Information = 0x40;
constexpr int ButtonMask = 0x0F;
constexpr int IconMask = 0xF0;
} // namespace BoxStyle

// The button a message box was answered with.
enum class Answer { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7,
                    TryAgain = 10, Continue = 11 };

// Every message box and beep goes through one Prompt, so that tests can
// answer and count them and the logic never touches a widget.
class Prompt
{
public:
    virtual ~Prompt() = default;
    virtual Answer message(const QString &text, int style, const QString &title) = 0;
    virtual void beep() = 0;
};

} // namespace telviox
