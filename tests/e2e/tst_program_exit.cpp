// The real program's exit codes: closing the start-up window ends it with 0.
#include "support/XSession.h"

#include <QtTest>

class TstProgramExit : public QObject
{
    Q_OBJECT

private slots:
    void escOnTheStartWindowEndsWithZero()
    {
        kvtest::XSession x;
        QVERIFY2(x.Start(), "Xvfb did not start");
        QTemporaryDir dir;
        const QString program = kvtest::PrepareRunDirectory(dir);
        QVERIFY(kvtest::ProvisionStore(dir.path()));

        QProcess keyvora;
        keyvora.setProcessEnvironment(x.Environment());
        keyvora.setWorkingDirectory(dir.path());
        keyvora.start(program, {});
        QVERIFY(keyvora.waitForStarted());
        const QString window = x.WaitForWindow(QStringLiteral("^Keyvora-"));
        QVERIFY2(!window.isEmpty(), "the login window did not appear");

        x.Keys(window, {"Escape"});
        QVERIFY(keyvora.waitForFinished(15000));
        QCOMPARE(keyvora.exitStatus(), QProcess::NormalExit);
        QCOMPARE(keyvora.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TstProgramExit)
#include "tst_program_exit.moc"
