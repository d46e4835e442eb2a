// MainWindow driven through its real widgets after a real login against a real store in a
// temporary run directory: the record list, adding with the next ID, deleting one or all,
// the right-click menu, failures reported as failures, the way back, and the two ways the
// window ends the program.

#include "WindowTestSupport.h"
#include "support/ChildProcess.h"

#include "app/ListView.h"
#include "app/OverlayPanel.h"
#include "app/Toolkit.h"
#include "windows/LastUserFile.h"
#include "windows/LoginWindow.h"
#include "windows/MainWindow.h"
#include "windows/Startup.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>

using namespace kv;
using kvtest::MessageBoxes;

namespace {

// The list's rows as "ID|user|password|remark", top to bottom.
QStringList Rows(MainWindow* window)
{
    QStringList rows;
    ListView* list = window->主界面_超级列表框;
    for (int row = 0; row < list->RowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < 4; ++column)
            cells << list->CellText(row, column);
        rows << cells.join(u'|');
    }
    return rows;
}

bool SelectId(MainWindow* window, const QString& id)
{
    ListView* list = window->主界面_超级列表框;
    for (int row = 0; row < list->RowCount(); ++row)
        if (list->CellText(row, 0) == id) {
            list->SetCurrentSelection(row);
            return list->CurrentSelection() == row;
        }
    return false;
}

// Opens the add panel with its button, types the three texts and presses "添加".
void Add(MainWindow* window, const QString& user, const QString& password,
         const QString& remark = QString())
{
    QTest::mouseClick(window->主界面_添加按钮, Qt::LeftButton);
    kvtest::Type(window->主界面_添加用户编辑框, user);
    kvtest::Type(window->主界面_添加口令编辑框, password);
    kvtest::Type(window->主界面_添加备注编辑框, remark);
    QTest::mouseClick(window->主界面_添加用户按钮, Qt::LeftButton);
}

QStringList Sorted(QStringList rows)
{
    rows.sort();
    return rows;
}

const QStringList kAliceRecords = {QStringLiteral("1|mail|m-pass|工作"),
                                   QStringLiteral("2|bank|b-pass|"),
                                   QStringLiteral("3|game|g-pass|周末")};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void listShowsTheUsersRecords();
    void addGivesTheNextIds();
    void addRefusedWithoutNameOrPassword_data();
    void addRefusedWithoutNameOrPassword();
    void idAfterDeleting_data();
    void idAfterDeleting();
    void deleteWithoutSelection();
    void cancelledConfirmationChangesNothing_data();
    void cancelledConfirmationChangesNothing();
    void deleteAllReportsSuccess();
    void panelDisablesListAndSideButtons();
    void quotesAndBracketsStoredAndShownExactly();
    void manyRefusedAddsNeverReuseAnId();
    void failedChangesAreReported_data();
    void failedChangesAreReported();
    void idColumnStaysCollapsed();
    void rightClickMenu();
    void returnAndLogInAsAnotherUser();
    void closingEndsTheProgram_data();
    void closingEndsTheProgram();
    void valueThatIsNotTextStopsBeforeShowing();

private:
    MainWindow* LogIn(const QString& name, const QString& password);

    std::unique_ptr<kvtest::RunDirectory> run_;
};

void TestMainWindow::init()
{
    run_ = std::make_unique<kvtest::RunDirectory>();
    QVERIFY(run_->IsValid());
    QVERIFY(run_->AddUser(QStringLiteral("alice"), QStringLiteral("a1")));
    QVERIFY(run_->AddUser(QStringLiteral("bob"), QStringLiteral("b1")));
    QVERIFY(run_->Run({statements::RecordInsert("alice", "1", "mail", "m-pass", "工作"),
                       statements::RecordInsert("alice", "2", "bank", "b-pass", ""),
                       statements::RecordInsert("alice", "3", "game", "g-pass", "周末")}));
}

void TestMainWindow::cleanup()
{
    delete AliveWindow<MainWindow>();
    delete AliveWindow<LoginWindow>();
    QTRY_VERIFY(!AliveWindow<LoginWindow>());
    run_.reset();
}

// Logs in through the login window as a person would.
MainWindow* TestMainWindow::LogIn(const QString& name, const QString& password)
{
    if (!AliveWindow<LoginWindow>() && !LoadWindow<LoginWindow>())
        return nullptr;
    LoginWindow* login = AliveWindow<LoginWindow>();
    login->用户名_编辑框->setText(name);
    login->口令_编辑框->setText(password);
    QTest::mouseClick(login->登陆_按钮, Qt::LeftButton);
    MainWindow* window = AliveWindow<MainWindow>();
    if (!window || !kvtest::Activate(window))
        return nullptr;
    return window;
}

