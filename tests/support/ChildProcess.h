#pragma once

// Paths that end the process (the error box, ExitProgram) are tested in a child: the
// test program runs itself again with one test function selected and KV_CHILD naming
// the scenario; that function then plays the scenario instead of its parent part.

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

namespace kvtest {

inline QString ChildScenario()
{
    return qEnvironmentVariable("KV_CHILD");
}

struct ChildOutcome
{
    int exitCode = -1;
    bool crashed = false;
    QString output;
};

// Runs this test program's function `testFunction` with KV_CHILD=scenario.
inline ChildOutcome RunChild(const QString& testFunction, const QString& scenario,
                             const QProcessEnvironment& extra = {})
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KV_CHILD"), scenario);
    for (const QString& key : extra.keys())
        env.insert(key, extra.value(key));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {testFunction});
    child.waitForFinished(60000);
    ChildOutcome outcome;
    outcome.crashed = child.exitStatus() != QProcess::NormalExit;
    outcome.exitCode = child.exitCode();
    outcome.output = QString::fromUtf8(child.readAll());
    return outcome;
}

} // namespace kvtest
