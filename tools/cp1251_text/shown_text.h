// Text from files and other programs shown to people: on a terminal, in a
// listing or inside a message, where a control byte must never act and a
// field of any size must not drown the message around it.
#pragma once

#include <cstddef>
#include <string>

// `text` with every control byte, DEL and '\' written as \xNN, so that it
// never moves a terminal's cursor; '"' too unless `keep_quotes`, so that it
// can stand between quotes.
std::string escaped_text(const std::string& text, bool keep_quotes = false);

// `text` escaped and quoted for a message; a long text is cut after
// `most` bytes (at a character boundary) and its full size is added.
std::string quoted_excerpt(const std::string& text, size_t most = 40);
