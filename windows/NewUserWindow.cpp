#include "NewUserWindow.h"

namespace kv {

NewUserWindow::NewUserWindow() : Window(QSize(245, 227), QStringLiteral("新建用户")) {}

NewUserWindow::~NewUserWindow() = default;

} // namespace kv
