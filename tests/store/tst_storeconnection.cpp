// StoreConnection on a real SQLCipher store: connection string, opening and replacing,
// result slots, reading values, statement preparation, transactions, failed opens, the
// driver dialogs and the key.

#include "StoreFixture.h"

#include "store/Engine.h"
#include "store/Statements.h"
#include "store/StoreHost.h"

#include <QStandardPaths>
#include <QtTest>

using namespace kv;
using namespace kvtest;

namespace {

const QString kAccessDriver =
    QStringLiteral(";Driver={Microsoft Access Driver (*.mdb)};FIL=MS Access");

// Records what the store asked of its host and answers the offer as told.
class RecordingHost : public StoreHost
{
public:
    bool acceptOffer = false;
    QStringList offers;
    QStringList reports;
    bool OfferToCreateStore(const QString& path) override
    {
        offers << path;
        return acceptOffer;
    }
    void ReportStoreUnopenable(const QString& path) override { reports << path; }
    [[noreturn]] void StopOnTypeMismatch() override { qFatal("unexpected type mismatch"); }
};

struct HostInstalled
{
    explicit HostInstalled(StoreHost* host)
    {
        ResetStoreDialogs();
        SetStoreHost(host);
    }
    ~HostInstalled() { SetStoreHost(nullptr); }
};

} // namespace

class StoreConnectionTest : public QObject
{
    Q_OBJECT
private slots:
    void connectionString_data();
    void connectionString();
    void prepareStatement_data();
    void prepareStatement();
    void closedConnection();
    void failedOpenKeepsOpenConnection();
    void replacingOpenInvalidatesResults();
    void resultSlots();
    void columnsByNameAndPosition();
    void missingValues();
    void readText_data();
    void readText();
    void textSurvivesExactly();
    void executeTogetherIsAllOrNothing();
    void oneStatementPerText();
    void statementDeadline();
    void failedOpenLeavesFileUntouched_data();
    void failedOpenLeavesFileUntouched();
    void driverDialogs();
    void keyDerivedOncePerFile();
    void passphraseToolsSeeOurStore();
    void closeAll();
};

void StoreConnectionTest::connectionString_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("parsedFile");
    QTest::addColumn<QString>("parsedPassword");

    QTest::newRow("program's store")
        << "/opt/kv/management.mdb"
        << "rvk40817qz"
        << "ODBC;DBQ=/opt/kv/management.mdb;DefaultDir=/opt/kv" + kAccessDriver + ";PWD=rvk40817qz;"
        << "/opt/kv/management.mdb"
        << "rvk40817qz";
    QTest::newRow("no separator, no password") << "management.mdb"
                                               << ""
                                               << "ODBC;DBQ=management.mdb" + kAccessDriver + ";"
                                               << "management.mdb"
                                               << "";
    QTest::newRow("file in the root") << "/m.mdb"
                                      << "pw"
                                      << "ODBC;DBQ=/m.mdb;DefaultDir=" + kAccessDriver + ";PWD=pw;"
                                      << "/m.mdb"
                                      << "pw";
    QTest::newRow("chinese directory")
        << "/数据/用户/management.mdb"
        << "rvk40817qz"
        << "ODBC;DBQ=/数据/用户/management.mdb;DefaultDir=/数据/用户" + kAccessDriver +
               ";PWD=rvk40817qz;"
        << "/数据/用户/management.mdb"
        << "rvk40817qz";
    // A separator inside a value is braced, so it cannot end the value early.
    QTest::newRow("semicolon in path and password")
        << "/a;PWD=x/m.mdb"
        << "p;w}"
        << "ODBC;DBQ={/a;PWD=x/m.mdb};DefaultDir={/a;PWD=x}" + kAccessDriver + ";PWD={p;w}}};"
        << "/a;PWD=x/m.mdb"
        << "p;w}";
}