void TestMainWindow::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    const QString window = QStringLiteral("window");
    const QString panel = QStringLiteral("主界面_添加图片框");
    QTest::newRow("list") << "主界面_超级列表框" << window << QRect(8, 8, 304, 200) << "";
    QTest::newRow("add") << "主界面_添加按钮" << window << QRect(317, 25, 50, 35) << "添加";
    QTest::newRow("delete") << "主界面_删除按钮" << window << QRect(317, 70, 50, 35) << "删除";
    QTest::newRow("delete all") << "主界面_全部删除按钮" << window << QRect(317, 115, 50, 35)
                                << "全部\n删除";
    QTest::newRow("return") << "主界面_返回按钮" << window << QRect(317, 161, 50, 35) << "返回";
    QTest::newRow("panel") << panel << window << QRect(35, 19, 304, 184) << "";
    QTest::newRow("heading") << "透明标签4" << panel << QRect(48, 15, 208, 24) << "请输入";
    QTest::newRow("user label") << "主界面_添加用户透明标签" << panel << QRect(8, 57, 45, 25)
                                << "用户名";
    QTest::newRow("password label")
        << "主界面_添加密码透明标签" << panel << QRect(8, 96, 45, 25) << "口令";
    QTest::newRow("remark label") << "主界面_添加备注透明标签" << panel << QRect(8, 136, 45, 25)
                                  << "备注";
    QTest::newRow("user box") << "主界面_添加用户编辑框" << panel << QRect(58, 57, 152, 24) << "";
    QTest::newRow("password box") << "主界面_添加口令编辑框" << panel << QRect(58, 96, 152, 24)
                                  << "";
    QTest::newRow("remark box") << "主界面_添加备注编辑框" << panel << QRect(58, 136, 152, 24)
                                << "";
    QTest::newRow("add record") << "主界面_添加用户按钮" << panel << QRect(229, 61, 50, 40)
                                << "添加";
    QTest::newRow("close panel") << "主界面_添加用户退出" << panel << QRect(229, 116, 50, 40)
                                 << "退出";
    QTest::newRow("table name") << "标签1" << window << QRect(8, 8, 0, 0) << "alice";
    QTest::newRow("new ID") << "标签2" << window << QRect(120, 0, 0, 0) << "";
}

void TestMainWindow::layout()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    MainWindow* window = LogIn(QStringLiteral("alice"), QStringLiteral("a1"));
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("Keyvora --by Morrowen"));
    QCOMPARE(window->size(), ClientSizeForOuter(QSize(380, 250)));
    QVERIFY(!window->主界面_添加图片框->isVisible());
    QVERIFY(!window->标签1->isVisible() && !window->标签2->isVisible());

    auto* control = window->findChild<QWidget*>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(control->parentWidget() == window ? QStringLiteral("window")
                                               : control->parentWidget()->objectName(),
             parent);
    QCOMPARE(control->geometry(), geometry);
    if (auto* label = qobject_cast<QLabel*>(control))
        QCOMPARE(label->text(), text);
    else if (auto* button = qobject_cast<QPushButton*>(control)) {
        QCOMPARE(button->text(), text);
        QVERIFY(!button->isDefault() && !button->autoDefault());
    } else if (auto* box = qobject_cast<QLineEdit*>(control)) {
        // No limit, and the account password is readable.
        QCOMPARE(box->echoMode(), QLineEdit::Normal);
        QVERIFY(box->maxLength() >= 32767 && !box->validator());
    }
    QVERIFY(window->findChild<StoreConnection*>(QStringLiteral("主界面_外部数据库"))->IsOpen());
}

void TestMainWindow::listShowsTheUsersRecords()
{
    MainWindow* window = LogIn(QStringLiteral("alice"), QStringLiteral("a1"));
    QVERIFY(window);
    ListView* list = window->主界面_超级列表框;
    QCOMPARE(Sorted(Rows(window)), kAliceRecords);
    QCOMPARE(list->CurrentSelection(), 0);
    QCOMPARE(window->标签1->text(), QStringLiteral("alice"));
    const QStringList headers = {QStringLiteral("ID"), QStringLiteral("用户名"),
                                 QStringLiteral("口令"), QStringLiteral("备注")};
    const QList<int> widths = {0, 110, 110, 80};
    for (int column = 0; column < 4; ++column) {
        QCOMPARE(list->model()->headerData(column, Qt::Horizontal).toString(), headers[column]);
        QCOMPARE(list->header()->sectionSize(column), widths[column]);
    }
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
}

