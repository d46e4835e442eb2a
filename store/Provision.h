#pragma once

#include <QString>
#include <QStringList>

namespace kv {

// The statements that make an empty store: the table of login users, whose names
// compare without regard to letter case.
QStringList EmptyStoreSchema();

// Creates an empty store at the path, keyed with the password. Refuses a path where
// anything exists; leaves nothing behind on failure. The reason goes to *error.
bool CreateEmptyStore(const QString& path, const QString& password, QString* error = nullptr);

struct StoreReport
{
    bool opened = false;  // the file exists and the key fits
    bool intact = false;  // the engine's integrity check passed
    QStringList problems; // what the integrity check found, or why it could not open
    struct User
    {
        QString name;
        qint64 records = -1; // -1: the user has no record table
    };
    QList<User> users;
};

// Opens an existing store, runs the integrity check and counts each login user's records.
// Writes nothing.
StoreReport CheckStore(const QString& path, const QString& password);

} // namespace kv
