// UserAdminWindow driven through its real widgets against a real store in a temporary
// directory: the list, the menu, the three panels, deleting users, changing passwords
// and every way out.

#include "WindowTestSupport.h"

#include "app/ListView.h"
#include "app/OverlayPanel.h"
#include "app/Toolkit.h"
#include "store/Provision.h"
#include "store/Statements.h"
#include "store/StoreConnection.h"
#include "windows/LoginWindow.h"
#include "windows/MainWindow.h"
#include "windows/NewUserWindow.h"
#include "windows/UserAdminWindow.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>

using namespace kv;
using kvtest::MessageBoxes;

namespace {

// Records the order in which controls change their enabled state.
class EnabledChanges : public QObject
{
public:
    explicit EnabledChanges(const QList<QWidget*>& controls)
    {
        for (QWidget* control : controls)
            control->installEventFilter(this);
    }
    QList<QWidget*> order;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange)
            order.append(static_cast<QWidget*>(watched));
        return false;
    }
};

const QString kNoUser = QStringLiteral("没有用户");
const QString kEnterPassword = QStringLiteral("请输入口令");
const QString kWrongPassword = QStringLiteral("口令输入错误，请重新输入");
const QString kConfirmDelete = QStringLiteral("你确定删除？");
const QString kConfirmChange = QStringLiteral("你确定更改？");

} // namespace

class TestUserAdminWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layout();
    void listsUsersAscendingWithFirstSelected();
    void emptyStoreHasNoUserToActOn();
    void clearedSelectionHasNoUserToActOn();
    void rightClickPopsUpMenuBesideThePointer();
    void menuItemsOpenThePanels_data();
    void menuItemsOpenThePanels();
    void panelOpensOverDisabledControlsAndCancelEmptiesIt_data();
    void panelOpensOverDisabledControlsAndCancelEmptiesIt();
    void passwordRefusals_data();
    void passwordRefusals();
    void cancelAtConfirmationChangesNothing_data();
    void cancelAtConfirmationChangesNothing();
    void deletesUserWithRecordTable();
    void deletingTheOnlyUserLeavesEmptyList();
    void refusedDeleteKeepsRowAndRecords();
    void changesPasswordInTwoSteps();
    void newPasswordRefusalsAndCancel();
    void changeOfVanishedUserIsReportedAsFailure();
    void rightPasswordAcceptedAfterManyWrongOnes_data();
    void rightPasswordAcceptedAfterManyWrongOnes();
    void everyWayOutHandsBackTheConnection_data();
    void everyWayOutHandsBackTheConnection();
    void modalOverLoginWindow();
    void wholeLifeOfALoginUser();

private:
    static UserAdminWindow* Open() { return kvtest::OpenWindow<UserAdminWindow>(); }
    // password1/password2 of a user, or nothing when there is no such row.
    std::optional<QStringList> Passwords(const QString& name);
    // Record count of each login user, -1 without a record table.
    QMap<QString, qint64> Users();
    QStringList Rows(UserAdminWindow* window);
    void SelectRow(UserAdminWindow* window, int row);

    std::unique_ptr<kvtest::RunDirectory> run_;
    QPointer<LoginWindow> login_;
};

void TestUserAdminWindow::init()
{
    run_ = std::make_unique<kvtest::RunDirectory>();
    QVERIFY(run_->IsValid());
    // The login window stands behind; its "管理用户" link closes its connection first.
    login_ = kvtest::LoginWindowBehind();
}

void TestUserAdminWindow::cleanup()
{
    delete AliveWindow<UserAdminWindow>();
    delete AliveWindow<NewUserWindow>();
    delete AliveWindow<MainWindow>();
    delete login_.data();
    QTRY_VERIFY(!AliveWindow<UserAdminWindow>());
    run_.reset();
}

std::optional<QStringList> TestUserAdminWindow::Passwords(const QString& name)
{
    StoreConnection connection;
    if (!connection.Open(run_->StoreFile(), kvtest::StorePassword()))
        return std::nullopt;
    const ScopedResult row(connection, connection.Query(statements::UserLookup(name)));
    if (connection.AtEnd(row))
        return std::nullopt;
    return QStringList{connection.ReadText(row, QStringLiteral("password1")),
                       connection.ReadText(row, QStringLiteral("password2"))};
}

QMap<QString, qint64> TestUserAdminWindow::Users()
{
    QMap<QString, qint64> users;
    for (const auto& user : CheckStore(run_->StoreFile(), kvtest::StorePassword()).users)
        users.insert(user.name, user.records);
    return users;
}

QStringList TestUserAdminWindow::Rows(UserAdminWindow* window)
{
    QStringList rows;
    for (int row = 0; row < window->管理_超级列表框->RowCount(); ++row)
        rows << window->管理_超级列表框->CellText(row, 0);
    return rows;
}

void TestUserAdminWindow::SelectRow(UserAdminWindow* window, int row)
{
    ListView* list = window->管理_超级列表框;
    const QRect place = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, place.center());
    QCOMPARE(list->CurrentSelection(), row);
}

