// The plate text built from the two parts of an engine result.
#pragma once

// Writes `first` followed by `second` into `plate`, at most `size` bytes with
// the terminator (longer texts are cut), then turns every '*' (a character the
// engine could not read) into '?', the access base's one-character wildcard.
// A null text counts as empty; a null `plate` or a `size` of 0 writes nothing.
void make_car_number(char* plate, unsigned size, const char* first, const char* second);
