#pragma once

#include "app/Window.h"

class QLineEdit;
class QPushButton;

namespace kv {

class StoreConnection;

// The modal window that creates a login user and the record table of that user.
class NewUserWindow : public Window
{
    Q_OBJECT
public:
    NewUserWindow();
    ~NewUserWindow() override;

    void OnCreated() override;
    std::optional<bool> OnCanBeClosed() override;

    // Checks the three boxes and, when they pass, stores the user and its record table.
    void CreateLoginUser();
    // Hands control back to the login window (exit button, by click or Enter).
    void Leave();

    QLineEdit* 新建用户名_编辑框 = nullptr;
    QLineEdit* 新建密码_编辑框 = nullptr;
    QLineEdit* 新建密码_编辑框1 = nullptr;
    QPushButton* 新建_按钮 = nullptr;
    QPushButton* 新建退出_按钮 = nullptr;
    StoreConnection* 新建_外部数据库 = nullptr;

private:
    // Closes this window's connection and opens the login window's again.
    void HandBackConnection();
};

} // namespace kv
