// The program's store host: the driver dialogs as message boxes, and the type-mismatch
// stop, which ends the process through the error box (run in a child process).

#include "StoreFixture.h"

#include "app/Dialogs.h"
#include "store/Statements.h"
#include "store/StoreHost.h"
#include "windows/Startup.h"
#include "windows/StoreDialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <functional>

using namespace kv;
using namespace kvtest;

namespace {

const char kChildStore[] = "KV_STOREHOST_CHILD_STORE";

// Answers the next modal message box with the button of the role, keeping its text;
// `seen` runs first, while the box is still open.
void AnswerNextBox(QMessageBox::ButtonRole role, QString* text,
                   std::function<void()> seen = nullptr)
{
    QTimer::singleShot(20, [role, text, seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            AnswerNextBox(role, text, seen);
            return;
        }
        *text = box->text();
        if (seen)
            seen();
        for (QAbstractButton* button : box->buttons()) {
            if (box->buttonRole(button) == role) {
                button->click();
                return;
            }
        }
        box->reject();
    });
}

} // namespace

class StoreHostTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void offerCreatesStoreOnOk_data();
    void offerCreatesStoreOnOk();
    void unopenableFileIsReported();
    void typeMismatchEndsProgram();
};

void StoreHostTest::init()
{
    ResetStoreDialogs();
}

void StoreHostTest::offerCreatesStoreOnOk_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("OK") << true;
    QTest::newRow("Cancel") << false;
}

void StoreHostTest::offerCreatesStoreOnOk()
{
    QFETCH(bool, accept);
    PrepareProgram();
    QTemporaryDir dir;
    const QString path = StorePath(dir.path());
    QString shown;
    AnswerNextBox(accept ? QMessageBox::AcceptRole : QMessageBox::RejectRole, &shown);
    StoreConnection connection;
    QCOMPARE(connection.Open(path, kPassword), accept);
    QCOMPARE(shown, StoreOfferText(path));
    QVERIFY(shown.contains(path));
    QCOMPARE(QFileInfo::exists(path), accept);
    if (accept)
        QVERIFY(connection.Execute(statements::UserInsert("abc", "1", "1")));
    // Asked once per process: a second missing file opens no box.
    QVERIFY(!connection.Open(dir.filePath("other.mdb"), kPassword));
    QCOMPARE(connection.IsOpen(), accept);
}

void StoreHostTest::unopenableFileIsReported()
{
    PrepareProgram();
    QTemporaryDir dir;
    const QString path = StorePath(dir.path());
    WriteFile(path, QByteArray("not a store\n").repeated(100));
    QString shown;
    AnswerNextBox(QMessageBox::AcceptRole, &shown);
    StoreConnection connection;
    QVERIFY(!connection.Open(path, kPassword));
    QCOMPARE(shown, StoreUnopenableText(path));
    QVERIFY(shown.contains(path));
    QVERIFY(!connection.Open(path, kPassword)); // said once: no box waits here
}

void StoreHostTest::typeMismatchEndsProgram()
{
    const QByteArray childStore = qgetenv(kChildStore);
    if (!childStore.isEmpty()) {
        // The child: a strict read of the integer ID column, then a write that must
        // never happen.
        PrepareProgram();
        StoreConnection connection;
        QVERIFY(connection.Open(QString::fromLocal8Bit(childStore), kPassword));
        const StoreResult result = connection.Query(statements::RecordList("abc"));
        QCOMPARE(connection.ReadTextStrict(result, 2), QStringLiteral("u"));
        // Reports the error box's caption and text, then closes it like a user would.
        static QString shown;
        AnswerNextBox(QMessageBox::AcceptRole, &shown, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            std::printf("BOX[%s|%s]\n", box->windowTitle().toUtf8().constData(),
                        box->text().toUtf8().constData());
            std::fflush(stdout);
        });
        connection.ReadTextStrict(result, 1);
        connection.Execute(statements::RecordInsert("abc", "2", "after", "after", ""));
        std::printf("AFTER-READ\n");
        return;
    }

    TempStore store;
    {
        StoreConnection connection;
        QVERIFY(store.CreateAndOpen(connection));
        QVERIFY(connection.Execute(statements::RecordTableCreate("abc")));
        QVERIFY(connection.Execute(statements::RecordInsert("abc", "1", "u", "p", "r")));
    }
    const QByteArray before = FileBytes(store.path);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kChildStore, store.path);
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"typeMismatchEndsProgram"});
    QVERIFY(child.waitForFinished(60000));
    const QString output = QString::fromUtf8(child.readAll());
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QVERIFY2(child.exitCode() == 255, qPrintable(output));
    QVERIFY2(output.contains("BOX[错误|"), qPrintable(output));
    QVERIFY2(output.contains(ErrorBoxText(5, "数据或数组类型不匹配")), qPrintable(output));
    QVERIFY2(!output.contains("AFTER-READ"), qPrintable(output));
    QCOMPARE(FileBytes(store.path), before);
}

QTEST_MAIN(StoreHostTest)
#include "tst_storehost.moc"
