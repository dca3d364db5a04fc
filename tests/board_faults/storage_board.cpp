#include "tests/board_faults/storage_board.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>
#include <sys/stat.h>

#include "tests/e2e/boards.h"
#include "tests/storage/jpeg_whole.h"
#include "tests/support/scratch_dir.h"

namespace {

// Two cars of one owner with two places and an hour's limit, and a car
// without owner.
const char OWNER[] = "Ivanov";
const char OWNER_CAR[] = "A111AA77";
const char OTHER_OWNER_CAR[] = "B222BB77";
const char OWNERLESS_CAR[] = "C333CC77";

} // namespace

const BoardStory BOARD_STORIES[2] = {
    // A new car of an owner whose other car is inside: its record is
    // appended after the owner's places are counted.
    {"entry of a new car", "in", {OWNER_CAR}, OTHER_OWNER_CAR, OWNERLESS_CAR},
    // A car that is inside leaves: its record is rewritten in place.
    {"exit of a car inside", "out", {OWNER_CAR, OWNERLESS_CAR}, OWNER_CAR, OWNERLESS_CAR},
};

namespace {

const int TMPFS_PAGES = 64;
const char* const STORAGES[] = {"/mnt/net", "/mnt/disc0", "/mnt/disc1"};
const char LATEST[] = "/tmp/last_recognized.jpeg";

bool ends_with(const std::string& text, const char* end) {
    const size_t length = strlen(end);
    return text.size() >= length && text.compare(text.size() - length, length, end) == 0;
}

// "A111AA77" as the camera's scenario draws it: body and region.
std::string plate(const std::string& number) {
    return number.substr(0, 6) + " " + number.substr(6);
}

std::string seed(const BoardStory& story) {
    std::string journal;
    for (const std::string& number : story.inside) {
        _netnum_rec_t rec;
        memset(&rec, 0, sizeof rec);
        snprintf(rec.number, sizeof rec.number, "%s", number.c_str());
        if (number != OWNERLESS_CAR)
            snprintf(rec.owner, sizeof rec.owner, "%s", OWNER);
        rec.places = 1;
        rec.in_time = static_cast<int32_t>(time(nullptr)) - 600;
        journal.append(reinterpret_cast<const char*>(&rec), sizeof rec);
    }
    return journal;
}

// A shell loop inside the board that waits, at most ten seconds, until the
// stream shows the passage of `number`: the service publishes a passage
// after it has written every file of it.
std::string await_passage(const std::string& board, const std::string& number) {
    return "i=0; until grep -q " + number + " " + board + "/stream; do [ $i -lt 200 ] || break; " +
           "i=$((i+1)); sleep 0.05; done";
}

// Makes the file `mark` unless the camera has shown the car of `number`.
std::string mark_unless_shown(const std::string& board, const std::string& number,
                              const std::string& mark) {
    return "grep -q 'car " + number.substr(0, 6) + "' " + board + "/frames || touch " + mark;
}

// The storage as the failing passage left it, into the board's
// /tmp/after. It is in time when the camera has not yet shown the next car
// once the copy is done: whatever came before it in the same action (a
// full storage freed) is done then too.
std::string snapshot(const std::string& board, const std::string& next) {
    return "mkdir /tmp/after && cp -a /mnt /tmp/after/ && { cp -a " + std::string(LATEST) +
           "* /tmp/after/ 2>/dev/null; " + mark_unless_shown(board, next, "/tmp/after/in-time") +
           "; }";
}

// Each storage's tmpfs filled up, then `pages` of it freed again.
std::string fill(int pages) {
    std::string command = "for d in";
    for (const char* storage : STORAGES)
        command += std::string(" ") + storage;
    command += "; do dd if=/dev/zero of=$d/filler bs=4096 2>/dev/null";
    if (pages > 0)
        command += "; truncate -s -" + std::to_string(pages * 4096) + " $d/filler";
    return command + "; done";
}

std::string freeing() {
    std::string command = "rm -f";
    for (const char* storage : STORAGES)
        command += std::string(" ") + storage + "/filler";
    return command;
}

std::string scenario(const BoardStory& story, const StoryRun& how, const std::string& board) {
    std::ostringstream text;
    text << "0 empty\n";
    if (how.free_pages >= 0)
        text << "0 run " << fill(how.free_pages) << "; "
             << mark_unless_shown(board, story.failing, "/tmp/filled-in-time") << "\n";
    // Each car stands until the next one or the end: a service slowed by a
    // loaded machine decides it late, never not at all.
    text << "0.2 car " << plate(story.failing) << "\n";
    if (how.failing_only) {
        text << "0.8 run " << await_passage(board, story.failing) << "\n0.8 stop\n";
        return text.str();
    }
    // The service stands still while the snapshot is taken, so that the
    // next car cannot come half-way through it (the camera's frames of that
    // time are lost, as on a live camera). The fillers are no part of the
    // snapshot: they go first.
    text << "1.0 run " << await_passage(board, story.failing) << "\n1.0 signal STOP\n";
    text << "1.0 run " << (how.free_pages >= 0 ? freeing() + "; " : "")
         << snapshot(board, story.next) << "\n1.0 signal CONT\n";
    text << "1.2 car " << plate(story.next) << "\n";
    text << "1.8 run " << await_passage(board, story.next) << "\n1.8 stop\n";
    return text.str();
}

// The files below `folder`, keyed as the board sees them below `inside`;
// the fillers of a full storage are no part of it.
void read_as(const std::string& folder, const std::string& inside, StorageTree* tree) {
    StorageTree found;
    read_tree(folder, &found);
    for (auto& [path, bytes] : found) {
        if (!ends_with(path, "/filler"))
            (*tree)[inside + path.substr(folder.size())] = std::move(bytes);
    }
}

void read_latest(const std::string& folder, StorageTree* tree) {
    for (const std::string name : {"/last_recognized.jpeg", "/last_recognized.jpeg.tmp"})
        read_as(folder + name, std::string("/tmp") + name, tree);
}

// Digits where `shape` has 'd' and its other characters around them
// become zeros, at the start of `text` or anywhere in it.
void zero_shape(std::string* text, const char* shape, bool anywhere) {
    const size_t length = strlen(shape);
    for (size_t at = 0; at + length <= text->size() && (anywhere || at == 0); ++at) {
        bool fits = true;
        for (size_t i = 0; i < length && fits; ++i)
            fits = shape[i] == 'd' ? isdigit(static_cast<unsigned char>((*text)[at + i])) != 0
                                   : (*text)[at + i] == shape[i];
        for (size_t i = 0; i < length && fits; ++i)
            if (shape[i] == 'd')
                (*text)[at + i] = '0';
    }
}

const char STAMP[] = "dddd-dd-dd_dd-dd-dd";

// Each whole record of `bytes` through `change`.
template <typename Record, typename Change> void each_record(std::string* bytes, Change change) {
    for (size_t at = 0; at + sizeof(Record) <= bytes->size(); at += sizeof(Record)) {
        Record rec;
        memcpy(&rec, bytes->data() + at, sizeof rec);
        change(rec);
        memcpy(&(*bytes)[at], &rec, sizeof rec);
    }
}

std::string normalised_bytes(const std::string& path, std::string bytes,
                             const StoryOutcome& outcome) {
    if (ends_with(path, "/netnumbase.tpn")) {
        // Whether a car entered or left counts, not when.
        each_record<_netnum_rec_t>(&bytes, [](_netnum_rec_t& rec) {
            rec.in_time = rec.in_time != 0 ? 1 : 0;
            rec.out_time = rec.out_time != 0 ? 1 : 0;
        });
    } else if (ends_with(path, "/netpassbase.tpn")) {
        each_record<_netpass_rec_t>(&bytes, [](_netpass_rec_t& rec) { rec.time = 0; });
    } else if (ends_with(path, "/passbase.tpp")) {
        each_record<_parking_rec_t>(&bytes, [](_parking_rec_t& rec) { rec.time = 0; });
    } else if (ends_with(path, ".csv")) {
        std::string lines;
        for (size_t from = 0; from < bytes.size();) {
            const size_t end = bytes.find('\n', from);
            std::string line = bytes.substr(from, end == std::string::npos ? end : end - from + 1);
            zero_shape(&line, "dd-dd-dddd;dd:dd:dd", false);
            zero_shape(&line, STAMP, true);
            lines += line;
            from += line.size();
        }
        bytes = lines;
    } else if (ends_with(path, ".jpeg")) {
        const auto passage = outcome.passage_jpegs.find(bytes);
        if (passage != outcome.passage_jpegs.end())
            bytes = "the JPEG of " + passage->second;
        else if (jpeg_decodes(bytes))
            bytes = "a whole JPEG of no passage";
    }
    return bytes;
}

std::map<std::string, long> counts_in(const std::string& text, bool* injected) {
    std::map<std::string, long> counts;
    std::istringstream lines(text);
    std::string op;
    for (long calls; lines >> op >> calls;) {
        if (op == "injected")
            *injected = *injected || calls != 0;
        else
            counts[op] += calls;
    }
    return counts;
}

} // namespace

