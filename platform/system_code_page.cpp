#include "platform/system_code_page.h"

#include <cstdlib>

#include "platform/system.h"

namespace vlt {

CodePage SystemCodePage() {
    if (const char* forced = std::getenv("VLT_CODEPAGE"); forced != nullptr && *forced != '\0') {
        return ParseCodePage(forced);
    }
    return UserCodePage();
}

}  // namespace vlt
