// The PE resource reader and the narrow version block, on both sides: from
// memory and from files on disk, sound and damaged. Whatever the damage, a
// lookup ends in "not found" or in bytes inside the file; never a read out
// of bounds.
#include "os/pe/pe_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "os/fixtures/pe_fixtures.h"
#include "base/utf8.h"
#include "os/pe/version_block.h"
#include "support/temp_folder.h"
#include "support/version_block.h"

namespace quarn::os::pe {
namespace {

using quarn::testing::HavePeFixtures;
using quarn::testing::PeFixture;
using quarn::testing::PeImage;
using quarn::testing::TempFolder;
using quarn::testing::WriteWholeFile;

const std::string kGameId("ABCDEFGH\0", 9);

TEST(ResourceKeys, FromUtf8Names) {
    const struct {
        const char* name;
        bool valid;
        std::uint16_t id;
        std::u16string text;
    } cases[] = {
        {"#7", true, 7, u""},
        {"#65535", true, 65535, u""},
        {"#0", false, 0, u""},
        {"#65536", false, 0, u""},
        {"#", false, 0, u""},
        {"#12a", false, 0, u""},
        {"#-1", false, 0, u""},
        {"", false, 0, u""},
        {"GameId", true, 0, u"GAMEID"},
        {"a#1", true, 0, u"A#1"},
        // Names are UTF-8; letters outside ASCII keep their case, and a
        // character outside the BMP becomes its surrogate pair.
        {"caf\xC3\xA9", true, 0, u"CAF\u00E9"},
        {"x\xF0\x9F\x8E\xAE", true, 0, u"X\U0001F3AE"},
        {"caf\xE9", false, 0, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ResourceKey key = ResourceKeyFromName(c.name);
        EXPECT_EQ(key.valid, c.valid);
        if (!c.valid) continue;
        EXPECT_EQ(key.id, c.id);
        EXPECT_EQ(key.name, c.text);
    }
}

// The resource, the signature, 3 bytes of room for each 2 of the resource
// and a NUL.
TEST(Utf8Blocks, SizeHoldsTheResourceAndItsCopies) {
    const struct {
        std::size_t resource;
        std::uint32_t block;
    } cases[] = {
        {0, 0},
        {1, 7},
        {2, 10},
        {100, 255},
        {0x30000000, 0x78000005},
        {0x30000001, 0},
        {0xFFFFFFFF, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.resource);
        EXPECT_EQ(Utf8BlockSize(c.resource), c.block);
    }
}

TEST(PeDiskFiles, OnlyFilesOnDiskOpen) {
    TempFolder temp;
    EXPECT_FALSE(PeDiskFile((temp / "missing.exe").string().c_str()).isOpen());
    EXPECT_FALSE(PeDiskFile(temp.path().string().c_str()).isOpen());
    WriteWholeFile(temp / "four.bin", "MZab");
    const PeDiskFile file((temp / "four.bin").string().c_str());
    ASSERT_TRUE(file.isOpen());
    EXPECT_EQ(file.size(), 4u);
    char bytes[4] = {};
    EXPECT_TRUE(file.read(1, bytes, 3));
    EXPECT_EQ(std::string(bytes, 3), "Zab");
    EXPECT_TRUE(file.read(4, bytes, 0));
    EXPECT_FALSE(file.read(2, bytes, 3));
    EXPECT_FALSE(file.read(5, bytes, 0));
}

class PeImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HavePeFixtures()) GTEST_SKIP() << "built without the PE fixtures";
        ASSERT_GT(image_.file().size(), 1024u);
        ASSERT_NE(image_.ResourceDirectory(), 0u);
    }

    PeMemory Memory() const { return PeMemory(image_.bytes(), image_.file().size()); }

    PeImage image_;
};

TEST_F(PeImageTest, DiskAndMemoryFindTheSameResources) {
    const PeDiskFile disk(PeFixture("resources.exe").c_str());
    ASSERT_TRUE(disk.isOpen());
    ASSERT_EQ(disk.size(), image_.file().size());
    for (const char* name : {"GAMEDATA", "gameid", "MixedCase", "#7", "EMPTY"}) {
        SCOPED_TRACE(name);
        PeResource fromMemory;
        PeResource fromDisk;
        ASSERT_TRUE(FindPeResource(Memory(), kResourceTypeRcData, ResourceKeyFromName(name),
                                   &fromMemory));
        ASSERT_TRUE(FindPeResource(disk, kResourceTypeRcData, ResourceKeyFromName(name),
                                   &fromDisk));
        EXPECT_EQ(fromDisk.fileOffset, fromMemory.fileOffset);
        EXPECT_EQ(fromDisk.size, fromMemory.size);
        std::string bytes;
        ASSERT_TRUE(ReadPeResource(disk, kResourceTypeRcData, ResourceKeyFromName(name), &bytes));
        EXPECT_EQ(bytes, image_.file().substr(fromMemory.fileOffset, fromMemory.size));
    }
    std::string id;
    ASSERT_TRUE(ReadPeResource(disk, kResourceTypeRcData, ResourceKeyFromName("GAMEID"), &id));
    EXPECT_EQ(id, kGameId);
}