BoardSetup story_board(const BoardStory& story, const StoryRun& how) {
    const std::string board = run_folder(how.run) + "/board";
    std::vector<std::string> options = {"--board",  "board",    "--direction", story.direction,
                                        "--stream", "passages", "--frame-log"};
    if (!how.faultfs.empty()) {
        const char* library = getenv("DRAVEL_FAULTFS_LIBRARY");
        options.insert(options.end(), {"--preload", library != nullptr ? library : ""});
        for (const std::string& setting : how.faultfs)
            options.insert(options.end(), {"--env", setting});
    }
    if (how.free_pages >= 0) {
        for (const char* storage : STORAGES)
            options.insert(options.end(), {"--tmpfs", std::string(storage) + "=" +
                                                          std::to_string(TMPFS_PAGES * 4) + "k"});
    }
    const std::string discs =
        "[disc0]\nON = 1\nmountpoint = /mnt/disc0\n[disc1]\nON = 1\nmountpoint = /mnt/disc1\n";
    const std::string owned = "," + std::string(OWNER) + ",2,1:00,";
    return {how.run,
            "board",
            inputs::streams_ini(false, discs),
            "",
            inputs::access_csv(
                {OWNER_CAR + owned, OTHER_OWNER_CAR + owned, std::string(OWNERLESS_CAR) + ",,,,"}),
            scenario(story, how, board),
            options,
            {how.journal_folder
                 ? std::make_pair(std::string("net-base/netnumbase.tpn/aside"), std::string())
                 : std::make_pair(std::string("net-base/netnumbase.tpn"), seed(story))}};
}

