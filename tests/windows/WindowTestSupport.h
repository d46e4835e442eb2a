#pragma once

// Shared by the window tests: a run directory with a real store in it, users and records
// put in through StoreConnection, message boxes answered as a person would, typing that
// works for Chinese text, and windows opened on their own or modally.

#include "app/Toolkit.h"
#include "store/Provision.h"
#include "store/Statements.h"
#include "store/StoreConnection.h"
#include "windows/LoginWindow.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace kvtest {

inline QString StorePassword()
{
    return QString::fromUtf8(kv::kStorePassword);
}

// A temporary run directory holding an empty store; the program's run directory points
// there while the object lives.
class RunDirectory
{
public:
    RunDirectory()
    {
        ok_ = dir_.isValid() && kv::CreateEmptyStore(StoreFile(), StorePassword());
        kv::SetRunDirectory(dir_.path());
    }
    ~RunDirectory() { kv::SetRunDirectory(QString()); }
    RunDirectory(const RunDirectory&) = delete;
    RunDirectory& operator=(const RunDirectory&) = delete;

    bool IsValid() const { return ok_; }
    QString Path() const { return dir_.path(); }
    QString File(const QString& name) const { return dir_.path() + u'/' + name; }
    QString StoreFile() const { return kv::StorePath(dir_.path()); }

    // Runs statements on a connection of the test's own, together: all or none.
    bool Run(const QStringList& statements) const
    {
        kv::StoreConnection connection;
        return connection.Open(StoreFile(), StorePassword()) &&
               connection.ExecuteTogether(statements);
    }
    // A login user with an empty record table.
    bool AddUser(const QString& name, const QString& password) const
    {
        return Run({kv::statements::UserInsert(name, password, password),
                    kv::statements::RecordTableCreate(name)});
    }
    bool AddRecord(const QString& user, int id, const QString& account, const QString& password,
                   const QString& remark = QString()) const
    {
        return Run(
            {kv::statements::RecordInsert(user, QString::number(id), account, password, remark)});
    }

    // Every record of a user's table in the store's order: ID, user name, password,
    // remark joined by "|".
    QStringList Records(const QString& user) const
    {
        QStringList rows;
        kv::StoreConnection connection;
        if (!connection.Open(StoreFile(), StorePassword()))
            return {QStringLiteral("<store not opened>")};
        const kv::ScopedResult result(connection,
                                      connection.Query(kv::statements::RecordList(user)));
        for (; !connection.AtEnd(result); connection.MoveNext(result)) {
            QStringList cells;
            for (int position = 1; position <= 4; ++position)
                cells << connection.ReadText(result, position);
            rows << cells.join(u'|');
        }
        return rows;
    }

private:
    QTemporaryDir dir_;
    bool ok_ = false;
};

inline QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool WriteFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// Answers every message box of the program as a person would, while it lives: records
// caption and text, then presses Enter on OK, or Esc when the next planned answer is
// Cancel. The answers are a queue; once empty, every box gets OK.
class MessageBoxes : public QObject
{
public:
    MessageBoxes()
    {
        connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start(5);
    }
    QStringList texts;
    QStringList captions;
    QList<bool> cancels;
    // Runs when a box is seen, before it is answered (checks of the state behind it).
    std::function<void(QMessageBox*)> onShown;

    void Clear()
    {
        texts.clear();
        captions.clear();
    }

private:
    void Poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box->property("kvAnswered").toBool())
            return;
        box->setProperty("kvAnswered", true);
        texts << box->text();
        captions << box->windowTitle();
        if (onShown)
            onShown(box);
        const bool cancel = !cancels.isEmpty() && cancels.takeFirst();
        if (cancel) {
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        }
        for (QAbstractButton* button : box->buttons())
            if (box->buttonRole(button) == QMessageBox::AcceptRole) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
    }
    QTimer timer_;
};

// Types text key by key: ASCII with real key codes, anything else as text events
// (QTest::keyClicks cannot send characters outside ASCII).
inline void Type(QWidget* widget, const QString& text)
{
    for (const QChar ch : text) {
        if (ch.unicode() < 0x80)
            QTest::keyClicks(widget, QString(ch));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

// Makes a window the active one, so that it has keyboard focus.
inline bool Activate(QWidget* window)
{
    window->activateWindow();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}

// Loads a window of kind W on its own, not modal, and makes it the active one; nullptr when
// it is not there or does not become active.
template <class W> W* OpenWindow()
{
    kv::LoadWindow<W>(nullptr, false);
    W* window = kv::AliveWindow<W>();
    if (window && !Activate(window))
        return nullptr;
    return window;
}

// Runs steps on the window of kind W once the call about to open it modally has shown it:
// that call returns only when the window is gone, so the steps wait on a timer. They get
// nullptr when no such window is open by then.
template <class W> void WhenOpen(QObject* context, std::function<void(W*)> steps)
{
    QTimer::singleShot(50, context, [steps = std::move(steps)] { steps(kv::AliveWindow<W>()); });
}

// Opens W modally over the login window and leaves it by its exit button, as the login
// window's "新建" and "管理用户" do. Empty when the login window took no input while W was
// open, and is enabled with its connection open again once W is gone; otherwise what
// went wrong.
template <class W>
QString ModalOverLoginWindow(QObject* context, kv::LoginWindow* login, QPushButton* W::*exit)
{
    login->show();
    bool disabledWhileOpen = false, driven = false;
    WhenOpen<W>(context, [&](W* window) {
        if (!window)
            return;
        disabledWhileOpen = !login->isEnabled() && window->isEnabled() && window->isVisible();
        driven = true;
        QTest::mouseClick(window->*exit, Qt::LeftButton);
    });
    if (!kv::LoadWindow<W>(login, true))
        return QStringLiteral("the window could not be loaded");
    if (!driven)
        return QStringLiteral("the window did not open");
    if (!disabledWhileOpen)
        return QStringLiteral("the login window took input while the window was open");
    if (kv::AliveWindow<W>())
        return QStringLiteral("the window is still alive");
    if (!login->isEnabled())
        return QStringLiteral("the login window stayed disabled");
    if (!login->登陆_外部数据库->IsOpen())
        return QStringLiteral("the login window's connection was not opened again");
    return QString();
}

// A login window standing behind the window under test, not shown, its connection closed
// as its "新建" button and "管理用户" link leave it while the other window is open.
inline kv::LoginWindow* LoginWindowBehind()
{
    auto* login = new kv::LoginWindow;
    if (!login->登陆_外部数据库)
        login->登陆_外部数据库 = new kv::StoreConnection(login);
    login->登陆_外部数据库->Close();
    return login;
}

} // namespace kvtest