void StoreConnectionTest::connectionString()
{
    QFETCH(QString, path);
    QFETCH(QString, password);
    QFETCH(QString, expected);
    QFETCH(QString, parsedFile);
    QFETCH(QString, parsedPassword);
    const QString text = StoreConnection::ConnectionString(path, password);
    QCOMPARE(text, expected);
    const auto parsed = StoreConnection::ParseConnectionString(text);
    QCOMPARE(parsed.file, parsedFile);
    QCOMPARE(parsed.password, parsedPassword);
}

void StoreConnectionTest::prepareStatement_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("expected");

    QTest::newRow("brackets outside literals") << "delete from [abc]  where  [ID]=7"
                                               << "delete from \"abc\"  where  \"ID\"=7";
    QTest::newRow("brackets inside a literal") << "select * from [t] where a='[x]'"
                                               << "select * from \"t\" where a='[x]'";
    QTest::newRow("doubled quote stays inside") << "select '[it''s]', [c]"
                                                << "select '[it''s]', \"c\"";
    QTest::newRow("empty literal then brackets") << "values('',[c])"
                                                 << "values('',\"c\")";
    QTest::newRow("literal opening with a quote") << "x='''[a]' and [b]"
                                                  << "x='''[a]' and \"b\"";
    QTest::newRow("unterminated literal") << "select '[a"
                                          << "select '[a";
    QTest::newRow("quote char inside a name is doubled") << "[a\"b]"
                                                         << "\"a\"\"b\"";
    QTest::newRow("]] inside a name is one ]") << "[a]]b]"
                                               << "\"a]b\"";
    QTest::newRow("single quote inside a name") << "[it's] = 'v'"
                                                << "\"it's\" = 'v'";
}

void StoreConnectionTest::prepareStatement()
{
    QFETCH(QString, statement);
    QFETCH(QString, expected);
    QCOMPARE(StoreConnection::PrepareStatement(statement, u'"'), expected);
}

void StoreConnectionTest::closedConnection()
{
    StoreConnection connection;
    QVERIFY(!connection.IsOpen());
    const StoreResult result = connection.Query(QStringLiteral("select 1"));
    QVERIFY(result.IsEmptyResult());
    QVERIFY(connection.AtEnd(result));
    QCOMPARE(connection.ReadText(result, 1), QString());
    QCOMPARE(connection.ReadTextStrict(result, QStringLiteral("x")), QString());
    QVERIFY(!connection.Execute(QStringLiteral("create table t(a)")));
    QVERIFY(!connection.ExecuteTogether({QStringLiteral("create table t(a)")}));
    connection.MoveNext(result);
    connection.Close(); // nothing happens
    QCOMPARE(connection.IdentifierQuote(), QChar(u' '));
}

void StoreConnectionTest::failedOpenKeepsOpenConnection()
{
    TempStore store;
    StoreConnection connection;
    QVERIFY(store.CreateAndOpen(connection));
    QVERIFY(connection.Execute(statements::UserInsert("abc", "pw", "pw")));
    const StoreResult result = connection.Query(statements::UserLookup("abc"));
    QVERIFY(!connection.Open(store.dir.filePath("missing/management.mdb"), kPassword));
    QVERIFY(!connection.Open(store.path, QStringLiteral("wrong password")));
    QVERIFY(connection.IsOpen());
    QVERIFY(!connection.AtEnd(result));
    QCOMPARE(connection.ReadText(result, QStringLiteral("password1")), QStringLiteral("pw"));
    QCOMPARE(connection.IdentifierQuote(), QChar(u'"'));
}

void StoreConnectionTest::replacingOpenInvalidatesResults()
{
    TempStore store;
    StoreConnection connection;
    QVERIFY(store.CreateAndOpen(connection));
    QVERIFY(connection.Execute(statements::UserInsert("abc", "pw", "pw")));
    const StoreResult before = connection.Query(statements::UserList());
    QCOMPARE(connection.ReadText(before, 1), QStringLiteral("abc"));

    QVERIFY(connection.Open(store.path, kPassword));
    QVERIFY(connection.AtEnd(before));
    QCOMPARE(connection.ReadText(before, 1), QString());
    QCOMPARE(connection.OpenResults(), 0);
    // The same slot holds a new result; the old handle still does not reach it.
    const StoreResult after = connection.Query(statements::UserList());
    QCOMPARE(after.slot, before.slot);
    QCOMPARE(connection.ReadText(after, 1), QStringLiteral("abc"));
    QCOMPARE(connection.ReadText(before, 1), QString());

    connection.Close();
    QVERIFY(connection.AtEnd(after));
    QCOMPARE(connection.ReadText(after, 1), QString());
}