void TestUserAdminWindow::layout()
{
    UserAdminWindow* window = Open();
    QVERIFY(window);
    QVERIFY(window->windowTitle().isEmpty());
    QCOMPARE(window->size(), ClientSizeForOuter(QSize(400, 235)));

    ListView* list = window->findChild<ListView*>(QStringLiteral("管理_超级列表框"));
    QVERIFY(list);
    QCOMPARE(list->geometry(), QRect(20, 18, 180, 170));
    QCOMPARE(list->model()->columnCount(), 1);
    QCOMPARE(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("用户名"));
    QCOMPARE(list->header()->sectionSize(0), 176);
    QVERIFY(!list->header()->isHidden());

    const struct
    {
        const char* name;
        QRect place;
        QString text;
    } buttons[] = {
        {"管理删除用户_按钮", {270, 15, 70, 40}, QStringLiteral("删除用户")},
        {"管理口令更改_按钮", {270, 74, 70, 40}, QStringLiteral("口令更改")},
        {"管理退出_按钮", {270, 134, 70, 40}, QStringLiteral("退出")},
        {"管理删除用户最终_按钮", {196, 55, 48, 40}, QStringLiteral("删除")},
        {"管理小退出_按钮", {194, 102, 48, 40}, QStringLiteral("退出")},
        {"管理口令更改次终_按钮", {196, 55, 48, 40}, QStringLiteral("更改")},
        {"管理小退出_按钮1", {194, 102, 48, 40}, QStringLiteral("退出")},
        {"管理口令更改最终_按钮1", {196, 55, 48, 40}, QStringLiteral("更改")},
        {"管理小退出_按钮2", {194, 102, 48, 40}, QStringLiteral("退出")},
    };
    for (const auto& expected : buttons) {
        auto* button = window->findChild<QPushButton*>(QString::fromUtf8(expected.name));
        QVERIFY2(button, expected.name);
        QCOMPARE(button->geometry(), expected.place);
        QCOMPARE(button->text(), expected.text);
        QVERIFY(!button->isDefault() && !button->autoDefault());
    }

    const struct
    {
        const char* panel;
        const char* label;
        QRect labelPlace;
        QString text;
        QList<QPair<const char*, QRect>> boxes;
    } panels[] = {
        {"管理删除_图片框",
         "管理_透明标签",
         {28, 8, 200, 32},
         QStringLiteral("请输入口令，来完成删除操作"),
         {{"管理_编辑框", {19, 72, 152, 48}}}},
        {"管理口令更改_图片框",
         "管理_透明标签1",
         {37, 8, 200, 32},
         QStringLiteral("请输入旧口令，来完成口令更改操作"),
         {{"管理_编辑框1", {19, 72, 152, 48}}}},
        {"管理口令更改_图片框1",
         "管理_透明标签2",
         {37, 8, 200, 32},
         QStringLiteral("请输入新口令，来完成口令更改操作"),
         {{"管理_编辑框2", {20, 66, 150, 30}}, {"管理_编辑框3", {20, 111, 150, 30}}}},
    };
    for (const auto& expected : panels) {
        auto* panel = window->findChild<OverlayPanel*>(QString::fromUtf8(expected.panel));
        QVERIFY2(panel, expected.panel);
        QCOMPARE(panel->geometry(), QRect(59, 25, 275, 156));
        QVERIFY(panel->isHidden());
        auto* label = panel->findChild<QLabel*>(QString::fromUtf8(expected.label));
        QVERIFY2(label, expected.label);
        QCOMPARE(label->geometry(), expected.labelPlace);
        QCOMPARE(label->text(), expected.text);
        QCOMPARE(label->alignment(), Qt::AlignCenter);
        for (const auto& [name, place] : expected.boxes) {
            auto* box = panel->findChild<QLineEdit*>(QString::fromUtf8(name));
            QVERIFY2(box, name);
            QCOMPARE(box->geometry(), place);
            QCOMPARE(box->echoMode(), QLineEdit::Password);
            QTest::keyClicks(box, QStringLiteral("abcdefghijklmnopqrst"));
            QCOMPARE(box->text(), QStringLiteral("abcdefghijklmnop"));
        }
    }

    auto* menu = window->findChild<QMenu*>(QStringLiteral("管理界面_右击"));
    QVERIFY(menu);
    QVERIFY(menu->isHidden());
    QStringList items;
    for (QAction* action : menu->actions()) {
        items << action->text();
        QVERIFY(action->isEnabled() && !action->isCheckable() && action->shortcut().isEmpty());
    }
    QCOMPARE(items, (QStringList{QStringLiteral("删除用户"), QStringLiteral("口令更改"),
                                 QStringLiteral("退出")}));
    QVERIFY(window->findChild<StoreConnection*>(QStringLiteral("管理_外部数据库")));
}

void TestUserAdminWindow::listsUsersAscendingWithFirstSelected()
{
    for (const char* name : {"b", "a", "c"})
        QVERIFY(run_->AddUser(QString::fromUtf8(name), QStringLiteral("pw")));
    UserAdminWindow* window = Open();
    QVERIFY(window);
    QCOMPARE(Rows(window), (QStringList{"a", "b", "c"}));
    QCOMPARE(window->管理_超级列表框->CurrentSelection(), 0);
    QVERIFY(window->管理_外部数据库->IsOpen());
    QCOMPARE(window->管理_外部数据库->OpenResults(), 0);
}

