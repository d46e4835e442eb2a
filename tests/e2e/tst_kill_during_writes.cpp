// The program killed (SIGKILL) at random moments while it writes: a child process runs
// the real windows on the real store and adds records, or creates and deletes login
// users, in a loop, printing each change the moment the user is told of it; the parent
// kills it after a random delay and then checks the store: intact, every change the
// child reported present, and every login user with its record table and no table
// without its user.
#include "E2eSupport.h"
#include "app/ListView.h"
#include "app/Toolkit.h"
#include "windows/LoginWindow.h"
#include "windows/MainWindow.h"
#include "windows/NewUserWindow.h"
#include "windows/UserAdminWindow.h"
#include "windows/WindowTestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QtTest>

#include <cstdio>

namespace {

const QString kPassword = QString::fromLatin1(kv::kStorePassword);

// One line of the child's report, written at once (a kill may follow any moment).
void Report(const QString& line)
{
    const QByteArray bytes = "KV " + line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

// Runs deferred deletions, as the message loop does between handlers.
void Settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

int FindRow(const kv::ListView* list, int column, const QString& text)
{
    for (int row = 0; row < list->RowCount(); ++row)
        if (list->CellText(row, column) == text)
            return row;
    return -1;
}

// What the children reported over all rounds.
struct Confirmed
{
    QStringList records;      // "ID|user|password|remark" of alice's table
    QSet<QString> usersAlive; // created and not confirmed deleted
    QSet<QString> usersGone;  // confirmed deleted
};

} // namespace

class TstKillDuringWrites : public QObject
{
    Q_OBJECT

private:
    // Child: log in as alice and add records until killed.
    void AddRecordsUntilKilled(const QString& round)
    {
        kvtest::MessageBoxes boxes;
        boxes.onShown = [](QMessageBox* box) { Report("message " + box->text()); };
        QVERIFY(kv::LoadWindow<kv::LoginWindow>());
        kv::LoginWindow* login = kv::AliveWindow<kv::LoginWindow>();
        login->用户名_编辑框->setText("alice");
        login->口令_编辑框->setText("pw");
        QTest::mouseClick(login->登陆_按钮, Qt::LeftButton);
        kv::MainWindow* main = kv::AliveWindow<kv::MainWindow>();
        QVERIFY(main);
        Report("ready");
        for (int i = 1;; ++i) {
            QTest::mouseClick(main->主界面_添加按钮, Qt::LeftButton);
            const QStringList cells{QStringLiteral("r%1-%2").arg(round).arg(i),
                                    QStringLiteral("p%1").arg(i),
                                    QStringLiteral("round %1 add %2").arg(round).arg(i)};
            main->主界面_添加用户编辑框->setText(cells[0]);
            main->主界面_添加口令编辑框->setText(cells[1]);
            main->主界面_添加备注编辑框->setText(cells[2]);
            QTest::mouseClick(main->主界面_添加用户按钮, Qt::LeftButton);
            // Told: the refilled list shows the record under its new ID.
            const QString id = main->标签2->text();
            const int row = FindRow(main->主界面_超级列表框, 0, id);
            if (row >= 0 && main->主界面_超级列表框->CellText(row, 1) == cells[0])
                Report("record " + QStringList{id, cells[0], cells[1], cells[2]}.join(u'|'));
            else
                Report("not shown " + id);
        }
    }

    // Child: create login users, deleting every second one, until killed.
    void ChangeUsersUntilKilled(const QString& round)
    {
        QString creating;
        kvtest::MessageBoxes boxes;
        boxes.onShown = [&creating](QMessageBox* box) {
            if (box->text() == QStringLiteral("成功创建用户"))
                Report("created " + creating);
            else if (box->text() == QStringLiteral("你确定删除？")) // answered OK: from now
                Report("deleting " + creating);                     // on it may be gone
            else
                Report("message " + box->text());
        };
        QVERIFY(kv::LoadWindow<kv::LoginWindow>());
        Report("ready");
        for (int i = 1;; ++i) {
            creating = QStringLiteral("u%1_%2").arg(round).arg(i);
            QVERIFY(kv::LoadWindow<kv::NewUserWindow>(nullptr, false));
            kv::NewUserWindow* newUser = kv::AliveWindow<kv::NewUserWindow>();
            newUser->新建用户名_编辑框->setText(creating);
            newUser->新建密码_编辑框->setText("pw");
            newUser->新建密码_编辑框1->setText("pw");
            QTest::mouseClick(newUser->新建_按钮, Qt::LeftButton);
            Settle();
            if (i % 2)
                continue;

            QVERIFY(kv::LoadWindow<kv::UserAdminWindow>(nullptr, false));
            kv::UserAdminWindow* admin = kv::AliveWindow<kv::UserAdminWindow>();
            const int row = FindRow(admin->管理_超级列表框, 0, creating);
            if (row >= 0) {
                admin->管理_超级列表框->SetCurrentSelection(row);
                QTest::mouseClick(admin->管理删除用户_按钮, Qt::LeftButton);
                admin->管理_编辑框->setText("pw");
                QTest::mouseClick(admin->管理删除用户最终_按钮, Qt::LeftButton);
                // Told: the refilled list no longer holds the user.
                if (FindRow(admin->管理_超级列表框, 0, creating) < 0)
                    Report("deleted " + creating);
            }
            QTest::mouseClick(admin->管理退出_按钮, Qt::LeftButton);
            Settle();
        }
    }