void TestMainWindow::addGivesTheNextIds()
{
    MainWindow* window = LogIn(QStringLiteral("bob"), QStringLiteral("b1"));
    QVERIFY(window);
    QCOMPARE(window->主界面_超级列表框->RowCount(), 0);
    MessageBoxes boxes;
    Add(window, QStringLiteral("首个"), QStringLiteral("p1")); // empty remark is fine
    QCOMPARE(run_->Records(QStringLiteral("bob")), QStringList{QStringLiteral("1|首个|p1|")});
    // Back to the plain state: panel hidden and emptied, list refilled, first row selected.
    QVERIFY(!window->主界面_添加图片框->isVisible());
    for (QLineEdit* box : {window->主界面_添加用户编辑框, window->主界面_添加口令编辑框,
                           window->主界面_添加备注编辑框})
        QCOMPARE(box->text(), QString());
    for (QWidget* control : {static_cast<QWidget*>(window->主界面_超级列表框),
                             static_cast<QWidget*>(window->主界面_添加按钮),
                             static_cast<QWidget*>(window->主界面_删除按钮),
                             static_cast<QWidget*>(window->主界面_全部删除按钮),
                             static_cast<QWidget*>(window->主界面_返回按钮)})
        QVERIFY(control->isEnabled());
    QCOMPARE(Rows(window), QStringList{QStringLiteral("1|首个|p1|")});
    QCOMPARE(window->主界面_超级列表框->CurrentSelection(), 0);

    Add(window, QStringLiteral("second"), QStringLiteral("p2"), QStringLiteral("r"));
    QCOMPARE(Sorted(run_->Records(QStringLiteral("bob"))),
             (QStringList{QStringLiteral("1|首个|p1|"), QStringLiteral("2|second|p2|r")}));
    QCOMPARE(Sorted(Rows(window)), Sorted(run_->Records(QStringLiteral("bob"))));
    QVERIFY(boxes.texts.isEmpty());
}

void TestMainWindow::addRefusedWithoutNameOrPassword_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("remark");
    QTest::newRow("no user name") << ""
                                  << "p"
                                  << "r";
    QTest::newRow("no password") << "u"
                                 << ""
                                 << "r";
    QTest::newRow("nothing") << ""
                             << ""
                             << "";
}

void TestMainWindow::addRefusedWithoutNameOrPassword()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, remark);
    MainWindow* window = LogIn(QStringLiteral("alice"), QStringLiteral("a1"));
    QVERIFY(window);
    MessageBoxes boxes;
    Add(window, user, password, remark);
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("请输入内容")});
    QCOMPARE(boxes.captions, QStringList{QStringLiteral("信息：")});
    // The ID was still worked out; the panel stays open with what was typed.
    QCOMPARE(window->标签2->text(), QStringLiteral("4"));
    QVERIFY(window->主界面_添加图片框->isVisible());
    QVERIFY(!window->主界面_超级列表框->isEnabled());
    QCOMPARE(window->主界面_添加用户编辑框->text(), user);
    QCOMPARE(window->主界面_添加口令编辑框->text(), password);
    QCOMPARE(window->主界面_添加备注编辑框->text(), remark);
    QVERIFY(kvtest::Activate(window));
    QCOMPARE(QApplication::focusWidget(), window->主界面_添加用户编辑框);
    QCOMPARE(Sorted(run_->Records(QStringLiteral("alice"))), kAliceRecords);
}

void TestMainWindow::idAfterDeleting_data()
{
    QTest::addColumn<QString>("deleted"); // an ID, or "all"
    QTest::addColumn<QString>("nextId");
    QTest::newRow("highest deleted: its ID comes again") << "3"
                                                         << "3";
    QTest::newRow("middle deleted: highest + 1") << "2"
                                                 << "4";
    QTest::newRow("lowest deleted: highest + 1") << "1"
                                                 << "4";
    QTest::newRow("all deleted: starts at 1") << "all"
                                              << "1";
}

