// The archive interface driven the way an outside caller may drive it:
// GetEntry, FindEntry and ExtractEntry in any order, on valid and invalid
// indexes, over a memory block, a named file or a handle. Every result is
// checked against a model: the same bytes opened from memory and read once,
// entry by entry, in order (record, then all data in large pieces), which is
// the launcher's own path.
//
// Input: byte 0 the number of calls (up to kMaxCalls), byte 1 the source
// kind, then four bytes per call, then the archive.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "base/text.h"
#include "os/file.h"

namespace {

using namespace quarn;
namespace fs = std::filesystem;

constexpr std::size_t kMaxCalls = 32;
constexpr std::size_t kCallSize = 4;
// The model reads this many entries, and each entry's data up to a cap; calls
// beyond what it knows are made but not judged.
constexpr std::int32_t kModelEntries = 64;
constexpr std::uint32_t kModelBytesPerEntry = 256 * 1024;
constexpr std::uint32_t kPieces[] = {1, 7, 100, 4096, 16384, 65536, 0, 3};

[[noreturn]] void Violation(const char* what, long long a = 0, long long b = 0) {
    std::fprintf(stderr, "sequence_fuzz: %s (%lld, %lld)\n", what, a, b);
    std::abort();
}

void Require(bool holds, const char* what, long long a = 0, long long b = 0) {
    if (!holds) Violation(what, a, b);
}

struct ModelEntry {
    std::int32_t getResult = ArchErrArgument;
    ZipEntry record;
    std::string data;     // what memory extraction delivered, up to the cap
    bool known = false;   // the whole data read within the cap
    std::int32_t final = ArchOk;  // memory extraction's closing result
};

struct Model {
    std::int32_t openResult = ArchOk;
    std::int32_t count = 0;
    std::vector<ModelEntry> entries;  // the first kModelEntries at most
};

bool SameRecord(const ZipEntry& a, const ZipEntry& b) {
    return a.index == b.index && std::strcmp(a.name, b.name) == 0 &&
           a.attributes == b.attributes && a.accessTime == b.accessTime &&
           a.creationTime == b.creationTime && a.writeTime == b.writeTime &&
           a.compressedSize == b.compressedSize && a.uncompressedSize == b.uncompressedSize;
}

// What one memory extraction call of up to piece bytes delivers. The
// interface does not say how many bytes a call filled, but a call fills a
// prefix of its buffer: the same call made twice over buffers filled with
// different bytes tells the delivered prefix by where they part.
std::int32_t ExtractCounted(ArchiveHandle* archive, std::int32_t index, std::uint32_t piece,
                            std::string* delivered) {
    static std::vector<std::uint8_t> zeros, ones;
    zeros.assign(piece, 0x00);
    ones.assign(piece, 0xFF);
    const std::int32_t r = ExtractEntry(archive, index, zeros.data(), piece, SourceMemory);
    ZipEntry ignored;
    GetEntry(archive, -1, &ignored);  // closes the entry: the next call starts it again
    Require(ExtractEntry(archive, index, ones.data(), piece, SourceMemory) == r,
            "model: the same call gave two results", index, r);
    std::size_t n = 0;
    while (n < piece && zeros[n] == ones[n]) ++n;
    delivered->assign(reinterpret_cast<const char*>(zeros.data()), n);
    return r;
}

// The model: every entry's record, then its data in one piece as large as
// its declared size (capped), then the call that closes it.
void ReadModel(const std::uint8_t* data, std::uint32_t size, Model& model) {
    ArchiveHandle* archive = OpenArchive(data, size, SourceMemory);
    model.openResult = lastArchiveResult;
    if (archive == nullptr) return;
    ZipEntry head;
    Require(GetEntry(archive, -1, &head) == ArchOk, "entry count");
    model.count = head.index;
    const std::int32_t walked = std::min(model.count, kModelEntries);
    model.entries.resize(static_cast<std::size_t>(walked));
    for (std::int32_t i = 0; i < walked; ++i) {
        ModelEntry& m = model.entries[static_cast<std::size_t>(i)];
        m.getResult = GetEntry(archive, i, &m.record);
        std::uint32_t piece = kModelBytesPerEntry;
        if (m.getResult == ArchOk && m.record.uncompressedSize < piece) {
            piece = std::max<std::uint32_t>(m.record.uncompressedSize, 1);
        }
        const std::int32_t r = ExtractCounted(archive, i, piece, &m.data);
        if (r != ArchDataDelivered) {
            m.final = r;
            m.known = true;
            continue;
        }
        static std::vector<std::uint8_t> more(1);
        const std::int32_t last = ExtractEntry(archive, i, more.data(), 1, SourceMemory);
        if (last == ArchDataDelivered) {
            // Only an entry cut by the cap has more to give.
            Require(m.data.size() == kModelBytesPerEntry, "model: more than declared", i);
            continue;
        }
        m.final = last;
        m.known = true;
    }
    Require(CloseArchive(archive) == ArchOk, "model close");
}

// A scratch folder of this process for the archive file and the targets.
const fs::path& Scratch() {
    static const fs::path folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/sequence-XXXXXX";
        std::vector<char> text(pattern.begin(), pattern.end());
        text.push_back('\0');
        if (mkdtemp(text.data()) == nullptr) Violation("no scratch folder");
        // Folder entries are made in the working directory of the archive's
        // open: here, not in whatever folder the fuzzer was started from.
        std::error_code error;
        fs::current_path(text.data(), error);
        if (error) Violation("cannot enter the scratch folder");
        return fs::path(text.data());
    }();
    return folder;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void RemoveFile(const fs::path& path) {
    std::error_code ignored;
    fs::permissions(path, fs::perms::owner_all, ignored);
    fs::remove(path, ignored);
}

bool SameName(const char* a, const char* b, bool ignoreCase) {
    if (!ignoreCase) return std::strcmp(a, b) == 0;
    for (;; ++a, ++b) {
        if (AsciiUpper(*a) != AsciiUpper(*b)) return false;
        if (*a == '\0') return true;
    }
}

class Sequence {
public:
    Sequence(const Model& model, ArchiveHandle* archive) : model_(model), archive_(archive) {}

