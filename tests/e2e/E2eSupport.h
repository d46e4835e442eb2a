#pragma once

// Shared by the tests of the real program: one run of the program on an Xvfb display,
// its windows found by process and title, its message boxes and lists read through a
// preloaded probe (ProgramProbe.cpp), and the store read back with the store's own
// connection code.

#include "store/Provision.h"
#include "store/Statements.h"
#include "store/StoreConnection.h"
#include "support/XSession.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QPoint>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QThread>

#include <sys/stat.h>

namespace kvtest {

// Client coordinates of the controls the tests click, as the windows lay them out.
namespace at {
inline constexpr QPoint kManageLink{276, 84};          // LoginWindow: 管理用户
inline constexpr QPoint kMainAdd{342, 42};             // MainWindow: 添加
inline constexpr QPoint kMainDelete{342, 87};          // 删除
inline constexpr QPoint kMainDeleteAll{342, 132};      // 全部删除
inline constexpr QPoint kMainReturn{342, 178};         // 返回
inline constexpr QPoint kAddPanelConfirm{289, 100};    // add panel: 添加
inline constexpr QPoint kAddPanelExit{289, 155};       // add panel: 退出
inline constexpr QPoint kAdminDeleteUser{305, 35};     // UserAdminWindow: 删除用户
inline constexpr QPoint kAdminChangePassword{305, 94}; // 口令更改
inline constexpr QPoint kAdminPanelConfirm{279, 100};  // the panels' 删除 / 更改
inline constexpr QPoint kAdminRepeatBox{154, 151};     // new-password panel: repeat box
} // namespace at

// Window titles (regular expressions for xdotool).
inline const QString kLoginTitle = QStringLiteral("^Keyvora-");
inline const QString kMainTitle = QStringLiteral("^Keyvora --by ");
inline const QString kNewUserTitle = QStringLiteral("^新建用户$");
// UserAdminWindow has an empty title (xdotool matches the empty _NET_WM_NAME).
inline const QString kAdminTitle = QStringLiteral("^$");
inline const QString kMessageTitle = QStringLiteral("^信息：$");
inline const QString kStoreDialogTitle = QStringLiteral("^数据库$");

// A message box as the probe saw it when it was shown, with the rows of every list
// view of the visible windows at that moment ("ID|user|password|remark" and so on).
struct ShownBox
{
    QString caption;
    QString text;
    QMap<QString, QStringList> lists;
    QMap<QString, int> current; // each list's current row, -1 for none
};

// One run of the program. Killed when the object goes away while it still runs.
class ProgramRun
{
public:
    explicit ProgramRun(const XSession& x) : x_(x) {}
    ~ProgramRun()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    bool Start(const QString& program)
    {
        QProcessEnvironment environment = x_.Environment();
        environment.insert(QStringLiteral("LD_PRELOAD"),
                           QStringLiteral(KV_BINARY_DIR "/tests/e2e/libkv_program_probe.so"));
        environment.insert(QStringLiteral("KV_PROBE_LOG"), ProbeLog());
        process_.setProcessEnvironment(environment);
        process_.setWorkingDirectory(QFileInfo(program).absolutePath());
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(program, {});
        return process_.waitForStarted(10000);
    }

    QString Pid() const { return QString::number(process_.processId()); }
    bool Running() const { return process_.state() == QProcess::Running; }

