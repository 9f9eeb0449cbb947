// The fixed cost of one run: a 1-byte input encrypted, decrypted or checked,
// in memory (the engine's own CPU time, no system calls) and as files in
// /dev/shm (with the calls a run cannot avoid: open, create, write, flush,
// rename). Each with memory kept from run to run, as vlt keeps it across its
// inputs, and with a fresh one per run, as a single run pays. Not a test; run
// it by hand.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cipher/engine.h"
#include "tests/support/memory_files.h"
#include "tests/support/temp_folder.h"

namespace vlt {
namespace {

const PrimaryKey kKey{"correct horse battery staple", 1252};

using testing_support::MemorySink;
using testing_support::MemorySource;

std::vector<std::uint8_t> EncryptedByte() {
    const std::vector<std::uint8_t> plain{'x'};
    MemorySource source(plain);
    MemorySink sink;
    Encrypt(source, sink, kKey);
    return sink.bytes;
}

// state.range(0): 1 keeps the memory from run to run, 0 makes it afresh.
RunControl ControlFor(const benchmark::State& state, RunMemory& memory) {
    RunControl control;
    control.memory = state.range(0) != 0 ? &memory : nullptr;
    return control;
}

void Finished(benchmark::State& state, const RunResult& result) {
    if (result.status != RunStatus::Finished) {
        state.SkipWithError(result.message.c_str());
    }
}

// One run after another over the same input into memory, with the run's memory
// kept or made anew.
template <typename Run>
void TransformInMemory(benchmark::State& state, const std::vector<std::uint8_t>& input, Run run) {
    RunMemory memory;
    const RunControl control = ControlFor(state, memory);
    for (auto _ : state) {
        MemorySource source(input);
        MemorySink sink;
        Finished(state, run(source, sink, control));
        benchmark::DoNotOptimize(sink.bytes.data());
    }
}

void EncryptInMemory(benchmark::State& state) {
    TransformInMemory(state, {'x'}, [](ByteSource& in, ByteSink& out, const RunControl& control) {
        return Encrypt(in, out, kKey, control);
    });
}
BENCHMARK(EncryptInMemory)->ArgName("kept")->Arg(0)->Arg(1);

void DecryptInMemory(benchmark::State& state) {
    TransformInMemory(state, EncryptedByte(),
                      [](ByteSource& in, ByteSink& out, const RunControl& control) {
                          return Decrypt(in, out, kKey, control);
                      });
}
BENCHMARK(DecryptInMemory)->ArgName("kept")->Arg(0)->Arg(1);

void CheckInMemory(benchmark::State& state) {
    const std::vector<std::uint8_t> encrypted = EncryptedByte();
    RunMemory memory;
    const RunControl control = ControlFor(state, memory);
    for (auto _ : state) {
        MemorySource source(encrypted);
        Finished(state, Check(source, &kKey, control));
    }
}
BENCHMARK(CheckInMemory)->ArgName("kept")->Arg(0)->Arg(1);

// A folder in /dev/shm holding a 1-byte file "in" and its encryption "in.vlt".
class ShmFolder {
  public:
    ShmFolder() {
        testing_support::WriteAll(folder_ / "in", "x");
        const std::vector<std::uint8_t> encrypted = EncryptedByte();
        testing_support::WriteAll(folder_ / "in.vlt", {encrypted.begin(), encrypted.end()});
    }
    std::filesystem::path operator/(const char* name) const { return folder_ / name; }

  private:
    testing_support::TempFolder folder_{"/dev/shm", "vlt-run-cost-"};
};

// Runs over files in /dev/shm, each output put in place on its own, as a single
// vlt run does.
template <typename Run>
void RunInShm(benchmark::State& state, Run run) {
    const ShmFolder folder;
    RunMemory memory;
    const RunControl control = ControlFor(state, memory);
    for (auto _ : state) {
        Finished(state, run(folder, control));
    }
}

void EncryptFileInShm(benchmark::State& state) {
    RunInShm(state, [](const ShmFolder& folder, const RunControl& control) {
        return EncryptFile(folder / "in", {folder / "out.vlt"}, kKey, control);
    });
}
BENCHMARK(EncryptFileInShm)->ArgName("kept")->Arg(0)->Arg(1);

void DecryptFileInShm(benchmark::State& state) {
    RunInShm(state, [](const ShmFolder& folder, const RunControl& control) {
        return DecryptFile(folder / "in.vlt", {folder / "out"}, kKey, control);
    });
}
BENCHMARK(DecryptFileInShm)->ArgName("kept")->Arg(0)->Arg(1);

void CheckFileInShm(benchmark::State& state) {
    RunInShm(state, [](const ShmFolder& folder, const RunControl& control) {
        return CheckFile(folder / "in.vlt", &kKey, control);
    });
}
BENCHMARK(CheckFileInShm)->ArgName("kept")->Arg(0)->Arg(1);

}  // namespace
}  // namespace vlt
