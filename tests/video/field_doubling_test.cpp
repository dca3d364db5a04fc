#include <string>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "tests/common/syslog_capture.h"
#include "video/field_doubling.h"

namespace {

using bytes_t = std::vector<unsigned char>;

// Each result row 2r and 2r+1 of every plane must equal source row r; rows
// of the source differ from one another, so a row from elsewhere shows.
void expect_doubled(const unsigned char* result, const bytes_t& source, int width, int height) {
    size_t w = width, h = height, cw = w / 2, ch = h / 2;
    // {source offset, result offset, rows, row bytes} of Y, V and U.
    const size_t planes[3][4] = {{0, 0, h, w},
                                 {w * h, 2 * w * h, ch, cw},
                                 {w * h + cw * ch, 2 * w * h + 2 * cw * ch, ch, cw}};
    for (const auto& p : planes)
        for (size_t r = 0; r < 2 * p[2]; ++r)
            ASSERT_EQ(memcmp(result + p[1] + r * p[3], &source[p[0] + r / 2 * p[3]], p[3]), 0)
                << "plane at " << p[0] << ", result row " << r;
}

bytes_t distinct_rows(int width, int height) {
    size_t bytes = size_t(width) * height + 2 * size_t(width / 2) * (height / 2);
    bytes_t frame(bytes);
    for (size_t i = 0; i < bytes; ++i)
        frame[i] = static_cast<unsigned char>((i * 2654435761u) >> 13);
    return frame;
}

} // namespace

// Odd sizes halve to whole chroma rows and columns; exact-size sources let
// AddressSanitizer see any read beyond them. A vector of one whole frame (for
// 704 x 288 the stream's own image) or a longer one doubles its first frame
// as the plain variant does.
TEST(FieldDoubling, EveryRowOfEveryPlaneIsRepeated) {
    const int sizes[][2] = {{704, 288}, {5, 3}, {7, 1}, {1, 9}, {3, 2}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size[0]) + " x " + std::to_string(size[1]));
        const bytes_t field = distinct_rows(size[0], size[1]);
        unsigned char* frame =
            yuv_height_x_2(const_cast<unsigned char*>(field.data()), size[0], size[1]);
        ASSERT_TRUE(frame != nullptr);
        expect_doubled(frame, field, size[0], size[1]);
        EXPECT_EQ(field, distinct_rows(size[0], size[1])) << "source changed";
        for (size_t extra : {0, 100}) {
            bytes_t source = field;
            source.resize(size_t(size[0]) * size[1] * 3 / 2 + extra);
            unsigned char* from_vector = yuv_height_x_2_vect(source, size[0], size[1]);
            ASSERT_TRUE(from_vector != nullptr) << extra;
            EXPECT_EQ(memcmp(frame, from_vector, 2 * field.size()), 0) << extra;
            from_vector[2 * source.size() - 1] = 0; // the result holds twice the vector's bytes
            free(from_vector);
        }
        free(frame);
    }
}

TEST(FieldDoubling, ShortOrMissingSourcesGiveNull) {
    bytes_t field = distinct_rows(704, 288);
    syslog_capture::clear();
    EXPECT_EQ(yuv_height_x_2_vect(bytes_t(field.begin(), field.end() - 1), 704, 288), nullptr);
    EXPECT_EQ(yuv_height_x_2_vect(bytes_t(), 704, 288), nullptr);
    std::vector<std::string> expected = {
        "yuv_height_x_2_vect: image of 304127 bytes is not a whole 704 x 288 frame\n",
        "yuv_height_x_2_vect: image of 0 bytes is not a whole 704 x 288 frame\n"};
    const int sizes[][2] = {{0, 288}, {704, 0}, {-704, 288}, {704, INT_MIN}};
    for (const auto& size : sizes) {
        EXPECT_EQ(yuv_height_x_2(field.data(), size[0], size[1]), nullptr);
        EXPECT_EQ(yuv_height_x_2_vect(field, size[0], size[1]), nullptr);
        const std::string what =
            std::to_string(size[0]) + " x " + std::to_string(size[1]) + " to double\n";
        expected.push_back("yuv_height_x_2: no frame of " + what);
        expected.push_back("yuv_height_x_2_vect: no frame of " + what);
    }
    EXPECT_EQ(yuv_height_x_2(nullptr, 704, 288), nullptr);
    expected.push_back("yuv_height_x_2: no frame of 704 x 288 to double\n");
    EXPECT_EQ(syslog_capture::all(), expected);
}
