// Figures of the real program as a process, on an X server of its own (Xvfb), each
// against the floor program floor_window (an empty Qt window, linked with Qt Widgets only)
// measured the same way in the same run:
//
//   start    from spawning the process to its first top-level window being mapped (the
//            X server reports MapNotify to this program, which watches the root window);
//            the program's window is LoginWindow, whose created handler (store open,
//            banner, last-user file) runs before it is shown. Warm runs: the first run of
//            each is discarded (it writes the skin library and fills the page cache).
//   login    from Enter typed in LoginWindow to MainWindow mapped and painted with
//            100,000 records listed, in a fresh process (median of --logins runs).
//   memory   VmHWM of the program logged in with 100,000 records listed, against the
//            floor's VmHWM and against the records' text (four columns as UTF-8).
//   idle     CPU time (utime + stime from /proc/PID/stat) and context switches used over
//            10 seconds with MainWindow open and nothing happening, against the floor
//            window left alone for the same time.
//
// The login is typed as a person would: the last-user file names the user, xdotool
// focuses the window, presses Tab, types the password and Enter.
//
//   bench_process [--program PATH] [--records N] [--runs N] [--idle SECONDS] [--logins N]
//   bench_process --prepare DIR [--records N]    only makes such a run directory
//
// PATH defaults to ../keyvora next to this program's directory (the build's program).

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef KV_BENCH_HAVE_XCB
#include <xcb/xcb.h>
#endif

extern char** environ;

using namespace kvbench;

#ifdef KV_BENCH_HAVE_XCB
namespace {

// An Xvfb of our own on a free display.
class XServer
{
public:
    ~XServer() { Stop(); }

    bool Start()
    {
        for (int number = 120 + int(getpid() % 60); number < 250; ++number) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) ||
                QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
                continue;
            const std::string display = ":" + std::to_string(number);
            std::vector<std::string> arguments{"Xvfb",        display,     "-screen", "0",
                                               "1024x768x24", "-nolisten", "tcp",     "-br"};
            pid_ = Spawn(arguments, environ, "/dev/null");
            if (pid_ <= 0)
                return false;
            for (int wait = 0; wait < 200; ++wait) {
                if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number))) {
                    display_ = QString::fromStdString(display);
                    return true;
                }
                if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                    pid_ = -1;
                    break;
                }
                QThread::msleep(50);
            }
            Stop();
        }
        return false;
    }

    void Stop()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

    QString Display() const { return display_; }

    static pid_t Spawn(const std::vector<std::string>& arguments, char** environment,
                       const char* output)
    {
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output, O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t pid = -1;
        const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environment);
        posix_spawn_file_actions_destroy(&actions);
        return rc == 0 ? pid : -1;
    }

private:
    pid_t pid_ = -1;
    QString display_;
};

// Watches the root window of the display for top-level windows being mapped.
class MapWatcher
{
public:
    ~MapWatcher()
    {
        if (connection_)
            xcb_disconnect(connection_);
    }

    bool Connect(const QString& display)
    {
        int screenNumber = 0;
        connection_ = xcb_connect(display.toLocal8Bit().constData(), &screenNumber);
        if (xcb_connection_has_error(connection_))
            return false;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
        for (int i = 0; i < screenNumber; ++i)
            xcb_screen_next(&screens);
        root_ = screens.data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        netWmName_ = Atom("_NET_WM_NAME");
        xcb_flush(connection_);
        return true;
    }

    // Waits until a top-level window whose title starts with the prefix is mapped; returns
    // its id (0 on timeout or when the process ended first) and the moment it was seen.
    xcb_window_t WaitMapped(const QByteArray& prefix, pid_t process, int timeoutMs,
                            Clock::time_point* at)
    {
        const Clock::time_point start = Clock::now();
        while (MillisecondsSince(start) < timeoutMs) {
            xcb_generic_event_t* event = xcb_poll_for_event(connection_);
            if (!event) {
                if (xcb_connection_has_error(connection_))
                    return 0;
                if (process > 0 && waitpid(process, nullptr, WNOHANG) == process)
                    return 0;
                pollfd descriptor{xcb_get_file_descriptor(connection_), POLLIN, 0};
                poll(&descriptor, 1, 20);
                continue;
            }
            const Clock::time_point seen = Clock::now();
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                const xcb_window_t window =
                    reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
                if (Title(window).startsWith(prefix)) {
                    std::free(event);
                    if (at)
                        *at = seen;
                    return window;
                }
            }
            std::free(event);
        }
        return 0;
    }

    // Waits until the window's content near its bottom-right corner is no longer the black
    // of the root window beneath it (the server runs with a black root and Qt maps its
    // windows without a background), that is until the program has painted it.
    bool WaitPainted(xcb_window_t window, int timeoutMs, Clock::time_point* at)
    {
        xcb_get_geometry_reply_t* geometry =
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
        if (!geometry)
            return false;
        const int16_t x = int16_t(std::max(0, geometry->width - 4));
        const int16_t y = int16_t(std::max(0, geometry->height - 4));
        std::free(geometry);
        const Clock::time_point start = Clock::now();
        while (MillisecondsSince(start) < timeoutMs) {
            xcb_get_image_reply_t* image = xcb_get_image_reply(
                connection_,
                xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window, x, y, 1, 1, ~0u),
                nullptr);
            bool painted = false;
            if (image) {
                const uint8_t* data = xcb_get_image_data(image);
                const int length = xcb_get_image_data_length(image);
                for (int i = 0; i < length && i < 3; ++i)
                    painted = painted || data[i] != 0;
                std::free(image);
            }
            if (painted) {
                if (at)
                    *at = Clock::now();
                return true;
            }
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_))
                std::free(event);
            usleep(500);
        }
        return false;
    }