void TestUserAdminWindow::emptyStoreHasNoUserToActOn()
{
    UserAdminWindow* window = Open();
    QVERIFY(window);
    QCOMPARE(window->管理_超级列表框->RowCount(), 0);
    QCOMPARE(window->管理_超级列表框->CurrentSelection(), -1);

    MessageBoxes boxes;
    QTest::mouseClick(window->管理删除用户_按钮, Qt::LeftButton);
    QTest::mouseClick(window->管理口令更改_按钮, Qt::LeftButton);
    for (int item : {0, 1}) {
        QMenu* menu = window->管理界面_右击;
        QTest::mouseClick(window->管理_超级列表框->viewport(), Qt::RightButton, {}, QPoint(40, 60));
        QVERIFY(menu->isVisible());
        QAction* action = menu->actions().at(item);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        QTRY_VERIFY(!menu->isVisible());
    }
    QCOMPARE(boxes.texts, (QStringList{kNoUser, kNoUser, kNoUser, kNoUser}));
    QCOMPARE(boxes.captions.first(), QStringLiteral("信息："));
    QVERIFY(window->管理删除_图片框->isHidden());
    QVERIFY(window->管理口令更改_图片框->isHidden());
    QVERIFY(window->管理_超级列表框->isEnabled());
}

void TestUserAdminWindow::clearedSelectionHasNoUserToActOn()
{
    QVERIFY(run_->AddUser(QStringLiteral("a"), QStringLiteral("pw")));
    UserAdminWindow* window = Open();
    QVERIFY(window);
    ListView* list = window->管理_超级列表框;
    // Ctrl+click on the selected row takes the selection away.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      list->visualRect(list->model()->index(0, 0)).center());
    QCOMPARE(list->CurrentSelection(), -1);
    MessageBoxes boxes;
    QTest::mouseClick(window->管理删除用户_按钮, Qt::LeftButton);
    QTest::mouseClick(window->管理口令更改_按钮, Qt::LeftButton);
    QCOMPARE(boxes.texts, (QStringList{kNoUser, kNoUser}));
    QVERIFY(window->管理删除_图片框->isHidden() && window->管理口令更改_图片框->isHidden());
    QCOMPARE(Users().keys(), QStringList{"a"});
}

void TestUserAdminWindow::rightClickPopsUpMenuBesideThePointer()
{
    QVERIFY(run_->AddUser(QStringLiteral("a"), QStringLiteral("pw")));
    UserAdminWindow* window = Open();
    QVERIFY(window);
    ListView* list = window->管理_超级列表框;
    QMenu* menu = window->管理界面_右击;

    const QPoint overRow = list->visualRect(list->model()->index(0, 0)).center();
    const QPoint overNothing(60, list->viewport()->height() - 10);
    for (const QPoint at : {overRow, overNothing}) {
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, at);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(menu->pos(), list->viewport()->mapToGlobal(at) + QPoint(3, 3));
        QTest::keyClick(menu, Qt::Key_Escape);
        QTRY_VERIFY(!menu->isVisible());
    }

    // A panel disables the list: no menu then.
    QTest::mouseClick(window->管理删除用户_按钮, Qt::LeftButton);
    QVERIFY(window->管理删除_图片框->isVisible());
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, overNothing);
    QTest::qWait(30);
    QVERIFY(!menu->isVisible());
}

void TestUserAdminWindow::menuItemsOpenThePanels_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("box");
    QTest::newRow("删除用户") << 0 << "管理删除_图片框"
                              << "管理_编辑框";
    QTest::newRow("口令更改") << 1 << "管理口令更改_图片框"
                              << "管理_编辑框1";
}

void TestUserAdminWindow::menuItemsOpenThePanels()
{
    QFETCH(int, item);
    QFETCH(QString, panel);
    QFETCH(QString, box);
    QVERIFY(run_->AddUser(QStringLiteral("a"), QStringLiteral("pw")));
    UserAdminWindow* window = Open();
    QVERIFY(window);
    QMenu* menu = window->管理界面_右击;
    QTest::mouseClick(window->管理_超级列表框->viewport(), Qt::RightButton, {}, QPoint(30, 10));
    QTRY_VERIFY(menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(menu->actions().at(item)).center());
    QTRY_VERIFY(window->findChild<QWidget*>(panel)->isVisible());
    QCOMPARE(window->focusWidget(), window->findChild<QWidget*>(box));
    QVERIFY(!window->管理_超级列表框->isEnabled());
}

void TestUserAdminWindow::panelOpensOverDisabledControlsAndCancelEmptiesIt_data()
{
    QTest::addColumn<QString>("openButton");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("cancelButton");
    QTest::newRow("delete panel") << "管理删除用户_按钮"
                                  << "管理删除_图片框"
                                  << "管理_编辑框"
                                  << "管理小退出_按钮";
    QTest::newRow("old-password panel") << "管理口令更改_按钮"
                                        << "管理口令更改_图片框"
                                        << "管理_编辑框1"
                                        << "管理小退出_按钮1";
}

