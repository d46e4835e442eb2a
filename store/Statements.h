#pragma once

#include <QString>

// The statement catalogue. Values are spliced as text literals with every single quote
// doubled; table names (a login user's name) stand in square brackets, which the
// connection turns into the engine's identifier quotes.
namespace kv::statements {

QString TextLiteral(const QString& value);  // 'value' with ' doubled
QString TableName(const QString& userName); // [userName]

QString UserLookup(const QString& userName);
QString UserList();
QString UserInsert(const QString& userName, const QString& password1, const QString& password2);
QString RecordTableCreate(const QString& userName);
QString PasswordUpdate(const QString& password1, const QString& password2, const QString& userName);
QString UserDelete(const QString& userName);
QString RecordTableDrop(const QString& userName);
QString RecordList(const QString& table);
QString HighestId(const QString& table);
QString RecordInsert(const QString& table, const QString& id, const QString& user,
                     const QString& password, const QString& remark);
QString RecordDelete(const QString& table, const QString& id);
// Rewrites the three texts of one record, found by its listed ID.
QString RecordUpdate(const QString& table, const QString& id, const QString& user,
                     const QString& password, const QString& remark);
QString RecordDeleteAll(const QString& table);

// The next record ID from the text read for the highest ID: the leading decimal number
// (0 when there is none) plus 1, written with at most 13 significant digits.
QString NextRecordId(const QString& highestIdText);

} // namespace kv::statements
