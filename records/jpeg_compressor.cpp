#include "records/jpeg_compressor.h"

#include <csetjmp>
#include <cstring>

#include <jerror.h>

#include "support/log.h"

static_assert(JPEG_LIB_VERSION == 62, "the encoder is written for the libjpeg 6.2 interface");

namespace {

const int frame_quality = 50;

// A JPEG that overflows a memory buffer is made again at these qualities, in
// turn, so that the passage still keeps a (coarser) picture.
const int fallback_qualities[] = {30, 15, 5};

// The library's own error_exit ends the process; ours logs the message and
// returns to the encoding call, which then fails.
struct escape_error_mgr {
    jpeg_error_mgr pub; // first member: the library only knows this part
    jmp_buf escape;
};

[[noreturn]] void escape_from_library(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    longjmp(reinterpret_cast<escape_error_mgr*>(cinfo->err)->escape, 1);
}

// Everything the library and the row loop touch. It lives in the caller of
// the function that calls setjmp, so its contents stay defined after a
// longjmp; it holds plain data only, as nothing is destroyed on that path.
struct compression {
    jpeg_compress_struct cinfo;
    escape_error_mgr err;
    JSAMPROW rows[3][16]; // component order: Y, Cb, Cr
    JSAMPARRAY planes[3];
    JSAMPARRAY widened[3]; // rows padded to whole MCUs; null when the width needs none
    unsigned char* src_y;  // the frame's planes
    unsigned char* src_v;
    unsigned char* src_u;
};

// Points the rows of the pass starting at luma row y0 into the frame. Rows
// below the picture repeat its last row, so a height that is not a multiple
// of 16 never reads past the planes.
void point_rows(compression* c, unsigned y0, unsigned width, unsigned height) {
    unsigned cw = width / 2;
    unsigned ch = height / 2;
    for (unsigned k = 0; k < 16; ++k) {
        unsigned row = y0 + k < height ? y0 + k : height - 1;
        c->rows[0][k] = c->src_y + static_cast<size_t>(row) * width;
    }
    for (unsigned j = 0; j < 8; ++j) {
        unsigned row = y0 / 2 + j < ch ? y0 / 2 + j : ch - 1;
        c->rows[1][j] = c->src_u + static_cast<size_t>(row) * cw;
        c->rows[2][j] = c->src_v + static_cast<size_t>(row) * cw;
    }
}

// The library reads whole 8-sample blocks of every component, which for a
// width that is not a multiple of 16 runs past the end of a row. Such rows
// are copied into the widened rows and their last sample repeated.
void widen_rows(compression* c, unsigned width) {
    unsigned padded = (width + 15) / 16 * 16;
    for (int comp = 0; comp < 3; ++comp) {
        unsigned count = comp == 0 ? 16 : 8;
        unsigned valid = comp == 0 ? width : width / 2;
        unsigned wide = comp == 0 ? padded : padded / 2;
        for (unsigned i = 0; i < count; ++i) {
            JSAMPROW row = c->widened[comp][i];
            memcpy(row, c->rows[comp][i], valid);
            memset(row + valid, row[valid - 1], wide - valid);
            c->rows[comp][i] = row;
        }
    }
}

void set_up(compression* c, FILE* stream, unsigned width, unsigned height, int quality) {
    jpeg_compress_struct* cinfo = &c->cinfo;
    jpeg_CreateCompress(cinfo, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));
    cinfo->image_width = width;
    cinfo->image_height = height;
    cinfo->input_components = 3;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    jpeg_set_colorspace(cinfo, JCS_YCbCr);
    cinfo->raw_data_in = TRUE;
    cinfo->comp_info[0].h_samp_factor = 2;
    cinfo->comp_info[0].v_samp_factor = 2;
    cinfo->comp_info[1].h_samp_factor = 1;
    cinfo->comp_info[1].v_samp_factor = 1;
    cinfo->comp_info[2].h_samp_factor = 1;
    cinfo->comp_info[2].v_samp_factor = 1;
    cinfo->dct_method = JDCT_IFAST;
    jpeg_stdio_dest(cinfo, stream);
    jpeg_start_compress(cinfo, TRUE);
    if (width % 16 != 0) {
        // Freed with the compression object, also when an error escapes.
        JDIMENSION padded = (width + 15) / 16 * 16;
        j_common_ptr common = reinterpret_cast<j_common_ptr>(cinfo);
        c->widened[0] = (*cinfo->mem->alloc_sarray)(common, JPOOL_IMAGE, padded, 16);
        c->widened[1] = (*cinfo->mem->alloc_sarray)(common, JPOOL_IMAGE, padded / 2, 8);
        c->widened[2] = (*cinfo->mem->alloc_sarray)(common, JPOOL_IMAGE, padded / 2, 8);
    }
}

