#include "video/field_doubling.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "support/log.h"

namespace {

// Bytes of the doubled frame, or 0 when the size is not positive or the
// result could not be addressed (a 32-bit board overflows long before int).
size_t doubled_bytes(int width, int height) {
    if (width <= 0 || height <= 0)
        return 0;
    uint64_t bytes = 3 * static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (bytes > SIZE_MAX)
        return 0;
    return static_cast<size_t>(bytes);
}

// Writes each source row of every plane to two consecutive result rows.
// Chroma planes are (width/2) x (height/2); with an odd size the last luma
// column or row simply has no chroma of its own, as in the captured layout.
void double_rows(const unsigned char* src, unsigned char* dst, size_t width, size_t height) {
    for (size_t r = 0; r < height; ++r) {
        const unsigned char* row = src + r * width;
        memcpy(dst + 2 * r * width, row, width);
        memcpy(dst + (2 * r + 1) * width, row, width);
    }
    size_t cw = width / 2;
    size_t ch = height / 2;
    const unsigned char* src_chroma = src + width * height;
    unsigned char* dst_chroma = dst + 2 * width * height;
    for (size_t r = 0; r < 2 * ch; ++r) {
        // Source rows of V then U follow one another, as do their doubled rows.
        const unsigned char* row = src_chroma + r * cw;
        memcpy(dst_chroma + 2 * r * cw, row, cw);
        memcpy(dst_chroma + (2 * r + 1) * cw, row, cw);
    }
}

unsigned char* allocate_result(size_t bytes) {
    unsigned char* result = static_cast<unsigned char*>(malloc(bytes));
    if (result == nullptr)
        LOG("can't allocate %zu bytes\n", bytes);
    return result;
}

} // namespace

unsigned char* yuv_height_x_2(unsigned char* frame, int width, int height) {
    size_t bytes = doubled_bytes(width, height);
    if (frame == nullptr || bytes == 0) {
        LOG("no frame of %d x %d to double\n", width, height);
        return nullptr;
    }
    unsigned char* result = allocate_result(bytes);
    if (result != nullptr)
        double_rows(frame, result, static_cast<size_t>(width), static_cast<size_t>(height));
    return result;
}

unsigned char* yuv_height_x_2_vect(std::vector<unsigned char> frame, int width, int height) {
    size_t bytes = doubled_bytes(width, height);
    if (bytes == 0) {
        LOG("no frame of %d x %d to double\n", width, height);
        return nullptr;
    }
    // A whole frame is width * height * 3 / 2 bytes, half the doubled one;
    // anything shorter would be read past its end.
    size_t whole = bytes / 2;
    if (frame.size() < whole) {
        LOG("image of %zu bytes is not a whole %d x %d frame\n", frame.size(), width, height);
        return nullptr;
    }
    unsigned char* result = allocate_result(2 * frame.size());
    if (result != nullptr)
        double_rows(frame.data(), result, static_cast<size_t>(width), static_cast<size_t>(height));
    return result;
}
