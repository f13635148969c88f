// The Win32 seam with names outside ASCII, checked from the system's side:
// what the seam creates carries its real name in UTF-16, text that is not
// UTF-8 reaches no W call, the registry and the shell answer in UTF-8, and a
// program started from such a folder knows its own name and path.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>

#include "os/code_page.h"
#include "os/file.h"
#include "os/folder.h"
#include "os/foreign_names.h"
#include "os/resources.h"
#include "os/shell.h"
#include "base/utf8.h"
#include "os/win32/windows_api.h"
#include "support/temp_folder.h"

#include <shlobj.h>

namespace quarn::os {
namespace {

using quarn::testing::kForeignNames;
using quarn::testing::TempFolder;

constexpr wchar_t kReportVariable[] = L"QUARN_FOREIGN_NAME_REPORT";

std::wstring Wide(const char16_t* text) {
    std::wstring out;
    for (; *text != u'\0'; ++text) out.push_back(static_cast<wchar_t>(*text));
    return out;
}

std::wstring WideOf(const std::string& ascii) {
    std::wstring wide;
    EXPECT_TRUE(win32::ToWide(ascii, &wide));
    return wide;
}

// The names in a folder, as the system lists them.
std::set<std::wstring> Listing(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.insert(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

TEST(ForeignNamesWin32, TheSystemHoldsTheRealNames) {
    TempFolder temp;
    const std::wstring base = WideOf(temp.text());
    std::set<std::wstring> folders;
    for (const auto& name : kForeignNames) {
        SCOPED_TRACE(name.what);
        const std::string folder = temp.text() + "\\" + name.folder;
        const std::string file = folder + "\\" + name.file;
        ASSERT_TRUE(MakeFolder(folder.c_str()));
        ASSERT_TRUE(ScopedFile(CreateFileWithAttributes(file.c_str(), kAttrNormal)).valid());

        const std::wstring wideFolder = base + L"\\" + Wide(name.wideFolder);
        const DWORD attributes = GetFileAttributesW(wideFolder.c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
        EXPECT_EQ(Listing(wideFolder), std::set<std::wstring>{Wide(name.wideFile)});
        folders.insert(Wide(name.wideFolder));
    }
    EXPECT_EQ(Listing(base), folders);
}

// No lossy stand-in reaches the system: each call fails, says why, and
// leaves nothing behind.
TEST(ForeignNamesWin32, TextThatIsNotUtf8IsRefused) {
    TempFolder temp;
    const char* invalid[] = {
        "caf\xE9",          // Latin-1, as an ANSI program would pass it
        "\xC3",             // a sequence cut short
        "\xC0\xAF",         // an overlong '/'
        "\xED\xA0\x80",     // an encoded surrogate
        "\xF4\x90\x80\x80"  // past U+10FFFF
    };
    for (const char* text : invalid) {
        const std::string path = temp.text() + "\\" + text;
        SCOPED_TRACE(path);
        SetLastError(0);
        EXPECT_FALSE(MakeFolder(path.c_str()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
        EXPECT_FALSE(FolderExists(path.c_str()));
        EXPECT_FALSE(ChangeFolder(path.c_str()));
        EXPECT_EQ(CreateFileWithAttributes(path.c_str(), kAttrNormal), kInvalidHandle);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
        EXPECT_EQ(OpenForReading(path.c_str()), kInvalidHandle);
        EXPECT_FALSE(PathExistsOnDisk(path.c_str()));
        EXPECT_EQ(OpenTextFile(path.c_str(), "wb"), nullptr);
        EXPECT_EQ(StartProcess(path.c_str()), 0u);
        char buffer[MAX_PATH] = "unset";
        EXPECT_EQ(ModuleFileName(path.c_str(), buffer, sizeof buffer), 0u);
        EXPECT_STREQ(buffer, "");
        ResourceData data;
        EXPECT_FALSE(FindRcData(path.c_str(), "GAMEID", &data));
        EXPECT_FALSE(FindRcData(nullptr, text, &data));
        EXPECT_EQ(VersionInfoSize(path.c_str()), 0u);
        EXPECT_FALSE(ReadUserRegistryText(text, "userpath", buffer, 100));
    }
    EXPECT_TRUE(Listing(WideOf(temp.text())).empty());
}

// A key of this test's own under HKEY_CURRENT_USER, removed at the end.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        keyPath_ = L"Software\\QuarnTest-" + std::to_wstring(GetCurrentProcessId()) + L"-ゲーム";
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        if (key_ != nullptr) RegCloseKey(key_);
        RegDeleteKeyW(HKEY_CURRENT_USER, keyPath_.c_str());
    }
    // Data stored without its terminator is followed by another character in
    // memory: the system adds a NUL that the count forgot when one follows.
    void Set(const wchar_t* name, DWORD type, const std::wstring& text, bool terminated) {
        const std::wstring data = terminated ? text : text + L'X';
        const std::size_t units = text.size() + (terminated ? 1 : 0);
        ASSERT_EQ(RegSetValueExW(key_, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                                 static_cast<DWORD>(units * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    std::string KeyPath() const { return win32::FromWide(keyPath_); }

    std::wstring keyPath_;
    HKEY key_ = nullptr;
};

// The value comes out as UTF-8 and the limit counts its bytes, the stored
// terminator included as one, as the A call counted it.
TEST_F(RegistryTest, TextComesOutAsUtf8WithinALimitInBytes) {
    const std::string path = "C:\\ゲーム\\Загрузки\\\U0001F3AE";
    const auto bytes = static_cast<std::uint32_t>(path.size());
    Set(L"terminated", REG_SZ, L"C:\\ゲーム\\Загрузки\\\U0001F3AE", true);
    Set(L"bare", REG_SZ, L"C:\\ゲーム\\Загрузки\\\U0001F3AE", false);
    Set(L"expandable", REG_EXPAND_SZ, L"C:\\ゲーム\\Загрузки\\\U0001F3AE", true);
    Set(L"ゲーム", REG_SZ, L"C:\\ゲーム\\Загрузки\\\U0001F3AE", true);
    const struct {
        const char* value;
        std::uint32_t limit;
        bool read;
    } cases[] = {
        {"terminated", bytes + 1, true}, {"terminated", bytes, false},
        {"terminated", 1000, true},      {"bare", bytes, true},
        {"bare", bytes - 1, false},      {"expandable", bytes + 1, true},
        {"ゲーム", bytes + 1, true},     {"missing", 1000, false},
    };
    const std::string key = KeyPath();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.value) + " " + std::to_string(c.limit));
        std::string buffer(c.limit + 1, 'Z');
        ASSERT_EQ(ReadUserRegistryText(key.c_str(), c.value, buffer.data(), c.limit), c.read);
        if (c.read) {
            EXPECT_EQ(std::string(buffer.c_str()), path);
        }
    }
    char buffer[16];
    EXPECT_FALSE(ReadUserRegistryText("Software\\QuarnTest-missing-ключ", "bare", buffer, 15));
}

TEST(ForeignNamesWin32, SpecialFoldersComeOutAsUtf8) {
    for (int id : {kFolderDocuments, kFolderApplicationData}) {
        SCOPED_TRACE(id);
        wchar_t wide[MAX_PATH] = {};
        ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, wide, id, TRUE));
        char path[kSpecialFolderSize] = {};
        ASSERT_TRUE(SpecialFolderPath(id, path));
        EXPECT_EQ(std::string(path), win32::FromWide(wide, wcslen(wide)));
    }
}

// Names stored without the UTF-8 mark are read in the ANSI code page of the
// system, whichever GetACP() reports; the rows of other pages are skipped.
TEST(ForeignNamesWin32, UnmarkedNamesFollowTheAnsiCodePage) {
    const struct {
        UINT page;
        const char* stored;
        const char* utf8;
    } cases[] = {
        {0, "", ""},
        {0, "plain.txt", "plain.txt"},
        {1252, "caf\xE9 \x80", "café €"},
        {1251, "\xC7\xE0\xE3\xF0\xF3\xE7\xEA\xE8", "Загрузки"},
        {932, "\x83\x51\x81\x5B\x83\x80", "ゲーム"},
    };
    const UINT page = GetACP();
    int checked = 0;
    for (const auto& c : cases) {
        if (c.page != 0 && c.page != page) continue;
        SCOPED_TRACE(c.stored);
        std::string out = "unset";
        ASSERT_TRUE(CodePageNameToUtf8(c.stored, &out));
        EXPECT_EQ(out, c.utf8);
        ++checked;
    }
    if (checked == 2) GTEST_SKIP() << "no row for code page " << page << " beyond ASCII";
}

// Every buffer too small for the whole path gets the longest start of it that
// fits and ends between two characters; the sizes that cut are named.
std::string CutsOfOwnPath(const std::string& whole) {
    std::string wrong;
    for (std::uint32_t size = 1; size <= whole.size() + 1; ++size) {
        std::string buffer(size, 'Z');
        const std::uint32_t length = ModuleFileName(nullptr, buffer.data(), size);
        const std::size_t expected = Utf8PrefixLength(whole, size - 1);
        if (length != expected || buffer.compare(0, length + 1, whole.substr(0, length) + '\0') != 0 ||
            !IsValidUtf8(std::string_view(buffer.data(), length))) {
            wrong += " " + std::to_string(size);
        }
    }
    return wrong.empty() ? "cuts fall between characters" : "wrong cuts at" + wrong;
}

// Run by StartProcess below, in a copy of this program: writes what the
// program knows of itself, one line each, then renames the report into
// place so that the starter never reads half of it.
TEST(ForeignNamesChild, ReportOwnNameAndPath) {
    const wchar_t* report = _wgetenv(kReportVariable);
    if (report == nullptr) GTEST_SKIP() << "only run by TheProgramKnowsItsForeignPath";
    const std::wstring partial = std::wstring(report) + L".partial";
    std::FILE* out = _wfopen(partial.c_str(), L"wb");
    ASSERT_NE(out, nullptr);
    char own[MAX_PATH * 4] = {};
    char named[MAX_PATH * 4] = {};
    const char* program = ProgramName();
    ModuleFileName(nullptr, own, sizeof own);
    if (program != nullptr) ModuleFileName(program, named, sizeof named);
    std::fprintf(out, "%s\n%s\n%s\n%s\n", program != nullptr ? program : "(none)", own, named,
                 CutsOfOwnPath(own).c_str());
    std::fclose(out);
    ASSERT_TRUE(MoveFileW(partial.c_str(), report));
}

std::string ReadReport(const std::wstring& report) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (GetFileAttributesW(report.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (std::chrono::steady_clock::now() > deadline) return "(no report)";
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::FILE* in = _wfopen(report.c_str(), L"rb");
    if (in == nullptr) return "(unreadable)";
    std::string text;
    char buffer[256];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, got);
    std::fclose(in);
    return text;
}

// StartProcess starts a copy of this program from folders named in other
// scripts, quoted (a blank in the path) and not; the copy finds its own name
// on its command line and its own path, both as UTF-8.
TEST(ForeignNamesWin32, TheProgramKnowsItsForeignPath) {
    TempFolder temp;
    wchar_t self[MAX_PATH * 4] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH * 4), 0u);
    const struct {
        const char16_t* folder;
        const char16_t* file;
        bool quoted;
    } cases[] = {
        {u"Загрузки", u"ゲーム.exe", false},
        {u"\U0001F3AE game données", u"日本 ファイル.exe", true},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::wstring folder = WideOf(temp.text()) + L"\\" + Wide(c.folder);
        const std::wstring program = folder + L"\\" + Wide(c.file);
        const std::string path = win32::FromWide(program);
        SCOPED_TRACE(path);
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        ASSERT_TRUE(CopyFileW(self, program.c_str(), TRUE));
        const std::wstring report = WideOf(temp.text()) + L"\\report" + std::to_wstring(n++) + L".txt";
        ASSERT_TRUE(SetEnvironmentVariableW(kReportVariable, report.c_str()));
        const std::string quoted = c.quoted ? "\"" + path + "\"" : path;
        const std::string line = quoted + " --gtest_filter=ForeignNamesChild.*";
        const std::uint32_t started = StartProcess(line.c_str());
        SetEnvironmentVariableW(kReportVariable, nullptr);
        ASSERT_NE(started, 0u);
        // Held so that the copy can be removed only once it has ended.
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, started);
        EXPECT_EQ(ReadReport(report),
                  path + "\n" + path + "\n" + path + "\ncuts fall between characters\n");
        if (process != nullptr) {
            WaitForSingleObject(process, 60000);
            CloseHandle(process);
        }
    }
}

}  // namespace
}  // namespace quarn::os
