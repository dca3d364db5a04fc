#!/usr/bin/env python3
"""Makes the fuzz corpus, tests/fuzz/corpus/<target>/, from files that the
project's own programs write: the access-base editor makes an access base and
its CSV, the service's decision (faultfs-passages) makes the journals, the
archives and the stream blocks of an entry and an exit board, the state
manager's client and the decision talk to the state manager through a relay
that keeps every packet, and the journal reader turns a journal into UTF-8.
Scenario files come from the camera's documentation and, where present, the
simulated boards. Nothing here is written byte by byte.

Usage: tests/fuzz/make_corpus.py [BUILD_DIR]   (default: build; a tree built
with the tools, as ./test.sh builds build/)
"""

import glob
import hashlib
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
OUT = os.path.join(TOP, "tests", "fuzz", "corpus")
T0 = 1237010709  # 2009-03-14 06:05:09 UTC


def program(build, path):
    full = os.path.join(build, path)
    if not os.access(full, os.X_OK):
        sys.exit(f"make_corpus: {full} is missing; build the tree with the tools first")
    return full


def keep(target, name, data):
    folder = os.path.join(OUT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as file:
        file.write(data)


def read(path):
    with open(path, "rb") as file:
        return file.read()


def run(*command, env=None):
    subprocess.run(command, check=True, env=env, stdout=subprocess.DEVNULL)


class PacketRelay(threading.Thread):
    """Passes every packet between the state manager's clients and the
    daemon, and keeps a copy of each."""

    def __init__(self, listen_at, daemon_at):
        super().__init__(daemon=True)
        self.daemon_at = daemon_at
        self.packets = []
        self.server = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        self.server.bind(listen_at)
        self.server.listen(16)

    def pump(self, source, sink):
        while True:
            try:
                packet = source.recv(65536)
            except OSError:
                packet = b""
            if not packet:
                sink.close()
                return
            self.packets.append(packet)
            try:
                sink.send(packet)
            except OSError:
                return

    def run(self):
        while True:
            client, _ = self.server.accept()
            daemon = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
            daemon.connect(self.daemon_at)
            for source, sink in ((client, daemon), (daemon, client)):
                threading.Thread(target=self.pump, args=(source, sink), daemon=True).start()


def access_base(build, work):
    editor = program(build, "tools/accessbase/accessbase")
    base = os.path.join(work, "accessbase.tpa")
    run(editor, "-f", base, "create")
    entries = [
        ["A111AA", "--owner", "Иванов", "--places", "2", "--max-time", "1:00",
         "--text", "Иванов И.И.}"],
        ["B222BB", "--owner", "Иванов", "--places", "2", "--max-time", "1:00"],
        ["C333CC", "--text", "Служебная"],
        ["K???MM", "--from", "2009-03-01T00:00:00Z", "--to", "2009-03-31T23:59:59+03:00",
         "--owner", "Ромашка", "--places", "1", "--text", "Гость}"],
    ]
    for entry in entries:
        run(editor, "-f", base, "add", *entry)
    csv = os.path.join(work, "access.csv")
    run(editor, "-f", base, "export", csv)
    keep("access_base", "four_entries.tpa", read(base))
    keep("access_csv", "four_entries.csv", read(csv))
    keep("u8_to_w1251", "access_export.csv", read(csv))
    return base


def settings(work, device, barrier):
    """The streams.ini of one board of the run: the net-base both share and
    two storages of its own."""
    conf = os.path.join(work, "conf-" + device)
    os.makedirs(conf)
    text = (f"[common]\ndeviceid = {device}\n\n"
            f"[savermgr]\nmaindirlink = {work}/net\n\n"
            f"[net_base]\nuse_local_storage = 1\n\n"
            f"[barrier]\nbarrier_type = {barrier}\n\n")
    for section, on in (("disc0", 1), ("disc1", 1), ("usbdisc", 0)):
        mount = os.path.join(work, section)
        os.makedirs(os.path.join(mount, device, "jpegdata"), exist_ok=True)
        text += f"[{section}]\nON = {on}\nmountpoint = {mount}\n\n"
    with open(os.path.join(conf, "streams.ini"), "w") as file:
        file.write(text)
    keep("ini", device + ".ini", text.encode())
    return conf


def passages(build, work, base):
    decide = program(build, "tests/faultfs/passages/faultfs-passages")
    client = program(build, "platform/statemgr/stmgrclient")
    statemgrd = program(build, "platform/statemgr/statemgrd")
    os.makedirs(os.path.join(work, "net"))
    daemon_at = os.path.join(work, "statemgr.sock")
    relay_at = os.path.join(work, "relay.sock")
    daemon = subprocess.Popen([statemgrd, "-f", "-a", daemon_at], stderr=subprocess.DEVNULL)
    for _ in range(100):
        if os.path.exists(daemon_at):
            break
        time.sleep(0.05)
    relay = PacketRelay(relay_at, daemon_at)
    relay.start()
    prefix = f"/dravel-corpus-{os.getpid()}"
    env = dict(os.environ, STATEMGR_SOCKET=relay_at, SHMGR_PREFIX=prefix, TZ="EET-2",
               PATH=os.path.dirname(client) + os.pathsep + os.environ.get("PATH", ""))
    try:
        watch = subprocess.Popen([client, "watch", "-n", "2"], env=env, stdout=subprocess.DEVNULL)
        run(client, "set", "s_make_photo", "1", env=env)
        run(client, "get", "s_make_photo", env=env)
        run(client, "rise", "e_signal0", "1", env=env)
        watch.wait(timeout=10)
        run(client, "clients", env=env)
        entry = dict(env, VELM_CONF_DIR=settings(work, "entry", "in"))
        run(decide, "--stream", base, str(T0), "A111AA", "B222BB", "C333CC", "X999XX",
            "K123MM", env=entry)
        leave = dict(env, VELM_CONF_DIR=settings(work, "exit", "out"))
        run(decide, "--stream", base, str(T0 + 600), "A111AA", "C333CC", "K123MM", env=leave)
        channel = os.path.join("/dev/shm", prefix[1:] + ".0")
        stream = read(channel)
        os.unlink(channel)
    finally:
        daemon.terminate()
        daemon.wait()
    for packet in relay.packets:
        keep("statemgr_msg", hashlib.sha1(packet).hexdigest()[:16], packet)
    # The reader's input: how much room the caller gives (all of a block),
    # the channel's header, then the headers of the blocks in ring order.
    block = 64 + 65536
    headers = stream[:64] + b"".join(stream[64 + i * block:128 + i * block] for i in range(16))
    keep("shmgr_reader", "eight_passages", b"\xff" + headers)
    keep("shmgr_reader", "little_room", b"\x01" + headers)


def journals(build, work):
    files = {
        "netnumbase.tpn": (os.path.join(work, "net", "netnumbase.tpn"), 56),
        "netpassbase.tpn": (os.path.join(work, "net", "netpassbase.tpn"), 184),
        "netpassbase.csv": (os.path.join(work, "net", "netpassbase.csv"), 0),
        "passbase.tpp": (os.path.join(work, "disc0", "entry", "passbase.tpp"), 116),
        "passbase.csv": (os.path.join(work, "disc0", "entry", "passbase.csv"), 0),
    }
    for name, (path, record) in files.items():
        data = read(path)
        keep("journal_reader", name, data)
        # The first byte chooses the record size as size - 1.
        keep("journal_append", name, bytes([(record - 1) % 256 if record else 0]) + data)
        if name.endswith(".csv"):
            keep("w1251_to_u8", name, data)
    occupancy = read(files["netnumbase.tpn"][0])
    # The occupancy target's head: number (12 bytes), owner (3), barrier
    # (odd: entry), places, time limit in minutes; then the journal.
    keep("netnum_journal", "entry_of_a_listed_car",
         b"A111AA".ljust(12, b"\0") + "Ива".encode("cp1251") + bytes([1, 2, 60]) + occupancy)
    keep("netnum_journal", "exit_without_owner",
         b"C333CC".ljust(12, b"\0") + b"\0\0\0" + bytes([0, 0, 0]) + occupancy)
    reader = os.path.join(build, "tools/journal-reader/journal-reader")
    if os.access(reader, os.X_OK):
        table = subprocess.run([reader, files["netpassbase.tpn"][0]], check=True,
                               capture_output=True, env=dict(os.environ, TZ="EET-2")).stdout
        keep("u8_to_w1251", "pass_journal_table", table)


def scenarios():
    text = open(os.path.join(TOP, "platform", "camera", "SCENARIO.md"), encoding="utf-8").read()
    example = re.search(r"Example:\n\n((?:    .*\n|\n)+)", text).group(1)
    keep("scenario", "documented_example.scenario",
         "".join(line[4:] + "\n" for line in example.rstrip().split("\n")).encode())
    for path in glob.glob(os.path.join(TOP, "sim", "**", "*.scenario"), recursive=True) + \
            glob.glob(os.path.join(TOP, "tests", "e2e", "**", "*.scenario"), recursive=True):
        keep("scenario", os.path.basename(path), read(path))


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(TOP, "build"))
    work = tempfile.mkdtemp(prefix="dravel-corpus-")
    try:
        base = access_base(build, work)
        passages(build, work, base)
        journals(build, work)
        scenarios()
    finally:
        shutil.rmtree(work)
    for target in sorted(os.listdir(OUT)):
        print(f"{target}: {len(os.listdir(os.path.join(OUT, target)))} files")


if __name__ == "__main__":
    main()