    void Call(const std::uint8_t* op) {
        switch (op[0] % 8) {
            case 0: GetOne(PickIndex(op[1])); break;
            case 1: Find(op[1], op[2]); break;
            case 2:
            case 3: ToMemory(PickIndex(op[1]), kPieces[op[2] % std::size(kPieces)]); break;
            case 4: ToFile(PickIndex(op[1]), (op[2] & 1) != 0); break;
            case 5: NullTarget(PickIndex(op[1]), op[2] % 3); break;
            case 6: WrongKind(PickIndex(op[1]), op[2]); break;
            default: NoRecord(PickIndex(op[1])); break;
        }
    }

private:
    // -1 to count + 1: the valid indexes, the count query and both edges.
    std::int32_t PickIndex(std::uint8_t b) const {
        const std::int32_t span = std::min(model_.count, kModelEntries) + 3;
        return static_cast<std::int32_t>(b % span) - 1;
    }
    bool Valid(std::int32_t i) const { return i >= 0 && i < model_.count; }
    const ModelEntry* Known(std::int32_t i) const {
        if (i < 0 || i >= static_cast<std::int32_t>(model_.entries.size())) return nullptr;
        return &model_.entries[static_cast<std::size_t>(i)];
    }
    void Close() {
        open_ = -1;
        unknownOpen_ = -2;
    }

    void GetOne(std::int32_t i) {
        ZipEntry entry;
        const std::int32_t r = GetEntry(archive_, i, &entry);
        if (i == -1) {
            Require(r == ArchOk && entry.index == model_.count, "GetEntry(-1)", r, entry.index);
            Close();
            return;
        }
        if (!Valid(i)) {
            Require(r == ArchErrArgument, "GetEntry out of range", i, r);
            return;
        }
        Close();
        const ModelEntry* m = Known(i);
        if (m == nullptr) return;
        Require(r == m->getResult, "GetEntry result", i, r);
        if (r == ArchOk) Require(SameRecord(entry, m->record), "GetEntry record", i);
    }

    void NoRecord(std::int32_t i) {
        Require(GetEntry(archive_, i, nullptr) == ArchErrArgument, "GetEntry without record", i);
    }

    std::string PickName(std::uint8_t b, std::uint8_t c) const {
        std::vector<std::string> names;
        for (const ModelEntry& m : model_.entries) {
            if (m.getResult == ArchOk) names.emplace_back(m.record.name);
        }
        const std::size_t pick = b % (names.size() + 1);
        if (pick == names.size()) return "HUB.INI";
        std::string name = names[pick];
        // Letters of flipped case, to tell the two rules apart.
        if ((c & 8) != 0) {
            for (char& ch : name) {
                if (IsAsciiLetter(ch)) ch = static_cast<char>(ch ^ 0x20);
            }
        }
        return name;
    }

