#pragma once

#include "app/Window.h"

namespace kv {

// The modal window that deletes login users and changes their passwords.
class UserAdminWindow : public Window
{
    Q_OBJECT
public:
    UserAdminWindow();
    ~UserAdminWindow() override;
};

} // namespace kv
