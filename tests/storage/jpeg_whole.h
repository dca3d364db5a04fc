// Whether bytes are a whole JPEG: the library decodes every row without an
// error or a warning (a cut file decodes with a warning, gray at the end).
#pragma once

#include <string>

bool jpeg_decodes(const std::string& bytes);
