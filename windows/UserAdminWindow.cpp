#include "UserAdminWindow.h"

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
#include <QMouseEvent>
#include <QPushButton>

namespace kv {
namespace {

QLabel* MakePanelLabel(QWidget* panel, const char* name, const QRect& geometry, const QString& text)
{
    QLabel* label = MakeLabel(panel, name, geometry, text);
    SetTextColour(label, Qt::black);
    return label;
}

QLineEdit* MakePasswordBox(QWidget* panel, const char* name, const QRect& geometry)
{
    QLineEdit* box = MakeEditBox(panel, name, geometry, 16, true);
    SetBackground(box, Qt::white);
    SetTextColour(box, Qt::black);
    return box;
}

} // namespace

UserAdminWindow::UserAdminWindow() : Window(QSize(400, 235), QString())
{
    管理_超级列表框 = new ListView(this, "管理_超级列表框", QRect(20, 18, 180, 170),
                                   ListView::Sort::Ascending, {QStringLiteral("用户名")}, {176});
    管理删除用户_按钮 =
        MakeButton(this, "管理删除用户_按钮", QRect(270, 15, 70, 40), QStringLiteral("删除用户"));
    管理口令更改_按钮 =
        MakeButton(this, "管理口令更改_按钮", QRect(270, 74, 70, 40), QStringLiteral("口令更改"));
    管理退出_按钮 =
        MakeButton(this, "管理退出_按钮", QRect(270, 134, 70, 40), QStringLiteral("退出"));

    管理界面_右击 = new QMenu(this);
    管理界面_右击->setObjectName(QStringLiteral("管理界面_右击"));
    connect(管理界面_右击->addAction(QStringLiteral("删除用户")), &QAction::triggered, this,
            [this] { OpenDeletePanel(); });
    connect(管理界面_右击->addAction(QStringLiteral("口令更改")), &QAction::triggered, this,
            [this] { OpenOldPasswordPanel(); });
    connect(管理界面_右击->addAction(QStringLiteral("退出")), &QAction::triggered, this,
            [this] { Leave(); });
    管理_超级列表框->viewport()->installEventFilter(this);

    const QRect panelPlace(59, 25, 275, 156);
    const QRect confirmPlace(196, 55, 48, 40);
    const QRect exitPlace(194, 102, 48, 40);
    const QList<QWidget*> mainControls = {管理_超级列表框, 管理删除用户_按钮, 管理口令更改_按钮,
                                          管理退出_按钮};

    管理删除_图片框 = new OverlayPanel(this, "管理删除_图片框", panelPlace);
    MakePanelLabel(管理删除_图片框, "管理_透明标签", QRect(28, 8, 200, 32),
                   QStringLiteral("请输入口令，来完成删除操作"));
    管理_编辑框 = MakePasswordBox(管理删除_图片框, "管理_编辑框", QRect(19, 72, 152, 48));
    管理删除用户最终_按钮 =
        MakeButton(管理删除_图片框, "管理删除用户最终_按钮", confirmPlace, QStringLiteral("删除"));
    管理小退出_按钮 =
        MakeButton(管理删除_图片框, "管理小退出_按钮", exitPlace, QStringLiteral("退出"));
    管理删除_图片框->SetMainControls(mainControls);
    管理删除_图片框->SetBoxes({管理_编辑框});

    管理口令更改_图片框 = new OverlayPanel(this, "管理口令更改_图片框", panelPlace);
    MakePanelLabel(管理口令更改_图片框, "管理_透明标签1", QRect(37, 8, 200, 32),
                   QStringLiteral("请输入旧口令，来完成口令更改操作"));
    管理_编辑框1 = MakePasswordBox(管理口令更改_图片框, "管理_编辑框1", QRect(19, 72, 152, 48));
    管理口令更改次终_按钮 = MakeButton(管理口令更改_图片框, "管理口令更改次终_按钮", confirmPlace,
                                       QStringLiteral("更改"));
    管理小退出_按钮1 =
        MakeButton(管理口令更改_图片框, "管理小退出_按钮1", exitPlace, QStringLiteral("退出"));
    管理口令更改_图片框->SetMainControls(mainControls);
    管理口令更改_图片框->SetBoxes({管理_编辑框1});

    管理口令更改_图片框1 = new OverlayPanel(this, "管理口令更改_图片框1", panelPlace);
    MakePanelLabel(管理口令更改_图片框1, "管理_透明标签2", QRect(37, 8, 200, 32),
                   QStringLiteral("请输入新口令，来完成口令更改操作"));
    管理_编辑框2 = MakePasswordBox(管理口令更改_图片框1, "管理_编辑框2", QRect(20, 66, 150, 30));
    管理_编辑框3 = MakePasswordBox(管理口令更改_图片框1, "管理_编辑框3", QRect(20, 111, 150, 30));
    管理口令更改最终_按钮1 = MakeButton(管理口令更改_图片框1, "管理口令更改最终_按钮1",
                                        confirmPlace, QStringLiteral("更改"));
    管理小退出_按钮2 =
        MakeButton(管理口令更改_图片框1, "管理小退出_按钮2", exitPlace, QStringLiteral("退出"));
    管理口令更改_图片框1->SetMainControls(mainControls);
    管理口令更改_图片框1->SetBoxes({管理_编辑框2, 管理_编辑框3});

    管理_外部数据库 = new StoreConnection(this);
    管理_外部数据库->setObjectName(QStringLiteral("管理_外部数据库"));

    connect(管理删除用户_按钮, &QPushButton::clicked, this, [this] { OpenDeletePanel(); });
    connect(管理口令更改_按钮, &QPushButton::clicked, this, [this] { OpenOldPasswordPanel(); });
    connect(管理退出_按钮, &QPushButton::clicked, this, [this] { Leave(); });
    connect(管理删除用户最终_按钮, &QPushButton::clicked, this, [this] { DeleteUser(); });
    connect(管理小退出_按钮, &QPushButton::clicked, this, [this] { CancelDeletePanel(); });
    connect(管理口令更改次终_按钮, &QPushButton::clicked, this, [this] { CheckOldPassword(); });
    connect(管理小退出_按钮1, &QPushButton::clicked, this, [this] { CancelOldPasswordPanel(); });
    connect(管理口令更改最终_按钮1, &QPushButton::clicked, this, [this] { SetNewPassword(); });
    connect(管理小退出_按钮2, &QPushButton::clicked, this, [this] { CancelNewPasswordPanel(); });
}

UserAdminWindow::~UserAdminWindow() = default;

void UserAdminWindow::OnCreated()
{
    Fill();
}

std::optional<bool> UserAdminWindow::OnCanBeClosed()
{
    管理_外部数据库->Close();
    ReopenLoginConnection();
    return std::nullopt;
}

void UserAdminWindow::Leave()
{
    DestroyWindowDeferred(this);
    管理_外部数据库->Close();
    ReopenLoginConnection();
}

bool UserAdminWindow::eventFilter(QObject* watched, QEvent* event)
{
    // A right click anywhere in the list, over a row or not, pops up the menu just
    // right of and below the pointer. A disabled list (a panel is shown) offers none.
    if (watched == 管理_超级列表框->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton && 管理_超级列表框->isEnabled()) {
            管理界面_右击->popup(mouse->globalPosition().toPoint() + QPoint(3, 3));
            return true;
        }
    }
    return Window::eventFilter(watched, event);
}

