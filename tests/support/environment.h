#pragma once

#include <optional>
#include <string>

namespace vlt::testing_support {

// An environment variable set for a test's scope and put back after it.
// An empty value removes the variable, as it does on Windows.
class ScopedVariable {
  public:
    ScopedVariable(std::string name, const std::string& value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

// Sets or, given none, removes a variable; each system implements it.
void SetVariable(const std::string& name, const std::optional<std::string>& value);

}  // namespace vlt::testing_support