void TestUserAdminWindow::panelOpensOverDisabledControlsAndCancelEmptiesIt()
{
    QFETCH(QString, openButton);
    QFETCH(QString, panel);
    QFETCH(QString, box);
    QFETCH(QString, cancelButton);
    QVERIFY(run_->AddUser(QStringLiteral("a"), QStringLiteral("pw")));
    UserAdminWindow* window = Open();
    QVERIFY(window);
    auto* panelWidget = window->findChild<QWidget*>(panel);
    auto* boxWidget = window->findChild<QLineEdit*>(box);
    const QList<QWidget*> mainControls = {window->管理_超级列表框, window->管理删除用户_按钮,
                                          window->管理口令更改_按钮, window->管理退出_按钮};

    // The disabled flags change in order: list, delete, change, exit.
    EnabledChanges changes(mainControls);
    QTest::mouseClick(window->findChild<QPushButton*>(openButton), Qt::LeftButton);
    QVERIFY(panelWidget->isVisible());
    QCOMPARE(window->focusWidget(), boxWidget);
    QCOMPARE(changes.order, mainControls);
    for (QWidget* control : mainControls)
        QVERIFY(!control->isEnabled());

    QTest::keyClicks(boxWidget, QStringLiteral("typed"));
    changes.order.clear();
    QTest::mouseClick(window->findChild<QPushButton*>(cancelButton), Qt::LeftButton);
    QVERIFY(panelWidget->isHidden());
    QCOMPARE(changes.order, mainControls);
    for (QWidget* control : mainControls)
        QVERIFY(control->isEnabled());
    QVERIFY(boxWidget->text().isEmpty());
}

void TestUserAdminWindow::passwordRefusals_data()
{
    QTest::addColumn<QString>("openButton");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("confirmButton");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("boxAfter");

    const char* panels[][4] = {
        {"delete", "管理删除用户_按钮", "管理_编辑框", "管理删除用户最终_按钮"},
        {"change", "管理口令更改_按钮", "管理_编辑框1", "管理口令更改次终_按钮"}};
    for (const auto& panel : panels) {
        QTest::addRow("%s: empty box", panel[0])
            << panel[1] << panel[2] << panel[3] << "" << kEnterPassword << "";
        QTest::addRow("%s: wrong password", panel[0])
            << panel[1] << panel[2] << panel[3] << "wrong" << kWrongPassword << "";
        QTest::addRow("%s: other letter case", panel[0])
            << panel[1] << panel[2] << panel[3] << "SECRET" << kWrongPassword << "";
        QTest::addRow("%s: another user's password", panel[0])
            << panel[1] << panel[2] << panel[3] << "bpw" << kWrongPassword << "";
    }
}

void TestUserAdminWindow::passwordRefusals()
{
    QFETCH(QString, openButton);
    QFETCH(QString, box);
    QFETCH(QString, confirmButton);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(QString, boxAfter);
    QVERIFY(run_->AddUser(QStringLiteral("a"), QStringLiteral("secret")));
    QVERIFY(run_->AddUser(QStringLiteral("b"), QStringLiteral("bpw")));
    UserAdminWindow* window = Open();
    QVERIFY(window);
    auto* boxWidget = window->findChild<QLineEdit*>(box);
    QTest::mouseClick(window->findChild<QPushButton*>(openButton), Qt::LeftButton);
    QTest::keyClicks(boxWidget, typed);

    MessageBoxes boxes;
    QTest::mouseClick(window->findChild<QPushButton*>(confirmButton), Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{message});
    QCOMPARE(boxWidget->text(), boxAfter);
    QVERIFY(boxWidget->isVisible());
    QCOMPARE(window->focusWidget(), boxWidget);
    QVERIFY(!window->管理_超级列表框->isEnabled());
    QCOMPARE(Users().keys(), (QStringList{"a", "b"}));
    QCOMPARE(Passwords(QStringLiteral("a")), (QStringList{"secret", "secret"}));
}

void TestUserAdminWindow::cancelAtConfirmationChangesNothing_data()
{
    QTest::addColumn<QString>("openButton");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("confirmButton");
    QTest::addColumn<QString>("confirmation");
    QTest::newRow("delete") << "管理删除用户_按钮"
                            << "管理删除_图片框"
                            << "管理_编辑框"
                            << "管理删除用户最终_按钮" << kConfirmDelete;
    QTest::newRow("change") << "管理口令更改_按钮"
                            << "管理口令更改_图片框"
                            << "管理_编辑框1"
                            << "管理口令更改次终_按钮" << kConfirmChange;
}

void TestUserAdminWindow::cancelAtConfirmationChangesNothing()
{
    QFETCH(QString, openButton);
    QFETCH(QString, panel);
    QFETCH(QString, box);
    QFETCH(QString, confirmButton);
    QFETCH(QString, confirmation);
    QVERIFY(run_->AddUser(QStringLiteral("a"), QStringLiteral("secret")));
    QVERIFY(run_->AddRecord(QStringLiteral("a"), 1, QStringLiteral("u"), QStringLiteral("p")));
    UserAdminWindow* window = Open();
    QVERIFY(window);
    QTest::mouseClick(window->findChild<QPushButton*>(openButton), Qt::LeftButton);
    QTest::keyClicks(window->findChild<QLineEdit*>(box), QStringLiteral("secret"));

    MessageBoxes boxes;
    boxes.cancels = {true};
    QTest::mouseClick(window->findChild<QPushButton*>(confirmButton), Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{confirmation});
    QVERIFY(window->findChild<QWidget*>(panel)->isHidden());
    QVERIFY(window->管理口令更改_图片框1->isHidden());
    QVERIFY(window->findChild<QLineEdit*>(box)->text().isEmpty());
    QVERIFY(window->管理_超级列表框->isEnabled() && window->管理退出_按钮->isEnabled());
    QCOMPARE(Users(), (QMap<QString, qint64>{{"a", 1}}));
    QCOMPARE(Passwords(QStringLiteral("a")), (QStringList{"secret", "secret"}));
}