TEST_F(PeImageTest, EveryCutOfTheFileEitherFailsOrFindsTheWholeResource) {
    PeResource expected;
    ASSERT_TRUE(FindPeResource(Memory(), kResourceTypeRcData, ResourceKeyFromName("GAMEID"),
                               &expected));
    std::size_t firstFound = 0;
    for (std::size_t size = 0; size <= image_.file().size(); ++size) {
        PeResource found;
        if (!FindPeResource(PeMemory(image_.bytes(), size), kResourceTypeRcData,
                            ResourceKeyFromName("GAMEID"), &found)) {
            continue;
        }
        if (firstFound == 0) firstFound = size;
        ASSERT_EQ(found.fileOffset, expected.fileOffset) << size;
        ASSERT_EQ(found.size, expected.size) << size;
        ASSERT_LE(found.fileOffset + found.size, size);
    }
    EXPECT_GE(firstFound, expected.fileOffset + expected.size);
}

TEST_F(PeImageTest, DamagedHeadersAndDirectoriesFindNothing) {
    TempFolder temp;
    ResourceKey one;
    one.id = 1;
    const auto damages = quarn::testing::HeaderDamages(image_);
    for (std::size_t i = 0; i < damages.size(); ++i) {
        SCOPED_TRACE(damages[i].what);
        const std::string damaged = quarn::testing::Damaged(image_, damages[i]);
        const std::string path = (temp / (std::to_string(i) + ".exe")).string();
        WriteWholeFile(path, damaged);
        const PeMemory memory(reinterpret_cast<const std::uint8_t*>(damaged.data()),
                              damaged.size());
        const PeDiskFile disk(path.c_str());
        ASSERT_TRUE(disk.isOpen());
        for (const PeSource* source : {static_cast<const PeSource*>(&memory),
                                       static_cast<const PeSource*>(&disk)}) {
            PeResource found;
            EXPECT_FALSE(FindPeResource(*source, kResourceTypeRcData,
                                        ResourceKeyFromName("GAMEID"), &found));
            EXPECT_FALSE(FindPeResource(*source, kResourceTypeVersion, one, &found));
        }
    }
}

TEST_F(PeImageTest, TruncatedFilesOnDisk) {
    TempFolder temp;
    const std::string& file = image_.file();
    for (std::size_t size : TruncatedSizes(image_)) {
        SCOPED_TRACE(size);
        const std::string path = (temp / ("cut" + std::to_string(size) + ".exe")).string();
        WriteWholeFile(path, file.substr(0, size));
        const PeDiskFile disk(path.c_str());
        ASSERT_TRUE(disk.isOpen());
        std::string bytes;
        EXPECT_FALSE(ReadPeResource(disk, kResourceTypeRcData, ResourceKeyFromName("GAMEID"),
                                    &bytes));
    }
}

