#include <climits>
#include <string>

#include <gtest/gtest.h>

#include "records/jpeg_compressor.h"
#include "tests/common/syslog_capture.h"
#include "tests/records/jpeg_check.h"

namespace {

const int frame_width = 704;
const int frame_height = 576;
const int record_buffer = 65420; // the shared-memory block after the passage record

// Encodes from a guarded copy: the encoder must neither read past the frame
// nor change it.
bytes_t encode_to_memory(const bytes_t& frame, int width, int height, int size = 1 << 20) {
    guarded_frame source(frame);
    bytes_t buffer(static_cast<size_t>(size));
    int length = encodeImage_to_memory(source.data(), buffer.data(), size, width, height);
    EXPECT_EQ(source.bytes(), frame);
    buffer.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return buffer;
}

// Every picture the encoder makes must be a baseline JFIF 4:2:0 file that
// decodes close to its source, plane by plane.
void expect_faithful_jpeg(const bytes_t& jpeg, const bytes_t& frame, int width, int height) {
    jpeg_header header = read_header(jpeg);
    EXPECT_TRUE(header.starts_with_soi);
    EXPECT_TRUE(header.ends_with_eoi);
    EXPECT_TRUE(header.jfif);
    EXPECT_TRUE(header.baseline);
    EXPECT_EQ(header.width, width);
    EXPECT_EQ(header.height, height);
    EXPECT_EQ(header.component_ids, (std::vector<unsigned char>{1, 2, 3}));
    EXPECT_EQ(header.sampling, (std::vector<unsigned char>{0x22, 0x11, 0x11}));
    decoded_picture picture = decode(jpeg, JCS_YCbCr);
    ASSERT_EQ(picture.error, "");
    ASSERT_EQ(picture.width, width);
    ASSERT_EQ(picture.height, height);
    for (int comp = 0; comp < 3; ++comp)
        EXPECT_GT(plane_psnr(picture, frame, comp), 30.0) << "component " << comp;
}

} // namespace

TEST(JpegEncoder, FrameBecomesFaithfulBaselineJfif) {
    bytes_t frame = smooth_frame(frame_width, frame_height);
    bytes_t jpeg = encode_to_memory(frame, frame_width, frame_height, 65536);
    ASSERT_GT(jpeg.size(), 0u);
    expect_faithful_jpeg(jpeg, frame, frame_width, frame_height);
}

// The plane right after Y is Cr: filled with 255 it must turn the picture
// red; read as Cb it would turn it blue.
TEST(JpegEncoder, PlaneAfterLumaIsRed) {
    bytes_t frame = flat_frame(frame_width, frame_height, 128, 255, 128);
    bytes_t jpeg = encode_to_memory(frame, frame_width, frame_height, 65536);
    decoded_picture rgb = decode(jpeg, JCS_RGB);
    ASSERT_EQ(rgb.error, "");
    EXPECT_GT(channel_mean(rgb, 0), 220.0);
    EXPECT_LT(channel_mean(rgb, 2), 140.0);
}

TEST(JpegEncoder, MemoryHoldsExactlyTheFileBytes) {
    bytes_t frame = smooth_frame(frame_width, frame_height);
    std::string path = scratch_dir() + "/frame.jpeg";
    ASSERT_EQ(encodeImage_to_file(frame.data(), path.c_str(), frame_width, frame_height), 0);
    bytes_t file = read_file(path);
    ASSERT_GT(file.size(), 0u);
    EXPECT_EQ(encode_to_memory(frame, frame_width, frame_height, 65536), file);

    // encodeImage writes onto the stream it is given and leaves it open.
    FILE* stream = tmpfile();
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(encodeImage(frame.data(), stream, frame_width, frame_height), 0);
    EXPECT_EQ(ftell(stream), static_cast<long>(file.size()));
    EXPECT_EQ(fclose(stream), 0);
}

