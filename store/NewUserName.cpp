#include "store/NewUserName.h"

#include "store/Statements.h"
#include "store/StoreConnection.h"

namespace kv {
namespace {

// Characters that could end a quoted name or a literal, and control characters.
bool CanBeQuotedSafely(const QString& name)
{
    if (!name.isValidUtf16())
        return false;
    for (const QChar c : name) {
        if (c == u'[' || c == u']' || c == u'"' || c == u'\'' || c == u'`')
            return false;
        if (c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

// True when the first column of some row of the query equals the name, ignoring case.
bool AnyRowEquals(StoreConnection& connection, const QString& query, const QString& name)
{
    const ScopedResult result(connection, connection.Query(query));
    for (; !connection.AtEnd(result); connection.MoveNext(result)) {
        if (connection.ReadText(result, 1).compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

NewUserName CheckNewUserName(StoreConnection& connection, const QString& name)
{
    if (name.isEmpty() || !CanBeQuotedSafely(name))
        return NewUserName::Unusable;
    if (name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive))
        return NewUserName::Unusable;
    if (name.compare(QLatin1String("management"), Qt::CaseInsensitive) == 0)
        return NewUserName::Taken;
    // Tables, indexes and views share one name space in the engine.
    if (AnyRowEquals(connection, QStringLiteral("select name from sqlite_master"), name))
        return NewUserName::Taken;
    if (AnyRowEquals(connection, statements::UserList(), name))
        return NewUserName::Taken;
    return NewUserName::Usable;
}

} // namespace kv