    void Find(std::uint8_t b, std::uint8_t c) {
        const std::string name = PickName(b, c);
        const bool ignoreCase = (c & 1) != 0;
        const bool wantIndex = (c & 2) != 0;
        const bool wantRecord = (c & 4) != 0;
        std::int32_t index = -2;
        ZipEntry entry;
        const std::int32_t r = FindEntry(archive_, name.c_str(), ignoreCase,
                                         wantIndex ? &index : nullptr,
                                         wantRecord ? &entry : nullptr);
        // The first entry the model could read whose name matches.
        std::int32_t first = -1;
        for (std::size_t j = 0; j < model_.entries.size() && first == -1; ++j) {
            const ModelEntry& m = model_.entries[j];
            if (m.getResult == ArchOk && name.size() < 256 &&
                SameName(m.record.name, name.c_str(), ignoreCase)) {
                first = static_cast<std::int32_t>(j);
            }
        }
        if (r == ArchErrNotFound) {
            Require(first == -1, "FindEntry missed a name", first);
            if (wantIndex) Require(index == -1, "FindEntry miss index", index);
            if (wantRecord) Require(entry.index == -1, "FindEntry miss record", entry.index);
            return;
        }
        Close();
        if (!wantIndex) return;
        // Entries the model could not read may hold the name too; they
        // stand before the first readable match, if at all.
        Require(index >= 0 && index < model_.count, "FindEntry index", index);
        const ModelEntry* m = Known(index);
        if (first != -1) Require(index <= first, "FindEntry passed a match", index, first);
        if (m == nullptr) return;
        if (m->getResult == ArchOk) {
            Require(SameName(m->record.name, name.c_str(), ignoreCase), "FindEntry wrong name",
                    index);
            Require(r == ArchOk, "FindEntry result", r);
            if (wantRecord) Require(SameRecord(entry, m->record), "FindEntry record", index);
        } else if (wantRecord) {
            Require(r == m->getResult, "FindEntry record result", index, r);
        } else {
            Require(r == ArchOk, "FindEntry bare result", r);
        }
    }

    void ToMemory(std::int32_t i, std::uint32_t piece) {
        static std::vector<std::uint8_t> buffer(65536 + 1);
        if (i != open_) {
            Close();
            delivered_ = 0;
        }
        buffer[piece] = 0xA5;
        const std::int32_t r = ExtractEntry(archive_, i, buffer.data(), piece, SourceMemory);
        Require(buffer[piece] == 0xA5, "memory target overrun", i);
        if (!Valid(i)) {
            Require(r == ArchErrArgument, "ExtractEntry out of range", i, r);
            return;
        }
        open_ = r == ArchDataDelivered ? i : -1;
        const ModelEntry* m = Known(i);
        if (m == nullptr || unknownOpen_ == i) return;
        const std::size_t have = m->data.size();
        if (delivered_ >= have && !m->known) {
            unknownOpen_ = open_;  // past what the model read
            return;
        }
        const std::size_t left = have - delivered_;
        if (left == 0 || piece == 0) {
            const std::int32_t expected = left == 0 ? m->final : ArchErrEntryData;
            Require(r == expected, "memory extraction end", i, r);
            return;
        }
        Require(r == ArchDataDelivered, "memory extraction stopped early", i, r);
        const std::size_t n = std::min<std::size_t>(piece, left);
        Require(std::memcmp(buffer.data(), m->data.data() + delivered_, n) == 0,
                "memory extraction data", i, static_cast<long long>(delivered_));
        delivered_ += n;
    }

