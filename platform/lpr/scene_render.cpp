#include "platform/lpr/render.h"

#include <cstring>

#include "platform/lpr/field_canvas.h"
#include "platform/lpr/plate_draw.h"
#include "platform/lpr/plate_layout.h"

namespace {

// Every colour of the scene keeps its luma at or below plate::SCENE_MAX, so
// that the plate's white stays the only bright thing in the picture.
constexpr colour_t WALL = {112, 120, 136};
constexpr colour_t WALL_SEAM = {98, 120, 136};
constexpr colour_t WINDOW = {52, 140, 118};
constexpr colour_t ASPHALT = {84, 128, 128};
constexpr colour_t ASPHALT_FAR = {96, 128, 128};
constexpr colour_t STOP_LINE = {150, 128, 128};
constexpr colour_t POLE = {70, 128, 128};
constexpr colour_t ARM_RED = {76, 96, 200};
constexpr colour_t ARM_LIGHT = {150, 128, 128};
constexpr colour_t GLASS = {46, 140, 120};
constexpr colour_t GLASS_GLARE = {92, 134, 124};
constexpr colour_t GRILLE = {34, 128, 128};
constexpr colour_t BUMPER = {50, 128, 128};
constexpr colour_t TYRE = {24, 128, 128};
constexpr colour_t HEADLIGHT = {150, 112, 134};

constexpr colour_t CAR_PAINTS[] = {
    {60, 160, 112},  // blue
    {72, 100, 190},  // red
    {138, 128, 128}, // silver
    {88, 112, 96},   // green
    {40, 128, 128},  // black
    {128, 110, 140}, // beige
};

constexpr int HORIZON = 120;
constexpr int CAR_BASE = 262; // row under the tyres when the car stands still

colour_t lighter(colour_t c, int by) {
    int y = c.y + by;
    c.y = static_cast<uint8_t>(y > plate::SCENE_MAX ? plate::SCENE_MAX : y);
    return c;
}

// A step that goes 0, 1, ..., amplitude, ..., -amplitude, ... and back, so the
// car sways around its place instead of drifting away.
int sway(unsigned frame_number, int amplitude, unsigned period) {
    int phase = int(frame_number % period) * 4 * amplitude / int(period);
    if (phase <= amplitude)
        return phase;
    if (phase <= 3 * amplitude)
        return 2 * amplitude - phase;
    return phase - 4 * amplitude;
}

unsigned text_hash(const scene_t& scene) {
    unsigned hash = 2166136261u;
    for (size_t i = 0; i < sizeof scene.body && scene.body[i]; i++)
        hash = (hash ^ static_cast<unsigned char>(scene.body[i])) * 16777619u;
    for (size_t i = 0; i < sizeof scene.suffix && scene.suffix[i]; i++)
        hash = (hash ^ static_cast<unsigned char>(scene.suffix[i])) * 16777619u;
    return hash;
}

void draw_background(const field_canvas_t& c) {
    fill_rect(c, 0, 0, FIELD_WIDTH, HORIZON, WALL);
    for (int row = 12; row < HORIZON; row += 14)
        fill_rect(c, 0, row, FIELD_WIDTH, 2, WALL_SEAM);
    for (int x = 90; x < FIELD_WIDTH; x += 150)
        fill_rect(c, x, 18, 80, 36, WINDOW);
    fill_rect(c, 0, HORIZON, FIELD_WIDTH, 30, ASPHALT_FAR);
    fill_rect(c, 0, HORIZON + 30, FIELD_WIDTH, FIELD_HEIGHT - HORIZON - 30, ASPHALT);
    fill_rect(c, 0, 270, FIELD_WIDTH, 6, STOP_LINE);
    fill_rect(c, 28, 40, 14, 170, POLE);
    for (int x = 42; x < FIELD_WIDTH - 20; x += 40)
        fill_rect(c, x, 62, 40, 8, ((x - 42) / 40) % 2 ? ARM_LIGHT : ARM_RED);
}

// A car seen from the front, centred on `cx`, its tyres standing on `base`.
void draw_car(const field_canvas_t& c, const scene_t& scene, int cx, int base) {
    unsigned hash = text_hash(scene);
    colour_t paint = CAR_PAINTS[hash % (sizeof CAR_PAINTS / sizeof CAR_PAINTS[0])];
    fill_rect(c, cx - 120, base - 150, 240, 16, paint); // roof
    fill_rect(c, cx - 140, base - 134, 280, 40, GLASS); // windscreen
    fill_rect(c, cx - 100, base - 126, 60, 6, GLASS_GLARE);
    fill_rect(c, cx - 196, base - 108, 26, 12, paint); // mirrors
    fill_rect(c, cx + 170, base - 108, 26, 12, paint);
    fill_rect(c, cx - 172, base - 94, 344, 24, lighter(paint, 10)); // bonnet
    fill_rect(c, cx - 182, base - 70, 364, 48, paint);              // front
    fill_rect(c, cx - 168, base - 84, 56, 12, HEADLIGHT);
    fill_rect(c, cx + 112, base - 84, 56, 12, HEADLIGHT);
    fill_rect(c, cx - 92, base - 70, 184, 16, GRILLE);
    for (int row = base - 67; row < base - 54; row += 4)
        fill_rect(c, cx - 88, row, 176, 1, lighter(GRILLE, 30));
    fill_rect(c, cx - 186, base - 38, 372, 16, BUMPER);
    fill_rect(c, cx - 178, base - 24, 52, 24, TYRE);
    fill_rect(c, cx + 126, base - 24, 52, 24, TYRE);
    draw_plate(c, scene, cx, base - 50, hash);
}

// Mild sensor noise on the luma, different in every field of every frame.
void add_noise(const field_canvas_t& c, unsigned seed) {
    uint32_t state = seed * 2654435761u ^ 0x9E3779B9u;
    if (state == 0)
        state = 1;
    unsigned char* pixel = c.luma;
    for (int i = 0; i < FIELD_WIDTH * FIELD_HEIGHT; i++, pixel++) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        int value = *pixel + int(state % (2 * plate::NOISE + 1)) - plate::NOISE;
        *pixel = static_cast<unsigned char>(value < 0 ? 0 : value > 255 ? 255 : value);
    }
}

} // namespace

void render_scene(unsigned char* pal_frame, const scene_t& scene, unsigned frame_number) {
    if (!pal_frame)
        return;
    int cx = FIELD_WIDTH / 2 + sway(frame_number, 8, 32);
    int base = CAR_BASE + sway(frame_number, 2, 20);
    for (int field = 0; field < 2; field++) {
        field_canvas_t canvas = field_canvas(pal_frame, field);
        draw_background(canvas);
        if (scene.car)
            draw_car(canvas, scene, cx, base);
        add_noise(canvas, frame_number * 2u + unsigned(field));
    }
}
