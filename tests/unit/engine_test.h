#pragma once

// The engine's file runs in a temporary folder, on every system
// (engine_test.cpp) and on POSIX systems alone (engine_posix_test.cpp).

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cipher/engine.h"
#include "platform/cancellation.h"
#include "platform/file_access.h"
#include "platform/system.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_oracle.h"

namespace vlt {

inline const std::size_t kBlock = RunBlockBytes();  // to test the engine's block edges

inline std::string AsString(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

// The runs here write over their earlier outputs.
inline OutputTarget Replacing(std::filesystem::path path) {
    return {.path = std::move(path), .mayReplace = true};
}

inline PrimaryKey Key(std::string text) {
    return PrimaryKey{std::move(text), 1252};
}

class EngineTest : public ::testing::Test {
  protected:
    testing_support::TempFolder folder;
    std::filesystem::path plain = folder / "plain.bin";
    std::filesystem::path encrypted = folder / "plain.bin.vlt";
    std::filesystem::path decrypted = folder / "plain.out";
};

}  // namespace vlt
