// The real program as people use it, in a real X server: creating login users with the
// keyboard, logging in, working with records, managing users through the link, and the
// skin library the program writes next to itself.
#include "E2eSupport.h"

#include <QtTest>

using namespace kvtest;

class TstUserJourney : public QObject
{
    Q_OBJECT

private slots:
    void firstStartWithTwoUsers()
    {
        XSession x;
        QVERIFY2(x.Start(), "Xvfb did not start");
        QTemporaryDir dir;
        const QString program = PrepareRunDirectory(dir);
        QVERIFY(ProvisionStore(dir.path()));
        const QString skinIni = dir.filePath("skin.ini");
        QVERIFY(!QFile::exists(skinIni));

        ProgramRun run(x);
        QVERIFY(run.Start(program));
        const QString login = run.Window(kLoginTitle);
        QVERIFY2(!login.isEmpty(), "the login window did not appear");

        CreateUserWithKeyboard(x, run, login, "alice", "pw-a");
        if (QTest::currentTestFailed())
            return;
        CreateUserWithKeyboard(x, run, login, "bob", "pw-b", true);
        if (QTest::currentTestFailed())
            return;
        StoreState store = ReadStore(dir.path());
        QCOMPARE(store.users.value("alice"), QStringList({"pw-a", "pw-a"}));
        QCOMPARE(store.users.value("bob"), QStringList({"pw-b", "pw-b"}));
        QCOMPARE(store.tables, QStringList({"alice", "bob"}));
        // Creating users writes no last-user file; only a login attempt does.
        QVERIFY(!QFile::exists(skinIni));

        QString main = LogIn(x, run, login, "alice", "pw-a");
        QVERIFY2(!main.isEmpty(), "MainWindow did not appear after alice's login");
        QVERIFY(run.WaitGone(login));
        QCOMPARE(FileContents(skinIni), QByteArray("alice"));

        for (int i = 1; i <= 3; ++i) {
            AddRecord(x, run, dir.path(), main, "alice",
                      {QStringLiteral("acct%1").arg(i), QStringLiteral("secret%1").arg(i),
                       QStringLiteral("note %1").arg(i)},
                      i);
            if (QTest::currentTestFailed())
                return;
        }
        QCOMPARE(ReadStore(dir.path()).records.value("alice"),
                 QStringList({"1|acct1|secret1|note 1", "2|acct2|secret2|note 2",
                              "3|acct3|secret3|note 3"}));

        // Delete the selected record: the first row, selected after every refill. The list
        // as the confirmation box saw it holds exactly the stored records.
        const QString list = QStringLiteral("主界面_超级列表框");
        ShownBox seen;
        QStringList stored = ReadStore(dir.path()).records.value("alice");
        ClickOn(x, main, at::kMainDelete);
        QCOMPARE(AnswerMessage(x, run, "Return", kMessageTitle, &seen),
                 QStringLiteral("你确定删除？"));
        const QStringList listed = seen.lists.value(list);
        QCOMPARE(QSet<QString>(listed.begin(), listed.end()),
                 QSet<QString>(stored.begin(), stored.end()));
        QCOMPARE(seen.current.value(list), 0);
        QVERIFY(WaitForStore(
            dir.path(), [](const StoreState& s) { return s.records.value("alice").size() == 2; }));
        stored.removeOne(listed.first());
        QCOMPARE(ReadStore(dir.path()).records.value("alice"), stored);

        ClickOn(x, main, at::kMainDeleteAll);
        QCOMPARE(AnswerMessage(x, run, "Return"), QStringLiteral("你确定全部删除？"));
        QCOMPARE(AnswerMessage(x, run, "Return"), QStringLiteral("全部删除成功"));
        QVERIFY(ReadStore(dir.path()).records.value("alice").isEmpty());

        AddRecord(x, run, dir.path(), main, "alice", {"mail", "p@ss", "after delete-all"}, 1);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(ReadStore(dir.path()).records.value("alice"),
                 QStringList({"1|mail|p@ss|after delete-all"}));

        // Back to the login window, which shows again with empty boxes.
        ClickOn(x, main, at::kMainReturn);
        QVERIFY(run.WaitGone(main));
        QCOMPARE(run.Window(kLoginTitle, 15000), login);
        main = LogIn(x, run, login, "bob", "pw-b");
        QVERIFY2(!main.isEmpty(), "MainWindow did not appear after bob's login");
        QCOMPARE(FileContents(skinIni), QByteArray("bob"));

        // bob's list is empty although alice has a record: nothing to delete.
        ClickOn(x, main, at::kMainDelete);
        QCOMPARE(AnswerMessage(x, run, "Return", kMessageTitle, &seen), QStringLiteral("没有用户"));
        QCOMPARE(seen.lists.value(list), QStringList());
        AddRecord(x, run, dir.path(), main, "bob", {"bank", "1234", ""}, 1);
        if (QTest::currentTestFailed())
            return;
        // The row bob sees and deletes is his own; alice's record stays.
        ClickOn(x, main, at::kMainDelete);
        QCOMPARE(AnswerMessage(x, run, "Return", kMessageTitle, &seen),
                 QStringLiteral("你确定删除？"));
        QCOMPARE(seen.lists.value(list), QStringList({"1|bank|1234|"}));
        QVERIFY(WaitForStore(dir.path(),
                             [](const StoreState& s) { return s.records.value("bob").isEmpty(); }));
        store = ReadStore(dir.path());
        QCOMPARE(store.records.value("alice"), QStringList({"1|mail|p@ss|after delete-all"}));

        x.Keys(main, {"Escape"});
        int exitCode = -1;
        QVERIFY(run.Finish(15000, &exitCode));
        QCOMPARE(exitCode, 0);
        QCOMPARE(FileContents(skinIni), QByteArray("bob"));
        const CheckOutcome check = CheckWithTool(dir.path());
        QVERIFY2(check.exitCode == 0, qPrintable(check.output));
    }

