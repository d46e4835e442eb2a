#pragma once

#include "app/Window.h"

#include <QLabel>

#include <functional>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace kv {

class PictureBox;
class StoreConnection;

// A hyperlink label without a target: a press of the left mouse button runs its handler.
// It is not a tab stop.
class LinkLabel : public QLabel
{
    Q_OBJECT
public:
    LinkLabel(QWidget* parent, const char* name, const QRect& geometry, const QString& text);
    std::function<void()> onLeftPress;

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// The start-up window: log in, open the new-user and user-administration windows.
class LoginWindow : public Window
{
    Q_OBJECT
public:
    LoginWindow();

    void OnCreated() override;

    // Checks the typed name and password against the store; on success hides this window
    // and opens MainWindow. Every attempt writes the last-user file.
    void AttemptLogin();
    void OpenNewUserWindow();
    void OpenUserAdminWindow();

    // Read and written by the other windows when they hand control back.
    QLineEdit* 用户名_编辑框 = nullptr;
    QLineEdit* 口令_编辑框 = nullptr;
    StoreConnection* 登陆_外部数据库 = nullptr;

    QGroupBox* 分组框1 = nullptr;
    PictureBox* 图片框1 = nullptr;
    QLabel* 用户名_透明标签 = nullptr;
    QLabel* 口令_透明标签 = nullptr;
    QPushButton* 登陆_按钮 = nullptr;
    QPushButton* 按钮1 = nullptr;
    LinkLabel* 删除用户_超级链接框1 = nullptr;
};

} // namespace kv
