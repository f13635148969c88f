// The POSIX launch services' view of the running program.
#include "launch_table.h"

namespace quarn::os::posix {

LaunchTable& TestLaunchTable() {
    static LaunchTable table;
    return table;
}

void ResetTestLaunchTable() { TestLaunchTable() = LaunchTable{}; }

}  // namespace quarn::os::posix
