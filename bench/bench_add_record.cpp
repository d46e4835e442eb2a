// Adding one record with 10,000 records listed, against a raw insert plus the raw walk.
//
// The add is the real one: MainWindow's add panel filled in and its add button's handler
// run (highest ID query, ID allocation, insert, close and reopen, panel closed, list
// emptied and filled again); the clock stops when the refilled list is painted.
// The floor is what any add-then-show-the-store design has to do at least: one insert on
// a fresh engine handle (raw key, automatic commit) and one raw walk of the whole table
// on another. Floor and add runs alternate, so both see the same table sizes.
//
//   bench_add_record [RECORDS]     default: 10000

#include "BenchSupport.h"

#include "app/ListView.h"
#include "app/OverlayPanel.h"
#include "app/Toolkit.h"
#include "windows/LoginWindow.h"
#include "windows/MainWindow.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstdlib>

using namespace kvbench;

namespace {

QStringList gUnexpectedMessages;

void Settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int runs = 9;

    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            gUnexpectedMessages << box->text();
            box->reject();
        }
    });
    guard.start(200);

    QTemporaryDir dir;
    if (!dir.isValid() || !MakeStore(dir.path(), records))
        return 1;
    const QString storeFile = kv::StorePath(dir.path());
    const QByteArray key = RawKeyPragma(storeFile);
    if (key.isEmpty()) {
        std::fprintf(stderr, "raw key unknown: the floor would pay a key derivation per open\n");
        return 1;
    }
    kv::SetRunDirectory(dir.path());
    if (!kv::LoadWindow<kv::LoginWindow>())
        return 1;
    auto* login = kv::AliveWindow<kv::LoginWindow>();
    login->用户名_编辑框->setText(kUser);
    login->口令_编辑框->setText(kUserPassword);
    login->AttemptLogin();
    Settle();
    auto* main = kv::AliveWindow<kv::MainWindow>();
    if (!main || main->主界面_超级列表框->RowCount() != records) {
        std::fprintf(stderr, "login did not list %d records\n", records);
        return 1;
    }

    int nextId = records + 1;
    int listed = records;
    std::vector<double> floorTimes;
    std::vector<double> addTimes;
    bool ok = true;
    for (int run = 0; run < runs + 1 && ok; ++run) {
        // Floor: one raw insert, one raw walk.
        const Record raw = MakeRecord(nextId++);
        qint64 walked = 0;
        const double floorMs = TimeMs([&] {
            ok = RawInsert(storeFile, key, raw);
            walked = RawWalk(storeFile, key);
        });
        ++listed;
        ok = ok && walked == listed;

        // The main window's add, through its panel.
        const Record added = MakeRecord(nextId++);
        main->OpenAddPanel();
        main->主界面_添加用户编辑框->setText(added.account);
        main->主界面_添加口令编辑框->setText(added.password);
        main->主界面_添加备注编辑框->setText(added.remark);
        Settle();
        const Clock::time_point start = Clock::now();
        main->AddRecord();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const double addMs = MillisecondsSince(start);
        ++listed;
        if (main->主界面_超级列表框->RowCount() != listed || main->标签2->text() != added.id ||
            main->主界面_添加图片框->isVisible()) {
            std::fprintf(stderr, "the add did not list record %s (%d rows, ID %s)\n",
                         qPrintable(added.id), main->主界面_超级列表框->RowCount(),
                         qPrintable(main->标签2->text()));
            ok = false;
        }
        if (run > 0) {
            floorTimes.push_back(floorMs);
            addTimes.push_back(addMs);
        }
    }
    if (!gUnexpectedMessages.isEmpty()) {
        std::fprintf(stderr, "unexpected message boxes: %s\n",
                     qPrintable(gUnexpectedMessages.join(QStringLiteral(" | "))));
        ok = false;
    }

    // Where the add's time goes: its parts, each run on its own.
    kv::StoreConnection connection;
    connection.Open(storeFile, StorePassword());
    const double highestMs = MedianMs(runs, [&] {
        kv::ScopedResult highest(connection, connection.Query(kv::statements::HighestId(kUser)));
        kv::statements::NextRecordId(connection.ReadText(highest, QStringLiteral("ID")));
    });
    const double reopenMs = MedianMs(runs, [&] {
        connection.Close();
        connection.Open(storeFile, StorePassword());
    });
    const double refillMs = MedianMs(runs, [&] {
        main->主界面_超级列表框->RemoveAllRows();
        main->FillRecordList();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    });
    const double rawWalkMs = MedianMs(runs, [&] { RawWalk(storeFile, key); });

    const double floorMs = Median(floorTimes);
    const double addMs = Median(addTimes);
    std::printf("Adding one record at %d records (platform: %s), medians of %d\n", records,
                qPrintable(QGuiApplication::platformName()), runs);
    PrintRule();
    std::printf("floor: raw insert + raw walk      %9.2f ms\n", floorMs);
    std::printf("add through MainWindow            %9.2f ms   ratio %.1f\n", addMs,
                floorMs > 0 ? addMs / floorMs : 0.0);
    PrintRule();
    std::printf("parts: highest ID query %.2f ms, close+open %.2f ms, empty+refill+paint %.2f ms, "
                "raw walk alone %.2f ms\n",
                highestMs, reopenMs, refillMs, rawWalkMs);
    if (!ok)
        std::printf("FAILED: see the messages above\n");
    // Back to the login window (MainWindow's close would end the process), then away.
    main->ReturnToLogin();
    Settle();
    delete kv::AliveWindow<kv::LoginWindow>();
    kv::SetRunDirectory(QString());
    return ok ? 0 : 1;
}