void UserAdminWindow::Fill()
{
    OpenStore(*管理_外部数据库);
    {
        const ScopedResult users(*管理_外部数据库, 管理_外部数据库->Query(statements::UserList()));
        for (; !管理_外部数据库->AtEnd(users); 管理_外部数据库->MoveNext(users))
            管理_超级列表框->InsertRow(管理_外部数据库->ReadTextStrict(users, 1));
    }
    管理_超级列表框->SetCurrentSelection(0);
}

QString UserAdminWindow::SelectedUser() const
{
    return 管理_超级列表框->CellText(管理_超级列表框->CurrentSelection(), 0);
}

QString UserAdminWindow::StoredPassword(const QString& user)
{
    const ScopedResult row(*管理_外部数据库, 管理_外部数据库->Query(statements::UserLookup(user)));
    return 管理_外部数据库->ReadText(row, QStringLiteral("password1"));
}

void UserAdminWindow::ReopenConnection()
{
    管理_外部数据库->Close();
    OpenStore(*管理_外部数据库);
}

void UserAdminWindow::OpenPanel(OverlayPanel* panel, QLineEdit* box)
{
    FocusControl(box);
    if (管理_超级列表框->CurrentSelection() == -1) {
        ShowMessage(QStringLiteral("没有用户"));
        return;
    }
    panel->ShowPanel();
}

void UserAdminWindow::OpenDeletePanel()
{
    OpenPanel(管理删除_图片框, 管理_编辑框);
}

void UserAdminWindow::OpenOldPasswordPanel()
{
    OpenPanel(管理口令更改_图片框, 管理_编辑框1);
}

