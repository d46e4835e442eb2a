#include "Startup.h"

#include "app/Toolkit.h"
#include "store/StoreConnection.h"
#include "windows/StoreDialogs.h"

namespace kv {

void PrepareProgram()
{
    static AppStoreHost storeHost;
    SetStoreHost(&storeHost);
    AddExitHook([] { StoreConnection::CloseAll(); });
}

} // namespace kv
