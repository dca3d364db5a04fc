#!/usr/bin/env python3
"""A simulated day at a car park: an entry and an exit board share their
net-base for HOURS of scenario time at the camera's speed-up, with cars
coming and going, video losses, operator photo requests and access-base
reloads spread over it. At the end every passage must be in both pass
journal files, in each enabled archive and on the stream; memory and open
descriptors must stay flat from the first hour to the last (in a run of
less than two hours, from its second quarter to its last); no child of the
service may be left unreaped.

    tests/soak/day.py [--hours 24] [--speed 60] [--run DIR] [--build DIR]

Exit status 0 when every check holds; the figures go to standard output."""

import argparse
import collections
import glob
import os
import random
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.realpath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))

# A day of both boards together.
DAY = {"passages": 10000, "losses": 20, "photos": 200, "reloads": 50}
CAR_SECONDS = 8         # a car stands at the barrier this long
LOSS_SECONDS = 5
# After a failed capture the service pauses 3 s of real time, which the
# camera's speed-up stretches; the barrier stays empty that long after a loss.
LOSS_QUIET_REAL_SECONDS = 8
# No number comes back within this many slots, so that no two of its
# passages share an archive name (stamped to the real second).
REPEAT_SLOTS = 12
FLEET = 400             # numbers that come and go
LISTED = 250            # of them in the access base from the start
PASS_RECORD = 184       # bytes of a pass-journal record
ARCHIVE_RECORD = 116    # bytes of an archive record
MOUNT_POINTS = ("/mnt/disc0", "/mnt/disc1")
DEVICE = "gate"
BOARDS = (("entry", "in"), ("exit", "out"))
# Allocator noise over a day; a leak of one frame a passage is megabytes an hour.
RSS_SLACK_KB = 512
DECIDED = ": test_recognized_number: recognized number: "


def plates(rng, count):
    letters = "ABCEHKMOPTXY"
    found = set()
    while len(found) < count:
        body = "%s%03d%s" % (rng.choice(letters), rng.randrange(1, 1000),
                             "".join(rng.choice(letters) for _ in range(2)))
        found.add((body, "%02d" % rng.randrange(1, 200)))
    return sorted(found)


def share(total, hours, board):
    """This board's part of a day's total, scaled to the hours run; every
    kind of event happens at least once on each board."""
    scaled = max(2, round(total * hours / 24.0))
    return scaled // 2 + (scaled % 2 if board == 0 else 0)


def decided_wait(t, count):
    """A scenario line that holds the day at `t` until the service has
    decided `count` passages: a car stands at the barrier for a tenth of a
    second of real time, which a loaded machine may not give the service."""
    return "%.2f wait test \"$(grep -c '%s' \"$BOARD/log\")\" -ge %d" % (t, DECIDED, count)


