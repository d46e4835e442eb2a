// Login to filled list at 100, 10,000 and 100,000 records, against the raw store walk.
//
// The login is the real one: LoginWindow::AttemptLogin with the typed name and password,
// which hides the login window, loads MainWindow and fills its list; the clock stops when
// MainWindow is shown and its first paint is done. The floor opens the same store with
// the engine's C API (raw key, no key derivation) and reads every row's four columns as
// text; floor and login runs alternate. Between them, the store layer alone
// (StoreConnection: open, snapshot query, read every cell as FillRecordList does) and the
// list alone (the same ListView filled from already read texts, hidden, as at creation)
// show where the rest of the time goes.
//
//   bench_login_fill [RECORDS...]     default: 100 10000 100000
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include "BenchSupport.h"

#include "app/ListView.h"
#include "app/Toolkit.h"
#include "windows/LoginWindow.h"
#include "windows/MainWindow.h"
#include "windows/StoreAccess.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstdlib>

#include <malloc.h>

using namespace kvbench;

namespace {

// Bytes the allocator has handed out and not had back.
std::size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

int RunsFor(int records)
{
    return records <= 1000 ? 15 : records <= 20000 ? 9 : 5;
}

// Processes events until the window is exposed, then once more so its first paint is done.
void WaitShownAndPainted(QWidget* window)
{
    const Clock::time_point start = Clock::now();
    while (window && !(window->windowHandle() && window->windowHandle()->isExposed()) &&
           MillisecondsSince(start) < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Any message box shown during a run means the run went wrong: close it and say so.
QStringList gUnexpectedMessages;

struct Figures
{
    int records = 0;
    double fixtureMs = 0;
    double rawWalkMs = 0;     // alternating with the logins
    double rawWalkWarmMs = 0; // back to back
    double storeOpenMs = 0;
    double storeQueryMs = 0;
    double storeWalkMs = 0; // open + query + every cell read, as FillRecordList reads
    double listFillMs = 0;
    double listFillDetachedMs = 0;
    double loginMs = 0;
    double loginReturnMs = 0;   // AttemptLogin alone, before the window is painted
    double firstLoginMs = 0;    // the first login of this size, before the medians
    qint64 snapshotBytes = 0;   // heap held by an open snapshot of the whole table
    qint64 mainWindowBytes = 0; // heap held by the filled MainWindow
    qint64 textBytes = 0;
    qint64 fileBytes = 0;
    bool ok = true;
};

Figures Measure(int records)
{
    Figures f;
    f.records = records;
    const int runs = RunsFor(records);
    QTemporaryDir dir;
    f.fixtureMs = TimeMs([&] { f.ok = dir.isValid() && MakeStore(dir.path(), records); });
    if (!f.ok)
        return f;
    const QString storeFile = kv::StorePath(dir.path());
    f.fileBytes = QFileInfo(storeFile).size();
    const QByteArray key = RawKeyPragma(storeFile);
    if (key.isEmpty())
        std::printf("note: raw key unknown, the floor derives the key on every open\n");

    // Floor: the raw walk.
    qint64 walked = RawWalk(storeFile, key, &f.textBytes);
    if (walked != records) {
        std::fprintf(stderr, "raw walk read %lld rows, expected %d\n", walked, records);
        f.ok = false;
        return f;
    }

    // The store layer alone, against the raw walk run the same way (back to back).
    f.rawWalkWarmMs = MedianMs(runs, [&] { walked = RawWalk(storeFile, key); });
    {
        kv::StoreConnection connection;
        connection.Open(storeFile, StorePassword()); // the process derives its key once
        f.storeOpenMs = MedianMs(runs, [&] {
            connection.Close();
            connection.Open(storeFile, StorePassword());
        });
        {
            // What a snapshot of the whole table holds on the heap while it is open.
            const std::size_t before = HeapInUse();
            const kv::StoreResult held = connection.Query(kv::statements::RecordList(kUser));
            f.snapshotBytes = qint64(HeapInUse()) - qint64(before);
            connection.Release(held);
        }
        f.storeQueryMs = MedianMs(
            runs, [&] { connection.Release(connection.Query(kv::statements::RecordList(kUser))); });
        qint64 cells = 0;
        f.storeWalkMs = MedianMs(runs, [&] {
            connection.Close();
            connection.Open(storeFile, StorePassword());
            const kv::ScopedResult rows(connection,
                                        connection.Query(kv::statements::RecordList(kUser)));
            while (!connection.AtEnd(rows)) {
                cells += connection.ReadText(rows, 1).size();
                cells += connection.ReadTextStrict(rows, 2).size();
                cells += connection.ReadTextStrict(rows, 3).size();
                cells += connection.ReadTextStrict(rows, 4).size();
                connection.MoveNext(rows);
            }
        });
    }

    // The list alone: the main window's list filled from texts already read.
    {
        std::vector<Record> rows;
        rows.reserve(std::size_t(records));
        for (int id = 1; id <= records; ++id)
            rows.push_back(MakeRecord(id));
        QWidget host;
        auto* list = new kv::ListView(&host, "bench_list", QRect(8, 8, 304, 200),
                                      kv::ListView::Sort::Descending,
                                      {QStringLiteral("ID"), QStringLiteral("用户名"),
                                       QStringLiteral("口令"), QStringLiteral("备注")},
                                      {0, 110, 110, 80});
        list->KeepColumnCollapsed(0);
        f.listFillMs = MedianMs(runs, [&] {
            list->RemoveAllRows();
            for (const Record& r : rows) {
                const int row = list->InsertRow(QString());
                list->SetCellText(row, 0, r.id);
                list->SetCellText(row, 1, r.account);
                list->SetCellText(row, 2, r.password);
                list->SetCellText(row, 3, r.remark);
            }
            list->SetCurrentSelection(0);
        });
        // The same fill with the view detached from its model, attached again once at the
        // end: what the rows cost without the per-row model signals the view answers.
        QAbstractItemModel* model = list->model();
        f.listFillDetachedMs = MedianMs(runs, [&] {
            list->setModel(nullptr);
            list->RemoveAllRows();
            for (const Record& r : rows) {
                const int row = list->InsertRow(QString());
                list->SetCellText(row, 0, r.id);
                list->SetCellText(row, 1, r.account);
                list->SetCellText(row, 2, r.password);
                list->SetCellText(row, 3, r.remark);
            }
            list->setModel(model);
            list->KeepColumnCollapsed(0);
            list->SetCurrentSelection(0);
        });
        if (list->RowCount() != records || list->CurrentSelection() != 0)
            std::fprintf(stderr, "detached fill left %d rows\n", list->RowCount());
    }

    // The real login.
    kv::SetRunDirectory(dir.path());
    kv::LoginWindow* login = kv::AliveWindow<kv::LoginWindow>();
    kv::ReopenLoginConnection();
    std::vector<double> loginTimes;
    std::vector<double> returnTimes;
    std::vector<double> floorTimes;
    for (int run = 0; run < runs + 1 && f.ok; ++run) {
        // Floor and login in turn, so a change of load on the machine hits both alike.
        floorTimes.push_back(TimeMs([&] { walked = RawWalk(storeFile, key); }));
        login->用户名_编辑框->setText(kUser);
        login->口令_编辑框->setText(kUserPassword);
        QCoreApplication::processEvents();
        const std::size_t heapBefore = HeapInUse();
        const Clock::time_point start = Clock::now();
        login->AttemptLogin();
        const double returned = MillisecondsSince(start);
        kv::MainWindow* main = kv::AliveWindow<kv::MainWindow>();
        WaitShownAndPainted(main);
        const double shown = MillisecondsSince(start);
        if (!main || main->主界面_超级列表框->RowCount() != records) {
            std::fprintf(stderr, "login did not list %d records (%d)\n", records,
                         main ? main->主界面_超级列表框->RowCount() : -1);
            f.ok = false;
            break;
        }
        if (run > 0) { // the first run warms caches, as the floor's first walk did
            loginTimes.push_back(shown);
            returnTimes.push_back(returned);
        } else {
            f.firstLoginMs = shown;
            // What the filled main window keeps on the heap once its query is released.
            f.mainWindowBytes = qint64(HeapInUse()) - qint64(heapBefore);
        }
        main->ReturnToLogin();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
    f.loginMs = Median(loginTimes);
    f.rawWalkMs = Median(floorTimes);
    f.loginReturnMs = Median(returnTimes);
    if (!gUnexpectedMessages.isEmpty()) {
        std::fprintf(stderr, "unexpected message boxes: %s\n",
                     qPrintable(gUnexpectedMessages.join(QStringLiteral(" | "))));
        f.ok = false;
    }
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << std::atoi(argv[i]);
    if (sizes.isEmpty())
        sizes = {100, 10000, 100000};

    // A message box would wait for an answer that never comes: close it and count it.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            gUnexpectedMessages << box->text();
            box->reject();
        }
    });
    guard.start(200);

    // The login window lives through every size; each size points the run directory at
    // its own store and opens the login window's connection there.
    QTemporaryDir first;
    if (!first.isValid() || !MakeStore(first.path(), 0))
        return 1;
    kv::SetRunDirectory(first.path());
    if (!kv::LoadWindow<kv::LoginWindow>())
        return 1;
    WaitShownAndPainted(kv::AliveWindow<kv::LoginWindow>());

    std::printf("Login to filled list (platform: %s), medians\n",
                qPrintable(QGuiApplication::platformName()));
    PrintRule();
    std::printf("%9s %10s %10s %9s %9s %10s %10s %10s %8s\n", "records", "raw walk", "store",
                "(open)", "(query)", "list fill", "login", "(handler)", "ratio");
    std::printf("%9s %10s %10s %9s %9s %10s %10s %10s %8s\n", "", "ms", "walk ms", "ms", "ms", "ms",
                "ms", "ms", "login/raw");
    PrintRule();
    bool ok = true;
    std::vector<Figures> all;
    for (int records : sizes) {
        const Figures f = Measure(records);
        ok = ok && f.ok;
        all.push_back(f);
        std::printf("%9d %10.2f %10.2f %9.2f %9.2f %10.2f %10.2f %10.2f %8.1f\n", f.records,
                    f.rawWalkMs, f.storeWalkMs, f.storeOpenMs, f.storeQueryMs, f.listFillMs,
                    f.loginMs, f.loginReturnMs, f.rawWalkMs > 0 ? f.loginMs / f.rawWalkMs : 0.0);
        std::fflush(stdout);
    }
    PrintRule();
    for (const Figures& f : all)
        std::printf("%d records: store file %.1f KiB, text %.1f KiB, fixture made in %.0f ms; "
                    "store walk %.1fx raw back to back, list fill %.1f ms (%.1f ms detached from "
                    "its model), "
                    "login %.1f us per record, first login %.1f ms\n",
                    f.records, f.fileBytes / 1024.0, f.textBytes / 1024.0, f.fixtureMs,
                    f.rawWalkWarmMs > 0 ? f.storeWalkMs / f.rawWalkWarmMs : 0.0, f.listFillMs,
                    f.listFillDetachedMs, f.records ? 1000.0 * f.loginMs / f.records : 0.0,
                    f.firstLoginMs);
    for (const Figures& f : all)
        if (f.records)
            std::printf("%d records: heap per record: open snapshot %.0f bytes, filled MainWindow "
                        "%.0f bytes (%.0f KiB in all), text %.0f bytes as UTF-8\n",
                        f.records, double(f.snapshotBytes) / f.records,
                        double(f.mainWindowBytes) / f.records, f.mainWindowBytes / 1024.0,
                        double(f.textBytes) / f.records);
    std::printf("login: AttemptLogin until MainWindow is shown and painted; (handler): until "
                "AttemptLogin returns\n");
    if (!ok)
        std::printf("FAILED: see the messages above\n");
    delete kv::AliveWindow<kv::LoginWindow>();
    kv::SetRunDirectory(QString());
    return ok ? 0 : 1;
}