// Returns 0, or the message code of the library error that stopped it.
int compress_frame(compression* c, FILE* stream, unsigned width, unsigned height, int quality) {
    c->cinfo.err = jpeg_std_error(&c->err.pub);
    c->err.pub.output_message = log_message;
    c->err.pub.error_exit = escape_from_library;
    if (setjmp(c->err.escape) != 0) {
        jpeg_destroy_compress(&c->cinfo);
        return c->err.pub.msg_code;
    }
    set_up(c, stream, width, height, quality);
    c->planes[0] = c->rows[0];
    c->planes[1] = c->rows[1];
    c->planes[2] = c->rows[2];
    for (unsigned y0 = 0; y0 < height; y0 += 16) {
        point_rows(c, y0, width, height);
        if (c->widened[0] != nullptr)
            widen_rows(c, width);
        while (jpeg_write_raw_data(&c->cinfo, c->planes, 16) == 0) {
        }
    }
    jpeg_finish_compress(&c->cinfo);
    jpeg_destroy_compress(&c->cinfo);
    return 0;
}

// Returns 0, -1 for a frame it refuses, or the library's message code. A
// refusal is logged under `caller`, the entry point that was asked.
int encode_at_quality(const char* caller, unsigned char* frame, FILE* stream, unsigned width,
                      unsigned height, int quality) {
    if (frame == nullptr || stream == nullptr) {
        log_line(caller, "no frame or no stream\n");
        return -1;
    }
    // Each chroma plane needs at least one sample to stand for.
    if (width < 2 || height < 2 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) {
        log_line(caller, "can't encode a frame of %u x %u\n", width, height);
        return -1;
    }
    size_t luma = static_cast<size_t>(width) * height;
    compression c{};
    c.src_y = frame;
    c.src_v = frame + luma;
    c.src_u = frame + luma + static_cast<size_t>(width / 2) * (height / 2);
    return compress_frame(&c, stream, width, height, quality);
}

// One attempt into the whole buffer: the JPEG's length, 0 when no JPEG was
// made, or -1 when it did not fit.
int encode_into(unsigned char* frame, void* buffer, int size, int width, int height, int quality) {
    FILE* stream = fmemopen(buffer, size, "wb");
    if (stream == nullptr) {
        log_line("encodeImage_to_memory", "can't open memory as file\n");
        return 0;
    }
    int failure = encode_at_quality("encodeImage_to_memory", frame, stream, width, height, quality);
    long length = failure == 0 ? ftell(stream) : 0;
    fclose(stream);
    // A memory stream ends what it holds with a null byte; when the data
    // fills the buffer exactly, the C library puts that byte over the last
    // one of the JPEG. Such a JPEG does not fit.
    if (failure == JERR_FILE_WRITE || length >= size)
        return -1;
    return length > 0 ? static_cast<int>(length) : 0;
}

} // namespace

int encodeImage(unsigned char* frame, FILE* stream, unsigned width, unsigned height) {
    return encode_at_quality(__func__, frame, stream, width, height, frame_quality) == 0 ? 0 : -1;
}

int encodeImage_to_memory(unsigned char* frame, void* buffer, int size, int width, int height) {
    // fmemopen would quietly use a buffer of its own for a null one.
    if (buffer == nullptr || size <= 0) {
        LOG("can't open memory as file\n");
        return 0;
    }
    int length = encode_into(frame, buffer, size, width, height, frame_quality);
    for (int quality : fallback_qualities) {
        if (length >= 0)
            return length;
        LOG("JPEG does not fit into %d bytes, trying quality %d\n", size, quality);
        length = encode_into(frame, buffer, size, width, height, quality);
    }
    if (length >= 0)
        return length;
    LOG("no JPEG fits into %d bytes\n", size);
    return 0;
}

int encodeImage_to_file(unsigned char* frame, const char* path, int width, int height) {
    FILE* stream = path != nullptr ? fopen(path, "wb") : nullptr;
    if (stream == nullptr) {
        LOG("can't open %s\n", path != nullptr ? path : "");
        return -1;
    }
    int result = encodeImage(frame, stream, width, height);
    // The last bytes may only fail to reach the disk when the file is closed.
    if (fclose(stream) != 0 && result == 0) {
        LOG("can't write %s\n", path);
        result = -1;
    }
    return result;
}

void log_message(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    LOG("%s\n", text);
}
