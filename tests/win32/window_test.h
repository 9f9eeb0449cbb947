#pragma once

// What the tests of the real veltrimax.exe share: where it is, and a fresh folder per test.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/temp_folder.h"
#include "tests/win32/window_driver.h"

namespace vlt::win32_test {

// The program, from VLT_VELTRIMAX; a Linux path there is one on Wine's Z: drive.
inline std::filesystem::path Veltrimax() {
    const char* given = std::getenv("VLT_VELTRIMAX");
    if (given == nullptr) {
        throw std::runtime_error("VLT_VELTRIMAX names no program");
    }
    std::string path = given;
    if (path.starts_with('/')) {
        path = "Z:" + path;
    }
    return std::filesystem::path(path).make_preferred();
}

class WindowTest : public ::testing::Test {
  protected:
    testing_support::TempFolder folder;

    std::string PathOf(const std::string& name) const { return (folder / name).string(); }
};

}  // namespace vlt::win32_test
