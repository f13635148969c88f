// Builds ZIP archives byte by byte for tests, and damages them on purpose.
//
//   Zip zip = ZipBuilder().file("a.txt", "alpha").deflated("b.bin", big).build();
//   Zip bad = MessWith(zip, corrupt::LocalMethod(1, 8));
//
// Every offset that a corrupter needs is recorded in the Zip's layout, so the
// damage is named instead of being a blob of patched bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quarn::testing {

// The DOS date 2004-07-15 and time 13:45:30.
inline constexpr std::uint16_t kSampleDosDate = 0x30EF;
inline constexpr std::uint16_t kSampleDosTime = 0x6DAF;
// Unix mode 0100644 plus the MS-DOS archive bit: a plain writable file.
inline constexpr std::uint32_t kPlainFileAttributes = 0x81A40020;
// Unix mode 040755 plus the MS-DOS directory bit.
inline constexpr std::uint32_t kFolderAttributes = 0x41ED0010;

struct FixtureEntry {
    std::string name;  // may hold any bytes, NUL included
    std::string data;
    bool deflate = false;
    std::uint16_t dosDate = kSampleDosDate;
    std::uint16_t dosTime = kSampleDosTime;
    std::uint32_t externalAttributes = kPlainFileAttributes;
    std::string localExtra;
    std::string centralExtra;
    std::string comment;
    bool dataDescriptor = false;  // flag bit 3, zeros in the local header
    bool utf8Name = false;        // flag bit 11: the name is UTF-8
};

// Where each record of a built archive lies, in bytes from the start of
// Zip::bytes (prefix included).
struct EntryLayout {
    std::size_t local = 0;    // local header
    std::size_t data = 0;     // first byte of the (compressed) data
    std::size_t dataSize = 0;
    std::size_t central = 0;  // central header
    std::uint32_t crc = 0;    // CRC-32 of the uncompressed data
};

struct Zip {
    std::string bytes;
    std::size_t prefixSize = 0;
    std::size_t centralStart = 0;
    std::size_t endRecord = 0;
    std::vector<EntryLayout> entries;

    const std::uint8_t* data() const { return reinterpret_cast<const std::uint8_t*>(bytes.data()); }
    std::uint32_t size() const { return static_cast<std::uint32_t>(bytes.size()); }
};

class ZipBuilder {
public:
    ZipBuilder& add(FixtureEntry entry);
    ZipBuilder& file(std::string name, std::string data, bool deflate = false);
    ZipBuilder& deflated(std::string name, std::string data);
    ZipBuilder& folder(std::string name);  // directory entry, name should end in '/'
    // These change the entry added last.
    ZipBuilder& attributes(std::uint32_t externalAttributes);
    ZipBuilder& dosTime(std::uint16_t date, std::uint16_t time);
    ZipBuilder& localExtra(std::string bytes);
    ZipBuilder& centralExtra(std::string bytes);
    ZipBuilder& entryComment(std::string text);
    ZipBuilder& dataDescriptor();
    ZipBuilder& utf8Name();
    ZipBuilder& prefix(std::string bytes);  // other data in front of the archive
    ZipBuilder& comment(std::string text);  // the archive comment
    Zip build() const;

private:
    std::vector<FixtureEntry> entries_;
    std::string prefix_;
    std::string comment_;
};

// Raw deflate (no zlib header or trailer), as stored in ZIP entries.
std::string RawDeflate(const std::string& data);
std::uint32_t Crc32(const std::string& data);
// A Unicode path extra field (0x7075, version 1) naming `name` for an entry
// whose stored name has that CRC-32.
std::string UnicodePathExtra(std::uint32_t storedNameCrc, const std::string& name);
// n bytes of varied, poorly compressible content.
std::string PatternBytes(std::size_t n, std::uint32_t seed = 1);

void Put16(std::string& bytes, std::size_t at, std::uint16_t value);
void Put32(std::string& bytes, std::size_t at, std::uint32_t value);

// A corrupter alters a built archive in place; MessWith applies it to a copy.
using Corrupter = std::function<void(Zip&)>;
Zip MessWith(Zip zip, const Corrupter& corrupter);

namespace corrupt {
// Signatures.
Corrupter CentralSignature(std::size_t entry);
Corrupter LocalSignature(std::size_t entry);
// End record fields.
Corrupter EndSignature();
Corrupter EndDisks(std::uint16_t thisDisk, std::uint16_t directoryDisk);
Corrupter EndCounts(std::uint16_t onThisDisk, std::uint16_t total);
Corrupter EndDirectoryOffset(std::uint32_t offset);
// Central header only, so that the local header disagrees.
Corrupter CentralMethod(std::size_t entry, std::uint16_t method);
// Local header only.
Corrupter LocalMethod(std::size_t entry, std::uint16_t method);
Corrupter LocalFlags(std::size_t entry, std::uint16_t flags);
Corrupter LocalCrc(std::size_t entry, std::uint32_t crc);
Corrupter LocalCompressedSize(std::size_t entry, std::uint32_t size);
Corrupter LocalUncompressedSize(std::size_t entry, std::uint32_t size);
Corrupter LocalNameLength(std::size_t entry, std::uint16_t length);
Corrupter LocalExtraLength(std::size_t entry, std::uint16_t length);
// Both headers agree, but not with the data.
Corrupter Method(std::size_t entry, std::uint16_t method);
Corrupter Crc(std::size_t entry, std::uint32_t crc);
Corrupter DeclaredSize(std::size_t entry, std::uint32_t uncompressedSize);
Corrupter CompressedSize(std::size_t entry, std::uint32_t compressedSize);
// Data bytes.
Corrupter DataByte(std::size_t entry, std::size_t offset, std::uint8_t value);
// Keeps only the first `keep` bytes of the archive.
Corrupter Truncate(std::size_t keep);
}  // namespace corrupt

}  // namespace quarn::testing
