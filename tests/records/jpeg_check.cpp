#include "tests/records/jpeg_check.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <jpeglib.h>

jpeg_header read_header(const bytes_t& jpeg) {
    jpeg_header header;
    size_t n = jpeg.size();
    if (n < 4)
        return header;
    header.starts_with_soi = jpeg[0] == 0xFF && jpeg[1] == 0xD8;
    header.ends_with_eoi = jpeg[n - 2] == 0xFF && jpeg[n - 1] == 0xD9;
    bool sof0 = false;
    bool other_frame = false;
    size_t pos = 2;
    while (pos + 4 <= n && jpeg[pos] == 0xFF) {
        unsigned char marker = jpeg[pos + 1];
        size_t length = static_cast<size_t>(jpeg[pos + 2]) << 8 | jpeg[pos + 3];
        if (marker == 0xDA || pos + 2 + length > n)
            break;
        const unsigned char* body = &jpeg[pos + 4];
        if (marker == 0xE0 && length >= 7 && std::string(body, body + 5) == std::string("JFIF", 5))
            header.jfif = true;
        if (marker == 0xC0 && length >= 8) {
            sof0 = true;
            header.height = body[1] << 8 | body[2];
            header.width = body[3] << 8 | body[4];
            for (size_t c = 0; c < body[5] && 8 + 3 * c + 2 < length; ++c) {
                header.component_ids.push_back(body[6 + 3 * c]);
                header.sampling.push_back(body[7 + 3 * c]);
            }
        } else if (marker >= 0xC1 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                   marker != 0xCC) {
            other_frame = true;
        }
        pos += 2 + length;
    }
    header.baseline = sof0 && !other_frame;
    return header;
}

namespace {

struct test_error_mgr {
    jpeg_error_mgr pub;
    jmp_buf escape;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void leave_decoder(j_common_ptr cinfo) {
    test_error_mgr* err = reinterpret_cast<test_error_mgr*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    longjmp(err->escape, 1);
}

// Plain data only between setjmp and longjmp; the caller owns the output.
bool run_decoder(jpeg_decompress_struct* cinfo, test_error_mgr* err, const bytes_t& jpeg, int space,
                 decoded_picture* out) {
    cinfo->err = jpeg_std_error(&err->pub);
    err->pub.error_exit = leave_decoder;
    if (setjmp(err->escape) != 0) {
        jpeg_destroy_decompress(cinfo);
        return false;
    }
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(cinfo, TRUE);
    cinfo->out_color_space = static_cast<J_COLOR_SPACE>(space);
    cinfo->do_fancy_upsampling = FALSE;
    jpeg_start_decompress(cinfo);
    out->width = static_cast<int>(cinfo->output_width);
    out->height = static_cast<int>(cinfo->output_height);
    out->samples.resize(static_cast<size_t>(out->width) * out->height * 3);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = &out->samples[static_cast<size_t>(cinfo->output_scanline) * out->width * 3];
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    jpeg_destroy_decompress(cinfo);
    return true;
}

size_t chroma_plane_bytes(int width, int height) {
    return static_cast<size_t>(width / 2) * (height / 2);
}

} // namespace

decoded_picture decode(const bytes_t& jpeg, int space) {
    decoded_picture picture;
    jpeg_decompress_struct cinfo{};
    test_error_mgr err{};
    if (!run_decoder(&cinfo, &err, jpeg, space, &picture)) {
        picture = decoded_picture();
        picture.error = err.message;
    }
    return picture;
}

double plane_psnr(const decoded_picture& ycbcr, const bytes_t& frame, int comp) {
    int w = ycbcr.width;
    int h = ycbcr.height;
    int cw = w / 2;
    const unsigned char* plane = frame.data();
    if (comp == 1)
        plane += static_cast<size_t>(w) * h + chroma_plane_bytes(w, h);
    else if (comp == 2)
        plane += static_cast<size_t>(w) * h;
    // Chroma is compared where the frame has a sample of its own.
    int cols = comp == 0 ? w : 2 * cw;
    int rows = comp == 0 ? h : h / 2 * 2;
    double squares = 0;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) {
            int source = comp == 0 ? plane[static_cast<size_t>(y) * w + x]
                                   : plane[static_cast<size_t>(y / 2) * cw + x / 2];
            int got = ycbcr.samples[(static_cast<size_t>(y) * w + x) * 3 + comp];
            squares += static_cast<double>(got - source) * (got - source);
        }
    double mse = squares / (static_cast<double>(rows) * cols);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

double channel_mean(const decoded_picture& picture, int channel) {
    double sum = 0;
    size_t pixels = picture.samples.size() / 3;
    for (size_t i = 0; i < pixels; ++i)
        sum += picture.samples[i * 3 + channel];
    return pixels == 0 ? 0 : sum / pixels;
}

bytes_t smooth_frame(int width, int height) {
    int cw = width / 2;
    int ch = height / 2;
    bytes_t frame(static_cast<size_t>(width) * height + 2 * chroma_plane_bytes(width, height));
    unsigned char* v = &frame[static_cast<size_t>(width) * height];
    unsigned char* u = v + chroma_plane_bytes(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame[static_cast<size_t>(y) * width + x] =
                static_cast<unsigned char>(20 + x * 150 / width + y * 80 / height);
    // Both chroma planes change along both axes, each its own way, so that a
    // swapped plane or a wrong stride shows.
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x) {
            v[static_cast<size_t>(y) * cw + x] =
                static_cast<unsigned char>(60 + x * 100 / cw + y * 40 / ch);
            u[static_cast<size_t>(y) * cw + x] =
                static_cast<unsigned char>(200 - x * 40 / cw - y * 100 / ch);
        }
    return frame;
}

bytes_t noise_frame(int width, int height, unsigned seed) {
    bytes_t frame(static_cast<size_t>(width) * height + 2 * chroma_plane_bytes(width, height));
    uint32_t state = seed ? seed : 1;
    for (auto& sample : frame) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        sample = static_cast<unsigned char>(state >> 24);
    }
    return frame;
}

bytes_t flat_frame(int width, int height, unsigned char y, unsigned char v, unsigned char u) {
    size_t luma = static_cast<size_t>(width) * height;
    size_t chroma = chroma_plane_bytes(width, height);
    bytes_t frame(luma + 2 * chroma, y);
    std::fill(frame.begin() + luma, frame.begin() + luma + chroma, v);
    std::fill(frame.begin() + luma + chroma, frame.end(), u);
    return frame;
}

guarded_frame::guarded_frame(const bytes_t& frame) : size_(frame.size()) {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t usable = (size_ + page - 1) / page * page;
    mapped_ = usable + page;
    void* mapping =
        mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED)
        abort();
    mapping_ = mapping;
    unsigned char* start = static_cast<unsigned char*>(mapping);
    if (mprotect(start + usable, page, PROT_NONE) != 0)
        abort();
    data_ = start + usable - size_;
    memcpy(data_, frame.data(), size_);
}

guarded_frame::~guarded_frame() {
    munmap(mapping_, mapped_);
}

bytes_t read_file(const std::string& path) {
    bytes_t data;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        return data;
    unsigned char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
        data.insert(data.end(), chunk, chunk + got);
    fclose(file);
    return data;
}

std::string scratch_dir() {
    const char* base = getenv("DRAVEL_TEST_TMP");
    std::string root = base != nullptr && *base != '\0' ? base : "/tmp";
    mkdir(root.c_str(), 0755);
    std::string pattern = root + "/jpegXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    return mkdtemp(name.data()) != nullptr ? std::string(name.data()) : root;
}