def scenario(rng, fleet, hours, speed, board):
    """(scenario text, passages expected) of one board. The day is cut into
    equal slots; each slot holds one car, one photo request on an empty
    barrier or one video loss, and the slots after a loss stay empty while
    the service waits to capture again. Each car and each photo request is
    waited for until the service has decided it."""
    end = hours * 3600
    slot = 2.0 * 86400 / DAY["passages"]
    slots = int((end - 10) // slot)
    quiet = int((LOSS_SECONDS + LOSS_QUIET_REAL_SECONDS * max(speed, 1)) // slot) + 1
    kinds = ["car"] * slots
    losses = share(DAY["losses"], hours, board)
    for index in range(losses):
        first = (index * slots) // losses + 1
        kinds[first:first + quiet] = ["loss"] + ["quiet"] * (quiet - 1)
    free = [index for index, kind in enumerate(kinds) if kind == "car"]
    for index in rng.sample(free, share(DAY["photos"], hours, board)):
        kinds[index] = "photo"
    recent = []
    reloads = set(rng.sample(range(slots), share(DAY["reloads"], hours, board)))
    lines, expected, added, cars = ["0 empty"], 0, 0, []
    for index, kind in enumerate(kinds):
        t = 5 + index * slot
        if index in reloads:
            # A stranger joins the base and the service is told.
            body, suffix = fleet[(LISTED + added) % len(fleet)]
            added += 1
            lines.append("%.2f run accessbase -f /var/local/accessbase.tpa add %s%s" %
                         (t, body, suffix))
            lines.append("%.2f signal USR1" % (t + 0.5))
        if kind == "car":
            body, suffix = rng.choice([plate for plate in fleet if plate not in recent])
            recent = (recent + [(body, suffix)])[-REPEAT_SLOTS:]
            expected += 1
            lines.append("%.2f car %s %s" % (t + 1, body, suffix))
            lines.append(decided_wait(t + 1 + CAR_SECONDS / 2, expected))
            lines.append("%.2f empty" % (t + 1 + CAR_SECONDS))
            cars.append(body + suffix)
        elif kind == "photo":
            expected += 1
            lines.append("%.2f photo" % (t + 3))
            lines.append(decided_wait(t + 4, expected))
        elif kind == "loss":
            lines.append("%.2f loss ETIME %d" % (t + 2, LOSS_SECONDS))
    lines.append("%d stop" % end)
    return "\n".join(lines) + "\n", expected, cars


def streams_ini(direction):
    text = ("[common]\ndeviceid = %s\n[net_base]\nuse_local_storage = 0\nmountdir = /mnt/net/\n"
            "[recognizer]\nrecogn_single = 0\n" % DEVICE)
    for i, point in enumerate(MOUNT_POINTS):
        text += "[disc%d]\nON = 1\nmountpoint = %s\n" % (i, point)
    return text


def access_csv(fleet):
    rows = ["number,from,to,owner,places,max_time,text"]
    for body, suffix in fleet[:LISTED]:
        rows.append("%s%s,2000-01-01T00:00:00Z,2037-12-31T23:59:59Z,,,," % (body, suffix))
    return "\n".join(rows) + "\n"


class ChildWatch(threading.Thread):
    """Looks at the service's children now and then: a child that is still a
    zombie at the next look was never reaped."""

    def __init__(self, runners):
        super().__init__(daemon=True)
        self.runners = runners  # board name: Popen of sim/board
        self.done = threading.Event()
        self.unreaped = {name: 0 for name in runners}
        self.looks = 0

    @staticmethod
    def table():
        rows = {}
        for entry in os.listdir("/proc"):
            if entry.isdigit():
                try:
                    with open("/proc/%s/stat" % entry) as f:
                        text = f.read()
                except OSError:
                    continue
                comm = text[text.index("(") + 1:text.rindex(")")]
                fields = text.rsplit(")", 1)[1].split()
                rows[int(entry)] = (comm, fields[0], int(fields[1]))
        return rows

    def zombies(self):
        rows = self.table()
        found = {}
        for name, runner in self.runners.items():
            services = [pid for pid, row in rows.items()
                        if row[2] == runner.pid and row[0] == "dravel"]
            found[name] = {pid for pid, row in rows.items()
                           if row[2] in services and row[1] == "Z"}
        return found

    def run(self):
        before = {name: set() for name in self.runners}
        while not self.done.wait(2.0):
            now = self.zombies()
            self.looks += 1
            for name in self.runners:
                self.unreaped[name] = max(self.unreaped[name], len(now[name] & before[name]))
            before = now


def lines_in(path):
    try:
        with open(path, "rb") as f:
            return f.read().count(b"\n")
    except OSError:
        return 0


def records_in(path, size):
    try:
        length = os.path.getsize(path)
    except OSError:
        return 0
    return length // size if length % size == 0 else -1


def resources(path, speed):
    """(scenario hour, rss kB, descriptors) of every sample."""
    found = []
    with open(path) as f:
        for line in f:
            fields = line.split()
            if fields and not line.startswith("#"):
                found.append((float(fields[0]) * speed / 3600.0, int(fields[1]), int(fields[3])))
    return found


def windows(hours):
    """The early and the late stretch of the run whose resources are
    compared: hour 1 and the last hour, or the second and last quarter of a
    shorter run; start-up allocations settle within the first."""
    if hours >= 2:
        return (0.5, 1.5), (hours - 1, hours + 1)
    return (hours / 4, hours / 2), (hours * 3 / 4, hours + 1)


def numbers_in(path):
    """The number column of every line of a pass journal's text file."""
    try:
        with open(path, encoding="cp1251", errors="replace") as f:
            return [line.split(";")[2] for line in f if line.count(";") >= 2]
    except OSError:
        return []


def most(samples, first_hour, last_hour):
    """The highest RSS and the fewest open descriptors of a stretch: a
    decision holds a few files open for a moment, a leak raises the floor."""
    within = [s for s in samples if first_hour <= s[0] < last_hour]
    return (max(s[1] for s in within), min(s[2] for s in within)) if within else (0, 0)


def private_storage():
    """sim/board options that give each board its storages in memory. Every
    archived picture is fsynced: on the host's disk one fsync can wait a
    second for other programs' writes, while a car stands at the barrier
    for 8 scenario seconds, a tenth of a second at the speed-up. The disk's
    pace is not what a day is about."""
    options = []
    for point in MOUNT_POINTS:
        options += ["--tmpfs", point + "=512m"]
    return options


def decided(board):
    """The passages a board's service decided, by its log."""
    with open(os.path.join(board, "log"), "rb") as f:
        return f.read().count(DECIDED.encode())


def archived_names(path):
    """The JPEG names in an archive's text journal (its last column)."""
    try:
        with open(path, "rb") as f:
            return {line.rstrip(b"\n").rsplit(b";", 1)[-1].decode("cp1251") for line in f}
    except OSError:
        return set()


def check(run, expected, cars, watch, speed, hours):
    """Every passage a board decided must be in every place; every car of the
    scenarios must have been decided."""
    failures = []

    def expect(ok, what):
        print(("  ok   " if ok else "  FAIL ") + what)
        if not ok:
            failures.append(what)

    net = os.path.join(run, "net-base")
    made = {name: decided(os.path.join(run, name)) for name, _ in BOARDS}
    total = sum(made.values())
    print("passages in the scenarios: %s; decided: %s, %d in all" % (expected, made, total))
    unseen = collections.Counter(cars) - collections.Counter(
        numbers_in(os.path.join(net, "netpassbase.csv")))
    expect(made == expected and not unseen, "cars never decided: %d%s" %
           (sum(unseen.values()), " (" + " ".join(sorted(unseen)[:10]) + ")" if unseen else ""))
    expect(records_in(os.path.join(net, "netpassbase.tpn"), PASS_RECORD) == total,
           "netpassbase.tpn: %d records" % records_in(os.path.join(net, "netpassbase.tpn"),
                                                      PASS_RECORD))
    expect(lines_in(os.path.join(net, "netpassbase.csv")) == total,
           "netpassbase.csv: %d lines" % lines_in(os.path.join(net, "netpassbase.csv")))
    reader = os.path.join(os.environ["DRAVEL_BUILD_DIR"], "tools/journal-reader/journal-reader")
    wholes = [os.path.join(net, "netpassbase.tpn"), os.path.join(net, "netpassbase.csv")]
    for name, _ in BOARDS:
        want = made[name]
        board = os.path.join(run, name)
        for point in MOUNT_POINTS:
            archive = os.path.join(board, "mnt", point[len("/mnt/"):], DEVICE)
            tpp = os.path.join(archive, "passbase.tpp")
            wholes += [tpp, os.path.join(archive, "passbase.csv")]
            expect(records_in(tpp, ARCHIVE_RECORD) == want,
                   "%s %s passbase.tpp: %d records" % (name, point, records_in(tpp, ARCHIVE_RECORD)))
            expect(lines_in(os.path.join(archive, "passbase.csv")) == want,
                   "%s %s passbase.csv: %d lines" %
                   (name, point, lines_in(os.path.join(archive, "passbase.csv"))))
            # Two passages of one plate within a real second share a name (two
            # photo requests a slot apart, at the speed-up): names are compared.
            names = archived_names(os.path.join(archive, "passbase.csv"))
            files = {os.path.basename(path)
                     for path in glob.glob(os.path.join(archive, "jpegdata", "*"))}
            expect(names == files, "%s %s jpegdata: %d files for %d names in the journal" %
                   (name, point, len(files), len(names)))
        with open(os.path.join(board, "stream"), "rb") as f:
            blocks = f.read().count(b"\n  passage time ")
        expect(blocks == want, "%s stream: %d passage blocks" % (name, blocks))
        with open(os.path.join(board, "exit")) as f:
            ended = f.readline().strip()
        expect(ended == "exit 0", "%s service: %s" % (name, ended))
        samples = resources(os.path.join(board, "resources"), speed)
        early, late = windows(hours)
        first, last = most(samples, *early), most(samples, *late)
        expect(last[0] <= first[0] + RSS_SLACK_KB and last[1] <= first[1],
               "%s RSS / descriptors, hours %g-%g: %d kB / %d, hours %g-%g: %d kB / %d" %
               (name, early[0], early[1], first[0], first[1], late[0], min(late[1], hours),
                last[0], last[1]))
        expect(watch.unreaped[name] == 0, "%s children left unreaped: %d (in %d looks)" %
               (name, watch.unreaped[name], watch.looks))
    checked = subprocess.run([reader, "--check"] + wholes, capture_output=True, text=True)
    expect(checked.returncode == 0, "journal-reader --check: %s" %
           (checked.stdout + checked.stderr).strip().replace("\n", "; ") or "whole")
    return failures


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--hours", type=float, default=24)
    parser.add_argument("--speed", type=float, default=60,
                        help="scenario seconds per real second (CAMERA_SPEED)")
    parser.add_argument("--run", default=os.path.join(TOP, "build", "soak"))
    parser.add_argument("--build", default=os.path.join(TOP, "build"))
    parser.add_argument("--seed", type=int, default=11)
    args = parser.parse_args(argv)
    if args.hours < 0.5:
        parser.error("--hours is 0.5 or more: an early stretch is compared with the last")
    run = os.path.realpath(args.run)
    os.environ["DRAVEL_BUILD_DIR"] = os.path.realpath(args.build)
    rng = random.Random(args.seed)
    fleet = plates(rng, FLEET)
    os.makedirs(run, exist_ok=True)
    for stale in ("net-base",) + tuple(name for name, _ in BOARDS):
        subprocess.run(["rm", "-rf", os.path.join(run, stale)], check=True)
    inputs = os.path.join(run, "inputs")
    os.makedirs(inputs, exist_ok=True)
    with open(os.path.join(inputs, "access.csv"), "w") as f:
        f.write(access_csv(fleet))
    runners, expected, cars = {}, {}, []
    started = time.monotonic()
    for number, (name, direction) in enumerate(BOARDS):
        config = os.path.join(inputs, name)
        os.makedirs(config, exist_ok=True)
        with open(os.path.join(config, "streams.ini"), "w") as f:
            f.write(streams_ini(direction))
        with open(os.path.join(config, "TZ"), "w") as f:
            f.write("MSK-3\n")
        text, expected[name], board_cars = scenario(rng, fleet, args.hours, args.speed, number)
        cars += board_cars
        path = os.path.join(inputs, name + ".scenario")
        with open(path, "w") as f:
            f.write(text)
        runners[name] = subprocess.Popen(
            [os.path.join(TOP, "sim", "board"), "--run", run, "--board", name, "--config", config,
             "--access", os.path.join(inputs, "access.csv"), "--scenario", path,
             "--direction", direction, "--speed", repr(args.speed), "--stream", "passages",
             "--sample", "2", "--build", args.build] + private_storage())
    watch = ChildWatch(runners)
    watch.start()
    ends = {name: runner.wait() for name, runner in runners.items()}
    watch.done.set()
    watch.join()
    print("%g simulated hours in %.0f s of wall time" % (args.hours, time.monotonic() - started))
    if any(ends.values()):
        print("a board could not run: %s" % ends)
        return 1
    failures = check(run, expected, cars, watch, args.speed, args.hours)
    print("soak: %s" % ("every check holds" if not failures else "%d checks failed" % len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