void StoreConnectionTest::resultSlots()
{
    TempStore store;
    StoreConnection connection;
    QVERIFY(store.CreateAndOpen(connection));
    QVERIFY(connection.Execute(statements::UserInsert("abc", "pw", "pw")));
    QList<StoreResult> results;
    for (int i = 0; i < StoreConnection::kResultSlots; ++i) {
        results << connection.Query(statements::UserLookup("abc"));
        QVERIFY2(!results.last().IsEmptyResult(), qPrintable(QString::number(i)));
    }
    const StoreResult thirtyFirst = connection.Query(statements::UserLookup("abc"));
    QVERIFY(thirtyFirst.IsEmptyResult());
    QCOMPARE(connection.ReadText(thirtyFirst, QStringLiteral("username")), QString());
    // Every earlier result is still readable.
    QCOMPARE(connection.ReadText(results.first(), QStringLiteral("username")), "abc");
    QCOMPARE(connection.ReadText(results.last(), QStringLiteral("username")), "abc");

    // Releasing one frees exactly one slot; the released handle reads as empty.
    connection.Release(results[7]);
    QCOMPARE(connection.ReadText(results[7], 1), QString());
    const StoreResult reused = connection.Query(statements::UserLookup("abc"));
    QCOMPARE(reused.slot, 7);
    QCOMPARE(connection.ReadText(reused, QStringLiteral("username")), "abc");
    QVERIFY(connection.Query(statements::UserLookup("abc")).IsEmptyResult());

    // A scoped result gives its slot back.
    connection.Close();
    QVERIFY(connection.Open(store.path, kPassword));
    for (int i = 0; i < 3 * StoreConnection::kResultSlots; ++i) {
        const ScopedResult scoped(connection, connection.Query(statements::UserLookup("abc")));
        QCOMPARE(connection.ReadText(scoped, 2), QStringLiteral("pw"));
    }
    QCOMPARE(connection.OpenResults(), 0);
}

void StoreConnectionTest::columnsByNameAndPosition()
{
    TempStore store;
    StoreConnection connection;
    QVERIFY(store.CreateAndOpen(connection));
    QVERIFY(connection.Execute("create table t (Username TEXT, b TEXT, c TEXT, d TEXT)"));
    QVERIFY(connection.Execute("insert into t values('u','b','c','d')"));
    const StoreResult result = connection.Query("select * from t");
    QCOMPARE(connection.ReadText(result, QStringLiteral("Username")), QStringLiteral("u"));
    QCOMPARE(connection.ReadText(result, QStringLiteral("username")), QString());
    QCOMPARE(connection.ReadText(result, QStringLiteral("USERNAME")), QString());
    QCOMPARE(connection.ReadText(result, 1), QStringLiteral("u"));
    QCOMPARE(connection.ReadText(result, 4), QStringLiteral("d"));
    QCOMPARE(connection.ReadText(result, 0), QString());
    QCOMPARE(connection.ReadText(result, 5), QString());
    QCOMPARE(connection.ReadText(result, -1), QString());
    QCOMPARE(connection.ReadTextStrict(result, 5), QString());

    // The walk: a fresh result stands on its first row; MoveNext past the end stays there.
    QVERIFY(connection.Execute("insert into t values('u2','b','c','d')"));
    const StoreResult two = connection.Query("select Username from t");
    QCOMPARE(connection.ReadText(two, 1), QStringLiteral("u"));
    connection.MoveNext(two);
    QCOMPARE(connection.ReadText(two, 1), QStringLiteral("u2"));
    connection.MoveNext(two);
    QVERIFY(connection.AtEnd(two));
    connection.MoveNext(two);
    QVERIFY(connection.AtEnd(two));
    QCOMPARE(connection.ReadText(two, 1), QString());
}

