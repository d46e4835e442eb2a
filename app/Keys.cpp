#include "Keys.h"

#include "Window.h"
#include "WindowRegistry.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace kv {

int VirtualKeyCode(const QKeyEvent& event)
{
    const int key = event.key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 'A' + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return '0' + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 112 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return kKeyEnter;
    case Qt::Key_Space:
        return kKeySpace;
    case Qt::Key_Escape:
        return kKeyEscape;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    default:
        return key < 0x80 ? key : 0;
    }
}

int ModifierState(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers mods = event.modifiers();
    return (mods & Qt::ControlModifier ? kModCtrl : 0) |
           (mods & Qt::ShiftModifier ? kModShift : 0) | (mods & Qt::AltModifier ? kModAlt : 0);
}

namespace {

bool WithoutModifiers(const QKeyEvent& event)
{
    return (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// Esc without modifiers, in any control of a program window, is the window's close
// request; the key goes no further.
class WindowKeys : public QObject
{
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Escape || !WithoutModifiers(*key))
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        // Act once, for the widget the key went to first.
        if (QApplication::focusWidget() && widget != QApplication::focusWidget())
            return false;
        if (auto* window = qobject_cast<Window*>(widget->window())) {
            window->CloseRequest();
            return true;
        }
        return false;
    }
};

// Runs a control's key-pressed handler before the control sees the key.
class KeyHandlerFilter : public QObject
{
public:
    KeyHandlerFilter(QWidget* control, KeyHandler handler)
        : QObject(control), handler_(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        // Tab and Shift+Tab belong to the window's focus order.
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
            (key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == Qt::NoModifier)
            return false;
        QPointer<QObject> self(this);
        const KeyVerdict verdict = handler_(VirtualKeyCode(*key), ModifierState(*key));
        return self && verdict == KeyVerdict::Swallow;
    }

private:
    KeyHandler handler_;
};

} // namespace

void InstallWindowKeys()
{
    static WindowKeys* keys = nullptr;
    if (!keys && qApp) {
        keys = new WindowKeys;
        keys->setParent(qApp);
        qApp->installEventFilter(keys);
    }
}

void SetKeyHandler(QWidget* control, KeyHandler handler)
{
    control->installEventFilter(new KeyHandlerFilter(control, std::move(handler)));
}

} // namespace kv
