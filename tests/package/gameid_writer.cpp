// Writes a GAMEID resource for identities that quarn pack refuses to make,
// so that the tests can show what quarn inspect says of them:
//   gameid_writer OWNER GAME PAYLOAD_SIZE OUT
#include <cstdio>
#include <cstdlib>
#include <string>

#include "quarn/identity_encoder.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fputs("usage: gameid_writer OWNER GAME PAYLOAD_SIZE OUT\n", stderr);
        return 2;
    }
    std::string resource;
    std::string error;
    const auto size = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
    if (!quarn::tool::MakeGameIdResource(argv[1], argv[2], "", size, &resource, &error)) {
        std::fprintf(stderr, "gameid_writer: %s\n", error.c_str());
        return 1;
    }
    std::FILE* out = std::fopen(argv[4], "wb");
    if (out == nullptr) return 1;
    const bool written = std::fwrite(resource.data(), 1, resource.size(), out) == resource.size();
    return std::fclose(out) == 0 && written ? 0 : 1;
}
