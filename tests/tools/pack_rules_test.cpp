// The rules quarn pack applies to names, times and sizes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "launch/unpack_folder.h"
#include "quarn/image_facts.h"
#include "quarn/zip_folder.h"

namespace quarn::tool {
namespace {

TEST(ImageSize, RefusedFromTwoGibibytesOn) {
    EXPECT_TRUE(ImageSizeProblem(0).empty());
    EXPECT_TRUE(ImageSizeProblem(kMaxImageSize - 1).empty());
    for (const std::uint64_t size : {kMaxImageSize, kMaxImageSize + 1, std::uint64_t{1} << 32}) {
        const std::string problem = ImageSizeProblem(size);
        EXPECT_NE(problem.find("2 GiB"), std::string::npos) << problem;
        EXPECT_NE(problem.find(std::to_string(size)), std::string::npos) << problem;
    }
}

TEST(ImageSize, RiskyAboveOnePointEightGigabytes) {
    EXPECT_TRUE(ImageSizeRisk(kRiskyImageSize).empty());
    EXPECT_FALSE(ImageSizeRisk(kRiskyImageSize + 1).empty());
    EXPECT_FALSE(ImageSizeRisk(kMaxImageSize - 1).empty());
    EXPECT_TRUE(ImageSizeRisk(kMaxImageSize).empty());  // refused, not warned about
}

TEST(Glob, MatchesWithinOneNamePart) {
    struct Case {
        const char* glob;
        const char* text;
        bool matches;
    };
    const Case cases[] = {
        {"Thumbs.db", "Thumbs.db", true},   {"Thumbs.db", "thumbs.db", false},
        {"*.psd", "draft.psd", true},       {"*.psd", "draft.psd.bak", false},
        {"*", "", true},                    {"*", "a/b", false},
        {"docs/*.psd", "docs/a.psd", true}, {"docs/*.psd", "docs/x/a.psd", false},
        {"*/a", "x/a", true},               {"?.txt", "a.txt", true},
        {"?.txt", "ab.txt", false},         {"a*b*c", "axxbyyc", true},
        {"a*b*c", "axxbyy", false},         {"**", "a/b", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GlobMatches(c.glob, c.text), c.matches) << c.glob << " on " << c.text;
    }
}

TEST(Exclude, NamePartsAtAnyDepthPathsFromTheTopFoldersByTrailingSlash) {
    const std::vector<std::string> patterns = {".git/", "Thumbs.db", "docs/*.psd"};
    EXPECT_TRUE(IsExcluded(patterns, ".git", true));
    EXPECT_TRUE(IsExcluded(patterns, "sub/.git", true));
    EXPECT_FALSE(IsExcluded(patterns, ".git", false));  // a file named .git stays
    EXPECT_TRUE(IsExcluded(patterns, "Thumbs.db", false));
    EXPECT_TRUE(IsExcluded(patterns, "a/b/Thumbs.db", false));
    EXPECT_TRUE(IsExcluded(patterns, "docs/x.psd", false));
    EXPECT_FALSE(IsExcluded(patterns, "art/docs/x.psd", false));
    EXPECT_FALSE(IsExcluded({}, "anything", false));
}

TEST(DosTime, FromUtcWithinTheDosRange) {
    // 2021-03-04 05:06:08 UTC
    EXPECT_EQ(DosTimeFromUnix(1614834368),
              ((2021u - 1980) << 25 | 3u << 21 | 4u << 16) | (5u << 11 | 6u << 5 | 4u));
    // Before 1980 and after 2107: the ends of the range.
    EXPECT_EQ(DosTimeFromUnix(0), DosTimeFromUnix(315532800));
    EXPECT_EQ(DosTimeFromUnix(315532800), (1u << 21 | 1u << 16));
    EXPECT_EQ(DosTimeFromUnix(std::int64_t{1} << 40), DosTimeFromUnix(4354819198));
    EXPECT_EQ(DosTimeFromUnix(4354819198) >> 25, 127u);
}

namespace fs = std::filesystem;

std::map<std::string, std::string> FilesBelow(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        std::ostringstream data;
        if (e.is_regular_file()) data << std::ifstream(e.path(), std::ios::binary).rdbuf();
        files[fs::relative(e.path(), root).generic_string()] = e.is_directory() ? "<folder>" : data.str();
    }
    return files;
}

// Every level gives an ordinary ZIP that unzip tests clean and the launcher
// unpacks to the folder it came from, the same bytes each time; higher
// levels are no larger.
TEST(ZipFolder, EveryLevelGivesTheSameFilesReproducibly) {
    const fs::path root = fs::temp_directory_path() / ("quarn-levels-" + std::to_string(getpid()));
    fs::remove_all(root);
    const fs::path game = root / "game";
    fs::create_directories(game / "data" / "empty");
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i % 97) + " of the map\n";
    std::ofstream(game / "data" / "map.txt", std::ios::binary) << text;
    std::ofstream(game / "game.exe", std::ios::binary) << std::string(1000, 'x');
    std::ofstream(game / "zero.bin", std::ios::binary);
    const auto source = FilesBelow(game);

    std::size_t previousSize = SIZE_MAX;
    for (int level : {0, 1, 6, 9}) {
        SCOPED_TRACE("level " + std::to_string(level));
        ZipOptions options;
        options.level = level;
        options.latestTime = 1700000000;
        ZippedFolder first, second;
        std::string error;
        ASSERT_TRUE(ZipFolder(game, root / "first.zip", options, &first, &error)) << error;
        ASSERT_TRUE(ZipFolder(game, root / "second.zip", options, &second, &error)) << error;
        EXPECT_EQ(first.bytes, second.bytes);
        EXPECT_LE(first.bytes.size(), previousSize);
        previousSize = first.bytes.size();
        EXPECT_EQ(std::system(("unzip -tqq " + (root / "first.zip").string() + " >/dev/null").c_str()), 0);
        const fs::path out = root / ("out" + std::to_string(level));
        const UnpackResult r = UnpackToFolder(first.bytes.data(), static_cast<std::uint32_t>(first.bytes.size()),
                                              out.string().c_str());
        EXPECT_TRUE(r.complete);
        EXPECT_EQ(FilesBelow(out), source);
    }
    fs::remove_all(root);
}

}  // namespace
}  // namespace quarn::tool