void StoreConnectionTest::missingValues()
{
    TempStore store;
    StoreConnection connection;
    QVERIFY(store.CreateAndOpen(connection));
    QVERIFY(connection.Execute(statements::RecordTableCreate("abc")));
    // No rows: the integer ID reads "0", the text columns "".
    const StoreResult none = connection.Query(statements::HighestId("abc"));
    QVERIFY(connection.AtEnd(none));
    QCOMPARE(connection.ReadText(none, QStringLiteral("ID")), QStringLiteral("0"));
    const StoreResult empty = connection.Query(statements::RecordList("abc"));
    QCOMPARE(connection.ReadText(empty, 1), QStringLiteral("0"));
    QCOMPARE(connection.ReadText(empty, 2), QString());
    QCOMPARE(connection.ReadTextStrict(empty, 4), QString());

    // NULLs in a row read the same way.
    QVERIFY(connection.Execute("insert into [abc] (用户名) values('x')"));
    const StoreResult row = connection.Query(statements::RecordList("abc"));
    QVERIFY(!connection.AtEnd(row));
    QCOMPARE(connection.ReadText(row, 1), QStringLiteral("0"));
    QCOMPARE(connection.ReadText(row, QStringLiteral("用户名")), QStringLiteral("x"));
    QCOMPARE(connection.ReadTextStrict(row, 3), QString());
    QCOMPARE(connection.ReadTextStrict(row, QStringLiteral("备注")), QString());
}

void StoreConnectionTest::readText_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("isText");

    QTest::newRow("double 3.0") << "DOUBLE"
                                << "3.0"
                                << "3" << false;
    QTest::newRow("integer -7") << "INT"
                                << "-7"
                                << "-7" << false;
    QTest::newRow("integer quoted on the way in") << "INT"
                                                  << "'42'"
                                                  << "42" << false;
    QTest::newRow("int 64-bit") << "INTEGER"
                                << "-9223372036854775808"
                                << "-9223372036854775808" << false;
    QTest::newRow("double 13 digits") << "DOUBLE"
                                      << "1.0/3"
                                      << "0.3333333333333" << false;
    QTest::newRow("double large") << "DOUBLE"
                                  << "1e20"
                                  << "1e+20" << false;
    QTest::newRow("double small") << "FLOAT"
                                  << "0.00001"
                                  << "1e-05" << false;
    QTest::newRow("double below e13") << "DOUBLE"
                                      << "1234567890123"
                                      << "1234567890123" << false;
    QTest::newRow("single 6 digits") << "SINGLE"
                                     << "1.0/3"
                                     << "0.333333" << false;
    QTest::newRow("single 0.1") << "REAL"
                                << "0.1"
                                << "0.1" << false;
    QTest::newRow("single 2.5") << "REAL"
                                << "2.5"
                                << "2.5" << false;
    QTest::newRow("boolean true") << "BIT"
                                  << "1"
                                  << "真" << false;
    QTest::newRow("boolean false") << "YESNO"
                                   << "0"
                                   << "假" << false;
    QTest::newRow("note keeps 0123") << "NOTE"
                                     << "'0123'"
                                     << "0123" << true;
    QTest::newRow("memo keeps 007") << "MEMO"
                                    << "'007'"
                                    << "007" << true;
    QTest::newRow("text keeps 0123") << "TEXT"
                                     << "'0123'"
                                     << "0123" << true;
    QTest::newRow("empty text") << "TEXT"
                                << "''"
                                << "" << true;
}

