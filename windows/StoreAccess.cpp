#include "StoreAccess.h"

#include "LoginWindow.h"
#include "app/Toolkit.h"
#include "store/StoreConnection.h"

namespace kv {

bool OpenStore(StoreConnection& connection)
{
    return connection.Open(StorePath(RunDirectory()), QString::fromUtf8(kStorePassword));
}

void ReopenLoginConnection()
{
    if (LoginWindow* login = AliveWindow<LoginWindow>(); login && login->登陆_外部数据库)
        OpenStore(*login->登陆_外部数据库);
}

}  // namespace kv
