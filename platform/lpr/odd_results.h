// Results that a drawn plate never gives on its own, but that a closed engine
// may hand back: the environment variable LPR_ODD names plates (by their body)
// that the engine answers oddly, so that end-to-end runs show how the service
// copes. For example LPR_ODD="X111XX=no-texts,Y222YY=short-image".
#pragma once

#include <string>
#include <utility>
#include <vector>

enum class odd_result {
    none,
    no_texts,    // single: status without texts; stream: found with empty texts
    short_image, // stream: an image shorter than one whole frame
    exception,   // the call throws
};

using odd_plates_t = std::vector<std::pair<std::string, odd_result>>;

// Parses "BODY=KIND,..." with KIND no-texts, short-image or throw. False, with
// the offending part in `problem`, when any item is malformed; `plates` then
// holds the items before it.
bool parse_odd_plates(const std::string& text, odd_plates_t* plates, std::string* problem);

odd_result odd_result_for(const odd_plates_t& plates, const std::string& body);