void StoreConnectionTest::readText()
{
    QFETCH(QString, type);
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QFETCH(bool, isText);
    TempStore store;
    StoreConnection connection;
    QVERIFY(store.CreateAndOpen(connection));
    QVERIFY(connection.Execute("CREATE TABLE t (ID INT , v " + type + ")"));
    QVERIFY(connection.Execute("insert into t values(1, " + value + ")"));
    const ScopedResult result(connection, connection.Query("select v from t"));
    QCOMPARE(connection.ReadText(result, 1), expected);
    QCOMPARE(connection.ReadText(result, QStringLiteral("v")), expected);
    if (isText)
        QCOMPARE(connection.ReadTextStrict(result, 1), expected);
}

void StoreConnectionTest::textSurvivesExactly()
{
    TempStore store;
    StoreConnection connection;
    QVERIFY(store.CreateAndOpen(connection));
    QVERIFY(connection.Execute(statements::RecordTableCreate("abc")));
    const QString remark = QStringLiteral("[a] it's ]] ['x'] \"q\" ''");
    QVERIFY(connection.Execute(statements::RecordInsert("abc", "1", "[用户]", "p']w[", remark)));
    const ScopedResult result(connection, connection.Query(statements::RecordList("abc")));
    QCOMPARE(connection.ReadText(result, 1), QStringLiteral("1"));
    QCOMPARE(connection.ReadTextStrict(result, 2), QStringLiteral("[用户]"));
    QCOMPARE(connection.ReadTextStrict(result, 3), QStringLiteral("p']w["));
    QCOMPARE(connection.ReadTextStrict(result, 4), remark);
    // The brackets in a literal reached the store as written: a lookup by them matches.
    const ScopedResult found(connection,
                             connection.Query("select 口令 from [abc] where 用户名='[用户]'"));
    QCOMPARE(connection.ReadText(found, 1), QStringLiteral("p']w["));

    // Only the type of a column changes for long text, not a column named like it.
    QVERIFY(connection.Execute("create table [n] (note NOTE, [memo] MEMO, t TEXT)"));
    QVERIFY(connection.Execute("insert into n values('0123', '0456', 'memo')"));
    const ScopedResult notes(connection, connection.Query("select note, memo from n"));
    QCOMPARE(connection.ReadTextStrict(notes, QStringLiteral("note")), QStringLiteral("0123"));
    QCOMPARE(connection.ReadTextStrict(notes, QStringLiteral("memo")), QStringLiteral("0456"));
}

void StoreConnectionTest::executeTogetherIsAllOrNothing()
{
    TempStore store;
    StoreConnection connection;
    QVERIFY(store.CreateAndOpen(connection));
    // The second statement fails: the first must not stay.
    QVERIFY(!connection.ExecuteTogether(
        {statements::UserInsert("abc", "1", "1"), statements::RecordTableCreate("management")}));
    QCOMPARE(Column(connection, statements::UserList()), QStringList());
    QVERIFY(connection.ExecuteTogether(
        {statements::UserInsert("abc", "1", "1"), statements::RecordTableCreate("abc")}));
    QCOMPARE(Column(connection, statements::UserList()), QStringList{"abc"});
    QVERIFY(connection.Query(statements::RecordList("abc")).slot >= 0);
    // Automatic commit again afterwards: a single statement takes effect by itself.
    QVERIFY(connection.Execute(statements::UserDelete("abc")));
    QVERIFY(connection.Open(store.path, kPassword));
    QCOMPARE(Column(connection, statements::UserList()), QStringList());
}

void StoreConnectionTest::oneStatementPerText()
{
    TempStore store;
    StoreConnection connection;
    QVERIFY(store.CreateAndOpen(connection));
    QVERIFY(connection.Execute(statements::UserInsert("abc", "1", "1")));
    QVERIFY(!connection.Execute("insert into management(username) values('x'); "
                                "drop table management"));
    QVERIFY(connection.Query("select 1; delete from management").IsEmptyResult());
    // A query never changes the store.
    QVERIFY(connection.Query("delete from management").IsEmptyResult());
    QCOMPARE(Column(connection, statements::UserList()), QStringList{"abc"});
    // A trailing semicolon, blanks or a comment are still one statement.
    QVERIFY(connection.Execute("update management set password2='2';  "));
    QVERIFY(connection.Execute("update management set password2='3' -- done"));
    QCOMPARE(Column(connection, "select password2 from management"), QStringList{"3"});
    QVERIFY(!connection.Execute("   "));
    QVERIFY(!connection.Execute(QString()));
    QVERIFY(connection.Query(QString()).IsEmptyResult());
}

