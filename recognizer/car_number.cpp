#include "recognizer/car_number.h"

#include <cstdio>

void make_car_number(char* plate, unsigned size, const char* first, const char* second) {
    if (plate == nullptr || size == 0)
        return;
    snprintf(plate, size, "%s%s", first ? first : "", second ? second : "");
    for (char* c = plate; *c != '\0'; ++c)
        if (*c == '*')
            *c = '?';
}
