// Zipping a folder with libzip. Entries are added in sorted order and with
// times computed here, in UTC, so that the same folder always gives the same
// bytes.
#include "zip_folder.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "archive/archive.h"
#include "base/text.h"
#include "base/utf8.h"
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

// A name for a message: UTF-8 as it is, any other byte as \xNN, so that a
// name in another encoding shows what it holds instead of garbling the line.
std::string Printable(const std::string& name) {
    std::string out;
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = DecodeUtf8At(name, at).length;
        if (length != 0) {
            out.append(name, at, length);
            at += length;
            continue;
        }
        static const char kHex[] = "0123456789ABCDEF";
        const auto byte = static_cast<unsigned char>(name[at++]);
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
    }
    return out;
}

// Why the launcher could not install an entry of this name; empty when it can.
std::string NameProblem(const std::string& name) {
    if (name.size() >= kMaxPath) return "name is " + std::to_string(name.size()) +
                                        " bytes, the launcher takes names below 260";
    // Stored with the UTF-8 flag, and read by the launcher as UTF-8: bytes in
    // some other encoding would name another file, or none.
    if (!IsValidUtf8(name)) return "the name is not UTF-8 text";
    // The launcher takes '\' as a separator too: such a name would land elsewhere.
    if (name.find('\\') != std::string::npos) return "a backslash in the name";
    if (!IsSafeEntryName(name.c_str())) return "the launcher refuses this name";
    return {};
}

bool CollectItems(const fs::path& folder, const ZipOptions& options, std::vector<Item>* items,
                  std::string* error) {
    std::error_code failure;
    fs::recursive_directory_iterator walk(folder, failure), end;
    for (; !failure && walk != end; walk.increment(failure)) {
        const fs::directory_entry& entry = *walk;
        const std::string relative = entry.path().lexically_relative(folder).generic_string();
        std::error_code statusError;
        const bool link = entry.is_symlink(statusError);
        const fs::file_status status = entry.status(statusError);
        Item item{entry.path(), relative, false};
        const bool folderEntry = status.type() == fs::file_type::directory && !link;
        if (IsExcluded(options.excludes, relative, folderEntry)) {
            if (folderEntry) walk.disable_recursion_pending();
            continue;
        }
        if (folderEntry) {
            item.folder = true;
            item.name.push_back('/');
        } else if (status.type() != fs::file_type::regular) {
            *error = Printable(relative) + ": only regular files and folders can be packed";
            return false;
        }
        if (const std::string problem = NameProblem(item.name); !problem.empty()) {
            *error = Printable(item.name) + ": " + problem;
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

// A letter in upper case as Windows compares file names, for the scripts
// that game files are most often named in: Latin (ASCII, Latin-1, Latin
// Extended-A), Greek and Cyrillic. Other code points stay: a clash among
// them goes unwarned, never a false one.
char32_t WindowsUpper(char32_t c) {
    const auto odd = [](char32_t v) { return (v & 1) != 0; };
    if (c >= U'a' && c <= U'z') return c - 0x20;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return odd(c) ? c - 1 : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return odd(c) ? c : c - 1;
    if (c >= 0x3B1 && c <= 0x3C9) return c == 0x3C2 ? 0x3A3 : c - 0x20;  // final sigma too
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    return c;
}

// The name with its letters upper case as above; bytes that are not UTF-8
// stay (pack refuses such names anyway).
std::string WindowsCaseKey(const std::string& name) {
    std::string key;
    for (std::size_t at = 0; at < name.size();) {
        const Utf8Step step = DecodeUtf8At(name, at);
        if (step.length == 0) {
            key.push_back(name[at++]);
            continue;
        }
        AppendCodePoint(WindowsUpper(step.codePoint), key);
        at += step.length;
    }
    return key;
}

// Names that Windows takes as one: the launcher would install one over the other.
void WarnAboutCaseClashes(const std::vector<Item>& items, std::vector<std::string>* warnings) {
    std::vector<std::pair<std::string, const Item*>> folded;
    for (const Item& item : items) {
        std::string key = WindowsCaseKey(item.name);
        if (item.folder) key.pop_back();
        folded.emplace_back(std::move(key), &item);
    }
    std::stable_sort(folded.begin(), folded.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < folded.size(); ++i) {
        if (folded[i].first == folded[i - 1].first) {
            warnings->push_back(folded[i - 1].second->name + " and " + folded[i].second->name +
                                " differ only in letter case: on Windows one overwrites the other");
        }
    }
}

std::int64_t ModificationTime(const fs::path& path, const ZipOptions& options) {
    std::error_code error;
    const fs::file_time_type time = fs::last_write_time(path, error);
    // No time of the moment: it would make every package differ.
    std::int64_t seconds = options.latestTime.value_or(0);
    if (!error) {
        seconds = std::chrono::duration_cast<std::chrono::seconds>(
                      std::chrono::file_clock::to_sys(time).time_since_epoch())
                      .count();
    }
    if (options.latestTime && seconds > *options.latestTime) seconds = *options.latestTime;
    return seconds;
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

// A file deflated ahead of the writer, which stores the stream as it is.
struct Compressed {
    std::string data;  // raw deflate stream
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    bool done = false;
};

bool ReadWhole(const fs::path& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    *bytes = std::move(content).str();
    return static_cast<bool>(in) || bytes->empty();
}

bool Deflate(const std::string& input, int level, std::string* output) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    output->resize(deflateBound(&z, static_cast<uLong>(input.size())));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    z.avail_in = static_cast<uInt>(input.size());
    z.next_out = reinterpret_cast<Bytef*>(output->data());
    z.avail_out = static_cast<uInt>(output->size());
    const int result = deflate(&z, Z_FINISH);
    output->resize(z.total_out);
    deflateEnd(&z);
    return result == Z_STREAM_END;
}

bool CompressFile(const fs::path& path, int level, Compressed* out) {
    std::string input;
    if (!ReadWhole(path, &input) || input.size() > kMaxArchiveSize) return false;
    out->size = input.size();
    out->crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(input.data()), static_cast<uInt>(input.size())));
    out->done = Deflate(input, level, &out->data);
    return out->done;
}

// Deflates every file on as many threads as there are processors (at most
// eight); the stream of a file that cannot be read stays not done.
std::vector<Compressed> CompressAll(const std::vector<Item>& items, int level) {
    std::vector<Compressed> compressed(items.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < items.size();) {
            if (!items[i].folder) CompressFile(items[i].path, level, &compressed[i]);
        }
    };
    const unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < count; ++t) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& thread : threads) thread.join();
    return compressed;
}