    // The first visible window of this run whose title matches; empty when none
    // appeared in time (or the program ended).
    QString Window(const QString& title, int timeoutMs = 60000) const
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs && Running()) {
            const QString ids =
                x_.Xdotool({"search", "--all", "--onlyvisible", "--pid", Pid(), "--name", title});
            if (!ids.isEmpty())
                return ids.split(u'\n').first();
            QThread::msleep(50);
        }
        return QString();
    }

    // Every visible window of this run.
    QStringList VisibleWindows() const
    {
        const QString ids = x_.Xdotool({"search", "--onlyvisible", "--pid", Pid()});
        return ids.isEmpty() ? QStringList() : ids.split(u'\n');
    }

    // Waits until the window is no longer shown.
    bool WaitGone(const QString& window, int timeoutMs = 15000) const
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            if (!Running() || !VisibleWindows().contains(window))
                return true;
            QThread::msleep(50);
        }
        return false;
    }

    // Waits for the end of the program; the exit code as a shell sees it (-1 is 255).
    bool Finish(int timeoutMs, int* exitCode)
    {
        if (!process_.waitForFinished(timeoutMs))
            return false;
        if (process_.exitStatus() != QProcess::NormalExit)
            return false;
        *exitCode = process_.exitCode();
        return true;
    }

    void Kill()
    {
        process_.kill();
        process_.waitForFinished(5000);
    }

    // The control that got the keyboard focus last (its object name).
    QString Focus() const
    {
        QString name;
        for (const QJsonObject& entry : ProbeEntries())
            if (entry.value("event").toString() == QLatin1String("focus"))
                name = entry.value("name").toString();
        return name;
    }

    // Waits until the control named has the focus; false when it did not get it in time.
    bool WaitFocus(const QString& control, int timeoutMs = 10000) const
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            if (Focus() == control)
                return true;
            QThread::msleep(30);
        }
        return Focus() == control;
    }

    // Every message box shown so far, in order.
    QList<ShownBox> Boxes() const
    {
        QList<ShownBox> boxes;
        for (const QJsonObject& entry : ProbeEntries()) {
            if (entry.value("event").toString() != QLatin1String("box"))
                continue;
            ShownBox box;
            box.caption = entry.value("caption").toString();
            box.text = entry.value("text").toString();
            const QJsonObject lists = entry.value("lists").toObject();
            for (auto list = lists.begin(); list != lists.end(); ++list) {
                QStringList rows;
                for (const QJsonValue& row : list.value().toObject().value("rows").toArray()) {
                    QStringList cells;
                    for (const QJsonValue& cell : row.toArray())
                        cells << cell.toString();
                    rows << cells.join(u'|');
                }
                box.lists.insert(list.key(), rows);
                box.current.insert(list.key(), list.value().toObject().value("current").toInt());
            }
            boxes << box;
        }
        return boxes;
    }

    // The next message box not taken yet, waiting for it; a caption of "<none>" when
    // none was shown in time.
    ShownBox NextBox(int timeoutMs = 30000)
    {
        QElapsedTimer clock;
        clock.start();
        do {
            const QList<ShownBox> boxes = Boxes();
            if (boxes.size() > taken_)
                return boxes[taken_++];
            QThread::msleep(50);
        } while (clock.elapsed() < timeoutMs);
        return ShownBox{QStringLiteral("<none>"), QString(), {}, {}};
    }

private:
    QString ProbeLog() const { return probeDir_.filePath(QStringLiteral("probe.log")); }

    QList<QJsonObject> ProbeEntries() const
    {
        QList<QJsonObject> entries;
        QFile log(ProbeLog());
        if (!log.open(QIODevice::ReadOnly))
            return entries;
        for (const QByteArray& line : log.readAll().split('\n')) {
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            if (!entry.isEmpty())
                entries << entry;
        }
        return entries;
    }

    const XSession& x_;
    QProcess process_;
    QTemporaryDir probeDir_;
    int taken_ = 0;
};

// Waits for the program's next message box (its caption matching `title`), answers it
// with keys ("Return" for the default button, "Escape" for Cancel) and waits until it
// is gone. Returns the box's text, or a text in angle brackets saying what went wrong.
inline QString AnswerMessage(const XSession& x, ProgramRun& run, const QStringList& keys,
                             const QString& title = kMessageTitle, ShownBox* seen = nullptr)
{
    const QString window = run.Window(title, 30000);
    if (window.isEmpty())
        return QStringLiteral("<no message box>");
    const ShownBox box = run.NextBox();
    if (seen)
        *seen = box;
    x.Keys(window, keys);
    if (!run.WaitGone(window))
        return QStringLiteral("<message box stayed: ") + box.text + u'>';
    return box.text;
}

inline QString AnswerMessage(const XSession& x, ProgramRun& run, const char* key,
                             const QString& title = kMessageTitle, ShownBox* seen = nullptr)
{
    return AnswerMessage(x, run, QStringList{QString::fromLatin1(key)}, title, seen);
}

// Raises the window above the others (two copies of the program lay their windows on
// top of each other) and clicks at a point of its client area.
inline void ClickOn(const XSession& x, const QString& window, const QPoint& point)
{
    x.Xdotool({"windowraise", window});
    x.Click(window, point.x(), point.y());
}

// Gives the window the X input focus (there is no window manager to activate it).
inline void FocusWindow(const XSession& x, const QString& window)
{
    x.Xdotool({"windowfocus", "--sync", window});
}

// Tab orders of the windows, the first following the last.
inline const QStringList kLoginTabOrder{"用户名_编辑框", "口令_编辑框", "登陆_按钮", "按钮1"};
inline const QStringList kNewUserTabOrder{"新建用户名_编辑框", "新建密码_编辑框",
                                          "新建密码_编辑框1", "新建_按钮", "新建退出_按钮"};

