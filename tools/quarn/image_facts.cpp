#include "image_facts.h"

#include <array>
#include <fstream>

#include "base/bytes.h"

namespace quarn::tool {
namespace {

constexpr std::uint16_t kPe32 = 0x10B;
constexpr std::uint16_t kPe32Plus = 0x20B;
constexpr std::uint32_t kSecurityDirectory = 4;

bool ReadAt(std::ifstream& in, std::uint64_t offset, std::uint8_t* out, std::size_t size) {
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(in.gcount()) == size;
}

}  // namespace

std::string ImageSizeProblem(std::uint64_t imageSize) {
    if (imageSize < kMaxImageSize) return {};
    return "the program image would be " + std::to_string(imageSize) +
           " bytes, but Windows loads no program of 2 GiB (" + std::to_string(kMaxImageSize) +
           " bytes) or more: make the game folder smaller";
}

std::string ImageSizeRisk(std::uint64_t imageSize) {
    if (imageSize <= kRiskyImageSize || imageSize >= kMaxImageSize) return {};
    return "the program image is " + std::to_string(imageSize) +
           " bytes: images above about 1.8 GB fail to load on many machines";
}

bool ReadImageFacts(const std::string& path, ImageFacts* facts) {
    std::ifstream in(path, std::ios::binary);
    std::array<std::uint8_t, 64> dos{};
    if (!in || !ReadAt(in, 0, dos.data(), dos.size()) || dos[0] != 'M' || dos[1] != 'Z') {
        return false;
    }
    const std::uint32_t pe = LoadLe32(dos.data() + 0x3C);
    // Signature, file header, and the optional header up to its directories.
    std::array<std::uint8_t, 24 + 112 + 16 * 8> headers{};
    if (!ReadAt(in, pe, headers.data(), 24 + 96) || LoadLe32(headers.data()) != 0x00004550u) {
        return false;
    }
    const std::uint8_t* optional = headers.data() + 24;
    const std::uint16_t magic = LoadLe16(optional);
    if (magic != kPe32 && magic != kPe32Plus) return false;
    const std::uint32_t directories = magic == kPe32Plus ? 112 : 96;
    if (!ReadAt(in, pe, headers.data(), 24 + directories + 16 * 8)) return false;
    const std::uint32_t count = LoadLe32(optional + directories - 4);
    facts->imageSize = LoadLe32(optional + 56);
    facts->checksum = LoadLe32(optional + 64);
    facts->certificateSize =
        count > kSecurityDirectory ? LoadLe32(optional + directories + 8 * kSecurityDirectory + 4) : 0;
    return true;
}

}  // namespace quarn::tool