void StoreConnectionTest::statementDeadline()
{
    TempStore store;
    StoreConnection connection;
    QVERIFY(store.CreateAndOpen(connection));
    connection.SetStatementTimeout(std::chrono::milliseconds(100));
    // A statement that never ends is interrupted at the deadline and fails.
    const QString endless =
        QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n) "
                       "select count(*) from n");
    QVERIFY(connection.Query(endless).IsEmptyResult());
    QVERIFY(!connection.Execute("create table t as " + endless));
    // The connection goes on working.
    QCOMPARE(Column(connection, "select 6 * 7"), QStringList{"42"});
}

void StoreConnectionTest::failedOpenLeavesFileUntouched_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("wrong password") << "wrong password";
    QTest::newRow("no password") << "no password";
    QTest::newRow("damaged first page") << "damaged";
    QTest::newRow("text file") << "text";
    QTest::newRow("empty file") << "empty";
    QTest::newRow("plain sqlite file") << "plain";
}

void StoreConnectionTest::failedOpenLeavesFileUntouched()
{
    QFETCH(QString, kind);
    TempStore store;
    {
        StoreConnection writer;
        QVERIFY(store.CreateAndOpen(writer));
        QVERIFY(writer.Execute(statements::UserInsert("abc", "1", "1")));
    }
    QString password = kPassword;
    if (kind == "wrong password") {
        password = QStringLiteral("rvk40817qZ");
    } else if (kind == "no password") {
        password.clear();
    } else if (kind == "damaged") {
        QByteArray bytes = FileBytes(store.path);
        for (int i = 100; i < 300; ++i)
            bytes[i] = char(bytes[i] ^ 0x5a);
        WriteFile(store.path, bytes);
    } else if (kind == "text") {
        WriteFile(store.path, QByteArray("not a store\n").repeated(200));
    } else if (kind == "empty") {
        WriteFile(store.path, QByteArray());
    } else if (kind == "plain") {
        if (QStandardPaths::findExecutable("sqlite3").isEmpty())
            QSKIP("sqlite3 is not installed");
        QFile::remove(store.path);
        QCOMPARE(RunTool("sqlite3", {store.path}, "create table management(username);\n"), 0);
    }
    const QByteArray before = FileBytes(store.path);
    const QFileInfo info(store.path);
    const QDateTime modified = info.lastModified();

    RecordingHost host;
    HostInstalled installed(&host);
    StoreConnection connection;
    QVERIFY(!connection.Open(store.path, password));
    QVERIFY(!connection.Open(store.path, password));
    QVERIFY(!connection.IsOpen());
    QCOMPARE(host.reports, QStringList{store.path}); // said once
    QVERIFY(host.offers.isEmpty());
    QCOMPARE(FileBytes(store.path), before);
    QCOMPARE(QFileInfo(store.path).lastModified(), modified);
    QCOMPARE(QDir(store.dir.path()).entryList(QDir::Files), QStringList{"management.mdb"});
}

