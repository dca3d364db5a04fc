#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#ifdef DRAVEL_HAVE_TURBOJPEG
#include <turbojpeg.h>
#endif

#include "records/jpeg_compressor.h"
#include "tests/common/syslog_capture.h"
#include "tests/common/files.h"

namespace {

using bytes_t = std::vector<unsigned char>;
using lines_t = std::vector<std::string>;
const int W = 704;
const int H = 576;
const std::string WRITE_ERROR = "log_message: Output file write error --- out of disk space?\n";

// Smooth: both chroma planes change along both axes, each its own way, so a
// swapped plane or a wrong stride shows in the PSNR. Otherwise uniform noise.
bytes_t make_frame(int w, int h, bool noise) {
    size_t luma = size_t(w) * h, chroma = size_t(w / 2) * (h / 2);
    bytes_t frame(luma + 2 * chroma);
    uint32_t state = 7;
    for (size_t i = 0; i < frame.size(); ++i) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        int pw = i < luma ? w : w / 2, ph = i < luma ? h : h / 2;
        size_t at = i < luma ? i : (i - luma) % chroma;
        int x = int(at % pw) * 100 / pw, y = int(at / pw) * 100 / ph;
        const int smooth[] = {20 + x * 3 / 2 + y, 60 + x + y / 2, 200 - x / 2 - y};
        frame[i] = noise ? state >> 24 : smooth[i < luma ? 0 : i < luma + chroma ? 1 : 2];
    }
    return frame;
}

// A copy that ends where an inaccessible page begins: a read past the frame
// faults even inside the JPEG library, which the sanitizers do not see into.
struct guarded_frame {
    size_t page = size_t(sysconf(_SC_PAGESIZE)), span;
    unsigned char* base;
    unsigned char* data;
    explicit guarded_frame(const bytes_t& frame) : span((frame.size() / page + 2) * page) {
        base = static_cast<unsigned char*>(
            mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(base + span - page, page, PROT_NONE);
        data = base + span - page - frame.size();
        memcpy(data, frame.data(), frame.size());
    }
    ~guarded_frame() { munmap(base, span); }
};

bytes_t encode(const bytes_t& frame, int w, int h, int size = 1 << 20) {
    guarded_frame source(frame);
    bytes_t jpeg(static_cast<size_t>(size));
    int length = encodeImage_to_memory(source.data, jpeg.data(), size, w, h);
    EXPECT_EQ(memcmp(source.data, frame.data(), frame.size()), 0) << "frame changed";
    jpeg.resize(length > 0 ? size_t(length) : 0);
    return jpeg;
}

// Chroma is replicated rather than interpolated, so every pixel can be held
// against its source sample. Checks the JFIF marker, the size and each
// component's id and sampling factors on the way; a corrupt file ends the
// test program.
bytes_t decode(const bytes_t& jpeg, J_COLOR_SPACE space, int w, int h) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&d, TRUE);
    EXPECT_TRUE(d.saw_JFIF_marker);
    EXPECT_TRUE(d.image_width == JDIMENSION(w) && d.image_height == JDIMENSION(h));
    std::vector<int> components; // id, then sampling factors as 0xHV
    for (int c = 0; c < d.num_components; ++c)
        components.push_back(d.comp_info[c].component_id << 8 | d.comp_info[c].h_samp_factor << 4 |
                             d.comp_info[c].v_samp_factor);
    EXPECT_EQ(components, (std::vector<int>{0x122, 0x211, 0x311}));
    d.out_color_space = space;
    d.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&d);
    bytes_t pixels(size_t(d.output_width) * d.output_height * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &pixels[size_t(d.output_scanline) * d.output_width * 3];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_destroy_decompress(&d);
    return pixels;
}