// Moves the focus with Tab until `target` has it, checking that every Tab moves it to
// the next control of `order`. False when the focus strays from the order.
inline bool TabTo(const XSession& x, ProgramRun& run, const QString& window,
                  const QStringList& order, const QString& target)
{
    FocusWindow(x, window);
    QElapsedTimer clock;
    clock.start();
    while (!order.contains(run.Focus()) && clock.elapsed() < 10000)
        QThread::msleep(30);
    for (int step = 0; step <= order.size(); ++step) {
        const qsizetype at = order.indexOf(run.Focus());
        if (at < 0)
            return false;
        if (order[at] == target)
            return true;
        x.Keys(window, {"Tab"});
        if (!run.WaitFocus(order[(at + 1) % order.size()]))
            return false;
    }
    return false;
}

// ---- the store, read with the store's own connection code ----

inline QString StoreFileIn(const QString& directory)
{
    return kv::StorePath(directory);
}

struct StoreState
{
    bool opened = false;
    QMap<QString, QStringList> users;   // name -> {password1, password2}
    QStringList tables;                 // every table but management, sorted
    QMap<QString, QStringList> records; // table -> "ID|user|password|remark", store order

    // Login users without a record table, and record tables without a login user.
    QStringList Mismatches() const
    {
        QStringList found;
        for (const QString& user : users.keys())
            if (!tables.contains(user))
                found << QStringLiteral("user without table: ") + user;
        for (const QString& table : tables)
            if (!users.contains(table))
                found << QStringLiteral("table without user: ") + table;
        return found;
    }
};

inline StoreState ReadStore(const QString& directory)
{
    StoreState state;
    kv::StoreConnection store;
    if (!store.Open(StoreFileIn(directory), QString::fromLatin1(kv::kStorePassword)))
        return state;
    state.opened = true;
    {
        const kv::ScopedResult rows(
            store,
            store.Query(QStringLiteral("select username,password1,password2 from management")));
        for (; !store.AtEnd(rows); store.MoveNext(rows))
            state.users.insert(store.ReadText(rows, 1),
                               {store.ReadText(rows, 2), store.ReadText(rows, 3)});
    }
    {
        const kv::ScopedResult rows(
            store,
            store.Query(QStringLiteral(
                "select name from sqlite_master where type='table' and name<>'management'")));
        for (; !store.AtEnd(rows); store.MoveNext(rows))
            state.tables << store.ReadText(rows, 1);
    }
    state.tables.sort();
    for (const QString& table : state.tables) {
        const kv::ScopedResult rows(store, store.Query(kv::statements::RecordList(table)));
        QStringList lines;
        for (; !store.AtEnd(rows); store.MoveNext(rows)) {
            QStringList cells;
            for (int position = 1; position <= 4; ++position)
                cells << store.ReadText(rows, position);
            lines << cells.join(u'|');
        }
        state.records.insert(table, lines);
    }
    return state;
}

// Puts login users and records into a store with the store's own statements.
inline bool AddUserToStore(const QString& directory, const QString& name, const QString& password,
                           const QStringList& records = {})
{
    QStringList statements{kv::statements::UserInsert(name, password, password),
                           kv::statements::RecordTableCreate(name)};
    int id = 0;
    for (const QString& record : records) {
        const QStringList cells = record.split(u'|');
        statements << kv::statements::RecordInsert(name, QString::number(++id), cells.value(0),
                                                   cells.value(1), cells.value(2));
    }
    kv::StoreConnection store;
    return store.Open(StoreFileIn(directory), QString::fromLatin1(kv::kStorePassword)) &&
           store.ExecuteTogether(statements);
}

// keyvora-store check: its exit code (0 intact) and what it printed.
struct CheckOutcome
{
    int exitCode = -1;
    QString output;
};

inline CheckOutcome CheckWithTool(const QString& directory)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral(KV_BINARY_DIR "/tools/keyvora-store"), {"check", directory});
    CheckOutcome outcome;
    if (tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit)
        outcome.exitCode = tool.exitCode();
    outcome.output = QString::fromUtf8(tool.readAll());
    return outcome;
}

// Polls the store until the condition holds (the program writes in its own time).
template <class Condition>
bool WaitForStore(const QString& directory, Condition condition, int timeoutMs = 15000)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (condition(ReadStore(directory)))
            return true;
        QThread::msleep(50);
    }
    return condition(ReadStore(directory));
}

// ---- files ----

inline QByteArray FileContents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray FileHash(const QString& path)
{
    return QCryptographicHash::hash(FileContents(path), QCryptographicHash::Sha256).toHex();
}

// Identity of a file on disk: device, inode, size, modification time in nanoseconds.
inline QString FileIdentity(const QString& path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("<missing>");
    return QStringLiteral("%1:%2:%3:%4.%5")
        .arg(info.st_dev)
        .arg(info.st_ino)
        .arg(info.st_size)
        .arg(info.st_mtim.tv_sec)
        .arg(info.st_mtim.tv_nsec);
}

