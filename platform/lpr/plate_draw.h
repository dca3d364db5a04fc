// Draws a scene's licence plate (layout in plate_layout.h) into a field.
#pragma once

#include "platform/lpr/field_canvas.h"
#include "platform/lpr/render.h"

// Draws the plate of `scene` centred on column `centre_x` with its top border
// at row `top`. `seed` varies the texture of smudged characters.
void draw_plate(const field_canvas_t& canvas, const scene_t& scene, int centre_x, int top,
                unsigned seed);
