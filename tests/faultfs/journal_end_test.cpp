// An append to a journal whose size cannot be learned (a 32-bit board's
// plain stat refuses a network mount's large file numbers) that the disk
// takes only in part: the journal's records are kept whatever happens to
// the new one.
#include "support/journal_file.h"

#include <cerrno>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/common/file_size_limit.h"
#include "tests/common/files.h"
#include "tests/faultfs/preload/faultfs.h"

namespace {

TEST(JournalEnd, AnUnknownEndIsNeverCutTo) {
    const std::string path = scratch_dir("faultfs-journal-end") + "/journal";
    const std::string kept(64, 'a');
    for (const bool lines : {false, true}) {
        write_text_file(path, kept);
        // The second status: the first only tells that the journal is a plain file.
        ASSERT_TRUE(faultfs_configure(FAULTFS_FSTAT, 2, EOVERFLOW, path.c_str(), false));
        {
            FileSizeLimit room(kept.size() + 4);
            ASSERT_TRUE(room.set());
            EXPECT_EQ(journal_write_failed,
                      lines ? journal_append_line(path.c_str(), "a line\n", "test")
                            : journal_append_record(path.c_str(), "BBBBBBBB", 8, "test"));
        }
        EXPECT_TRUE(faultfs_injected());
        faultfs_off();
        EXPECT_EQ(kept, read_text_file(path).substr(0, kept.size())) << (lines ? "line" : "record");
    }
    unlink(path.c_str());
}

} // namespace
