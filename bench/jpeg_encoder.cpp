// Our encoder (libjpeg raw data through a memory stream) against TurboJPEG's
// own planar entry point with the same settings: 704 x 576 4:2:0, quality 50,
// fast integer DCT, into a preallocated buffer.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include "records/jpeg_compressor.h"

namespace {

const int frame_width = 704;
const int frame_height = 576;
const size_t luma_bytes = frame_width * frame_height;
const size_t chroma_bytes = luma_bytes / 4;
const int record_buffer = 65536;

// A picture that compresses like a camera frame: broad gradients with a
// little grain, so that its JPEG lands well inside the record's buffer.
std::vector<unsigned char> make_frame() {
    std::vector<unsigned char> frame(luma_bytes + 2 * chroma_bytes);
    uint32_t state = 12345;
    for (size_t i = 0; i < frame.size(); ++i) {
        state = state * 1103515245u + 12345u;
        size_t x = i % frame_width;
        size_t y = i / frame_width;
        int base =
            i < luma_bytes ? static_cast<int>(40 + x / 5 + y / 6) : 128 + static_cast<int>(x % 32);
        frame[i] = static_cast<unsigned char>(base + static_cast<int>(state >> 29));
    }
    return frame;
}

void EncodeImageToMemory(benchmark::State& state) {
    std::vector<unsigned char> frame = make_frame();
    std::vector<unsigned char> buffer(record_buffer);
    int length = 0;
    for (auto _ : state) {
        length = encodeImage_to_memory(frame.data(), buffer.data(), record_buffer, frame_width,
                                       frame_height);
        benchmark::DoNotOptimize(length);
    }
    if (length == 0)
        state.SkipWithError("no JPEG made");
    state.counters["jpeg_bytes"] = length;
}

void TurboJpegFromPlanes(benchmark::State& state) {
    std::vector<unsigned char> frame = make_frame();
    tjhandle handle = tjInitCompress();
    unsigned long capacity = tjBufSize(frame_width, frame_height, TJSAMP_420);
    unsigned char* jpeg = tjAlloc(static_cast<int>(capacity));
    // The plane after Y is Cr, the last one Cb.
    const unsigned char* planes[3] = {frame.data(), frame.data() + luma_bytes + chroma_bytes,
                                      frame.data() + luma_bytes};
    unsigned long length = 0;
    for (auto _ : state) {
        length = capacity;
        if (tjCompressFromYUVPlanes(handle, planes, frame_width, nullptr, frame_height, TJSAMP_420,
                                    &jpeg, &length, 50, TJFLAG_FASTDCT | TJFLAG_NOREALLOC) != 0) {
            state.SkipWithError(tjGetErrorStr2(handle));
            break;
        }
        benchmark::DoNotOptimize(jpeg);
    }
    state.counters["jpeg_bytes"] = static_cast<double>(length);
    tjFree(jpeg);
    tjDestroy(handle);
}

} // namespace

BENCHMARK(TurboJpegFromPlanes);
BENCHMARK(EncodeImageToMemory);
BENCHMARK_MAIN();
