#include <cstdlib>
#include <stdexcept>

#include "tests/support/environment.h"

namespace vlt::testing_support {

void SetVariable(const std::string& name, const std::optional<std::string>& value) {
    if ((value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str())) != 0) {
        throw std::runtime_error("cannot set the environment variable " + name);
    }
}

}  // namespace vlt::testing_support
