// The statement catalogue, the ID allocation and the new-user name check, checked as
// texts and against a real store.

#include "StoreFixture.h"

#include "store/NewUserName.h"
#include "store/Statements.h"

#include <QtTest>

using namespace kv;
using namespace kv::statements;
using namespace kvtest;

Q_DECLARE_METATYPE(kv::NewUserName)

namespace {

// Adds a record the way the main window does: highest ID, next ID, insert. Returns the ID.
QString AddRecord(StoreConnection& connection, const QString& table, const QString& user)
{
    QString id;
    {
        const ScopedResult highest(connection, connection.Query(HighestId(table)));
        id = NextRecordId(connection.ReadText(highest, QStringLiteral("ID")));
    }
    if (!connection.Execute(RecordInsert(table, id, user, QStringLiteral("pw"), QString())))
        return QString();
    return id;
}

QStringList HostileValues()
{
    QStringList values{
        QString(),
        QStringLiteral("'"),
        QStringLiteral("''"),
        QStringLiteral("it's"),
        QStringLiteral("[x]"),
        QStringLiteral("]"),
        QStringLiteral("[abc]]"),
        QStringLiteral("\""),
        QStringLiteral("`"),
        QStringLiteral("'; drop table management; --"),
        QStringLiteral("') ; delete from management where ('1'='1"),
        QStringLiteral("select * from management"),
        QStringLiteral("NULL"),
        QStringLiteral("line one\nline two\r\n"),
        QStringLiteral("中文口令"),
        QStringLiteral("emoji 😀🔑"),
        QStringLiteral(" leading and trailing "),
        QStringLiteral("0123"),
        QStringLiteral("-7"),
        QStringLiteral("%s%n\\"),
        QString(10000, u'长'),
    };
    QString controls;
    for (char16_t c = 1; c < 32; ++c)
        controls += QChar(c);
    values << controls + QChar(0x7f);
    return values;
}

} // namespace

class StatementsTest : public QObject
{
    Q_OBJECT
private slots:
    void catalogueTexts_data();
    void catalogueTexts();
    void nextRecordId_data();
    void nextRecordId();
    void idSequence();
    void recordDeleteTakesOnlyItsRecord();
    void hostileValuesRoundTrip();
    void hostileTableNames();
    void loginUserLifecycle();
    void newUserName_data();
    void newUserName();
};

void StatementsTest::catalogueTexts_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("expected");

    QTest::newRow("user lookup") << UserLookup("abc")
                                 << "SELECT * FROM management WHERE username='abc'";
    QTest::newRow("user lookup, quote doubled")
        << UserLookup("o'neil") << "SELECT * FROM management WHERE username='o''neil'";
    QTest::newRow("user list") << UserList() << "select username from management";
    QTest::newRow("user insert")
        << UserInsert("abc", "p1", "p2")
        << "insert into management(username,password1,password2) values('abc','p1','p2')";
    QTest::newRow("user insert, empty and quoted")
        << UserInsert("a'b", "", "'")
        << "insert into management(username,password1,password2) values('a''b','','''')";
    QTest::newRow("record table create")
        << RecordTableCreate("abc")
        << "CREATE TABLE [abc] (ID INT ,用户名 TEXT , 口令 TEXT , 备注 NOTE)";
    QTest::newRow("password update")
        << PasswordUpdate("n1", "n2", "abc")
        << "update management set password1='n1',password2='n2' where username= 'abc'";
    QTest::newRow("user delete") << UserDelete("abc")
                                 << "delete from management where username='abc'";
    QTest::newRow("record table drop") << RecordTableDrop("abc") << "drop table [abc]";
    QTest::newRow("record list") << RecordList("abc") << "select * from [abc]";
    QTest::newRow("highest id") << HighestId("abc")
                                << "select ID from [abc] where ID = ( select max(ID) from [abc])";
    QTest::newRow("record insert")
        << RecordInsert("abc", "1", "u", "p", "")
        << "insert into [abc](ID,用户名,口令,备注) values('1','u','p','')";
    QTest::newRow("record insert, quotes doubled")
        << RecordInsert("abc", "2", "it's", "'", "r''")
        << "insert into [abc](ID,用户名,口令,备注) values('2','it''s','''','r''''')";
    QTest::newRow("record delete")
        << RecordDelete("abc", "7") << "delete from [abc]  where  [ID]=7";
    QTest::newRow("record delete, negative id")
        << RecordDelete("abc", "-7") << "delete from [abc]  where  [ID]=-7";
    QTest::newRow("record delete, id not a number")
        << RecordDelete("abc", "7 or 1=1") << "delete from [abc]  where  [ID]='7 or 1=1'";
    QTest::newRow("record delete, empty id")
        << RecordDelete("abc", "") << "delete from [abc]  where  [ID]=''";
    QTest::newRow("record update")
        << RecordUpdate("abc", "3", "it's", "p]", "")
        << "update [abc] set 用户名='it''s',口令='p]',备注='' where [ID]=3";
    QTest::newRow("record update, id not a number")
        << RecordUpdate("abc", "3 or 1=1", "u", "p", "r")
        << "update [abc] set 用户名='u',口令='p',备注='r' where [ID]='3 or 1=1'";
    QTest::newRow("record delete-all") << RecordDeleteAll("abc") << "delete from [abc]";
    QTest::newRow("table name with ]") << RecordList("a]b") << "select * from [a]]b]";
    QTest::newRow("record delete, table name with ]")
        << RecordDelete("a]b", "1") << "delete from [a]]b]  where  [ID]=1";
    QTest::newRow("chinese table name") << RecordDeleteAll("张三") << "delete from [张三]";
}

