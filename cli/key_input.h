#pragma once

// Getting the primary key: from a key file or typed on the terminal. Never
// from the command line, where every user of the machine could read it.

#include <stdexcept>
#include <string>

#include "cipher/engine.h"
#include "platform/cancellation.h"

namespace vlt::cli {

// No usable key; what() is the line to show the user.
class KeyError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The key held by a key file's content: all of it but a leading UTF-8
// byte-order mark and one trailing "\n" or "\r\n".
// Throws KeyError when that is empty or not UTF-8.
std::string KeyFromFileContent(std::string content);

// Reads the key file at `path` ("-" is standard input). Throws KeyError, or
// Cancelled once `cancel` is requested.
std::string ReadKeyFile(const std::string& path, const CancelSignal& cancel);

// Asks on the controlling terminal without echo; when `twice`, asks again and
// refuses a mismatch. Throws KeyError, or Cancelled once `cancel` is requested.
std::string AskKey(bool twice, const CancelSignal& cancel);

}  // namespace vlt::cli
