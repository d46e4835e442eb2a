// The real program when things go wrong around it: no store, a store it cannot open, a
// store with a damaged table, a read-only run directory, a second copy of the program
// on the same store, a full disk. Every case ends with nothing the user was told is
// stored lost, and the program still answering.
#include "E2eSupport.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace kvtest;

namespace {

const QString kPassword = QString::fromLatin1(kv::kStorePassword);

// A file system mounted for one test, unmounted when the object goes away.
class Mount
{
public:
    Mount() = default;
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
    ~Mount()
    {
        if (mounted_.isEmpty())
            return;
        if (Run("umount", {mounted_}) != 0)
            Run("umount", {"-l", mounted_});
    }

    bool Tmpfs(const QString& directory, qint64 bytes)
    {
        return Mounted(directory, Run("mount", {"-t", "tmpfs", "-o",
                                                QStringLiteral("size=%1k").arg(bytes / 1024),
                                                "tmpfs", directory}));
    }
    bool ReadOnlyBind(const QString& directory)
    {
        if (!Mounted(directory, Run("mount", {"--bind", directory, directory})))
            return false;
        return Run("mount", {"-o", "remount,bind,ro", directory}) == 0;
    }
    QString Error() const { return error_; }

private:
    bool Mounted(const QString& directory, int code)
    {
        if (code == 0)
            mounted_ = directory;
        return code == 0;
    }
    int Run(const QString& program, const QStringList& arguments)
    {
        QProcess tool;
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(program, arguments);
        if (!tool.waitForFinished(30000))
            return -1;
        error_ = QString::fromLocal8Bit(tool.readAll()).trimmed();
        return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    }
    QString mounted_;
    QString error_;
};

QString BuiltSkinLibrary()
{
    return QStringLiteral(KV_BINARY_DIR "/skin/lib/libkvskin.so");
}

// A run directory in any directory: the program and the skin library it would write.
QString CopyProgram(const QString& directory)
{
    const QString program = directory + QStringLiteral("/keyvora");
    QFile::copy(QStringLiteral(KV_BINARY_DIR "/keyvora"), program);
    QFile(program).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::copy(BuiltSkinLibrary(), directory + QStringLiteral("/libkvskin.so"));
    return program;
}

bool WriteBytes(const QString& path, const QByteArray& bytes, qint64 offset = -1)
{
    QFile file(path);
    if (offset < 0)
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(bytes) == bytes.size();
    return file.open(QIODevice::ReadWrite) && file.seek(offset) &&
           file.write(bytes) == bytes.size();
}

// A store at the path keyed with `key`, with one login user and two records.
bool MakeStore(const QString& path, const QString& key)
{
    if (!kv::CreateEmptyStore(path, key))
        return false;
    kv::StoreConnection store;
    return store.Open(path, key) &&
           store.ExecuteTogether({kv::statements::UserInsert("alice", "pw", "pw"),
                                  kv::statements::RecordTableCreate("alice"),
                                  kv::statements::RecordInsert("alice", "1", "web", "w1", ""),
                                  kv::statements::RecordInsert("alice", "2", "mail", "m1", "x")});
}

enum class Unopenable
{
    WrongKey,
    FirstPageDamaged,
    RandomBytes,
    TextFile,
    EmptyFile,
    UnencryptedDatabase,
};

// A failure the program reports: a message that says something failed, never success.
bool SaysFailure(const QString& text)
{
    return text.contains(QStringLiteral("失败"));
}

} // namespace

Q_DECLARE_METATYPE(Unopenable)

