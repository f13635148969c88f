// Zipping a folder with libzip. Entries are added in sorted order so that the
// same folder always gives the same archive layout.
#include "zip_folder.h"

#include <zip.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <sstream>
#include <vector>

#include "archive/archive.h"
#include "launch/unpack_folder.h"

namespace quarn::tool {
namespace {

namespace fs = std::filesystem;

// The reader handles 16-bit entry counts and 32-bit sizes only.
constexpr std::size_t kMaxEntries = 0xFFFF;
constexpr std::uintmax_t kMaxArchiveSize = 0xFFFFFFFFu;

// MS-DOS attribute bits in the low byte of the external attributes.
constexpr std::uint32_t kDosReadOnly = 0x01;
constexpr std::uint32_t kDosFolder = 0x10;
constexpr std::uint32_t kUnixFolder = 0040000;
constexpr std::uint32_t kUnixFile = 0100000;

struct Item {
    fs::path path;
    std::string name;  // as stored: relative, '/', folders end in '/'
    bool folder = false;
};

// Why the launcher could not install an entry of this name; empty when it can.
std::string NameProblem(const std::string& name) {
    if (name.size() >= kMaxPath) return "name is " + std::to_string(name.size()) +
                                        " bytes, the launcher takes names below 260";
    // The launcher takes '\' as a separator too: such a name would land elsewhere.
    if (name.find('\\') != std::string::npos) return "a backslash in the name";
    if (!IsSafeEntryName(name.c_str())) return "the launcher refuses this name";
    return {};
}

bool CollectItems(const fs::path& folder, std::vector<Item>* items, std::string* error) {
    std::error_code failure;
    fs::recursive_directory_iterator walk(folder, failure), end;
    for (; !failure && walk != end; walk.increment(failure)) {
        const fs::directory_entry& entry = *walk;
        const std::string relative = entry.path().lexically_relative(folder).generic_string();
        std::error_code statusError;
        const bool link = entry.is_symlink(statusError);
        const fs::file_status status = entry.status(statusError);
        Item item{entry.path(), relative, false};
        if (status.type() == fs::file_type::directory && !link) {
            item.folder = true;
            item.name.push_back('/');
        } else if (status.type() != fs::file_type::regular) {
            *error = relative + ": only regular files and folders can be packed";
            return false;
        }
        if (const std::string problem = NameProblem(item.name); !problem.empty()) {
            *error = item.name + ": " + problem;
            return false;
        }
        items->push_back(std::move(item));
    }
    if (failure) {
        *error = folder.string() + ": cannot be read: " + failure.message();
        return false;
    }
    if (items->size() > kMaxEntries) {
        *error = folder.string() + ": more than 65535 entries";
        return false;
    }
    std::sort(items->begin(), items->end(),
              [](const Item& a, const Item& b) { return a.name < b.name; });
    return true;
}

std::time_t ModificationTime(const fs::path& path) {
    std::error_code error;
    const fs::file_time_type time = fs::last_write_time(path, error);
    if (error) return std::time(nullptr);
    return std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(
            std::chrono::file_clock::to_sys(time)));
}

std::uint32_t ExternalAttributes(const Item& item) {
    std::error_code error;
    const fs::perms perms = fs::status(item.path, error).permissions();
    const auto mode = static_cast<std::uint32_t>(perms & fs::perms::mask) |
                      (item.folder ? kUnixFolder : kUnixFile);
    std::uint32_t dos = item.folder ? kDosFolder : 0;
    if (!item.folder && (perms & fs::perms::owner_write) == fs::perms::none) dos |= kDosReadOnly;
    return (mode << 16) | dos;
}

std::string LibzipError(zip_t* archive) { return zip_error_strerror(zip_get_error(archive)); }

// Adds one item; the file's bytes are read only when the archive is closed.
bool AddItem(zip_t* archive, const Item& item, std::string* error) {
    zip_int64_t index = -1;
    if (item.folder) {
        index = zip_dir_add(archive, item.name.c_str(), ZIP_FL_ENC_GUESS);
    } else {
        // Length -1: the whole file.
        zip_source_t* source = zip_source_file(archive, item.path.c_str(), 0, -1);
        if (source != nullptr) {
            index = zip_file_add(archive, item.name.c_str(), source, ZIP_FL_ENC_GUESS);
            if (index < 0) zip_source_free(source);
        }
        if (index >= 0 && zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                                                   ZIP_CM_DEFLATE, 0) != 0) {
            index = -1;
        }
    }
    const auto at = static_cast<zip_uint64_t>(index);
    if (index < 0 || zip_file_set_mtime(archive, at, ModificationTime(item.path), 0) != 0 ||
        zip_file_set_external_attributes(archive, at, 0, ZIP_OPSYS_UNIX,
                                         ExternalAttributes(item)) != 0) {
        *error = item.name + ": cannot be added: " + LibzipError(archive);
        return false;
    }
    return true;
}

bool ReadBack(const fs::path& zipFile, std::string* bytes, std::string* error) {
    std::error_code failure;
    const std::uintmax_t size = fs::file_size(zipFile, failure);
    if (failure) {
        *error = "the archive was not written: " + failure.message();
        return false;
    }
    if (size > kMaxArchiveSize) {
        *error = "the archive is 4 GiB or larger, beyond what the launcher reads";
        return false;
    }
    std::ifstream in(zipFile, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    *bytes = std::move(content).str();
    if (!in || bytes->size() != size) {
        *error = "the archive cannot be read back";
        return false;
    }
    return true;
}

}  // namespace

bool ZipFolder(const fs::path& folder, const fs::path& zipFile, ZippedFolder* zipped,
               std::string* error) {
    std::vector<Item> items;
    if (!CollectItems(folder, &items, error)) return false;
    if (items.empty()) {
        *error = folder.string() + ": the folder is empty";
        return false;
    }
    int openError = 0;
    zip_t* archive = zip_open(zipFile.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &openError);
    if (archive == nullptr) {
        zip_error_t reason;
        zip_error_init_with_code(&reason, openError);
        *error = zipFile.string() + ": " + zip_error_strerror(&reason);
        zip_error_fini(&reason);
        return false;
    }
    for (const Item& item : items) {
        if (!AddItem(archive, item, error)) {
            zip_discard(archive);
            return false;
        }
    }
    if (zip_close(archive) != 0) {
        *error = folder.string() + ": cannot be zipped: " + LibzipError(archive);
        zip_discard(archive);
        return false;
    }
    zipped->entries = static_cast<std::uint32_t>(items.size());
    if (!ReadBack(zipFile, &zipped->bytes, error)) {
        *error = folder.string() + ": " + *error;
        return false;
    }
    return true;
}

}  // namespace quarn::tool