    void manageUsersThroughTheLink()
    {
        XSession x;
        QVERIFY2(x.Start(), "Xvfb did not start");
        QTemporaryDir dir;
        const QString program = PrepareRunDirectory(dir);
        QVERIFY(ProvisionStore(dir.path()));
        QVERIFY(AddUserToStore(dir.path(), "alice", "a1", {"web|w1|", "mail|m1|x"}));
        QVERIFY(AddUserToStore(dir.path(), "bob", "b1", {"bank|b|"}));

        ProgramRun run(x);
        QVERIFY(run.Start(program));
        const QString login = run.Window(kLoginTitle);
        QVERIFY2(!login.isEmpty(), "the login window did not appear");

        // Change alice's password (alice is first in the sorted list and selected).
        ClickOn(x, login, at::kManageLink);
        QString admin = run.Window(kAdminTitle, 15000);
        QVERIFY2(!admin.isEmpty(), "UserAdminWindow did not appear after a click on the link");
        ClickOn(x, admin, at::kAdminChangePassword);
        TypeInto(x, run, admin, "管理_编辑框1", "wrong");
        ClickOn(x, admin, at::kAdminPanelConfirm);
        QCOMPARE(AnswerMessage(x, run, "Return"), QStringLiteral("口令输入错误，请重新输入"));
        TypeInto(x, run, admin, "管理_编辑框1", "a1");
        ClickOn(x, admin, at::kAdminPanelConfirm);
        QCOMPARE(AnswerMessage(x, run, "Return"), QStringLiteral("你确定更改？"));
        TypeInto(x, run, admin, "管理_编辑框2", "a2");
        ClickOn(x, admin, at::kAdminRepeatBox);
        TypeInto(x, run, admin, "管理_编辑框3", "a2");
        ClickOn(x, admin, at::kAdminPanelConfirm);
        QCOMPARE(AnswerMessage(x, run, "Return"), QStringLiteral("更改成功"));
        QCOMPARE(ReadStore(dir.path()).users.value("alice"), QStringList({"a2", "a2"}));
        x.Keys(admin, {"Escape"});
        QVERIFY(run.WaitGone(admin));

        // The old password is refused, the new one accepted.
        EnterLogin(x, run, login, "alice", "a1");
        QCOMPARE(AnswerMessage(x, run, "Return"), QStringLiteral("您输入的口令错误！"));
        TypeInto(x, run, login, "口令_编辑框", "a2"); // the emptied password box
        x.Keys(login, {"Return"});
        const QString main = run.Window(kMainTitle, 30000);
        QVERIFY2(!main.isEmpty(), "the new password did not log in");
        ClickOn(x, main, at::kMainReturn);
        QVERIFY(run.WaitGone(main));
        QCOMPARE(run.Window(kLoginTitle, 15000), login);

        // Delete alice: a wrong password first, then hers.
        ClickOn(x, login, at::kManageLink);
        admin = run.Window(kAdminTitle, 15000);
        QVERIFY2(!admin.isEmpty(), "UserAdminWindow did not appear the second time");
        ClickOn(x, admin, at::kAdminDeleteUser);
        TypeInto(x, run, admin, "管理_编辑框", "a1");
        ClickOn(x, admin, at::kAdminPanelConfirm);
        QCOMPARE(AnswerMessage(x, run, "Return"), QStringLiteral("口令输入错误，请重新输入"));
        QVERIFY(ReadStore(dir.path()).users.contains("alice"));
        TypeInto(x, run, admin, "管理_编辑框", "a2");
        ClickOn(x, admin, at::kAdminPanelConfirm);
        QCOMPARE(AnswerMessage(x, run, "Return"), QStringLiteral("你确定删除？"));
        QVERIFY(WaitForStore(dir.path(),
                             [](const StoreState& s) { return !s.users.contains("alice"); }));
        const StoreState store = ReadStore(dir.path());
        QCOMPARE(store.users.keys(), QStringList({"bob"}));
        QCOMPARE(store.tables, QStringList({"bob"}));
        QCOMPARE(store.records.value("bob"), QStringList({"1|bank|b|"}));
        x.Keys(admin, {"Escape"});
        QVERIFY(run.WaitGone(admin));

        EnterLogin(x, run, login, "alice", "a2");
        QCOMPARE(AnswerMessage(x, run, "Return"), QStringLiteral("此用户没有创建"));

        x.Keys(login, {"Escape"});
        int exitCode = -1;
        QVERIFY(run.Finish(15000, &exitCode));
        QCOMPARE(exitCode, 0);
        const CheckOutcome check = CheckWithTool(dir.path());
        QVERIFY2(check.exitCode == 0, qPrintable(check.output));
    }

