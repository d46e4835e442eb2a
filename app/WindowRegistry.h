#pragma once

namespace kv {

class Window;

// The list of alive windows, kept by the Window constructor and destructor. When the
// last one is destroyed after the message loop started, the loop is told to quit with 0.
void RegisterAliveWindow(Window* window);
void UnregisterAliveWindow(Window* window);

// Installs, once, the application-wide handling of Esc as a close request.
void InstallWindowKeys();

} // namespace kv
