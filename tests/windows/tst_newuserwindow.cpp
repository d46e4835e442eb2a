// NewUserWindow driven through its real widgets against a real store in a temporary
// directory: layout, keys, every refusal, creating users and every way out.

#include "WindowTestSupport.h"

#include "app/Toolkit.h"
#include "store/Provision.h"
#include "store/Statements.h"
#include "store/StoreConnection.h"
#include "windows/LoginWindow.h"
#include "windows/NewUserWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

using namespace kv;
using kvtest::MessageBoxes;

namespace {

struct StoredUser
{
    QString password1, password2;
    qint64 records = -2; // -2: no such user, -1: no record table
};

} // namespace

class TestNewUserWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layout();
    void tabOrderCyclesThroughTheFiveControls();
    void refusals_data();
    void refusals();
    void createsUserWithEmptyRecordTable_data();
    void createsUserWithEmptyRecordTable();
    void spaceNeverTypedIntoUserName();
    void enterRunsCreateOnceAndLeavesFromExit_data();
    void enterRunsCreateOnceAndLeavesFromExit();
    void everyWayOutHandsBackTheConnection_data();
    void everyWayOutHandsBackTheConnection();
    void modalOverLoginWindow();
    void takenNameRefusedAfterManyPresses();
    void failedInsertStoresNothingAndKeepsInput();
    void unreachableStoreIsReportedAsFailure();

private:
    static NewUserWindow* Open() { return kvtest::OpenWindow<NewUserWindow>(); }
    StoredUser Stored(const QString& name);
    int UserCount();

    std::unique_ptr<kvtest::RunDirectory> run_;
    QPointer<LoginWindow> login_;
};

void TestNewUserWindow::init()
{
    run_ = std::make_unique<kvtest::RunDirectory>();
    QVERIFY(run_->IsValid());
    // The login window stands behind the new-user window; its connection is closed while
    // the new-user window is open, as the login window's "新建" handler leaves it.
    login_ = kvtest::LoginWindowBehind();
    login_->用户名_编辑框->setText(QStringLiteral("earlier"));
}

void TestNewUserWindow::cleanup()
{
    if (auto* window = AliveWindow<NewUserWindow>())
        delete window;
    delete login_.data();
    QTRY_VERIFY(!AliveWindow<NewUserWindow>());
    run_.reset();
}

StoredUser TestNewUserWindow::Stored(const QString& name)
{
    StoredUser user;
    StoreConnection connection;
    if (!connection.Open(run_->StoreFile(), kvtest::StorePassword()))
        return user;
    const ScopedResult row(connection, connection.Query(statements::UserLookup(name)));
    if (connection.AtEnd(row) || connection.ReadText(row, QStringLiteral("username")) != name)
        return user;
    user.password1 = connection.ReadText(row, QStringLiteral("password1"));
    user.password2 = connection.ReadText(row, QStringLiteral("password2"));
    user.records = -1;
    connection.Close();
    for (const auto& reported : CheckStore(run_->StoreFile(), kvtest::StorePassword()).users)
        if (reported.name == name)
            user.records = reported.records;
    return user;
}

int TestNewUserWindow::UserCount()
{
    return int(CheckStore(run_->StoreFile(), kvtest::StorePassword()).users.size());
}

