#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/e2e/board.h"
#include "tests/support/scratch_dir.h"

extern char** environ;

namespace {

std::string environment(const char* name) {
    const char* value = getenv(name);
    return value != nullptr ? value : "";
}

// The inputs of a board, written where the runner reads them: a folder of
// their own beside the board's output.
std::vector<std::string> runner_arguments(const BoardSetup& setup) {
    const std::string run = run_folder(setup.run);
    for (const auto& file : setup.files) {
        const std::filesystem::path path = run + "/" + file.first;
        std::filesystem::create_directories(path.parent_path());
        write_text_file(path, file.second);
    }
    const std::string inputs = run + "/" + setup.board + "-inputs";
    mkdir(inputs.c_str(), 0755);
    const std::string config = inputs + "/etc";
    mkdir(config.c_str(), 0755);
    unlink((config + "/streams.ini").c_str());
    unlink((config + "/TZ").c_str());
    if (!setup.streams_ini.empty())
        write_text_file(config + "/streams.ini", setup.streams_ini);
    if (!setup.tz.empty())
        write_text_file(config + "/TZ", setup.tz);
    write_text_file(inputs + "/scenario", setup.scenario);
    std::vector<std::string> args = {environment("DRAVEL_SIM_BOARD"),
                                     "--run",
                                     run,
                                     "--board",
                                     setup.board,
                                     "--build",
                                     build_folder(),
                                     "--config",
                                     config,
                                     "--scenario",
                                     inputs + "/scenario"};
    if (!setup.access_csv.empty()) {
        write_text_file(inputs + "/access.csv", setup.access_csv);
        args.insert(args.end(), {"--access", inputs + "/access.csv"});
    }
    args.insert(args.end(), setup.options.begin(), setup.options.end());
    return args;
}

pid_t start_runner(const std::vector<std::string>& args, const std::string& output) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

} // namespace

std::string run_folder(const std::string& run) {
    const std::string root = scratch_dir("e2e");
    const std::string folder = root + "/" + run;
    mkdir(folder.c_str(), 0755);
    return folder;
}

std::string build_folder() {
    return environment("DRAVEL_BUILD_DIR");
}

std::string arm_build_folder() {
    return environment("DRAVEL_E2E_ARM_BUILD");
}

void run_boards(const std::vector<BoardSetup>& boards) {
    ASSERT_FALSE(environment("DRAVEL_SIM_BOARD").empty()) << "DRAVEL_SIM_BOARD names sim/board";
    // Each run starts afresh: its boards share what its net-base holds.
    for (const BoardSetup& setup : boards)
        std::filesystem::remove_all(run_folder(setup.run));
    std::vector<std::pair<pid_t, std::string>> runners;
    for (const BoardSetup& setup : boards) {
        const std::string output = run_folder(setup.run) + "/" + setup.board + ".runner";
        runners.emplace_back(start_runner(runner_arguments(setup), output), output);
    }
    for (const auto& runner : runners) {
        int status = -1;
        if (runner.first > 0)
            waitpid(runner.first, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "sim/board failed: " << read_text_file(runner.second);
    }
}
