#pragma once

#include "app/Window.h"

class QLineEdit;
class QMenu;
class QPushButton;

namespace kv {

class ListView;
class OverlayPanel;
class StoreConnection;

// The modal window that deletes login users and changes their passwords, each guarded
// by the user's current password typed into an overlay panel.
class UserAdminWindow : public Window
{
    Q_OBJECT
public:
    UserAdminWindow();
    ~UserAdminWindow() override;

    void OnCreated() override;
    std::optional<bool> OnCanBeClosed() override;

    // Opens the own connection and lists every login user, the first one selected.
    void Fill();
    void OpenDeletePanel();
    void OpenOldPasswordPanel();
    void DeleteUser();
    void CheckOldPassword();
    void SetNewPassword();
    void CancelDeletePanel();
    void CancelOldPasswordPanel();
    void CancelNewPasswordPanel();
    // Exit button and the menu item "退出".
    void Leave();

    ListView* 管理_超级列表框 = nullptr;
    QPushButton* 管理删除用户_按钮 = nullptr;
    QPushButton* 管理口令更改_按钮 = nullptr;
    QPushButton* 管理退出_按钮 = nullptr;
    QMenu* 管理界面_右击 = nullptr;

    OverlayPanel* 管理删除_图片框 = nullptr;
    QLineEdit* 管理_编辑框 = nullptr;
    QPushButton* 管理删除用户最终_按钮 = nullptr;
    QPushButton* 管理小退出_按钮 = nullptr;

    OverlayPanel* 管理口令更改_图片框 = nullptr;
    QLineEdit* 管理_编辑框1 = nullptr;
    QPushButton* 管理口令更改次终_按钮 = nullptr;
    QPushButton* 管理小退出_按钮1 = nullptr;

    OverlayPanel* 管理口令更改_图片框1 = nullptr;
    QLineEdit* 管理_编辑框2 = nullptr;
    QLineEdit* 管理_编辑框3 = nullptr;
    QPushButton* 管理口令更改最终_按钮1 = nullptr;
    QPushButton* 管理小退出_按钮2 = nullptr;

    StoreConnection* 管理_外部数据库 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString SelectedUser() const;
    // The stored password of a user (empty when there is no such row); the result is
    // released before returning.
    QString StoredPassword(const QString& user);
    void OpenPanel(OverlayPanel* panel, QLineEdit* box);
    void ReopenConnection();
};

} // namespace kv
