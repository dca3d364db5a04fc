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
#include "tests/common/files.h"
#include "tests/common/golden.h"
#include "tests/common/syslog_capture.h"

namespace {

using bytes_t = std::vector<unsigned char>;
using lines_t = std::vector<std::string>;
// The one size the service encodes: the doubled field.
const int W = 704;
const int H = 576;
const size_t LUMA = size_t(W) * H, CHROMA = LUMA / 4;
const std::string WRITE_ERROR = "log_message: Output file write error --- out of disk space?\n";

// Smooth: both chroma planes change along both axes, each its own way, so a
// swapped plane or a wrong stride shows in the PSNR. Otherwise uniform noise.
bytes_t make_frame(bool noise) {
    bytes_t frame(LUMA + 2 * CHROMA);
    uint32_t state = 7;
    for (size_t i = 0; i < frame.size(); ++i) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        const int pw = i < LUMA ? W : W / 2, ph = i < LUMA ? H : H / 2;
        const size_t at = i < LUMA ? i : (i - LUMA) % CHROMA;
        const int x = int(at % pw) * 100 / pw, y = int(at / pw) * 100 / ph;
        const int smooth[] = {20 + x * 3 / 2 + y, 60 + x + y / 2, 200 - x / 2 - y};
        frame[i] = noise ? state >> 24 : smooth[i < LUMA ? 0 : i < LUMA + CHROMA ? 1 : 2];
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

bytes_t encode(const bytes_t& frame, int size = 1 << 20) {
    guarded_frame source(frame);
    bytes_t jpeg(static_cast<size_t>(size));
    int length = encodeImage_to_memory(source.data, jpeg.data(), size, W, H);
    EXPECT_EQ(memcmp(source.data, frame.data(), frame.size()), 0) << "frame changed";
    jpeg.resize(length > 0 ? size_t(length) : 0);
    return jpeg;
}

// Y, Cb and Cr of each pixel; chroma replicated rather than interpolated, so
// every pixel can be held against its source sample. `header` gets what the
// file says of itself: JFIF, size, components with their sampling factors
// and quantisation tables (in natural order), and the tables.
bytes_t decode(const bytes_t& jpeg, std::string* header) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&d, TRUE);
    *header = "JFIF " + std::to_string(d.saw_JFIF_marker) + " size " +
              std::to_string(d.image_width) + " x " + std::to_string(d.image_height) + "\n";
    for (int c = 0; c < d.num_components; ++c) {
        const jpeg_component_info& info = d.comp_info[c];
        *header += "component " + std::to_string(info.component_id) + " sampling " +
                   std::to_string(info.h_samp_factor) + "x" + std::to_string(info.v_samp_factor) +
                   " table " + std::to_string(info.quant_tbl_no) + "\n";
    }
    for (int t = 0; t < NUM_QUANT_TBLS; ++t)
        for (int i = 0; d.quant_tbl_ptrs[t] != nullptr && i < DCTSIZE2; ++i)
            *header += std::to_string(d.quant_tbl_ptrs[t]->quantval[i]) + (i % 8 == 7 ? "\n" : " ");
    d.out_color_space = JCS_YCbCr;
    d.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&d);
    bytes_t pixels(size_t(d.output_width) * d.output_height * 3);
    while (d.output_scanline < d.output_height && d.output_width == JDIMENSION(W)) {
        JSAMPROW row = &pixels[size_t(d.output_scanline) * W * 3];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_destroy_decompress(&d);
    return pixels;
}

