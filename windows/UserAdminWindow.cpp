#include "UserAdminWindow.h"

namespace kv {

UserAdminWindow::UserAdminWindow() : Window(QSize(400, 235), QString()) {}

UserAdminWindow::~UserAdminWindow() = default;

} // namespace kv
