#pragma once

#include <QString>

namespace kv {

// The last-user file, skin.ini in the run directory: the user name typed at the last
// login attempt, as UTF-8 bytes with no line end and no terminating zero.
QString LastUserFilePath();

// The text before the first zero byte; empty when the file is missing or unreadable.
QString ReadLastUser();

// Creates or truncates the file and writes exactly the text's bytes. A failure is
// ignored: the login does not depend on it.
void WriteLastUser(const QString& userName);

} // namespace kv
