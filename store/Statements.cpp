#include "store/Statements.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>

namespace kv::statements {

QString TextLiteral(const QString& value)
{
    QString doubled = value;
    doubled.replace(u'\'', QStringLiteral("''"));
    return u'\'' + doubled + u'\'';
}

namespace {

// The name between the brackets: a "]" inside is written "]]", which the connection
// reads back as part of the name.
QString BracketedInner(const QString& name)
{
    QString inner = name;
    inner.replace(u']', QStringLiteral("]]"));
    return inner;
}

bool IsIntegerLiteral(const QString& text)
{
    static const QRegularExpression integer(QStringLiteral("^-?[0-9]+$"));
    return integer.match(text).hasMatch();
}

} // namespace

QString TableName(const QString& userName)
{
    return u'[' + BracketedInner(userName) + u']';
}

QString UserLookup(const QString& userName)
{
    return QStringLiteral("SELECT * FROM management WHERE username=") + TextLiteral(userName);
}

QString UserList()
{
    return QStringLiteral("select username from management");
}

QString UserInsert(const QString& userName, const QString& password1, const QString& password2)
{
    return QStringLiteral("insert into management(username,password1,password2) values(") +
           TextLiteral(userName) + u',' + TextLiteral(password1) + u',' + TextLiteral(password2) +
           u')';
}

QString RecordTableCreate(const QString& userName)
{
    return QStringLiteral("CREATE TABLE ") + TableName(userName) +
           QStringLiteral(" (ID INT ,用户名 TEXT , 口令 TEXT , 备注 NOTE)");
}

QString PasswordUpdate(const QString& password1, const QString& password2, const QString& userName)
{
    return QStringLiteral("update management set password1=") + TextLiteral(password1) +
           QStringLiteral(",password2=") + TextLiteral(password2) +
           QStringLiteral(" where username= ") + TextLiteral(userName);
}

QString UserDelete(const QString& userName)
{
    return QStringLiteral("delete from management where username=") + TextLiteral(userName);
}

QString RecordTableDrop(const QString& userName)
{
    return QStringLiteral("drop table ") + TableName(userName);
}

QString RecordList(const QString& table)
{
    return QStringLiteral("select * from ") + TableName(table);
}

QString HighestId(const QString& table)
{
    return QStringLiteral("select ID from ") + TableName(table) +
           QStringLiteral(" where ID = ( select max(ID) from ") + TableName(table) + u')';
}

QString RecordInsert(const QString& table, const QString& id, const QString& user,
                     const QString& password, const QString& remark)
{
    return QStringLiteral("insert into ") + TableName(table) +
           QStringLiteral("(ID,用户名,口令,备注) values(") + TextLiteral(id) + u',' +
           TextLiteral(user) + u',' + TextLiteral(password) + u',' + TextLiteral(remark) + u')';
}

QString RecordDelete(const QString& table, const QString& id)
{
    // The listed ID goes bare when it is a whole number, as the statement always had it;
    // anything else becomes a text literal so that it cannot change the statement.
    return QStringLiteral("delete from [") + BracketedInner(table) +
           QStringLiteral("]  where  [ID]=") + (IsIntegerLiteral(id) ? id : TextLiteral(id));
}

QString RecordUpdate(const QString& table, const QString& id, const QString& user,
                     const QString& password, const QString& remark)
{
    return QStringLiteral("update ") + TableName(table) + QStringLiteral(" set 用户名=") +
           TextLiteral(user) + QStringLiteral(",口令=") + TextLiteral(password) +
           QStringLiteral(",备注=") + TextLiteral(remark) + QStringLiteral(" where [ID]=") +
           (IsIntegerLiteral(id) ? id : TextLiteral(id));
}

QString RecordDeleteAll(const QString& table)
{
    return QStringLiteral("delete from ") + TableName(table);
}

QString NextRecordId(const QString& highestIdText)
{
    // The longest decimal number at the start, after blanks: sign, digits, point, exponent.
    const QByteArray text = highestIdText.toLatin1();
    const char* p = text.constData();
    const char* end = p + text.size();
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r')))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    double value = 0.0;
    // from_chars would also take "inf" and "nan"; only digits or a point may start.
    const bool startsNumber = p < end && ((*p >= '0' && *p <= '9') ||
                                          (*p == '.' && p + 1 < end && p[1] >= '0' && p[1] <= '9'));
    if (startsNumber) {
        const auto result = std::from_chars(p, end, value, std::chars_format::general);
        if (result.ec == std::errc::result_out_of_range)
            value = 0.0; // cannot be an ID the store handed out
        else if (result.ec != std::errc())
            value = 0.0;
    }
    if (negative)
        value = -value;
    const double next = value + 1.0;
    char buffer[64];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, next, std::chars_format::general, 13);
    return QString::fromLatin1(buffer, int(written.ptr - buffer));
}

} // namespace kv::statements
