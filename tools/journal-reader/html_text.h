// Text from the journals made safe for a web page. The texts come from the
// access base, which anyone with the editor fills, so a "<" in an owner's
// name must show as a "<", never start markup or a script.
#pragma once

#include <string>

// For element content and quoted attribute values alike. Control bytes,
// which a page cannot show, become U+FFFD.
std::string html_escaped(const std::string& utf8);

// A relative file path as a URL path: every byte but letters, digits, "-",
// ".", "_", "~" and "/" percent-encoded, so that "#", "?" or "%" in a name
// stay part of the name.
std::string url_path(const std::string& path);
