#include "support/zip_builder.h"

#include <algorithm>
#include <stdexcept>

#include <zlib.h>

namespace quarn::testing {

namespace {

// Field offsets inside the records.
constexpr std::size_t kLocalFlags = 6, kLocalMethod = 8, kLocalCrc = 14,
                      kLocalCompressed = 18, kLocalUncompressed = 22, kLocalNameLength = 26,
                      kLocalExtraLength = 28;
constexpr std::size_t kCentralMethod = 10, kCentralCrc = 16, kCentralCompressed = 20,
                      kCentralUncompressed = 24;
constexpr std::size_t kEndDisk = 4, kEndDirectoryDisk = 6, kEndCountHere = 8,
                      kEndCountTotal = 10, kEndDirectoryOffset = 16;
constexpr std::uint16_t kFlagDataDescriptor = 8;
constexpr std::uint16_t kFlagUtf8 = 0x800;

void Append16(std::string& out, std::uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Append32(std::string& out, std::uint32_t v) {
    Append16(out, v & 0xFFFF);
    Append16(out, v >> 16);
}

std::uint16_t Get16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes.at(at)) |
                                      static_cast<std::uint8_t>(bytes.at(at + 1)) << 8);
}

bool HasDescriptor(const Zip& zip, std::size_t entry) {
    return (Get16(zip.bytes, zip.entries.at(entry).local + kLocalFlags) & kFlagDataDescriptor) != 0;
}

// Patches a 32-bit field in both headers; the local one is left alone when
// the entry's data descriptor keeps it at zero.
Corrupter BothHeaders32(std::size_t entry, std::size_t localField, std::size_t centralField,
                        std::uint32_t value) {
    return [=](Zip& zip) {
        Put32(zip.bytes, zip.entries.at(entry).central + centralField, value);
        if (!HasDescriptor(zip, entry)) Put32(zip.bytes, zip.entries.at(entry).local + localField, value);
    };
}

Corrupter Local16(std::size_t entry, std::size_t field, std::uint16_t value) {
    return [=](Zip& zip) { Put16(zip.bytes, zip.entries.at(entry).local + field, value); };
}

Corrupter Local32(std::size_t entry, std::size_t field, std::uint32_t value) {
    return [=](Zip& zip) { Put32(zip.bytes, zip.entries.at(entry).local + field, value); };
}

Corrupter End16(std::size_t field, std::uint16_t value) {
    return [=](Zip& zip) { Put16(zip.bytes, zip.endRecord + field, value); };
}

std::uint32_t Flags(const FixtureEntry& e) {
    return (e.dataDescriptor ? kFlagDataDescriptor : 0) | (e.utf8Name ? kFlagUtf8 : 0);
}

}  // namespace

void Put16(std::string& bytes, std::size_t at, std::uint16_t value) {
    bytes.at(at) = static_cast<char>(value & 0xFF);
    bytes.at(at + 1) = static_cast<char>(value >> 8);
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    Put16(bytes, at, static_cast<std::uint16_t>(value & 0xFFFF));
    Put16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

std::string RawDeflate(const std::string& data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    int status = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END) throw std::runtime_error("deflate did not finish");
    return out;
}

std::uint32_t Crc32(const std::string& data) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string UnicodePathExtra(std::uint32_t storedNameCrc, const std::string& name) {
    std::string field;
    Append16(field, 0x7075);
    Append16(field, static_cast<std::uint32_t>(5 + name.size()));
    field.push_back(1);  // version
    Append32(field, storedNameCrc);
    return field + name;
}

std::string PatternBytes(std::size_t n, std::uint32_t seed) {
    std::string out(n, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : out) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return out;
}

ZipBuilder& ZipBuilder::add(FixtureEntry entry) {
    entries_.push_back(std::move(entry));
    return *this;
}

ZipBuilder& ZipBuilder::file(std::string name, std::string data, bool deflate) {
    FixtureEntry e;
    e.name = std::move(name);
    e.data = std::move(data);
    e.deflate = deflate;
    return add(std::move(e));
}

ZipBuilder& ZipBuilder::deflated(std::string name, std::string data) {
    return file(std::move(name), std::move(data), true);
}