void TestUserAdminWindow::deletesUserWithRecordTable()
{
    for (const char* name : {"a", "b", "c"})
        QVERIFY(run_->AddUser(QString::fromUtf8(name),
                              QStringLiteral("pw-") + QString::fromUtf8(name)));
    QVERIFY(run_->AddRecord(QStringLiteral("b"), 1, QStringLiteral("u"), QStringLiteral("p")));
    UserAdminWindow* window = Open();
    QVERIFY(window);
    SelectRow(window, 1);
    QTest::mouseClick(window->管理删除用户_按钮, Qt::LeftButton);
    QTest::keyClicks(window->管理_编辑框, QStringLiteral("pw-b"));

    MessageBoxes boxes;
    QTest::mouseClick(window->管理删除用户最终_按钮, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{kConfirmDelete});
    QCOMPARE(Users(), (QMap<QString, qint64>{{"a", 0}, {"c", 0}}));
    QCOMPARE(Rows(window), (QStringList{"a", "c"}));
    QCOMPARE(window->管理_超级列表框->CurrentSelection(), 0);
    QVERIFY(window->管理删除_图片框->isHidden());
    QVERIFY(window->管理_超级列表框->isEnabled() && window->管理删除用户_按钮->isEnabled() &&
            window->管理口令更改_按钮->isEnabled() && window->管理退出_按钮->isEnabled());
    QVERIFY(window->管理_编辑框->text().isEmpty());
    QVERIFY(window->管理_外部数据库->IsOpen());
    QCOMPARE(window->管理_外部数据库->OpenResults(), 0);

    // The table of b is really gone: a new user b starts with an empty one.
    StoreConnection check;
    QVERIFY(check.Open(run_->StoreFile(), kvtest::StorePassword()));
    QVERIFY(check.AtEnd(check.Query(statements::RecordList(QStringLiteral("b")))));
    QVERIFY(!check.Execute(statements::RecordDeleteAll(QStringLiteral("b"))));

    // Opened again, the panel's box is empty.
    QTest::mouseClick(window->管理删除用户_按钮, Qt::LeftButton);
    QVERIFY(window->管理删除_图片框->isVisible());
    QVERIFY(window->管理_编辑框->text().isEmpty());
}

void TestUserAdminWindow::deletingTheOnlyUserLeavesEmptyList()
{
    QVERIFY(run_->AddUser(QStringLiteral("only"), QStringLiteral("pw")));
    UserAdminWindow* window = Open();
    QVERIFY(window);
    QTest::mouseClick(window->管理删除用户_按钮, Qt::LeftButton);
    QTest::keyClicks(window->管理_编辑框, QStringLiteral("pw"));
    MessageBoxes boxes;
    QTest::mouseClick(window->管理删除用户最终_按钮, Qt::LeftButton);
    QCOMPARE(window->管理_超级列表框->RowCount(), 0);
    QCOMPARE(window->管理_超级列表框->CurrentSelection(), -1);
    QVERIFY(Users().isEmpty());
    QTest::mouseClick(window->管理删除用户_按钮, Qt::LeftButton);
    QCOMPARE(boxes.texts, (QStringList{kConfirmDelete, kNoUser}));
    QVERIFY(window->管理删除_图片框->isHidden());
}

void TestUserAdminWindow::refusedDeleteKeepsRowAndRecords()
{
    QVERIFY(run_->AddUser(QStringLiteral("a"), QStringLiteral("pw")));
    QVERIFY(run_->AddUser(QStringLiteral("b"), QStringLiteral("pw")));
    QVERIFY(run_->AddRecord(QStringLiteral("b"), 1, QStringLiteral("u"), QStringLiteral("p")));
    // The store refuses to remove the row of b; its record table must stay with it.
    QVERIFY(run_->Run({QStringLiteral("create trigger keep before delete on management "
                                      "when old.username = 'b' "
                                      "begin select raise(abort, 'kept'); end")}));
    UserAdminWindow* window = Open();
    QVERIFY(window);
    SelectRow(window, 1);
    QTest::mouseClick(window->管理删除用户_按钮, Qt::LeftButton);
    QTest::keyClicks(window->管理_编辑框, QStringLiteral("pw"));
    MessageBoxes boxes;
    QTest::mouseClick(window->管理删除用户最终_按钮, Qt::LeftButton);

    QCOMPARE(boxes.texts,
             (QStringList{kConfirmDelete,
                          QStringLiteral("删除用户失败，用户和记录都没有改变，请稍后重试")}));
    QCOMPARE(Users(), (QMap<QString, qint64>{{"a", 0}, {"b", 1}}));
    QCOMPARE(Rows(window), (QStringList{"a", "b"}));
    QVERIFY(window->管理删除_图片框->isVisible());
    QCOMPARE(window->管理_编辑框->text(), QStringLiteral("pw"));
    QVERIFY(window->管理_外部数据库->IsOpen());
}