void StoreConnectionTest::driverDialogs()
{
    QTemporaryDir dir;
    const QString path = StorePath(dir.path());
    RecordingHost host;
    HostInstalled installed(&host);
    StoreConnection connection;

    // Missing file, offer declined: nothing is made, and the offer is not repeated.
    QVERIFY(!connection.Open(path, kPassword));
    QVERIFY(!connection.Open(path, kPassword));
    QCOMPARE(host.offers, QStringList{path});
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(host.reports.isEmpty());

    // No offer where no file could be made.
    ResetStoreDialogs();
    QVERIFY(!connection.Open(dir.filePath("no/such/dir/management.mdb"), kPassword));
    QCOMPARE(host.offers.size(), 1);

    // Offer accepted: an empty store is made there and opened.
    ResetStoreDialogs();
    host.acceptOffer = true;
    QVERIFY(connection.Open(path, kPassword));
    QCOMPARE(host.offers.size(), 2);
    QVERIFY(connection.Query(statements::UserList()).slot >= 0);
    QVERIFY(connection.Execute(statements::UserInsert("abc", "1", "1")));
    const StoreReport report = CheckStore(path, kPassword);
    QVERIFY(report.intact);
    QCOMPARE(report.users.size(), 1);

    // Without a host no dialog, and Open just fails.
    SetStoreHost(nullptr);
    ResetStoreDialogs();
    QVERIFY(!connection.Open(dir.filePath("other.mdb"), kPassword));
    QVERIFY(!QFileInfo::exists(dir.filePath("other.mdb")));
    QCOMPARE(host.offers.size(), 2);
}

void StoreConnectionTest::keyDerivedOncePerFile()
{
    TempStore first;
    TempStore second;
    QVERIFY(CreateEmptyStore(first.path, kPassword));
    QVERIFY(CreateEmptyStore(second.path, kPassword));
    StoreConnection connection;
    const int before = engine::KeyDerivations();
    for (int i = 0; i < 5; ++i)
        QVERIFY(connection.Open(first.path, kPassword));
    QCOMPARE(engine::KeyDerivations(), before + 1);
    // Another file has another salt, so its own key.
    QVERIFY(connection.Open(second.path, kPassword));
    QVERIFY(connection.Open(first.path, kPassword));
    QCOMPARE(engine::KeyDerivations(), before + 2);
    // A wrong password is still refused with the cached keys around.
    QVERIFY(!connection.Open(first.path, QStringLiteral("wrong")));
    QVERIFY(connection.IsOpen());
}

void StoreConnectionTest::passphraseToolsSeeOurStore()
{
    if (QStandardPaths::findExecutable("sqlcipher").isEmpty() ||
        QStandardPaths::findExecutable("sqlite3").isEmpty())
        QSKIP("sqlcipher or sqlite3 is not installed");
    TempStore store;
    {
        StoreConnection connection;
        QVERIFY(store.CreateAndOpen(connection));
        // Written through a connection keyed with the derived raw key.
        QVERIFY(connection.Open(store.path, kPassword));
        QVERIFY(connection.Execute(statements::UserInsert("中文", "p'w", "p'w")));
    }
    QByteArray output;
    QCOMPARE(RunTool("sqlcipher", {store.path},
                     "PRAGMA key='rvk40817qz';\nselect username, password1 from management;\n",
                     &output),
             0);
    QCOMPARE(output.trimmed(), QByteArray("中文|p'w"));
    // Without the key neither tool reads it.
    QVERIFY(RunTool("sqlite3", {store.path}, "select * from management;\n", &output) != 0 ||
            !output.contains("中文"));
    QVERIFY(output.contains("not a database"));
    RunTool("sqlcipher", {store.path}, "select * from management;\n", &output);
    QVERIFY(output.contains("not a database"));
    QVERIFY(!FileBytes(store.path).contains("management"));
}

void StoreConnectionTest::closeAll()
{
    TempStore store;
    QVERIFY(CreateEmptyStore(store.path, kPassword));
    StoreConnection a;
    StoreConnection b;
    QVERIFY(a.Open(store.path, kPassword));
    QVERIFY(b.Open(store.path, kPassword));
    const StoreResult result = a.Query(statements::UserList());
    QVERIFY(!result.IsEmptyResult());
    StoreConnection::CloseAll();
    QVERIFY(!a.IsOpen());
    QVERIFY(!b.IsOpen());
    QCOMPARE(a.OpenResults(), 0);
}

QTEST_GUILESS_MAIN(StoreConnectionTest)
#include "tst_storeconnection.moc"
