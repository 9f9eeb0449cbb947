#pragma once

// What the fuzz targets share: a key drawn from the fuzzer's bytes and checks
// that stop the fuzzer with a readable reason.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "cipher/engine.h"
#include "platform/codepage.h"
#include "platform/file_access.h"
#include "tests/support/memory_files.h"

namespace vlt::fuzzing {

// The code pages the program offers, plus numbers it must refuse cleanly.
inline const std::vector<CodePage>& FuzzedCodePages() {
    static const std::vector<CodePage> codePages = [] {
        std::vector<CodePage> all = SupportedCodePages();
        all.insert(all.end(), {0, -1});
        return all;
    }();
    return codePages;
}

inline CodePage ConsumeCodePage(FuzzedDataProvider& in) {
    const std::vector<CodePage>& codePages = FuzzedCodePages();
    return codePages[in.ConsumeIntegralInRange<std::size_t>(0, codePages.size() - 1)];
}

inline bool IsOffered(CodePage codePage) {
    return codePage > 0;
}

inline PrimaryKey ConsumeKey(FuzzedDataProvider& in) {
    PrimaryKey key;
    key.codePage = ConsumeCodePage(in);
    key.text = in.ConsumeRandomLengthString(256);
    return key;
}

inline void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

using testing_support::MemorySink;
using testing_support::MemorySource;
using testing_support::ReadShape;

// The engine's promise about its output: committed exactly when the run
// finished, once, and nothing written after.
inline void RequireCommittedIf(const MemorySink& sink, bool finished) {
    Require(!sink.Misused(), "a write after the commit, or a second commit");
    Require(sink.Committed() == finished, "the output is committed exactly when the run finishes");
}

}  // namespace vlt::fuzzing
