// Streams the directory's current entry: stored bytes copied, deflated bytes
// through raw inflate, a CRC-32 over everything delivered. At most one open
// entry per directory.
#pragma once

#include <cstdint>

#include <zlib.h>

#include "archive/directory.h"

namespace quarn {

inline constexpr std::uint32_t kReadBufferSize = 0x4000;

struct EntryReader {
    std::uint8_t* readBuffer = nullptr;  // kReadBufferSize bytes, owned
    z_stream stream = {};
    std::uint32_t dataPos = 0;
    std::int32_t inflateActive = 0;
    std::uint32_t runningCrc = 0;
    std::uint32_t expectedCrc = 0;
    std::uint32_t compressedLeft = 0;
    std::uint32_t uncompressedLeft = 0;
    ArchiveSource* source = nullptr;  // borrowed
    std::uint32_t method = 0;
    std::uint32_t bytesBefore = 0;
};

std::int32_t OpenEntryData(ZipDirectory* directory);
// Bytes delivered (0 at the end, or when nothing more can come), or ErrParam,
// ErrIo.
std::int32_t ReadEntryData(ZipDirectory* directory, void* buffer, std::uint32_t length);
// ErrCrc when read to its end with a wrong CRC-32, ErrOk otherwise, ErrParam
// when no entry is open.
std::int32_t CloseEntryData(ZipDirectory* directory);
// True when the open entry is stored and its source a memory block: its
// bytes can then be handed out where they lie.
bool EntryReadableInPlace(const ZipDirectory* directory);
// As ReadEntryData for such an entry, without the copy: *data points at up
// to length delivered bytes inside the block. ErrParam for other entries.
std::int32_t ReadEntryDataInPlace(ZipDirectory* directory, const std::uint8_t** data,
                                  std::uint32_t length);
// True when the open entry has delivered its whole declared size.
bool EntryDataComplete(const ZipDirectory* directory);

}  // namespace quarn
