// The provisioning tool: init and check on real directories, and what the plain and the
// encrypting command line tools see of a store it made.

#include "StoreFixture.h"

#include "store/Statements.h"

#include <QtTest>

using namespace kv;
using namespace kvtest;

namespace {

QString Tool()
{
    return QStringLiteral(KV_BINARY_DIR "/tools/keyvora-store");
}

} // namespace

class KeyvoraStoreTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void initCreatesStoreOnce();
    void initRefusesWhatIsThere_data();
    void initRefusesWhatIsThere();
    void checkListsUsersAndRecords();
    void checkFailures_data();
    void checkFailures();
    void usage_data();
    void usage();
    void onlyTheKeyOpensIt();
};

void KeyvoraStoreTest::initTestCase()
{
    QVERIFY2(QFileInfo(Tool()).isExecutable(), qPrintable(Tool()));
}

void KeyvoraStoreTest::initCreatesStoreOnce()
{
    QTemporaryDir dir;
    QByteArray output;
    QCOMPARE(RunTool(Tool(), {"init", dir.path()}, {}, &output), 0);
    const QString path = StorePath(dir.path());
    QVERIFY(output.contains(path.toUtf8()));
    // An empty store the program can use: management with its three columns.
    StoreConnection connection;
    QVERIFY(connection.Open(path, kPassword));
    QVERIFY(connection.Execute(statements::UserInsert("abc", "1", "2")));
    const ScopedResult row(connection, connection.Query(statements::UserLookup("ABC")));
    QCOMPARE(connection.ReadTextStrict(row, QStringLiteral("username")), QStringLiteral("abc"));
    QCOMPARE(connection.ReadText(row, QStringLiteral("password2")), QStringLiteral("2"));
    QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadOther | QFile::WriteOther),
             QFile::Permissions());

    // A second init leaves the store as it is.
    connection.Close();
    const QByteArray before = FileBytes(path);
    QCOMPARE(RunTool(Tool(), {"init", dir.path()}, {}, &output), 2);
    QVERIFY(output.contains("already exists"));
    QCOMPARE(FileBytes(path), before);
}

void KeyvoraStoreTest::initRefusesWhatIsThere_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty file") << "empty";
    QTest::newRow("other file") << "text";
    QTest::newRow("dangling link") << "link";
}

void KeyvoraStoreTest::initRefusesWhatIsThere()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = StorePath(dir.path());
    if (kind == "empty")
        WriteFile(path, {});
    else if (kind == "text")
        WriteFile(path, "keep me");
    else
        QVERIFY(QFile::link(dir.filePath("nowhere"), path));
    const QByteArray before = FileBytes(path);
    QCOMPARE(RunTool(Tool(), {"init", dir.path()}, {}), 2);
    QCOMPARE(FileBytes(path), before);
    QVERIFY(!QFileInfo::exists(dir.filePath("nowhere")));
}

void KeyvoraStoreTest::checkListsUsersAndRecords()
{
    QTemporaryDir dir;
    QVERIFY(RunTool(Tool(), {"init", dir.path()}, {}) == 0);
    {
        StoreConnection connection;
        QVERIFY(connection.Open(StorePath(dir.path()), kPassword));
        QVERIFY(connection.ExecuteTogether(
            {statements::UserInsert("abc", "1", "1"), statements::RecordTableCreate("abc")}));
        QVERIFY(connection.ExecuteTogether(
            {statements::UserInsert("张三", "1", "1"), statements::RecordTableCreate("张三")}));
        QVERIFY(connection.Execute(statements::UserInsert("ghost", "1", "1")));
        for (int id = 1; id <= 3; ++id)
            QVERIFY(connection.Execute(
                statements::RecordInsert("张三", QString::number(id), "u", "p", "")));
    }
    QByteArray output;
    QCOMPARE(RunTool(Tool(), {"check", dir.path()}, {}, &output), 0);
    const QString text = QString::fromUtf8(output);
    QVERIFY2(text.contains("intact"), qPrintable(text));
    QVERIFY2(text.contains("3 login user(s)"), qPrintable(text));
    QVERIFY2(text.contains("abc: 0 record(s)"), qPrintable(text));
    QVERIFY2(text.contains("张三: 3 record(s)"), qPrintable(text));
    QVERIFY2(text.contains("ghost: no record table"), qPrintable(text));
}

void KeyvoraStoreTest::checkFailures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("missing") << "missing" << 2;
    QTest::newRow("not a store") << "text" << 2;
    QTest::newRow("first page damaged") << "header" << 2;
    QTest::newRow("later page damaged") << "page" << 3;
}

void KeyvoraStoreTest::checkFailures()
{
    QFETCH(QString, kind);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    const QString path = StorePath(dir.path());
    if (kind == "text") {
        WriteFile(path, QByteArray("text\n").repeated(500));
    } else if (kind != "missing") {
        QVERIFY(RunTool(Tool(), {"init", dir.path()}, {}) == 0);
        {
            StoreConnection connection;
            QVERIFY(connection.Open(path, kPassword));
            QVERIFY(connection.Execute(statements::RecordTableCreate("abc")));
            for (int id = 1; id <= 200; ++id)
                QVERIFY(connection.Execute(
                    statements::RecordInsert("abc", QString::number(id), "u", "p", "r")));
        }
        QByteArray bytes = FileBytes(path);
        QVERIFY(bytes.size() > 4096);
        const int start = kind == "header" ? 200 : int(bytes.size()) - 600;
        for (int i = start; i < start + 100; ++i)
            bytes[i] = char(bytes[i] ^ 0x33);
        WriteFile(path, bytes);
    }
    const QByteArray before = FileBytes(path);
    QByteArray output;
    QCOMPARE(RunTool(Tool(), {"check", dir.path()}, {}, &output), exitCode);
    QVERIFY(!output.isEmpty());
    QCOMPARE(FileBytes(path), before);
}

void KeyvoraStoreTest::usage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("nothing") << QStringList{};
    QTest::newRow("unknown command") << QStringList{"repair"};
    QTest::newRow("too many") << QStringList{"init", "a", "b"};
    QTest::newRow("not a directory") << QStringList{"init", "/nonexistent/dir"};
}

void KeyvoraStoreTest::usage()
{
    QFETCH(QStringList, arguments);
    QByteArray output;
    QCOMPARE(RunTool(Tool(), arguments, {}, &output), 1);
    QVERIFY(!output.isEmpty());
}

void KeyvoraStoreTest::onlyTheKeyOpensIt()
{
    if (QStandardPaths::findExecutable("sqlcipher").isEmpty() ||
        QStandardPaths::findExecutable("sqlite3").isEmpty())
        QSKIP("sqlcipher or sqlite3 is not installed");
    QTemporaryDir dir;
    QVERIFY(RunTool(Tool(), {"init", dir.path()}, {}) == 0);
    const QString path = StorePath(dir.path());
    QByteArray output;
    RunTool("sqlite3", {path}, ".tables\n", &output);
    QVERIFY2(output.contains("not a database"), output.constData());
    RunTool("sqlcipher", {path}, "PRAGMA key='wrong';\n.tables\n", &output);
    QVERIFY2(output.contains("not a database"), output.constData());
    QCOMPARE(
        RunTool("sqlcipher", {path}, "PRAGMA key='rvk40817qz';\n.schema management\n", &output), 0);
    QVERIFY2(output.contains("CREATE TABLE management (username TEXT COLLATE NOCASE, "
                             "password1 TEXT, password2 TEXT)"),
             output.constData());
}

QTEST_GUILESS_MAIN(KeyvoraStoreTest)
#include "tst_keyvorastore.moc"