void StatementsTest::catalogueTexts()
{
    QFETCH(QString, statement);
    QFETCH(QString, expected);
    QCOMPARE(statement, expected);
}

void StatementsTest::nextRecordId_data()
{
    QTest::addColumn<QString>("highest");
    QTest::addColumn<QString>("next");

    QTest::newRow("empty (failed query)") << ""
                                          << "1";
    QTest::newRow("no rows") << "0"
                             << "1";
    QTest::newRow("7") << "7"
                       << "8";
    QTest::newRow("blanks and trailing text") << " \t12abc"
                                              << "13";
    QTest::newRow("negative") << "-3"
                              << "-2";
    QTest::newRow("plus sign") << "+4"
                               << "5";
    QTest::newRow("no number") << "abc"
                               << "1";
    QTest::newRow("exponent") << "1e3"
                              << "1001";
    QTest::newRow("decimal") << "2.5"
                             << "3.5";
    QTest::newRow("leading point") << ".5"
                                   << "1.5";
    QTest::newRow("hex is not decimal") << "0x10"
                                        << "1";
    QTest::newRow("inf is not a number") << "inf"
                                         << "1";
    QTest::newRow("nan is not a number") << "nan"
                                         << "1";
    QTest::newRow("below 10^13") << "9999999999998"
                                 << "9999999999999";
    QTest::newRow("reaching 10^13") << "9999999999999"
                                    << "1e+13";
    QTest::newRow("lone sign") << "-"
                               << "1";
}

void StatementsTest::nextRecordId()
{
    QFETCH(QString, highest);
    QFETCH(QString, next);
    QCOMPARE(NextRecordId(highest), next);
}

void StatementsTest::idSequence()
{
    TempStore store;
    StoreConnection connection;
    QVERIFY(store.CreateAndOpen(connection));
    QVERIFY(connection.ExecuteTogether({UserInsert("abc", "1", "1"), RecordTableCreate("abc")}));
    // The user list of a fresh store held only this user.
    QCOMPARE(Column(connection, UserList()), QStringList{"abc"});

    QCOMPARE(AddRecord(connection, "abc", "a"), QStringLiteral("1"));
    QCOMPARE(AddRecord(connection, "abc", "b"), QStringLiteral("2"));
    QCOMPARE(AddRecord(connection, "abc", "c"), QStringLiteral("3"));
    QVERIFY(connection.Execute(RecordDelete("abc", "3")));
    QCOMPARE(AddRecord(connection, "abc", "c again"), QStringLiteral("3"));
    QVERIFY(connection.Execute(RecordDelete("abc", "2")));
    QCOMPARE(AddRecord(connection, "abc", "d"), QStringLiteral("4"));
    QCOMPARE(Column(connection, RecordList("abc")), (QStringList{"1", "3", "4"}));
    QVERIFY(connection.Execute(RecordDeleteAll("abc")));
    QCOMPARE(AddRecord(connection, "abc", "e"), QStringLiteral("1"));
    // Without a record table the highest ID fails and the first ID is 1; the insert fails.
    QCOMPARE(NextRecordId(Column(connection, HighestId("ghost")).value(0)), QStringLiteral("1"));
    QCOMPARE(AddRecord(connection, "ghost", "x"), QString());
    QCOMPARE(connection.OpenResults(), 0);
}

