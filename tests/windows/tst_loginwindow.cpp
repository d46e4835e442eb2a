// LoginWindow driven through its real widgets against a real store in a temporary run
// directory: layout, banner, every refusal of a login, the last-user file, keys, the
// windows it opens, and a login that succeeds.

#include "WindowTestSupport.h"
#include "support/ChildProcess.h"

#include "app/Controls.h"
#include "app/ListView.h"
#include "app/Toolkit.h"
#include "skin/SkinLibrary.h"
#include "windows/Banner.h"
#include "windows/LastUserFile.h"
#include "windows/LoginWindow.h"
#include "windows/MainWindow.h"
#include "windows/NewUserWindow.h"
#include "windows/UserAdminWindow.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>

using namespace kv;
using kvtest::MessageBoxes;

class TestLoginWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void labelsBoxesAndLink();
    void tabOrderCyclesThroughFourControls();
    void creationAppliesTheSkin();
    void bannerIsCarriedAndDrawnByTheRule();
    void pictureBoxRule_data();
    void pictureBoxRule();
    void damagedPictureGivesNoPicture_data();
    void damagedPictureGivesNoPicture();
    void lastUserFileFillsTheNameBox_data();
    void lastUserFileFillsTheNameBox();
    void refusals_data();
    void refusals();
    void enterRunsOneAttempt_data();
    void enterRunsOneAttempt();
    void spaceNeverTypedIntoUserName();
    void typedTextStopsAtSixteen();
    void successfulLoginShowsMainWindow();
    void quotesAndBracketsInNameAndPassword();
    void rightPasswordStillWorksAfterManyFailures();
    void newUserButtonOpensModalWindow();
    void manageLinkOpensUserAdministration();
    void escEndsTheProgram();

private:
    LoginWindow* Start();
    void Attempt(LoginWindow* window, const QString& name, const QString& password);

    std::unique_ptr<kvtest::RunDirectory> run_;
};

void TestLoginWindow::init()
{
    run_ = std::make_unique<kvtest::RunDirectory>();
    QVERIFY(run_->IsValid());
    QVERIFY(run_->AddUser(QStringLiteral("alice"), QStringLiteral("pw1")));
    QVERIFY(run_->AddUser(QStringLiteral("ghost"), QString()));
    QVERIFY(run_->AddRecord(QStringLiteral("alice"), 1, QStringLiteral("mail"),
                            QStringLiteral("m-pass"), QStringLiteral("工作")));
}

void TestLoginWindow::cleanup()
{
    delete AliveWindow<MainWindow>();
    delete AliveWindow<LoginWindow>();
    QTRY_VERIFY(!AliveWindow<LoginWindow>());
    run_.reset();
}

// Loads the window as the program does at start, and makes it active.
LoginWindow* TestLoginWindow::Start()
{
    if (!LoadWindow<LoginWindow>())
        return nullptr;
    LoginWindow* window = AliveWindow<LoginWindow>();
    if (window && !kvtest::Activate(window))
        return nullptr;
    return window;
}

// Types a name and a password and clicks "登陆".
void TestLoginWindow::Attempt(LoginWindow* window, const QString& name, const QString& password)
{
    window->用户名_编辑框->clear();
    window->口令_编辑框->clear();
    kvtest::Type(window->用户名_编辑框, name);
    kvtest::Type(window->口令_编辑框, password);
    QTest::mouseClick(window->登陆_按钮, Qt::LeftButton);
}

void TestLoginWindow::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    const QString window = QStringLiteral("window");
    const QString group = QStringLiteral("分组框1");
    QTest::newRow("group") << group << window << QRect(-3, -7, 350, 192) << QString();
    QTest::newRow("picture") << "图片框1" << group << QRect(-153, 6, 636, 97) << QString();
    QTest::newRow("name label") << "用户名_透明标签" << group << QRect(8, 112, 64, 32)
                                << QStringLiteral("用户名：");
    QTest::newRow("password label")
        << "口令_透明标签" << group << QRect(9, 154, 64, 28) << QStringLiteral("口  令：");
    QTest::newRow("name box") << "用户名_编辑框" << group << QRect(83, 115, 140, 26) << QString();
    QTest::newRow("password box") << "口令_编辑框" << group << QRect(83, 153, 140, 26) << QString();
    QTest::newRow("login") << "登陆_按钮" << group << QRect(255, 109, 64, 29)
                           << QStringLiteral("登陆");
    QTest::newRow("new user") << "按钮1" << group << QRect(256, 151, 64, 29)
                              << QStringLiteral("新建");
}

