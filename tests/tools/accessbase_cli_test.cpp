#include <csignal>
#include <cstdio>
#include <cstdlib>
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
#include "tools/accessbase/access_file.h"
#include "tools/accessbase/accessbase_cli.h"
#include "tools/accessbase/notify.h"

namespace {

volatile sig_atomic_t usr1_seen;
void note_usr1(int) {
    usr1_seen = 1;
}

class AccessBaseTool : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* base = getenv("DRAVEL_TEST_TMP");
        std::string folder = base ? base : "/tmp";
        mkdir(folder.c_str(), 0755); // ctest names it; it may not exist yet
        std::string pattern = folder + "/accessbase.XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        dir_ = name.data();
        file_ = dir_ + "/accessbase.tpa";
    }
    void TearDown() override {
        for (const std::string& name : entries())
            remove((dir_ + "/" + name).c_str());
        rmdir(dir_.c_str());
    }

    // Runs the tool with `words` after the program name and --file.
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
    static std::string contents(FILE* file) {
        std::string text;
        rewind(file);
        int c;
        while ((c = fgetc(file)) != EOF)
            text += static_cast<char>(c);
        fclose(file);
        return text;
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        DIR* folder = opendir(dir_.c_str());
        if (folder == nullptr)
            return names;
        while (dirent* entry = readdir(folder)) {
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        }
        closedir(folder);
        return names;
    }
    std::string file_bytes() const {
        std::string bytes;
        std::string error;
        read_whole_file(file_, &bytes, &error);
        return bytes;
    }

    std::string dir_;
    std::string file_;
    std::string out_;
    std::string err_;
};

} // namespace

TEST_F(AccessBaseTool, CreateAddRemoveAndList) {
    EXPECT_EQ(run({"create"}), 0);
    EXPECT_EQ(file_bytes(), "");
    EXPECT_EQ(run({"create"}), 1) << "an existing base is never emptied by accident";
    EXPECT_EQ(run({"add", "A123BC", "--owner", "Иванов", "--places", "2", "--text", "Гость}"}), 0)
        << err_;
    EXPECT_EQ(
        run({"add", "B7??", "--from", "2024-01-01T00:00:00Z", "--to", "2024-06-30T23:59:59+03:00"}),
        0)
        << err_;
    EXPECT_EQ(run({"add", "C1"}), 0);
    EXPECT_EQ(file_bytes().size(), 3 * sizeof(_access_rec_t));

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

// The service loads what the editor wrote, in the editor's order.
TEST_F(AccessBaseTool, ServiceLoadsTheEditorsFile) {
    ASSERT_EQ(run({"create"}), 0);
    ASSERT_EQ(run({"add", "A1??", "--owner", "First", "--places", "1", "--max-time", "2:15"}), 0);
    ASSERT_EQ(run({"add", "A12", "--owner", "Second"}), 0);
    load_access_base(file_.c_str());
    ASSERT_EQ(gv.access_count, 2);
    EXPECT_STREQ(gv.access_entries[0].owner, "First");
    EXPECT_EQ(gv.access_entries[0].max_park_time, 8100);
    EXPECT_EQ(car_number_cmp(gv.access_base[0].number, "A12"), 1);
    free_access_base();
}

TEST_F(AccessBaseTool, RefusalsLeaveTheFileAsItWas) {
    ASSERT_EQ(run({"create"}), 0);
    ASSERT_EQ(run({"add", "A1"}), 0);
    const std::string before = file_bytes();
    EXPECT_EQ(run({"add", "ABCDEFGHIJ"}), 1);
    EXPECT_NE(err_.find("at most 9"), std::string::npos);
    EXPECT_EQ(run({"add", "B1", "--owner", "Müller"}), 1);
    EXPECT_EQ(run({"add", "B1", "--text", std::string(64, 'x')}), 1);
    EXPECT_EQ(run({"add", "A1"}), 1);
    EXPECT_EQ(file_bytes(), before);
}

TEST_F(AccessBaseTool, BadCommandLinesExplainThemselves) {
    EXPECT_EQ(run({}), 2);
    EXPECT_NE(err_.find("--help"), std::string::npos);
    EXPECT_EQ(run({"frobnicate"}), 2);
    EXPECT_EQ(run({"add"}), 2);
    EXPECT_EQ(run({"list", "extra"}), 2);
    EXPECT_EQ(run({"list", "--owner", "X"}), 2);
    EXPECT_EQ(run({"--bogus", "list"}), 2);
    EXPECT_EQ(run({"list", "--notify"}), 2);
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_NE(out_.find("Usage: accessbase"), std::string::npos);
    EXPECT_EQ(run({"list"}), 1) << "a missing file is an error, not an empty list";
    EXPECT_NE(err_.find("cannot open"), std::string::npos);
}

TEST_F(AccessBaseTool, CsvExportAndImportThroughFiles) {
    ASSERT_EQ(run({"create"}), 0);
    ASSERT_EQ(run({"add", "A1??", "--owner", "Петров", "--places", "3", "--max-time", "12:00",
                   "--text", "Въезд, ворота 2}"}),
              0);
    ASSERT_EQ(run({"add", "X9"}), 0);
    const std::string original = file_bytes();
    const std::string csv = dir_ + "/export.csv";
    ASSERT_EQ(run({"export", csv}), 0) << err_;
    ASSERT_EQ(run({"create", "--force"}), 0);
    ASSERT_EQ(run({"import", csv}), 0) << err_;
    EXPECT_EQ(file_bytes(), original);
    EXPECT_EQ(run({"export"}), 0);
    std::string written;
    std::string error;
    ASSERT_EQ(read_whole_file(csv, &written, &error), 0);
    EXPECT_EQ(out_, written);
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
    EXPECT_NE(old_file.st_ino, new_file.st_ino);
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
    EXPECT_TRUE(entries().empty());
}

TEST_F(AccessBaseTool, NotifiesTheServiceAfterAChange) {
    struct sigaction action;
    struct sigaction previous;
    memset(&action, 0, sizeof action);
    action.sa_handler = note_usr1;
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    const std::string self = std::to_string(getpid());

    usr1_seen = 0;
    EXPECT_EQ(run({"create", "--notify", self}), 0) << err_;
    EXPECT_EQ(usr1_seen, 1);

    const std::string pid_file = dir_ + "/dravel.pid";
    FILE* file = fopen(pid_file.c_str(), "w");
    ASSERT_NE(file, nullptr);
    fprintf(file, "%s\n", self.c_str());
    fclose(file);
    usr1_seen = 0;
    EXPECT_EQ(run({"add", "A1", "--pid-file", pid_file}), 0) << err_;
    EXPECT_EQ(usr1_seen, 1);

    usr1_seen = 0;
    EXPECT_EQ(run({"list", "--notify", self}), 0);
    EXPECT_EQ(usr1_seen, 0) << "nothing changed, nothing to reload";
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
