// The data of the directory's current entry, streamed: stored bytes copied,
// deflated bytes through raw inflate, a CRC-32 over everything delivered.
//
// At most one entry is open per directory (OpenEntryData closes the one
// before); the directory owns it and closes it with itself. Reads never go
// past the central header's sizes: the uncompressed size caps what is
// delivered, the compressed size what is fetched from the source. A fetch
// that finds no byte where the data should go on gives ErrIo (after the
// bytes that came before it have been delivered); compressed bytes used up before the
// declared size, or inflate that stops, end the entry quietly: reads then
// deliver 0 and EntryDataComplete tells whether the declared size came. The
// CRC-32 is judged only for an entry read to its declared end. The reader
// fetches its bytes at offsets of its own (bytesBefore and its data
// position), so the directory's cursor may move in between reads.
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

// Opens the entry at the directory's cursor after checking its local header.
// ErrParam when the cursor stands on no entry, ErrBadArchive when the local
// header disagrees, ErrNoMemory. A deflated entry whose inflate cannot start
// opens, but delivers nothing.
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
