#include "archive/entry_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace quarn {

namespace {

// The most one read delivers: the count must fit the signed result.
constexpr std::uint32_t kMaxDelivery = 0x7FFFFFFF;

void FreeReader(EntryReader* reader) {
    std::free(reader->readBuffer);
    if (reader->inflateActive) inflateEnd(&reader->stream);
    delete reader;
}

// Fetches the next stretch of compressed bytes when the input window is
// empty: the source decides whether they lie in place or in readBuffer, and
// gives what it holds of the declared size. It fails only when not one byte
// is there, so a declared size running past the end of the archive fails
// only if inflate needs bytes from beyond it, from either kind of source.
bool Refill(EntryReader* reader) {
    z_stream& s = reader->stream;
    if (s.avail_in != 0 || reader->compressedLeft == 0) return true;
    std::uint32_t n = 0;
    const std::uint8_t* bytes =
        SourceFetchAt(reader->source, reader->bytesBefore + reader->dataPos,
                      reader->compressedLeft, reader->readBuffer, kReadBufferSize, &n);
    if (bytes == nullptr) return false;
    reader->dataPos += n;
    reader->compressedLeft -= n;
    s.next_in = const_cast<Bytef*>(bytes);  // inflate never writes its input
    s.avail_in = n;
    return true;
}

// The output total of the stream, as a 32-bit counter (zlib's is 32-bit on
// some targets; differences stay right across a wrap).
std::uint32_t TotalOut(const z_stream& s) { return static_cast<std::uint32_t>(s.total_out); }

// Consumes up to room stored bytes of the input window, counted as
// delivered: *from gets where they lie.
std::uint32_t TakeStored(EntryReader* reader, std::uint32_t room, const Bytef** from) {
    z_stream& s = reader->stream;
    std::uint32_t k = std::min<std::uint32_t>(room, s.avail_in);
    *from = s.next_in;
    reader->runningCrc = static_cast<std::uint32_t>(crc32(reader->runningCrc, s.next_in, k));
    reader->uncompressedLeft -= k;
    s.next_in += k;
    s.avail_in -= k;
    s.total_out += k;
    return k;
}

}  // namespace

std::int32_t OpenEntryData(ZipDirectory* directory) {
    if (directory == nullptr || !directory->currentValid) return ErrParam;
    if (directory->openEntry != nullptr) CloseEntryData(directory);
    std::uint32_t varSize = 0, extraOffset = 0, extraLength = 0;
    if (CheckLocalHeader(directory, &varSize, &extraOffset, &extraLength) != 0) {
        return ErrBadArchive;
    }
    auto* reader = new (std::nothrow) EntryReader;
    if (reader == nullptr) return ErrNoMemory;
    reader->readBuffer = static_cast<std::uint8_t*>(std::malloc(kReadBufferSize));
    if (reader->readBuffer == nullptr) {
        delete reader;
        return ErrNoMemory;
    }
    const EntryInfo& info = directory->currentInfo;
    reader->expectedCrc = info.crc;
    reader->method = info.method;
    reader->source = directory->source;
    reader->bytesBefore = directory->bytesBefore;
    reader->stream.total_out = 0;
    if (reader->method != kMethodStored) {
        reader->stream.zalloc = nullptr;
        reader->stream.zfree = nullptr;
        reader->stream.opaque = nullptr;
        // Without a working stream every read delivers nothing.
        if (inflateInit2(&reader->stream, -MAX_WBITS) == Z_OK) reader->inflateActive = 1;
    }
    reader->compressedLeft = info.compressedSize;
    reader->uncompressedLeft = info.uncompressedSize;
    reader->dataPos = directory->currentLocalOffset + kLocalHeaderSize + varSize;
    reader->stream.next_in = nullptr;
    reader->stream.avail_in = 0;
    directory->openEntry = reader;
    return ErrOk;
}

std::int32_t ReadEntryData(ZipDirectory* directory, void* buffer, std::uint32_t length) {
    if (directory == nullptr || directory->openEntry == nullptr) return ErrParam;
    if (length == 0) return 0;
    EntryReader* reader = directory->openEntry;
    z_stream& s = reader->stream;
    s.next_out = static_cast<Bytef*>(buffer);
    s.avail_out = std::min({length, reader->uncompressedLeft, kMaxDelivery});
    std::uint32_t delivered = 0;
    while (s.avail_out > 0) {
        // Bytes already delivered count; the next read meets the failure.
        if (!Refill(reader)) return delivered > 0 ? static_cast<std::int32_t>(delivered) : ErrIo;
        if (reader->method == kMethodStored) {
            const Bytef* from = nullptr;
            std::uint32_t k = TakeStored(reader, s.avail_out, &from);
            // Stored bytes that ran out before the declared size: nothing more can come.
            if (k == 0) break;
            std::memcpy(s.next_out, from, k);
            s.next_out += k;
            s.avail_out -= k;
            delivered += k;
        } else {
            Bytef* start = s.next_out;
            std::uint32_t before = TotalOut(s);
            int status = inflate(&s, Z_SYNC_FLUSH);
            std::uint32_t k = TotalOut(s) - before;
            if (!reader->inflateActive) k = 0;
            if (k > 0) reader->runningCrc = static_cast<std::uint32_t>(crc32(reader->runningCrc, start, k));
            reader->uncompressedLeft -= k;
            delivered += k;
            // The end of the stream, a data error, or no progress possible.
            if (status != Z_OK) return static_cast<std::int32_t>(delivered);
        }
    }
    return static_cast<std::int32_t>(delivered);
}

std::int32_t CloseEntryData(ZipDirectory* directory) {
    if (directory == nullptr || directory->openEntry == nullptr) return ErrParam;
    EntryReader* reader = directory->openEntry;
    std::int32_t verdict =
        reader->uncompressedLeft == 0 && reader->runningCrc != reader->expectedCrc ? ErrCrc : ErrOk;
    FreeReader(reader);
    directory->openEntry = nullptr;
    return verdict;
}

bool EntryDataComplete(const ZipDirectory* directory) {
    return directory != nullptr && directory->openEntry != nullptr &&
           directory->openEntry->uncompressedLeft == 0;
}

bool EntryReadableInPlace(const ZipDirectory* directory) {
    return directory != nullptr && directory->openEntry != nullptr &&
           directory->openEntry->method == kMethodStored &&
           SourceViewsInPlace(directory->openEntry->source);
}

std::int32_t ReadEntryDataInPlace(ZipDirectory* directory, const std::uint8_t** data,
                                  std::uint32_t length) {
    if (!EntryReadableInPlace(directory)) return ErrParam;
    EntryReader* reader = directory->openEntry;
    std::uint32_t room = std::min({length, reader->uncompressedLeft, kMaxDelivery});
    if (room == 0) return 0;
    if (!Refill(reader)) return ErrIo;
    return static_cast<std::int32_t>(TakeStored(reader, room, data));
}

}  // namespace quarn
