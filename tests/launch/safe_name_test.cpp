#include "launch/unpack_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace quarn {
namespace {

TEST(IsSafeEntryName, NamesThatStayInsideTheFolder) {
    for (const char* name : {"a.txt", "data/maps/a.bin", "data\\maps\\a.bin", "sub/", "./a", "a/./b",
                             "a/.", ".hidden", "a..b", "..a", "a..", "a.", "console.txt", "CONX",
                             "COM0", "COM10", "LPT", "nul2.txt", "con_/x", "xCOM1", " ",
                             // Near the console and port names, but none of them.
                             "CONIN", "CONOUT", "CONIN$$", "CONERR$", "conin$x", "COM\xC2\xB9x",
                             "COM\xC2\xB4", "LPT\xC2", "COM\xB4", "COM\xB9" "1", "LPT\xE2\x81\xB4"}) {
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
             // The console's input and output, in any case, component and with any extension.
             "CONIN$", "conin$", "CONOUT$", "ConOut$.log", "a/conin$/b", "a\\CONOUT$ ",
             // COM and LPT with a superscript one, two or three: UTF-8, then the
             // Western code page's single bytes.
             "COM\xC2\xB9", "com\xC2\xB2.txt", "LPT\xC2\xB3", "sub/lpt\xC2\xB9/x",
             "COM\xB9", "lpt\xB2.dat", "a\\LPT\xB3 ",
         }) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(IsSafeEntryName(name));
    }
}

}  // namespace
}  // namespace quarn
