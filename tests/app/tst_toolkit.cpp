// The window life cycle, modality, deferred destruction, close requests, keys and the
// message and error boxes, driven through real widgets on the offscreen platform.
#include "app/Dialogs.h"
#include "app/Keys.h"
#include "app/Toolkit.h"
#include "support/ChildProcess.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <cstdio>

using namespace kv;

namespace {

// A window with a button, two boxes and counters for its events.
class ProbeWindow : public Window
{
    Q_OBJECT
public:
    ProbeWindow() : Window(QSize(300, 200), QStringLiteral("probe"))
    {
        button = new QPushButton(QStringLiteral("b"), this);
        button->setGeometry(10, 10, 60, 25);
        first = new QLineEdit(this);
        first->setGeometry(10, 50, 100, 24);
        second = new QLineEdit(this);
        second->setGeometry(10, 90, 100, 24);
        connect(button, &QPushButton::clicked, this, [this] { ++clicks; });
    }
    void OnCreated() override
    {
        ++created;
        visibleWhenCreated = isVisible();
    }
    std::optional<bool> OnCanBeClosed() override
    {
        ++closeAsked;
        return answer;
    }

    QPushButton* button;
    QLineEdit* first;
    QLineEdit* second;
    int clicks = 0;
    int closeAsked = 0;
    std::optional<bool> answer;
    static inline int created = 0;
    static inline bool visibleWhenCreated = true;
};

class ModalWindow : public Window
{
    Q_OBJECT
public:
    ModalWindow() : Window(QSize(200, 150), QStringLiteral("modal")) {}
};

class OtherWindow : public Window
{
    Q_OBJECT
public:
    OtherWindow() : Window(QSize(200, 150), QStringLiteral("other")) {}
};

// Ends the process from its can-be-closed event, as a main window does.
class ExitingWindow : public Window
{
    Q_OBJECT
public:
    ExitingWindow() : Window(QSize(200, 150), QStringLiteral("exiting")) {}
    std::optional<bool> OnCanBeClosed() override
    {
        ExitProgram(0);
        std::puts("AFTER");
        return true;
    }
};

void Activate(QWidget* window)
{
    window->activateWindow();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
}

// Answers the next message box from the event loop, recording what it showed.
struct BoxSeen
{
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
};

void AnswerNextBox(BoxSeen* seen, std::function<void(QMessageBox*)> answer)
{
    QTimer::singleShot(0, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            AnswerNextBox(seen, answer); // not shown yet: look again
            return;
        }
        seen->caption = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        for (QAbstractButton* b : box->buttons())
            seen->buttons << b->text();
        answer(box);
    });
}

