// Number patterns as operators type them. The engine reads plates as Latin
// capitals, and the service compares byte for byte, so a pattern typed in
// lower case or on a Russian keyboard would never match: such letters are
// folded to the capitals that look the same, and every fold is reported.
#pragma once

#include <string>

// `typed` with Latin small letters and the Cyrillic letters that have a
// Latin twin on plates (А В Е К М Н О Р С Т У Х, either case) folded to
// Latin capitals. `folds` lists what was changed, as `а→A, b→B`, and is
// empty when nothing was. Other characters are kept for the checks after.
std::string fold_pattern(const std::string& typed, std::string* folds);