void TestMainWindow::idAfterDeleting()
{
    QFETCH(QString, deleted);
    QFETCH(QString, nextId);
    MainWindow* window = LogIn(QStringLiteral("alice"), QStringLiteral("a1"));
    QVERIFY(window);
    MessageBoxes boxes;
    if (deleted == QLatin1String("all")) {
        QTest::mouseClick(window->主界面_全部删除按钮, Qt::LeftButton);
        QCOMPARE(boxes.texts,
                 (QStringList{QStringLiteral("你确定全部删除？"), QStringLiteral("全部删除成功")}));
        QCOMPARE(window->主界面_超级列表框->RowCount(), 0);
    } else {
        QVERIFY(SelectId(window, deleted));
        QTest::mouseClick(window->主界面_删除按钮, Qt::LeftButton);
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("你确定删除？")});
        QCOMPARE(window->主界面_超级列表框->RowCount(), 2);
        QCOMPARE(window->主界面_超级列表框->CurrentSelection(), 0);
        for (const QString& row : Rows(window))
            QVERIFY(!row.startsWith(deleted + u'|'));
    }
    Add(window, QStringLiteral("new"), QStringLiteral("pw"));
    QVERIFY(run_->Records(QStringLiteral("alice")).contains(nextId + QStringLiteral("|new|pw|")));
    QCOMPARE(Sorted(Rows(window)), Sorted(run_->Records(QStringLiteral("alice"))));
}

void TestMainWindow::deleteWithoutSelection()
{
    {
        MainWindow* window = LogIn(QStringLiteral("bob"), QStringLiteral("b1"));
        QVERIFY(window);
        MessageBoxes boxes;
        QTest::mouseClick(window->主界面_删除按钮, Qt::LeftButton);
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("没有用户")});
        QTest::mouseClick(window->主界面_返回按钮, Qt::LeftButton);
        QTRY_VERIFY(!AliveWindow<MainWindow>());
    }
    MainWindow* window = LogIn(QStringLiteral("alice"), QStringLiteral("a1"));
    QVERIFY(window);
    window->主界面_超级列表框->clearSelection();
    MessageBoxes boxes;
    QTest::mouseClick(window->主界面_删除按钮, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("没有用户")});
    QCOMPARE(Sorted(run_->Records(QStringLiteral("alice"))), kAliceRecords);
}

void TestMainWindow::cancelledConfirmationChangesNothing_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("question");
    QTest::newRow("delete") << "主界面_删除按钮"
                            << "你确定删除？";
    QTest::newRow("delete all") << "主界面_全部删除按钮"
                                << "你确定全部删除？";
}

void TestMainWindow::cancelledConfirmationChangesNothing()
{
    QFETCH(QString, button);
    QFETCH(QString, question);
    MainWindow* window = LogIn(QStringLiteral("alice"), QStringLiteral("a1"));
    QVERIFY(window);
    MessageBoxes boxes;
    boxes.cancels = {true};
    QTest::mouseClick(window->findChild<QPushButton*>(button), Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{question});
    QCOMPARE(Sorted(run_->Records(QStringLiteral("alice"))), kAliceRecords);
    QCOMPARE(Sorted(Rows(window)), kAliceRecords);
}

void TestMainWindow::deleteAllReportsSuccess()
{
    MainWindow* window = LogIn(QStringLiteral("alice"), QStringLiteral("a1"));
    QVERIFY(window);
    MessageBoxes boxes;
    QTest::mouseClick(window->主界面_全部删除按钮, Qt::LeftButton);
    QCOMPARE(boxes.texts,
             (QStringList{QStringLiteral("你确定全部删除？"), QStringLiteral("全部删除成功")}));
    QCOMPARE(run_->Records(QStringLiteral("alice")), QStringList());
    QCOMPARE(window->主界面_超级列表框->RowCount(), 0);
    QCOMPARE(window->主界面_超级列表框->CurrentSelection(), -1);
    // Other users' records are untouched.
    QVERIFY(run_->AddRecord(QStringLiteral("bob"), 1, "x", "y"));
    QCOMPARE(run_->Records(QStringLiteral("bob")).size(), 1);
}