void TestLoginWindow::layout()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    LoginWindow* window = Start();
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("Keyvora-keyvora.example.org"));
    QCOMPARE(window->size(), ClientSizeForOuter(QSize(332, 211)));
    QVERIFY(
        !(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

    auto* control = window->findChild<QWidget*>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(control->parentWidget() == window ? QStringLiteral("window")
                                               : control->parentWidget()->objectName(),
             parent);
    QCOMPARE(control->geometry(), geometry);
    QVERIFY(control->isVisible());
    if (auto* label = qobject_cast<QLabel*>(control))
        QCOMPARE(label->text(), text);
    else if (auto* button = qobject_cast<QPushButton*>(control)) {
        QCOMPARE(button->text(), text);
        QVERIFY(!button->isDefault() && !button->autoDefault());
    } else if (auto* box = qobject_cast<QLineEdit*>(control))
        QCOMPARE(box->text(), QString());
    else if (auto* groupBox = qobject_cast<QGroupBox*>(control))
        QCOMPARE(groupBox->title(), QString());

    // The connection is a control without appearance, open once the window was created.
    auto* connection = window->findChild<StoreConnection*>(QStringLiteral("登陆_外部数据库"));
    QVERIFY(connection);
    QVERIFY(connection->IsOpen());
}

void TestLoginWindow::labelsBoxesAndLink()
{
    LoginWindow* window = Start();
    QVERIFY(window);
    // White window and group box; Kai labels in RGB(0,96,192); grey boxes, black text.
    window->ensurePolished();
    QCOMPARE(window->palette().color(window->backgroundRole()), QColor(255, 255, 255));
    window->分组框1->ensurePolished();
    QCOMPARE(window->分组框1->palette().color(window->分组框1->backgroundRole()),
             QColor(255, 255, 255));
    for (QLabel* label : {window->用户名_透明标签, window->口令_透明标签}) {
        label->ensurePolished();
        QVERIFY2(QFontInfo(label->font()).family().contains(QStringLiteral("UKai")) ||
                     QFontInfo(label->font()).family().contains(QStringLiteral("楷")),
                 qPrintable(QFontInfo(label->font()).family()));
        QCOMPARE(label->font().pixelSize(), 16);
        QCOMPARE(label->font().weight(), QFont::Normal);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 96, 192));
        QCOMPARE(label->alignment(), Qt::AlignCenter);
    }
    for (QLineEdit* box : {window->用户名_编辑框, window->口令_编辑框}) {
        box->ensurePolished();
        QCOMPARE(box->palette().color(QPalette::Base), QColor(236, 236, 236));
        QCOMPARE(box->palette().color(QPalette::Text), QColor(Qt::black));
    }
    QCOMPARE(window->用户名_编辑框->echoMode(), QLineEdit::Normal);
    QCOMPARE(window->口令_编辑框->echoMode(), QLineEdit::Password);

    // The manage link lies wholly inside the client area, on top, and is no tab stop.
    LinkLabel* link = window->删除用户_超级链接框1;
    QCOMPARE(link->objectName(), QStringLiteral("删除用户_超级链接框1"));
    QCOMPARE(link->text(), QStringLiteral("管理用户"));
    QCOMPARE(link->size(), QSize(88, 24));
    QCOMPARE(link->parentWidget(), window);
    QVERIFY(window->rect().contains(link->geometry()));
    QVERIFY(link->isVisible());
    QCOMPARE(link->focusPolicy(), Qt::NoFocus);
    QCOMPARE(window->childAt(link->geometry().center()), link);
    // It covers none of the controls a person types into or clicks.
    for (QWidget* control :
         {static_cast<QWidget*>(window->用户名_编辑框), static_cast<QWidget*>(window->口令_编辑框),
          static_cast<QWidget*>(window->登陆_按钮), static_cast<QWidget*>(window->按钮1)}) {
        const QRect placed(control->mapTo(window, QPoint(0, 0)), control->size());
        QVERIFY(!placed.intersects(link->geometry()));
    }
}

