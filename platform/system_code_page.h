#pragma once

// The code page of the key's characters when the user names none: above both
// the code page tables (codepage.h) and the system (system.h), which it joins.

#include "platform/codepage.h"

namespace vlt {

// VLT_CODEPAGE when set, otherwise the user's (UserCodePage in system.h).
// Throws CodePageError for a bad VLT_CODEPAGE.
CodePage SystemCodePage();

}  // namespace vlt
