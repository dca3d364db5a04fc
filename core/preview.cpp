#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "core/loop_steps.h"
#include "records/jpeg_compressor.h"
#include "video/capture_repack.h"
#include "video/field_doubling.h"

namespace {

constexpr size_t digit = sizeof "/tmp/video0-" - 1;

} // namespace

void start_preview(Preview* preview) {
    snprintf(preview->name, sizeof preview->name, "%s", "/tmp/video0-0.jpeg");
    snprintf(preview->link, sizeof preview->link, "%s", "/tmp/video0.jpeg");
}

void write_preview(Preview* preview, unsigned char* frame) {
    const int width = static_cast<int>(FRAME_WIDTH);
    const int height = static_cast<int>(FRAME_HEIGHT);
    unsigned char* doubled = yuv_height_x_2(frame, width, height);
    if (doubled == nullptr)
        return;
    const int encoded = encodeImage_to_file(doubled, preview->name, width, 2 * height);
    free(doubled);
    // A broken file must not be linked: the link keeps naming the last good
    // preview, and the next preview goes to this same file again. Only once
    // the link names the new file may the other one be overwritten.
    if (encoded != 0)
        return;
    unlink(preview->link);
    if (symlink(preview->name, preview->link) == 0)
        preview->name[digit] = preview->name[digit] == '1' ? '0' : '1';
}