void TestLoginWindow::tabOrderCyclesThroughFourControls()
{
    LoginWindow* window = Start();
    QVERIFY(window);
    QTRY_COMPARE(QApplication::focusWidget(), window->用户名_编辑框);
    const QList<QWidget*> order = {window->口令_编辑框, window->登陆_按钮, window->按钮1,
                                   window->用户名_编辑框};
    for (QWidget* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), window->按钮1);
}

void TestLoginWindow::creationAppliesTheSkin()
{
    QVERIFY(!QFileInfo::exists(SkinLibraryPath()));
    QVERIFY(Start());
    // The skin library was written into the run directory and bound.
    QVERIFY(QFileInfo(SkinLibraryPath()).isFile());
    QVERIFY(SkinFunctionLookups() >= 1);
}

void TestLoginWindow::bannerIsCarriedAndDrawnByTheRule()
{
    const QImage banner = DecodeJpeg(BannerBytes());
    QCOMPARE(banner.size(), QSize(632, 186));
    // Scaled by the smaller ratio (97 / 186) and centred: it starts at the left edge of
    // the client area, under the group box's and picture box's offsets.
    const QRect placed = PicturePlacement(QSize(636, 97), banner.size());
    QCOMPARE(placed.height(), 97);
    QVERIFY(qAbs(placed.width() - 330) <= 1);
    QCOMPARE(placed.left(), (636 - placed.width()) / 2);

    LoginWindow* window = Start();
    QVERIFY(window);
    QCOMPARE(window->图片框1->Picture().size(), QSize(632, 186));
    // The banner is really painted: its left part is not the white of the window.
    const QImage shot = window->grab().toImage();
    const QColor banner_pixel = shot.pixelColor(40, 48);
    QVERIFY2(banner_pixel != QColor(Qt::white), qPrintable(banner_pixel.name()));
    for (const QPoint at : {QPoint(10, window->height() - 3), QPoint(240, 140), QPoint(2, 100)})
        QCOMPARE(shot.pixelColor(at), QColor(Qt::white));
}

void TestLoginWindow::pictureBoxRule_data()
{
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QRect>("placed");
    QTest::newRow("smaller is centred, not enlarged")
        << QSize(100, 80) << QSize(40, 20) << QRect(30, 30, 40, 20);
    QTest::newRow("too wide: width ratio")
        << QSize(100, 100) << QSize(200, 50) << QRect(0, 37, 100, 25);
    QTest::newRow("too tall: height ratio")
        << QSize(100, 100) << QSize(50, 400) << QRect(43, 0, 13, 100);
    QTest::newRow("wider only, taller ratio smaller")
        << QSize(100, 50) << QSize(150, 40) << QRect(0, 11, 100, 27);
    QTest::newRow("same size") << QSize(60, 30) << QSize(60, 30) << QRect(0, 0, 60, 30);
}

void TestLoginWindow::pictureBoxRule()
{
    QFETCH(QSize, box);
    QFETCH(QSize, picture);
    QFETCH(QRect, placed);
    QCOMPARE(PicturePlacement(box, picture), placed);
}

void TestLoginWindow::damagedPictureGivesNoPicture_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray banner = BannerBytes();
    QTest::newRow("not a picture") << QByteArray("this is not a JPEG picture at all");
    QTest::newRow("header only") << banner.left(20);
    QByteArray broken = banner;
    for (int i = 2; i < 400; ++i)
        broken[i] = char(0xA5 ^ i);
    QTest::newRow("damaged header") << broken;
    QTest::newRow("empty") << QByteArray();
}

void TestLoginWindow::damagedPictureGivesNoPicture()
{
    QFETCH(QByteArray, bytes);
    // libjpeg's own error handler would end the process here.
    QVERIFY(DecodeJpeg(bytes).isNull());
    // A cut-off picture still decodes (libjpeg fills what is missing) and ends nothing.
    const QImage half = DecodeJpeg(BannerBytes().left(BannerBytes().size() / 2));
    QCOMPARE(half.size(), QSize(632, 186));
}

void TestLoginWindow::lastUserFileFillsTheNameBox_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("missing") << false << QByteArray() << QString();
    QTest::newRow("empty") << true << QByteArray() << QString();
    QTest::newRow("20 bytes, past the typing limit")
        << true << QByteArray("abcdefghijklmnopqrst") << QStringLiteral("abcdefghijklmnopqrst");
    QTest::newRow("stops at a zero byte")
        << true << QByteArray("ab\0cd", 5) << QStringLiteral("ab");
    QTest::newRow("Chinese, no line end")
        << true << QStringLiteral("张三").toUtf8() << QStringLiteral("张三");
    QTest::newRow("a line end is part of the name")
        << true << QByteArray("bob\n") << QStringLiteral("bob\n");
}

