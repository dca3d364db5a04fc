// A plain grey picture until the scene drawing of platform/lpr is built.
#include <cstring>

#include "platform/lpr/render.h"

void render_scene(unsigned char* pal_frame, const scene_t&, unsigned) {
    memset(pal_frame, 128, PAL_FRAME_BYTES);
}
