#include "archive/entry_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "os/code_page.h"
#include "support/archive_fixtures.h"
#include "support/zip_builder.h"

namespace quarn {
namespace {

using namespace testing;

const std::string kFrench = "donn\xC3\xA9" "es/\xC3\xA9t\xC3\xA9.txt";             // données/été.txt
const std::string kJapanese = "\xE6\x97\xA5\xE6\x9C\xAC/\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB.txt";
const std::string kOutsideBmp = "\xF0\x9F\x8E\xAE.sav";                               // U+1F3AE
const std::string kCodePage = "caf\xE9.txt";  // "café.txt" in the Western code page

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// What the system makes of an unflagged name: bytes on POSIX, the ANSI code
// page on Windows.
std::string AsCodePage(const std::string& stored) {
    std::string out;
    EXPECT_TRUE(os::CodePageNameToUtf8(stored, &out));
    return out;
}

TEST(DecodeEntryName, FlagExtraFieldAndCodePage) {
    const std::uint32_t crc = Crc32(kCodePage);
    struct Case {
        const char* what;
        std::string stored;
        std::uint32_t flags;
        std::string extra;
        std::int32_t result;
        std::string name;
    };
    const Case cases[] = {
        {"ASCII, no flag", "data/maps/a.txt", 0, "", ArchOk, "data/maps/a.txt"},
        {"flagged French", kFrench, kFlagUtf8Name, "", ArchOk, kFrench},
        {"flagged Japanese", kJapanese, kFlagUtf8Name, "", ArchOk, kJapanese},
        {"flagged, outside the BMP", kOutsideBmp, kFlagUtf8Name, "", ArchOk, kOutsideBmp},
        {"flagged with other bits", kFrench, kFlagUtf8Name | 0x0008, "", ArchOk, kFrench},
        {"flagged, code-page byte", kCodePage, kFlagUtf8Name, "", ArchErrNameEncoding, ""},
        {"flagged, overlong slash", "a\xC0\xAF" "b", kFlagUtf8Name, "", ArchErrNameEncoding, ""},
        {"flagged, encoded surrogate", "\xED\xA0\x80", kFlagUtf8Name, "", ArchErrNameEncoding, ""},
        {"no flag, code-page byte", kCodePage, 0, "", ArchOk, AsCodePage(kCodePage)},
        {"no flag, UTF-8 bytes", kFrench, 0, "", ArchOk, AsCodePage(kFrench)},
        {"extra field, matching CRC", kCodePage, 0, UnicodePathExtra(crc, kJapanese), ArchOk, kJapanese},
        {"extra field wins over the flag", "plain.txt", kFlagUtf8Name,
         UnicodePathExtra(Crc32("plain.txt"), kFrench), ArchOk, kFrench},
        {"extra field behind another block", kCodePage, 0,
         std::string("UT\x05\x00\x03\x01\x02\x03\x04", 9) + UnicodePathExtra(crc, kFrench), ArchOk, kFrench},
        {"extra field, stale CRC", kCodePage, 0, UnicodePathExtra(crc ^ 1, kJapanese), ArchOk,
         AsCodePage(kCodePage)},
        {"extra field, stale CRC, flagged", kFrench, kFlagUtf8Name, UnicodePathExtra(0, kJapanese), ArchOk, kFrench},
        {"extra field not UTF-8", "plain.txt", 0, UnicodePathExtra(Crc32("plain.txt"), "caf\xE9"), ArchOk,
         "plain.txt"},
        {"extra field of version 2", "plain.txt", 0,
         [] {
             std::string f = UnicodePathExtra(Crc32("plain.txt"), kFrench);
             f[4] = 2;
             return f;
         }(),
         ArchOk, "plain.txt"},
        {"extra field cut short", "plain.txt", 0, UnicodePathExtra(Crc32("plain.txt"), kFrench).substr(0, 12),
         ArchOk, "plain.txt"},
        {"extra field with a NUL", "plain.txt", 0,
         UnicodePathExtra(Crc32("plain.txt"), std::string("a\0b", 3)), ArchOk, "plain.txt"},
        {"stored NUL", std::string("a\0b", 3), kFlagUtf8Name, "", ArchErrEntryName, ""},
        {"stored 259 bytes", std::string(259, 'n'), 0, "", ArchOk, std::string(259, 'n')},
        {"stored 260 bytes", std::string(260, 'n'), 0, "", ArchErrEntryName, ""},
        // 90 characters of three bytes each: 90 bytes stored, 270 as text.
        {"extra field name of 270 bytes", "short", 0,
         UnicodePathExtra(Crc32("short"), [] {
             std::string s;
             for (int i = 0; i < 90; ++i) s += "\xE6\x97\xA5";
             return s;
         }()),
         ArchErrEntryName, ""},
    };
    for (const Case& c : cases) {
        std::string name = "untouched";
        const std::vector<std::uint8_t> extra = Bytes(c.extra);
        EXPECT_EQ(DecodeEntryName(c.stored, c.flags, extra, &name), c.result) << c.what;
        if (c.result == ArchOk) {
            EXPECT_EQ(name, c.name) << c.what;
        }
    }
}

// The reader hands out, searches by and reports the decoded names; a name
// that cannot be read fails its entry only.
TEST(DecodeEntryName, ReachesGetEntryAndFindEntry) {
    const Zip zip = ZipBuilder()
                        .file(kFrench, "french").utf8Name()
                        .file(kCodePage, "bad").utf8Name()
                        .file("plain.txt", "japanese")
                        .centralExtra(UnicodePathExtra(Crc32("plain.txt"), kJapanese))
                        .file(kOutsideBmp, "save").utf8Name()
                        .build();
    ArchivePtr archive = OpenMemoryArchive(zip);
    ASSERT_NE(archive, nullptr);
    ZipEntry entry;
    ASSERT_EQ(GetEntry(archive.get(), 0, &entry), ArchOk);
    EXPECT_EQ(entry.name, kFrench);
    EXPECT_EQ(GetEntry(archive.get(), 1, &entry), ArchErrNameEncoding);
    ASSERT_EQ(GetEntry(archive.get(), 2, &entry), ArchOk);
    EXPECT_EQ(entry.name, kJapanese);

    std::int32_t index = -1;
    EXPECT_EQ(FindEntry(archive.get(), kJapanese.c_str(), false, &index, &entry), ArchOk);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(FindEntry(archive.get(), "plain.txt", false, &index, nullptr), ArchErrNotFound);
    EXPECT_EQ(FindEntry(archive.get(), kOutsideBmp.c_str(), true, &index, &entry), ArchOk);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(entry.name, kOutsideBmp);
    EXPECT_STRNE(ArchiveResultText(ArchErrNameEncoding), ArchiveResultText(-12345));
}

}  // namespace
}  // namespace quarn
