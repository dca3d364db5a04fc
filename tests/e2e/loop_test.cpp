#include <climits>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/e2e/boards.h"
#include "tests/support/scratch_dir.h"

namespace {

const char ODD[] = "X111XX=no-texts,Y222YY=short-image,Z333ZZ=throw";

const RegisterBoards boards({
    {"stream",
     "entry",
     inputs::streams_ini(false),
     "UTC0\n",
     inputs::access_csv({"A123BC77,,,,"}),
     "0 empty\n"
     "1 car A123BC 77\n"
     "2 empty\n"
     "3 photo\n" // nothing at the barrier
     "4 car B001OP 50\n"
     "5.5 photo\n" // a stranger the stream reported already
     "6.5 empty\n"
     "20 stop\n",
     {"--direction", "in"},
     {}},
    {"loss",
     "entry",
     inputs::streams_ini(false),
     "",
     "",
     "0 empty\n1 loss ETIME 1\n6 stop\n",
     {},
     {}},
    {"odd-stream",
     "entry",
     inputs::streams_ini(false),
     "",
     inputs::access_csv({"A123BC77,,,,"}),
     "0 empty\n1 car X111XX 77\n2 empty\n3 car Y222YY 77\n4 empty\n5 car Z333ZZ 77\n6 empty\n"
     "7 car A123BC 77\n8 empty\n9 stop\n",
     {"--lpr-odd", ODD},
     {}},
    {"odd-single",
     "entry",
     inputs::streams_ini(true),
     "",
     inputs::access_csv({"A123BC77,,,,"}),
     "0 empty\n1 car X111XX 77\n1.4 empty\n2 car Z333ZZ 77\n2.4 empty\n3 car A123BC 77\n3.4 empty\n"
     "5 stop\n",
     {"--lpr-odd", ODD},
     {}},
});

bool is_jpeg(const std::string& bytes) {
    return bytes.size() > 4 && bytes.compare(0, 2, "\xFF\xD8") == 0 &&
           bytes.compare(bytes.size() - 2, 2, "\xFF\xD9") == 0;
}

std::vector<std::string> numbers_of(const std::vector<_netpass_rec_t>& records) {
    std::vector<std::string> numbers;
    for (const auto& rec : records)
        numbers.push_back(rec.number);
    return numbers;
}

TEST_F(Boards, PreviewsAlternateAndTheLinkNamesTheNewest) {
    BoardRun run("stream", "entry");
    std::string files[2];
    struct stat info[2];
    for (int digit = 0; digit < 2; ++digit) {
        const std::string name = run.path("tmp/video0-" + std::to_string(digit) + ".jpeg");
        files[digit] = read_text_file(name);
        EXPECT_TRUE(is_jpeg(files[digit])) << name;
        ASSERT_EQ(stat(name.c_str(), &info[digit]), 0);
    }
    char target[PATH_MAX] = "";
    ASSERT_GT(readlink(run.path("tmp/video0.jpeg").c_str(), target, sizeof target - 1), 0);
    const bool one_newer = info[1].st_mtim.tv_sec > info[0].st_mtim.tv_sec ||
                           (info[1].st_mtim.tv_sec == info[0].st_mtim.tv_sec &&
                            info[1].st_mtim.tv_nsec > info[0].st_mtim.tv_nsec);
    EXPECT_EQ(std::string(target), one_newer ? "/tmp/video0-1.jpeg" : "/tmp/video0-0.jpeg");
}

TEST_F(Boards, ZeroBlocksWhileIdleAndNoneWithinTenSecondsOfAPlate) {
    BoardRun run("stream", "entry");
    const std::vector<StreamBlock> blocks = run.stream();
    long long last_passage = -1;
    bool idle_before = false, idle_after = false;
    for (const StreamBlock& block : blocks) {
        if (block.passage) {
            last_passage = block.frame_time;
            continue;
        }
        ASSERT_LE(block.length, 0) << "block " << block.sequence;
        if (last_passage < 0) {
            idle_before = true;
        } else if (block.frame_time != 0) { // a reset block carries no time
            EXPECT_GT(block.frame_time - last_passage, 10000000LL) << "block " << block.sequence;
            idle_after = true;
        }
    }
    EXPECT_TRUE(idle_before);
    EXPECT_TRUE(idle_after) << "no zero block after the last plate";
}

// The stream reports each car once; a photo request always decides once more,
// on the single-frame reading, with "~~~HET~~~" when it reads nothing.
TEST_F(Boards, StreamPassagesAndPhotoRequestsWithAndWithoutAPlate) {
    BoardRun run("stream", "entry");
    const std::vector<_netpass_rec_t> records = netpass_records(run_folder("stream") + "/net-base");
    ASSERT_EQ(numbers_of(records),
              (std::vector<std::string>{"A123BC77", "~~~HET~~~", "B001OP50", "B001OP50"}));
    const struct {
        int kind, in_list, access, by_button;
        const char* message;
    } expected[] = {{0, 1, 1, 0, inputs::ADMITTED},
                    {2, 0, 1, 1, inputs::BY_OPERATOR},
                    {0, 0, 0, 0, inputs::NOT_LISTED},
                    {2, 0, 1, 1, inputs::BY_OPERATOR}};
    const std::vector<std::string> lines =
        cp1251_lines(run_folder("stream") + "/net-base/netpassbase.csv");
    ASSERT_EQ(lines.size(), records.size());
    const std::vector<StreamBlock> passages = run.passages();
    ASSERT_EQ(passages.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        const _netpass_rec_t& rec = records[i];
        const std::string message = field_text(rec.message, sizeof rec.message);
        EXPECT_EQ(rec.kind, expected[i].kind) << i;
        EXPECT_EQ(rec.in_list, expected[i].in_list) << i;
        EXPECT_EQ(rec.access, expected[i].access) << i;
        EXPECT_EQ(rec.by_button, expected[i].by_button) << i;
        EXPECT_EQ(message, expected[i].message) << i;
        EXPECT_EQ(lines[i], local_date_time(rec.time, 0) + ";" + rec.number + ";" +
                                std::to_string(rec.kind) + ";" + std::to_string(rec.in_list) + ";" +
                                std::to_string(rec.access) + ";" + message + ";" +
                                field_text(rec.info, sizeof rec.info) + ";" +
                                std::to_string(rec.by_button) + ";" + inputs::DEVICE_ID);
        // The stream carries the same passage record, followed by its JPEG.
        const StreamBlock& block = passages[i];
        EXPECT_EQ(block.passage_time, rec.time) << i;
        EXPECT_EQ(block.number, rec.number) << i;
        EXPECT_EQ(block.kind, rec.kind) << i;
        EXPECT_EQ(block.access, rec.access) << i;
        EXPECT_EQ(block.text, message) << i;
        EXPECT_GT(block.jpeg_bytes, 0) << i;
        EXPECT_EQ(block.jpeg_bytes + 116, block.length) << i;
    }
    EXPECT_EQ(run.events_named("e_access_grntd").size(), 1u);
    EXPECT_EQ(run.events_named("e_signal0"), (std::vector<Event>{{"event", "e_signal0", 1}}));
    EXPECT_EQ(run.events_named("s_make_photo").size(), 2u);
}

TEST_F(Boards, VideoLossIsReportedOnceAndItsReturnOnceAfterARestart) {
    BoardRun run("loss", "entry");
    EXPECT_EQ(run.events_named("e_signal0"), (std::vector<Event>{{"event", "e_signal0", 1},
                                                                 {"event", "e_signal0", 0},
                                                                 {"event", "e_signal0", 1}}));
    EXPECT_EQ(run.log_starting("video_Capture_frame: "),
              (std::vector<std::string>{
                  "video_Capture_frame: videoGetStillImage() failed: 62 [Timer expired]",
                  "video_Capture_frame: restart video input"}));
    EXPECT_EQ(run.log_starting("video_init_input: videoOpen() -> ok").size(), 2u);
    EXPECT_EQ(run.end(), "exit 0");
}

// Results a drawn plate never gives: `found` with empty texts is decided
// with an empty number; a short stream image and an exception end only their
// own recognition, and the next car is decided as usual.
TEST_F(Boards, StreamModeCopesWithResultsADrawnPlateNeverGives) {
    BoardRun run("odd-stream", "entry");
    const std::vector<_netpass_rec_t> records =
        netpass_records(run_folder("odd-stream") + "/net-base");
    EXPECT_EQ(numbers_of(records), (std::vector<std::string>{"", "A123BC77"}));
    EXPECT_EQ(run.log_starting("dravelber: ").size(), 2u);
    EXPECT_EQ(run.passages().size(), 2u);
    EXPECT_EQ(run.end(), "exit 0");
}

// A status without texts counts as a plate; an exception costs only the
// frames that raised it.
TEST_F(Boards, SingleFrameModeCopesWithResultsADrawnPlateNeverGives) {
    BoardRun run("odd-single", "entry");
    const std::vector<_netpass_rec_t> records =
        netpass_records(run_folder("odd-single") + "/net-base");
    std::vector<std::string> seen;
    for (const auto& rec : records) {
        EXPECT_EQ(rec.kind, 2) << rec.number;
        if (seen.empty() || seen.back() != rec.number)
            seen.push_back(rec.number);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"", "A123BC77"}));
    EXPECT_FALSE(run.log_starting("dravelber: ").empty());
    EXPECT_EQ(run.end(), "exit 0");
}

} // namespace
