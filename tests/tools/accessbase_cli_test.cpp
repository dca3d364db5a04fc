#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "access/access_base.h"
#include "core/gv.h"
#include "tests/support/scratch_dir.h"
#include "tools/accessbase/access_file.h"
#include "tools/accessbase/accessbase_cli.h"
#include "tools/accessbase/notify.h"

namespace {

volatile sig_atomic_t usr1_seen;
void note_usr1(int) {
    usr1_seen = 1;
}

std::string contents(FILE* file) {
    std::string text(static_cast<size_t>(ftell(file)), '\0');
    rewind(file);
    text.resize(fread(&text[0], 1, text.size(), file));
    fclose(file);
    return text;
}

class AccessBaseTool : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = scratch_dir("accessbase");
        TearDown(); // whatever an interrupted run left
        ASSERT_EQ(mkdir(dir_.c_str(), 0700), 0);
        file_ = dir_ + "/accessbase.tpa";
    }
    void TearDown() override {
        for (const std::string& name : entries())
            remove((dir_ + "/" + name).c_str());
        rmdir(dir_.c_str());
    }

    // Runs the tool in-process with `words` after the program name and --file.
    int run(std::vector<std::string> words) {
        words.insert(words.begin(), {"accessbase", "--file", file_});
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(&word[0]);
        argv.push_back(nullptr);
        FILE* out = tmpfile();
        FILE* err = tmpfile();
        const int status = accessbase_main(static_cast<int>(words.size()), argv.data(), out, err);
        out_ = contents(out);
        err_ = contents(err);
        return status;
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        DIR* folder = opendir(dir_.c_str());
        if (folder == nullptr)
            return names;
        while (dirent* entry = readdir(folder)) {
            if (entry->d_name[0] != '.')
                names.push_back(entry->d_name);
        }
        closedir(folder);
        return names;
    }
    std::string file_bytes() const { return read_text_file(file_); }

    std::string dir_;
    std::string file_;
    std::string out_;
    std::string err_;
};

} // namespace

TEST_F(AccessBaseTool, CreateAddRemoveAndList) {
    EXPECT_EQ(run({"create"}), 0);
    EXPECT_EQ(run({"create"}), 1) << "an existing base is never emptied by accident";
    EXPECT_EQ(run({"add", "A123BC", "--owner", "Иванов", "--places", "2", "--text", "Гость}"}), 0)
        << err_;
    EXPECT_EQ(run({"add", "B7??", "--to", "2024-06-30T23:59:59+03:00"}), 0) << err_;
    EXPECT_EQ(run({"add", "C1"}), 0);
    EXPECT_EQ(run({"remove", "B7??"}), 0);
    EXPECT_EQ(run({"remove", "B7??"}), 1);
    EXPECT_NE(err_.find("no entry"), std::string::npos);
    EXPECT_EQ(run({"list"}), 0);
    EXPECT_EQ(out_, "1. A123BC  1970-01-01T00:00:00Z .. 2038-01-19T03:14:07Z  owner \"Иванов\", "
                    "places 2, max time -, text \"Гость}\"\n"
                    "2. C1  1970-01-01T00:00:00Z .. 2038-01-19T03:14:07Z  owner \"\", places -, "
                    "max time -, text \"\"\n"
                    "2 entries\n");
    EXPECT_EQ(run({"create", "--force"}), 0);
    EXPECT_EQ(file_bytes(), "");
}

// The service loads what the editor wrote, in the editor's order; a refused
// change leaves the file as it was.
TEST_F(AccessBaseTool, ServiceLoadsTheFileAndRefusalsLeaveItAlone) {
    ASSERT_EQ(run({"create"}), 0);
    ASSERT_EQ(run({"add", "A1??", "--owner", "First", "--places", "1", "--max-time", "2:15"}), 0);
    ASSERT_EQ(run({"add", "A12", "--owner", "Second"}), 0);
    const std::string before = file_bytes();
    EXPECT_EQ(run({"add", "ABCDEFGHIJ"}), 1);
    EXPECT_NE(err_.find("at most 9"), std::string::npos);
    EXPECT_EQ(run({"add", "B1", "--owner", "Müller"}), 1);
    EXPECT_EQ(run({"add", "A12"}), 1);
    EXPECT_EQ(file_bytes(), before);

    load_access_base(file_.c_str());
    ASSERT_EQ(gv.access_count, 2);
    EXPECT_STREQ(gv.access_entries[0].owner, "First");
    EXPECT_EQ(gv.access_entries[0].max_park_time, 8100);
    EXPECT_EQ(car_number_cmp(gv.access_base[0].number, "A12"), 1);
    free_access_base();
}

