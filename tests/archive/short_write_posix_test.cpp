// A write that stores fewer bytes than asked must fail the extraction. A
// file-size limit makes the system do exactly that: the write that crosses
// it reports the bytes that still fit. The limit applies to the whole
// process, so the extraction runs in a child.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "archive/archive.h"
#include "support/temp_folder.h"
#include "support/zip_builder.h"

namespace quarn {
namespace {

using namespace testing;

constexpr rlim_t kLimit = 10000;

// Runs the extraction under the limit and gives its result code (or -1).
std::int32_t ExtractUnderSizeLimit(const Zip& zip, const std::string& target) {
    pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead of killing
        rlimit limit{kLimit, kLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        ArchiveHandle* a = OpenArchive(zip.data(), zip.size(), SourceMemory);
        std::int32_t r = a == nullptr ? -1
                                      : ExtractEntry(a, 0, const_cast<char*>(target.c_str()), 0,
                                                     SourceFileName);
        _exit(r == ArchErrWrite ? 0 : r == ArchOk ? 1 : 2);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status)) return -1;
    switch (WEXITSTATUS(status)) {
        case 0: return ArchErrWrite;
        case 1: return ArchOk;
        default: return -1;
    }
}

TEST(ShortWrite, FailsTheExtraction) {
    TempFolder temp;
    for (bool deflate : {false, true}) {
        SCOPED_TRACE(deflate ? "deflated" : "stored");
        // 40000 bytes against a 10000-byte limit: the first write is cut short.
        const Zip zip = ZipBuilder().file("big.bin", PatternBytes(40000), deflate).build();
        const std::string target = (temp / (deflate ? "d.bin" : "s.bin")).string();
        EXPECT_EQ(ExtractUnderSizeLimit(zip, target), ArchErrWrite);
        EXPECT_EQ(std::filesystem::file_size(target), kLimit);
    }
}

}  // namespace
}  // namespace quarn