    void skinLibraryWrittenOnceThenLeftAlone()
    {
        XSession x;
        QVERIFY2(x.Start(), "Xvfb did not start");
        QTemporaryDir dir;
        const QString program = PrepareRunDirectory(dir);
        QVERIFY(ProvisionStore(dir.path()));
        const QString library = dir.filePath("libkvskin.so");
        QVERIFY(!QFile::exists(library));
        const QByteArray built =
            FileContents(QStringLiteral(KV_BINARY_DIR "/skin/lib/libkvskin.so"));
        QVERIFY2(!built.isEmpty(), "the skin library was not built");

        QString identity;
        for (int start = 1; start <= 2; ++start) {
            ProgramRun run(x);
            QVERIFY(run.Start(program));
            const QString login = run.Window(kLoginTitle);
            QVERIFY2(!login.isEmpty(),
                     qPrintable(QStringLiteral("start %1: no login window").arg(start)));
            // The library is the program's embedded copy, byte for byte.
            QCOMPARE(FileContents(library), built);
            // Nothing else of that name is left behind (a half-written copy, say).
            QCOMPARE(QDir(dir.path()).entryList({"libkvskin.so*"}, QDir::AllEntries | QDir::Hidden),
                     QStringList({"libkvskin.so"}));
            if (start == 1)
                identity = FileIdentity(library);
            else
                QCOMPARE(FileIdentity(library), identity); // not rewritten, not replaced
            x.Keys(login, {"Escape"});
            int exitCode = -1;
            QVERIFY(run.Finish(15000, &exitCode));
            QCOMPARE(exitCode, 0);
        }
    }
};

QTEST_GUILESS_MAIN(TstUserJourney)
#include "tst_user_journey.moc"
