#include <cstdlib>
#include <stdexcept>

#include "tests/support/environment.h"

namespace vlt::testing_support {

// The C runtime's copy of the environment, the one std::getenv reads; an
// empty value removes the variable.
void SetVariable(const std::string& name, const std::optional<std::string>& value) {
    if (::_putenv_s(name.c_str(), value ? value->c_str() : "") != 0) {
        throw std::runtime_error("cannot set the environment variable " + name);
    }
}

}  // namespace vlt::testing_support