void TestMainWindow::panelDisablesListAndSideButtons()
{
    MainWindow* window = LogIn(QStringLiteral("alice"), QStringLiteral("a1"));
    QVERIFY(window);
    QTest::mouseClick(window->主界面_添加按钮, Qt::LeftButton);
    QVERIFY(window->主界面_添加图片框->isVisible());
    QCOMPARE(QApplication::focusWidget(), window->主界面_添加用户编辑框);
    const QList<QWidget*> side = {window->主界面_超级列表框, window->主界面_添加按钮,
                                  window->主界面_删除按钮, window->主界面_全部删除按钮,
                                  window->主界面_返回按钮};
    for (QWidget* control : side)
        QVERIFY(!control->isEnabled());

    MessageBoxes boxes;
    // Clicks on the side buttons and Enter in the panel do nothing.
    QTest::mouseClick(window->主界面_删除按钮, Qt::LeftButton);
    QTest::mouseClick(window->主界面_返回按钮, Qt::LeftButton);
    kvtest::Type(window->主界面_添加用户编辑框, QStringLiteral("u"));
    kvtest::Type(window->主界面_添加口令编辑框, QStringLiteral("p"));
    QTest::keyClick(window->主界面_添加口令编辑框, Qt::Key_Return);
    QTest::qWait(30);
    QVERIFY(boxes.texts.isEmpty());
    QVERIFY(AliveWindow<MainWindow>());
    QCOMPARE(run_->Records(QStringLiteral("alice")).size(), 3);

    // "退出" closes the panel: enabled again, boxes emptied, nothing stored.
    QTest::mouseClick(window->主界面_添加用户退出, Qt::LeftButton);
    QVERIFY(!window->主界面_添加图片框->isVisible());
    for (QWidget* control : side)
        QVERIFY(control->isEnabled());
    QCOMPARE(window->主界面_添加用户编辑框->text(), QString());
    QCOMPARE(window->主界面_添加口令编辑框->text(), QString());
    QCOMPARE(run_->Records(QStringLiteral("alice")).size(), 3);
    QVERIFY(boxes.texts.isEmpty());
}

void TestMainWindow::quotesAndBracketsStoredAndShownExactly()
{
    MainWindow* window = LogIn(QStringLiteral("alice"), QStringLiteral("a1"));
    QVERIFY(window);
    MessageBoxes boxes;
    const QString user = QStringLiteral("o'neil]");
    const QString password = QStringLiteral("a'b]c[''");
    const QString remark = QStringLiteral("'); delete from [alice]; --");
    Add(window, user, password, remark);
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join(u',')));
    const QString expected = QStringList{"4", user, password, remark}.join(u'|');
    QCOMPARE(Sorted(run_->Records(QStringLiteral("alice"))),
             Sorted(kAliceRecords + QStringList{expected}));
    QVERIFY(Rows(window).contains(expected));
}

void TestMainWindow::manyRefusedAddsNeverReuseAnId()
{
    MainWindow* window = LogIn(QStringLiteral("alice"), QStringLiteral("a1"));
    QVERIFY(window);
    QTest::mouseClick(window->主界面_添加按钮, Qt::LeftButton);
    {
        MessageBoxes boxes;
        for (int i = 0; i < 40; ++i)
            QTest::mouseClick(window->主界面_添加用户按钮, Qt::LeftButton);
        QCOMPARE(boxes.texts.size(), 40);
        QCOMPARE(window->标签2->text(), QStringLiteral("4"));
    }
    MessageBoxes boxes;
    kvtest::Type(window->主界面_添加用户编辑框, QStringLiteral("late"));
    kvtest::Type(window->主界面_添加口令编辑框, QStringLiteral("pw"));
    QTest::mouseClick(window->主界面_添加用户按钮, Qt::LeftButton);
    QVERIFY(boxes.texts.isEmpty());
    QVERIFY(run_->Records(QStringLiteral("alice")).contains(QStringLiteral("4|late|pw|")));
    // Every ID is used once.
    QStringList ids;
    for (const QString& row : run_->Records(QStringLiteral("alice")))
        ids << row.section(u'|', 0, 0);
    ids.removeDuplicates();
    QCOMPARE(ids.size(), 4);
}

void TestMainWindow::failedChangesAreReported_data()
{
    QTest::addColumn<QString>("refused"); // the statement the store refuses
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("insert") << "INSERT"
                            << "add" << QStringList{QStringLiteral("添加失败，记录没有保存")};
    QTest::newRow("delete") << "DELETE"
                            << "delete"
                            << QStringList{QStringLiteral("你确定删除？"),
                                           QStringLiteral("删除失败，记录没有删除")};
    QTest::newRow("delete all") << "DELETE"
                                << "delete all"
                                << QStringList{QStringLiteral("你确定全部删除？"),
                                               QStringLiteral("全部删除失败，记录没有删除")};
    QTest::newRow("change") << "UPDATE"
                            << "change" << QStringList{QStringLiteral("修改失败，记录没有保存")};
}

