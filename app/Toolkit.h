#pragma once

#include "Window.h"

#include <QString>

#include <functional>

namespace kv {

using WindowFactory = std::function<Window*()>;

// The alive window of a kind (class name), or nullptr. A window marked for deferred
// destruction still counts as alive until it is destroyed.
Window* AliveWindow(const char* kind);
template <class W> W* AliveWindow()
{
    return static_cast<W*>(AliveWindow(W::staticMetaObject.className()));
}

// Creates a window of a kind: an alive window is only brought to the front (or
// restored); a marked one is destroyed at once and created again. The created event
// runs before the window is shown. Modal: every other alive top-level window is
// disabled, a nested loop runs until the window is destroyed, then the former enabled
// states come back. Returns false when the window cannot be created.
bool LoadWindow(const char* kind, const WindowFactory& create, Window* parent, bool modal);
template <class W> bool LoadWindow(Window* parent = nullptr, bool modal = false)
{
    return LoadWindow(
        W::staticMetaObject.className(), [] { return new W; }, parent, modal);
}

// Destroys the window once the running handler has returned; no can-be-closed event.
void DestroyWindowDeferred(Window* window);

// Ends the process at once with the code (-1 is 255 to a POSIX shell), after running
// the exit hooks. Nothing after the call runs.
[[noreturn]] void ExitProgram(int code);
// Work to do before the process ends through ExitProgram (closing store connections).
void AddExitHook(std::function<void()> hook);

// Start-up: loads the start-up window not modal and runs the message loop; when it
// cannot be created, the error box "载入启动窗口失败" ends the process with -1.
// Returns 0 when the loop ends (the last window was destroyed).
int RunProgram(const char* kind, const WindowFactory& create);
template <class W> int RunProgram()
{
    return RunProgram(W::staticMetaObject.className(), [] { return new W; });
}
// True once the message loop has started; the last window destroyed then quits it.
bool MessageLoopStarted();

// The directory of the running program, without a trailing separator.
QString RunDirectory();
// Tests run windows against a temporary directory instead.
void SetRunDirectory(const QString& directory);

} // namespace kv
