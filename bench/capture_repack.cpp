// Repacking one captured frame against a plain copy of the same 304128
// bytes: the repacking is 576 row copies, and should cost little more than
// one block copy. Read the two results as a ratio.
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "video/capture_repack.h"

namespace {

constexpr size_t PAL_BYTES = 622080;

std::vector<unsigned char> captured() {
    std::vector<unsigned char> capture(PAL_BYTES);
    for (size_t i = 0; i < capture.size(); ++i)
        capture[i] = static_cast<unsigned char>(i * 131 + (i >> 9));
    return capture;
}

void plain_copy(benchmark::State& state) {
    const std::vector<unsigned char> capture = captured();
    std::vector<unsigned char> frame(frame_bytes);
    for (auto _ : state) {
        memcpy(frame.data(), capture.data(), frame_bytes);
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frame_bytes));
}

void repack(benchmark::State& state) {
    const std::vector<unsigned char> capture = captured();
    std::vector<unsigned char> frame(frame_bytes);
    for (auto _ : state) {
        repack_capture_buffer(frame.data(), capture.data());
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frame_bytes));
}

} // namespace

BENCHMARK(plain_copy)->Repetitions(15)->ReportAggregatesOnly(true);
BENCHMARK(repack)->Repetitions(15)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
