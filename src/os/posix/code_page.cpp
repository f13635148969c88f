// POSIX names are bytes: an unmarked name is used as it is stored.
#include "os/code_page.h"

namespace quarn::os {

bool CodePageNameToUtf8(std::string_view stored, std::string* out) {
    out->assign(stored);
    return true;
}

}  // namespace quarn::os