private:
    xcb_atom_t Atom(const char* name)
    {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    }

    QByteArray Title(xcb_window_t window)
    {
        for (const xcb_atom_t property : {netWmName_, xcb_atom_t(XCB_ATOM_WM_NAME)}) {
            xcb_get_property_reply_t* reply =
                xcb_get_property_reply(connection_,
                                       xcb_get_property(connection_, 0, window, property,
                                                        XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                                       nullptr);
            QByteArray title;
            if (reply)
                title = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                                   xcb_get_property_value_length(reply));
            std::free(reply);
            if (!title.isEmpty())
                return title;
        }
        return {};
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t netWmName_ = XCB_ATOM_NONE;
};

struct ProcessSample
{
    double cpuSeconds = 0;     // utime + stime of the whole process, in clock ticks
    double cpuNanoseconds = 0; // time on a CPU of all its threads (schedstat), finer
    long long contextSwitches = 0;
    long long peakKiB = 0;     // VmHWM
    long long residentKiB = 0; // VmRSS
    bool alive = false;        // running or sleeping, not ended
};

QByteArray ReadProcFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The value of a "Name:  value ..." line of a status file, 0 when missing.
long long StatusValue(const QByteArray& status, const QByteArray& name)
{
    for (const QByteArray& line : status.split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() >= 2 && parts[0] == name)
            return parts[1].toLongLong();
    }
    return 0;
}

ProcessSample Sample(pid_t pid)
{
    ProcessSample sample;
    const QByteArray stat = ReadProcFile(QStringLiteral("/proc/%1/stat").arg(pid));
    // Fields after the command name in parentheses: state is field 3, utime 14, stime 15.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    sample.alive = !fields.isEmpty() && fields[0] != "Z" && fields[0] != "X";
    if (fields.size() > 13)
        sample.cpuSeconds = double(fields[11].toLongLong() + fields[12].toLongLong()) /
                            double(sysconf(_SC_CLK_TCK));
    const QByteArray status = ReadProcFile(QStringLiteral("/proc/%1/status").arg(pid));
    sample.peakKiB = StatusValue(status, "VmHWM:");
    sample.residentKiB = StatusValue(status, "VmRSS:");
    // Every thread of the process (Qt's X connection reads events on a thread of its own).
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray taskStatus =
            ReadProcFile(tasks.filePath(task) + QStringLiteral("/status"));
        sample.contextSwitches += StatusValue(taskStatus, "voluntary_ctxt_switches:") +
                                  StatusValue(taskStatus, "nonvoluntary_ctxt_switches:");
        const QByteArray schedstat =
            ReadProcFile(tasks.filePath(task) + QStringLiteral("/schedstat"));
        sample.cpuNanoseconds += schedstat.split(' ').value(0).toDouble();
    }
    return sample;
}

class Bench
{
public:
    QString program;
    QString floorProgram;
    QString display;
    MapWatcher* watcher = nullptr;

    // The program's environment: our display, the X platform.
    std::vector<std::string> Environment() const
    {
        std::vector<std::string> environment;
        for (char** entry = environ; *entry; ++entry) {
            const std::string text = *entry;
            if (text.rfind("DISPLAY=", 0) == 0 || text.rfind("QT_QPA_PLATFORM=", 0) == 0 ||
                text.rfind("WAYLAND_DISPLAY=", 0) == 0)
                continue;
            environment.push_back(text);
        }
        environment.push_back("DISPLAY=" + display.toStdString());
        environment.push_back("QT_QPA_PLATFORM=xcb");
        return environment;
    }

