// The build number of a program whose folder and name are in other scripts:
// the version query reads the file by its UTF-8 path, on both systems.
#include <gtest/gtest.h>

#include <string>

#include "identity/version_query.h"
#include "os/file.h"
#include "os/fixtures/pe_fixtures.h"
#include "os/folder.h"
#include "support/temp_folder.h"

namespace quarn {
namespace {

using quarn::testing::HavePeFixtures;
using quarn::testing::ReadWholeFile;
using quarn::testing::TempFolder;

bool WriteThroughSeam(const std::string& path, const std::string& bytes) {
    const os::ScopedFile out(os::CreateFileWithAttributes(path.c_str(), os::kAttrNormal));
    std::uint32_t written = 0;
    return out.valid() &&
           os::WriteToFile(out.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                           &written) &&
           written == bytes.size();
}

TEST(VersionQueryForeignFolder, BuildNumberOfAProgramInAFolderOfAnotherScript) {
    if (!HavePeFixtures()) GTEST_SKIP() << "built without the PE fixtures";
    const std::string program = ReadWholeFile(std::string(QUARN_FIXTURES_DIR) + "/resources.exe");
    ASSERT_FALSE(program.empty());
    TempFolder temp;
    std::string path = temp.text();
    for (const char* part : {"Загрузки", "\U0001F3AE données"}) {
        path += "\\";
        path += part;
        ASSERT_TRUE(os::MakeFolder(path.c_str())) << path;
    }
    path += "\\ゲーム.exe";
    ASSERT_TRUE(WriteThroughSeam(path, program));
    const char* text = nullptr;
    EXPECT_EQ(GetFileBuildNumber(path.c_str(), &text), 340u);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "2.5.1.340");
}

}  // namespace
}  // namespace quarn