void expect_faithful(const bytes_t& jpeg, const bytes_t& frame, int w, int h) {
    ASSERT_GT(jpeg.size(), 4u);
    const unsigned char sof0[] = {0xFF, 0xC0}, sos[] = {0xFF, 0xDA};
    auto scan = std::search(jpeg.begin(), jpeg.end(), sos, sos + 2);
    EXPECT_NE(std::search(jpeg.begin(), scan, sof0, sof0 + 2), scan) << "not baseline";
    EXPECT_TRUE(jpeg[0] == 0xFF && jpeg[1] == 0xD8 && jpeg[jpeg.size() - 2] == 0xFF &&
                jpeg.back() == 0xD9)
        << "no start or end of image";
    const bytes_t pixels = decode(jpeg, JCS_YCbCr, w, h);
    ASSERT_EQ(pixels.size(), size_t(w) * h * 3);
    // Y, Cb and Cr against Y, the last plane and the plane after Y, where that
    // plane has samples of its own.
    const int cw = w / 2, ch = h / 2;
    const size_t luma = size_t(w) * h;
    const unsigned char* planes[] = {&frame[0], &frame[luma + size_t(cw) * ch], &frame[luma]};
    for (int comp = 0; comp < 3; ++comp) {
        const int cols = comp ? 2 * cw : w, rows = comp ? 2 * ch : h, stride = comp ? cw : w;
        double squares = 0;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < cols; ++x) {
                int source = planes[comp][size_t(comp ? y / 2 : y) * stride + (comp ? x / 2 : x)];
                int error = pixels[(size_t(y) * w + x) * 3 + comp] - source;
                squares += error * error;
            }
        double psnr = 10 * std::log10(255.0 * 255 * rows * cols / std::max(squares, 1.0));
        EXPECT_GT(psnr, 30.0) << "component " << comp;
    }
}

} // namespace

// The row loop works in passes of 16 rows and the library in whole blocks;
// the sizes off that grid must neither read past the frame nor distort it.
TEST(JpegEncoder, FramesBecomeFaithfulBaselineJfif) {
    const int sizes[][2] = {{W, H}, {100, 50}, {101, 51}, {113, 20}, {18, 2}, {2, 17}, {712, 290}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size[0]) + " x " + std::to_string(size[1]));
        bytes_t frame = make_frame(size[0], size[1], false);
        expect_faithful(encode(frame, size[0], size[1]), frame, size[0], size[1]);
    }
}