void TestUserAdminWindow::changesPasswordInTwoSteps()
{
    QVERIFY(run_->AddUser(QStringLiteral("a"), QStringLiteral("pa")));
    QVERIFY(run_->AddUser(QStringLiteral("b"), QStringLiteral("old")));
    UserAdminWindow* window = Open();
    QVERIFY(window);
    SelectRow(window, 1);
    QTest::mouseClick(window->管理口令更改_按钮, Qt::LeftButton);
    QTest::keyClicks(window->管理_编辑框1, QStringLiteral("old"));
    MessageBoxes boxes;
    QTest::mouseClick(window->管理口令更改次终_按钮, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{kConfirmChange});

    // Straight to the new-password panel; the main controls stay disabled.
    QVERIFY(window->管理口令更改_图片框->isHidden());
    QVERIFY(window->管理口令更改_图片框1->isVisible());
    QVERIFY(window->管理_编辑框1->text().isEmpty());
    QCOMPARE(window->focusWidget(), window->管理_编辑框2);
    QVERIFY(!window->管理_超级列表框->isEnabled() && !window->管理退出_按钮->isEnabled());

    QTest::keyClicks(window->管理_编辑框2, QStringLiteral("n'ew"));
    QTest::keyClicks(window->管理_编辑框3, QStringLiteral("n'ew"));
    bool panelShownWithMessage = false;
    boxes.onShown = [&](QMessageBox*) {
        panelShownWithMessage = window->管理口令更改_图片框1->isVisible();
    };
    QTest::mouseClick(window->管理口令更改最终_按钮1, Qt::LeftButton);
    QCOMPARE(boxes.texts.last(), QStringLiteral("更改成功"));
    QVERIFY(panelShownWithMessage);
    boxes.onShown = nullptr;
    QVERIFY(window->管理口令更改_图片框1->isHidden());
    QVERIFY(window->管理_编辑框2->text().isEmpty() && window->管理_编辑框3->text().isEmpty());
    QVERIFY(window->管理_超级列表框->isEnabled() && window->管理退出_按钮->isEnabled());
    QCOMPARE(window->管理_超级列表框->CurrentSelection(), 1);
    QCOMPARE(Passwords(QStringLiteral("b")), (QStringList{"n'ew", "n'ew"}));
    QCOMPARE(Passwords(QStringLiteral("a")), (QStringList{"pa", "pa"}));
    QCOMPARE(window->管理_外部数据库->OpenResults(), 0);

    // The old password no longer passes; the new one does.
    QTest::mouseClick(window->管理口令更改_按钮, Qt::LeftButton);
    QTest::keyClicks(window->管理_编辑框1, QStringLiteral("old"));
    QTest::mouseClick(window->管理口令更改次终_按钮, Qt::LeftButton);
    QCOMPARE(boxes.texts.last(), kWrongPassword);
    boxes.cancels = {true};
    QTest::keyClicks(window->管理_编辑框1, QStringLiteral("n'ew"));
    QTest::mouseClick(window->管理口令更改次终_按钮, Qt::LeftButton);
    QCOMPARE(boxes.texts.last(), kConfirmChange);
}

void TestUserAdminWindow::newPasswordRefusalsAndCancel()
{
    QVERIFY(run_->AddUser(QStringLiteral("a"), QStringLiteral("old")));
    UserAdminWindow* window = Open();
    QVERIFY(window);
    QTest::mouseClick(window->管理口令更改_按钮, Qt::LeftButton);
    QTest::keyClicks(window->管理_编辑框1, QStringLiteral("old"));
    MessageBoxes boxes;
    QTest::mouseClick(window->管理口令更改次终_按钮, Qt::LeftButton);
    QVERIFY(window->管理口令更改_图片框1->isVisible());

    // Two different new passwords: both boxes emptied.
    QTest::keyClicks(window->管理_编辑框2, QStringLiteral("x"));
    QTest::keyClicks(window->管理_编辑框3, QStringLiteral("y"));
    QTest::mouseClick(window->管理口令更改最终_按钮1, Qt::LeftButton);
    QCOMPARE(boxes.texts.last(), QStringLiteral("您二次口令不一致，请重新输入"));
    QVERIFY(window->管理_编辑框2->text().isEmpty() && window->管理_编辑框3->text().isEmpty());
    QCOMPARE(window->focusWidget(), window->管理_编辑框2);

    // Both empty: the panel stays open.
    QTest::mouseClick(window->管理口令更改最终_按钮1, Qt::LeftButton);
    QCOMPARE(boxes.texts.last(), kEnterPassword);
    QVERIFY(window->管理口令更改_图片框1->isVisible());
    QCOMPARE(window->focusWidget(), window->管理_编辑框2);
    QCOMPARE(boxes.texts.size(), 3);
    QCOMPARE(Passwords(QStringLiteral("a")), (QStringList{"old", "old"}));

    // Cancel: hidden, controls back, boxes emptied, nothing stored.
    QTest::keyClicks(window->管理_编辑框2, QStringLiteral("x"));
    QTest::keyClicks(window->管理_编辑框3, QStringLiteral("x"));
    QTest::mouseClick(window->管理小退出_按钮2, Qt::LeftButton);
    QVERIFY(window->管理口令更改_图片框1->isHidden());
    QVERIFY(window->管理_超级列表框->isEnabled() && window->管理口令更改_按钮->isEnabled());
    QVERIFY(window->管理_编辑框2->text().isEmpty() && window->管理_编辑框3->text().isEmpty());
    QCOMPARE(Passwords(QStringLiteral("a")), (QStringList{"old", "old"}));
    QCOMPARE(boxes.texts.size(), 3);
}