void TestNewUserWindow::layout()
{
    NewUserWindow* window = Open();
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("新建用户"));
    QCOMPARE(window->size(), ClientSizeForOuter(QSize(245, 227)));
    QCOMPARE(window->minimumSize(), window->maximumSize());

    const struct
    {
        const char* name;
        QRect place;
        QString text;
    } labels[] = {
        {"新建用户名_透明标签", {11, 21, 64, 32}, QStringLiteral("用户名：")},
        {"新建密码_透明标签", {12, 73, 64, 32}, QStringLiteral("口  令：")},
        {"新建密码_透明标签1", {5, 123, 76, 32}, QStringLiteral("重复口令：")},
    };
    for (const auto& expected : labels) {
        auto* label = window->findChild<QLabel*>(QString::fromUtf8(expected.name));
        QVERIFY2(label, expected.name);
        QCOMPARE(label->geometry(), expected.place);
        QCOMPARE(label->text(), expected.text);
        QCOMPARE(label->alignment(), Qt::AlignCenter);
        QCOMPARE(label->font().pixelSize(), 16);
        QVERIFY(label->font().families().contains(QStringLiteral("楷体")));
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 136, 255));
    }

    const struct
    {
        const char* name;
        int y;
        bool masked;
    } boxes[] = {{"新建用户名_编辑框", 19, false},
                 {"新建密码_编辑框", 75, true},
                 {"新建密码_编辑框1", 125, true}};
    for (const auto& expected : boxes) {
        auto* box = window->findChild<QLineEdit*>(QString::fromUtf8(expected.name));
        QVERIFY2(box, expected.name);
        QCOMPARE(box->geometry(), QRect(79, expected.y, 153, 26));
        QCOMPARE(box->echoMode() == QLineEdit::Password, expected.masked);
        QVERIFY(box->text().isEmpty());
        // Typing stops at 16 characters.
        QTest::keyClicks(box, QStringLiteral("abcdefghijklmnopqrst"));
        QCOMPARE(box->text(), QStringLiteral("abcdefghijklmnop"));
    }

    const struct
    {
        const char* name;
        QRect place;
        QString text;
    } buttons[] = {{"新建_按钮", {25, 164, 70, 29}, QStringLiteral("新建")},
                   {"新建退出_按钮", {145, 164, 70, 29}, QStringLiteral("退出")}};
    for (const auto& expected : buttons) {
        auto* button = window->findChild<QPushButton*>(QString::fromUtf8(expected.name));
        QVERIFY2(button, expected.name);
        QCOMPARE(button->geometry(), expected.place);
        QCOMPARE(button->text(), expected.text);
        QVERIFY(!button->isDefault() && !button->autoDefault());
    }

    auto* connection = window->findChild<StoreConnection*>(QStringLiteral("新建_外部数据库"));
    QVERIFY(connection);
    QVERIFY(connection->IsOpen());
}

void TestNewUserWindow::tabOrderCyclesThroughTheFiveControls()
{
    NewUserWindow* window = Open();
    QVERIFY(window);
    QCOMPARE(QApplication::focusWidget(), window->新建用户名_编辑框);
    const QList<QWidget*> order = {window->新建用户名_编辑框, window->新建密码_编辑框,
                                   window->新建密码_编辑框1, window->新建_按钮,
                                   window->新建退出_按钮};
    for (int step = 1; step <= order.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), order.at(step % order.size()));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), order.last());
}

void TestNewUserWindow::refusals_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("repeated");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("boxesAfter"); // name, password, repeat
    QTest::addColumn<int>("focused");            // 0 name, 1 password box

    const QString unusable = QStringLiteral("用户名不能包含引号、方括号或控制字符，"
                                            "也不能以 sqlite_ 开头，请重新输入");
    const QString taken = QStringLiteral("用户名重复，请重新输入");
    const QString differ = QStringLiteral("您二次口令不一致，请重新输入");

    QTest::newRow("all empty") << ""
                               << ""
                               << "" << QStringLiteral("请输入用户名") << QStringList{"", "", ""}
                               << 0;
    QTest::newRow("empty name before differing passwords")
        << ""
        << "x"
        << "y" << QStringLiteral("请输入用户名") << QStringList{"", "", ""} << 0;
    QTest::newRow("differing passwords") << "newname"
                                         << "x"
                                         << "y" << differ << QStringList{"newname", "", ""} << 1;
    QTest::newRow("differing passwords before a taken name")
        << "abc"
        << "x"
        << "y" << differ << QStringList{"abc", "", ""} << 1;
    QTest::newRow("taken name") << "abc"
                                << "x"
                                << "x" << taken << QStringList{"", "x", "x"} << 0;
    QTest::newRow("taken name in other letter case")
        << "ABC"
        << "x"
        << "x" << taken << QStringList{"", "x", "x"} << 0;
    QTest::newRow("the user table itself") << "MANAGEMENT"
                                           << "x"
                                           << "x" << taken << QStringList{"", "x", "x"} << 0;
    QTest::newRow("a table that is no login user")
        << "Orphan"
        << "x"
        << "x" << taken << QStringList{"", "x", "x"} << 0;
    QTest::newRow("single quote") << "a'b"
                                  << "x"
                                  << "x" << unusable << QStringList{"", "x", "x"} << 0;
    QTest::newRow("square bracket") << "a]b"
                                    << "x"
                                    << "x" << unusable << QStringList{"", "x", "x"} << 0;
    QTest::newRow("double quote") << "a\"b"
                                  << "x"
                                  << "x" << unusable << QStringList{"", "x", "x"} << 0;
    QTest::newRow("engine-reserved name") << "sqlite_x"
                                          << "x"
                                          << "x" << unusable << QStringList{"", "x", "x"} << 0;
    QTest::newRow("both passwords empty")
        << "newname"
        << ""
        << "" << QStringLiteral("请输入口令") << QStringList{"newname", "", ""} << 1;
}

