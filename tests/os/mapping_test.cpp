// Whole-file mapping.
#include "os/mapping.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

}  // namespace
}  // namespace quarn::os
