#include "tests/faultfs/private_storage.h"

#include <cstdio>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/scratch_dir.h"

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

bool send(int fd, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = write(fd, text.data() + sent, text.size() - sent);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool run_on_private_storage(const std::string& root, const std::string& options,
                            const std::function<std::vector<std::string>()>& work,
                            std::vector<std::string>* lines) {
    int report[2];
    if (pipe(report) != 0)
        return false;
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        if (!own_namespace() || !mount_tmpfs("/tmp", "size=64m") || !mount_tmpfs(root, options))
            _exit(NO_NAMESPACE);
        for (const std::string& line : work())
            send(report[1], line + "\n");
        _exit(WORK_DONE);
    }
    close(report[1]);
    std::string text;
    char chunk[4096];
    for (ssize_t n; child > 0 && (n = read(report[0], chunk, sizeof chunk)) > 0;)
        text.append(chunk, static_cast<size_t>(n));
    close(report[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return false;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != WORK_DONE) {
        if (WIFEXITED(status) && WEXITSTATUS(status) == NO_NAMESPACE)
            return false;
        text += "the child process ended abnormally\n";
    }
    lines->clear();
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1)
        lines->push_back(text.substr(start, end - start));
    return true;
}

void report(const char* what, const std::vector<std::string>& lines, const std::string& tally) {
    ASSERT_FALSE(lines.empty());
    ASSERT_EQ(0u, lines.back().rfind(tally, 0)) << lines.back();
    printf("%s: %s\n", what, lines.back().c_str());
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        ADD_FAILURE() << lines[i];
}