void TestUserAdminWindow::changeOfVanishedUserIsReportedAsFailure()
{
    QVERIFY(run_->AddUser(QStringLiteral("a"), QStringLiteral("old")));
    UserAdminWindow* window = Open();
    QVERIFY(window);
    QTest::mouseClick(window->管理口令更改_按钮, Qt::LeftButton);
    QTest::keyClicks(window->管理_编辑框1, QStringLiteral("old"));
    MessageBoxes boxes;
    QTest::mouseClick(window->管理口令更改次终_按钮, Qt::LeftButton);
    QVERIFY(window->管理口令更改_图片框1->isVisible());

    // The row goes away behind the window's back: the update meets no row.
    QVERIFY(run_->Run({statements::UserDelete(QStringLiteral("a"))}));
    QTest::keyClicks(window->管理_编辑框2, QStringLiteral("new"));
    QTest::keyClicks(window->管理_编辑框3, QStringLiteral("new"));
    QTest::mouseClick(window->管理口令更改最终_按钮1, Qt::LeftButton);
    QCOMPARE(boxes.texts.last(), QStringLiteral("口令更改失败，口令没有改变，请稍后重试"));
    QVERIFY(!boxes.texts.contains(QStringLiteral("更改成功")));
    QVERIFY(window->管理口令更改_图片框1->isVisible());
    QCOMPARE(window->管理_编辑框2->text(), QStringLiteral("new"));
    QCOMPARE(window->管理_编辑框3->text(), QStringLiteral("new"));
    QVERIFY(!Passwords(QStringLiteral("a")));
}

void TestUserAdminWindow::rightPasswordAcceptedAfterManyWrongOnes_data()
{
    QTest::addColumn<QString>("openButton");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("confirmButton");
    QTest::addColumn<QString>("confirmation");
    QTest::newRow("delete") << "管理删除用户_按钮"
                            << "管理_编辑框"
                            << "管理删除用户最终_按钮" << kConfirmDelete;
    QTest::newRow("change") << "管理口令更改_按钮"
                            << "管理_编辑框1"
                            << "管理口令更改次终_按钮" << kConfirmChange;
}

void TestUserAdminWindow::rightPasswordAcceptedAfterManyWrongOnes()
{
    QFETCH(QString, openButton);
    QFETCH(QString, box);
    QFETCH(QString, confirmButton);
    QFETCH(QString, confirmation);
    QVERIFY(run_->AddUser(QStringLiteral("a"), QStringLiteral("secret")));
    UserAdminWindow* window = Open();
    QVERIFY(window);
    auto* boxWidget = window->findChild<QLineEdit*>(box);
    auto* confirm = window->findChild<QPushButton*>(confirmButton);
    QTest::mouseClick(window->findChild<QPushButton*>(openButton), Qt::LeftButton);

    MessageBoxes boxes;
    const int wrong = StoreConnection::kResultSlots + 5;
    for (int press = 0; press < wrong; ++press) {
        boxWidget->setText(QStringLiteral("wrong"));
        QTest::mouseClick(confirm, Qt::LeftButton);
    }
    boxes.cancels = {true};
    boxWidget->setText(QStringLiteral("secret"));
    QTest::mouseClick(confirm, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), wrong + 1);
    QCOMPARE(boxes.texts.count(kWrongPassword), wrong);
    QCOMPARE(boxes.texts.last(), confirmation);
    QCOMPARE(window->管理_外部数据库->OpenResults(), 0);
}

void TestUserAdminWindow::everyWayOutHandsBackTheConnection_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("withPanel");
    QTest::newRow("exit button") << "button" << false;
    QTest::newRow("menu item 退出") << "menu" << false;
    QTest::newRow("close box") << "close" << false;
    QTest::newRow("Esc") << "esc" << false;
    QTest::newRow("close box over a panel") << "close" << true;
    QTest::newRow("Esc over a panel") << "esc" << true;
}

void TestUserAdminWindow::everyWayOutHandsBackTheConnection()
{
    QFETCH(QString, way);
    QFETCH(bool, withPanel);
    QVERIFY(run_->AddUser(QStringLiteral("a"), QStringLiteral("pw")));
    UserAdminWindow* window = Open();
    QVERIFY(window);
    QPointer<UserAdminWindow> alive(window);
    QVERIFY(window->管理_外部数据库->IsOpen());
    if (withPanel) {
        QTest::mouseClick(window->管理删除用户_按钮, Qt::LeftButton);
        QTest::keyClicks(window->管理_编辑框, QStringLiteral("p"));
    }

    bool loginOpenBeforeDestroyed = false;
    connect(window, &QObject::destroyed, this,
            [&] { loginOpenBeforeDestroyed = login_->登陆_外部数据库->IsOpen(); });
    if (way == "button") {
        QTest::mouseClick(window->管理退出_按钮, Qt::LeftButton);
    } else if (way == "menu") {
        QMenu* menu = window->管理界面_右击;
        QTest::mouseClick(window->管理_超级列表框->viewport(), Qt::RightButton, {}, QPoint(30, 10));
        QTRY_VERIFY(menu->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, {},
                          menu->actionGeometry(menu->actions().at(2)).center());
    } else if (way == "close") {
        window->close();
    } else {
        QWidget* focused = window->focusWidget() ? window->focusWidget() : window;
        QTest::keyClick(focused, Qt::Key_Escape);
    }
    QTRY_VERIFY(!alive);
    QVERIFY(loginOpenBeforeDestroyed);
    QVERIFY(login_->登陆_外部数据库->IsOpen());
    QCOMPARE(Users().keys(), QStringList{"a"});
}

