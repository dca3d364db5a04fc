// Whether bytes are a whole JPEG: the library decodes every row without an
// error or a warning (a cut file decodes with a warning, gray at the end).
#pragma once

#include <string>

// On success, the picture's size goes to `width` and `height` when given.
bool jpeg_whole(const std::string& bytes, int* width = nullptr, int* height = nullptr);
