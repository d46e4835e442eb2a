#include "Window.h"

#include "Keys.h"
#include "Toolkit.h"
#include "WindowRegistry.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

namespace kv {

QSize ClientSizeForOuter(const QSize& outer)
{
    return QSize(outer.width() - 2 * kFrameSide, outer.height() - kFrameTop - kFrameSide);
}

Window::Window(const QSize& outerSize, const QString& title)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(title);
    setFixedSize(ClientSizeForOuter(outerSize));
    // The toolkit decides when the program ends, not Qt's last-window rule.
    setAttribute(Qt::WA_QuitOnClose, false);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(outerSize.width() / 2, outerSize.height() / 2));
    }
    InstallWindowKeys();
    RegisterAliveWindow(this);
}

Window::~Window()
{
    UnregisterAliveWindow(this);
}

void Window::CloseRequest()
{
    close();
}

void Window::closeEvent(QCloseEvent* event)
{
    if (marked_) {
        event->accept();
        return;
    }
    const std::optional<bool> verdict = OnCanBeClosed();
    if (verdict.has_value() && !*verdict) {
        event->ignore();
        return;
    }
    event->accept();
    DestroyWindowDeferred(this);
}

} // namespace kv
