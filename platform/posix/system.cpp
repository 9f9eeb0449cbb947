#include "platform/system.h"

#include <cstdlib>
#include <cstring>

#include "platform/posix/system_text.h"

namespace vlt {

namespace posix {

std::string Reason(int error) {
    return std::strerror(error);
}

}  // namespace posix

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

CodePage UserCodePage() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        if (const char* value = std::getenv(variable); value != nullptr && *value != '\0') {
            return CodePageForLocale(value);
        }
    }
    return kDefaultCodePage;
}

const char* UserCodePageSource() {
    return "from the locale";
}

const char* FileNameUnits() {
    return "bytes";
}

std::size_t RunBlockBytes() {
    return 32 * 1024;
}

}  // namespace vlt
