#include "store/StoreHost.h"

namespace kv {
namespace {
StoreHost* gHost = nullptr;
}

void SetStoreHost(StoreHost* host)
{
    gHost = host;
}

StoreHost* CurrentStoreHost()
{
    return gHost;
}

} // namespace kv
