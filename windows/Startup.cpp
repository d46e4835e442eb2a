#include "Startup.h"

namespace kv {

void PrepareProgram() {}

}  // namespace kv
