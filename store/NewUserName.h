#pragma once

#include <QString>

namespace kv {

class StoreConnection;

enum class NewUserName
{
    Usable,   // may become a login user and its record table
    Taken,    // equals (ignoring letter case) a login user, a table, or "management"
    Unusable, // empty after checks, holds [ ] " ' ` or a control character, or is
              // a name the engine reserves (sqlite_...)
};

// Judges a name for a new login user against what the open store holds. The result
// of the lookup is released before returning. A closed connection judges every
// well-formed name Usable (the insert will then fail and say so).
NewUserName CheckNewUserName(StoreConnection& connection, const QString& name);

} // namespace kv
