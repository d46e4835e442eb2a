// Keyvora: start-up. The toolkit loads the login window and runs the message loop.
#include "app/Toolkit.h"
#include "windows/Startup.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    kv::PrepareProgram();
    return kv::RunProgram<kv::LoginWindow>();
}
