#include "access/access_base.h"

int car_number_cmp(const char* pattern, const char* number) {
    // A `?` also accepts the number's terminator and the padding after it; the
    // number is never read past its terminator, whatever buffer holds it.
    bool number_ended = false;
    size_t i = 0;
    for (; i < sizeof(_access_rec_t::number) && pattern[i] != '\0'; ++i) {
        char have = number_ended ? '\0' : number[i];
        number_ended = have == '\0';
        if (pattern[i] != '?' && pattern[i] != have)
            return 0;
    }
    return number_ended || number[i] == '\0' ? 1 : 0;
}
