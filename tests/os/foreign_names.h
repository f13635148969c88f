// Folder and file names outside ASCII for the seam's tests: two-byte and
// three-byte UTF-8, a character outside the Basic Multilingual Plane (a
// surrogate pair in UTF-16), and a blank. Each name is given as the UTF-8
// text the seam takes and, for checks from the Win32 side, as UTF-16 written
// independently of the seam's own conversion.
#pragma once

namespace quarn::testing {

struct ForeignName {
    const char* what;
    const char* folder;
    const char* file;
    const char16_t* wideFolder;
    const char16_t* wideFile;
};

inline constexpr ForeignName kForeignNames[] = {
    {"French", "données", "été.txt", u"données", u"été.txt"},
    {"Japanese", "日本", "ファイル.txt", u"日本", u"ファイル.txt"},
    {"outside the BMP", "\U0001F3AE game", "\U0001F3AE.txt", u"\U0001F3AE game", u"\U0001F3AE.txt"},
    {"Cyrillic", "Загрузки", "файл.txt", u"Загрузки", u"файл.txt"},
};

}  // namespace quarn::testing