void TestMainWindow::failedChangesAreReported()
{
    QFETCH(QString, refused);
    QFETCH(QString, action);
    QFETCH(QStringList, messages);
    MainWindow* window = LogIn(QStringLiteral("alice"), QStringLiteral("a1"));
    QVERIFY(window);
    // The store refuses the statement after the window was filled.
    QVERIFY(run_->Run({QStringLiteral("CREATE TRIGGER refuse BEFORE %1 ON [alice] BEGIN "
                                      "SELECT RAISE(ABORT, 'refused'); END")
                           .arg(refused)}));
    MessageBoxes boxes;
    if (action == QLatin1String("add")) {
        Add(window, QStringLiteral("kept"), QStringLiteral("typed"), QStringLiteral("备注"));
        // Nothing typed is lost: the panel stays open with the texts.
        QVERIFY(window->主界面_添加图片框->isVisible());
        QCOMPARE(window->主界面_添加用户编辑框->text(), QStringLiteral("kept"));
        QCOMPARE(window->主界面_添加口令编辑框->text(), QStringLiteral("typed"));
        QCOMPARE(window->主界面_添加备注编辑框->text(), QStringLiteral("备注"));
    } else if (action == QLatin1String("delete")) {
        QVERIFY(SelectId(window, QStringLiteral("2")));
        QTest::mouseClick(window->主界面_删除按钮, Qt::LeftButton);
    } else if (action == QLatin1String("delete all")) {
        QTest::mouseClick(window->主界面_全部删除按钮, Qt::LeftButton);
    } else {
        QVERIFY(SelectId(window, QStringLiteral("2")));
        window->主界面右击->actions().at(1)->trigger();
        window->主界面_修改口令编辑框->setText(QStringLiteral("changed"));
        QTest::mouseClick(window->主界面_修改保存按钮, Qt::LeftButton);
        QVERIFY(window->主界面_修改图片框->isVisible());
        QCOMPARE(window->主界面_修改口令编辑框->text(), QStringLiteral("changed"));
    }
    QCOMPARE(boxes.texts, messages);
    QCOMPARE(Sorted(run_->Records(QStringLiteral("alice"))), kAliceRecords);
    QCOMPARE(Sorted(Rows(window)), kAliceRecords);
}

void TestMainWindow::idColumnStaysCollapsed()
{
    MainWindow* window = LogIn(QStringLiteral("alice"), QStringLiteral("a1"));
    QVERIFY(window);
    QHeaderView* header = window->主界面_超级列表框->header();
    QCOMPARE(header->sectionSize(0), 0);

    // Dragging where the ID column's divider lies, and double-clicking it, opens nothing.
    QWidget* grip = header->viewport();
    const int y = header->height() / 2;
    for (int x : {0, 1, 2}) {
        QTest::mousePress(grip, Qt::LeftButton, {}, QPoint(x, y));
        QTest::mouseMove(grip, QPoint(x + 60, y));
        QTest::mouseRelease(grip, Qt::LeftButton, {}, QPoint(x + 60, y));
        QTest::mouseDClick(grip, Qt::LeftButton, {}, QPoint(x, y));
    }
    QCOMPARE(header->sectionSize(0), 0);
    QCOMPARE(header->sectionResizeMode(0), QHeaderView::Fixed);
    // The next column can still be resized by its own divider.
    QCOMPARE(header->sectionResizeMode(1), QHeaderView::Interactive);

    // Refills keep it collapsed; no timer wakes the idle program to do it.
    MessageBoxes boxes;
    Add(window, QStringLiteral("u"), QStringLiteral("p"));
    QCOMPARE(header->sectionSize(0), 0);
    for (QTimer* timer : window->findChildren<QTimer*>())
        QVERIFY2(!timer->isActive(), qPrintable(timer->objectName()));
}

