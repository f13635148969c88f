// What quarn reads from a package's PE headers beyond its resources: the
// size Windows maps it at and whether it carries a signature; and the limit
// that size must stay under for Windows to load the program at all.
#pragma once

#include <cstdint>
#include <string>

namespace quarn::tool {

// Windows loads no program image of 2 GiB or more.
inline constexpr std::uint64_t kMaxImageSize = std::uint64_t{1} << 31;

// Images above this size already fail to load on many machines.
inline constexpr std::uint64_t kRiskyImageSize = 1'800'000'000;

// Why an image of this many bytes would never start; empty when it may.
std::string ImageSizeProblem(std::uint64_t imageSize);

// Why an image of this many bytes may fail to start although Windows allows
// it; empty below kRiskyImageSize and from the limit on.
std::string ImageSizeRisk(std::uint64_t imageSize);

struct ImageFacts {
    std::uint32_t imageSize = 0;        // SizeOfImage
    std::uint32_t checksum = 0;         // CheckSum of the optional header
    std::uint32_t certificateSize = 0;  // the certificate table: 0 when unsigned
};

// Reads the headers of a PE32 or PE32+ file; false when it is none.
bool ReadImageFacts(const std::string& path, ImageFacts* facts);

}  // namespace quarn::tool