void TestNewUserWindow::refusals()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, repeated);
    QFETCH(QString, message);
    QFETCH(QStringList, boxesAfter);
    QFETCH(int, focused);

    QVERIFY(run_->AddUser(QStringLiteral("abc"), QStringLiteral("secret")));
    QVERIFY(run_->Run({QStringLiteral("create table orphan (x INT)")}));
    NewUserWindow* window = Open();
    QVERIFY(window);

    window->新建用户名_编辑框->setText(name);
    kvtest::Type(window->新建密码_编辑框, password);
    kvtest::Type(window->新建密码_编辑框1, repeated);
    MessageBoxes boxes;
    QTest::mouseClick(window->新建_按钮, Qt::LeftButton);

    QCOMPARE(boxes.texts, QStringList{message});
    QCOMPARE(boxes.captions, QStringList{QStringLiteral("信息：")});
    QCOMPARE(QStringList({window->新建用户名_编辑框->text(), window->新建密码_编辑框->text(),
                          window->新建密码_编辑框1->text()}),
             boxesAfter);
    QCOMPARE(window->focusWidget(),
             focused == 0 ? window->新建用户名_编辑框 : window->新建密码_编辑框);
    QTest::qWait(20);
    QCOMPARE(AliveWindow<NewUserWindow>(), window);
    QCOMPARE(UserCount(), 1);
    QCOMPARE(Stored(QStringLiteral("abc")).password1, QStringLiteral("secret"));
}

void TestNewUserWindow::createsUserWithEmptyRecordTable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");

    QTest::newRow("plain") << "abc"
                           << "pw1";
    QTest::newRow("hyphen") << "a-b"
                            << "pw";
    QTest::newRow("reserved word") << "order"
                                   << "pw";
    QTest::newRow("Chinese") << "用户甲"
                             << "口令";
    QTest::newRow("quote in password") << "q"
                                       << "it's";
}

void TestNewUserWindow::createsUserWithEmptyRecordTable()
{
    QFETCH(QString, name);
    QFETCH(QString, password);

    QVERIFY(run_->AddUser(QStringLiteral("other"), QStringLiteral("o")));
    QVERIFY(run_->AddRecord(QStringLiteral("other"), 1, QStringLiteral("acc"), QStringLiteral("pw"),
                            QStringLiteral("kept")));
    NewUserWindow* window = Open();
    QVERIFY(window);
    QPointer<NewUserWindow> alive(window);

    kvtest::Type(window->新建用户名_编辑框, name);
    kvtest::Type(window->新建密码_编辑框, password);
    kvtest::Type(window->新建密码_编辑框1, password);
    MessageBoxes boxes;
    QTest::mouseClick(window->新建_按钮, Qt::LeftButton);

    QCOMPARE(boxes.texts, QStringList{QStringLiteral("成功创建用户")});
    QTRY_VERIFY(!alive);
    QVERIFY(!AliveWindow<NewUserWindow>());
    QVERIFY(login_->登陆_外部数据库->IsOpen());
    QCOMPARE(login_->用户名_编辑框->text(), QStringLiteral("earlier"));

    const StoredUser stored = Stored(name);
    QCOMPARE(stored.password1, password);
    QCOMPARE(stored.password2, password);
    QCOMPARE(stored.records, qint64(0));

    // The record table is the new user's own: writing to it leaves the other user's
    // records alone.
    QVERIFY(run_->AddRecord(name, 1, QStringLiteral("mine"), QStringLiteral("p")));
    QCOMPARE(Stored(name).records, qint64(1));
    QCOMPARE(Stored(QStringLiteral("other")).records, qint64(1));
}