QAbstractButton* ButtonWithText(QMessageBox* box, const QString& text)
{
    for (QAbstractButton* b : box->buttons())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

class TstToolkit : public QObject
{
    Q_OBJECT

private slots:
    void init() { ProbeWindow::created = 0; }
    void cleanup()
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (qobject_cast<Window*>(widget))
                delete widget;
    }

    void windowFrameIsFixedWithCloseBoxOnly()
    {
        QVERIFY(LoadWindow<ProbeWindow>());
        auto* w = AliveWindow<ProbeWindow>();
        QCOMPARE(w->size(), QSize(300 - 2 * kFrameSide, 200 - kFrameTop - kFrameSide));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        const Qt::WindowFlags flags = w->windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(flags & Qt::WindowStaysOnTopHint));
    }

    void createdEventRunsBeforeShowing()
    {
        QVERIFY(LoadWindow<ProbeWindow>());
        QCOMPARE(ProbeWindow::created, 1);
        QVERIFY(!ProbeWindow::visibleWhenCreated);
        QVERIFY(AliveWindow<ProbeWindow>()->isVisible());
    }

    void loadingAnAliveWindowOnlyBringsItToFront()
    {
        QVERIFY(LoadWindow<ProbeWindow>());
        auto* first = AliveWindow<ProbeWindow>();
        QVERIFY(LoadWindow<ProbeWindow>());
        QCOMPARE(AliveWindow<ProbeWindow>(), first);
        QCOMPARE(ProbeWindow::created, 1);
    }

    void loadingAMarkedWindowCreatesItAgain()
    {
        QVERIFY(LoadWindow<ProbeWindow>());
        QPointer<ProbeWindow> old = AliveWindow<ProbeWindow>();
        DestroyWindowDeferred(old);
        QVERIFY(LoadWindow<ProbeWindow>());
        QVERIFY(old.isNull());
        QCOMPARE(ProbeWindow::created, 2);
        QVERIFY(AliveWindow<ProbeWindow>());
        QVERIFY(!AliveWindow<ProbeWindow>()->IsMarkedForDestruction());
    }

    void failedCreationReturnsFalse()
    {
        QVERIFY(!LoadWindow(
            "Nothing", [] { return static_cast<Window*>(nullptr); }, nullptr, false));
    }

    void deferredDestructionWaitsForTheHandler()
    {
        QVERIFY(LoadWindow<ProbeWindow>());
        QPointer<ProbeWindow> w = AliveWindow<ProbeWindow>();
        bool aliveAfterCall = false;
        connect(w->button, &QPushButton::clicked, w, [&] {
            DestroyWindowDeferred(w);
            aliveAfterCall = !w.isNull() && w->isVisible();
        });
        QTest::mouseClick(w->button, Qt::LeftButton);
        QVERIFY(aliveAfterCall);
        QTRY_VERIFY(w.isNull());
        QCOMPARE(ProbeWindow::created, 1);
    }

    void deferredDestructionRaisesNoCloseEvent()
    {
        QVERIFY(LoadWindow<ProbeWindow>());
        QPointer<ProbeWindow> w = AliveWindow<ProbeWindow>();
        int asked = 0;
        connect(w, &QObject::destroyed, this, [&] {});
        DestroyWindowDeferred(w);
        asked = w->closeAsked;
        QTRY_VERIFY(w.isNull());
        QCOMPARE(asked, 0);
    }

    void closeRequest_data()
    {
        QTest::addColumn<int>("answer"); // -1 nothing, 0 false, 1 true
        QTest::addColumn<bool>("byEscape");
        QTest::addColumn<bool>("destroyed");
        QTest::newRow("nothing, close box") << -1 << false << true;
        QTest::newRow("true, close box") << 1 << false << true;
        QTest::newRow("false, close box") << 0 << false << false;
        QTest::newRow("nothing, Esc") << -1 << true << true;
        QTest::newRow("false, Esc") << 0 << true << false;
    }
    void closeRequest()
    {
        QFETCH(int, answer);
        QFETCH(bool, byEscape);
        QFETCH(bool, destroyed);
        QVERIFY(LoadWindow<ProbeWindow>());
        QPointer<ProbeWindow> w = AliveWindow<ProbeWindow>();
        if (answer >= 0)
            w->answer = answer == 1;
        if (byEscape) {
            Activate(w);
            w->first->setFocus();
            QTest::keyClick(w->first, Qt::Key_Escape);
        } else {
            w->CloseRequest();
        }
        QTest::qWait(20);
        QCOMPARE(w.isNull(), destroyed);
        if (!destroyed) {
            QCOMPARE(w->closeAsked, 1);
            QVERIFY(w->isVisible());
        }
    }

    void modalLoadBlocksOtherWindowsUntilDestroyed()
    {
        QVERIFY(LoadWindow<ProbeWindow>());
        QVERIFY(LoadWindow<OtherWindow>());
        auto* probe = AliveWindow<ProbeWindow>();
        auto* other = AliveWindow<OtherWindow>();
        other->setEnabled(false); // its own state must come back as it was

        bool probeEnabledInside = true, modalAliveInside = false;
        int clicksInside = -1;
        bool destroyedBeforeReturn = false;
        QTimer::singleShot(0, [&] {
            auto* modal = AliveWindow<ModalWindow>();
            modalAliveInside = modal && modal->isVisible();
            probeEnabledInside = probe->isEnabled();
            QTest::mouseClick(probe->button, Qt::LeftButton);
            clicksInside = probe->clicks;
            connect(modal, &QObject::destroyed, [&] { destroyedBeforeReturn = true; });
            modal->CloseRequest();
        });
        QVERIFY(LoadWindow<ModalWindow>(probe, true));
        QVERIFY(modalAliveInside);
        QVERIFY(!probeEnabledInside);
        QCOMPARE(clicksInside, 0);
        QVERIFY(destroyedBeforeReturn);
        QVERIFY(!AliveWindow<ModalWindow>());
        QVERIFY(probe->isEnabled());
        QVERIFY(!other->isEnabled());
        QTest::mouseClick(probe->button, Qt::LeftButton);
        QCOMPARE(probe->clicks, 1);
    }

    void lastWindowDestroyedEndsTheLoopWithZero()
    {
        QTimer::singleShot(0, [] { AliveWindow<ProbeWindow>()->CloseRequest(); });
        QCOMPARE(RunProgram<ProbeWindow>(), 0);
        QVERIFY(!AliveWindow<ProbeWindow>());
    }

    void keyHandlerSeesKeysBeforeTheControl_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("state");
        QTest::newRow("none") << int(Qt::NoModifier) << 0;
        QTest::newRow("shift") << int(Qt::ShiftModifier) << kModShift;
        QTest::newRow("ctrl") << int(Qt::ControlModifier) << kModCtrl;
        QTest::newRow("alt") << int(Qt::AltModifier) << kModAlt;
        QTest::newRow("ctrl+shift+alt")
            << int(Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier)
            << kModCtrl + kModShift + kModAlt;
    }
    void keyHandlerSeesKeysBeforeTheControl()
    {
        QFETCH(int, modifiers);
        QFETCH(int, state);
        QVERIFY(LoadWindow<ProbeWindow>());
        auto* w = AliveWindow<ProbeWindow>();
        QList<QPair<int, int>> seen;
        SetKeyHandler(w->first, [&](int key, int mods) {
            seen << qMakePair(key, mods);
            return key == kKeySpace ? KeyVerdict::Swallow : KeyVerdict::LetThrough;
        });
        Activate(w);
        w->first->setFocus();
        w->first->setText(QStringLiteral("ab"));
        QTest::keyClick(w->first, Qt::Key_Space, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(w->first->text(), QStringLiteral("ab"));
        // Modifier keys going down raise the event too; the space comes with the state.
        QCOMPARE(seen.last(), qMakePair(kKeySpace, state));
        QCOMPARE(
            std::count_if(seen.begin(), seen.end(), [](auto p) { return p.first == kKeySpace; }),
            1);

        // A box without the handler takes the space.
        w->second->setFocus();
        QTest::keyClick(w->second, Qt::Key_Space);
        QCOMPARE(w->second->text(), QStringLiteral(" "));
    }

    void enterRunsTheHandlerOnceAndStillReachesTheControl()
    {
        QVERIFY(LoadWindow<ProbeWindow>());
        auto* w = AliveWindow<ProbeWindow>();
        int enters = 0, returnPressed = 0;
        SetKeyHandler(w->first, [&](int key, int) {
            enters += key == kKeyEnter;
            return KeyVerdict::LetThrough;
        });
        connect(w->first, &QLineEdit::returnPressed, [&] { ++returnPressed; });
        Activate(w);
        w->first->setFocus();
        QTest::keyClick(w->first, Qt::Key_Return);
        QTest::keyClick(w->first, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(enters, 2);
        QCOMPARE(returnPressed, 2);
        QCOMPARE(QApplication::focusWidget(), w->first); // Enter does not move the focus
    }

    void tabMovesTheFocusWithoutRaisingTheHandler()
    {
        QVERIFY(LoadWindow<ProbeWindow>());
        auto* w = AliveWindow<ProbeWindow>();
        int calls = 0;
        SetKeyHandler(w->first, [&](int, int) {
            ++calls;
            return KeyVerdict::Swallow;
        });
        QWidget::setTabOrder(w->first, w->second);
        Activate(w);
        w->first->setFocus();
        QTest::keyClick(w->first, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w->second);
        QTest::keyClick(w->second, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), w->first);
        QCOMPARE(calls, 0);
    }

    void escapeSwallowedByAHandlerStillCloses()
    {
        // Esc is the window's before any handler sees it.
        QVERIFY(LoadWindow<ProbeWindow>());
        QPointer<ProbeWindow> w = AliveWindow<ProbeWindow>();
        int calls = 0;
        SetKeyHandler(w->first, [&](int, int) {
            ++calls;
            return KeyVerdict::Swallow;
        });
        Activate(w);
        w->first->setFocus();
        QTest::keyClick(w->first, Qt::Key_Escape);
        QTRY_VERIFY(w.isNull());
        QCOMPARE(calls, 0);
    }

    void showMessage_data()
    {
        QTest::addColumn<int>("buttonSet");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("result");
        QTest::newRow("OK alone, Enter") << 0 << "enter" << 0;
        QTest::newRow("OK alone, click") << 0 << "ok" << 0;
        QTest::newRow("OK+Cancel, Enter") << 1 << "enter" << 0;
        QTest::newRow("OK+Cancel, click OK") << 1 << "ok" << 0;
        QTest::newRow("OK+Cancel, click Cancel") << 1 << "cancel" << 1;
        QTest::newRow("OK+Cancel, Esc") << 1 << "esc" << 1;
        QTest::newRow("OK+Cancel, close box") << 1 << "close" << 1;
    }
    void showMessage()
    {
        QFETCH(int, buttonSet);
        QFETCH(QString, answer);
        QFETCH(int, result);
        BoxSeen seen;
        AnswerNextBox(&seen, [answer](QMessageBox* box) {
            if (answer == "enter")
                QTest::keyClick(box, Qt::Key_Return);
            else if (answer == "esc")
                QTest::keyClick(box, Qt::Key_Escape);
            else if (answer == "close")
                box->close();
            else
                ButtonWithText(box, answer == "ok" ? "确定" : "取消")->click();
        });
        QCOMPARE(ShowMessage(QStringLiteral("你确定删除？"), buttonSet), result);
        QCOMPARE(seen.caption, QStringLiteral("信息："));
        QCOMPARE(seen.text, QStringLiteral("你确定删除？"));
        QCOMPARE(seen.icon, QMessageBox::NoIcon);
        QCOMPARE(seen.buttons.size(), buttonSet + 1);
    }

    void messageBoxBlocksEveryWindow()
    {
        QVERIFY(LoadWindow<ProbeWindow>());
        auto* w = AliveWindow<ProbeWindow>();
        BoxSeen seen;
        int clicksWhileShown = -1;
        AnswerNextBox(&seen, [&](QMessageBox* box) {
            // A click as the window system delivers it, so modality applies.
            QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {},
                              w->button->geometry().center());
            clicksWhileShown = w->clicks;
            QTest::keyClick(box, Qt::Key_Return);
        });
        ShowMessage(QStringLiteral("x"));
        QCOMPARE(clicksWhileShown, 0);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void errorBoxText_data()
    {
        QTest::addColumn<int>("code"); // -1: none
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("text");
        QTest::newRow("code and message")
            << 5 << QStringLiteral("数据或数组类型不匹配")
            << QStringLiteral(
                   "运行时出错!\r\n\r\n错误代码：5\r\n\r\n错误信息：数据或数组类型不匹配\r\n");
        QTest::newRow("message only")
            << -1 << QStringLiteral("载入启动窗口失败")
            << QStringLiteral("运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n");
        QTest::newRow("code only")
            << 6 << QString() << QStringLiteral("运行时出错!\r\n\r\n错误代码：6\r\n\r\n");
    }
    void errorBoxText()
    {
        QFETCH(int, code);
        QFETCH(QString, message);
        QFETCH(QString, text);
        QCOMPARE(ErrorBoxText(code < 0 ? std::nullopt : std::optional<int>(code), message), text);
    }

    // The error box, closed by the user, ends the process with -1 (255 to the shell).
    void errorBoxEndsTheProcess()
    {
        if (kvtest::ChildScenario() == "errorbox") {
            BoxSeen* seen = new BoxSeen;
            AnswerNextBox(seen, [seen](QMessageBox* box) {
                std::printf("CAPTION=%s\nICON=%d\nTEXT=%s\n", qPrintable(seen->caption),
                            int(seen->icon), qPrintable(QString(seen->text).replace("\r\n", "|")));
                std::fflush(stdout);
                QTest::keyClick(box, Qt::Key_Escape);
            });
            ErrorBox(5, QStringLiteral("数据或数组类型不匹配"));
        }
        const kvtest::ChildOutcome child =
            kvtest::RunChild(QStringLiteral("errorBoxEndsTheProcess"), QStringLiteral("errorbox"));
        QVERIFY2(!child.crashed, qPrintable(child.output));
        QCOMPARE(child.exitCode, 255);
        QVERIFY2(child.output.contains(QStringLiteral("CAPTION=错误")), qPrintable(child.output));
        QVERIFY(child.output.contains(QStringLiteral("ICON=%1").arg(int(QMessageBox::Critical))));
        QVERIFY(child.output.contains(
            QStringLiteral("TEXT=运行时出错!||错误代码：5||错误信息：数据或数组类型不匹配|")));
    }

    void startWindowThatCannotBeCreatedEndsWithErrorBox()
    {
        if (kvtest::ChildScenario() == "startfail") {
            BoxSeen* seen = new BoxSeen;
            AnswerNextBox(seen, [seen](QMessageBox* box) {
                std::printf("TEXT=%s\n", qPrintable(QString(seen->text).replace("\r\n", "|")));
                std::fflush(stdout);
                QTest::keyClick(box, Qt::Key_Return);
            });
            RunProgram("Nothing", [] { return static_cast<Window*>(nullptr); });
            std::puts("RETURNED");
            return;
        }
        const kvtest::ChildOutcome child = kvtest::RunChild(
            QStringLiteral("startWindowThatCannotBeCreatedEndsWithErrorBox"), "startfail");
        QCOMPARE(child.exitCode, 255);
        QVERIFY2(
            child.output.contains(QStringLiteral("TEXT=运行时出错!||错误信息：载入启动窗口失败|")),
            qPrintable(child.output));
        QVERIFY(!child.output.contains("RETURNED"));
    }

    void exitProgramEndsAtOnceAfterTheHooks()
    {
        if (kvtest::ChildScenario() == "exit") {
            AddExitHook([] { std::puts("HOOK"); });
            QVERIFY(LoadWindow<ExitingWindow>());
            AliveWindow<ExitingWindow>()->CloseRequest();
            std::puts("RETURNED");
            return;
        }
        const kvtest::ChildOutcome child =
            kvtest::RunChild(QStringLiteral("exitProgramEndsAtOnceAfterTheHooks"), "exit");
        QCOMPARE(child.exitCode, 0);
        QVERIFY2(child.output.contains("HOOK"), qPrintable(child.output));
        QVERIFY(!child.output.contains("AFTER"));
        QVERIFY(!child.output.contains("RETURNED"));
    }
};

QTEST_MAIN(TstToolkit)
#include "tst_toolkit.moc"
