// What the code under test logged since the last clear, as one text: the
// whole lines, each marked when it was not sent at priority 0.
#pragma once

#include <string>

#include "tests/common/syslog_capture.h"

inline std::string logged() {
    std::string text;
    for (const std::string& line : syslog_capture::all())
        text += line;
    return text;
}