// Whatever the damage, a resource that is found lies inside the file.
void ExpectInside(const std::string& file, const char* name) {
    SCOPED_TRACE(name);
    const PeMemory memory(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
    PeResource found;
    if (FindPeResource(memory, kResourceTypeRcData, ResourceKeyFromName(name), &found)) {
        EXPECT_LE(found.fileOffset + found.size, file.size());
    }
}

// Any one word of the resource tree overwritten with a hostile value.
TEST_F(PeImageTest, OverwrittenDirectoryWordsStayInsideTheFile) {
    const std::uint64_t root = image_.ResourceDirectory();
    const std::uint64_t end = std::min<std::uint64_t>(root + 0x200, image_.file().size());
    for (std::uint64_t at = root; at + 4 <= end; at += 4) {
        for (std::uint32_t value : {0u, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0x80000010u}) {
            SCOPED_TRACE(::testing::Message() << "at " << (at - root) << " value " << value);
            std::string damaged = image_.file();
            PeImage::Put32(&damaged, at, value);
            for (const char* name : {"GAMEID", "MixedCase", "#7", "EMPTY"}) {
                ExpectInside(damaged, name);
            }
        }
    }
}

TEST_F(PeImageTest, ReadsPe32HeadersToo) {
    // PE32 keeps its data directories 16 bytes earlier in the optional header.
    std::string pe32 = image_.file();
    const std::size_t optional = image_.OptionalHeader();
    const std::uint32_t count = image_.Get32(optional + 108);
    ASSERT_GT(count, 2u);
    pe32[optional] = 0x0B;
    pe32[optional + 1] = 0x01;
    std::memmove(pe32.data() + optional + 92, pe32.data() + optional + 108, 4 + 8 * count);
    const PeMemory memory(reinterpret_cast<const std::uint8_t*>(pe32.data()), pe32.size());
    PeResource found;
    ASSERT_TRUE(FindPeResource(memory, kResourceTypeRcData, ResourceKeyFromName("GAMEID"),
                               &found));
    EXPECT_EQ(pe32.substr(found.fileOffset, found.size), kGameId);
}

// The UTF-8 block of a resource, as VersionInfo fills it.
std::vector<std::uint8_t> Utf8Block(const std::string& resource) {
    std::vector<std::uint8_t> block(Utf8BlockSize(resource.size()));
    if (block.empty() || !FillUtf8Block(resource, static_cast<std::uint32_t>(block.size()),
                                        block.data())) {
        return {};
    }
    return block;
}

// Asks every path of the fixture's block; what is found lies in the block.
void ExpectQueriesInside(const std::vector<std::uint8_t>& block) {
    for (const char* path : {"\\", "\\VarFileInfo\\Translation",
                             "\\StringFileInfo\\040904B0\\FileVersion",
                             "\\StringFileInfo\\040904B0\\Comments"}) {
        const void* value = nullptr;
        std::uint32_t length = 0;
        if (!QueryUtf8Block(block.data(), path, &value, &length)) continue;
        const auto* at = static_cast<const std::uint8_t*>(value);
        ASSERT_GE(at, block.data()) << path;
        ASSERT_LE(at + length, block.data() + block.size()) << path;
        if (std::strstr(path, "StringFileInfo") != nullptr) {
            const auto* end = static_cast<const std::uint8_t*>(
                std::memchr(at, 0, block.data() + block.size() - at));
            ASSERT_NE(end, nullptr) << path << ": the copy is not closed inside the block";
        }
    }
}

// Texts of 3-byte characters take half as much room again as their UTF-16
// form: each copy must still keep to its own room, the last one included,
// and stay readable while the others are asked for.
TEST(Utf8Blocks, WideCopiesNeitherOverlapNorLeaveTheBlock) {
    std::string game;
    for (int i = 0; i < 20; ++i) game += "\xE3\x82\xB2";  // U+30B2
    const std::string pad = "\xF0\x9F\x8E\xAE";            // U+1F3AE, a surrogate pair
    const std::vector<std::pair<std::string, std::string>> strings = {
        {"A", game}, {"B", pad + game}, {"FileVersion", "1.0"}, {"C", game + pad}};
    quarn::testing::VersionBlockContent content;
    content.stringTables = {{"040904B0", strings}};
    const std::string resource = quarn::testing::BuildVersionBlock(content);
    const std::vector<std::uint8_t> block = Utf8Block(resource);
    ASSERT_FALSE(block.empty());

    std::vector<const char*> copies;
    for (const auto& [name, text] : strings) {
        SCOPED_TRACE(name);
        const std::string path = "\\StringFileInfo\\040904B0\\" + name;
        const void* value = nullptr;
        std::uint32_t length = 0;
        ASSERT_TRUE(QueryUtf8Block(block.data(), path.c_str(), &value, &length));
        std::u16string units;
        ASSERT_TRUE(AppendUtf16(text, units));
        EXPECT_EQ(length, units.size() + 1);  // UTF-16 units with the NUL
        const auto* at = static_cast<const std::uint8_t*>(value);
        ASSERT_LE(at + text.size() + 1, block.data() + block.size());
        copies.push_back(static_cast<const char*>(value));
    }
    for (std::size_t i = 0; i < strings.size(); ++i) {
        EXPECT_EQ(std::string(copies[i]), strings[i].second) << strings[i].first;
    }
}

TEST_F(PeImageTest, DamagedVersionBlocksStayInside) {
    const std::string resource = image_.VersionResource();
    ASSERT_FALSE(resource.empty());
    for (std::size_t at = 0; at + 2 <= resource.size(); at += 2) {
        const std::uint16_t original =
            static_cast<std::uint16_t>(static_cast<std::uint8_t>(resource[at]) |
                                       (static_cast<std::uint8_t>(resource[at + 1]) << 8));
        for (std::uint16_t value : {std::uint16_t{0}, std::uint16_t{1}, std::uint16_t{6},
                                    std::uint16_t{0x7FFF}, std::uint16_t{0xFFFF},
                                    static_cast<std::uint16_t>(original + 4)}) {
            SCOPED_TRACE(::testing::Message() << "at " << at << " value " << value);
            std::string damaged = resource;
            damaged[at] = static_cast<char>(value);
            damaged[at + 1] = static_cast<char>(value >> 8);
            ExpectQueriesInside(Utf8Block(damaged));
        }
    }
}

TEST_F(PeImageTest, ABlockSmallerThanAskedIsCutToFit) {
    const std::string resource = image_.VersionResource();
    ASSERT_FALSE(resource.empty());
    for (std::size_t size : {std::size_t{20}, resource.size() / 2, resource.size(),
                             resource.size() * 2, std::size_t{Utf8BlockSize(resource.size())} - 1}) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> block(size);
        ASSERT_TRUE(FillUtf8Block(resource, static_cast<std::uint32_t>(size), block.data()));
        ExpectQueriesInside(block);
    }
    std::vector<std::uint8_t> tooSmall(19);
    EXPECT_FALSE(FillUtf8Block(resource, 19, tooSmall.data()));
    EXPECT_FALSE(FillUtf8Block(resource.substr(0, 5), 100, std::vector<std::uint8_t>(100).data()));
}

}  // namespace
}  // namespace quarn::os::pe