void TestLoginWindow::lastUserFileFillsTheNameBox()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    if (present)
        QVERIFY(kvtest::WriteFileBytes(run_->File(QStringLiteral("skin.ini")), bytes));
    LoginWindow* window = Start();
    QVERIFY(window);
    QCOMPARE(window->用户名_编辑框->text(), shown);
    QCOMPARE(window->口令_编辑框->text(), QString());
}

void TestLoginWindow::refusals_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("nameAfter");
    QTest::addColumn<bool>("focusOnName");
    QTest::addColumn<QByteArray>("lastUser");

    QTest::newRow("unknown user, whatever the password") << "nobody"
                                                         << "pw1"
                                                         << "此用户没有创建"
                                                         << "" << true << QByteArray();
    QTest::newRow("letter case differs from the stored name") << "ALICE"
                                                              << "pw1"
                                                              << "此用户没有创建"
                                                              << "" << true << QByteArray();
    QTest::newRow("quote in an unknown name") << "x'OR'1'='1"
                                              << "x"
                                              << "此用户没有创建"
                                              << "" << true << QByteArray();
    QTest::newRow("empty name") << ""
                                << "pw1"
                                << "请输入用户名"
                                << "" << true << QByteArray();
    QTest::newRow("wrong password") << "alice"
                                    << "pw2"
                                    << "您输入的口令错误！"
                                    << "alice" << false << QByteArray("alice");
    QTest::newRow("password case differs") << "alice"
                                           << "PW1"
                                           << "您输入的口令错误！"
                                           << "alice" << false << QByteArray("alice");
    QTest::newRow("empty password, stored one is not") << "alice"
                                                       << ""
                                                       << "您输入的口令错误！"
                                                       << "alice" << false << QByteArray("alice");
    QTest::newRow("empty password, stored one empty too")
        << "ghost"
        << ""
        << "请输入口令！"
        << "ghost" << false << QByteArray("ghost");
}

void TestLoginWindow::refusals()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, message);
    QFETCH(QString, nameAfter);
    QFETCH(bool, focusOnName);
    QFETCH(QByteArray, lastUser);

    QVERIFY(kvtest::WriteFileBytes(run_->File(QStringLiteral("skin.ini")), "previous"));
    LoginWindow* window = Start();
    QVERIFY(window);
    MessageBoxes boxes;
    // The message comes before the boxes are touched.
    QStringList boxesWhenShown;
    boxes.onShown = [&](QMessageBox*) {
        boxesWhenShown << window->用户名_编辑框->text() << window->口令_编辑框->text();
    };
    Attempt(window, name, password);

    QCOMPARE(boxes.texts, QStringList{message});
    QCOMPARE(boxes.captions, QStringList{QStringLiteral("信息：")});
    QCOMPARE(boxesWhenShown, (QStringList{name, password}));
    QCOMPARE(window->用户名_编辑框->text(), nameAfter);
    QCOMPARE(window->口令_编辑框->text(), QString());
    QVERIFY(kvtest::Activate(window));
    QCOMPARE(QApplication::focusWidget(),
             focusOnName ? window->用户名_编辑框 : window->口令_编辑框);
    QCOMPARE(kvtest::FileBytes(run_->File(QStringLiteral("skin.ini"))), lastUser);
    QVERIFY(window->isVisible());
    QVERIFY(!AliveWindow<MainWindow>());
}

void TestLoginWindow::enterRunsOneAttempt_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("attempts");
    QTest::newRow("name box") << "用户名_编辑框" << 1;
    QTest::newRow("password box") << "口令_编辑框" << 1;
    QTest::newRow("login button") << "登陆_按钮" << 1;
    QTest::newRow("new-user button") << "按钮1" << 0;
}

