#pragma once

// Shared by the benchmark programs: clocks and medians, store fixtures made in one
// transaction, and the floor every store figure is held against: the raw walk, which
// opens the store with the engine's C API and reads every row's four columns as text.

#include "store/Provision.h"
#include "store/Statements.h"
#include "store/StoreConnection.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <openssl/evp.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace kvbench {

using Clock = std::chrono::steady_clock;

inline double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline double TimeMs(const std::function<void()>& work)
{
    const Clock::time_point start = Clock::now();
    work();
    return MillisecondsSince(start);
}

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

// Runs the work `runs` times and returns the median in milliseconds.
inline double MedianMs(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(TimeMs(work));
    return Median(times);
}

inline QString StorePassword()
{
    return QString::fromLatin1(kv::kStorePassword);
}

// The login user every fixture holds, and its password.
inline const QString kUser = QStringLiteral("bench");
inline const QString kUserPassword = QStringLiteral("bench-pw-1");

// One account record as the fixtures make it: a mail-like account name, a 12-character
// password, and a remark that is empty, Latin or Chinese in turn.
struct Record
{
    QString id, account, password, remark;
};

inline Record MakeRecord(int id)
{
    static const char alphabet[] = "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789!#%";
    quint32 state = quint32(id) * 2654435761u + 12345u;
    QString password;
    for (int i = 0; i < 12; ++i) {
        state = state * 1664525u + 1013904223u;
        password += QLatin1Char(alphabet[(state >> 16) % (sizeof alphabet - 1)]);
    }
    QString remark;
    switch (id % 3) {
    case 0:
        break;
    case 1:
        remark = QStringLiteral("recovery codes in safe %1").arg(id % 97);
        break;
    default:
        remark = QStringLiteral("工作邮箱 %1").arg(id % 89);
    }
    return {QString::number(id),
            QStringLiteral("account%1@example.org").arg(id, 6, 10, QChar(u'0')), password, remark};
}

// What the records weigh as text: the UTF-8 bytes of the four columns of every row.
inline qint64 RawTextBytes(int records)
{
    qint64 bytes = 0;
    for (int id = 1; id <= records; ++id) {
        const Record r = MakeRecord(id);
        bytes += r.id.toUtf8().size() + r.account.toUtf8().size() + r.password.toUtf8().size() +
                 r.remark.toUtf8().size();
    }
    return bytes;
}

// Creates the store of a run directory holding the login user and `records` records with
// IDs 1..records, all in one transaction.
inline bool MakeStore(const QString& runDirectory, int records)
{
    const QString path = kv::StorePath(runDirectory);
    QString reason;
    if (!kv::CreateEmptyStore(path, StorePassword(), &reason)) {
        std::fprintf(stderr, "cannot create %s: %s\n", qPrintable(path), qPrintable(reason));
        return false;
    }
    QStringList statements;
    statements.reserve(records + 2);
    statements << kv::statements::UserInsert(kUser, kUserPassword, kUserPassword)
               << kv::statements::RecordTableCreate(kUser);
    for (int id = 1; id <= records; ++id) {
        const Record r = MakeRecord(id);
        statements << kv::statements::RecordInsert(kUser, r.id, r.account, r.password, r.remark);
    }
    kv::StoreConnection connection;
    if (!connection.Open(path, StorePassword()) || !connection.ExecuteTogether(statements)) {
        std::fprintf(stderr, "cannot fill %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// The raw key of a store file, as `PRAGMA key = "x'...'"`, derived here once so the
// floor pays no key derivation (the program caches its derived key the same way).
// Empty when the engine's derivation parameters are unknown.
inline QByteArray RawKeyPragma(const QString& storeFile)
{
    QFile file(storeFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray salt = file.read(16);
    if (salt.size() != 16)
        return {};
    sqlite3* db = nullptr;
    QByteArray version;
    int iterations = 0;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA cipher_version", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            version = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
        statement = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA cipher_default_kdf_iter", -1, &statement, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            iterations = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    const EVP_MD* digest = version.startsWith("3.")   ? EVP_sha1()
                           : version.startsWith("4.") ? EVP_sha512()
                                                      : nullptr;
    if (!digest || iterations <= 0)
        return {};
    const QByteArray passphrase = StorePassword().toUtf8();
    unsigned char key[32];
    if (PKCS5_PBKDF2_HMAC(passphrase.constData(), int(passphrase.size()),
                          reinterpret_cast<const unsigned char*>(salt.constData()), 16, iterations,
                          digest, int(sizeof key), key) != 1)
        return {};
    return "PRAGMA key = \"x'" +
           QByteArray(reinterpret_cast<const char*>(key), sizeof key).toHex() + "'\"";
}

// The floor of a store figure: open the file, key it (raw key when given, else the
// passphrase), and walk every row of the login user's record table reading all four
// columns as text. Returns the rows walked, -1 on failure; *bytes gets the text read.
inline qint64 RawWalk(const QString& storeFile, const QByteArray& keyPragma,
                      qint64* bytes = nullptr)
{
    sqlite3* db = nullptr;
    const QByteArray file = QFile::encodeName(storeFile);
    if (sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return -1;
    }
    const QByteArray key =
        !keyPragma.isEmpty() ? keyPragma : "PRAGMA key = '" + StorePassword().toUtf8() + "'";
    sqlite3_exec(db, key.constData(), nullptr, nullptr, nullptr);
    sqlite3_stmt* statement = nullptr;
    const QByteArray query = "select * from \"" + kUser.toUtf8() + "\"";
    qint64 rows = -1;
    qint64 read = 0;
    if (sqlite3_prepare_v2(db, query.constData(), -1, &statement, nullptr) == SQLITE_OK) {
        rows = 0;
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            for (int column = 0; column < 4; ++column) {
                sqlite3_column_text(statement, column);
                read += sqlite3_column_bytes(statement, column);
            }
            ++rows;
        }
        if (rc != SQLITE_DONE)
            rows = -1;
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    if (bytes)
        *bytes = read;
    return rows;
}

// One raw insert on a fresh handle, in the engine's automatic commit: the write half of
// the add floor.
inline bool RawInsert(const QString& storeFile, const QByteArray& keyPragma, const Record& r)
{
    sqlite3* db = nullptr;
    const QByteArray file = QFile::encodeName(storeFile);
    bool ok = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
    if (ok)
        sqlite3_exec(db, keyPragma.constData(), nullptr, nullptr, nullptr);
    sqlite3_stmt* statement = nullptr;
    const QByteArray sql =
        "insert into \"" + kUser.toUtf8() + "\"(ID,用户名,口令,备注) values(?,?,?,?)";
    ok = ok && sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) == SQLITE_OK;
    if (ok) {
        const QByteArray values[4] = {r.id.toUtf8(), r.account.toUtf8(), r.password.toUtf8(),
                                      r.remark.toUtf8()};
        sqlite3_bind_int64(statement, 1, r.id.toLongLong());
        for (int i = 1; i < 4; ++i)
            sqlite3_bind_text(statement, i + 1, values[i].constData(), int(values[i].size()),
                              SQLITE_TRANSIENT);
        ok = sqlite3_step(statement) == SQLITE_DONE;
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return ok;
}

inline void PrintRule()
{
    std::printf("%s\n", QByteArray(78, '-').constData());
}

} // namespace kvbench