TEST(JpegEncoder, UnusableTargetsFail) {
    bytes_t frame = smooth_frame(frame_width, frame_height);
    std::string path = scratch_dir() + "/missing/frame.jpeg";
    syslog_capture::clear();
    EXPECT_EQ(encodeImage_to_file(frame.data(), path.c_str(), frame_width, frame_height), -1);
    EXPECT_TRUE(syslog_capture::contains("encodeImage_to_file: can't open " + path + "\n"));

    syslog_capture::clear();
    EXPECT_EQ(encodeImage_to_memory(frame.data(), nullptr, 65536, frame_width, frame_height), 0);
    unsigned char small[16];
    EXPECT_EQ(encodeImage_to_memory(frame.data(), small, 0, frame_width, frame_height), 0);
    EXPECT_EQ(syslog_capture::matching("encodeImage_to_memory: can't open memory as file\n").size(),
              2u);
    for (const auto& line : syslog_capture::lines())
        EXPECT_EQ(line.priority, 0);

    // A stream that refuses the bytes is a failure, not the end of the process.
    FILE* full = fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    syslog_capture::clear();
    EXPECT_EQ(encodeImage(frame.data(), full, frame_width, frame_height), -1);
    EXPECT_TRUE(syslog_capture::contains("log_message: Output file write error"));
    fclose(full);
}

// A buffer one byte short of the JPEG (or exactly its size: the memory
// stream's terminating null would overwrite the last byte) gets a coarser
// picture instead; one byte more gets the very bytes of the file.
TEST(JpegEncoder, TightBufferGetsCoarserPicture) {
    bytes_t frame = smooth_frame(frame_width, frame_height);
    bytes_t full = encode_to_memory(frame, frame_width, frame_height);
    int needed = static_cast<int>(full.size());
    ASSERT_GT(needed, 0);

    EXPECT_EQ(encode_to_memory(frame, frame_width, frame_height, needed + 1), full);
    for (int size : {needed, needed - 1}) {
        SCOPED_TRACE(size);
        syslog_capture::clear();
        bytes_t coarser = encode_to_memory(frame, frame_width, frame_height, size);
        ASSERT_GT(coarser.size(), 0u);
        EXPECT_LT(coarser.size(), full.size());
        EXPECT_TRUE(syslog_capture::contains("encodeImage_to_memory: JPEG does not fit into " +
                                             std::to_string(size) + " bytes, trying quality 30\n"));
        EXPECT_FALSE(syslog_capture::contains("trying quality 15"));
        expect_faithful_jpeg(coarser, frame, frame_width, frame_height);
    }
}

// Uniform noise needs far more than the record's buffer even at the lowest
// quality tried: every step is logged and the call fails with 0.
TEST(JpegEncoder, NoiseThatNeverFitsGivesNothing) {
    bytes_t frame = noise_frame(frame_width, frame_height, 7);
    ASSERT_GT(encode_to_memory(frame, frame_width, frame_height, 4 << 20).size(),
              static_cast<size_t>(record_buffer));
    syslog_capture::clear();
    EXPECT_EQ(encode_to_memory(frame, frame_width, frame_height, record_buffer).size(), 0u);
    for (int quality : {30, 15, 5})
        EXPECT_TRUE(syslog_capture::contains("JPEG does not fit into 65420 bytes, trying quality " +
                                             std::to_string(quality) + "\n"));
    EXPECT_EQ(syslog_capture::matching("log_message: Output file write error").size(), 4u);
    EXPECT_TRUE(syslog_capture::contains("encodeImage_to_memory: no JPEG fits into 65420 bytes\n"));
}

// The row loop works in passes of 16 rows and the library in whole blocks;
// frames of other sizes are held in buffers of their exact size, so any read
// past them is caught by AddressSanitizer.
TEST(JpegEncoder, SizesOffTheMcuGridStayInsideTheFrame) {
    const int sizes[][2] = {{100, 50}, {101, 51}, {18, 2}, {2, 17}, {712, 290}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size[0]) + " x " + std::to_string(size[1]));
        bytes_t frame = smooth_frame(size[0], size[1]);
        bytes_t jpeg = encode_to_memory(frame, size[0], size[1]);
        ASSERT_GT(jpeg.size(), 0u);
        expect_faithful_jpeg(jpeg, frame, size[0], size[1]);
    }
}

TEST(JpegEncoder, RefusesFramesItCannotEncode) {
    bytes_t frame = smooth_frame(16, 16);
    const int sizes[][2] = {{1, 16}, {16, 1}, {0, 0}, {-16, 16}, {16, INT_MIN}, {70000, 2}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size[0]) + " x " + std::to_string(size[1]));
        EXPECT_EQ(encode_to_memory(frame, size[0], size[1]).size(), 0u);
    }
    EXPECT_EQ(encodeImage(nullptr, stdout, 16, 16), -1);
    EXPECT_EQ(encodeImage(frame.data(), nullptr, 16, 16), -1);
}
