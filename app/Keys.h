#pragma once

#include <functional>

class QKeyEvent;
class QWidget;

namespace kv {

// Key codes as the handlers see them (the platform's virtual-key codes).
inline constexpr int kKeyEnter = 13;
inline constexpr int kKeySpace = 32;
inline constexpr int kKeyEscape = 27;
// Modifier state: 1 Ctrl, 2 Shift, 4 Alt, added.
inline constexpr int kModCtrl = 1, kModShift = 2, kModAlt = 4;

int VirtualKeyCode(const QKeyEvent& event);
int ModifierState(const QKeyEvent& event);

enum class KeyVerdict
{
    LetThrough, // the handler returned nothing: the key goes on to the control
    Swallow,    // the handler returned false: the control sees neither key nor character
};
using KeyHandler = std::function<KeyVerdict(int keyCode, int modifiers)>;

// The key-pressed event of a control: raised when a key goes down while the control has
// the focus, after Tab and Esc were handled by the window and before the control sees it.
void SetKeyHandler(QWidget* control, KeyHandler handler);

} // namespace kv