// ---- flows through the windows ----

// Opens NewUserWindow and fills it with the keyboard only: Tab to the new-user button,
// the space bar presses it (Enter on it does nothing), then name, password and
// repetition with Tab between them, and Enter in the repeat box (or, with
// `enterOnButton`, on the focused create button). Returns NewUserWindow.
inline QString EnterNewUser(const XSession& x, ProgramRun& run, const QString& login,
                            const QString& name, const QString& password,
                            bool enterOnButton = false)
{
    if (!TabTo(x, run, login, kLoginTabOrder, "按钮1"))
        return QString();
    x.Keys(login, {"space"});
    const QString newUser = run.Window(kNewUserTitle, 15000);
    if (newUser.isEmpty())
        return QString();
    FocusWindow(x, newUser);
    if (!run.WaitFocus("新建用户名_编辑框"))
        return QString();
    x.Type(newUser, name);
    if (!TabTo(x, run, newUser, kNewUserTabOrder, "新建密码_编辑框"))
        return QString();
    x.Type(newUser, password);
    if (!TabTo(x, run, newUser, kNewUserTabOrder, "新建密码_编辑框1"))
        return QString();
    x.Type(newUser, password);
    if (enterOnButton && !TabTo(x, run, newUser, kNewUserTabOrder, "新建_按钮"))
        return QString();
    x.Keys(newUser, {"Return"});
    return newUser;
}

// Creates a login user as EnterNewUser does, expecting success.
inline void CreateUserWithKeyboard(const XSession& x, ProgramRun& run, const QString& login,
                                   const QString& name, const QString& password,
                                   bool enterOnButton = false)
{
    const QString newUser = EnterNewUser(x, run, login, name, password, enterOnButton);
    QVERIFY2(!newUser.isEmpty(),
             qPrintable("NewUserWindow could not be filled; focus: " + run.Focus()));
    QCOMPARE(AnswerMessage(x, run, "Return"), QStringLiteral("成功创建用户"));
    QVERIFY(run.WaitGone(newUser));
}

// A login attempt with the keyboard: name, Tab, password, Enter in the password box.
inline void EnterLogin(const XSession& x, ProgramRun& run, const QString& login,
                       const QString& name, const QString& password)
{
    QVERIFY2(TabTo(x, run, login, kLoginTabOrder, "用户名_编辑框"), qPrintable(run.Focus()));
    x.Type(login, name);
    QVERIFY2(TabTo(x, run, login, kLoginTabOrder, "口令_编辑框"), qPrintable(run.Focus()));
    x.Type(login, password);
    x.Keys(login, {"Return"});
}

// A login that succeeds: returns MainWindow, or empty when it did not appear.
inline QString LogIn(const XSession& x, ProgramRun& run, const QString& login, const QString& name,
                     const QString& password)
{
    EnterLogin(x, run, login, name, password);
    return QTest::currentTestFailed() ? QString() : run.Window(kMainTitle, 30000);
}

// Opens the add panel, types the three cells with Tab between them and presses the
// panel's add button.
inline void EnterRecord(const XSession& x, ProgramRun& run, const QString& main,
                        const QStringList& cells)
{
    ClickOn(x, main, at::kMainAdd);
    FocusWindow(x, main);
    QVERIFY(run.WaitFocus("主界面_添加用户编辑框"));
    x.Type(main, cells[0]);
    x.Keys(main, {"Tab"});
    QVERIFY(run.WaitFocus("主界面_添加口令编辑框"));
    x.Type(main, cells[1]);
    x.Keys(main, {"Tab"});
    QVERIFY(run.WaitFocus("主界面_添加备注编辑框"));
    x.Type(main, cells[2]);
    ClickOn(x, main, at::kAddPanelConfirm);
}

// Adds a record through the add panel; waits until the store holds `expectedCount`
// records for the user.
inline void AddRecord(const XSession& x, ProgramRun& run, const QString& dir, const QString& main,
                      const QString& user, const QStringList& cells, int expectedCount)
{
    EnterRecord(x, run, main, cells);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(WaitForStore(dir,
                          [&](const StoreState& s) {
                              return s.records.value(user).size() == expectedCount;
                          }),
             qPrintable(ReadStore(dir).records.value(user).join(u';')));
}

// Types into the control of the window that has (or is about to get) the focus.
inline void TypeInto(const XSession& x, ProgramRun& run, const QString& window,
                     const QString& control, const QString& text)
{
    FocusWindow(x, window);
    QVERIFY2(run.WaitFocus(control), qPrintable(run.Focus()));
    x.Type(window, text);
}

} // namespace kvtest
