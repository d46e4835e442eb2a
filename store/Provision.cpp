#include "store/Provision.h"

#include "store/Engine.h"

#include <sqlite3.h>

namespace kv {
namespace {

QString ColumnText(sqlite3_stmt* statement, int column)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                             sqlite3_column_bytes(statement, column));
}

QString QuotedIdentifier(const QString& name)
{
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

} // namespace

QStringList EmptyStoreSchema()
{
    return {QStringLiteral("CREATE TABLE management (username TEXT COLLATE NOCASE, "
                           "password1 TEXT, password2 TEXT)")};
}

bool CreateEmptyStore(const QString& path, const QString& password, QString* error)
{
    return engine::CreateNew(path, password, EmptyStoreSchema(), error);
}

StoreReport CheckStore(const QString& path, const QString& password)
{
    StoreReport report;
    QString reason;
    sqlite3* db = engine::OpenExisting(path, password, &reason);
    if (!db) {
        report.problems << reason;
        return report;
    }
    report.opened = true;

    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK) {
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            const QString line = ColumnText(statement, 0);
            if (line != QLatin1String("ok"))
                report.problems << line;
        }
        report.intact = rc == SQLITE_DONE && report.problems.isEmpty();
        if (rc != SQLITE_DONE)
            report.problems << QString::fromUtf8(sqlite3_errmsg(db));
    } else {
        report.problems << QString::fromUtf8(sqlite3_errmsg(db));
    }
    sqlite3_finalize(statement);

    statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT username FROM management", -1, &statement, nullptr) ==
        SQLITE_OK) {
        while (sqlite3_step(statement) == SQLITE_ROW)
            report.users.append({ColumnText(statement, 0), -1});
    } else {
        report.intact = false;
        report.problems << QString::fromUtf8(sqlite3_errmsg(db));
    }
    sqlite3_finalize(statement);

    for (StoreReport::User& user : report.users) {
        const QByteArray sql = ("SELECT count(*) FROM " + QuotedIdentifier(user.name)).toUtf8();
        statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            user.records = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
    }
    engine::CloseHandle(db);
    return report;
}

} // namespace kv
