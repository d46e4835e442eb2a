#pragma once

#include <QSize>
#include <QString>
#include <QWidget>

#include <optional>

namespace kv {

// The frame that surrounds a window's client area, so that a window is described by
// its outer size: a 3-pixel border on the left, right and bottom and a 25-pixel title
// bar with its top border.
inline constexpr int kFrameSide = 3;
inline constexpr int kFrameTop = 25;
QSize ClientSizeForOuter(const QSize& outer);

// A top-level window of the program: fixed size, centred at creation, title bar with
// close box only, shown in the task bar, not kept on top. Esc is a close request; Enter
// does not move the focus; no button is a default button.
class Window : public QWidget
{
    Q_OBJECT
public:
    Window(const QSize& outerSize, const QString& title);
    ~Window() override;

    // Created event: raised by LoadWindow once all controls exist, before showing.
    virtual void OnCreated() {}
    // Can-be-closed event, raised only by a close request. Returning nothing or true
    // lets the window be destroyed; false keeps it.
    virtual std::optional<bool> OnCanBeClosed() { return std::nullopt; }

    // What the close box and Esc do: raise the can-be-closed event, then destroy.
    void CloseRequest();

    // True once DestroyWindowDeferred marked the window.
    bool IsMarkedForDestruction() const { return marked_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend void DestroyWindowDeferred(Window* window);
    bool marked_ = false;
};

} // namespace kv
