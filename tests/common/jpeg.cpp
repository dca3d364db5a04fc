#include "tests/common/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace {

// The library's errors jump back here instead of ending the program. Only
// plain C objects live between the setjmp and the jump.
struct error_jump {
    jpeg_error_mgr manager;
    jmp_buf back;
};

void jump_back(j_common_ptr info) {
    longjmp(reinterpret_cast<error_jump*>(info->err)->back, 1);
}

void stay_quiet(j_common_ptr) {}

// Rows wider than the camera's are refused rather than decoded.
const unsigned widest_row = 704 * 3;

bool decode_rows(jpeg_decompress_struct* info, unsigned char* row) {
    jpeg_read_header(info, TRUE);
    jpeg_start_decompress(info);
    for (JSAMPROW rows[1] = {row}; info->output_scanline < info->output_height;) {
        if (info->output_width * info->output_components > widest_row ||
            jpeg_read_scanlines(info, rows, 1) != 1)
            return false;
    }
    jpeg_finish_decompress(info);
    return true;
}

} // namespace

bool jpeg_whole(const std::string& bytes, int* width, int* height) {
    static unsigned char row[widest_row];
    jpeg_decompress_struct info;
    error_jump errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jump_back;
    errors.manager.output_message = stay_quiet;
    jpeg_create_decompress(&info);
    if (setjmp(errors.back) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    const bool whole = decode_rows(&info, row) && errors.manager.num_warnings == 0;
    if (whole && width != nullptr)
        *width = static_cast<int>(info.image_width);
    if (whole && height != nullptr)
        *height = static_cast<int>(info.image_height);
    jpeg_destroy_decompress(&info);
    return whole;
}