void UserAdminWindow::DeleteUser()
{
    const QString user = SelectedUser();
    const QString stored = StoredPassword(user);
    const QString typed = 管理_编辑框->text();
    if (typed.isEmpty()) {
        ShowMessage(QStringLiteral("请输入口令"));
        FocusControl(管理_编辑框);
        return;
    }
    if (typed != stored) {
        ShowMessage(QStringLiteral("口令输入错误，请重新输入"));
        管理_编辑框->clear();
        FocusControl(管理_编辑框);
        return;
    }
    if (ShowMessage(QStringLiteral("你确定删除？"), 1) != 0) {
        CancelDeletePanel();
        return;
    }

    // The user row and its record table go together, or both stay.
    if (!管理_外部数据库->ExecuteTogether(
            {statements::UserDelete(user), statements::RecordTableDrop(user)})) {
        ReopenConnection();
        ShowMessage(QStringLiteral("删除用户失败，用户和记录都没有改变，请稍后重试"));
        FocusControl(管理_编辑框);
        return;
    }

    管理_超级列表框->RemoveAllRows();
    Fill();
    管理删除_图片框->HidePanel();
    管理_超级列表框->SetCurrentSelection(0);
    管理_编辑框->clear();
    ReopenConnection();
}

void UserAdminWindow::CheckOldPassword()
{
    const QString user = SelectedUser();
    const QString stored = StoredPassword(user);
    const QString typed = 管理_编辑框1->text();
    if (typed.isEmpty()) {
        ShowMessage(QStringLiteral("请输入口令"));
        FocusControl(管理_编辑框1);
        return;
    }
    if (typed != stored) {
        ShowMessage(QStringLiteral("口令输入错误，请重新输入"));
        管理_编辑框1->clear();
        FocusControl(管理_编辑框1);
        return;
    }
    if (ShowMessage(QStringLiteral("你确定更改？"), 1) != 0) {
        CancelOldPasswordPanel();
        return;
    }
    // From one panel to the next: the main controls stay disabled throughout.
    管理口令更改_图片框->setVisible(false);
    管理口令更改_图片框1->raise();
    管理口令更改_图片框1->setVisible(true);
    管理_编辑框1->clear();
    FocusControl(管理_编辑框2);
}

void UserAdminWindow::SetNewPassword()
{
    const QString user = SelectedUser();
    const QString password = 管理_编辑框2->text();
    const QString repeated = 管理_编辑框3->text();
    const QString update = statements::PasswordUpdate(password, repeated, user);
    if (password != repeated) {
        ShowMessage(QStringLiteral("您二次口令不一致，请重新输入"));
        管理_编辑框2->clear();
        管理_编辑框3->clear();
        FocusControl(管理_编辑框2);
        return;
    }
    if (password.isEmpty() || repeated.isEmpty()) {
        ShowMessage(QStringLiteral("请输入口令"));
        FocusControl(管理_编辑框2);
        return;
    }

    // Success only when the row now holds the new password: an update that met no row
    // (the user was deleted meanwhile) or failed is reported as a failure.
    bool changed = false;
    if (管理_外部数据库->Execute(update)) {
        const ScopedResult row(*管理_外部数据库,
                               管理_外部数据库->Query(statements::UserLookup(user)));
        changed = !管理_外部数据库->AtEnd(row) &&
                  管理_外部数据库->ReadText(row, QStringLiteral("password1")) == password &&
                  管理_外部数据库->ReadText(row, QStringLiteral("password2")) == repeated;
    }
    ReopenConnection();
    if (!changed) {
        ShowMessage(QStringLiteral("口令更改失败，口令没有改变，请稍后重试"));
        FocusControl(管理_编辑框2);
        return;
    }

    ShowMessage(QStringLiteral("更改成功"));
    管理_编辑框2->clear();
    管理_编辑框3->clear();
    管理口令更改_图片框1->HidePanel();
}

void UserAdminWindow::CancelDeletePanel()
{
    管理删除_图片框->HidePanel();
    管理_编辑框->clear();
}

void UserAdminWindow::CancelOldPasswordPanel()
{
    管理口令更改_图片框->HidePanel();
    管理_编辑框1->clear();
}

void UserAdminWindow::CancelNewPasswordPanel()
{
    管理口令更改_图片框1->HidePanel();
    管理_编辑框2->clear();
    管理_编辑框3->clear();
    FocusControl(管理_编辑框2);
}

} // namespace kv
