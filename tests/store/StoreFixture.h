#pragma once

// A real encrypted store in a temporary directory, for the store tests.

#include "store/Provision.h"
#include "store/StoreConnection.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace kvtest {

inline const QString kPassword = QString::fromLatin1(kv::kStorePassword);

struct TempStore
{
    QTemporaryDir dir;
    QString path = kv::StorePath(dir.path());

    // Creates the empty store (table management) and opens the connection on it.
    bool CreateAndOpen(kv::StoreConnection& connection)
    {
        return kv::CreateEmptyStore(path, kPassword) && connection.Open(path, kPassword);
    }
};

inline QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

// Runs a command line tool with standard input; returns its exit code (-1 when it cannot
// run) and its standard output and error in *output.
inline int RunTool(const QString& program, const QStringList& arguments, const QByteArray& input,
                   QByteArray* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted())
        return -1;
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// The first column of every row of a query, in order, released afterwards.
inline QStringList Column(kv::StoreConnection& connection, const QString& query, int position = 1)
{
    QStringList values;
    const kv::ScopedResult result(connection, connection.Query(query));
    for (; !connection.AtEnd(result); connection.MoveNext(result))
        values << connection.ReadText(result, position);
    return values;
}

} // namespace kvtest
