#include "tests/support/environment.h"

#include <cstdlib>

namespace vlt::testing_support {

ScopedVariable::ScopedVariable(std::string name, const std::string& value)
    : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) {
        old_ = old;
    }
    SetVariable(name_, value.empty() ? std::nullopt : std::optional<std::string>(value));
}

ScopedVariable::~ScopedVariable() {
    SetVariable(name_, old_);
}

}  // namespace vlt::testing_support