// A libzip source that hands over a deflate stream with its CRC-32 and
// sizes, so that libzip writes it without compressing again.
struct StreamSource {
    const Compressed* compressed;
    std::size_t at = 0;
    zip_error_t error{};
};

zip_int64_t ServeStream(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* source = static_cast<StreamSource*>(state);
    const Compressed& c = *source->compressed;
    switch (command) {
        case ZIP_SOURCE_OPEN: source->at = 0; return 0;
        case ZIP_SOURCE_READ: {
            const std::size_t n = std::min<std::size_t>(length, c.data.size() - source->at);
            std::memcpy(data, c.data.data() + source->at, n);
            source->at += n;
            return static_cast<zip_int64_t>(n);
        }
        case ZIP_SOURCE_CLOSE: return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
            st->size = c.size;
            st->comp_size = c.data.size();
            st->comp_method = ZIP_CM_DEFLATE;
            st->crc = c.crc;
            return sizeof(*st);
        }
        case ZIP_SOURCE_ERROR: return zip_error_to_data(&source->error, data, length);
        case ZIP_SOURCE_FREE:
            zip_error_fini(&source->error);
            delete source;
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                  ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

// The file's source: its deflated stream, or at level 0 the file itself,
// read only when the archive is closed.
zip_source_t* FileSource(zip_t* archive, const Item& item, const Compressed& compressed, int level) {
    if (level == 0) return zip_source_file(archive, item.path.c_str(), 0, -1);  // -1: the whole file
    auto* state = new StreamSource{&compressed};
    zip_error_init(&state->error);
    zip_source_t* source = zip_source_function(archive, ServeStream, state);
    if (source == nullptr) {
        zip_error_fini(&state->error);
        delete state;
    }
    return source;
}

// Names are UTF-8 (NameProblem refuses others): libzip then sets the UTF-8
// flag on every name that is not plain ASCII, and leaves ASCII names as
// every reader has always read them.
constexpr zip_flags_t kNameEncoding = ZIP_FL_ENC_UTF_8;

// Adds one item; a compressed stream must outlive the archive's close.
bool AddItem(zip_t* archive, const Item& item, const Compressed& compressed, const ZipOptions& options,
             std::string* error) {
    zip_int64_t index = -1;
    if (item.folder) {
        index = zip_dir_add(archive, item.name.c_str(), kNameEncoding);
    } else {
        if (options.level != 0 && !compressed.done) {
            *error = item.name + ": cannot be read";
            return false;
        }
        zip_source_t* source = FileSource(archive, item, compressed, options.level);
        if (source != nullptr) {
            index = zip_file_add(archive, item.name.c_str(), source, kNameEncoding);
            if (index < 0) zip_source_free(source);
        }
        if (index >= 0 && options.level == 0 &&
            zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0) != 0) {
            index = -1;
        }
    }
    const auto at = static_cast<zip_uint64_t>(index);
    const std::uint32_t dos = DosTimeFromUnix(ModificationTime(item.path, options));
    if (index < 0 ||
        zip_file_set_dostime(archive, at, static_cast<zip_uint16_t>(dos & 0xFFFF),
                             static_cast<zip_uint16_t>(dos >> 16), 0) != 0 ||
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

bool GlobMatches(std::string_view glob, std::string_view text) {
    // Iterative matching with one point to go back to: the last '*'.
    std::size_t g = 0, t = 0, starG = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (g < glob.size() && glob[g] == '*') {
            starG = g++;
            starT = t;
        } else if (g < glob.size() && text[t] != '/' && (glob[g] == '?' || glob[g] == text[t])) {
            ++g;
            ++t;
        } else if (g < glob.size() && glob[g] == '/' && text[t] == '/') {
            ++g;
            ++t;
        } else if (starG != std::string_view::npos && text[starT] != '/') {
            g = starG + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (g < glob.size() && glob[g] == '*') ++g;
    return g == glob.size();
}

bool IsExcluded(const std::vector<std::string>& patterns, std::string_view name, bool folder) {
    const std::size_t slash = name.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? name : name.substr(slash + 1);
    for (std::string_view pattern : patterns) {
        if (pattern.ends_with('/')) {
            if (!folder) continue;
            pattern.remove_suffix(1);
        }
        const bool anchored = pattern.find('/') != std::string_view::npos;
        if (anchored ? GlobMatches(pattern, name) : GlobMatches(pattern, last)) return true;
    }
    return false;
}

std::uint32_t DosTimeFromUnix(std::int64_t seconds) {
    using namespace std::chrono;
    constexpr std::int64_t kEarliest = 315532800;   // 1980-01-01 00:00:00 UTC
    constexpr std::int64_t kLatest = 4354819198;    // 2107-12-31 23:59:58 UTC
    seconds = std::clamp(seconds, kEarliest, kLatest);
    const sys_seconds instant{std::chrono::seconds{seconds}};
    const sys_days day = floor<days>(instant);
    const year_month_day date{day};
    const hh_mm_ss clock{instant - day};
    const auto dosDate = static_cast<std::uint32_t>(
        ((static_cast<int>(date.year()) - 1980) << 9) |
        (static_cast<unsigned>(date.month()) << 5) | static_cast<unsigned>(date.day()));
    const auto dosTime = static_cast<std::uint32_t>(
        (clock.hours().count() << 11) | (clock.minutes().count() << 5) |
        (clock.seconds().count() / 2));
    return (dosDate << 16) | dosTime;
}

bool ZipFolder(const fs::path& folder, const fs::path& zipFile, const ZipOptions& options,
               ZippedFolder* zipped, std::string* error) {
    std::vector<Item> items;
    if (!CollectItems(folder, options, &items, error)) return false;
    if (items.empty()) {
        *error = folder.string() + ": the folder is empty" +
                 (options.excludes.empty() ? "" : " once --exclude has left out what it names");
        return false;
    }
    if (!options.required.empty() &&
        std::none_of(items.begin(), items.end(),
                     [&](const Item& item) { return item.name == options.required; })) {
        *error = options.required + ": left out by --exclude, but the launcher starts it";
        return false;
    }
    for (const Item& item : items) {
        if (!item.folder && (ExternalAttributes(item) & kDosReadOnly) != 0) {
            zipped->warnings.push_back(item.name + " is read-only: it installs read-only and no "
                                                   "later update can replace it");
        }
    }
    WarnAboutCaseClashes(items, &zipped->warnings);
    int openError = 0;
    zip_t* archive = zip_open(zipFile.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &openError);
    if (archive == nullptr) {
        zip_error_t reason;
        zip_error_init_with_code(&reason, openError);
        *error = zipFile.string() + ": " + zip_error_strerror(&reason);
        zip_error_fini(&reason);
        return false;
    }
    const std::vector<Compressed> compressed =
        options.level != 0 ? CompressAll(items, options.level) : std::vector<Compressed>(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!AddItem(archive, items[i], compressed[i], options, error)) {
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
