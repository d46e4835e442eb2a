#pragma once

#include "app/Window.h"

namespace kv {

class LoginWindow : public Window
{
    Q_OBJECT
public:
    LoginWindow();
};

} // namespace kv
