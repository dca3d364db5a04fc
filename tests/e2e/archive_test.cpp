#include <dirent.h>
#include <set>
#include <sys/stat.h>

#include "tests/e2e/boards.h"
#include "tests/support/scratch_dir.h"

namespace {

const char RUN[] = "archive";
// The display text holds what a shell would act on; the external program
// must get the journal line as it is, as its one argument.
const char TEXT[] = "Gate \"$HOME\" `id` \\ }";

std::string recorder() {
    return run_folder(RUN) + "/record-passage";
}

const RegisterBoards boards({
    {RUN,
     "entry",
     inputs::streams_ini(false, "[disc0]\nON = 1\nmountpoint = /mnt/disc0\n"
                                "[disc1]\nON = 0\nmountpoint = /mnt/disc1\n"
                                "[usbdisc]\nON = 1\nmountpoint = /mnt/usb-archive\n"
                                "[dravel_parking]\nexternal_program = /bin/sh " +
                                    recorder() + "\n"),
     "UTC0\n",
     inputs::access_csv({std::string("A123BC77,,,,\"Gate \"\"$HOME\"\" `id` \\ }\"")}),
     "0 empty\n1 car A123BC 77\n2 empty\n3 car E555EE 77\n4 empty\n6 stop\n",
     {"--direction", "in"},
     {{"record-passage", "printf '%s|%s\\n' \"$#\" \"$1\" >> /tmp/external.log\n"}}},
});

std::set<std::string> names_in(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                names.insert(entry->d_name);
        closedir(dir);
    }
    return names;
}

bool is_jpeg(const std::string& bytes) {
    return bytes.size() > 4 && bytes.compare(0, 2, "\xFF\xD8") == 0 &&
           bytes.compare(bytes.size() - 2, 2, "\xFF\xD9") == 0;
}

// Every enabled mount point gets each passage's JPEG, record and line; the
// external program gets each line as its one argument.
TEST_F(Boards, ArchiveOnTheEnabledMountPointsAndTheExternalProgramsOneArgument) {
    BoardRun run(RUN, "entry");
    const std::vector<StreamBlock> passages = run.passages();
    ASSERT_EQ(passages.size(), 2u);
    std::set<std::string> jpegs;
    std::vector<std::string> lines;
    for (const StreamBlock& block : passages) {
        const std::string name = archive_stamp(block.passage_time) + "_" + block.number + ".jpeg";
        jpegs.insert(name);
        lines.push_back(local_date_time(block.passage_time, 0) + ";" + inputs::DEVICE_ID + ";" +
                        block.number + ";" + std::to_string(block.in_list) + ";" +
                        std::to_string(static_cast<unsigned char>(block.access)) + ";" +
                        block.text + ";" + block.summary + ";" + name);
    }
    EXPECT_EQ(passages[0].text, std::string("Gate \"$HOME\" `id` \\ }") + inputs::ADMITTED);
    EXPECT_EQ(passages[1].text, inputs::NOT_LISTED);

    const std::string first = run.file("mnt/disc0/gate-1/passbase.tpp");
    for (const char* point : {"mnt/disc0/gate-1", "mnt/usb-archive/gate-1"}) {
        const std::string folder = run.path(point);
        EXPECT_EQ(names_in(folder + "/jpegdata"), jpegs) << point;
        for (const std::string& name : jpegs)
            EXPECT_TRUE(is_jpeg(read_text_file(folder + "/jpegdata/" + name))) << name;
        EXPECT_EQ(cp1251_lines(folder + "/passbase.csv"), lines) << point;
        const std::vector<_parking_rec_t> records =
            run.passbase(std::string(point) + "/passbase.tpp");
        ASSERT_EQ(records.size(), 2u) << point;
        for (size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].time, passages[i].passage_time);
            EXPECT_EQ(records[i].number, passages[i].number);
            EXPECT_EQ(field_text(records[i].text, sizeof records[i].text), passages[i].text);
        }
        EXPECT_EQ(run.file(std::string(point) + "/passbase.tpp"), first) << point;
    }
    struct stat info;
    EXPECT_NE(stat(run.path("mnt/disc1").c_str(), &info), 0) << "a disabled mount point";
    EXPECT_TRUE(is_jpeg(run.file("tmp/last_recognized.jpeg")));

    std::vector<std::string> arguments;
    for (const std::string& line : lines)
        arguments.push_back("1|" + line);
    EXPECT_EQ(cp1251_lines(run.path("tmp/external.log")), arguments);
}

} // namespace