    void ToFile(std::int32_t i, bool viaHandle) {
        const ModelEntry* m = Known(i);
        // Data the model did not read in full may be huge: not written out.
        if (Valid(i) && (m == nullptr || !m->known)) return;
        const fs::path target = Scratch() / "target.bin";
        RemoveFile(target);
        std::int32_t r = 0;
        if (viaHandle) {
            os::ScopedFile file(os::CreateFileWithAttributes(target.c_str(), os::kAttrNormal));
            Require(file.valid(), "handle target");
            r = ExtractEntry(archive_, i, HandleTarget(file.get()), 0, SourceHandle);
        } else {
            r = ExtractEntry(archive_, i, const_cast<char*>(target.c_str()), 0, SourceFileName);
        }
        Close();
        if (!Valid(i)) {
            Require(r == ArchErrArgument, "file extraction out of range", i, r);
            return;
        }
        if (m->getResult != ArchOk) {
            Require(r == m->getResult, "file extraction of a bad record", i, r);
            return;
        }
        if ((m->record.attributes & os::kAttrDirectory) != 0) {
            Require(r == ArchOk, "folder entry", i, r);
            return;
        }
        const std::int32_t expected = m->final == ArchErrEntryData ? ArchErrWrite : m->final;
        Require(r == expected, "file extraction result", i, r);
        Require(ReadFile(target) == m->data, "file extraction data", i, r);
        RemoveFile(target);
    }

    void NullTarget(std::int32_t i, std::uint8_t how) {
        // A null buffer with a length, a null file name, a null handle.
        std::int32_t r = 0;
        if (how == 0) {
            r = ExtractEntry(archive_, i, nullptr, 16, SourceMemory);
        } else if (how == 1) {
            if (Valid(i) && (Known(i) == nullptr || !Known(i)->known)) return;
            r = ExtractEntry(archive_, i, nullptr, 0, SourceFileName);
            Close();
        } else {
            if (Valid(i) && (Known(i) == nullptr || !Known(i)->known)) return;
            r = ExtractEntry(archive_, i, HandleTarget(os::kInvalidHandle), 0, SourceHandle);
            Close();
        }
        // A folder entry needs no target; everything else must be refused.
        const ModelEntry* m = Known(i);
        const bool folder = how != 0 && m != nullptr && m->getResult == ArchOk &&
                            (m->record.attributes & os::kAttrDirectory) != 0;
        const bool badRecord = how != 0 && m != nullptr && m->getResult != ArchOk;
        if (how == 0 || !Valid(i)) {
            Require(r == ArchErrArgument, "null memory target", i, r);
        } else if (m != nullptr && !folder && !badRecord) {
            Require(r == ArchErrOpenFile, "null file target", i, r);
        }
    }

    void WrongKind(std::int32_t i, std::uint8_t kind) {
        const std::int32_t k = kind % 2 == 0 ? 0 : 4 + kind;
        std::uint8_t byte = 0;
        Require(ExtractEntry(archive_, i, &byte, 1, k) == ArchErrArgument, "unknown target kind", k);
    }

    const Model& model_;
    ArchiveHandle* archive_;
    std::int32_t open_ = -1;  // the entry a memory extraction left open
    std::size_t delivered_ = 0;
    std::int32_t unknownOpen_ = -2;
};

ArchiveHandle* OpenAs(std::uint8_t kind, const std::uint8_t* data, std::uint32_t size) {
    if (kind % 3 == 0) return OpenArchive(data, size, SourceMemory);
    const fs::path file = Scratch() / "archive.zip";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), size);
        if (!out) Violation("cannot write the archive file");
    }
    if (kind % 3 == 1) return OpenArchive(file.c_str(), 0, SourceFileName);
    os::ScopedFile handle(os::OpenForReading(file.c_str()));
    Require(handle.valid(), "archive handle");
    return OpenArchive(HandleSource(handle.get()), 0, SourceHandle);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 0x1000000) return 0;
    const std::size_t calls = std::min<std::size_t>(data[0], kMaxCalls);
    const std::size_t head = 2 + calls * kCallSize;
    if (size < head) return 0;
    const std::uint8_t* bytes = data + head;
    const auto length = static_cast<std::uint32_t>(size - head);

    Scratch();  // entered before any archive is opened
    Model model;
    ReadModel(bytes, length, model);
    ArchiveHandle* archive = OpenAs(data[1], bytes, length);
    const std::int32_t opened = lastArchiveResult;
    Require(opened == model.openResult, "the sources disagree on the open", opened,
            model.openResult);
    if (archive == nullptr) {
        Require(opened != ArchOk, "failed open reported as ok");
        return 0;
    }
    Sequence sequence(model, archive);
    for (std::size_t c = 0; c < calls; ++c) sequence.Call(data + 2 + c * kCallSize);
    Require(CloseArchive(archive) == ArchOk, "close");
    return 0;
}
