#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "tests/common/syslog_capture.h"
#include "video/field_doubling.h"

namespace {

using bytes_t = std::vector<unsigned char>;

struct free_delete {
    void operator()(unsigned char* p) const { free(p); }
};
using doubled_t = std::unique_ptr<unsigned char, free_delete>;

const int field_width = 704;
const int field_height = 288;

// Every row of every plane differs from its neighbours, and the planes differ
// from one another, so a row copied from the wrong place shows.
bytes_t distinct_rows(int width, int height) {
    size_t luma = static_cast<size_t>(width) * height;
    size_t chroma = static_cast<size_t>(width / 2) * (height / 2);
    bytes_t frame(luma + 2 * chroma);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<unsigned char>((i * 2654435761u) >> 13);
    return frame;
}

// Checks that result rows 2r and 2r+1 of each plane equal source row r.
void expect_doubled(const unsigned char* result, const bytes_t& source, int width, int height) {
    size_t w = width;
    size_t h = height;
    size_t cw = w / 2;
    size_t ch = h / 2;
    for (size_t r = 0; r < h; ++r)
        for (size_t copy = 0; copy < 2; ++copy)
            ASSERT_EQ(memcmp(result + (2 * r + copy) * w, &source[r * w], w), 0)
                << "luma row " << r << " copy " << copy;
    const size_t planes[2][2] = {{w * h, 2 * w * h}, {w * h + cw * ch, 2 * w * h + 2 * cw * ch}};
    for (int p = 0; p < 2; ++p)
        for (size_t r = 0; r < ch; ++r)
            for (size_t copy = 0; copy < 2; ++copy)
                ASSERT_EQ(memcmp(result + planes[p][1] + (2 * r + copy) * cw,
                                 &source[planes[p][0] + r * cw], cw),
                          0)
                    << (p == 0 ? "V" : "U") << " row " << r << " copy " << copy;
}

} // namespace

TEST(FieldDoubling, EveryRowOfEveryPlaneIsRepeated) {
    bytes_t field = distinct_rows(field_width, field_height);
    bytes_t before = field;
    doubled_t frame(yuv_height_x_2(field.data(), field_width, field_height));
    ASSERT_NE(frame, nullptr);
    expect_doubled(frame.get(), field, field_width, field_height);
    EXPECT_EQ(field, before);

    doubled_t from_vector(yuv_height_x_2_vect(field, field_width, field_height));
    ASSERT_NE(from_vector, nullptr);
    EXPECT_EQ(memcmp(from_vector.get(), frame.get(), 3 * field_width * field_height), 0);
}

// Odd sizes halve to whole chroma rows and columns; exact-size sources let
// AddressSanitizer see any read beyond them.
TEST(FieldDoubling, OddSizesStayInsideTheirFrames) {
    const int sizes[][2] = {{5, 3}, {7, 1}, {1, 9}, {3, 2}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size[0]) + " x " + std::to_string(size[1]));
        bytes_t field = distinct_rows(size[0], size[1]);
        doubled_t frame(yuv_height_x_2(field.data(), size[0], size[1]));
        ASSERT_NE(frame, nullptr);
        expect_doubled(frame.get(), field, size[0], size[1]);
        // A vector of w*h*3/2 bytes is a whole frame even when w*h is odd.
        bytes_t whole(field);
        whole.resize(static_cast<size_t>(size[0]) * size[1] * 3 / 2);
        doubled_t from_vector(yuv_height_x_2_vect(whole, size[0], size[1]));
        ASSERT_NE(from_vector, nullptr);
        expect_doubled(from_vector.get(), field, size[0], size[1]);
    }
}

// The engine's image may be longer than a frame: the result grows with it,
// and its first 3*w*h bytes are the doubled frame.
TEST(FieldDoubling, LongerVectorDoublesItsFirstFrame) {
    bytes_t field = distinct_rows(16, 8);
    bytes_t longer(field);
    longer.resize(field.size() + 100, 0x5A);
    doubled_t frame(yuv_height_x_2_vect(longer, 16, 8));
    ASSERT_NE(frame, nullptr);
    expect_doubled(frame.get(), field, 16, 8);
    // The result holds twice the vector's bytes; AddressSanitizer checks the end.
    frame.get()[2 * longer.size() - 1] = 0;
    EXPECT_EQ(frame.get()[2 * longer.size() - 1], 0);
}

TEST(FieldDoubling, ShortOrMissingSourcesGiveNull) {
    bytes_t field = distinct_rows(field_width, field_height);
    syslog_capture::clear();
    bytes_t short_image(field.begin(), field.end() - 1);
    EXPECT_EQ(yuv_height_x_2_vect(short_image, field_width, field_height), nullptr);
    EXPECT_TRUE(syslog_capture::contains(
        "yuv_height_x_2_vect: image of 304127 bytes is not a whole 704 x 288 frame\n"));
    EXPECT_EQ(yuv_height_x_2_vect(bytes_t(), field_width, field_height), nullptr);

    const int sizes[][2] = {{0, 288}, {704, 0}, {-704, 288}, {704, INT_MIN}};
    for (const auto& size : sizes) {
        EXPECT_EQ(yuv_height_x_2(field.data(), size[0], size[1]), nullptr);
        EXPECT_EQ(yuv_height_x_2_vect(field, size[0], size[1]), nullptr);
    }
    EXPECT_EQ(yuv_height_x_2(nullptr, field_width, field_height), nullptr);
}
