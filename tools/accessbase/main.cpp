#include <cstdio>

#include "tools/accessbase/accessbase_cli.h"

int main(int argc, char** argv) {
    return accessbase_main(argc, argv, stdout, stderr);
}
