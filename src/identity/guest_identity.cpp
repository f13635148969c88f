#include "identity/guest_identity.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "archive/archive.h"
#include "base/text.h"
#include "identity/cipher.h"
#include "identity/identity_record.h"
#include "identity/package.h"
#include "os/resources.h"

namespace quarn {

namespace {

// The deciphered GAMECONFIG and the archive open over it: set and cleared
// together, since the archive reads from the copy.
struct ConfigurationCache {
    std::uint8_t* copy = nullptr;
    ArchiveHandle* archive = nullptr;
};

ConfigurationCache configurationCache;

void ReleaseConfigurationCache() {
    if (configurationCache.archive == nullptr) return;
    CloseArchive(configurationCache.archive);
    std::free(configurationCache.copy);
    configurationCache = ConfigurationCache{};
}

// Deciphers GAMECONFIG and opens it as an archive; false leaves the cache
// empty, so that the next call tries the resource again.
bool FillConfigurationCache(const char* moduleName) {
    os::ResourceData config;
    if (!os::FindRcData(moduleName, kConfigResource, &config)) return false;
    if (config.data == nullptr || config.size == 0) return false;
    auto* copy = static_cast<std::uint8_t*>(std::malloc(config.size));
    if (copy == nullptr) return false;
    std::memcpy(copy, config.data, config.size);
    IdentityCipher().Apply(copy, config.size);
    ArchiveHandle* archive = OpenArchive(copy, config.size, SourceMemory);
    if (archive == nullptr) {
        std::free(copy);
        return false;
    }
    configurationCache.copy = copy;
    configurationCache.archive = archive;
    return true;
}

}  // namespace

char* ReadConfigFile(const char* moduleName, const char* fileName, std::uint32_t* sizeOut) {
    if (fileName == nullptr) {
        ReleaseConfigurationCache();
        return nullptr;
    }
    if (configurationCache.archive == nullptr && !FillConfigurationCache(moduleName)) {
        return nullptr;
    }
    std::int32_t index = 0;
    ZipEntry entry;
    if (FindEntry(configurationCache.archive, fileName, true, &index, &entry) != ArchOk) {
        return nullptr;
    }
    // Zeroed, so that an entry whose data cannot be read gives zeros rather
    // than stale memory.
    auto* content = static_cast<char*>(std::calloc(std::size_t{entry.uncompressedSize} + 1, 1));
    if (content == nullptr) return nullptr;
    // One call over a block of the entry's size delivers it whole; a
    // non-empty entry then reports ArchDataDelivered, so the result says
    // nothing useful. The next FindEntry closes the entry.
    ExtractEntry(configurationCache.archive, index, content, entry.uncompressedSize, SourceMemory);
    content[entry.uncompressedSize] = '\0';
    if (sizeOut != nullptr) *sizeOut = entry.uncompressedSize;
    return content;
}

const char* GetLaunchIdentity() {
    // The last guest identity handed out; it lives until the process ends.
    static std::string guestIdentity;

    if (const char* identity = LoadGameIdentity(nullptr, nullptr, nullptr)) return identity;

    std::uint32_t size = 0;
    char* hubIni = ReadConfigFile(nullptr, "hub.ini", &size);
    if (hubIni == nullptr) return nullptr;
    std::free(hubIni);  // only its presence counts

    // Without a program name there is nothing to name the guest after, and
    // nothing to start either.
    const char* program = os::ProgramName();
    if (program == nullptr) return nullptr;
    try {
        guestIdentity = "Guest.";
        // Both '\' and '/' separate, so a program started as
        // "C:/Downloads/play.exe" is named "play.exe".
        guestIdentity += FileNamePart(program);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return guestIdentity.c_str();
}

}  // namespace quarn
