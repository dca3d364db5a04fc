// What the code under test logged since the last clear, as one text; a line
// logged at a priority other than 0 is marked.
#pragma once

#include <string>

#include "tests/common/syslog_capture.h"

inline std::string logged() {
    std::string text;
    for (const LoggedLine& line : syslog_capture::lines())
        text += (line.priority == 0 ? "" : "(not at priority 0) ") + line.text;
    return text;
}
