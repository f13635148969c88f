#include "archive/entry_name.h"

#include <zlib.h>

#include <algorithm>
#include <new>
#include <vector>

#include "archive/archive.h"
#include "base/bytes.h"
#include "base/utf8.h"
#include "os/code_page.h"

namespace quarn {

namespace {

constexpr std::size_t kExtraHeaderSize = 4;       // id and size, 16 bits each
constexpr std::size_t kUnicodePathHeaderSize = 5;  // version and the name's CRC-32
constexpr std::uint8_t kUnicodePathVersion = 1;

bool HoldsNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

// The UTF-8 name of a Unicode path field that matches the stored name; false
// when there is none, it is stale (an older tool renamed the entry without
// updating it), or its text is no usable name.
bool UnicodePathName(std::string_view stored, std::span<const std::uint8_t> extra,
                     std::string_view* found) {
    std::size_t at = 0;
    while (extra.size() - at >= kExtraHeaderSize) {
        const std::uint16_t id = LoadLe16(extra.data() + at);
        const std::size_t size = LoadLe16(extra.data() + at + 2);
        at += kExtraHeaderSize;
        if (size > extra.size() - at) return false;  // a block that runs past the field
        const std::uint8_t* data = extra.data() + at;
        at += size;
        if (id != kUnicodePathExtra) continue;
        if (size < kUnicodePathHeaderSize || data[0] != kUnicodePathVersion) return false;
        const auto crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(stored.data()), static_cast<uInt>(stored.size())));
        if (LoadLe32(data + 1) != crc) return false;
        const std::string_view text(reinterpret_cast<const char*>(data + kUnicodePathHeaderSize),
                                    size - kUnicodePathHeaderSize);
        if (text.empty() || HoldsNul(text) || !IsValidUtf8(text)) return false;
        *found = text;
        return true;
    }
    return false;
}

}  // namespace

std::int32_t DecodeEntryName(std::string_view stored, std::uint32_t flags,
                             std::span<const std::uint8_t> extra, std::string* name) {
    if (stored.size() >= kMaxPath || HoldsNul(stored)) return ArchErrEntryName;
    std::string_view unicode;
    if (UnicodePathName(stored, extra, &unicode)) {
        name->assign(unicode);
    } else if ((flags & kFlagUtf8Name) != 0) {
        if (!IsValidUtf8(stored)) return ArchErrNameEncoding;
        name->assign(stored);
    } else if (!os::CodePageNameToUtf8(stored, name) || HoldsNul(*name)) {
        return ArchErrNameEncoding;
    }
    return name->size() >= kMaxPath ? ArchErrEntryName : ArchOk;
}

std::int32_t ReadEntryName(ZipDirectory* directory, std::string* name) {
    char stored[kMaxPath];
    std::vector<std::uint8_t> extra;
    try {
        // The field's length is 16 bits: at most 64 KiB, whatever it claims.
        extra.resize(directory->currentInfo.extraLength);
    } catch (const std::bad_alloc&) {
        return ArchErrNoMemory;
    }
    EntryInfo info = {};
    if (GetCurrentEntryInfo(directory, &info, stored, sizeof stored, extra.data(),
                            static_cast<std::uint32_t>(extra.size()), nullptr, 0) != 0) {
        return ArchErrCentralHeader;
    }
    if (info.nameLength >= kMaxPath) return ArchErrEntryName;
    extra.resize(std::min<std::size_t>(extra.size(), info.extraLength));
    return DecodeEntryName(std::string_view(stored, info.nameLength), info.flags, extra, name);
}

}  // namespace quarn