ZipBuilder& ZipBuilder::folder(std::string name) {
    return file(std::move(name), "").attributes(kFolderAttributes);
}

ZipBuilder& ZipBuilder::attributes(std::uint32_t externalAttributes) {
    entries_.back().externalAttributes = externalAttributes;
    return *this;
}

ZipBuilder& ZipBuilder::dosTime(std::uint16_t date, std::uint16_t time) {
    entries_.back().dosDate = date;
    entries_.back().dosTime = time;
    return *this;
}

ZipBuilder& ZipBuilder::localExtra(std::string bytes) {
    entries_.back().localExtra = std::move(bytes);
    return *this;
}

ZipBuilder& ZipBuilder::centralExtra(std::string bytes) {
    entries_.back().centralExtra = std::move(bytes);
    return *this;
}

ZipBuilder& ZipBuilder::entryComment(std::string text) {
    entries_.back().comment = std::move(text);
    return *this;
}

ZipBuilder& ZipBuilder::dataDescriptor() {
    entries_.back().dataDescriptor = true;
    return *this;
}

ZipBuilder& ZipBuilder::utf8Name() {
    entries_.back().utf8Name = true;
    return *this;
}

ZipBuilder& ZipBuilder::prefix(std::string bytes) {
    prefix_ = std::move(bytes);
    return *this;
}

ZipBuilder& ZipBuilder::comment(std::string text) {
    comment_ = std::move(text);
    return *this;
}

Zip ZipBuilder::build() const {
    Zip zip;
    std::string& out = zip.bytes;
    out = prefix_;
    zip.prefixSize = prefix_.size();
    std::vector<std::string> stored;

    for (const auto& e : entries_) {
        EntryLayout at;
        at.crc = Crc32(e.data);
        stored.push_back(e.deflate ? RawDeflate(e.data) : e.data);
        const std::string& body = stored.back();
        const bool dd = e.dataDescriptor;
        at.local = out.size();
        Append32(out, 0x04034B50);
        Append16(out, 20);                       // version needed
        Append16(out, Flags(e));
        Append16(out, e.deflate ? 8 : 0);
        Append16(out, e.dosTime);
        Append16(out, e.dosDate);
        Append32(out, dd ? 0 : at.crc);
        Append32(out, dd ? 0 : static_cast<std::uint32_t>(body.size()));
        Append32(out, dd ? 0 : static_cast<std::uint32_t>(e.data.size()));
        Append16(out, static_cast<std::uint32_t>(e.name.size()));
        Append16(out, static_cast<std::uint32_t>(e.localExtra.size()));
        out += e.name;
        out += e.localExtra;
        at.data = out.size();
        at.dataSize = body.size();
        out += body;
        if (dd) {
            Append32(out, 0x08074B50);
            Append32(out, at.crc);
            Append32(out, static_cast<std::uint32_t>(body.size()));
            Append32(out, static_cast<std::uint32_t>(e.data.size()));
        }
        zip.entries.push_back(at);
    }

    zip.centralStart = out.size();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const auto& e = entries_[i];
        auto& at = zip.entries[i];
        at.central = out.size();
        Append32(out, 0x02014B50);
        Append16(out, 0x031E);  // made by: Unix, 3.0
        Append16(out, 20);
        Append16(out, Flags(e));
        Append16(out, e.deflate ? 8 : 0);
        Append16(out, e.dosTime);
        Append16(out, e.dosDate);
        Append32(out, at.crc);
        Append32(out, static_cast<std::uint32_t>(stored[i].size()));
        Append32(out, static_cast<std::uint32_t>(e.data.size()));
        Append16(out, static_cast<std::uint32_t>(e.name.size()));
        Append16(out, static_cast<std::uint32_t>(e.centralExtra.size()));
        Append16(out, static_cast<std::uint32_t>(e.comment.size()));
        Append16(out, 0);  // disk number start
        Append16(out, 0);  // internal attributes
        Append32(out, e.externalAttributes);
        Append32(out, static_cast<std::uint32_t>(at.local - zip.prefixSize));
        out += e.name;
        out += e.centralExtra;
        out += e.comment;
    }

    zip.endRecord = out.size();
    Append32(out, 0x06054B50);
    Append16(out, 0);
    Append16(out, 0);
    Append16(out, static_cast<std::uint32_t>(entries_.size()));
    Append16(out, static_cast<std::uint32_t>(entries_.size()));
    Append32(out, static_cast<std::uint32_t>(zip.endRecord - zip.centralStart));
    Append32(out, static_cast<std::uint32_t>(zip.centralStart - zip.prefixSize));
    Append16(out, static_cast<std::uint32_t>(comment_.size()));
    out += comment_;
    return zip;
}

