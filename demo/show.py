#!/usr/bin/env python3
"""What the demo shows a person: each passage of the simulated car park as
it happens, one line of UTF-8, under a line that tells how far the scenario
has run; at the end the counts and where everything lies.

  show.py follow  --run RUN --board NAME=ARCHIVE ... --length SECONDS --speed X
  show.py summary --run RUN --board NAME=ARCHIVE ... --reader JOURNAL_READER

The service writes its texts in CP1251; the pass journal's text lines are
read as such. The owner summary is not in the pass journal: it is taken from
the line the same board wrote into its archive (ARCHIVE/passbase.csv) for
the same time and number."""

import argparse
import csv
import io
import os
import signal
import subprocess
import sys
import time

POLL_SECONDS = 0.2


class Passage:
    """One line of the pass journal netpassbase.csv."""

    def __init__(self, fields):
        # date;time;number;kind;in_list;access;message;info;by_button;deviceid
        self.date, self.time, self.number = fields[0], fields[1], fields[2]
        self.admitted = fields[5].strip() not in ("0", "")
        self.message = fields[6]
        self.deviceid = fields[-1]
        self.summary = None


def split_archive_line(fields):
    """(date, time, number) -> owner summary of one archive line:
    date;time;deviceid;number;in_list;access;text;summary;jpeg name."""
    return (fields[0], fields[1], fields[3]), fields[-2]