    // Checks the store after a kill against what all children reported so far.
    static void CheckStoreAfterKill(const QString& dir, const Confirmed& confirmed, int round)
    {
        const QString where = QStringLiteral("after the kill of round %1: ").arg(round);
        const kv::StoreReport report = kv::CheckStore(kvtest::StoreFileIn(dir), kPassword);
        QVERIFY2(report.opened && report.intact, qPrintable(where + report.problems.join("; ")));
        const kvtest::StoreState state = kvtest::ReadStore(dir);
        QVERIFY2(state.opened, qPrintable(where + "the store did not open"));
        QVERIFY2(state.Mismatches().isEmpty(), qPrintable(where + state.Mismatches().join("; ")));
        const QStringList stored = state.records.value("alice");
        for (const QString& record : confirmed.records)
            QVERIFY2(stored.contains(record), qPrintable(where + "lost the record " + record));
        QSet<QString> ids;
        for (const QString& record : stored)
            ids.insert(record.section(u'|', 0, 0));
        QVERIFY2(ids.size() == stored.size(), qPrintable(where + "two records share an ID"));
        for (const QString& user : confirmed.usersAlive)
            QVERIFY2(state.users.contains(user), qPrintable(where + "lost the user " + user));
        for (const QString& user : confirmed.usersGone)
            QVERIFY2(!state.users.contains(user) && !state.tables.contains(user),
                     qPrintable(where + "the deleted user came back: " + user));
    }

private slots:
    // The child's side: runs only when the parent starts this program with KV_CHILD.
    void child()
    {
        const QString scenario = qEnvironmentVariable("KV_CHILD");
        if (scenario.isEmpty())
            QSKIP("the child of killedWhileWriting; it runs only when started by it");
        kv::SetRunDirectory(qEnvironmentVariable("KV_RUN_DIR"));
        const QString round = qEnvironmentVariable("KV_ROUND");
        if (scenario == QLatin1String("records"))
            AddRecordsUntilKilled(round);
        else
            ChangeUsersUntilKilled(round);
    }

    void killedWhileWriting()
    {
        QTemporaryDir dir;
        QVERIFY(kv::CreateEmptyStore(kvtest::StoreFileIn(dir.path()), kPassword));
        QVERIFY(kvtest::AddUserToStore(dir.path(), "alice", "pw"));

        QRandomGenerator random(QRandomGenerator::global()->generate());
        Confirmed confirmed;
        int kills = 0;
        int reportedChanges = 0;
        // 100 rounds add records and 50 change users (every third round); one round in
        // ten is killed while it starts, before it logs in.
        constexpr int kRounds = 150;
        for (int round = 1; round <= kRounds; ++round) {
            const bool users = round % 3 == 0;
            const bool early = round % 10 == 5;
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("KV_CHILD", users ? "users" : "records");
            environment.insert("KV_RUN_DIR", dir.path());
            environment.insert("KV_ROUND", QString::number(round));
            environment.insert("QT_QPA_PLATFORM", "offscreen");
            child.setProcessEnvironment(environment);
            child.setProcessChannelMode(QProcess::SeparateChannels);
            child.start(QCoreApplication::applicationFilePath(), {"child"});
            QVERIFY(child.waitForStarted(10000));

            QByteArray output;
            QElapsedTimer clock;
            clock.start();
            if (!early) {
                while (!output.contains("KV ready\n") && clock.elapsed() < 60000 &&
                       child.state() == QProcess::Running) {
                    child.waitForReadyRead(50);
                    output += child.readAllStandardOutput();
                }
                QVERIFY2(output.contains("KV ready\n"),
                         qPrintable("round " + QString::number(round) +
                                    ": the child did not start: " +
                                    QString::fromUtf8(output + child.readAllStandardError())));
            }
            const int delay = int(random.bounded(users ? 600 : 400));
            QElapsedTimer wait;
            wait.start();
            while (wait.elapsed() < delay && child.state() == QProcess::Running)
                child.waitForReadyRead(5);
            if (child.state() != QProcess::Running) {
                output += child.readAllStandardOutput() + child.readAllStandardError();
                QFAIL(qPrintable("round " + QString::number(round) +
                                 ": the child ended by itself: " + QString::fromUtf8(output)));
            }
            child.kill(); // SIGKILL
            QVERIFY(child.waitForFinished(10000));
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
            ++kills;
            output += child.readAllStandardOutput();

            for (const QByteArray& line : output.split('\n')) {
                if (!line.startsWith("KV "))
                    continue;
                const QString report = QString::fromUtf8(line.mid(3));
                if (report.startsWith("record ")) {
                    confirmed.records << report.mid(7);
                    ++reportedChanges;
                } else if (report.startsWith("created ")) {
                    confirmed.usersAlive.insert(report.mid(8));
                    ++reportedChanges;
                } else if (report.startsWith("deleting ")) {
                    confirmed.usersAlive.remove(report.mid(9));
                } else if (report.startsWith("deleted ")) {
                    confirmed.usersAlive.remove(report.mid(8));
                    confirmed.usersGone.insert(report.mid(8));
                    ++reportedChanges;
                } else if (report.startsWith("message ") || report.startsWith("not shown ")) {
                    QFAIL(qPrintable("round " + QString::number(round) + ": " + report));
                }
            }
            CheckStoreAfterKill(dir.path(), confirmed, round);
            if (QTest::currentTestFailed())
                return;
        }
        QCOMPARE(kills, kRounds);
        qInfo("%d kills, %d changes reported by the children, %d users alive, %d deleted", kills,
              reportedChanges, int(confirmed.usersAlive.size()), int(confirmed.usersGone.size()));
        QVERIFY2(reportedChanges > kRounds, "the children hardly wrote anything before the kills");
    }
};

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    TstKillDuringWrites test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_kill_during_writes.moc"
