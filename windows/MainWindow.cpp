#include "MainWindow.h"

#include "LoginWindow.h"
#include "StoreAccess.h"
#include "app/Controls.h"
#include "app/Dialogs.h"
#include "app/ListView.h"
#include "app/OverlayPanel.h"
#include "app/Toolkit.h"
#include "store/Statements.h"
#include "store/StoreConnection.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

namespace kv {
namespace {

// The names of one record panel's controls: the add panel and the change panel share
// their layout.
struct PanelNames
{
    const char* panel;
    const char* heading;
    QString headingText;
    const char* labels[3];
    const char* boxes[3];
    const char* confirm;
    QString confirmText;
    const char* exit;
};

struct PanelControls
{
    OverlayPanel* panel;
    QLabel* heading;
    QLineEdit* boxes[3];
    QPushButton* confirm;
    QPushButton* exit;
};

// A panel over the list: heading, three labelled boxes (single line, no limit, plain
// text, so the account password is readable), a confirm and an exit button.
PanelControls MakeRecordPanel(QWidget* window, const PanelNames& names)
{
    PanelControls made{};
    made.panel = new OverlayPanel(window, names.panel, QRect(35, 19, 304, 184));
    made.heading = MakeLabel(made.panel, names.heading, QRect(48, 15, 208, 24), names.headingText);
    const QString labelTexts[3] = {QStringLiteral("用户名"), QStringLiteral("口令"),
                                   QStringLiteral("备注")};
    const int rows[3] = {57, 96, 136};
    for (int i = 0; i < 3; ++i) {
        MakeLabel(made.panel, names.labels[i], QRect(8, rows[i], 45, 25), labelTexts[i]);
        made.boxes[i] =
            MakeEditBox(made.panel, names.boxes[i], QRect(58, rows[i], 152, 24), 0, false);
    }
    made.confirm = MakeButton(made.panel, names.confirm, QRect(229, 61, 50, 40), names.confirmText);
    made.exit = MakeButton(made.panel, names.exit, QRect(229, 116, 50, 40), QStringLiteral("退出"));
    made.panel->SetBoxes({made.boxes[0], made.boxes[1], made.boxes[2]});
    return made;
}

QLabel* MakeHiddenLabel(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setGeometry(geometry);
    label->hide();
    return label;
}

} // namespace

MainWindow::MainWindow() : Window(QSize(380, 250), QStringLiteral("Keyvora --by Morrowen"))
{
    主界面_超级列表框 =
        new ListView(this, "主界面_超级列表框", QRect(8, 8, 304, 200), ListView::Sort::Descending,
                     {QStringLiteral("ID"), QStringLiteral("用户名"), QStringLiteral("口令"),
                      QStringLiteral("备注")},
                     {0, 110, 110, 80});
    // The ID column stays at width 0: the user cannot drag it open, and nothing has to
    // watch it.
    主界面_超级列表框->KeepColumnCollapsed(0);

    主界面_添加按钮 =
        MakeButton(this, "主界面_添加按钮", QRect(317, 25, 50, 35), QStringLiteral("添加"));
    主界面_删除按钮 =
        MakeButton(this, "主界面_删除按钮", QRect(317, 70, 50, 35), QStringLiteral("删除"));
    主界面_全部删除按钮 = MakeButton(this, "主界面_全部删除按钮", QRect(317, 115, 50, 35),
                                     QStringLiteral("全部\n删除"));
    主界面_返回按钮 =
        MakeButton(this, "主界面_返回按钮", QRect(317, 161, 50, 35), QStringLiteral("返回"));

    const PanelControls add = MakeRecordPanel(
        this, {"主界面_添加图片框",
               "透明标签4",
               QStringLiteral("请输入"),
               {"主界面_添加用户透明标签", "主界面_添加密码透明标签", "主界面_添加备注透明标签"},
               {"主界面_添加用户编辑框", "主界面_添加口令编辑框", "主界面_添加备注编辑框"},
               "主界面_添加用户按钮",
               QStringLiteral("添加"),
               "主界面_添加用户退出"});
    主界面_添加图片框 = add.panel;
    透明标签4 = add.heading;
    主界面_添加用户编辑框 = add.boxes[0];
    主界面_添加口令编辑框 = add.boxes[1];
    主界面_添加备注编辑框 = add.boxes[2];
    主界面_添加用户按钮 = add.confirm;
    主界面_添加用户退出 = add.exit;

    const PanelControls change = MakeRecordPanel(
        this, {"主界面_修改图片框",
               "主界面_修改标题透明标签",
               QStringLiteral("请修改"),
               {"主界面_修改用户透明标签", "主界面_修改密码透明标签", "主界面_修改备注透明标签"},
               {"主界面_修改用户编辑框", "主界面_修改口令编辑框", "主界面_修改备注编辑框"},
               "主界面_修改保存按钮",
               QStringLiteral("保存"),
               "主界面_修改退出按钮"});
    主界面_修改图片框 = change.panel;
    主界面_修改用户编辑框 = change.boxes[0];
    主界面_修改口令编辑框 = change.boxes[1];
    主界面_修改备注编辑框 = change.boxes[2];
    主界面_修改保存按钮 = change.confirm;
    主界面_修改退出按钮 = change.exit;

    主界面_添加图片框->SetMainControls(SideControls());
    主界面_修改图片框->SetMainControls(SideControls());

    标签1 = MakeHiddenLabel(this, "标签1", QRect(8, 8, 0, 0));
    标签2 = MakeHiddenLabel(this, "标签2", QRect(120, 0, 0, 0));
    标签3 = MakeHiddenLabel(this, "标签3", QRect(240, 0, 0, 0));

    主界面_外部数据库 = new StoreConnection(this);
    主界面_外部数据库->setObjectName(QStringLiteral("主界面_外部数据库"));

    // The right-click menu of the list: its items do what they say.
    主界面右击 = new QMenu(this);
    主界面右击->setObjectName(QStringLiteral("主界面右击"));
    主界面右击->addAction(QStringLiteral("添加"), this, [this] { OpenAddPanel(); });
    主界面右击->addAction(QStringLiteral("修改"), this, [this] { OpenChangePanel(); });
    主界面右击->addAction(QStringLiteral("删除"), this, [this] { DeleteSelectedRecord(); });
    主界面_超级列表框->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(主界面_超级列表框, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) {
                主界面右击->popup(主界面_超级列表框->viewport()->mapToGlobal(at));
            });