void TestMainWindow::rightClickMenu()
{
    MainWindow* window = LogIn(QStringLiteral("alice"), QStringLiteral("a1"));
    QVERIFY(window);
    ListView* list = window->主界面_超级列表框;
    QMenu* menu = window->主界面右击;
    QCOMPARE(menu->objectName(), QStringLiteral("主界面右击"));
    QStringList items;
    for (QAction* action : menu->actions()) {
        items << action->text();
        QVERIFY(action->shortcut().isEmpty());
    }
    QCOMPARE(items,
             (QStringList{QStringLiteral("添加"), QStringLiteral("修改"), QStringLiteral("删除")}));

    // A right click on the list pops it up.
    const QPoint on = list->visualRect(list->model()->index(1, 1)).center();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, on, list->viewport()->mapToGlobal(on));
    QApplication::sendEvent(list->viewport(), &rightClick);
    QTRY_VERIFY(menu->isVisible());
    menu->hide();

    // "修改": the change panel holds the selected record; saving keeps its ID.
    QVERIFY(SelectId(window, QStringLiteral("2")));
    menu->actions().at(1)->trigger();
    QVERIFY(window->主界面_修改图片框->isVisible());
    QVERIFY(!list->isEnabled() && !window->主界面_添加按钮->isEnabled());
    QCOMPARE(window->主界面_修改用户编辑框->text(), QStringLiteral("bank"));
    QCOMPARE(window->主界面_修改口令编辑框->text(), QStringLiteral("b-pass"));
    QCOMPARE(window->主界面_修改备注编辑框->text(), QString());
    QCOMPARE(QApplication::focusWidget(), window->主界面_修改用户编辑框);
    window->主界面_修改口令编辑框->clear();
    kvtest::Type(window->主界面_修改口令编辑框, QStringLiteral("n'ew]"));
    kvtest::Type(window->主界面_修改备注编辑框, QStringLiteral("改过"));
    MessageBoxes boxes;
    QTest::mouseClick(window->主界面_修改保存按钮, Qt::LeftButton);
    QVERIFY(boxes.texts.isEmpty());
    QVERIFY(!window->主界面_修改图片框->isVisible());
    QVERIFY(list->isEnabled());
    const QStringList changed = {kAliceRecords[0], QStringLiteral("2|bank|n'ew]|改过"),
                                 kAliceRecords[2]};
    QCOMPARE(Sorted(run_->Records(QStringLiteral("alice"))), changed);
    QCOMPARE(Sorted(Rows(window)), changed);

    // A change needs a name and a password, as an add does.
    QVERIFY(SelectId(window, QStringLiteral("3")));
    menu->actions().at(1)->trigger();
    window->主界面_修改用户编辑框->clear();
    QTest::mouseClick(window->主界面_修改保存按钮, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("请输入内容")});
    QTest::mouseClick(window->主界面_修改退出按钮, Qt::LeftButton);
    QCOMPARE(Sorted(run_->Records(QStringLiteral("alice"))), changed);

    // "删除" deletes the selected record after the confirmation.
    boxes.Clear();
    QVERIFY(SelectId(window, QStringLiteral("1")));
    menu->actions().at(2)->trigger();
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("你确定删除？")});
    QCOMPARE(Sorted(run_->Records(QStringLiteral("alice"))), changed.mid(1));

    // "添加" opens the add panel.
    QVERIFY(kvtest::Activate(window));
    menu->actions().at(0)->trigger();
    QVERIFY(window->主界面_添加图片框->isVisible());
    QCOMPARE(QApplication::focusWidget(), window->主界面_添加用户编辑框);
}

void TestMainWindow::returnAndLogInAsAnotherUser()
{
    QVERIFY(run_->AddRecord(QStringLiteral("bob"), 7, QStringLiteral("bobs"), QStringLiteral("x")));
    MainWindow* window = LogIn(QStringLiteral("alice"), QStringLiteral("a1"));
    QVERIFY(window);
    LoginWindow* login = AliveWindow<LoginWindow>();
    QVERIFY(!login->isVisible());
    QTest::mouseClick(window->主界面_返回按钮, Qt::LeftButton);
    QTRY_VERIFY(!AliveWindow<MainWindow>());
    QVERIFY(login->isVisible());
    QCOMPARE(login->用户名_编辑框->text(), QString());
    QCOMPARE(login->口令_编辑框->text(), QString());
    QVERIFY(login->登陆_外部数据库->IsOpen());
    QVERIFY(kvtest::Activate(login));
    QCOMPARE(QApplication::focusWidget(), login->用户名_编辑框);

    MainWindow* second = LogIn(QStringLiteral("bob"), QStringLiteral("b1"));
    QVERIFY(second);
    QCOMPARE(Rows(second), QStringList{QStringLiteral("7|bobs|x|")});
    QCOMPARE(second->标签1->text(), QStringLiteral("bob"));
}