void StatementsTest::recordDeleteTakesOnlyItsRecord()
{
    TempStore store;
    StoreConnection connection;
    QVERIFY(store.CreateAndOpen(connection));
    QVERIFY(connection.Execute(RecordTableCreate("abc")));
    for (int i = 0; i < 3; ++i)
        QVERIFY(!AddRecord(connection, "abc", "r").isEmpty());
    QVERIFY(connection.Execute(RecordDelete("abc", "7 or 1=1")));
    QVERIFY(connection.Execute(RecordDelete("abc", "")));
    QCOMPARE(Column(connection, RecordList("abc")).size(), 3);
    QVERIFY(connection.Execute(RecordDelete("abc", "2")));
    QCOMPARE(Column(connection, RecordList("abc")), (QStringList{"1", "3"}));
}

void StatementsTest::hostileValuesRoundTrip()
{
    TempStore store;
    StoreConnection connection;
    QVERIFY(store.CreateAndOpen(connection));
    QVERIFY(connection.Execute(RecordTableCreate("abc")));
    const QStringList values = HostileValues();
    for (const QString& value : values) {
        const QString tag = value.left(40);
        QVERIFY2(connection.Execute(UserInsert(value, value + "1", value + "2")), qPrintable(tag));
        QVERIFY2(connection.Execute(RecordInsert(
                     "abc", NextRecordId(Column(connection, HighestId("abc")).value(0)), value,
                     value + "p", value + "r")),
                 qPrintable(tag));
    }
    QVERIFY(connection.Open(store.path, kPassword));

    // Every value in every slot came back exactly, in insertion order.
    const QStringList names = Column(connection, UserList());
    QCOMPARE(names, values);
    for (const QString& value : values) {
        const ScopedResult row(connection, connection.Query(UserLookup(value)));
        QVERIFY2(!connection.AtEnd(row), qPrintable(value.left(40)));
        QCOMPARE(connection.ReadText(row, QStringLiteral("username")), value);
        QCOMPARE(connection.ReadText(row, QStringLiteral("password1")), value + "1");
        QCOMPARE(connection.ReadText(row, QStringLiteral("password2")), value + "2");
        connection.MoveNext(row);
        QVERIFY2(connection.AtEnd(row), qPrintable(value.left(40))); // that row alone
    }
    const ScopedResult records(connection, connection.Query(RecordList("abc")));
    for (int i = 0; i < values.size(); ++i, connection.MoveNext(records)) {
        QVERIFY(!connection.AtEnd(records));
        QCOMPARE(connection.ReadText(records, 1), QString::number(i + 1));
        QCOMPARE(connection.ReadTextStrict(records, 2), values[i]);
        QCOMPARE(connection.ReadTextStrict(records, 3), values[i] + "p");
        QCOMPARE(connection.ReadTextStrict(records, 4), values[i] + "r");
    }
    QVERIFY(connection.AtEnd(records));

    // Password update and user delete hit exactly the named row.
    const QString target = QStringLiteral("'; drop table management; --");
    QVERIFY(connection.Execute(PasswordUpdate("n'1", "n]2", target)));
    QCOMPARE(Column(connection, "select count(*) from management where password1='n''1'"),
             QStringList{"1"});
    QVERIFY(connection.Execute(UserDelete(target)));
    QCOMPARE(Column(connection, UserList()).size(), values.size() - 1);
}

void StatementsTest::hostileTableNames()
{
    // Even names the new-user check refuses stay one table of their own when quoted.
    TempStore store;
    StoreConnection connection;
    QVERIFY(store.CreateAndOpen(connection));
    QVERIFY(connection.Execute(UserInsert("victim", "secret", "secret")));
    const QStringList names{
        QStringLiteral("a]b"),
        QStringLiteral("a]]"),
        QStringLiteral("[x"),
        QStringLiteral("q\"uote"),
        QStringLiteral("it's"),
        QStringLiteral("drop table"),
        QStringLiteral("x] ; drop table management; --"),
        QStringLiteral("select"),
        QStringLiteral("中文 空格"),
        QStringLiteral("a-b"),
        QStringLiteral("😀"),
    };
    for (const QString& name : names) {
        QVERIFY2(connection.Execute(RecordTableCreate(name)), qPrintable(name));
        QVERIFY2(!AddRecord(connection, name, name).isEmpty(), qPrintable(name));
        QCOMPARE(Column(connection, RecordList(name), 2), QStringList{name});
        QVERIFY(connection.Execute(RecordDelete(name, "1")));
        QCOMPARE(Column(connection, RecordList(name)), QStringList());
        QVERIFY(connection.Execute(RecordDeleteAll(name)));
        QVERIFY2(connection.Execute(RecordTableDrop(name)), qPrintable(name));
    }
    QCOMPARE(Column(connection, "select password1 from management"), QStringList{"secret"});
    QCOMPARE(Column(connection, "select name from sqlite_master"), QStringList{"management"});
}

