#include "tests/faultfs/private_storage.h"

#include <cstdio>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/common/files.h"

namespace {

enum { WORK_DONE = 0, NO_NAMESPACE = 2 };

bool own_namespace() {
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    if (unshare(CLONE_NEWNS) != 0) {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return false;
        write_text_file("/proc/self/setgroups", "deny");
        write_text_file("/proc/self/uid_map",
                        std::to_string(uid) + " " + std::to_string(uid) + " 1");
        write_text_file("/proc/self/gid_map",
                        std::to_string(gid) + " " + std::to_string(gid) + " 1");
    }
    return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// The parent of `path` is made first, so a root below /tmp exists again
// once the fresh /tmp hides the old one.
bool mount_tmpfs(const std::string& path, const std::string& options) {
    for (size_t slash = 1; (slash = path.find('/', slash)) != std::string::npos; ++slash)
        mkdir(path.substr(0, slash).c_str(), 0700);
    mkdir(path.c_str(), 0700);
    return mount("faultfs", path.c_str(), "tmpfs", 0, (options + ",mode=0700").c_str()) == 0;
}

} // namespace

bool run_on_private_storage(const std::string& root, const std::string& options,
                            const std::function<std::vector<std::string>()>& work,
                            std::vector<std::string>* lines) {
    // Opened before the child hides /tmp; the child appends, the parent
    // reads from the start.
    FILE* report = tmpfile();
    const pid_t child = report != nullptr ? fork() : -1;
    if (child == 0) {
        if (!own_namespace() || !mount_tmpfs("/tmp", "size=64m") || !mount_tmpfs(root, options))
            _exit(NO_NAMESPACE);
        for (const std::string& line : work())
            fprintf(report, "%s\n", line.c_str());
        fflush(report);
        _exit(WORK_DONE);
    }
    int status = 0;
    const bool ended = child > 0 && waitpid(child, &status, 0) == child;
    lines->clear();
    for (const std::string& line :
         read_lines("/proc/self/fd/" + std::to_string(report != nullptr ? fileno(report) : -1)))
        lines->push_back(line.substr(0, line.size() - 1));
    if (report != nullptr)
        fclose(report);
    if (!ended || (WIFEXITED(status) && WEXITSTATUS(status) == NO_NAMESPACE))
        return false;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != WORK_DONE)
        lines->push_back("the child process ended abnormally");
    return true;
}

void report(const char* what, const std::vector<std::string>& lines, const std::string& tally) {
    ASSERT_FALSE(lines.empty());
    ASSERT_EQ(0u, lines.back().rfind(tally, 0)) << lines.back();
    printf("%s: %s\n", what, lines.back().c_str());
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        ADD_FAILURE() << lines[i];
}
