#include "core/preview.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "records/jpeg_compressor.h"
#include "video/capture_repack.h"
#include "video/field_doubling.h"

namespace {

constexpr size_t digit = sizeof "/tmp/video0-" - 1;

} // namespace

void start_preview(Preview* preview) {
    snprintf(preview->name, sizeof preview->name, "%s", "/tmp/video0-0.jpeg");
    snprintf(preview->link, sizeof preview->link, "%s", "/tmp/video0.jpeg");
    // A service started again after a crash or a power cut finds the link its
    // last life left. Writing the file it names would show a reader a file
    // being written, and a cut then would leave the link on a broken picture
    // until the next life's first preview; so that one goes to the other file.
    char target[sizeof preview->name] = {};
    const ssize_t length = readlink(preview->link, target, sizeof target);
    if (length == static_cast<ssize_t>(sizeof target - 1) &&
        memcmp(target, preview->name, sizeof target - 1) == 0)
        preview->name[digit] = '1';
}

void write_preview(Preview* preview, unsigned char* frame) {
    const int width = static_cast<int>(frame_width);
    const int height = static_cast<int>(frame_height);
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