void StatementsTest::loginUserLifecycle()
{
    TempStore store;
    StoreConnection connection;
    QVERIFY(store.CreateAndOpen(connection));
    QCOMPARE(Column(connection, UserList()), QStringList());
    QVERIFY(connection.ExecuteTogether({UserInsert("abc", "pw", "pw"), RecordTableCreate("abc")}));
    QVERIFY(!AddRecord(connection, "abc", "r").isEmpty());
    QVERIFY(connection.Execute(PasswordUpdate("new", "new", "abc")));
    {
        // The store finds names without regard to case; the program compares exactly.
        const ScopedResult row(connection, connection.Query(UserLookup("ABC")));
        QCOMPARE(connection.ReadText(row, QStringLiteral("username")), QStringLiteral("abc"));
        QCOMPARE(connection.ReadText(row, QStringLiteral("password1")), QStringLiteral("new"));
    }
    QVERIFY(connection.ExecuteTogether({UserDelete("abc"), RecordTableDrop("abc")}));
    QCOMPARE(Column(connection, UserList()), QStringList());
    QVERIFY(connection.Query(RecordList("abc")).IsEmptyResult());
    // Deleting a user whose table is already gone changes nothing at all.
    QVERIFY(connection.Execute(UserInsert("ghost", "pw", "pw")));
    QVERIFY(!connection.ExecuteTogether({UserDelete("ghost"), RecordTableDrop("ghost")}));
    QCOMPARE(Column(connection, UserList()), QStringList{"ghost"});
}

void StatementsTest::newUserName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<kv::NewUserName>("expected");

    QTest::newRow("fresh name") << "bob" << NewUserName::Usable;
    QTest::newRow("chinese name") << "张三" << NewUserName::Usable;
    QTest::newRow("name with blank and hyphen") << "a b-c" << NewUserName::Usable;
    QTest::newRow("login user") << "abc" << NewUserName::Taken;
    QTest::newRow("login user, other case") << "ABC" << NewUserName::Taken;
    QTest::newRow("table without user") << "Orphan" << NewUserName::Taken;
    QTest::newRow("user without table") << "GHOST" << NewUserName::Taken;
    QTest::newRow("management") << "Management" << NewUserName::Taken;
    QTest::newRow("engine name") << "sqlite_master" << NewUserName::Unusable;
    QTest::newRow("engine prefix, other case") << "SQLite_x" << NewUserName::Unusable;
    QTest::newRow("empty") << "" << NewUserName::Unusable;
    QTest::newRow("[") << "a[b" << NewUserName::Unusable;
    QTest::newRow("]") << "a]b" << NewUserName::Unusable;
    QTest::newRow("double quote") << "a\"b" << NewUserName::Unusable;
    QTest::newRow("single quote") << "a'b" << NewUserName::Unusable;
    QTest::newRow("backquote") << "a`b" << NewUserName::Unusable;
    QTest::newRow("tab") << "a\tb" << NewUserName::Unusable;
    QTest::newRow("newline") << "a\n" << NewUserName::Unusable;
    QTest::newRow("delete char") << "a\x7f" << NewUserName::Unusable;
    QTest::newRow("lone surrogate") << QString(QChar(0xd800)) << NewUserName::Unusable;
}

void StatementsTest::newUserName()
{
    QFETCH(QString, name);
    QFETCH(kv::NewUserName, expected);
    TempStore store;
    StoreConnection connection;
    QVERIFY(store.CreateAndOpen(connection));
    QVERIFY(connection.ExecuteTogether({UserInsert("abc", "1", "1"), RecordTableCreate("abc")}));
    QVERIFY(connection.Execute(UserInsert("ghost", "1", "1")));
    QVERIFY(connection.Execute(RecordTableCreate("orphan")));
    QCOMPARE(CheckNewUserName(connection, name), expected);
    QCOMPARE(connection.OpenResults(), 0);
    // A usable name really becomes a user with its own table.
    if (expected == NewUserName::Usable) {
        QVERIFY(connection.ExecuteTogether({UserInsert(name, "1", "1"), RecordTableCreate(name)}));
        QCOMPARE(CheckNewUserName(connection, name), NewUserName::Taken);
    }
    // On a closed connection only the form of the name is judged.
    connection.Close();
    const bool wellFormed = expected != NewUserName::Unusable;
    QCOMPARE(CheckNewUserName(connection, name) == NewUserName::Usable,
             wellFormed && name.compare("management", Qt::CaseInsensitive) != 0);
}

QTEST_GUILESS_MAIN(StatementsTest)
#include "tst_statements.moc"