void TestLoginWindow::enterRunsOneAttempt()
{
    QFETCH(QString, control);
    QFETCH(int, attempts);
    LoginWindow* window = Start();
    QVERIFY(window);
    window->用户名_编辑框->setText(QStringLiteral("alice"));
    window->口令_编辑框->setText(QStringLiteral("wrong"));
    auto* target = window->findChild<QWidget*>(control);
    target->setFocus();
    QCOMPARE(QApplication::focusWidget(), target);
    MessageBoxes boxes;
    QTest::keyClick(target, Qt::Key_Return);
    QTest::qWait(50);
    QCOMPARE(boxes.texts.size(), attempts);
    if (attempts)
        QCOMPARE(boxes.texts.first(), QStringLiteral("您输入的口令错误！"));
    // The keypad's Enter key is the same key.
    QVERIFY(kvtest::Activate(window));
    window->口令_编辑框->setText(QStringLiteral("wrong"));
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::qWait(50);
    QCOMPARE(boxes.texts.size(), 2 * attempts);
    QVERIFY(!AliveWindow<NewUserWindow>());
}

void TestLoginWindow::spaceNeverTypedIntoUserName()
{
    LoginWindow* window = Start();
    QVERIFY(window);
    QLineEdit* name = window->用户名_编辑框;
    name->clear();
    kvtest::Type(name, QStringLiteral("a"));
    QTest::keyClick(name, Qt::Key_Space);
    QTest::keyClick(name, Qt::Key_Space, Qt::ShiftModifier);
    QTest::keyClick(name, Qt::Key_Space, Qt::ControlModifier);
    kvtest::Type(name, QStringLiteral("b"));
    QCOMPARE(name->text(), QStringLiteral("ab"));

    // Pasted blanks stay.
    name->clear();
    QApplication::clipboard()->setText(QStringLiteral("x y"));
    QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(name->text(), QStringLiteral("x y"));

    // The password box takes a space.
    QTest::keyClick(window->口令_编辑框, Qt::Key_Space);
    QCOMPARE(window->口令_编辑框->text(), QStringLiteral(" "));
}

void TestLoginWindow::typedTextStopsAtSixteen()
{
    LoginWindow* window = Start();
    QVERIFY(window);
    for (QLineEdit* box : {window->用户名_编辑框, window->口令_编辑框}) {
        box->clear();
        kvtest::Type(box, QStringLiteral("一二三四五六七八九十abcdefghij"));
        QCOMPARE(box->text(), QStringLiteral("一二三四五六七八九十abcdef"));
        // Text the program puts in is not cut.
        box->setText(QStringLiteral("abcdefghijklmnopqrst"));
        QCOMPARE(box->text().size(), 20);
    }
}

void TestLoginWindow::successfulLoginShowsMainWindow()
{
    QVERIFY(kvtest::WriteFileBytes(run_->File(QStringLiteral("skin.ini")), "someone else"));
    LoginWindow* window = Start();
    QVERIFY(window);
    MessageBoxes boxes;
    Attempt(window, QStringLiteral("alice"), QStringLiteral("pw1"));

    QVERIFY(boxes.texts.isEmpty());
    auto* main = AliveWindow<MainWindow>();
    QVERIFY(main);
    QVERIFY(main->isVisible());
    QVERIFY(!window->isVisible());
    QVERIFY(!window->登陆_外部数据库->IsOpen());
    // The boxes keep their texts: the main window reads the name from here.
    QCOMPARE(window->用户名_编辑框->text(), QStringLiteral("alice"));
    QCOMPARE(window->口令_编辑框->text(), QStringLiteral("pw1"));
    QCOMPARE(main->主界面_超级列表框->RowCount(), 1);
    QCOMPARE(main->主界面_超级列表框->CellText(0, 2), QStringLiteral("m-pass"));
    // Exactly the name, without a line end.
    QCOMPARE(kvtest::FileBytes(run_->File(QStringLiteral("skin.ini"))), QByteArray("alice"));
}

void TestLoginWindow::quotesAndBracketsInNameAndPassword()
{
    QVERIFY(run_->AddUser(QStringLiteral("o'neil"), QStringLiteral("it's]x[")));
    LoginWindow* window = Start();
    QVERIFY(window);
    {
        MessageBoxes boxes;
        Attempt(window, QStringLiteral("o'neil"), QStringLiteral("it's]x"));
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("您输入的口令错误！")});
    }
    MessageBoxes boxes;
    Attempt(window, QStringLiteral("o'neil"), QStringLiteral("it's]x["));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join(u',')));
    QVERIFY(AliveWindow<MainWindow>());
    QCOMPARE(kvtest::FileBytes(run_->File(QStringLiteral("skin.ini"))), QByteArray("o'neil"));
}