TEST_F(AccessBaseTool, BadCommandLinesExplainThemselves) {
    for (std::vector<std::string> words :
         std::vector<std::vector<std::string>>{{},
                                               {"frobnicate"},
                                               {"add"},
                                               {"list", "extra"},
                                               {"list", "--owner", "X"},
                                               {"--bogus", "list"},
                                               {"list", "--notify"},
                                               {"create", "--notify", "-1"}}) {
        EXPECT_EQ(run(words), 2) << (words.empty() ? "" : words[0]);
        EXPECT_NE(err_.find("--help"), std::string::npos);
    }
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_NE(out_.find("Usage: accessbase"), std::string::npos);
    // Nothing was created above; a missing file is an error, not an empty list.
    EXPECT_EQ(run({"list"}), 1);
}

TEST_F(AccessBaseTool, CsvExportAndImportThroughFiles) {
    ASSERT_EQ(run({"create"}), 0);
    ASSERT_EQ(
        run({"add", "A1??", "--owner", "Петров", "--max-time", "12:00", "--text", "Въезд, 2}"}), 0);
    const std::string original = file_bytes();
    ASSERT_EQ(run({"export", dir_ + "/export.csv"}), 0) << err_;
    ASSERT_EQ(run({"create", "--force"}), 0);
    ASSERT_EQ(run({"import", dir_ + "/export.csv"}), 0) << err_;
    EXPECT_EQ(file_bytes(), original);
}

TEST_F(AccessBaseTool, ReplacesTheFileWholeAndKeepsItsPermissions) {
    ASSERT_EQ(run({"create"}), 0);
    ASSERT_EQ(run({"add", "A1"}), 0);
    ASSERT_EQ(chmod(file_.c_str(), 0640), 0);
    // A reader that opened the old file keeps seeing it whole: the new
    // content arrives under the name, never inside the open file.
    const int reader = open(file_.c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(run({"add", "B2"}), 0);
    struct stat old_file;
    struct stat new_file;
    ASSERT_EQ(fstat(reader, &old_file), 0);
    ASSERT_EQ(stat(file_.c_str(), &new_file), 0);
    close(reader);
    EXPECT_EQ(old_file.st_size, static_cast<off_t>(sizeof(_access_rec_t)));
    EXPECT_EQ(new_file.st_size, static_cast<off_t>(2 * sizeof(_access_rec_t)));
    EXPECT_EQ(new_file.st_mode & 07777, 0640u);
    EXPECT_EQ(entries(), std::vector<std::string>{"accessbase.tpa"}) << "no temporary file left";
}

TEST_F(AccessBaseTool, FailedReplaceLeavesNoTemporaryFile) {
    std::string error;
    const std::string target = dir_ + "/occupied";
    ASSERT_EQ(mkdir(target.c_str(), 0755), 0); // a rename onto a folder fails
    EXPECT_NE(replace_file(target, "bytes", &error), 0);
    EXPECT_NE(error.find("cannot replace"), std::string::npos);
    EXPECT_EQ(entries(), std::vector<std::string>{"occupied"});
    rmdir(target.c_str());
    EXPECT_NE(replace_file(dir_ + "/missing/accessbase.tpa", "bytes", &error), 0);
}

TEST_F(AccessBaseTool, NotifiesTheServiceOnlyAfterAChange) {
    struct sigaction action;
    struct sigaction previous;
    memset(&action, 0, sizeof action);
    action.sa_handler = note_usr1;
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    const std::string self = std::to_string(getpid());
    const std::string pid_file = dir_ + "/dravel.pid";
    write_text_file(pid_file, self + "\n");

    const std::pair<std::vector<std::string>, int> runs[] = {
        {{"create", "--notify", self}, 1},
        {{"add", "A1", "--pid-file", pid_file}, 1},
        {{"list", "--notify", self}, 0},
        {{"add", "A1", "--notify", self}, 0}, // refused: nothing to reload
    };
    for (const auto& step : runs) {
        usr1_seen = 0;
        run(step.first);
        EXPECT_EQ(usr1_seen, step.second) << step.first[0] << " " << err_;
    }
    sigaction(SIGUSR1, &previous, nullptr);
}

TEST(ProcessIds, OnlyAServicesIdIsSignalled) {
    pid_t pid = 0;
    std::string error;
    EXPECT_EQ(parse_pid(" 1234\n", &pid, &error), 0);
    EXPECT_EQ(pid, 1234);
    for (const char* text : {"", "0", "1", "-1", "-1234", "12x", "99999999999", "+5"})
        EXPECT_NE(parse_pid(text, &pid, &error), 0) << text;
}