void TestMainWindow::closingEndsTheProgram_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::newRow("Esc while the add panel is shown") << "esc-panel";
    QTest::newRow("close box") << "close-box";
}

void TestMainWindow::closingEndsTheProgram()
{
    QFETCH(QString, scenario);
    if (kvtest::ChildScenario() == scenario) {
        // init() has made the run directory with alice's records.
        QTimer::singleShot(0, [this, scenario] {
            MainWindow* window = LogIn(QStringLiteral("alice"), QStringLiteral("a1"));
            if (!window) {
                std::puts("NO WINDOW");
                std::exit(3);
            }
            if (scenario == QLatin1String("esc-panel")) {
                QTest::mouseClick(window->主界面_添加按钮, Qt::LeftButton);
                QTest::keyClick(window->主界面_添加用户编辑框, Qt::Key_Escape);
            } else {
                window->close();
            }
            std::puts("STILL RUNNING");
        });
        RunProgram<LoginWindow>();
        std::puts("LOOP ENDED");
        std::exit(4);
    }
    const kvtest::ChildOutcome child =
        kvtest::RunChild(QString::fromLatin1(QTest::currentTestFunction()), scenario);
    QVERIFY2(!child.crashed, qPrintable(child.output));
    QCOMPARE(child.exitCode, 0);
    QVERIFY2(!child.output.contains(QStringLiteral("STILL RUNNING")), qPrintable(child.output));
    QVERIFY(!child.output.contains(QStringLiteral("LOOP ENDED")));
}

// A record whose user name is stored in an integer column stops the program with the
// type-mismatch error box, before the main window is shown and before the last-user
// file is written.
void TestMainWindow::valueThatIsNotTextStopsBeforeShowing()
{
    if (kvtest::ChildScenario() == QLatin1String("mismatch")) {
        kvtest::RunDirectory run;
        if (!run.Run(
                {statements::UserInsert("carol", "c1", "c1"),
                 QStringLiteral("CREATE TABLE [carol] (ID INT, 用户名 INT, 口令 TEXT, 备注 NOTE)"),
                 QStringLiteral("INSERT INTO [carol] VALUES (1, 42, 'p', 'r')")}) ||
            !kvtest::WriteFileBytes(run.File(QStringLiteral("skin.ini")), "earlier")) {
            std::puts("NO STORE");
            std::exit(3);
        }
        PrepareProgram();
        struct ShowWatch : QObject
        {
            bool eventFilter(QObject* watched, QEvent* event) override
            {
                if (event->type() == QEvent::Show && qobject_cast<MainWindow*>(watched))
                    std::puts("MAIN SHOWN");
                return false;
            }
        };
        qApp->installEventFilter(new ShowWatch);
        auto* boxes = new MessageBoxes;
        boxes->onShown = [&run](QMessageBox* box) {
            std::printf("CAPTION=%s\nTEXT=%s\nSKIN=%s\n", qPrintable(box->windowTitle()),
                        qPrintable(box->text().replace(QStringLiteral("\r\n"), "|")),
                        kvtest::FileBytes(run.File(QStringLiteral("skin.ini"))).constData());
            std::fflush(stdout);
        };
        if (!LoadWindow<LoginWindow>())
            std::exit(3);
        LoginWindow* login = AliveWindow<LoginWindow>();
        login->用户名_编辑框->setText(QStringLiteral("carol"));
        login->口令_编辑框->setText(QStringLiteral("c1"));
        QTest::mouseClick(login->登陆_按钮, Qt::LeftButton);
        std::puts("RETURNED");
        std::exit(4);
    }
    const kvtest::ChildOutcome child =
        kvtest::RunChild(QStringLiteral("valueThatIsNotTextStopsBeforeShowing"), "mismatch");
    QVERIFY2(!child.crashed, qPrintable(child.output));
    QCOMPARE(child.exitCode, 255);
    QVERIFY2(child.output.contains(QStringLiteral("CAPTION=错误")), qPrintable(child.output));
    QVERIFY2(child.output.contains(
                 QStringLiteral("TEXT=运行时出错!||错误代码：5||错误信息：数据或数组类型不匹配|")),
             qPrintable(child.output));
    QVERIFY(child.output.contains(QStringLiteral("SKIN=earlier")));
    QVERIFY(!child.output.contains(QStringLiteral("MAIN SHOWN")));
    QVERIFY(!child.output.contains(QStringLiteral("RETURNED")));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
