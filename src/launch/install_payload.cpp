#include "launch/install_payload.h"

#include "identity/package.h"
#include "launch/unpack_folder.h"
#include "os/resources.h"

namespace quarn {

int InstallPayload(const char* moduleName, const char* folder, bool* complete) {
    if (complete != nullptr) *complete = false;
    os::ResourceData payload;
    if (!os::FindRcData(moduleName, kPayloadResource, &payload)) return 0;
    if (payload.data == nullptr || payload.size == 0) return 0;
    const UnpackResult result = UnpackToFolder(payload.data, payload.size, folder);
    if (complete != nullptr) *complete = result.complete;
    return 1;
}

}  // namespace quarn
