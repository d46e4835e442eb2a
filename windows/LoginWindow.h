#pragma once

#include "app/Window.h"

class QLineEdit;

namespace kv {

class StoreConnection;

// The start-up window: log in, open the new-user and user-administration windows.
class LoginWindow : public Window
{
    Q_OBJECT
public:
    LoginWindow();

    // Read and written by the other windows when they hand control back.
    QLineEdit* 用户名_编辑框 = nullptr;
    QLineEdit* 口令_编辑框 = nullptr;
    StoreConnection* 登陆_外部数据库 = nullptr;
};

}  // namespace kv
