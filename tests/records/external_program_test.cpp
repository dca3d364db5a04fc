#include "records/external_program.h"

#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "support/gv.h"
#include "tests/common/syslog_capture.h"

// Without a program configured nothing is started, and that is said in the
// result. An interpreter that cannot be started fails the call, and the loop's
// report names the failures and the last one's cause. A board out of
// processes is made here by a process limit of none, which holds for an
// ordinary user only.
TEST(ExternalProgram, AnInterpreterThatCannotStartIsReportedWithItsCause) {
    gv.external_program[0] = '\0';
    EXPECT_EQ(start_external_program("A123BC77"), -1);
    snprintf(gv.external_program, sizeof gv.external_program, "%s", "true");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (getuid() == 0 && setuid(65534) != 0)
            _exit(77);
        const struct rlimit none = {0, 0};
        if (setrlimit(RLIMIT_NPROC, &none) != 0)
            _exit(77);
        syslog_capture::clear();
        const bool refused =
            start_external_program("A123BC77") == -1 && start_external_program("B001OP50") == -1;
        report_external_program_failures();
        const bool reported =
            syslog_capture::all() ==
            std::vector<std::string>{"report_external_program_failures: external program failed "
                                     "2 times, the last: interpreter not started: 11 "
                                     "[Resource temporarily unavailable]"};
        _exit(refused && reported ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    gv.external_program[0] = '\0';
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no user here for whom a process limit holds";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