    pid_t Start(const QStringList& command, const QString& log) const
    {
        std::vector<std::string> environment = Environment();
        std::vector<char*> pointers;
        for (std::string& entry : environment)
            pointers.push_back(entry.data());
        pointers.push_back(nullptr);
        std::vector<std::string> arguments;
        for (const QString& argument : command)
            arguments.push_back(argument.toStdString());
        return XServer::Spawn(arguments, pointers.data(), log.toLocal8Bit().constData());
    }

    static void Stop(pid_t pid)
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    struct Shown
    {
        double mappedMs = -1;  // spawn to MapNotify
        double paintedMs = -1; // spawn to the first content on screen
    };

    // Times from spawn to the first window titled with the prefix being mapped and then
    // painted; negative when it never was. The process is left running in *running when
    // given (and the window shown), otherwise it is ended.
    Shown TimeToShown(const QStringList& command, const QByteArray& title, const QString& log,
                      pid_t* running = nullptr, xcb_window_t* window = nullptr) const
    {
        Shown times;
        const Clock::time_point start = Clock::now();
        const pid_t pid = Start(command, log);
        Clock::time_point at;
        const xcb_window_t shown = watcher->WaitMapped(title, pid, 30000, &at);
        if (shown) {
            times.mappedMs = std::chrono::duration<double, std::milli>(at - start).count();
            if (watcher->WaitPainted(shown, 10000, &at))
                times.paintedMs = std::chrono::duration<double, std::milli>(at - start).count();
        }
        if (running && shown) {
            *running = pid;
            if (window)
                *window = shown;
        } else {
            Stop(pid);
        }
        return times;
    }

    int Xdotool(const QStringList& arguments) const
    {
        QProcess tool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), display);
        tool.setProcessEnvironment(environment);
        tool.start(QStringLiteral("xdotool"), arguments);
        tool.waitForFinished(15000);
        return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    }
};

// A run directory holding a copy of the program, a store with the bench user and its
// records, and the last-user file naming that user.
bool PrepareRunDirectory(const QString& directory, const QString& program, int records)
{
    const QString copy = directory + QStringLiteral("/keyvora");
    if (!QFile::copy(program, copy))
        return false;
    QFile::setPermissions(copy, QFile::permissions(program));
    QFile lastUser(directory + QStringLiteral("/skin.ini"));
    if (!lastUser.open(QIODevice::WriteOnly) || lastUser.write(kUser.toUtf8()) != kUser.size())
        return false;
    lastUser.close();
    return MakeStore(directory, records);
}

} // namespace
#endif

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
#ifndef KV_BENCH_HAVE_XCB
    std::printf("bench_process: built without xcb; process figures skipped\n");
    return 0;
