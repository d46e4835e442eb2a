#include "LoginWindow.h"

namespace kv {

LoginWindow::LoginWindow() : Window(QSize(332, 211), QStringLiteral("Keyvora-keyvora.example.org"))
{
}

}  // namespace kv