void TestNewUserWindow::spaceNeverTypedIntoUserName()
{
    NewUserWindow* window = Open();
    QVERIFY(window);
    QLineEdit* name = window->新建用户名_编辑框;
    QTest::keyClicks(name, QStringLiteral("a b"));
    QTest::keyClick(name, Qt::Key_Space, Qt::ShiftModifier);
    QTest::keyClick(name, Qt::Key_Space, Qt::ControlModifier);
    QCOMPARE(name->text(), QStringLiteral("ab"));

    // Pasted blanks stay, and such a name is stored as it is.
    QApplication::clipboard()->setText(QStringLiteral(" c d"));
    QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(name->text(), QStringLiteral("ab c d"));

    QTest::keyClicks(window->新建密码_编辑框, QStringLiteral("p q"));
    QCOMPARE(window->新建密码_编辑框->text(), QStringLiteral("p q"));
    QTest::keyClicks(window->新建密码_编辑框1, QStringLiteral("p q"));
    MessageBoxes boxes;
    QTest::mouseClick(window->新建_按钮, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("成功创建用户")});
    QCOMPARE(Stored(QStringLiteral("ab c d")).password1, QStringLiteral("p q"));
    QCOMPARE(Stored(QStringLiteral("ab c d")).records, qint64(0));
}

void TestNewUserWindow::enterRunsCreateOnceAndLeavesFromExit_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("leaves");
    QTest::newRow("user-name box") << "新建用户名_编辑框" << false;
    QTest::newRow("password box") << "新建密码_编辑框" << false;
    QTest::newRow("repeat box") << "新建密码_编辑框1" << false;
    QTest::newRow("create button") << "新建_按钮" << false;
    QTest::newRow("exit button") << "新建退出_按钮" << true;
}

void TestNewUserWindow::enterRunsCreateOnceAndLeavesFromExit()
{
    QFETCH(QString, control);
    QFETCH(bool, leaves);

    NewUserWindow* window = Open();
    QVERIFY(window);
    QPointer<NewUserWindow> alive(window);
    auto* target = window->findChild<QWidget*>(control);
    QVERIFY(target);
    target->setFocus();
    MessageBoxes boxes;
    QTest::keyClick(target, Qt::Key_Return);
    QTest::qWait(30);

    if (leaves) {
        QVERIFY(boxes.texts.isEmpty());
        QTRY_VERIFY(!alive);
        QVERIFY(login_->登陆_外部数据库->IsOpen());
    } else {
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("请输入用户名")});
        QVERIFY(alive);
    }
}

void TestNewUserWindow::everyWayOutHandsBackTheConnection_data()
{
    QTest::addColumn<int>("way");
    QTest::newRow("exit button") << 0;
    QTest::newRow("close box") << 1;
    QTest::newRow("Esc") << 2;
}

void TestNewUserWindow::everyWayOutHandsBackTheConnection()
{
    QFETCH(int, way);
    NewUserWindow* window = Open();
    QVERIFY(window);
    QPointer<NewUserWindow> alive(window);
    QPointer<StoreConnection> own(window->新建_外部数据库);
    QVERIFY(own->IsOpen());
    QTest::keyClicks(window->新建用户名_编辑框, QStringLiteral("typed"));

    bool ownClosedFirst = false;
    connect(window, &QObject::destroyed, this,
            [&] { ownClosedFirst = login_->登陆_外部数据库->IsOpen(); });
    switch (way) {
    case 0:
        QTest::mouseClick(window->新建退出_按钮, Qt::LeftButton);
        break;
    case 1:
        window->close();
        break;
    case 2:
        QTest::keyClick(window->新建用户名_编辑框, Qt::Key_Escape);
        break;
    }
    QTRY_VERIFY(!alive);
    QVERIFY(ownClosedFirst);
    QVERIFY(login_->登陆_外部数据库->IsOpen());
    QCOMPARE(login_->用户名_编辑框->text(), QStringLiteral("earlier"));
    QCOMPARE(UserCount(), 0);
}

