#pragma once

#include "windows/LoginWindow.h"

namespace kv {

// What the program installs before its first window: the store's host (driver dialogs
// and the type-mismatch stop) and the exit hook that closes store connections.
void PrepareProgram();

} // namespace kv
