#pragma once

#include "app/Window.h"

namespace kv {

// The modal window that creates a login user and the record table of that user.
class NewUserWindow : public Window
{
    Q_OBJECT
public:
    NewUserWindow();
    ~NewUserWindow() override;
};

} // namespace kv
