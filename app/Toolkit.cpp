#include "Toolkit.h"

#include "Dialogs.h"
#include "WindowRegistry.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kv {
namespace {

std::vector<Window*>& Alive()
{
    static std::vector<Window*> windows;
    return windows;
}

std::vector<std::function<void()>>& ExitHooks()
{
    static std::vector<std::function<void()>> hooks;
    return hooks;
}

bool loopStarted = false;
bool exiting = false;
QString runDirectoryOverride;

} // namespace

void RegisterAliveWindow(Window* window)
{
    Alive().push_back(window);
}

void UnregisterAliveWindow(Window* window)
{
    std::erase(Alive(), window);
    if (Alive().empty() && loopStarted && !exiting)
        QCoreApplication::exit(0);
}

Window* AliveWindow(const char* kind)
{
    for (Window* window : Alive())
        if (std::strcmp(window->metaObject()->className(), kind) == 0)
            return window;
    return nullptr;
}

bool LoadWindow(const char* kind, const WindowFactory& create, Window* /*parent*/, bool modal)
{
    if (Window* existing = AliveWindow(kind)) {
        if (!existing->IsMarkedForDestruction()) {
            if (existing->isMinimized())
                existing->showNormal();
            else {
                existing->raise();
                existing->activateWindow();
            }
            return true;
        }
        delete existing;
    }

    QPointer<QWidget> previouslyActive = QApplication::activeWindow();
    Window* window = nullptr;
    try {
        window = create();
    } catch (...) {
        window = nullptr;
    }
    if (!window)
        return false;

    QPointer<Window> guard(window);
    window->OnCreated();
    if (!guard)
        return true;

    struct Disabled
    {
        QPointer<Window> window;
        bool wasEnabled;
    };
    std::vector<Disabled> disabled;
    if (modal) {
        for (Window* other : Alive()) {
            if (other == window)
                continue;
            disabled.push_back({other, other->isEnabled()});
            other->setEnabled(false);
        }
        window->setWindowModality(Qt::ApplicationModal);
    }
    window->show();
    if (!modal)
        return true;

    // Nested loop until the modal window is destroyed.
    QEventLoop loop;
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (guard)
        loop.exec(QEventLoop::DialogExec);

    for (const Disabled& entry : disabled)
        if (entry.window)
            entry.window->setEnabled(entry.wasEnabled);
    if (previouslyActive && previouslyActive->isVisible())
        previouslyActive->activateWindow();
    return true;
}

void DestroyWindowDeferred(Window* window)
{
    if (!window || window->marked_)
        return;
    window->marked_ = true;
    window->deleteLater();
}

void AddExitHook(std::function<void()> hook)
{
    ExitHooks().push_back(std::move(hook));
}

void ExitProgram(int code)
{
    exiting = true;
    for (const auto& hook : ExitHooks())
        hook();
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}

bool MessageLoopStarted()
{
    return loopStarted;
}

int RunProgram(const char* kind, const WindowFactory& create)
{
    QApplication::setQuitOnLastWindowClosed(false);
    if (!LoadWindow(kind, create, nullptr, false))
        ErrorBox(std::nullopt, QStringLiteral("载入启动窗口失败"));
    loopStarted = true;
    if (!Alive().empty())
        QApplication::exec();
    loopStarted = false;
    return 0;
}

QString RunDirectory()
{
    if (!runDirectoryOverride.isEmpty())
        return runDirectoryOverride;
    return QCoreApplication::applicationDirPath();
}

void SetRunDirectory(const QString& directory)
{
    runDirectoryOverride = directory;
}

} // namespace kv
