// POSIX: ASCII letters only; other bytes stay.
#include "os/name_case.h"

#include "base/text.h"

namespace quarn::os {

std::string UpperCaseName(std::string_view name) {
    std::string upper(name);
    for (char& c : upper) c = AsciiUpper(c);
    return upper;
}

}  // namespace quarn::os
