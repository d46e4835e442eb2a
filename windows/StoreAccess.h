#pragma once

namespace kv {

class StoreConnection;

// Opens a connection to the program's store: the run directory's store file with the
// fixed database password. Returns what Open returned.
bool OpenStore(StoreConnection& connection);

// Opens LoginWindow's connection again, as every window does when it hands control back.
void ReopenLoginConnection();

}  // namespace kv
