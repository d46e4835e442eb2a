#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace kv {

inline constexpr char kMessageCaption[] = "信息：";
inline constexpr char kErrorCaption[] = "错误";

// The program's message box: caption "信息：", no icon, no owner, modal to the whole
// program. Button set 0: OK; 1: OK and Cancel. Returns 0 for OK, 1 for Cancel, Esc or
// the close box.
int ShowMessage(const QString& text, int buttonSet = 0);

// The text of the error box for a code and a message (either may be absent).
QString ErrorBoxText(std::optional<int> code, const QString& message);
// Shows the error box (caption "错误", error icon, OK), then ends the process with -1.
[[noreturn]] void ErrorBox(std::optional<int> code, const QString& message);

// Moves the keyboard focus to the control. A hidden control gets it when it is shown.
void FocusControl(QWidget* control);

} // namespace kv