// Quality 50 means the standard's example tables unscaled, one for Y and one
// that Cb and Cr share; with the fast integer DCT and the standard Huffman
// tables an independent encoder makes the very same bytes of the same planes,
// also off the 16-pixel grid, where both repeat the last column and row.
TEST(JpegEncoder, StandardTablesAtQuality50AndTheBytesOfAnIndependentEncoder) {
    const std::vector<int> luma = {16,  11,  10,  16,  24, 40, 51,  61,  12,  12,  14,  19,  26,
                                   58,  60,  55,  14,  13, 16, 24,  40,  57,  69,  56,  14,  17,
                                   22,  29,  51,  87,  80, 62, 18,  22,  37,  56,  68,  109, 103,
                                   77,  24,  35,  55,  64, 81, 104, 113, 92,  49,  64,  78,  87,
                                   103, 121, 120, 101, 72, 92, 95,  98,  112, 100, 103, 99};
    std::vector<int> chroma(64, 99);
    const int chroma_corner[4][4] = {
        {17, 18, 24, 47}, {18, 21, 26, 66}, {24, 26, 56, 99}, {47, 66, 99, 99}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            chroma[r * 8 + c] = chroma_corner[r][c];

    const int cases[][3] = {{W, H, 0},    {W, H, 1},   {102, 50, 0}, {34, 18, 1},
                            {113, 21, 0}, {17, 33, 1}, {18, 2, 0}};
    for (const auto& c : cases) {
        const int w = c[0], h = c[1];
        const bool noise = c[2] != 0;
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        const bytes_t frame = make_frame(w, h, noise);
        const bytes_t jpeg = encode(frame, w, h);
        jpeg_decompress_struct d;
        jpeg_error_mgr err;
        d.err = jpeg_std_error(&err);
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
        ASSERT_EQ(jpeg_read_header(&d, TRUE), JPEG_HEADER_OK);
        std::vector<int> tables[NUM_QUANT_TBLS];
        for (int t = 0; t < NUM_QUANT_TBLS; ++t)
            if (d.quant_tbl_ptrs[t] != nullptr) // natural order, as read
                tables[t].assign(d.quant_tbl_ptrs[t]->quantval,
                                 d.quant_tbl_ptrs[t]->quantval + DCTSIZE2);
        EXPECT_EQ(tables[0], luma);
        EXPECT_EQ(tables[1], chroma);
        EXPECT_TRUE(tables[2].empty() && tables[3].empty());
        EXPECT_EQ(d.comp_info[0].quant_tbl_no + 10 * d.comp_info[1].quant_tbl_no +
                      100 * d.comp_info[2].quant_tbl_no,
                  110);
        jpeg_destroy_decompress(&d);

#ifdef DRAVEL_HAVE_TURBOJPEG
        tjhandle independent = tjInitCompress();
        ASSERT_NE(independent, nullptr);
        // TurboJPEG takes Y, Cb, Cr (the last plane, then the one after Y),
        // an odd size rounded up to even, and the extra column or row
        // repeating the last.
        const size_t luma_bytes = size_t(w) * h;
        const int cw = w / 2, ch = h / 2, ew = w + w % 2, eh = h + h % 2;
        const size_t starts[3] = {0, luma_bytes + size_t(cw) * ch, luma_bytes};
        const int sizes[3][4] = {
            {w, h, ew, eh}, {cw, ch, ew / 2, eh / 2}, {cw, ch, ew / 2, eh / 2}};
        bytes_t even[3];
        const unsigned char* planes[3];
        int strides[3];
        for (int p = 0; p < 3; ++p) {
            const int* z = sizes[p];
            for (int y = 0; y < z[3]; ++y)
                for (int x = 0; x < z[2]; ++x)
                    even[p].push_back(frame[starts[p] + size_t(std::min(y, z[1] - 1)) * z[0] +
                                            std::min(x, z[0] - 1)]);
            planes[p] = even[p].data();
            strides[p] = z[2];
        }
        unsigned char* bytes = nullptr;
        unsigned long size = 0;
        ASSERT_EQ(tjCompressFromYUVPlanes(independent, planes, w, strides, h, TJSAMP_420, &bytes,
                                          &size, 50, TJFLAG_FASTDCT),
                  0)
            << tjGetErrorStr2(independent);
        EXPECT_TRUE(bytes_t(bytes, bytes + size) == jpeg);
        tjFree(bytes);
        tjDestroy(independent);
#endif
    }
#ifndef DRAVEL_HAVE_TURBOJPEG
    GTEST_SKIP() << "tables checked; no TurboJPEG here to compare the bytes with";
#endif
}

TEST(JpegEncoder, TargetsGetTheSameBytesOrFailWithAReason) {
    bytes_t frame = make_frame(W, H, false);
    const std::string dir = scratch_dir("records"), path = dir + "/encoded.jpeg";
    ASSERT_EQ(encodeImage_to_file(frame.data(), path.c_str(), W, H), 0);
    const bytes_t in_memory = encode(frame, W, H, 65536);
    EXPECT_EQ(std::string(in_memory.begin(), in_memory.end()), read_text_file(path));

    syslog_capture::clear();
    const std::string missing = dir + "/missing/encoded.jpeg";
    EXPECT_EQ(encodeImage_to_file(frame.data(), missing.c_str(), W, H), -1);
    EXPECT_EQ(encodeImage_to_memory(frame.data(), nullptr, 65536, W, H), 0);
    // A stream that refuses the bytes fails the call instead of ending the process.
    FILE* full = fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(encodeImage(frame.data(), full, W, H), -1);
    fclose(full);
    EXPECT_EQ(syslog_capture::all(),
              (lines_t{"encodeImage_to_file: can't open " + missing + "\n",
                       "encodeImage_to_memory: can't open memory as file\n", WRITE_ERROR}));
}

// A buffer one byte short of the JPEG, or exactly its size (the memory
// stream's terminating null would overwrite its last byte), gets a coarser
// picture; one byte more gets the very same bytes. Uniform noise needs far
// more than a passage record's 65420 bytes even at the lowest quality tried:
// every step is logged and the call gives 0.
TEST(JpegEncoder, TightBufferGetsCoarserPictureOrNothing) {
    bytes_t frame = make_frame(W, H, false);
    bytes_t full = encode(frame, W, H);
    int needed = int(full.size());
    EXPECT_EQ(encode(frame, W, H, needed + 1), full);
    for (int size : {needed, needed - 1}) {
        syslog_capture::clear();
        bytes_t coarser = encode(frame, W, H, size);
        EXPECT_LT(coarser.size(), full.size());
        expect_faithful(coarser, frame, W, H);
        EXPECT_EQ(syslog_capture::matching("trying quality"),
                  std::vector<std::string>{"encodeImage_to_memory: JPEG does not fit into " +
                                           std::to_string(size) + " bytes, trying quality 30\n"});
    }

    syslog_capture::clear();
    EXPECT_EQ(encode(make_frame(W, H, true), W, H, 65420).size(), 0u);
    lines_t expected = {WRITE_ERROR};
    for (int quality : {30, 15, 5}) {
        expected.push_back("encodeImage_to_memory: JPEG does not fit into 65420 bytes, trying "
                           "quality " +
                           std::to_string(quality) + "\n");
        expected.push_back(WRITE_ERROR);
    }
    expected.push_back("encodeImage_to_memory: no JPEG fits into 65420 bytes\n");
    EXPECT_EQ(syslog_capture::all(), expected);
}
