// Test-side view of the JPEGs the encoder makes: the header fields read from
// the markers, the picture decoded by libjpeg, and synthetic 4:2:0 frames.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

using bytes_t = std::vector<unsigned char>;

struct jpeg_header {
    bool starts_with_soi = false;
    bool ends_with_eoi = false;
    bool jfif = false;
    bool baseline = false; // a start-of-frame 0 marker, and no other frame type
    int width = 0;
    int height = 0;
    std::vector<unsigned char> component_ids;
    std::vector<unsigned char> sampling; // 0xHV per component
};

// Walks the markers up to the start of scan.
jpeg_header read_header(const bytes_t& jpeg);

// The decoded picture at full resolution, interleaved in `space` (JCS_RGB or
// JCS_YCbCr, chroma replicated rather than interpolated). Empty when the
// library rejects the data; `error` then holds its message.
struct decoded_picture {
    int width = 0;
    int height = 0;
    bytes_t samples;
    std::string error;
};
decoded_picture decode(const bytes_t& jpeg, int space);

// Peak signal-to-noise ratio, in dB, of decoded YCbCr component `comp`
// against the source frame's matching plane (Y, U as Cb, V as Cr).
double plane_psnr(const decoded_picture& ycbcr, const bytes_t& frame, int comp);

// Average of interleaved channel `channel` over the whole picture.
double channel_mean(const decoded_picture& picture, int channel);

// Planar 4:2:0 frames of exactly width * height + 2 * (width/2) * (height/2)
// bytes, so AddressSanitizer sees any read past their end.
bytes_t smooth_frame(int width, int height);
bytes_t noise_frame(int width, int height, unsigned seed);
bytes_t flat_frame(int width, int height, unsigned char y, unsigned char v, unsigned char u);

// A copy of a frame that ends right before an inaccessible page, so that a
// read past its end faults even inside the JPEG library, which the sanitizers
// do not see into.
class guarded_frame {
  public:
    explicit guarded_frame(const bytes_t& frame);
    ~guarded_frame();
    guarded_frame(const guarded_frame&) = delete;
    guarded_frame& operator=(const guarded_frame&) = delete;
    unsigned char* data() const { return data_; }
    bytes_t bytes() const { return bytes_t(data_, data_ + size_); }

  private:
    void* mapping_ = nullptr;
    size_t mapped_ = 0;
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
};

bytes_t read_file(const std::string& path);
// A fresh scratch folder below DRAVEL_TEST_TMP (or /tmp).
std::string scratch_dir();
