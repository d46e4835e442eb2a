// Where the start goes: the steps from process start to LoginWindow painted, each timed
// in a fresh process (first-time costs such as the key derivation, the skin library's
// deployment or the font set-up happen once per process, so a warm loop would hide them).
//
// Each step that the login window's creation would run anyway (the skin, the store's
// first open) is pulled in front of it and timed alone; the window's own created handler
// then finds them done. The floor is the same process showing an empty QWidget instead.
//
//   bench_start_parts [RUNS]      default 9; each run is two child processes

#include "BenchSupport.h"

#include "app/Toolkit.h"
#include "skin/SkinLibrary.h"
#include "windows/LoginWindow.h"
#include "windows/Startup.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>

#include <cstdio>
#include <map>

using namespace kvbench;

namespace {

void WaitShownAndPainted(QWidget* window)
{
    const Clock::time_point start = Clock::now();
    while (!(window->windowHandle() && window->windowHandle()->isExposed()) &&
           MillisecondsSince(start) < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// One child run: prints "step milliseconds" lines.
int Child(int argc, char** argv, const QString& runDirectory, bool floor)
{
    std::vector<std::pair<QByteArray, double>> steps;
    Clock::time_point mark = Clock::now();
    auto step = [&](const char* name) {
        steps.emplace_back(name, MillisecondsSince(mark));
        mark = Clock::now();
    };
    QApplication application(argc, argv);
    step("QApplication");
    if (floor) {
        QWidget window;
        window.setWindowTitle(QStringLiteral("kvbench-floor"));
        window.setFixedSize(332, 211);
        window.show();
        step("window shown");
        WaitShownAndPainted(&window);
        step("first paint");
    } else {
        kv::SetRunDirectory(runDirectory);
        kv::PrepareProgram();
        step("PrepareProgram");
        kv::ApplySkin(5);
        kv::EnableSkinAero();
        step("skin (ApplySkin, EnableSkinAero)");
        {
            kv::StoreConnection connection;
            connection.Open(kv::StorePath(runDirectory), StorePassword());
        }
        step("store first open (key derivation)");
        if (!kv::LoadWindow<kv::LoginWindow>())
            return 1;
        step("LoginWindow made, created, shown");
        WaitShownAndPainted(kv::AliveWindow<kv::LoginWindow>());
        step("first paint");
        delete kv::AliveWindow<kv::LoginWindow>();
    }
    for (const auto& [name, ms] : steps)
        std::printf("%s\t%.3f\n", name.constData(), ms);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && QByteArray(argv[1]) == "--child")
        return Child(argc, argv, QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]) == "floor");

    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    QTemporaryDir dir;
    if (!dir.isValid() || !MakeStore(dir.path(), 100))
        return 1;
    QFile lastUser(dir.path() + QStringLiteral("/skin.ini"));
    if (lastUser.open(QIODevice::WriteOnly))
        lastUser.write(kUser.toUtf8());
    lastUser.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    std::map<QString, std::map<QByteArray, std::vector<double>>> results;
    std::map<QString, std::vector<double>> totals;
    std::map<QString, std::vector<QByteArray>> order;
    for (int run = 0; run <= runs; ++run) {
        for (const QString& kind : {QStringLiteral("floor"), QStringLiteral("program")}) {
            QProcess child;
            child.setProcessEnvironment(environment);
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--child"), dir.path(), kind});
            child.waitForFinished(60000);
            if (child.exitCode() != 0) {
                std::fprintf(stderr, "child run failed (%s)\n", qPrintable(kind));
                return 1;
            }
            if (run == 0)
                continue; // the first run writes the skin library and warms the page cache
            double total = 0;
            for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
                const int tab = line.indexOf('\t');
                if (tab < 0)
                    continue;
                const QByteArray name = line.left(tab);
                const double ms = line.mid(tab + 1).toDouble();
                if (results[kind][name].empty())
                    order[kind].push_back(name);
                results[kind][name].push_back(ms);
                total += ms;
            }
            totals[kind].push_back(total);
        }
    }

    std::printf("Start to LoginWindow painted, step by step, in fresh processes (platform: %s), "
                "medians of %d\n",
                qPrintable(environment.value(QStringLiteral("QT_QPA_PLATFORM"))), runs);
    PrintRule();
    for (const QString& kind : {QStringLiteral("floor"), QStringLiteral("program")}) {
        std::printf("%s\n", qPrintable(kind));
        for (const QByteArray& name : order[kind])
            std::printf("  %-40s %8.2f ms\n", name.constData(), Median(results[kind][name]));
        std::printf("  %-40s %8.2f ms\n", "total (main entered to painted)", Median(totals[kind]));
    }
    PrintRule();

    // The key: what a derivation costs here, against opening with the engine's own
    // passphrase form and with an already derived raw key (each open walks 100 rows).
    const QString storeFile = kv::StorePath(dir.path());
    QByteArray rawKey;
    const double deriveMs = MedianMs(runs, [&] { rawKey = RawKeyPragma(storeFile); });
    const double passphraseMs = MedianMs(runs, [&] { RawWalk(storeFile, QByteArray()); });
    const double rawMs = MedianMs(runs, [&] { RawWalk(storeFile, rawKey); });
    std::printf("key: PBKDF2 through libcrypto's PKCS5_PBKDF2_HMAC %.2f ms; open+walk with the "
                "passphrase (engine derives) %.2f ms; with the raw key %.2f ms\n",
                deriveMs, passphraseMs, rawMs);
    const double floor = Median(totals[QStringLiteral("floor")]);
    std::printf("ratio program/floor %.2f\n",
                floor > 0 ? Median(totals[QStringLiteral("program")]) / floor : 0.0);
    return 0;
}