Zip MessWith(Zip zip, const Corrupter& corrupter) {
    corrupter(zip);
    return zip;
}

namespace corrupt {

Corrupter CentralSignature(std::size_t entry) {
    return [=](Zip& zip) { Put32(zip.bytes, zip.entries.at(entry).central, 0x02014B51); };
}

Corrupter LocalSignature(std::size_t entry) { return Local32(entry, 0, 0x04034B51); }

Corrupter EndSignature() {
    return [](Zip& zip) { Put32(zip.bytes, zip.endRecord, 0x06054B51); };
}

Corrupter EndDisks(std::uint16_t thisDisk, std::uint16_t directoryDisk) {
    return [=](Zip& zip) {
        End16(kEndDisk, thisDisk)(zip);
        End16(kEndDirectoryDisk, directoryDisk)(zip);
    };
}

Corrupter EndCounts(std::uint16_t onThisDisk, std::uint16_t total) {
    return [=](Zip& zip) {
        End16(kEndCountHere, onThisDisk)(zip);
        End16(kEndCountTotal, total)(zip);
    };
}

Corrupter EndDirectoryOffset(std::uint32_t offset) {
    return [=](Zip& zip) { Put32(zip.bytes, zip.endRecord + kEndDirectoryOffset, offset); };
}

Corrupter CentralMethod(std::size_t entry, std::uint16_t method) {
    return [=](Zip& zip) { Put16(zip.bytes, zip.entries.at(entry).central + kCentralMethod, method); };
}

Corrupter LocalMethod(std::size_t entry, std::uint16_t method) {
    return Local16(entry, kLocalMethod, method);
}
Corrupter LocalFlags(std::size_t entry, std::uint16_t flags) {
    return Local16(entry, kLocalFlags, flags);
}
Corrupter LocalCrc(std::size_t entry, std::uint32_t crc) { return Local32(entry, kLocalCrc, crc); }
Corrupter LocalCompressedSize(std::size_t entry, std::uint32_t size) {
    return Local32(entry, kLocalCompressed, size);
}
Corrupter LocalUncompressedSize(std::size_t entry, std::uint32_t size) {
    return Local32(entry, kLocalUncompressed, size);
}
Corrupter LocalNameLength(std::size_t entry, std::uint16_t length) {
    return Local16(entry, kLocalNameLength, length);
}
Corrupter LocalExtraLength(std::size_t entry, std::uint16_t length) {
    return Local16(entry, kLocalExtraLength, length);
}

Corrupter Method(std::size_t entry, std::uint16_t method) {
    return [=](Zip& zip) {
        CentralMethod(entry, method)(zip);
        LocalMethod(entry, method)(zip);
    };
}

Corrupter Crc(std::size_t entry, std::uint32_t crc) {
    return BothHeaders32(entry, kLocalCrc, kCentralCrc, crc);
}

Corrupter DeclaredSize(std::size_t entry, std::uint32_t uncompressedSize) {
    return BothHeaders32(entry, kLocalUncompressed, kCentralUncompressed, uncompressedSize);
}

Corrupter CompressedSize(std::size_t entry, std::uint32_t compressedSize) {
    return BothHeaders32(entry, kLocalCompressed, kCentralCompressed, compressedSize);
}

Corrupter DataByte(std::size_t entry, std::size_t offset, std::uint8_t value) {
    return [=](Zip& zip) { zip.bytes.at(zip.entries.at(entry).data + offset) = static_cast<char>(value); };
}

Corrupter Truncate(std::size_t keep) {
    return [=](Zip& zip) { zip.bytes.resize(std::min(keep, zip.bytes.size())); };
}

}  // namespace corrupt

}  // namespace quarn::testing
