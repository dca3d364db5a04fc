#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/journal-reader/reader_cli.h"

int main(int argc, char** argv) {
    int status = journal_reader_main(argc, argv, stdout, stderr);
    // The last of the output may only reach its file when it is closed.
    if (fclose(stdout) != 0 && status == 0) {
        fprintf(stderr, "journal-reader: can't write the output: %s\n", strerror(errno));
        status = 1;
    }
    return status;
}