void TestUserAdminWindow::modalOverLoginWindow()
{
    const QString failure =
        kvtest::ModalOverLoginWindow(this, login_, &UserAdminWindow::管理退出_按钮);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

// Creates a user from the login window, logs in, changes the password and deletes the
// user, each window opened the way a person opens it.
void TestUserAdminWindow::wholeLifeOfALoginUser()
{
    QVERIFY(run_->AddUser(QStringLiteral("neighbour"), QStringLiteral("np")));
    QVERIFY(run_->AddRecord(QStringLiteral("neighbour"), 1, QStringLiteral("theirs"),
                            QStringLiteral("p")));
    QVERIFY(login_->登陆_外部数据库->Open(run_->StoreFile(), kvtest::StorePassword()));
    login_->show();
    QVERIFY(kvtest::Activate(login_));
    MessageBoxes boxes;
    QStringList problems;

    // Tells whether a modal window is there for its steps, and notes it when not.
    const auto opened = [&](QWidget* window) {
        if (!window)
            problems << QStringLiteral("modal window did not open");
        return window != nullptr;
    };
    const auto attemptLogin = [&](const QString& name, const QString& password) {
        login_->用户名_编辑框->setText(name);
        login_->口令_编辑框->setText(password);
        QTest::mouseClick(login_->登陆_按钮, Qt::LeftButton);
    };
    const auto backFromMainWindow = [&] {
        auto* main = AliveWindow<MainWindow>();
        QVERIFY(main);
        QTest::mouseClick(main->findChild<QPushButton*>(QStringLiteral("主界面_返回按钮")),
                          Qt::LeftButton);
        QTRY_VERIFY(!AliveWindow<MainWindow>());
        QVERIFY(login_->isVisible());
    };

    // Create "Zoe" / "first" from the login window's "新建".
    kvtest::WhenOpen<NewUserWindow>(this, [&](NewUserWindow* window) {
        if (!opened(window))
            return;
        window->新建用户名_编辑框->setText(QStringLiteral("Zoe"));
        window->新建密码_编辑框->setText(QStringLiteral("first"));
        window->新建密码_编辑框1->setText(QStringLiteral("first"));
        QTest::mouseClick(window->新建_按钮, Qt::LeftButton);
    });
    QTest::mouseClick(login_->按钮1, Qt::LeftButton);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u';')));
    QCOMPARE(boxes.texts.last(), QStringLiteral("成功创建用户"));
    QVERIFY(login_->登陆_外部数据库->IsOpen());

    attemptLogin(QStringLiteral("Zoe"), QStringLiteral("first"));
    QVERIFY(AliveWindow<MainWindow>());
    // The new user's list is empty: the neighbour's record is not there.
    auto* records = AliveWindow<MainWindow>()->findChild<ListView*>();
    QVERIFY(records);
    QCOMPARE(records->RowCount(), 0);
    backFromMainWindow();

    // Change the password of Zoe through "管理用户".
    kvtest::WhenOpen<UserAdminWindow>(this, [&](UserAdminWindow* window) {
        if (!opened(window))
            return;
        const int row = Rows(window).indexOf(QStringLiteral("Zoe"));
        SelectRow(window, row);
        QTest::mouseClick(window->管理口令更改_按钮, Qt::LeftButton);
        window->管理_编辑框1->setText(QStringLiteral("first"));
        QTest::mouseClick(window->管理口令更改次终_按钮, Qt::LeftButton);
        window->管理_编辑框2->setText(QStringLiteral("second"));
        window->管理_编辑框3->setText(QStringLiteral("second"));
        QTest::mouseClick(window->管理口令更改最终_按钮1, Qt::LeftButton);
        QTest::mouseClick(window->管理退出_按钮, Qt::LeftButton);
    });
    QTest::mouseClick(login_->删除用户_超级链接框1, Qt::LeftButton);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u';')));
    QCOMPARE(boxes.texts.last(), QStringLiteral("更改成功"));
    QVERIFY(login_->isEnabled());

    attemptLogin(QStringLiteral("Zoe"), QStringLiteral("first"));
    QCOMPARE(boxes.texts.last(), QStringLiteral("您输入的口令错误！"));
    QVERIFY(!AliveWindow<MainWindow>());
    attemptLogin(QStringLiteral("Zoe"), QStringLiteral("second"));
    QVERIFY(AliveWindow<MainWindow>());
    backFromMainWindow();

    // Delete Zoe; the neighbour keeps its records.
    kvtest::WhenOpen<UserAdminWindow>(this, [&](UserAdminWindow* window) {
        if (!opened(window))
            return;
        SelectRow(window, Rows(window).indexOf(QStringLiteral("Zoe")));
        QTest::mouseClick(window->管理删除用户_按钮, Qt::LeftButton);
        window->管理_编辑框->setText(QStringLiteral("second"));
        QTest::mouseClick(window->管理删除用户最终_按钮, Qt::LeftButton);
        window->close();
    });
    QTest::mouseClick(login_->删除用户_超级链接框1, Qt::LeftButton);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u';')));
    QCOMPARE(boxes.texts.last(), kConfirmDelete);
    QCOMPARE(Users(), (QMap<QString, qint64>{{"neighbour", 1}}));
    attemptLogin(QStringLiteral("Zoe"), QStringLiteral("second"));
    QCOMPARE(boxes.texts.last(), QStringLiteral("此用户没有创建"));
}

QTEST_MAIN(TestUserAdminWindow)
#include "tst_useradminwindow.moc"
