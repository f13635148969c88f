// Whole-file mapping.
#include "os/mapping.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "support/temp_folder.h"

namespace quarn::os {
namespace {

using quarn::testing::TempFolder;
using quarn::testing::WriteWholeFile;

TEST(Mapping, MapsTheWholeFile) {
    TempFolder temp;
    std::string bytes(70000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 253);
    WriteWholeFile(temp / "a.bin", bytes);
    MappedFile mapped;
    ASSERT_TRUE(MapFile((temp / "a.bin").string().c_str(), &mapped));
    ASSERT_NE(mapped.data, nullptr);
    ASSERT_EQ(mapped.size, bytes.size());
    EXPECT_EQ(std::memcmp(mapped.data, bytes.data(), bytes.size()), 0);
    UnmapFile(&mapped);
    EXPECT_EQ(mapped.data, nullptr);
    EXPECT_EQ(mapped.size, 0u);
}

TEST(Mapping, EmptyFileIsAnEmptyBlock) {
    TempFolder temp;
    WriteWholeFile(temp / "empty.bin", "");
    MappedFile mapped;
    ASSERT_TRUE(MapFile((temp / "empty.bin").string().c_str(), &mapped));
    EXPECT_EQ(mapped.data, nullptr);
    EXPECT_EQ(mapped.size, 0u);
    UnmapFile(&mapped);
}

TEST(Mapping, MissingFileOrFolderFails) {
    TempFolder temp;
    for (const std::string& name : {(temp / "missing.bin").string(), temp.text()}) {
        SCOPED_TRACE(name);
        MappedFile mapped;
        EXPECT_FALSE(MapFile(name.c_str(), &mapped));
        EXPECT_EQ(mapped.data, nullptr);
        EXPECT_EQ(mapped.size, 0u);
        UnmapFile(&mapped);  // harmless on a failed mapping
    }
}

TEST(Mapping, OwnerUnmapsOnceAndMovesItsBlock) {
    TempFolder temp;
    WriteWholeFile(temp / "a.bin", "abc");
    WriteWholeFile(temp / "b.bin", "defgh");
    const std::string a = (temp / "a.bin").string();
    const std::string b = (temp / "b.bin").string();

    ScopedMapping first;
    ASSERT_TRUE(MapFile(a.c_str(), &first));
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(std::memcmp(first.data(), "abc", 3), 0);

    ScopedMapping second(std::move(first));
    EXPECT_EQ(first.data(), nullptr);
    EXPECT_EQ(first.size(), 0u);
    ASSERT_EQ(second.size(), 3u);
    EXPECT_EQ(std::memcmp(second.data(), "abc", 3), 0);

    // Mapping into a holding owner lets the old block go; a failed mapping
    // leaves the owner empty.
    ASSERT_TRUE(MapFile(b.c_str(), &second));
    ASSERT_EQ(second.size(), 5u);
    EXPECT_EQ(std::memcmp(second.data(), "defgh", 5), 0);
    ScopedMapping third;
    third = std::move(second);
    EXPECT_EQ(third.size(), 5u);
    EXPECT_FALSE(MapFile((temp / "missing.bin").string().c_str(), &third));
    EXPECT_EQ(third.data(), nullptr);
    EXPECT_EQ(third.size(), 0u);

    // A released block is the caller's to unmap.
    ScopedMapping kept;
    ASSERT_TRUE(MapFile(b.c_str(), &kept));
    MappedFile raw = kept.release();
    EXPECT_EQ(kept.data(), nullptr);
    ASSERT_EQ(raw.size, 5u);
    EXPECT_EQ(std::memcmp(raw.data, "defgh", 5), 0);
    UnmapFile(&raw);
}

}  // namespace
}  // namespace quarn::os