#else
    const QString binDir = QCoreApplication::applicationDirPath();
    QString program = QDir(binDir).absoluteFilePath(QStringLiteral("../keyvora"));
    int records = 100000;
    int runs = 9;
    int idleSeconds = 10;
    int logins = 3;
    QString prepareOnly;
    const QStringList arguments = application.arguments();
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String("--program"))
            program = arguments[i + 1];
        else if (arguments[i] == QLatin1String("--records"))
            records = arguments[i + 1].toInt();
        else if (arguments[i] == QLatin1String("--runs"))
            runs = arguments[i + 1].toInt();
        else if (arguments[i] == QLatin1String("--idle"))
            idleSeconds = arguments[i + 1].toInt();
        else if (arguments[i] == QLatin1String("--logins"))
            logins = std::max(1, arguments[i + 1].toInt());
        else if (arguments[i] == QLatin1String("--prepare"))
            prepareOnly = arguments[i + 1];
    }
    program = QFileInfo(program).canonicalFilePath();
    if (!prepareOnly.isEmpty()) {
        // A run directory to profile by hand (valgrind, timing inside the program).
        if (program.isEmpty() || !QDir().mkpath(prepareOnly) ||
            !PrepareRunDirectory(prepareOnly, program, records))
            return 1;
        std::printf("prepared %s: program, store with %d records of user %s (password %s), "
                    "skin.ini\n",
                    qPrintable(prepareOnly), records, qPrintable(kUser), qPrintable(kUserPassword));
        return 0;
    }
    const QString floorProgram = QDir(binDir).absoluteFilePath(QStringLiteral("floor_window"));
    if (program.isEmpty() || !QFileInfo(floorProgram).isExecutable()) {
        std::fprintf(stderr, "need the program (../keyvora or --program) and floor_window\n");
        return 1;
    }

    XServer server;
    if (!server.Start()) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    MapWatcher watcher;
    if (!watcher.Connect(server.Display())) {
        std::fprintf(stderr, "cannot connect to %s\n", qPrintable(server.Display()));
        return 1;
    }
    Bench bench;
    bench.program = program;
    bench.floorProgram = floorProgram;
    bench.display = server.Display();
    bench.watcher = &watcher;

    QTemporaryDir startDir;
    if (!startDir.isValid() || !PrepareRunDirectory(startDir.path(), program, 100))
        return 1;
    const QString log = startDir.path() + QStringLiteral("/bench.log");
    const QString copy = startDir.path() + QStringLiteral("/keyvora");
    bool ok = true;

    // Start: first (cold) runs discarded, then floor and program in turn.
    const QStringList floorCommand{floorProgram};
    const QStringList textFloorCommand{floorProgram, QStringLiteral("--text")};
    const Bench::Shown firstStart = bench.TimeToShown({copy}, "Keyvora-", log);
    bench.TimeToShown(textFloorCommand, "kvbench-floor", log);
    std::vector<double> programMapped, programPainted, floorMapped, floorPainted, textMapped,
        textPainted;
    for (int run = 0; run < runs; ++run) {
        const Bench::Shown floor = bench.TimeToShown(floorCommand, "kvbench-floor", log);
        const Bench::Shown text = bench.TimeToShown(textFloorCommand, "kvbench-floor", log);
        const Bench::Shown login = bench.TimeToShown({copy}, "Keyvora-", log);
        floorMapped.push_back(floor.mappedMs);
        floorPainted.push_back(floor.paintedMs);
        textMapped.push_back(text.mappedMs);
        textPainted.push_back(text.paintedMs);
        programMapped.push_back(login.mappedMs);
        programPainted.push_back(login.paintedMs);
        ok = ok && floor.paintedMs > 0 && text.paintedMs > 0 && login.paintedMs > 0;
    }

    // The floor left alone: peak memory and idle use.
    pid_t floorPid = -1;
    xcb_window_t floorWindow = 0;
    bench.TimeToShown(floorCommand, "kvbench-floor", log, &floorPid, &floorWindow);
    bench.Xdotool({"windowfocus", "--sync", QString::number(floorWindow)});
    QThread::sleep(2);
    const ProcessSample floorBefore = Sample(floorPid);
    QThread::sleep(idleSeconds);
    const ProcessSample floorAfter = Sample(floorPid);
    if (!floorBefore.alive || !floorAfter.alive) {
        std::fprintf(stderr, "the floor window ended while it should have been idle\n");
        ok = false;
    }
    Bench::Stop(floorPid);

    // The program with the records listed.
    QTemporaryDir bigDir;
    if (!bigDir.isValid() || !PrepareRunDirectory(bigDir.path(), program, records))
        return 1;
    const QString bigLog = bigDir.path() + QStringLiteral("/bench.log");
    // The first login also measures the idle; the others only the login and the peak.
    ProcessSample loginShown;
    ProcessSample mainBefore;
    ProcessSample mainAfter;
    std::vector<double> loginMapped, loginPainted, loginCpu, peaks;
    for (int attempt = 0; attempt < logins && ok; ++attempt) {
        pid_t pid = -1;
        xcb_window_t loginWindow = 0;
        bench.TimeToShown({bigDir.path() + QStringLiteral("/keyvora")}, "Keyvora-", bigLog, &pid,
                          &loginWindow);
        if (pid <= 0) {
            std::fprintf(stderr, "LoginWindow was not shown\n");
            ok = false;
            break;
        }
        QThread::msleep(500);
        loginShown = Sample(pid);
        bench.Xdotool({"windowfocus", "--sync", QString::number(loginWindow)});
        bench.Xdotool({"key", "Tab"});
        bench.Xdotool({"type", "--delay", "0", kUserPassword});
        const ProcessSample beforeEnter = Sample(pid);
        const Clock::time_point enter = Clock::now();
        bench.Xdotool({"key", "Return"});
        Clock::time_point at;
        const xcb_window_t mainWindow = watcher.WaitMapped("Keyvora --by", pid, 120000, &at);
        if (!mainWindow) {
            std::fprintf(stderr, "MainWindow was not shown after the login\n");
            ok = false;
            Bench::Stop(pid);
            break;
        }
        loginMapped.push_back(std::chrono::duration<double, std::milli>(at - enter).count());
        if (watcher.WaitPainted(mainWindow, 10000, &at))
            loginPainted.push_back(std::chrono::duration<double, std::milli>(at - enter).count());
        // Focused, as a person would have it (a blinking cursor would show here).
        bench.Xdotool({"windowfocus", "--sync", QString::number(mainWindow)});
        QThread::sleep(2);
        const ProcessSample settled = Sample(pid);
        loginCpu.push_back((settled.cpuNanoseconds - beforeEnter.cpuNanoseconds) / 1e6);
        if (attempt == 0) {
            mainBefore = settled;
            QThread::sleep(idleSeconds);
            mainAfter = Sample(pid);
            if (!mainBefore.alive || !mainAfter.alive) {
                std::fprintf(stderr, "the program ended while it should have been idle\n");
                ok = false;
            }
            peaks.push_back(double(mainAfter.peakKiB));
        } else {
            peaks.push_back(double(settled.peakKiB));
        }
        Bench::Stop(pid);
    }

    const long long peakKiB = (long long)Median(peaks);
    const double textKiB = RawTextBytes(records) / 1024.0;
    const double fileKiB = QFileInfo(kv::StorePath(bigDir.path())).size() / 1024.0;
    const double floorIdle = floorAfter.cpuSeconds - floorBefore.cpuSeconds;
    const double mainIdle = mainAfter.cpuSeconds - mainBefore.cpuSeconds;
    const long long floorSwitches = floorAfter.contextSwitches - floorBefore.contextSwitches;
    const long long mainSwitches = mainAfter.contextSwitches - mainBefore.contextSwitches;

    std::printf("Process figures on Xvfb %s (xcb platform)\n", qPrintable(server.Display()));
    PrintRule();
    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    std::printf("start to window painted, median of %d   floor %7.1f ms   LoginWindow %7.1f ms   "
                "ratio %.2f\n",
                runs, Median(floorPainted), Median(programPainted),
                ratio(Median(programPainted), Median(floorPainted)));
    std::printf("  mapped: floor %.1f ms, LoginWindow %.1f ms (ratio %.2f); floor with one label "
                "of Chinese text painted %.1f ms (ratio %.2f)\n",
                Median(floorMapped), Median(programMapped),
                ratio(Median(programMapped), Median(floorMapped)), Median(textPainted),
                ratio(Median(programPainted), Median(textPainted)));
    std::printf("  first start of the program in a fresh run directory (writes the skin "
                "library): painted %.1f ms\n",
                firstStart.paintedMs);
    std::printf("peak resident memory (VmHWM)          floor %7lld KiB  %d records %7lld KiB  "
                "ratio %.2f\n",
                floorAfter.peakKiB, records, peakKiB,
                floorAfter.peakKiB ? double(peakKiB) / floorAfter.peakKiB : 0.0);
    const long long recordsKiB = peakKiB - loginShown.peakKiB;
    std::printf("  records as text %.0f KiB (store file %.0f KiB); LoginWindow shown before the "
                "login: %lld KiB;\n  the login with the records added %lld KiB = %.0f bytes per "
                "record = %.1f x the text\n",
                textKiB, fileKiB, loginShown.peakKiB, recordsKiB,
                records ? recordsKiB * 1024.0 / records : 0.0,
                textKiB > 0 ? recordsKiB / textKiB : 0.0);
    const double floorIdleMs = (floorAfter.cpuNanoseconds - floorBefore.cpuNanoseconds) / 1e6;
    const double mainIdleMs = (mainAfter.cpuNanoseconds - mainBefore.cpuNanoseconds) / 1e6;
    std::printf("idle %d s, CPU time (all threads)      floor %7.2f ms   MainWindow  %7.2f ms   "
                "ratio %s\n",
                idleSeconds, floorIdleMs, mainIdleMs,
                floorIdleMs > 0 ? qPrintable(QString::number(mainIdleMs / floorIdleMs, 'f', 2))
                                : "n/a (the floor used none)");
    std::printf("  context switches: floor %lld, MainWindow %lld; utime+stime in clock ticks: "
                "floor %.2f s, MainWindow %.2f s;\n  CPU used before the idle period (start, "
                "login, fill): floor %.1f ms, program %.1f ms\n",
                floorSwitches, mainSwitches, floorIdle, mainIdle, floorBefore.cpuNanoseconds / 1e6,
                mainBefore.cpuNanoseconds / 1e6);
    std::printf("login in a fresh process, Enter typed to MainWindow with %d records, median of "
                "%d: mapped %.0f ms, painted %.0f ms, CPU %.0f ms\n",
                records, logins, Median(loginMapped), Median(loginPainted), Median(loginCpu));
    if (!ok)
        std::printf("FAILED: see the messages above\n");
    return ok ? 0 : 1;
#endif
}