class TstStoreFaults : public QObject
{
    Q_OBJECT

private slots:
    void missingStore_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("offer accepted") << true;
        QTest::newRow("offer cancelled") << false;
    }

    // The driver's dialog offers an empty store where the file is missing: accepted,
    // the store is made and works; cancelled, nothing is made, ever, in that run.
    void missingStore()
    {
        QFETCH(bool, accept);
        XSession x;
        QVERIFY2(x.Start(), "Xvfb did not start");
        QTemporaryDir dir;
        const QString program = PrepareRunDirectory(dir);
        const QString store = StoreFileIn(dir.path());

        ProgramRun run(x);
        QVERIFY(run.Start(program));
        ShownBox offer;
        // Cancel is the default button; Tab moves to OK.
        const QString text =
            AnswerMessage(x, run, accept ? QStringList{"Tab", "space"} : QStringList{"Return"},
                          kStoreDialogTitle, &offer);
        QVERIFY2(text.contains(QDir::toNativeSeparators(store)), qPrintable(text));
        const QString login = run.Window(kLoginTitle);
        QVERIFY2(!login.isEmpty(), "the login window did not appear");

        if (accept) {
            QVERIFY(QFile::exists(store));
            const CheckOutcome check = CheckWithTool(dir.path());
            QVERIFY2(check.exitCode == 0 && check.output.contains("0 login user(s)"),
                     qPrintable(check.output));
            CreateUserWithKeyboard(x, run, login, "alice", "pw");
            if (QTest::currentTestFailed())
                return;
            const QString main = LogIn(x, run, login, "alice", "pw");
            QVERIFY2(!main.isEmpty(), "no login in the new store");
            AddRecord(x, run, dir.path(), main, "alice", {"web", "w1", "first"}, 1);
            if (QTest::currentTestFailed())
                return;
            x.Keys(main, {"Escape"});
        } else {
            QVERIFY(!QFile::exists(store));
            // Creating a user cannot succeed without a store, and must not say it did.
            const QString newUser = EnterNewUser(x, run, login, "alice", "pw");
            QVERIFY(!newUser.isEmpty());
            const QString answer = AnswerMessage(x, run, "Return");
            QVERIFY2(SaysFailure(answer), qPrintable(answer));
            x.Keys(newUser, {"Escape"});
            QVERIFY(run.WaitGone(newUser));
            EnterLogin(x, run, login, "alice", "pw");
            QCOMPARE(AnswerMessage(x, run, "Return"), QStringLiteral("此用户没有创建"));
            QVERIFY(!QFile::exists(store));
            x.Keys(login, {"Escape"});
        }
        int exitCode = -1;
        QVERIFY(run.Finish(15000, &exitCode));
        QCOMPARE(exitCode, 0);
        int offers = 0;
        for (const ShownBox& box : run.Boxes())
            offers += box.caption == QStringLiteral("数据库");
        QCOMPARE(offers, 1); // once per run
        if (accept) {
            const StoreState state = ReadStore(dir.path());
            QCOMPARE(state.records.value("alice"), QStringList({"1|web|w1|first"}));
        } else {
            QVERIFY(!QFile::exists(store));
        }
    }

    void unopenableStore_data()
    {
        QTest::addColumn<Unopenable>("kind");
        QTest::newRow("wrong key") << Unopenable::WrongKey;
        QTest::newRow("first page damaged") << Unopenable::FirstPageDamaged;
        QTest::newRow("random bytes") << Unopenable::RandomBytes;
        QTest::newRow("text file") << Unopenable::TextFile;
        QTest::newRow("empty file") << Unopenable::EmptyFile;
        QTest::newRow("unencrypted database") << Unopenable::UnencryptedDatabase;
    }

    // A file that is there but cannot be opened: one dialog naming it, the program goes
    // on without a store, and the file is left exactly as it was.
    void unopenableStore()
    {
        QFETCH(Unopenable, kind);
        XSession x;
        QVERIFY2(x.Start(), "Xvfb did not start");
        QTemporaryDir dir;
        const QString program = PrepareRunDirectory(dir);
        const QString store = StoreFileIn(dir.path());
        switch (kind) {
        case Unopenable::WrongKey:
            QVERIFY(MakeStore(store, "not-the-key"));
            break;
        case Unopenable::FirstPageDamaged:
            QVERIFY(MakeStore(store, kPassword));
            QVERIFY(WriteBytes(store, QByteArray(200, '\x5a'), 100));
            break;
        case Unopenable::RandomBytes: {
            QByteArray bytes(8192, Qt::Uninitialized);
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                                  bytes.size() / 4);
            QVERIFY(WriteBytes(store, bytes));
            break;
        }
        case Unopenable::TextFile:
            QVERIFY(WriteBytes(store, QByteArray("not a store\n").repeated(200)));
            break;
        case Unopenable::EmptyFile:
            QVERIFY(WriteBytes(store, QByteArray()));
            break;
        case Unopenable::UnencryptedDatabase:
            QVERIFY(MakeStore(store, QString()));
            break;
        }
        const QByteArray before = FileHash(store);
        const QString identity = FileIdentity(store);

        ProgramRun run(x);
        QVERIFY(run.Start(program));
        const QString text = AnswerMessage(x, run, "Return", kStoreDialogTitle);
        QVERIFY2(text.contains(QDir::toNativeSeparators(store)), qPrintable(text));
        const QString login = run.Window(kLoginTitle);
        QVERIFY2(!login.isEmpty(), "the login window did not appear");

        EnterLogin(x, run, login, "alice", "pw");
        QCOMPARE(AnswerMessage(x, run, "Return"), QStringLiteral("此用户没有创建"));
        const QString newUser = EnterNewUser(x, run, login, "bob", "pw");
        QVERIFY(!newUser.isEmpty());
        const QString answer = AnswerMessage(x, run, "Return");
        QVERIFY2(SaysFailure(answer), qPrintable(answer));
        x.Keys(newUser, {"Escape"});
        QVERIFY(run.WaitGone(newUser));
        x.Keys(login, {"Escape"});
        int exitCode = -1;
        QVERIFY(run.Finish(15000, &exitCode));
        QCOMPARE(exitCode, 0);

        int reports = 0;
        for (const ShownBox& box : run.Boxes())
            reports += box.caption == QStringLiteral("数据库");
        QCOMPARE(reports, 1); // said once, not at every later open
        QCOMPARE(FileHash(store), before);
        QCOMPARE(FileIdentity(store), identity);
        QVERIFY(!QFile::exists(store + "-journal"));
    }

    // A store whose file opens but one record table's page is damaged: the other user
    // works as before, the damaged user's add is refused with a message, and the
    // program writes nothing into the file.
    void damagedRecordTable()
    {
        XSession x;
        QVERIFY2(x.Start(), "Xvfb did not start");
        QTemporaryDir dir;
        const QString program = PrepareRunDirectory(dir);
        QVERIFY(ProvisionStore(dir.path()));
        QVERIFY(AddUserToStore(dir.path(), "alice", "a", {"web|w1|", "mail|m1|x"}));
        QVERIFY(AddUserToStore(dir.path(), "bob", "b", {"bank|b1|"}));
        // Pages of 1024 bytes: 1 schema, 2 management, 3 alice, 4 bob.
        const QString store = StoreFileIn(dir.path());
        QVERIFY(WriteBytes(store, QByteArray(300, '\x00'), 3 * 1024 + 200));
        const QByteArray before = FileHash(store);

        ProgramRun run(x);
        QVERIFY(run.Start(program));
        const QString login = run.Window(kLoginTitle);
        QVERIFY2(!login.isEmpty(), "the login window did not appear");
        const QString list = QStringLiteral("主界面_超级列表框");

        QString main = LogIn(x, run, login, "alice", "a");
        QVERIFY2(!main.isEmpty(), "alice could not log in");
        ShownBox seen;
        ClickOn(x, main, at::kMainDelete);
        QCOMPARE(AnswerMessage(x, run, "Escape", kMessageTitle, &seen),
                 QStringLiteral("你确定删除？"));
        QCOMPARE(seen.lists.value(list), QStringList({"1|web|w1|", "2|mail|m1|x"}));
        ClickOn(x, main, at::kMainReturn);
        QVERIFY(run.WaitGone(main));

        main = LogIn(x, run, login, "bob", "b");
        QVERIFY2(!main.isEmpty(), "bob could not log in");
        EnterRecord(x, run, main, {"new", "n1", ""});
        const QString answer = AnswerMessage(x, run, "Return");
        QVERIFY2(SaysFailure(answer), qPrintable(answer));
        x.Keys(main, {"Escape"});
        int exitCode = -1;
        QVERIFY(run.Finish(15000, &exitCode));
        QCOMPARE(exitCode, 0);
        QCOMPARE(FileHash(store), before);
    }

    // Nothing in the run directory can be written: the program starts, shows what is
    // stored, and reports every change it cannot make; the store stays as it was.
    void readOnlyRunDirectory()
    {
        XSession x;
        QVERIFY2(x.Start(), "Xvfb did not start");
        QTemporaryDir base;
        const QString dir = base.filePath("run");
        QVERIFY(QDir().mkpath(dir));
        const QString program = CopyProgram(dir);
        QVERIFY(ProvisionStore(dir));
        QVERIFY(AddUserToStore(dir, "alice", "a1", {"web|w1|", "mail|m1|x"}));
        const QString store = StoreFileIn(dir);
        const QByteArray before = FileHash(store);
        Mount readOnly;
        if (!readOnly.ReadOnlyBind(dir))
            QSKIP(qPrintable("a read-only bind mount is not permitted here: " + readOnly.Error()));
        QVERIFY(!QFile(dir + "/probe").open(QIODevice::WriteOnly));

        ProgramRun run(x);
        QVERIFY(run.Start(program));
        const QString login = run.Window(kLoginTitle);
        QVERIFY2(!login.isEmpty(), "the login window did not appear");

        // Creating a user fails and says so.
        const QString newUser = EnterNewUser(x, run, login, "bob", "pw");
        QVERIFY(!newUser.isEmpty());
        QString answer = AnswerMessage(x, run, "Return");
        QVERIFY2(SaysFailure(answer), qPrintable(answer));
        x.Keys(newUser, {"Escape"});
        QVERIFY(run.WaitGone(newUser));

        // Changing a password fails and says so.
        ClickOn(x, login, at::kManageLink);
        const QString admin = run.Window(kAdminTitle, 15000);
        QVERIFY2(!admin.isEmpty(), "UserAdminWindow did not appear");
        ClickOn(x, admin, at::kAdminChangePassword);
        TypeInto(x, run, admin, "管理_编辑框1", "a1");
        ClickOn(x, admin, at::kAdminPanelConfirm);
        QCOMPARE(AnswerMessage(x, run, "Return"), QStringLiteral("你确定更改？"));
        TypeInto(x, run, admin, "管理_编辑框2", "a2");
        ClickOn(x, admin, at::kAdminRepeatBox);
        TypeInto(x, run, admin, "管理_编辑框3", "a2");
        ClickOn(x, admin, at::kAdminPanelConfirm);
        answer = AnswerMessage(x, run, "Return");
        QVERIFY2(SaysFailure(answer), qPrintable(answer));
        x.Keys(admin, {"Escape"});
        QVERIFY(run.WaitGone(admin));

        // Logging in works (the last-user file cannot be written: nothing is said), the
        // records show, and adding or deleting fails with a message.
        const QString main = LogIn(x, run, login, "alice", "a1");
        QVERIFY2(!main.isEmpty(), "alice could not log in");
        EnterRecord(x, run, main, {"new", "n1", ""});
        answer = AnswerMessage(x, run, "Return");
        QVERIFY2(SaysFailure(answer), qPrintable(answer));
        ClickOn(x, main, at::kAddPanelExit);
        ShownBox seen;
        ClickOn(x, main, at::kMainDelete);
        QCOMPARE(AnswerMessage(x, run, "Return", kMessageTitle, &seen),
                 QStringLiteral("你确定删除？"));
        QCOMPARE(seen.lists.value("主界面_超级列表框"), QStringList({"1|web|w1|", "2|mail|m1|x"}));
        answer = AnswerMessage(x, run, "Return");
        QVERIFY2(SaysFailure(answer), qPrintable(answer));
        x.Keys(main, {"Escape"});
        int exitCode = -1;
        QVERIFY(run.Finish(15000, &exitCode));
        QCOMPARE(exitCode, 0);
        QCOMPARE(FileHash(store), before);
        QVERIFY(!QFile::exists(dir + "/skin.ini"));
    }

    // Two copies of the program on one store: users made by one are seen by the other,
    // adds to one table from both are all kept with distinct IDs.
    void twoInstancesOnOneStore()
    {
        XSession x;
        QVERIFY2(x.Start(), "Xvfb did not start");
        QTemporaryDir dir;
        const QString program = PrepareRunDirectory(dir);
        QVERIFY(ProvisionStore(dir.path()));
        QVERIFY(AddUserToStore(dir.path(), "alice", "a"));

        ProgramRun first(x);
        ProgramRun second(x);
        QVERIFY(first.Start(program));
        QVERIFY(second.Start(program));
        const QString login1 = first.Window(kLoginTitle);
        const QString login2 = second.Window(kLoginTitle);
        QVERIFY2(!login1.isEmpty() && !login2.isEmpty(), "a login window did not appear");

        // A user made in the first copy logs in in the second, which was already open.
        CreateUserWithKeyboard(x, first, login1, "carol", "c");
        if (QTest::currentTestFailed())
            return;
        const QString main1 = LogIn(x, first, login1, "alice", "a");
        QVERIFY2(!main1.isEmpty(), "alice could not log in in the first copy");
        const QString main2 = LogIn(x, second, login2, "alice", "a");
        QVERIFY2(!main2.isEmpty(), "alice could not log in in the second copy");

        for (int i = 1; i <= 6; ++i) {
            ProgramRun& run = i % 2 ? first : second;
            AddRecord(x, run, dir.path(), i % 2 ? main1 : main2, "alice",
                      {QStringLiteral("acct%1").arg(i), QStringLiteral("pw%1").arg(i), ""}, i);
            if (QTest::currentTestFailed())
                return;
        }
        QStringList expected;
        for (int i = 1; i <= 6; ++i)
            expected << QStringLiteral("%1|acct%1|pw%1|").arg(i);
        QCOMPARE(ReadStore(dir.path()).records.value("alice"), expected);
        // The second copy's list, refilled after its last add, shows both copies' records.
        ShownBox seen;
        ClickOn(x, main2, at::kMainDelete);
        QCOMPARE(AnswerMessage(x, second, "Escape", kMessageTitle, &seen),
                 QStringLiteral("你确定删除？"));
        QStringList listed = seen.lists.value("主界面_超级列表框");
        listed.sort();
        QCOMPARE(listed, expected);

        ClickOn(x, main2, at::kMainReturn);
        QVERIFY(second.WaitGone(main2));
        const QString carol = LogIn(x, second, login2, "carol", "c");
        QVERIFY2(!carol.isEmpty(), "carol, made by the first copy, could not log in");
        AddRecord(x, second, dir.path(), carol, "carol", {"bank", "b", ""}, 1);
        if (QTest::currentTestFailed())
            return;

        x.Keys(main1, {"Escape"});
        x.Keys(carol, {"Escape"});
        int exitCode = -1;
        QVERIFY(first.Finish(15000, &exitCode));
        QCOMPARE(exitCode, 0);
        QVERIFY(second.Finish(15000, &exitCode));
        QCOMPARE(exitCode, 0);
        const StoreState state = ReadStore(dir.path());
        QCOMPARE(state.records.value("alice"), expected);
        QCOMPARE(state.records.value("carol"), QStringList({"1|bank|b|"}));
        QVERIFY(state.Mismatches().isEmpty());
        const CheckOutcome check = CheckWithTool(dir.path());
        QVERIFY2(check.exitCode == 0, qPrintable(check.output));
    }

    // The disk is full: creating a user and adding a record fail with a message, the
    // program keeps running with what was typed, and once there is room again the same
    // add succeeds. Nothing stored before is lost.
    void fullDisk()
    {
        XSession x;
        QVERIFY2(x.Start(), "Xvfb did not start");
        QTemporaryDir base;
        const QString dir = base.filePath("disk");
        QVERIFY(QDir().mkpath(dir));
        // Room for the program and the skin library, then a little for the store.
        const qint64 needed = QFileInfo(KV_BINARY_DIR "/keyvora").size() +
                              QFileInfo(BuiltSkinLibrary()).size() + 600 * 1024;
        Mount disk;
        if (!disk.Tmpfs(dir, needed))
            QSKIP(qPrintable("mounting a small tmpfs is not permitted here: " + disk.Error()));
        const QString program = CopyProgram(dir);
        QVERIFY(QFileInfo(program).size() > 0);
        QVERIFY(ProvisionStore(dir));
        QVERIFY(AddUserToStore(dir, "alice", "a", {"web|w1|", "mail|m1|x", "bank|b1|"}));
        const StoreState stored = ReadStore(dir);

        // Fill what is left.
        const QString filler = dir + "/filler";
        {
            QFile file(filler);
            QVERIFY(file.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'f');
            while (file.write(block) == block.size() && file.flush()) {
            }
        }

        ProgramRun run(x);
        QVERIFY(run.Start(program));
        const QString login = run.Window(kLoginTitle);
        QVERIFY2(!login.isEmpty(), "the login window did not appear");

        const QString newUser = EnterNewUser(x, run, login, "bob", "pw");
        QVERIFY(!newUser.isEmpty());
        QString answer = AnswerMessage(x, run, "Return");
        QVERIFY2(SaysFailure(answer), qPrintable(answer));
        x.Keys(newUser, {"Escape"});
        QVERIFY(run.WaitGone(newUser));

        const QString main = LogIn(x, run, login, "alice", "a");
        QVERIFY2(!main.isEmpty(), "alice could not log in");
        EnterRecord(x, run, main, {"new", "n1", "on a full disk"});
        answer = AnswerMessage(x, run, "Return");
        QVERIFY2(SaysFailure(answer), qPrintable(answer));
        QCOMPARE(ReadStore(dir).records, stored.records);

        // Room again: the panel still holds what was typed; the same press stores it.
        QVERIFY(QFile::remove(filler));
        ClickOn(x, main, at::kAddPanelConfirm);
        QVERIFY(WaitForStore(
            dir, [](const StoreState& s) { return s.records.value("alice").size() == 4; }));
        x.Keys(main, {"Escape"});
        int exitCode = -1;
        QVERIFY(run.Finish(15000, &exitCode));
        QCOMPARE(exitCode, 0);

        const StoreState after = ReadStore(dir);
        QCOMPARE(after.records.value("alice"),
                 stored.records.value("alice") + QStringList{"4|new|n1|on a full disk"});
        QCOMPARE(after.users.keys(), QStringList({"alice"}));
        QVERIFY(after.Mismatches().isEmpty());
        const CheckOutcome check = CheckWithTool(dir);
        QVERIFY2(check.exitCode == 0, qPrintable(check.output));
    }
};

QTEST_GUILESS_MAIN(TstStoreFaults)
#include "tst_store_faults.moc"