// A whole baseline JPEG, each component within 30 dB PSNR of its plane; what
// its header says.
std::string faithful(const bytes_t& jpeg, const bytes_t& frame) {
    std::string header;
    if (jpeg.size() < 4) {
        ADD_FAILURE() << "no JPEG";
        return header;
    }
    const unsigned char sof0[] = {0xFF, 0xC0}, sos[] = {0xFF, 0xDA};
    auto scan = std::search(jpeg.begin(), jpeg.end(), sos, sos + 2);
    EXPECT_NE(std::search(jpeg.begin(), scan, sof0, sof0 + 2), scan) << "not baseline";
    EXPECT_TRUE(jpeg[0] == 0xFF && jpeg[1] == 0xD8 && jpeg[jpeg.size() - 2] == 0xFF &&
                jpeg.back() == 0xD9)
        << "no start or end of image";
    const bytes_t pixels = decode(jpeg, &header);
    if (pixels.size() != LUMA * 3) {
        ADD_FAILURE() << "not one " << W << " x " << H << " picture";
        return header;
    }
    // Y, Cb and Cr against Y, the last plane and the plane after Y.
    const unsigned char* planes[] = {&frame[0], &frame[LUMA + CHROMA], &frame[LUMA]};
    for (int comp = 0; comp < 3; ++comp) {
        double squares = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const int source = comp ? planes[comp][size_t(y / 2) * (W / 2) + x / 2]
                                        : planes[0][size_t(y) * W + x];
                const int error = pixels[(size_t(y) * W + x) * 3 + comp] - source;
                squares += error * error;
            }
        const double psnr = 10 * std::log10(255.0 * 255 * LUMA / std::max(squares, 1.0));
        EXPECT_GT(psnr, 30.0) << "component " << comp;
    }
    return header;
}

} // namespace

// Quality 50 means the standard's example tables unscaled, one for Y and one
// that Cb and Cr share; with the fast integer DCT and the standard Huffman
// tables an independent encoder makes the very same bytes of the same planes.
TEST(JpegEncoder, FaithfulStandardJfifAndTheBytesOfAnIndependentEncoder) {
    const bytes_t smooth = make_frame(false);
    const bytes_t jpeg = encode(smooth);
    EXPECT_TRUE(matches_golden("records/golden/quality50.txt", faithful(jpeg, smooth)));
#ifdef DRAVEL_HAVE_TURBOJPEG
    for (const bytes_t& frame : {smooth, make_frame(true)}) {
        tjhandle independent = tjInitCompress();
        ASSERT_NE(independent, nullptr);
        const unsigned char* planes[3] = {&frame[0], &frame[LUMA + CHROMA], &frame[LUMA]};
        const int strides[3] = {W, W / 2, W / 2};
        unsigned char* bytes = nullptr;
        unsigned long size = 0;
        ASSERT_EQ(tjCompressFromYUVPlanes(independent, planes, W, strides, H, TJSAMP_420, &bytes,
                                          &size, 50, TJFLAG_FASTDCT),
                  0)
            << tjGetErrorStr2(independent);
        EXPECT_TRUE(bytes_t(bytes, bytes + size) == encode(frame));
        tjFree(bytes);
        tjDestroy(independent);
    }
#endif
}

TEST(JpegEncoder, TargetsGetTheSameBytesOrFailWithAReason) {
    bytes_t frame = make_frame(false);
    const std::string dir = scratch_dir("records"), path = dir + "/encoded.jpeg";
    ASSERT_EQ(encodeImage_to_file(frame.data(), path.c_str(), W, H), 0);
    const bytes_t in_memory = encode(frame, 65536);
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
// every step is logged (golden/no-fit.log) and the call gives 0.
TEST(JpegEncoder, TightBufferGetsCoarserPictureOrNothing) {
    bytes_t frame = make_frame(false);
    bytes_t full = encode(frame);
    int needed = int(full.size());
    EXPECT_EQ(encode(frame, needed + 1), full);
    for (int size : {needed, needed - 1}) {
        syslog_capture::clear();
        bytes_t coarser = encode(frame, size);
        EXPECT_LT(coarser.size(), full.size());
        faithful(coarser, frame);
        EXPECT_EQ(syslog_capture::matching("trying quality"),
                  std::vector<std::string>{"encodeImage_to_memory: JPEG does not fit into " +
                                           std::to_string(size) + " bytes, trying quality 30\n"});
    }

    syslog_capture::clear();
    EXPECT_EQ(encode(make_frame(true), 65420).size(), 0u);
    EXPECT_TRUE(matches_golden("records/golden/no-fit.log", syslog_capture::logged()));
}