class LineFile:
    """The whole lines a file gains, decoded from CP1251 and split at ';'."""

    def __init__(self, path):
        self.path = path
        self.offset = 0

    def new_lines(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                chunk = f.read()
        except OSError:
            return []
        whole = chunk[:chunk.rfind(b"\n") + 1]
        self.offset += len(whole)
        return [line.decode("cp1251", "replace").split(";") for line in whole.split(b"\n")[:-1]]


class Board:
    def __init__(self, name, archive):
        self.name = name
        self.archive_dir = archive
        self.deviceid = os.path.basename(os.path.normpath(archive))
        self.archive = LineFile(os.path.join(archive, "passbase.csv"))
        self.summaries = []  # ((date, time, number), summary) not yet matched
        self.events = None
        self.signal_seen = False

    def take_summary(self, passage):
        self.summaries += [split_archive_line(f) for f in self.archive.new_lines() if len(f) >= 9]
        key = (passage.date, passage.time, passage.number)
        for i, (found, summary) in enumerate(self.summaries):
            if found == key:
                del self.summaries[i]
                return summary
        return None


def parse_boards(pairs):
    boards = []
    for pair in pairs:
        name, _, archive = pair.partition("=")
        if not name or not archive:
            raise SystemExit("show.py: --board takes NAME=ARCHIVE_FOLDER, not %s" % pair)
        boards.append(Board(name, archive))
    return boards


def counted(passages):
    return "%d passage%s" % (passages, "" if passages == 1 else "s")


class Screen:
    """Passage lines scroll; on a terminal the progress line stays below them
    and is redrawn, elsewhere it is printed at every quarter."""

    def __init__(self, length):
        self.tty = sys.stdout.isatty()
        self.length = length
        self.quarter_shown = 0
        self.progress_text = ""

    def _colour(self, text, admitted):
        if not self.tty:
            return text
        return "\033[%sm%s\033[0m" % ("32" if admitted else "31", text)

    def passage(self, board, passage):
        message = self._colour("%-38s" % passage.message, passage.admitted)
        self.line("%s  %-5s  %-10s %s  %s" % (passage.time, board, passage.number, message,
                                             passage.summary or ""))

    def note(self, board, text):
        self.line("%s  %-5s  %s" % (time.strftime("%H:%M:%S"), board, text))

    def line(self, text):
        if self.tty:
            sys.stdout.write("\r\033[K" + text + "\n" + self.progress_text)
        else:
            sys.stdout.write(text + "\n")
        sys.stdout.flush()

    def progress(self, seconds, passages):
        seconds = min(seconds, self.length)
        if self.tty:
            width = 30
            done = int(width * seconds / self.length)
            self.progress_text = "[%s%s] %3d of %d s of the scenario, %s" % (
                "#" * done, "-" * (width - done), seconds, self.length, counted(passages))
            sys.stdout.write("\r\033[K" + self.progress_text)
            sys.stdout.flush()
            return
        quarter = int(4 * seconds / self.length)
        if quarter > self.quarter_shown:
            self.quarter_shown = quarter
            self.line("progress: %d of %d s of the scenario, %s" %
                      (seconds, self.length, counted(passages)))

    def close(self):
        if self.tty:
            sys.stdout.write("\r\033[K")
            sys.stdout.flush()


def follow(args):
    boards = parse_boards(args.board)
    by_device = {board.deviceid: board for board in boards}
    journal = LineFile(os.path.join(args.run, "net-base", "netpassbase.csv"))
    screen = Screen(args.length)
    # An archive line comes a moment after the pass journal's, however long
    # a loaded machine makes that moment: a passage waits for it, and only
    # once the boards have ended is one shown without its owner summary.
    pending = []  # in journal order
    shown = 0
    ending = []
    signal.signal(signal.SIGTERM, lambda signum, frame: ending.append(signum))
    started = time.monotonic()
    while True:
        last_round = bool(ending)
        now = time.monotonic()
        pending += [Passage(f) for f in journal.new_lines() if len(f) >= 10]
        while pending:
            passage = pending[0]
            board = by_device.get(passage.deviceid)
            if board is not None:
                passage.summary = board.take_summary(passage)
                if passage.summary is None and not last_round:
                    break
            pending.pop(0)
            screen.passage(board.name if board else passage.deviceid, passage)
            shown += 1
        for board in boards:
            video_events(board, args.run, screen)
        if last_round and not pending:
            break
        screen.progress((now - started) * args.speed, shown)
        time.sleep(POLL_SECONDS if not last_round else 0.05)
    screen.close()
    return 0


def video_events(board, run, screen):
    """The camera's picture lost and back, from the state manager's events."""
    if board.events is None:
        board.events = LineFile(os.path.join(run, board.name, "events"))
    for fields in board.events.new_lines():
        words = fields[0].split()
        if len(words) != 5 or words[3] != "e_signal0":
            continue
        if words[4] == "0":
            screen.note(board.name, "the camera's picture is lost")
        elif board.signal_seen:
            screen.note(board.name, "the camera's picture is back")
        board.signal_seen = True


def reader_csv(reader, arguments):
    done = subprocess.run([reader, "-c"] + arguments, capture_output=True, text=True)
    if done.returncode != 0:
        raise SystemExit("show.py: journal-reader %s: %s" % (" ".join(arguments),
                                                             done.stderr.strip()))
    return list(csv.DictReader(io.StringIO(done.stdout)))


def newest_preview(board_dir):
    """The preview file the link /tmp/video0.jpeg of the board names; the
    link itself points into the board's own /tmp."""
    link = os.path.join(board_dir, "tmp", "video0.jpeg")
    try:
        return os.path.join(board_dir, "tmp", os.path.basename(os.readlink(link)))
    except OSError:
        return "(none: the camera never gave a picture)"


def snapshots(board):
    folder = os.path.join(board.archive_dir, "jpegdata")
    count = len([name for name in os.listdir(folder) if name.endswith(".jpeg")]) \
        if os.path.isdir(folder) else 0
    return "%s (%d JPEGs)" % (folder, count)


def summary(args):
    boards = parse_boards(args.board)
    net_base = os.path.join(args.run, "net-base")
    journals = [os.path.join(net_base, name)
                for name in ("netpassbase.csv", "netpassbase.tpn", "netnumbase.tpn")]
    passages = [Passage(f) for f in LineFile(journals[0]).new_lines() if len(f) >= 10]
    admitted = sum(1 for p in passages if p.admitted)
    inside = reader_csv(args.reader, ["-v", "inside", journals[2]])
    report = os.path.join(args.run, "report.html")
    # A demo stopped early (Ctrl-C) may leave a board, or both, without a
    # passage: nothing of theirs to report, which is no failure.
    made = None
    if passages:
        command = [args.reader, "--report", report, "--pass", journals[1],
                   "--occupancy", journals[2]]
        for board in boards:
            if os.path.exists(os.path.join(board.archive_dir, "passbase.csv")):
                command += ["--archive", board.archive_dir]
        made = subprocess.run(command, capture_output=True, text=True)
    print("Summary: %d passages, %d admitted, %d refused; %d cars inside now%s" %
          (len(passages), admitted, len(passages) - admitted, len(inside),
           (": " + ", ".join(row["number"] for row in inside)) if inside else ""))
    for title, paths in (
            ("journals:", journals),
            ("snapshots:", [snapshots(board) for board in boards]),
            ("preview:", [newest_preview(os.path.join(args.run, board.name)) for board in boards]),
            ("report:", [report if made and made.returncode == 0 else "not written: " +
                         (made.stderr.strip() if made else "no passage was decided")])):
        for path in paths:
            print("  %-11s%s" % (title, path))
            title = ""
    return 0 if made is None or made.returncode == 0 else 1


def main(argv):
    parser = argparse.ArgumentParser(prog="show.py", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("mode", choices=("follow", "summary"))
    parser.add_argument("--run", required=True, help="the demo's run folder")
    parser.add_argument("--board", action="append", required=True, metavar="NAME=ARCHIVE",
                        help="a board's name and its archive folder (MOUNT/DEVICE_ID)")
    parser.add_argument("--length", type=float, default=120, help="the scenario's seconds")
    parser.add_argument("--speed", type=float, default=1, help="scenario seconds a second")
    parser.add_argument("--reader", help="journal-reader, for the summary")
    args = parser.parse_args(argv)
    if args.mode == "summary" and not args.reader:
        parser.error("summary needs --reader")
    return follow(args) if args.mode == "follow" else summary(args)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
