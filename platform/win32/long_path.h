#pragma once

// Names as the wide file APIs take them (in platform/win32/file_access.cpp).

#include <filesystem>
#include <string>

namespace vlt::win32 {

// `path` in the form that is not held to MAX_PATH (260) characters: absolute,
// with backslashes, "\\?\" (or "\\?\UNC\" for a share) before it. The form
// also turns off the system's own clean-up of names, so absolute() does it
// first. Devices ("NUL", "CON", "\\.\pipe\x") and names already in that form
// are left as they are: "\\?\C:\NUL" would be a file named NUL.
std::wstring LongPath(const std::filesystem::path& path);

// Whether `path` names a device rather than a file: one of DOS's names
// (NUL, CON, CONIN$, CONOUT$, PRN, AUX, COM1-9, LPT1-9) in any folder and
// case, or anything under "\\.\".
bool IsDeviceName(const std::filesystem::path& path);

// Whether the name can only be a console: CON, CONIN$ or CONOUT$.
bool IsConsoleName(const std::filesystem::path& path);

}  // namespace vlt::win32
