// System DLLs on POSIX: there are none.
#include "os/system_library.h"

namespace quarn::os {

void RestrictLibrarySearch() {}

void* SystemFunction(const char*, const char*) { return nullptr; }

}  // namespace quarn::os
