#include "launch/unpack_folder.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <vector>

#include "archive/archive.h"
#include "base/text.h"
#include "os/file.h"
#include "os/folder.h"
#include "os/name_case.h"

namespace quarn {

namespace {

constexpr std::uint32_t kSavedFolderSize = 500;

// Windows drops trailing dots and spaces from a component, so "..", ". ."
// and "..." may all climb; only "." is plain.
bool IsDotsOnly(const char* begin, const char* end) {
    if (end - begin == 1 && *begin == '.') return false;
    bool anyDot = false;
    for (const char* p = begin; p != end; ++p) {
        if (*p == '.') anyDot = true;
        else if (*p != ' ') return false;
    }
    return anyDot;
}

// A port number Windows takes after COM or LPT: 1 to 9, or the superscript
// digits one to three, in UTF-8 or, in a name left as bytes (an unflagged
// name on POSIX), as the Western code page's byte. Gives how many bytes the
// digit takes, 0 for none.
std::size_t PortDigitLength(const char* p, const char* end) {
    const auto byte = [&](std::ptrdiff_t i) { return static_cast<unsigned char>(p[i]); };
    const auto superscript = [](unsigned char b) { return b == 0xB9 || b == 0xB2 || b == 0xB3; };
    if (end - p >= 1 && byte(0) >= '1' && byte(0) <= '9') return 1;
    if (end - p >= 1 && superscript(byte(0))) return 1;
    if (end - p >= 2 && byte(0) == 0xC2 && superscript(byte(1))) return 2;
    return 0;
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, and COM or LPT with a port number name
// devices whatever follows the first dot, and with trailing spaces.
bool IsDeviceName(const char* begin, const char* end) {
    const char* stem = begin;
    while (stem != end && *stem != '.') ++stem;
    while (stem != begin && stem[-1] == ' ') --stem;
    const std::size_t n = static_cast<std::size_t>(stem - begin);
    char upper[8] = {};
    if (n < 3 || n >= sizeof upper) return false;
    for (std::size_t i = 0; i < n; ++i) upper[i] = AsciiUpper(begin[i]);
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices) {
        if (std::strcmp(upper, device) == 0) return true;
    }
    if (std::strncmp(upper, "COM", 3) != 0 && std::strncmp(upper, "LPT", 3) != 0) return false;
    const std::size_t digit = PortDigitLength(begin + 3, stem);
    return digit != 0 && 3 + digit == n;
}

void AddFailure(UnpackResult& result, std::int32_t index, const char* name, std::int32_t code) {
    if (result.failures.size() < kMaxListedFailures)
        result.failures.push_back(UnpackFailure{index, name != nullptr ? name : "", code});
    ++result.failedEntries;
}

// What the directory walk learns of one entry before any data moves.
struct EntryPlan {
    std::int32_t code = ArchOk;  // a failure already known, or ArchOk
    std::string name;
    std::uint32_t size = 0;       // declared, so only an order hint
    bool folder = false;
};

// The name as the file system will see it: one separator, letter case
// folded in every script, and the trailing dots and spaces Windows drops
// from a component.
std::string FileSystemKey(const std::string& name) {
    std::string key;
    std::size_t componentStart = 0;
    const auto trimComponent = [&] {
        while (key.size() > componentStart && (key.back() == '.' || key.back() == ' ')) key.pop_back();
    };
    for (char c : os::UpperCaseName(name)) {
        if (IsPathSeparator(c)) {
            trimComponent();
            key.push_back('/');
            componentStart = key.size();
        } else {
            key.push_back(c);
        }
    }
    trimComponent();
    while (!key.empty() && key.back() == '/') key.pop_back();
    return key;
}

// True when two entries would land on the same path, or a file on a path
// that another entry needs as a folder: their outcome then depends on the
// order they are installed in, so only the entry order keeps it the same.
bool NamesCollide(const std::vector<EntryPlan>& plans) {
    std::unordered_set<std::string> taken;
    std::unordered_set<std::string> files;
    std::unordered_set<std::string> neededFolders;
    for (const EntryPlan& plan : plans) {
        if (plan.code != ArchOk) continue;
        std::string key = FileSystemKey(plan.name);
        if (!taken.insert(key).second) return true;
        if (!plan.folder) files.insert(key);
        for (std::size_t at = key.find('/'); at != std::string::npos; at = key.find('/', at + 1))
            neededFolders.insert(key.substr(0, at));
    }
    for (const std::string& file : files) {
        if (neededFolders.count(file) != 0) return true;
    }
    return false;
}

// Reads every record through the walking handle; false when the entries
// cannot even be counted.
bool PlanEntries(ArchiveHandle* archive, std::vector<EntryPlan>& plans) {
    ZipEntry entry;
    if (GetEntry(archive, -1, &entry) != ArchOk) return false;
    plans.resize(static_cast<std::size_t>(entry.index));
    ZipEntry record;  // filled by each successful GetEntry
    for (std::int32_t i = 0; i < entry.index; ++i) {
        EntryPlan& plan = plans[static_cast<std::size_t>(i)];
        if (std::int32_t code = GetEntry(archive, i, &record); code != ArchOk) {
            plan.code = code;
            continue;
        }
        plan.name = record.name;
        plan.size = record.uncompressedSize;
        plan.folder = (record.attributes & os::kAttrDirectory) != 0;
        if (!IsSafeEntryName(record.name)) plan.code = UnpackErrUnsafeName;
    }
    return true;
}

// Moving a handle's directory cursor back to an earlier entry walks from the
// first one again, so only a few of the largest entries go first; the rest
// follow in entry order, which every cursor walks forward.
constexpr std::size_t kLargeFirst = 32;

std::vector<std::int32_t> WorkOrder(const std::vector<EntryPlan>& plans) {
    std::vector<std::int32_t> large;
    for (std::size_t i = 0; i < plans.size(); ++i) {
        if (plans[i].code == ArchOk && !plans[i].folder) large.push_back(static_cast<std::int32_t>(i));
    }
    const auto bigger = [&](std::int32_t a, std::int32_t b) {
        return plans[static_cast<std::size_t>(a)].size > plans[static_cast<std::size_t>(b)].size;
    };
    const std::size_t first = std::min(kLargeFirst, large.size());
    std::partial_sort(large.begin(), large.begin() + static_cast<std::ptrdiff_t>(first), large.end(), bigger);
    large.resize(first);
    std::vector<bool> queued(plans.size(), false);
    for (std::int32_t i : large) queued[static_cast<std::size_t>(i)] = true;
    std::vector<std::int32_t> order = large;
    for (std::size_t i = 0; i < plans.size(); ++i) {
        if (plans[i].code == ArchOk && !queued[i]) order.push_back(static_cast<std::int32_t>(i));
    }
    return order;
}

// The entries shared by the workers: each takes the next index of the order
// and writes only its own entries' results.
struct SharedQueue {
    const std::vector<std::int32_t>& order;
    std::vector<EntryPlan>& plans;
    std::atomic<std::size_t> next{0};
};

void Work(ArchiveHandle* archive, SharedQueue* queue) {
    for (;;) {
        const std::size_t taken = queue->next.fetch_add(1, std::memory_order_relaxed);
        if (taken >= queue->order.size()) return;
        const std::int32_t index = queue->order[taken];
        EntryPlan& plan = queue->plans[static_cast<std::size_t>(index)];
        plan.code = ExtractEntry(archive, index, const_cast<char*>(plan.name.c_str()), 0, SourceFileName);
    }
}

// More handles over the block, opened here while the working directory is
// the target, since each takes it as its folder base. A handle that cannot
// be opened only means one worker fewer.
std::vector<ArchiveHandle*> OpenHelpers(const void* block, std::uint32_t size, std::uint32_t count) {
    std::vector<ArchiveHandle*> helpers;
    for (std::uint32_t i = 0; i < count; ++i) {
        ArchiveHandle* helper = OpenArchive(block, size, SourceMemory);
        if (helper == nullptr) break;
        helpers.push_back(helper);
    }
    return helpers;
}

// Runs the queue on the walking handle in this thread and on each helper in
// a thread of its own; a thread that cannot start leaves its share to the
// others.
void RunWorkers(ArchiveHandle* archive, std::vector<ArchiveHandle*>& helpers, SharedQueue& queue) {
    std::vector<std::thread> threads;
    for (ArchiveHandle* helper : helpers) {
        try {
            threads.emplace_back(Work, helper, &queue);
        } catch (const std::system_error&) {
            break;
        }
    }
    Work(archive, &queue);
    for (std::thread& thread : threads) thread.join();
    for (ArchiveHandle* helper : helpers) CloseArchive(helper);
}

// Extracts every entry of an archive opened in the working directory; false
// when the entries cannot even be counted.
bool ExtractAll(ArchiveHandle* archive, const void* block, std::uint32_t size,
                std::uint32_t workers, UnpackResult& result) {
    std::vector<EntryPlan> plans;
    if (!PlanEntries(archive, plans)) return false;
    result.entryCount = static_cast<std::uint32_t>(plans.size());
    const std::vector<std::int32_t> order = WorkOrder(plans);
    if (order.size() < 2 || NamesCollide(plans)) workers = 1;
    workers = static_cast<std::uint32_t>(std::min<std::size_t>(workers, order.size()));
    SharedQueue queue{order, plans};
    std::vector<ArchiveHandle*> helpers = OpenHelpers(block, size, workers > 0 ? workers - 1 : 0);
    RunWorkers(archive, helpers, queue);
    for (std::size_t i = 0; i < plans.size(); ++i) {
        if (plans[i].code != ArchOk) {
            const EntryPlan& plan = plans[i];
            AddFailure(result, static_cast<std::int32_t>(i), plan.name.c_str(), plan.code);
        }
    }
    return true;
}

}  // namespace

bool IsSafeEntryName(const char* name) {
    if (name == nullptr || name[0] == '\0' || IsPathSeparator(name[0])) return false;
    if (std::strchr(name, ':') != nullptr) return false;
    const char* begin = name;
    for (;;) {
        const char* end = begin;
        while (*end != '\0' && !IsPathSeparator(*end)) ++end;
        if (IsDotsOnly(begin, end) || IsDeviceName(begin, end)) return false;
        if (*end == '\0') return true;
        begin = end + 1;
    }
}

std::uint32_t UnpackWorkerCount(const char* fixed, unsigned processors) {
    if (fixed != nullptr) {
        char* end = nullptr;
        const unsigned long count = std::strtoul(fixed, &end, 10);
        if (end != fixed && *end == '\0' && fixed[0] != '-' && count >= 1 && count <= kMaxUnpackWorkers)
            return static_cast<std::uint32_t>(count);
    }
    return std::clamp<std::uint32_t>(processors, 1, kMaxUnpackWorkers);
}

std::uint32_t UnpackWorkerCount() {
    return UnpackWorkerCount(std::getenv("QUARN_UNPACK_WORKERS"), std::thread::hardware_concurrency());
}

UnpackResult UnpackToFolder(const void* block, std::uint32_t size, const char* folder,
                            std::uint32_t workers) {
    UnpackResult result;
    char saved[kSavedFolderSize];
    if (folder != nullptr) {
        if (!os::GetCurrentFolder(saved, sizeof saved)) {
            result.openResult = UnpackErrSaveFolder;
            return result;
        }
        os::MakeFolder(folder);  // it may exist already
        // Unpacking anywhere else would spill the files into the folder the
        // caller happens to stand in.
        if (!os::ChangeFolder(folder)) {
            result.openResult = UnpackErrEnterFolder;
            return result;
        }
    }
    // Opened only now: the archive takes the working directory as the base
    // for the folders it creates.
    bool walked = false;
    ArchiveHandle* archive = OpenArchive(block, size, SourceMemory);
    if (archive == nullptr) {
        result.openResult = lastArchiveResult;
    } else {
        walked = ExtractAll(archive, block, size, workers != 0 ? workers : UnpackWorkerCount(), result);
        CloseArchive(archive);
    }
    if (folder != nullptr) os::ChangeFolder(saved);
    result.complete = walked && result.failedEntries == 0;
    return result;
}

const char* UnpackResultText(std::int32_t code) {
    switch (code) {
        case UnpackErrUnsafeName: return "the name could leave the folder or names a device";
        case UnpackErrSaveFolder: return "the working directory cannot be saved";
        case UnpackErrEnterFolder: return "the target folder cannot be entered";
        default: return ArchiveResultText(code);
    }
}

}  // namespace quarn