void TestLoginWindow::rightPasswordStillWorksAfterManyFailures()
{
    LoginWindow* window = Start();
    QVERIFY(window);
    {
        MessageBoxes boxes;
        for (int i = 0; i < 40; ++i) {
            window->用户名_编辑框->setText(QStringLiteral("alice"));
            window->口令_编辑框->setText(QStringLiteral("nope"));
            QTest::mouseClick(window->登陆_按钮, Qt::LeftButton);
        }
        QCOMPARE(boxes.texts.size(), 40);
        QCOMPARE(boxes.texts.count(QStringLiteral("您输入的口令错误！")), 40);
    }
    MessageBoxes boxes;
    window->口令_编辑框->setText(QStringLiteral("pw1"));
    QTest::mouseClick(window->登陆_按钮, Qt::LeftButton);
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join(u',')));
    QVERIFY(AliveWindow<MainWindow>());
}

void TestLoginWindow::newUserButtonOpensModalWindow()
{
    LoginWindow* window = Start();
    QVERIFY(window);
    window->用户名_编辑框->setText(QStringLiteral("kept"));
    bool seen = false, loginClosed = false, loginDisabled = false;
    QTimer::singleShot(50, [&] {
        auto* other = AliveWindow<NewUserWindow>();
        seen = other && other->isVisible();
        loginClosed = !window->登陆_外部数据库->IsOpen();
        loginDisabled = !window->isEnabled();
        if (other)
            other->CloseRequest();
    });
    QTest::mouseClick(window->按钮1, Qt::LeftButton);
    // The click returns only once the new-user window is gone.
    QVERIFY(seen);
    QVERIFY(loginClosed);
    QVERIFY(loginDisabled);
    QTRY_VERIFY(!AliveWindow<NewUserWindow>());
    QVERIFY(window->isEnabled());
    QCOMPARE(window->用户名_编辑框->text(), QStringLiteral("kept"));
}

void TestLoginWindow::manageLinkOpensUserAdministration()
{
    LoginWindow* window = Start();
    QVERIFY(window);
    LinkLabel* link = window->删除用户_超级链接框1;

    // Another button does nothing.
    QTest::mousePress(link, Qt::RightButton);
    QTest::mouseRelease(link, Qt::RightButton);
    QVERIFY(!AliveWindow<UserAdminWindow>());
    QVERIFY(window->登陆_外部数据库->IsOpen());

    bool seen = false, loginClosed = false, loginDisabled = false;
    QTimer::singleShot(50, [&] {
        auto* other = AliveWindow<UserAdminWindow>();
        seen = other && other->isVisible();
        loginClosed = !window->登陆_外部数据库->IsOpen();
        loginDisabled = !window->isEnabled();
        if (other)
            other->CloseRequest();
    });
    // The press alone opens it, as the link is clicked with the left button.
    QTest::mousePress(link, Qt::LeftButton);
    QVERIFY(seen);
    QVERIFY(loginClosed);
    QVERIFY(loginDisabled);
    QTest::mouseRelease(link, Qt::LeftButton);
    QTRY_VERIFY(!AliveWindow<UserAdminWindow>());
    QVERIFY(window->isEnabled());
}

void TestLoginWindow::escEndsTheProgram()
{
    if (kvtest::ChildScenario() == QLatin1String("esc")) {
        kvtest::RunDirectory run;
        QTimer::singleShot(100, [] {
            LoginWindow* window = AliveWindow<LoginWindow>();
            if (!window || !kvtest::Activate(window)) {
                std::puts("NO WINDOW");
                std::exit(3);
            }
            QTest::keyClick(window->用户名_编辑框, Qt::Key_Escape);
        });
        const int code = RunProgram<LoginWindow>();
        std::printf("LOOP ENDED\n");
        std::fflush(stdout);
        std::exit(code);
    }
    const kvtest::ChildOutcome child =
        kvtest::RunChild(QStringLiteral("escEndsTheProgram"), QStringLiteral("esc"));
    QVERIFY2(!child.crashed, qPrintable(child.output));
    QCOMPARE(child.exitCode, 0);
    QVERIFY2(child.output.contains(QStringLiteral("LOOP ENDED")), qPrintable(child.output));
}

QTEST_MAIN(TestLoginWindow)
#include "tst_loginwindow.moc"