void TestNewUserWindow::modalOverLoginWindow()
{
    const QString failure =
        kvtest::ModalOverLoginWindow(this, login_, &NewUserWindow::新建退出_按钮);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestNewUserWindow::takenNameRefusedAfterManyPresses()
{
    QVERIFY(run_->AddUser(QStringLiteral("abc"), QStringLiteral("secret")));
    NewUserWindow* window = Open();
    QVERIFY(window);
    MessageBoxes boxes;
    // Each press looks the name up before any check; none of them may use up the
    // connection.
    for (int press = 0; press < StoreConnection::kResultSlots + 5; ++press) {
        window->新建用户名_编辑框->setText(QStringLiteral("abc"));
        window->新建密码_编辑框->setText(QStringLiteral("1"));
        window->新建密码_编辑框1->setText(QStringLiteral("2"));
        QTest::mouseClick(window->新建_按钮, Qt::LeftButton);
    }
    window->新建用户名_编辑框->setText(QStringLiteral("abc"));
    window->新建密码_编辑框->setText(QStringLiteral("x"));
    window->新建密码_编辑框1->setText(QStringLiteral("x"));
    QTest::mouseClick(window->新建_按钮, Qt::LeftButton);

    QCOMPARE(boxes.texts.size(), StoreConnection::kResultSlots + 6);
    QCOMPARE(boxes.texts.last(), QStringLiteral("用户名重复，请重新输入"));
    QCOMPARE(window->新建_外部数据库->OpenResults(), 0);
    QCOMPARE(UserCount(), 1);
    QCOMPARE(Stored(QStringLiteral("abc")).password1, QStringLiteral("secret"));
}

void TestNewUserWindow::failedInsertStoresNothingAndKeepsInput()
{
    // The store refuses this one user row; the record table must not appear without it.
    QVERIFY(run_->Run({QStringLiteral("create trigger refuse before insert on management "
                                      "when new.username = 'victim' "
                                      "begin select raise(abort, 'no'); end")}));
    NewUserWindow* window = Open();
    QVERIFY(window);
    QTest::keyClicks(window->新建用户名_编辑框, QStringLiteral("victim"));
    QTest::keyClicks(window->新建密码_编辑框, QStringLiteral("pw"));
    QTest::keyClicks(window->新建密码_编辑框1, QStringLiteral("pw"));
    MessageBoxes boxes;
    QTest::mouseClick(window->新建_按钮, Qt::LeftButton);

    QCOMPARE(boxes.texts,
             QStringList{QStringLiteral("创建用户失败，没有保存任何内容，请稍后重试")});
    QTest::qWait(20);
    QCOMPARE(AliveWindow<NewUserWindow>(), window);
    QCOMPARE(window->新建用户名_编辑框->text(), QStringLiteral("victim"));
    QCOMPARE(window->新建密码_编辑框->text(), QStringLiteral("pw"));
    QCOMPARE(window->新建密码_编辑框1->text(), QStringLiteral("pw"));
    QCOMPARE(UserCount(), 0);
    StoreConnection check;
    QVERIFY(check.Open(run_->StoreFile(), kvtest::StorePassword()));
    const ScopedResult tables(
        check, check.Query(QStringLiteral("select name from sqlite_master where type='table'")));
    QStringList names;
    for (; !check.AtEnd(tables); check.MoveNext(tables))
        names << check.ReadText(tables, 1);
    QCOMPARE(names, QStringList{QStringLiteral("management")});

    // The same window then creates another user as usual.
    window->新建用户名_编辑框->setText(QStringLiteral("other"));
    QTest::mouseClick(window->新建_按钮, Qt::LeftButton);
    QCOMPARE(boxes.texts.last(), QStringLiteral("成功创建用户"));
    QCOMPARE(Stored(QStringLiteral("other")).records, qint64(0));
}

void TestNewUserWindow::unreachableStoreIsReportedAsFailure()
{
    QVERIFY(QFile::remove(run_->StoreFile()));
    NewUserWindow* window = Open();
    QVERIFY(window);
    QVERIFY(!window->新建_外部数据库->IsOpen());
    QTest::keyClicks(window->新建用户名_编辑框, QStringLiteral("abc"));
    QTest::keyClicks(window->新建密码_编辑框, QStringLiteral("pw"));
    QTest::keyClicks(window->新建密码_编辑框1, QStringLiteral("pw"));
    MessageBoxes boxes;
    QTest::mouseClick(window->新建_按钮, Qt::LeftButton);
    QCOMPARE(boxes.texts,
             QStringList{QStringLiteral("创建用户失败，没有保存任何内容，请稍后重试")});
    QTest::qWait(20);
    QCOMPARE(AliveWindow<NewUserWindow>(), window);
    QCOMPARE(window->新建用户名_编辑框->text(), QStringLiteral("abc"));
    QVERIFY(!QFile::exists(run_->StoreFile()));
}

QTEST_MAIN(TestNewUserWindow)
#include "tst_newuserwindow.moc"