    connect(主界面_添加按钮, &QPushButton::clicked, this, [this] { OpenAddPanel(); });
    connect(主界面_添加用户按钮, &QPushButton::clicked, this, [this] { AddRecord(); });
    connect(主界面_添加用户退出, &QPushButton::clicked, this, [this] { CloseAddPanel(); });
    connect(主界面_删除按钮, &QPushButton::clicked, this, [this] { DeleteSelectedRecord(); });
    connect(主界面_全部删除按钮, &QPushButton::clicked, this, [this] { DeleteAllRecords(); });
    connect(主界面_返回按钮, &QPushButton::clicked, this, [this] { ReturnToLogin(); });
    connect(主界面_修改保存按钮, &QPushButton::clicked, this, [this] { SaveChangedRecord(); });
    connect(主界面_修改退出按钮, &QPushButton::clicked, this, [this] { CloseChangePanel(); });
}

QList<QWidget*> MainWindow::SideControls() const
{
    return {主界面_超级列表框, 主界面_添加按钮, 主界面_删除按钮, 主界面_全部删除按钮,
            主界面_返回按钮};
}

void MainWindow::OnCreated()
{
    FillRecordList();
}

std::optional<bool> MainWindow::OnCanBeClosed()
{
    ExitProgram(0);
}

void MainWindow::ReopenConnection()
{
    主界面_外部数据库->Close();
    OpenStore(*主界面_外部数据库);
}

void MainWindow::FillRecordList()
{
    const LoginWindow* login = AliveWindow<LoginWindow>();
    标签1->setText(login ? login->用户名_编辑框->text() : QString());
    OpenStore(*主界面_外部数据库);
    StoreConnection& store = *主界面_外部数据库;
    {
        ScopedResult rows(store, store.Query(statements::RecordList(标签1->text())));
        while (!store.AtEnd(rows)) {
            const int row = 主界面_超级列表框->InsertRow(QString());
            主界面_超级列表框->SetCellText(row, 0, store.ReadText(rows, 1));
            主界面_超级列表框->SetCellText(row, 1, store.ReadTextStrict(rows, 2));
            主界面_超级列表框->SetCellText(row, 2, store.ReadTextStrict(rows, 3));
            主界面_超级列表框->SetCellText(row, 3, store.ReadTextStrict(rows, 4));
            store.MoveNext(rows);
        }
    }
    主界面_超级列表框->SetCurrentSelection(0);
}

void MainWindow::OpenAddPanel()
{
    主界面_添加图片框->Open();
}

void MainWindow::CloseAddPanel()
{
    主界面_添加图片框->Close();
}

