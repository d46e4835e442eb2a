#pragma once

// The engine adapter under StoreConnection: opening and keying SQLCipher files. Internal
// to store/ (it exposes the C API of the engine); windows use StoreConnection.

#include <QString>
#include <QStringList>

struct sqlite3;

namespace kv::engine {

// True when the linked engine encrypts (PRAGMA cipher_version answers). Without that a
// plain SQLite library has taken the engine's place and keys would be ignored.
bool CipherAvailable();

// Opens an existing store file read-write and keys it with the password (no key when
// the password is empty). Returns nullptr, with a reason in *error, when the file is
// missing, is not a store, is damaged at its start, or the key is wrong. Never creates
// the file, and a failed open writes nothing to it.
sqlite3* OpenExisting(const QString& path, const QString& password, QString* error = nullptr);

// Creates a new store file keyed with the password and runs the statements in it as one
// transaction. Refuses a path where anything exists; removes what it made on failure.
bool CreateNew(const QString& path, const QString& password, const QStringList& statements,
               QString* error = nullptr);

// Closes a handle returned by OpenExisting.
void CloseHandle(sqlite3* db);

// Timing figures for the key: how often a key was derived in this process.
int KeyDerivations();

} // namespace kv::engine