StorageTree seeded_tree(const BoardStory& story) {
    return {{"/mnt/net/netnumbase.tpn", seed(story)}};
}

StoryOutcome story_outcome(const BoardSetup& setup, const StoryRun& how) {
    BoardRun run(setup.run, setup.board);
    StoryOutcome outcome;
    outcome.end = run.end();
    struct stat status;
    outcome.snapshot_in_time =
        stat(run.path("tmp/after/in-time").c_str(), &status) == 0 &&
        (how.free_pages < 0 || stat(run.path("tmp/filled-in-time").c_str(), &status) == 0);
    read_as(run.path("tmp/after/mnt"), "/mnt", &outcome.after_failing);
    read_latest(run.path("tmp/after"), &outcome.after_failing);
    read_as(run.path("mnt"), "/mnt", &outcome.after_next);
    // Without a tmpfs of its own the net-base is the run's shared folder.
    if (how.free_pages < 0)
        read_as(run_folder(setup.run) + "/net-base", "/mnt/net", &outcome.after_next);
    read_latest(run.path("tmp"), &outcome.after_next);
    outcome.counts = counts_in(run.file("tmp/counts"), &outcome.injected);
    outcome.log = run.log();
    for (const StreamBlock& block : run.passages()) {
        if (block.jpeg_bytes > 0)
            outcome.passage_jpegs[run.file("stream-jpeg/block-" + std::to_string(block.sequence) +
                                           ".jpeg")] = block.number;
    }
    return outcome;
}

StorageTree normalised(const StorageTree& raw, const StoryOutcome& outcome) {
    StorageTree tree;
    for (const auto& [path, bytes] : raw) {
        // An empty journal tells a reader what a missing one does: the
        // append that creates a journal on a full storage leaves it so,
        // since a peer may hold it open already.
        if (bytes.empty() &&
            (ends_with(path, ".tpn") || ends_with(path, ".tpp") || ends_with(path, ".csv")))
            continue;
        std::string name = path;
        zero_shape(&name, STAMP, true);
        tree[name] = normalised_bytes(path, bytes, outcome);
    }
    return tree;
}