void MainWindow::AddRecord()
{
    StoreConnection& store = *主界面_外部数据库;
    {
        // Asked anew on every press and released at once, so an ID in use is never
        // handed out however often the press is refused.
        ScopedResult highest(store, store.Query(statements::HighestId(标签1->text())));
        标签2->setText(statements::NextRecordId(store.ReadText(highest, QStringLiteral("ID"))));
    }
    const QString insert =
        statements::RecordInsert(标签1->text(), 标签2->text(), 主界面_添加用户编辑框->text(),
                                 主界面_添加口令编辑框->text(), 主界面_添加备注编辑框->text());
    if (主界面_添加用户编辑框->text().isEmpty() || 主界面_添加口令编辑框->text().isEmpty()) {
        ShowMessage(QStringLiteral("请输入内容"));
        FocusControl(主界面_添加用户编辑框);
        return;
    }
    const bool stored = store.Execute(insert);
    ReopenConnection();
    if (!stored) {
        // The panel stays open with everything typed, so the user can try again.
        ShowMessage(QStringLiteral("添加失败，记录没有保存"));
        FocusControl(主界面_添加用户编辑框);
        return;
    }
    CloseAddPanel();
    主界面_超级列表框->RemoveAllRows();
    FillRecordList();
}

void MainWindow::DeleteSelectedRecord()
{
    const int selected = 主界面_超级列表框->CurrentSelection();
    const QString remove =
        statements::RecordDelete(标签1->text(), 主界面_超级列表框->CellText(selected, 0));
    if (selected == -1) {
        ShowMessage(QStringLiteral("没有用户"));
        return;
    }
    if (ShowMessage(QStringLiteral("你确定删除？"), 1) != 0)
        return;
    const bool deleted = 主界面_外部数据库->Execute(remove);
    主界面_超级列表框->RemoveAllRows();
    FillRecordList();
    ReopenConnection();
    if (!deleted)
        ShowMessage(QStringLiteral("删除失败，记录没有删除"));
}

void MainWindow::DeleteAllRecords()
{
    const QString removeAll = statements::RecordDeleteAll(标签1->text());
    if (ShowMessage(QStringLiteral("你确定全部删除？"), 1) != 0)
        return;
    const bool deleted = 主界面_外部数据库->Execute(removeAll);
    ReopenConnection();
    ShowMessage(deleted ? QStringLiteral("全部删除成功")
                        : QStringLiteral("全部删除失败，记录没有删除"));
    主界面_超级列表框->RemoveAllRows();
    FillRecordList();
}

void MainWindow::ReturnToLogin()
{
    主界面_外部数据库->Close();
    ReopenLoginConnection();
    LoginWindow* login = AliveWindow<LoginWindow>();
    if (login) {
        login->用户名_编辑框->clear();
        login->口令_编辑框->clear();
        FocusControl(login->用户名_编辑框);
    }
    DestroyWindowDeferred(this);
    if (login)
        login->setVisible(true);
}

void MainWindow::OpenChangePanel()
{
    const int selected = 主界面_超级列表框->CurrentSelection();
    if (selected == -1) {
        ShowMessage(QStringLiteral("没有用户"));
        return;
    }
    标签3->setText(主界面_超级列表框->CellText(selected, 0));
    主界面_修改用户编辑框->setText(主界面_超级列表框->CellText(selected, 1));
    主界面_修改口令编辑框->setText(主界面_超级列表框->CellText(selected, 2));
    主界面_修改备注编辑框->setText(主界面_超级列表框->CellText(selected, 3));
    主界面_修改图片框->Open();
}

void MainWindow::CloseChangePanel()
{
    主界面_修改图片框->Close();
}

void MainWindow::SaveChangedRecord()
{
    if (主界面_修改用户编辑框->text().isEmpty() || 主界面_修改口令编辑框->text().isEmpty()) {
        ShowMessage(QStringLiteral("请输入内容"));
        FocusControl(主界面_修改用户编辑框);
        return;
    }
    const bool saved = 主界面_外部数据库->Execute(
        statements::RecordUpdate(标签1->text(), 标签3->text(), 主界面_修改用户编辑框->text(),
                                 主界面_修改口令编辑框->text(), 主界面_修改备注编辑框->text()));
    ReopenConnection();
    if (!saved) {
        ShowMessage(QStringLiteral("修改失败，记录没有保存"));
        FocusControl(主界面_修改用户编辑框);
        return;
    }
    CloseChangePanel();
    主界面_超级列表框->RemoveAllRows();
    FillRecordList();
}

} // namespace kv
