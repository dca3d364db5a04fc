// statemgrd: the board's state manager, stood in for on a PC.
#include <cstdio>

#include "platform/statemgr/statemgrd.h"

int main(int argc, char** argv) {
    return statemgrd_main(argc, argv, stdout, stderr);
}
