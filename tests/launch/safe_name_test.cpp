#include "launch/unpack_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace quarn {
namespace {

TEST(IsSafeEntryName, NamesThatStayInsideTheFolder) {
    for (const char* name : {"a.txt", "data/maps/a.bin", "data\\maps\\a.bin", "sub/", "./a", "a/./b",
                             "a/.", ".hidden", "a..b", "..a", "a..", "a.", "console.txt", "CONX",
                             "COM0", "COM10", "LPT", "nul2.txt", "con_/x", "xCOM1", " "}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(IsSafeEntryName(name));
    }
}

TEST(IsSafeEntryName, NamesThatLeaveTheFolderOrNameADevice) {
    for (const char* name : {
             "", "/abs", "\\abs", "C:x", "C:\\x", "x:stream", "a/b:c",
             "..", "../x", "..\\x", "a/../../x", "a\\..\\..\\x", "a/..", "...", "a/.../b", ".. /x",
             "CON", "con", "Con.txt", "nul.txt", "NUL", "PRN", "aux.tar.gz", "com1.dat", "COM9",
             "lpt1", "lpt9", "sub/AUX/x", "sub\\nul", "CON ", "nul .txt",
         }) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(IsSafeEntryName(name));
    }
}

}  // namespace
}  // namespace quarn
