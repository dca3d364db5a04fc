// Passage frames of the doubled size whose JPEGs are small or just too big
// for the stream's block.
#pragma once

#include <vector>

#include "records/jpeg_compressor.h"

const int frame_width = 704;
const int frame_height = 576;

// Grey with a pattern of squares, and the first `noise` luma samples noise:
// the more noise, the larger the JPEG.
inline std::vector<unsigned char> test_frame(int noise = 0) {
    std::vector<unsigned char> frame(frame_width * frame_height * 3 / 2, 128);
    unsigned state = 12345;
    for (int i = 0; i < frame_width * frame_height; ++i) {
        state = state * 1103515245u + 12345u;
        frame[i] = static_cast<unsigned char>(i < noise ? state >> 16 : (i % frame_width / 16) * 8);
    }
    return frame;
}

// The frame's JPEG at the encoder's first quality into `room` bytes.
inline std::vector<unsigned char> jpeg_of(std::vector<unsigned char>& frame, int room = 1 << 20) {
    std::vector<unsigned char> jpeg(room);
    jpeg.resize(encodeImage_to_memory(frame.data(), jpeg.data(), room, frame_width, frame_height));
    return jpeg;
}

// A frame whose JPEG at the encoder's first quality just fails to fit behind
// the record, yet would fit into a whole block.
inline std::vector<unsigned char> frame_just_too_big() {
    int low = 0;
    int high = frame_width * frame_height;
    while (high - low > 1) {
        int middle = (low + high) / 2;
        std::vector<unsigned char> frame = test_frame(middle);
        (jpeg_of(frame).size() >= 65420 ? high : low) = middle;
    }
    return test_frame(high);
}
