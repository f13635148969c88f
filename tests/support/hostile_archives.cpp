#include "support/hostile_archives.h"

#include "archive/archive.h"
#include "archive/directory.h"
#include "base/utf8.h"
#include "launch/unpack_folder.h"
#include "os/code_page.h"
#include "support/temp_folder.h"

namespace quarn::testing {

namespace {

// Field offsets that the named corrupters do not reach.
constexpr std::size_t kCentralNameLength = 28;
constexpr std::size_t kCentralLocalOffset = 42;
constexpr std::size_t kEndDirectorySize = 12;
constexpr std::size_t kEndDirectoryOffset = 16;

std::string WithDirectory(Zip zip, std::uint32_t size, std::uint32_t offset) {
    Put32(zip.bytes, zip.endRecord + kEndDirectorySize, size);
    Put32(zip.bytes, zip.endRecord + kEndDirectoryOffset, offset);
    return zip.bytes;
}

// An archive whose entry "b.txt" has its local header and data inside the
// stored data of "a.bin": the two entries overlap.
std::string OverlappingEntries() {
    const Zip inner = ZipBuilder().file("b.txt", "bravo").build();
    const std::string nested = inner.bytes.substr(0, inner.entries[0].data + inner.entries[0].dataSize);
    Zip outer = ZipBuilder().file("a.bin", nested).file("b.txt", "bravo").build();
    return WithCentralLocalOffset(outer, 1, static_cast<std::uint32_t>(outer.entries[0].data));
}

// The unsafe names between two good entries, then a name of 259 bytes
// (folders included; no component passes 255), one of 260 and one with a
// NUL inside, which the reader refuses.
HostileArchive UnsafeNames() {
    const std::vector<std::string>& unsafe = UnsafeEntryNames();
    const std::string long259 = std::string(58, 'd') + "/" + std::string(200, 'f');
    ZipBuilder b;
    b.file("first.txt", "1");
    for (const auto& name : unsafe) {
        b.file(name, "evil");
        if (!IsAscii(name) && IsValidUtf8(name)) b.utf8Name();  // meant as UTF-8
    }
    b.file(long259, "long");
    b.file("last/" + std::string(255, 'n'), "too long");
    b.file(std::string("ok.txt\0../../x", 14), "nul");
    b.file("sub/last.txt", "2");
    const auto n = static_cast<std::int32_t>(unsafe.size());
    Failures failures = Failing(1, n, UnpackErrUnsafeName);
    failures.emplace_back(n + 2, ArchErrEntryName);
    failures.emplace_back(n + 3, ArchErrEntryName);
    return {"unsafe-names", b.build().bytes, 0, static_cast<std::uint32_t>(n) + 5,
            {{"first.txt", "1"}, {"sub/last.txt", "2"}, {long259, "long"}}, failures};
}

// Network paths in either spelling, and a climb, a drive and a device
// deeper in.
HostileArchive UnsafeNamesDeeper() {
    const std::vector<std::string> unsafe = {"\\\\server\\share\\x", "//server/share/x", "sub\\..\\..\\x",
                                             "sub/C:x", "sub/con .txt"};
    ZipBuilder b;
    for (const auto& name : unsafe) b.file(name, "evil");
    b.file("sub/good.txt", "good");
    const auto n = static_cast<std::int32_t>(unsafe.size());
    return {"unsafe-names-deeper", b.build().bytes, 0, static_cast<std::uint32_t>(n) + 1,
            {{"sub/good.txt", "good"}}, Failing(0, n - 1, UnpackErrUnsafeName)};
}

// Names in other scripts, flagged as UTF-8 or given by a Unicode path
// field: the decoded name is what installs, and what the safety checks see.
HostileArchive UnicodeNames() {
    const std::string french = "donn\xC3\xA9" "es/\xC3\xA9t\xC3\xA9.txt";
    const std::string japanese = "\xE6\x97\xA5\xE6\x9C\xAC/\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB.txt";
    const std::string outsideBmp = "\xF0\x9F\x8E\xAE.sav";
    ZipBuilder b;
    b.file(french, "french").utf8Name();
    b.file(japanese, "japanese").utf8Name();
    b.file(outsideBmp, "save").utf8Name();
    b.file("caf\xE9.txt", "not UTF-8").utf8Name();
    b.file("safe.txt", "climbs").centralExtra(UnicodePathExtra(Crc32("safe.txt"), "../escape.txt"));
    b.file("../evil.txt", "renamed").centralExtra(UnicodePathExtra(Crc32("../evil.txt"), "renamed.txt"));
    return {"unicode-names", b.build().bytes, 0, 6,
            {{french, "french"}, {japanese, "japanese"}, {outsideBmp, "save"}, {"renamed.txt", "renamed"}},
            {{3, ArchErrNameEncoding}, {4, UnpackErrUnsafeName}}};
}

}  // namespace

bool IsAscii(const std::string& name) {
    for (const char c : name) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

std::string NameAsRead(const std::string& stored) {
    std::string read;
    if (IsValidUtf8(stored) || !os::CodePageNameToUtf8(stored, &read)) return stored;
    return read;
}

std::string WithCentralLocalOffset(Zip zip, std::size_t entry, std::uint32_t offset) {
    Put32(zip.bytes, zip.entries.at(entry).central + kCentralLocalOffset, offset);
    return zip.bytes;
}

Failures FailureCodes(const UnpackResult& r) {
    Failures out;
    for (const auto& f : r.failures) out.emplace_back(f.index, f.code);
    return out;
}

Failures Failing(std::int32_t first, std::int32_t last, std::int32_t code) {
    Failures out;
    for (std::int32_t i = first; i <= last; ++i) out.emplace_back(i, code);
    return out;
}

const std::vector<std::string>& UnsafeEntryNames() {
    static const std::vector<std::string> names = {
        "../x",   "..\\x",   "a/../../x", "a\\..\\..\\x", "/abs",    "\\abs",      "C:x",
        "C:\\x",  "x:stream", "CON",      "nul.txt",      "com1.dat", "lpt9",      "sub/AUX/x",
        "...",    "a/.../b",  "",
        // The console's own names and ports numbered with a superscript digit
        // (UTF-8, flagged as such in archives, then the Western code page's
        // byte, unflagged: bytes on POSIX, ³ in that code page on Windows).
        "CONIN$", "sub/conout$.txt", "COM\xC2\xB9", "lpt\xB3.dat",
    };
    return names;
}

std::vector<HostileArchive> HostileArchives() {
    const Zip two = ZipBuilder().file("a.txt", "alpha").file("z.txt", "zulu").build();
    const Zip one = ZipBuilder().file("a.txt", "alpha").build();
    const auto directorySize = static_cast<std::uint32_t>(one.endRecord - one.centralStart);
    const auto directoryOffset = static_cast<std::uint32_t>(one.centralStart);
    // A long directory under a count that promises far more. Its entries
    // are refused names, so that they cost a walk step each but no file:
    // walking to each missing entry again from the first took quadratic time.
    constexpr std::int32_t kMany = 1500;
    ZipBuilder manyBuilder;
    manyBuilder.file("first.txt", "1");
    for (std::int32_t i = 1; i < kMany; ++i) manyBuilder.file("../m" + std::to_string(i), "m");
    Failures manyFailures = Failing(1, kMany - 1, UnpackErrUnsafeName);
    for (const auto& f : Failing(kMany, 0xFFFE, ArchErrCentralHeader)) manyFailures.push_back(f);

    return {
        UnsafeNames(),
        UnsafeNamesDeeper(),
        UnicodeNames(),
        {"declared-4gib-stored",
         MessWith(ZipBuilder().file("big", "tiny").file("z.txt", "zulu").build(),
                  [](Zip& z) {
                      corrupt::DeclaredSize(0, 0xFFFFFFFF)(z);
                      corrupt::CompressedSize(0, 0xFFFFFFFF)(z);
                  }).bytes,
         0, 2, {{"z.txt", "zulu"}}, {{0, ArchErrWrite}}},
        {"declared-4gib-deflated",
         MessWith(ZipBuilder().deflated("big", "tiny").file("z.txt", "zulu").build(),
                  corrupt::DeclaredSize(0, 0xFFFFFFFF)).bytes,
         0, 2, {{"z.txt", "zulu"}}, {{0, ArchErrWrite}}},
        // A megabyte of zeros in a stream that declares 1000 bytes and the
        // CRC of the whole: the delivery stops at 1000, and the CRC then fails.
        {"expands-past-declared",
         MessWith(ZipBuilder().deflated("bomb", std::string(1 << 20, '\0')).file("z.txt", "zulu").build(),
                  corrupt::DeclaredSize(0, 1000)).bytes,
         0, 2, {{"z.txt", "zulu"}}, {{0, ArchErrCrc}}},
        {"local-header-far-past-the-end", WithCentralLocalOffset(two, 1, 0xFFFFFF00), 0, 2,
         {{"a.txt", "alpha"}}, {{1, ArchErrLocalHeader}}},
        {"local-header-at-the-end", WithCentralLocalOffset(two, 1, two.size()), 0, 2, {{"a.txt", "alpha"}},
         {{1, ArchErrLocalHeader}}},
        {"local-header-cut-by-the-end", WithCentralLocalOffset(two, 1, two.size() - 10), 0, 2,
         {{"a.txt", "alpha"}}, {{1, ArchErrLocalHeader}}},
        {"local-extra-past-the-end", MessWith(two, corrupt::LocalExtraLength(1, 0xFFFF)).bytes, 0, 2,
         {{"a.txt", "alpha"}}, {{1, ArchErrLocalExtra}}},
        // The name cannot even be read: it would run past the block.
        {"central-name-past-the-end",
         MessWith(two, [](Zip& z) { Put16(z.bytes, z.entries[0].central + kCentralNameLength, 0xFFFF); })
             .bytes,
         0, 2, {}, {{0, ArchErrCentralHeader}, {1, ArchErrCentralHeader}}},
        {"overlapping-entries", OverlappingEntries(), 0, 2, {{"b.txt", "bravo"}}, {}},
        {"count-65535-over-one", MessWith(one, corrupt::EndCounts(0xFFFF, 0xFFFF)).bytes, 0, 0xFFFF,
         {{"a.txt", "alpha"}}, Failing(1, 0xFFFE, ArchErrCentralHeader)},
        {"count-65535-over-1500", MessWith(manyBuilder.build(), corrupt::EndCounts(0xFFFF, 0xFFFF)).bytes, 0,
         0xFFFF, {{"first.txt", "1"}}, manyFailures},
        {"directory-wraps-to-the-true-end",
         WithDirectory(one, directorySize + 0x80000000u, directoryOffset + 0x80000000u), ErrBadArchive, 0,
         {}, {}},
        {"directory-offset-wraps-past-4gib", WithDirectory(one, 0x40, 0xFFFFFFF0u), ErrBadArchive, 0, {}, {}},
        {"directory-size-past-the-end-record", WithDirectory(one, 0xFFFFFFFFu, directoryOffset),
         ErrBadArchive, 0, {}, {}},
        {"comment-65513", ZipBuilder().file("a.txt", "alpha").comment(std::string(65513, 'c')).build().bytes,
         0, 1, {{"a.txt", "alpha"}}, {}},
        // The end record lies beyond the search's reach; the 22 bytes read at
        // the start instead are a local header, whose version reads as a disk.
        {"comment-65535", ZipBuilder().file("a.txt", "alpha").comment(std::string(65535, 'c')).build().bytes,
         ErrBadArchive, 0, {}, {}},
        {"end-record-at-the-start-only", ZipBuilder().build().bytes, ErrIo, 0, {}, {}},
        {"end-record-at-the-end-after-data", ZipBuilder().prefix("MZ other data").build().bytes, 0, 0, {},
         {}},
    };
}

Files InstalledTree(const std::filesystem::path& folder, const std::set<std::string>& timeless) {
    namespace fs = std::filesystem;
    Files tree;
    std::error_code error;
    if (!fs::is_directory(folder, error)) return tree;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        const std::string name = Utf8Text(fs::relative(e.path(), folder));
        if (e.is_directory()) {
            tree[name] = "<folder>";
            continue;
        }
        const bool timed = timeless.count(name) == 0;
        const auto written = timed ? fs::last_write_time(e.path()).time_since_epoch().count() : 0;
        const bool writable = (fs::status(e.path()).permissions() & fs::perms::owner_write) != fs::perms::none;
        tree[name] = ReadWholeFile(e.path()) + "@" + std::to_string(written) + (writable ? " rw" : " ro");
    }
    return tree;
}

HostileArchive HostileArchiveNamed(const std::string& label) {
    for (HostileArchive& c : HostileArchives()) {
        if (c.label == label) return std::move(c);
    }
    return {};
}

}  // namespace quarn::testing
