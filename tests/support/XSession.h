#pragma once

// Runs the real program in a real X server: an Xvfb of its own on a free display,
// xdotool for keys and clicks, ImageMagick's import for screenshots.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

namespace kvtest {

class XSession
{
public:
    XSession() = default;
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;
    ~XSession() { Stop(); }

    // Starts Xvfb on a free display. Xvfb picks the display itself (-displayfd) and
    // writes its number once it accepts connections, so two sessions started at the
    // same moment, by this or any other program, never share a server. False when it
    // cannot start.
    bool Start()
    {
        // Its warnings are not read: a full pipe would stall the server.
        server_.setStandardErrorFile(QProcess::nullDevice());
        server_.start(QStringLiteral("Xvfb"),
                      {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        if (!server_.waitForStarted(5000))
            return false;
        QByteArray written;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 15000 && server_.state() == QProcess::Running) {
            server_.waitForReadyRead(100);
            written += server_.readAllStandardOutput();
            if (written.endsWith('\n')) {
                bool ok = false;
                const int display = written.trimmed().toInt(&ok);
                if (ok) {
                    display_ = QStringLiteral(":%1").arg(display);
                    return true;
                }
                break;
            }
        }
        Stop();
        return false;
    }

    void Stop()
    {
        if (server_.state() != QProcess::NotRunning) {
            server_.terminate();
            if (!server_.waitForFinished(3000)) {
                server_.kill();
                server_.waitForFinished();
            }
        }
    }

    QString Display() const { return display_; }

    // The environment for a program shown on this display.
    QProcessEnvironment Environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display_);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return env;
    }

    // Runs xdotool with the arguments; returns its standard output, trimmed.
    QString Xdotool(const QStringList& arguments, int timeoutMs = 15000,
                    int* exitCode = nullptr) const
    {
        QProcess tool;
        tool.setProcessEnvironment(Environment());
        tool.start(QStringLiteral("xdotool"), arguments);
        tool.waitForFinished(timeoutMs);
        if (exitCode)
            *exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }

    // The id of the first visible window whose title matches, waiting up to the timeout;
    // empty when none appeared.
    QString WaitForWindow(const QString& titlePattern, int timeoutMs = 60000) const
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            const QString ids = Xdotool({"search", "--onlyvisible", "--name", titlePattern}, 5000);
            if (!ids.isEmpty())
                return ids.split('\n').first();
            QThread::msleep(100);
        }
        return QString();
    }

    // Focuses a window (there is no window manager, so no activation) and sends keys.
    void Keys(const QString& window, const QStringList& keys) const
    {
        Xdotool({"windowfocus", "--sync", window});
        QStringList arguments{"key", "--delay", "40"};
        arguments << keys;
        Xdotool(arguments);
    }

    // Types a text into the focused window.
    void Type(const QString& window, const QString& text) const
    {
        Xdotool({"windowfocus", "--sync", window});
        Xdotool({"type", "--delay", "40", text});
    }

    // Clicks at client coordinates of a window.
    void Click(const QString& window, int x, int y) const
    {
        Xdotool({"mousemove", "--window", window, QString::number(x), QString::number(y)});
        Xdotool({"click", "1"});
    }

    bool Screenshot(const QString& window, const QString& path) const
    {
        QProcess import;
        import.setProcessEnvironment(Environment());
        import.start(QStringLiteral("/usr/bin/import"), {"-window", window, path});
        return import.waitForFinished(15000) && import.exitCode() == 0;
    }

private:
    QProcess server_;
    QString display_;
};

// A run directory of its own: a copy of the built program, so that the store, skin.ini
// and the skin library it writes stay in a temporary directory.
inline QString PrepareRunDirectory(const QTemporaryDir& dir)
{
    const QString program = dir.filePath(QStringLiteral("keyvora"));
    QFile::remove(program);
    QFile::copy(QStringLiteral(KV_BINARY_DIR "/keyvora"), program);
    QFile(program).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return program;
}

// Provisions an empty store in the directory with keyvora-store.
inline bool ProvisionStore(const QString& directory)
{
    QProcess tool;
    tool.start(QStringLiteral(KV_BINARY_DIR "/tools/keyvora-store"), {"init", directory});
    return tool.waitForFinished(30000) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

} // namespace kvtest
